// qor-player: reads application.ini, creates the application it names, runs it.
//
//   qor-player [--dir DIR] [--frames N] [--window] [--no-dialogs] [--fps N] [--seek S]
//              [--range F:L] [--capture OUT] [--size WxH] [--render-size WxH]
//              [--quiet] [--stats] [--stats-pixels] [--strict]
//              [--screen N] [--loop] [--hud] [--hud-capture] [--watch SRC]
//
// Exit status: 0 when the application ran (or, as with a fresh empty application.ini, none was
// named); 1 when it could not: --dir names no folder, application.ini is refused or its ID is
// not 0 or 1, or the start-up failed (no display, no OpenGL), or a capture failed; 2 for a bad
// command line; 130 or 143 when SIGINT or SIGTERM stopped the show (a capture is finished with
// the frames made so far). Every failure says why on standard error.
#include "qor_cConfigFile.h"
#include "qor_cDispGL.h"
#include "qor_cErrorHandler.h"
#include "qor_cLayerViewer.h"
#include "qor_cPlayerOptions.h"
#include "qor_cSDL.h"
#include "qor_cSceneViewer.h"
#include "qor_cShowConfig.h"

#include <SDL.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace
{
const int kExitOk = 0;
const int kExitFailure = 1;
const int kExitUsage = 2;

struct Launcher
{
    int id = 0;
    int user = 0;
    qor_cApplication * pApplication = nullptr;
    ~Launcher() { delete pApplication; }
};

// One command-line option: its name, the name of its value (null when it takes none), its
// help line, and what it does. The handler returns an exit status, or -1 to go on.
struct Option
{
    cchar * szName;
    cchar * szValue;
    cchar * szHelp;
    int (*pfnApply)(cchar * szValue);
};

void usage(cchar * szError, FILE * pOutFor = nullptr);

// --dir is entered once the whole command line is read, so that every path on it (--capture
// too, wherever it stands) is taken from the caller's working directory.
std::string s_strDir;

int applyDir(cchar * szValue)
{
    s_strDir = szValue;
    return -1;
}

// Paths of the command line are the caller's: a relative --capture is made absolute before the
// player enters --dir. In a PNG pattern a "%" of the folder's name is written "%%"; a video name
// cannot hold one, and is then left relative to --dir, the user told.
int enterDir()
{
    std::string & strCapture = qor_cPlayerOptions::get().strCapture;
    if (!s_strDir.empty() && !strCapture.empty() && strCapture[0] != '/')
    {
        char acCwd[PATH_MAX];
        if (!getcwd(acCwd, sizeof acCwd))
        {
            std::fprintf(stderr, "qor-player: the current folder cannot be read: %s\n", std::strerror(errno));
            return kExitFailure;
        }
        const bool bPattern = strCapture.find('%') != std::string::npos;
        std::string strCwd;
        for (cchar * p = acCwd; *p; ++p)
            strCwd += (*p == '%' && bPattern) ? std::string("%%") : std::string(1, *p);
        if (!bPattern && strCwd.find('%') != std::string::npos)
            std::fprintf(stderr, "qor-player: --capture %s is written in %s (the current folder's name holds \"%%\")\n",
                         strCapture.c_str(), s_strDir.c_str());
        else
            strCapture = strCwd + "/" + strCapture;
    }
    if (!s_strDir.empty() && chdir(s_strDir.c_str()) != 0)
    {
        std::fprintf(stderr, "qor-player: cannot enter the folder %s: %s\n", s_strDir.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    return -1;
}

int applyFrames(cchar * szValue)
{
    char * pEnd = nullptr;
    errno = 0;
    const long n = std::strtol(szValue, &pEnd, 10);
    if (!*szValue || *pEnd || errno || n < 0 || n > 1000000000)
    {
        usage("--frames takes a frame count (0 to 1000000000)");
        return kExitUsage;
    }
    qor_cApplication::setFrameLimit(static_cast<int>(n));
    return -1;
}

int applyWindow(cchar *)
{
    qoru_setForceWindowed(true);
    return -1;
}

int applyNoDialogs(cchar *)
{
    qoru_setDialogsEnabled(false);
    return -1;
}

int applyHelp(cchar *)
{
    usage(nullptr);
    return kExitOk;
}

const Option s_aOptions[] = {
    {"--dir", "DIR", "working directory (application.ini, pack, loose files, logs)", &applyDir},
    {"--frames", "N", "end after N frames", &applyFrames},
    {"--window", nullptr, "a 640 x 480 window instead of full screen", &applyWindow},
    {"--no-dialogs", nullptr, "write message boxes to standard error", &applyNoDialogs},
    {"--help", nullptr, "print this help", &applyHelp},
    {"-h", nullptr, nullptr, &applyHelp},
};

void usage(cchar * szError, FILE * pOutFor)
{
    FILE * pOut = pOutFor ? pOutFor : szError ? stderr : stdout;
    if (szError)
        std::fprintf(stderr, "qor-player: %s\n", szError);
    std::fprintf(pOut, "usage: qor-player [options]\n");
    for (const Option & o : s_aOptions)
    {
        if (!o.szHelp)
            continue;
        const std::string strName = std::string(o.szName) + (o.szValue ? std::string(" ") + o.szValue : "");
        std::fprintf(pOut, "  %-14s %s\n", strName.c_str(), o.szHelp);
    }
    std::fprintf(pOut, "%s", qor_cPlayerOptions::usage());
}

// Applies the options in order; an exit status when the player must end at once, else -1.
int parseOptions(int argc, char ** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        const Option * pOption = nullptr;
        for (const Option & o : s_aOptions)
            if (std::strcmp(argv[i], o.szName) == 0)
                pOption = &o;
        if (!pOption)
        {
            // The show's own options (clock, seek, capture, size).
            const int iTaken = qor_cPlayerOptions::parse(argc, argv, i);
            if (iTaken > 0)
                continue;
            if (iTaken < 0)
            {
                usage(nullptr, stderr);
                return kExitUsage;
            }
            usage((std::string("unknown option ") + argv[i]).c_str());
            return kExitUsage;
        }
        cchar * szValue = nullptr;
        if (pOption->szValue)
        {
            if (i + 1 >= argc)
            {
                usage((std::string(pOption->szName) + " needs a value (" + pOption->szValue + ")").c_str());
                return kExitUsage;
            }
            szValue = argv[++i];
        }
        const int iExit = pOption->pfnApply(szValue);
        if (iExit >= 0)
            return iExit;
    }
    return -1;
}

// ID read as "%d" reads it, but whole: blanks around a decimal integer, nothing else, and no
// value that "%d" would wrap (4294967297 is not 1).
bool parseId(cchar * sz, int * piOut)
{
    char * pEnd = nullptr;
    errno = 0;
    const long long n = std::strtoll(sz, &pEnd, 10);
    if (pEnd == sz || errno == ERANGE || n < INT_MIN || n > INT_MAX)
        return false;
    while (*pEnd == ' ' || *pEnd == '\t')
        ++pEnd;
    if (*pEnd)
        return false;
    *piOut = static_cast<int>(n);
    return true;
}

// The ini read. kExitOk with id and user filled when an application is to start; -1 when none
// is named (ID or USER missing: nothing starts, as with a fresh empty file); kExitFailure
// after a message when the file is refused or its ID names no application.
int readIni(Launcher & launcher)
{
    qor_cConfigFile ini;
    if (!ini.load("application.ini"))
    {
        // A file that exists but is refused (not a regular file, too large) is an error; one
        // that can be neither opened nor created starts the scene test viewer.
        struct stat st;
        if (stat("application.ini", &st) == 0 && *ini.getError())
        {
            std::fprintf(stderr, "qor-player: application.ini: %s\n", ini.getError());
            return kExitFailure;
        }
        return kExitOk;
    }
    cchar * szID = ini.getValue("APPLICATION", "ID");
    cchar * szUser = ini.getValue("APPLICATION", "USER");
    if (!szID || !szUser)
        return -1;
    if (!parseId(szID, &launcher.id) || (launcher.id != 0 && launcher.id != 1))
    {
        std::fprintf(stderr,
                     "qor-player: application.ini: [APPLICATION] ID is \"%s\"; it must be 0 (the scene test viewer) "
                     "or 1 (the demo player)\n",
                     szID);
        return kExitFailure;
    }
    std::sscanf(szUser, "%d", &launcher.user);
    if (launcher.id == 1)
    {
        // The show: [SHOW] when it is there, the built-in show otherwise; a malformed entry stops
        // everything before a window opens.
        if (!qor_cShowConfig::get().read(ini))
        {
            std::fprintf(stderr, "qor-player: %s\n", qor_cShowConfig::get().getError());
            return kExitFailure;
        }
        if (!qor_cPlayerOptions::checkSeek() || !qor_cPlayerOptions::checkScreen())
            return kExitUsage;
    }
    return kExitOk;
}
#ifdef __EMSCRIPTEN__
// In a page the browser owns the loop: the show runs one pass per animation frame, and the
// page hears of the first frame and of the end through Module.qorFirstFrame and
// Module.qorShowEnd(exit status).
// clang-format off
EM_JS(void, qoru_webShowEnd, (int iExit), { if (Module.qorShowEnd) Module.qorShowEnd(iExit); });
EM_JS(void, qoru_webFirstFrame, (), { if (Module.qorFirstFrame) Module.qorFirstFrame(); });
// clang-format on

Launcher * s_pWebLauncher = nullptr;
bool s_bWebStarted = false;
bool s_bWebFirstFrame = false;

void endWebShow(int iExit)
{
    emscripten_cancel_main_loop();
    if (s_pWebLauncher)
    {
        s_pWebLauncher->pApplication->release();
        delete s_pWebLauncher;
        s_pWebLauncher = nullptr;
    }
    SDL_Quit();
    if (iExit == 0)
        iExit = qor_cPlayerOptions::getExitStatus();
    qoru_webShowEnd(iExit);
}

void webFrame()
{
    qor_cLayerViewer * pViewer = static_cast<qor_cLayerViewer *>(s_pWebLauncher->pApplication);
    if (!s_bWebStarted)
    {
        // The show is built in the first animation frame, once the page has drawn itself.
        s_bWebStarted = true;
        if (pViewer->startShow())
            return;
    }
    else
    {
        const bool bMore = pViewer->stepFrame();
        if (!s_bWebFirstFrame)
        {
            s_bWebFirstFrame = true;
            qoru_webFirstFrame();
        }
        if (bMore)
            return;
    }
    pViewer->finishShow();
    endWebShow(0);
}

// Hands the launcher to the browser's loop; returns only when nothing is to be played.
int runInPage(Launcher * pLauncher)
{
    if (pLauncher->id != 1)
    {
        std::fprintf(stderr, "qor-player: only the demo player (ID 1) plays in a page\n");
        delete pLauncher;
        return kExitFailure;
    }
    pLauncher->pApplication = new (std::nothrow) qor_cLayerViewer;
    if (!pLauncher->pApplication || !pLauncher->pApplication->init())
    {
        std::fprintf(stderr, "qor-player: start-up failed (canvas or WebGL 2); nothing was played\n");
        if (pLauncher->pApplication)
            pLauncher->pApplication->release();
        delete pLauncher;
        return kExitFailure;
    }
    s_pWebLauncher = pLauncher;
    emscripten_set_main_loop(webFrame, 0, 1); // does not return
    return kExitOk;
}
#endif
} // namespace

#if defined(__SANITIZE_ADDRESS__)
#define QOR_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOR_LEAK_CHECKED 1
#endif
#endif

int main(int argc, char ** argv)
{
#ifdef QOR_LEAK_CHECKED
    qoru_pinGLLibraries();
#endif
    int iOptions = parseOptions(argc, argv);
    // The display is made at start-up: it draws at the size asked for from its first frame.
    qor_cDispGL::setRenderSize(uint(qor_cPlayerOptions::get().iRenderWidth),
                               uint(qor_cPlayerOptions::get().iRenderHeight));
    // Without a render size the show is drawn at the window's size (a whole multiple of
    // 640 x 480, on a display), except into a capture: its frames stay 640 x 480 (or --size),
    // whatever screen they were made on.
    if (qor_cPlayerOptions::get().iRenderWidth == 0 && qor_cPlayerOptions::get().strCapture.empty())
        qor_cDispGL::followWindowSize(true, qor_cPlayerOptions::get().iWidth, qor_cPlayerOptions::get().iHeight);
    if (iOptions < 0)
        iOptions = enterDir();
    if (iOptions >= 0)
    {
#ifdef __EMSCRIPTEN__
        qoru_webShowEnd(iOptions);
#endif
        return iOptions;
    }
    int iExit = kExitOk;
#ifdef __EMSCRIPTEN__
    {
        Launcher * pLauncher = new Launcher;
        const int iIni = readIni(*pLauncher);
        if (iIni == kExitOk)
            iExit = runInPage(pLauncher);
        else
        {
            delete pLauncher;
            if (iIni == kExitFailure || iIni == kExitUsage)
                iExit = iIni;
        }
        qoru_webShowEnd(iExit);
        return iExit;
    }
#endif
    {
        Launcher launcher;
        const int iIni = readIni(launcher);
        if (iIni == kExitOk)
        {
            if (launcher.id == 0)
                launcher.pApplication = new (std::nothrow) qor_cSceneViewer;
            else
                launcher.pApplication = new (std::nothrow) qor_cLayerViewer;
            if (!launcher.pApplication)
            {
                std::fprintf(stderr, "qor-player: out of memory\n");
                iExit = kExitFailure;
            }
            else
            {
                if (launcher.pApplication->init())
                    launcher.pApplication->run();
                else
                {
                    std::fprintf(stderr, "qor-player: start-up failed (window, display or OpenGL); nothing was played\n");
                    iExit = kExitFailure;
                }
                launcher.pApplication->release();
            }
        }
        else if (iIni == kExitFailure || iIni == kExitUsage)
            iExit = iIni;
    }
    SDL_Quit();
    return iExit != 0 ? iExit : qor_cPlayerOptions::getExitStatus();
}
