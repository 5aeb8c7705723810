#include "qor_cErrorHandler.h"

#include "qor_fileUtil.h"

#include <SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

namespace
{
char * s_szErrorLog = nullptr;
char * s_szTraceLog = nullptr;
int s_iDebugOutput = -1; // -1: not yet read from the environment
int s_iDialogs = -1;
qor_pfnMessageBoxHook s_pfnBoxHook = nullptr;

const size_t kMessageSize = 2048;

char * copyPath(cchar * sz)
{
    if (!sz)
        return nullptr;
    const size_t n = std::strlen(sz);
    char * p = static_cast<char *>(std::malloc(n + 1));
    if (p)
        std::memcpy(p, sz, n + 1);
    return p;
}

void writeHeader(cchar * szPath, cchar * szBanner)
{
    if (!szPath)
        return;
    FILE * pFile = qoru_fopenWrite(szPath, "wt", nullptr);
    if (!pFile)
        return;
    const time_t t = std::time(nullptr);
    std::fprintf(pFile, "%s", szBanner);
    std::fprintf(pFile, "Date : %s\n\n", std::ctime(&t));
    std::fclose(pFile);
}

bool envIsOne(cchar * szName)
{
    cchar * sz = std::getenv(szName);
    return sz && std::strcmp(sz, "1") == 0;
}
} // namespace

qor_cErrorHandler::qor_cErrorHandler(cchar * szErrorLog, cchar * szTraceLog)
{
    std::free(s_szErrorLog);
    std::free(s_szTraceLog);
    s_szErrorLog = copyPath(szErrorLog);
    s_szTraceLog = copyPath(szTraceLog);
    writeHeader(s_szErrorLog, "----- Brenmark error log -----\n");
    writeHeader(s_szTraceLog, "----- Brenmark trace log -----\n");
}

qor_cErrorHandler::~qor_cErrorHandler()
{
    std::free(s_szErrorLog);
    s_szErrorLog = nullptr;
    std::free(s_szTraceLog);
    s_szTraceLog = nullptr;
}

cchar * qoru_getErrorLogPath() { return s_szErrorLog; }

void qoru_setDebugOutput(bool bOn) { s_iDebugOutput = bOn ? 1 : 0; }

void qoru_debugOutput(cchar * sz)
{
    if (s_iDebugOutput < 0)
        s_iDebugOutput = envIsOne("QOR_DEBUG_OUTPUT") ? 1 : 0;
    if (s_iDebugOutput && sz)
        std::fputs(sz, stderr);
}

namespace
{
std::string s_strEchoProgram; // empty: no echo
std::vector<std::string> s_vContext;
std::set<std::string> s_setEchoed;
int s_nEchoed = 0;
std::string s_strLastEcho; // the last line echoed, for a display that shows it

// The text between the first "<" and the ">" after it, from szFrom on; empty when none.
std::string bracketed(const std::string & str, size_t nFrom = 0)
{
    const size_t a = str.find('<', nFrom);
    const size_t b = a == std::string::npos ? a : str.find('>', a + 1);
    return b == std::string::npos ? std::string() : str.substr(a + 1, b - a - 1);
}

bool starts(const std::string & str, cchar * sz) { return str.rfind(sz, 0) == 0; }

// The message an author can act on, in English; empty for lines that only trace the report
// (signatures, statements), which are echoed as they stand.
std::string authorLine(const std::string & str)
{
    if (starts(str, "music \""))
        return str; // the player's own line, in English already
    if (starts(str, "qor_hTexture qoru_loadTexture(cchar * szFilename <"))
        return "texture \"" + bracketed(str) + "\" cannot be loaded: maps/" + bracketed(str) +
               ".jpg is missing or not a JPEG";
    if (starts(str, "Impossible de charger le fichier <"))
        return "file \"" + bracketed(str) + "\" not found, neither in the pack nor in the folder";
    if (starts(str, "Script impossible a trouver <"))
        return "script \"" + bracketed(str) + "\" not found: compile it into scripts/exe/ or add it to the pack";
    if (starts(str, "Nom de script trop long ou absent"))
        return "a script name is missing or longer than 1011 characters";
    if (str.find("nom de fichier refuse <") != std::string::npos)
        return "name \"" + bracketed(str) + "\" refused: it must be relative and without \"..\"";
    if (starts(str, "fichier compile invalid"))
        return "the script is not a valid compiled script (truncated or not made by qor-sc): compile it again";
    if (starts(str, "Image de script trop grande"))
        return "the compiled script is too large";
    if (starts(str, "Script arrete apres"))
        return "the script was stopped after too many instructions (an endless loop?)";
    if (starts(str, "Erreur <"))
        return "the script stopped with the error " + bracketed(str);
    if (starts(str, "native inconnue <"))
        return "native " + bracketed(str) +
               " is not in this script's table (screen, layer and material "
               "scripts each have their own natives; see docs/SCRIPTING.md)";
    if (starts(str, "Impossible de trouver le material <"))
        return "material \"" + bracketed(str) + "\" not found in the scene";
    if (starts(str, "Impossible de charger le material script<"))
        return "material script \"" + bracketed(str) + "\" cannot be loaded";
    if (starts(str, "Impossible d'ouvrir le fichier d'animation <"))
        return "the animation file \"" + bracketed(str) + "\" cannot be opened: " + str.substr(str.find("> : ") + 4);
    if (starts(str, "Impossible de trouver les fichier"))
        return "the scene \"" + bracketed(str) + "\" failed to load";
    if (str.find("quad sans material") != std::string::npos)
        return "a quad has no material (addMaterial) and is not drawn";
    if (starts(str, "bool qor_cScene::load(cchar * sz <"))
        return "the scene file \"" + bracketed(str) + "\" failed to load";
    if (starts(str, "bool qor_cScene::loadAnim(cchar * sz<"))
        return "the animation file \"" + bracketed(str) + "\" failed to load";
    return std::string();
}

// The lines of the report being written: a report runs from the innermost failure (its most
// specific line first) out through its callers' signatures, until the context changes or the
// caller flushes.
std::vector<std::string> s_vGroup;

void printEcho(const std::string & strMessage)
{
    std::string strLine = s_strEchoProgram + ": ";
    for (const std::string & strContext : s_vContext)
        strLine += strContext + ": ";
    strLine += strMessage;
    if (!s_setEchoed.insert(strLine).second)
        return;
    ++s_nEchoed;
    s_strLastEcho = strLine;
    std::fprintf(stderr, "%s\n", strLine.c_str());
}

// Lines that only say that a whole scene or animation failed: the group's more specific line
// (the file that is really missing or refused), when there is one, says it better.
bool isGeneral(const std::string & strAuthor)
{
    return strAuthor.rfind("the scene \"", 0) == 0 || strAuthor.rfind("the scene file \"", 0) == 0 ||
           (strAuthor.rfind("the animation file \"", 0) == 0 && strAuthor.find("failed to load") != std::string::npos);
}

// One line per cause: the English lines of the group (the general ones only when nothing more
// specific is there), or, when it holds none, its first line as the log has it.
void flushGroup()
{
    std::vector<std::string> vSpecific, vGeneral;
    for (const std::string & str : s_vGroup)
    {
        const std::string strAuthor = authorLine(str);
        if (!strAuthor.empty())
            (isGeneral(strAuthor) ? vGeneral : vSpecific).push_back(strAuthor);
    }
    const std::vector<std::string> & vShown = vSpecific.empty() ? vGeneral : vSpecific;
    for (const std::string & str : vShown)
        printEcho(str);
    const bool bAny = !vShown.empty();
    if (!bAny && !s_vGroup.empty())
        printEcho("engine log: " + s_vGroup.front());
    s_vGroup.clear();
}

void echoText(cchar * szText)
{
    if (s_strEchoProgram.empty() || !szText || starts(szText, "File \""))
        return;
    std::string str(szText);
    while (!str.empty() && (str.back() == '\n' || str.back() == '\r'))
        str.pop_back();
    for (char & c : str)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    if (!str.empty())
        s_vGroup.push_back(str);
}
} // namespace

void qoru_setLogEcho(cchar * szProgram)
{
    flushGroup();
    s_strEchoProgram = szProgram ? szProgram : "";
    s_setEchoed.clear();
    s_vContext.clear();
    s_nEchoed = 0;
    s_strLastEcho.clear();
}

void qoru_pushLogContext(cchar * szContext)
{
    flushGroup();
    s_vContext.emplace_back(szContext ? szContext : "");
}

void qoru_popLogContext()
{
    flushGroup();
    if (!s_vContext.empty())
        s_vContext.pop_back();
}

void qoru_flushLogEcho() { flushGroup(); }

int qoru_getLogEchoCount()
{
    flushGroup();
    return s_nEchoed;
}

std::string qoru_getLastLogEcho()
{
    flushGroup();
    return s_strLastEcho;
}

static void logText(cchar * szText)
{
    if (!s_szErrorLog)
        return;
    FILE * pFile = qoru_fopenWrite(s_szErrorLog, "at", nullptr);
    if (pFile)
    {
        std::fprintf(pFile, "%s", szText);
        std::fclose(pFile);
    }
    qoru_debugOutput(szText);
}

void qoru_logError(cchar * szFormat, ...)
{
    if ((!s_szErrorLog && s_strEchoProgram.empty()) || !szFormat)
        return;
    char acBuffer[kMessageSize];
    va_list args;
    va_start(args, szFormat);
    // Longer messages are cut to the buffer (callers keep them shorter).
    std::vsnprintf(acBuffer, sizeof(acBuffer), szFormat, args);
    va_end(args);
    echoText(acBuffer);
    logText(acBuffer);
}

void qoru_reportError(cchar * szFormat, ...)
{
    if (!szFormat)
        return;
    char acBuffer[kMessageSize];
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(acBuffer, sizeof(acBuffer), szFormat, args);
    va_end(args);
    qoru_logError("%s", acBuffer);
    qoru_messageBox(acBuffer, "Brenmark Error Handler V1.0", qorrs_mbicon_error);
}

void qoru_setDialogsEnabled(bool bOn) { s_iDialogs = bOn ? 1 : 0; }

bool qoru_dialogsEnabled()
{
    if (s_iDialogs < 0)
        s_iDialogs = envIsOne("QOR_NO_DIALOGS") ? 0 : 1;
    return s_iDialogs == 1;
}

void qoru_setMessageBoxHook(qor_pfnMessageBoxHook pfnHook) { s_pfnBoxHook = pfnHook; }

void qoru_messageBox(cchar * szText, cchar * szCaption, qor_eMessageBoxIcon eIcon)
{
    if (!szText)
        szText = "";
    if (!szCaption)
        szCaption = "";
    if (s_pfnBoxHook)
        s_pfnBoxHook(szText, szCaption);

    // A box needs a real display: the offscreen and dummy drivers have none to show it on.
    bool bShow = qoru_dialogsEnabled();
    if (bShow)
    {
        cchar * szDriver = SDL_GetCurrentVideoDriver();
        cchar * szEnvDriver = std::getenv("SDL_VIDEODRIVER");
        cchar * szName = szDriver ? szDriver : szEnvDriver;
        if (szName && (std::strcmp(szName, "offscreen") == 0 || std::strcmp(szName, "dummy") == 0))
            bShow = false;
        if (!szName && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
            bShow = false;
    }
    if (bShow)
    {
        const Uint32 uFlags = eIcon == qorrs_mbicon_error     ? SDL_MESSAGEBOX_ERROR
                              : eIcon == qorrs_mbicon_warning ? SDL_MESSAGEBOX_WARNING
                                                              : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(uFlags, szCaption, szText, nullptr) == 0)
            return;
    }
    const size_t n = std::strlen(szText);
    std::fprintf(stderr, "%s: %s%s", szCaption, szText, (n && szText[n - 1] == '\n') ? "" : "\n");
}

qor_cLogFile::qor_cLogFile(cchar * szPath) : m_acBuffer{}, m_strPath(szPath)
{
    if (szPath)
        std::remove(szPath);
}

qor_cLogFile::~qor_cLogFile() {}

void qor_cLogFile::log(cchar * szFormat, ...)
{
    if (!szFormat || std::strlen(szFormat) > 510)
        return;
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(m_acBuffer, sizeof(m_acBuffer), szFormat, args);
    va_end(args);
    if (m_strPath.isEmpty())
        return;
    FILE * pFile = qoru_fopenWrite(m_strPath.get(), "a", nullptr);
    if (pFile)
    {
        std::fprintf(pFile, "%s", m_acBuffer);
        std::fclose(pFile);
    }
}
