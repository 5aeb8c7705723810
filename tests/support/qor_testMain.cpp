// Test entry: headless video, dummy audio, and dialogs that never block a test run.
#include <gtest/gtest.h>

#include "qor_cErrorHandler.h"
#include "qor_cSDL.h"
#include "qor_testUtil.h"

#include <cstdlib>

int main(int argc, char ** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    setenv("QOR_BIN_DIR", QOR_TEST_BIN_DIR, 0);
    setenv("QOR_SOURCE_DIR", QOR_TEST_SOURCE_DIR, 0);
    setenv("QOR_PLUGIN_DIR", QOR_TEST_BIN_DIR, 0);
    // The software rasteriser draws on the calling thread: with its worker threads alive at
    // exit, the leak checker's thread walk can crash on their thread-local blocks.
    setenv("LP_NUM_THREADS", "0", 0);
    // Programs linked by the display device are kept under $XDG_CACHE_HOME/qor: every test
    // process gets a fresh folder of its own, removed at exit, and never touches the user's.
    // Mesa's own shader cache is off: its writer thread, busy at exit after a cold compile, is
    // another thread the leak checker's walk can crash on, and every test process would
    // otherwise share (and race on) the user's cache folder.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    const qort::TempDir cacheDir;
    setenv("XDG_CACHE_HOME", cacheDir.path().c_str(), 1);
    qoru_setDialogsEnabled(false);
    qoru_pinGLLibraries();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
