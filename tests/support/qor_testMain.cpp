// Test entry: headless video, dummy audio, and dialogs that never block a test run.
#include <gtest/gtest.h>

#include "qor_cErrorHandler.h"

#include <cstdlib>
#include <dlfcn.h>

namespace
{
// SDL unloads the GL libraries when its last window goes; allocations they keep for the
// process would then be reported as leaks of an unknown module. Keeping them loaded lets the
// leak checker name them (and the suppressions match).
void pinGLLibraries()
{
    static const char * const s_aszLibrary[] = {
        "libEGL.so.1", "libEGL_mesa.so.0", "libGL.so.1", "libGLX.so.0", "libGLX_mesa.so.0",
        "libgbm.so.1", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "/usr/lib/x86_64-linux-gnu/dri/kms_swrast_dri.so",
    };
    for (const char * szLibrary : s_aszLibrary)
        dlopen(szLibrary, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
}
} // namespace

int main(int argc, char ** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    setenv("QOR_BIN_DIR", QOR_TEST_BIN_DIR, 0);
    setenv("QOR_SOURCE_DIR", QOR_TEST_SOURCE_DIR, 0);
    setenv("QOR_PLUGIN_DIR", QOR_TEST_BIN_DIR, 0);
    qoru_setDialogsEnabled(false);
    pinGLLibraries();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
