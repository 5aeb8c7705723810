// Feeds arbitrary scene file images, each with an animation file from the same input, to the
// scene's own load on a headless display, then runs a few frames of the loaded scene.
#include "qor_cDisp.h"
#include "qor_cMonofiler.h"
#include "qor_cScene.h"
#include "qor_cXChange.h"
#include "qor_fuzzFile.h"
#include "qor_fuzzScene.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
qor_cXChange * s_pXChange = nullptr;
qor_cMonofiler * s_pPack = nullptr;
qor_cDisp * s_pDisp = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    setenv("LP_NUM_THREADS", "0", 0);
    s_pXChange = new qor_cXChange;
    s_pPack = new qor_cMonofiler;
    s_pXChange->setMonofiler(s_pPack);
    s_pDisp = qor_cDisp::create();
    if (!s_pDisp || !s_pDisp->init(640, 480, 32, false))
    {
        std::fprintf(stderr, "fuzz_scene: no display\n");
        std::abort();
    }
    s_pXChange->setDisp(s_pDisp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    std::vector<uint8_t> scene, anim;
    qoru_fuzzSplitScene(pData, nSize, scene, anim);
    const std::string strScene = qoru_fuzzWriteInput("scene", ".s3d", scene.data(), scene.size());
    if (strScene.empty())
        return 0;
    const std::string strAnim = strScene + ".MOT";
    FILE * pFile = std::fopen(strAnim.c_str(), "wb");
    if (!pFile)
        return 0;
    const bool bWritten = anim.empty() || std::fwrite(anim.data(), 1, anim.size(), pFile) == anim.size();
    std::fclose(pFile);
    if (!bWritten)
        return 0;

    qor_cScene * pScene = new qor_cScene;
    if (pScene->load(strScene.c_str()))
    {
        // A loaded scene must also run: frames at odd steps, a rewind, and drawing.
        for (float dt : {0.0f, 1.0f, 7.5f, -2.0f, 1000.0f})
        {
            pScene->update(&dt);
            pScene->render();
        }
        pScene->rewind();
    }
    delete pScene;
    return 0;
}
