// Test entry: headless video, dummy audio, and dialogs that never block a test run.
#include <gtest/gtest.h>

#include "qor_cErrorHandler.h"
#include "qor_cSDL.h"

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
    qoru_setDialogsEnabled(false);
    qoru_pinGLLibraries();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
