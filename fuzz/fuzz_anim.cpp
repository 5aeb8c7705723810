// Feeds arbitrary animation files to the scene's animation loader, on a scene of cameras, a
// target, a dummy, bones and a mesh, then runs a few frames.
#include "qor_cScene.h"
#include "qor_fuzzFile.h"
#include "qor_fuzzScene.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    const std::string strAnim = qoru_fuzzWriteInput("anim", ".MOT", pData, nSize);
    if (strAnim.empty())
        return 0;
    qor_cScene scene;
    qoru_fuzzAnimScene(scene);
    if (scene.loadAnim(strAnim.c_str()))
    {
        for (float dt : {0.0f, 0.5f, 3.0f, 250.0f})
        {
            scene.update(&dt);
            for (int i = 0; i < scene.cameras().getNbItem(); ++i)
                scene.cameras().get<qor_cCamera>(i)->evaluate();
        }
        scene.rewind();
    }
    return 0;
}
