// libFuzzer target: arbitrary bytes as a model for qor-import's conversion. The first byte picks
// the format Assimp's memory reader is told to expect (OBJ, glTF, PLY, STL, OFF, COLLADA, 3DS,
// X); the rest is the file. No other file may be opened: the IO system refuses them all. The
// conversion and the scene image it writes must neither crash nor run without end. glTF input
// first goes through the tool's own depth check, as in the tool.
#include "qor_importConvert.h"
#include "qor_importGltf.h"
#include "qor_importIO.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    static const char * const s_aszHint[] = {"obj", "gltf", "ply", "stl", "off", "dae", "3ds", "x"};
    if (nSize < 2)
        return 0;
    const char * szHint = s_aszHint[pData[0] % (sizeof(s_aszHint) / sizeof(s_aszHint[0]))];
    if (std::string(szHint) == "gltf")
    {
        std::string strWhy;
        if (!qoru_importCheckGltf(std::string(reinterpret_cast<const char *>(pData + 1), nSize - 1), &strWhy))
            return 0;
    }
    Assimp::Importer importer;
    importer.SetIOHandler(new qor_cImportIOSystem(nullptr));
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene * pScene = importer.ReadFileFromMemory(pData + 1, nSize - 1, qoru_importPostProcessFlags(), szHint);
    if (pScene)
        pScene = importer.ApplyPostProcessing(qoru_importAxisFlags());
    if (!pScene)
        return 0;
    qor_sImportOptions options;
    options.m_nFps = 30;
    qor_sImportResult result;
    if (qoru_importConvert(*pScene, options, &result))
    {
        const std::vector<char> image = result.m_pScene->image();
        (void)image;
    }
    return 0;
}
