// Inputs of the scene fuzz targets.
//
// fuzz_scene: u32 n (little-endian), then n bytes of scene file image, then the bytes of its
// animation file (a shorter input gives the scene all it holds and an empty animation file).
// fuzz_anim: the animation file alone, read into the scene qoru_fuzzAnimScene builds.
#pragma once

#include "qor_cBone.h"
#include "qor_cCamera.h"
#include "qor_cGizmo.h"
#include "qor_cMesh.h"
#include "qor_cScene.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Splits a fuzz_scene input into its two files.
inline void qoru_fuzzSplitScene(const uint8_t * pData, size_t nSize, std::vector<uint8_t> & scene,
                                std::vector<uint8_t> & anim)
{
    size_t n = 0;
    if (nSize >= 4)
        n = size_t(pData[0]) | size_t(pData[1]) << 8 | size_t(pData[2]) << 16 | size_t(pData[3]) << 24;
    const size_t nHead = nSize < 4 ? nSize : 4;
    const size_t nScene = n < nSize - nHead ? n : nSize - nHead;
    scene.assign(pData + nHead, pData + nHead + nScene);
    anim.assign(pData + nHead + nScene, pData + nSize);
}

// The scene the animation fuzzer reads into: a target camera and its target, a free camera, a
// dummy parent with a bone child, a second bone and a mesh (names "cam", "tgt", "free", "root",
// "bone", "bone2", "mesh").
inline void qoru_fuzzAnimScene(qor_cScene & scene)
{
    auto put = [&](qor_cObject * p, const char * sz) {
        p->setName(sz);
        scene.add(p, true);
        scene.addObject(p, false);
    };
    qor_cObject * pTarget = new qor_cObject;
    put(pTarget, "tgt");
    qor_cCamera * pCam = new qor_cCamera;
    pCam->setType(qor_cObject::e_type_cameraTarget);
    pCam->setTarget(pTarget);
    put(pCam, "cam");
    put(new qor_cCamera, "free");
    qor_cDummy * pRoot = new qor_cDummy;
    put(pRoot, "root");
    qor_cBone * pBone = new qor_cBone;
    pBone->setParent(pRoot);
    put(pBone, "bone");
    put(new qor_cBone, "bone2");
    put(new qor_cMesh, "mesh");
}
