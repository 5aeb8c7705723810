// qor-scene: picks the subcommand by name (see qor_scene.h).
#include "qor_scene.h"

#include "qor_fileUtil.h"

#include <cstdarg>
#include <cstring>

namespace qor_scene
{
void printUsage(FILE * pOut)
{
    std::fprintf(pOut, "usage: qor-scene COMMAND ARGS...\n\ncommands:\n");
    for (int i = 0; i < g_nCommand; ++i)
        std::fprintf(pOut, "  %s %s\n      %s\n", g_aCommand[i].m_szName, g_aCommand[i].m_szArgs,
                     g_aCommand[i].m_szHelp);
    std::fprintf(pOut, "\nexit codes: 0 success, 1 failure, 2 bad usage\n");
}

int usageError(const char * szFormat, ...)
{
    std::fprintf(stderr, "qor-scene: ");
    va_list args;
    va_start(args, szFormat);
    std::vfprintf(stderr, szFormat, args);
    va_end(args);
    std::fprintf(stderr, "\n\n");
    printUsage(stderr);
    return e_exitUsage;
}

int failure(const char * szFormat, ...)
{
    std::fprintf(stderr, "qor-scene: ");
    va_list args;
    va_start(args, szFormat);
    std::vfprintf(stderr, szFormat, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    return e_exitFailure;
}
} // namespace qor_scene

int main(int argc, char ** argv)
{
    using namespace qor_scene;
    // Every file the run reads (scene, animation, textures, scripts) is an input: no output may
    // replace it.
    qoru_trackInputs();
    if (argc < 2)
        return usageError("no command");
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help"))
    {
        printUsage(stdout);
        return e_exitOk;
    }
    for (int i = 0; i < g_nCommand; ++i)
        if (!std::strcmp(argv[1], g_aCommand[i].m_szName))
            return g_aCommand[i].m_pfnRun(argc - 1, argv + 1);
    return usageError("unknown command \"%s\"", argv[1]);
}
