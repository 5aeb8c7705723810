// qor-player: reads application.ini, creates the application it names, runs it, exits with 0.
//
//   qor-player [--dir DIR] [--frames N] [--window] [--no-dialogs] [--fps N] [--seek S]
//              [--capture OUT] [--size WxH] [--quiet]
#include "qor_cConfigFile.h"
#include "qor_cErrorHandler.h"
#include "qor_cLayerViewer.h"
#include "qor_cPlayerOptions.h"
#include "qor_cSDL.h"
#include "qor_cSceneViewer.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

namespace
{
struct Launcher
{
    int id = 0;
    int user = 0;
    qor_cApplication * pApplication = nullptr;
    ~Launcher() { delete pApplication; }
};

void usage(cchar * szError)
{
    if (szError)
        std::fprintf(stderr, "qor-player: %s\n", szError);
    std::fprintf(stderr, "usage: qor-player [--dir DIR] [--frames N] [--window] [--no-dialogs]\n"
                         "  --dir DIR     working directory (application.ini, pack, loose files, logs)\n"
                         "  --frames N    end after N frames\n"
                         "  --window      a 640 x 480 window instead of full screen\n"
                         "  --no-dialogs  write message boxes to standard error\n");
    std::fprintf(stderr, "%s", qor_cPlayerOptions::usage());
}

// Returns false on a malformed command line (the player then exits at once).
bool parseOptions(int argc, char ** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        cchar * sz = argv[i];
        if (std::strcmp(sz, "--dir") == 0 && i + 1 < argc)
        {
            if (chdir(argv[++i]) != 0)
            {
                std::fprintf(stderr, "qor-player: cannot enter %s\n", argv[i]);
                return false;
            }
        }
        else if (std::strcmp(sz, "--frames") == 0 && i + 1 < argc)
        {
            char * pEnd = nullptr;
            const long n = std::strtol(argv[++i], &pEnd, 10);
            if (!pEnd || *pEnd || n < 0 || n > 1000000000)
            {
                usage("--frames takes a frame count");
                return false;
            }
            qor_cApplication::setFrameLimit(static_cast<int>(n));
        }
        else if (std::strcmp(sz, "--window") == 0)
            qoru_setForceWindowed(true);
        else if (std::strcmp(sz, "--no-dialogs") == 0)
            qoru_setDialogsEnabled(false);
        else if (const int iTaken = qor_cPlayerOptions::parse(argc, argv, i))
        {
            if (iTaken < 0)
                return false;
        }
        else if (std::strcmp(sz, "--help") == 0 || std::strcmp(sz, "-h") == 0)
        {
            usage(nullptr);
            return false;
        }
        else
        {
            usage((std::string("unknown option ") + sz).c_str());
            return false;
        }
    }
    return true;
}

// The ini read: true with id and user filled, false when ID or USER is missing.
bool readIni(Launcher & launcher)
{
    qor_cConfigFile ini;
    if (!ini.load("application.ini"))
        return true; // neither opened nor created: the scene test viewer starts
    cchar * szID = ini.getValue("APPLICATION", "ID");
    cchar * szUser = ini.getValue("APPLICATION", "USER");
    if (!szID || !szUser)
        return false;
    std::sscanf(szID, "%d", &launcher.id);
    std::sscanf(szUser, "%d", &launcher.user);
    return true;
}
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
    if (!parseOptions(argc, argv))
        return 0;
    {
        Launcher launcher;
        if (readIni(launcher))
        {
            if (launcher.id == 0)
                launcher.pApplication = new (std::nothrow) qor_cSceneViewer;
            else if (launcher.id == 1)
                launcher.pApplication = new (std::nothrow) qor_cLayerViewer;
            if (launcher.pApplication)
            {
                if (launcher.pApplication->init())
                    launcher.pApplication->run();
                launcher.pApplication->release();
            }
        }
    }
    SDL_Quit();
    return qor_cPlayerOptions::getExitStatus();
}
