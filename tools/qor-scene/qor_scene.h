// qor-scene: a tool for authors and checks over scene files and their animation files.
//
// Each subcommand lives in a file of its own and has one line in the table of
// qor_sceneCommands.cpp; main() (qor_scene.cpp) picks it by name and hands it the arguments
// that follow the name. Exit codes: 0 success, 1 failure (a message on standard error),
// 2 bad usage (the message and the usage text on standard error).
#pragma once

#include <cstdio>

namespace qor_scene
{
constexpr int e_exitOk = 0;
constexpr int e_exitFailure = 1;
constexpr int e_exitUsage = 2;

// argv[0] is the subcommand's name, argv[1 .. argc - 1] its arguments.
typedef int (*pfnCommand)(int argc, char ** argv);

struct sCommand
{
    const char * m_szName;
    const char * m_szArgs;  // argument synopsis for the usage text
    const char * m_szHelp;  // one line
    pfnCommand m_pfnRun;
};

// The table (qor_sceneCommands.cpp) and its length.
extern const sCommand g_aCommand[];
extern const int g_nCommand;

// Writes the usage text; a subcommand calls usageError for its own bad usage.
void printUsage(FILE * pOut);
int usageError(const char * szFormat, ...) __attribute__((format(printf, 1, 2)));
// A failure message ("qor-scene: ..." on standard error); returns e_exitFailure.
int failure(const char * szFormat, ...) __attribute__((format(printf, 1, 2)));

// The subcommands.
int runChunks(int argc, char ** argv);
int runCheck(int argc, char ** argv);
// The scene loaded by the engine (with its animation file): a JSON description, a summary.
int runDump(int argc, char ** argv);
int runInfo(int argc, char ** argv);
// The scene drawn as the scene test viewer draws it: one frame as a PNG, or the viewer itself.
int runRender(int argc, char ** argv);
int runPlay(int argc, char ** argv);
} // namespace qor_scene
