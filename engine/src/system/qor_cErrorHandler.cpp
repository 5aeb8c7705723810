#include "qor_cErrorHandler.h"

#include "qor_fileUtil.h"

#include <SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

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
    if (!s_szErrorLog || !szFormat)
        return;
    char acBuffer[kMessageSize];
    va_list args;
    va_start(args, szFormat);
    // Longer messages are cut to the buffer (callers keep them shorter).
    std::vsnprintf(acBuffer, sizeof(acBuffer), szFormat, args);
    va_end(args);
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
