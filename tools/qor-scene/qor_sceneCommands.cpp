// The subcommands of qor-scene, one line each, in the order the usage text lists them.
#include "qor_scene.h"

namespace qor_scene
{
const sCommand g_aCommand[] = {
    {"chunks", "FILE", "the chunk table or chunked stream of FILE as a tree of ids, sizes and offsets", &runChunks},
    {"check", "FILE.s3d", "read FILE.s3d with the engine's loader and its record checks, walk FILE.s3d.MOT", &runCheck},
    {"dump", "FILE.s3d [--at T]...",
     "the scene and its FILE.s3d.MOT loaded by the engine, as JSON; --at: the objects after an update to T frame units",
     &runDump},
    {"info", "FILE.s3d", "counts per object type, triangles, textures, materials and the animation's length", &runInfo},
    {"render", "FILE.s3d --at T -o OUT.png [--size WxH]",
     "one frame as the scene viewer draws it after an update to T frame units, as an 8-bit RGB PNG", &runRender},
    {"play", "FILE.s3d [--frames N] [--dir DIR | --no-logs]",
     "the scene viewer on FILE.s3d (headless for N frames with --frames); its logs qor_error.txt and "
     "qor_trace.txt go to DIR (default: the working folder), or nowhere with --no-logs",
     &runPlay},
};
const int g_nCommand = int(sizeof(g_aCommand) / sizeof(g_aCommand[0]));
} // namespace qor_scene
