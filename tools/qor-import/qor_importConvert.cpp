#include "qor_importConvert.h"

#include "qor_importIO.h"

#include <assimp/anim.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_map>

namespace
{
// Names of the scene file: 63 characters and a NUL in a 64-byte field.
constexpr size_t e_maxName = 63;
// Texture names leave room for the alpha image's "_a".
constexpr size_t e_maxTextureName = 61;
// Largest external texture read.
constexpr uint64_t e_maxImageFile = 64ull * 1024 * 1024;
// Morph key times: ticks of 1/160 frame unit (a frame unit is 1/30 s).
constexpr double e_ticksPerSecond = 30.0 * 160.0;

enum eKind
{
    e_dummy,
    e_mesh,
    e_bone,
    e_camera,
    e_light,
    e_target, // what a camera looks at
};

struct sObject
{
    std::string m_strName;
    eKind m_eKind = e_dummy;
    const aiNode * m_pNode = nullptr;
    int m_nParent = -1;        // index in the object list
    bool m_bWorld = false;     // transform baked in world space (cameras and lights)
    unsigned m_nSource = 0;    // camera or light index in the Assimp scene
    int m_nTarget = -1;        // camera: its target object; target: its index among the targets
    unsigned m_nTriMesh = 0;   // mesh: its mesh data's order
    bool m_bHidden = false;    // morph targets: visibility 0
    qor_cVector3 m_vCenter;
    float m_fRadius = 0.0f;
    // Morph targets: the base mesh object and the anim-mesh index.
    int m_nMorphBase = -1;
    unsigned m_nMorphIndex = 0;
};

// A qor mesh's geometry: the node's triangle meshes in material order, or one anim-mesh set.
struct sMeshBuild
{
    std::vector<unsigned> m_meshes;  // Assimp mesh indices, sorted by material
    int m_nObject = -1;
    int m_nMorphTarget = -1;         // anim-mesh index, -1 for the base geometry
};

uint32_t fnv1a(const std::string & s)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : s)
        h = (h ^ c) * 16777619u;
    return h;
}

aiVector3D lerp(const aiVector3D & a, const aiVector3D & b, float f) { return a + (b - a) * f; }

template <typename K> size_t keyBefore(const K * pKeys, unsigned n, double t)
{
    // The last key at or before t (0 when t is before the first), by bisection: sampling a long
    // track stays O(log n) a sample.
    size_t lo = 0, hi = n;
    while (hi - lo > 1)
    {
        const size_t mid = lo + (hi - lo) / 2;
        if (pKeys[mid].mTime <= t)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

aiVector3D blend(const aiVector3D & a, const aiVector3D & b, float f) { return lerp(a, b, f); }

aiQuaternion blend(const aiQuaternion & a, const aiQuaternion & b, float f)
{
    aiQuaternion out;
    aiQuaternion::Interpolate(out, a, b, f);
    return out.Normalize();
}

// A channel's value at time t: the keys around t blended (linear, spherical for rotations);
// before the first key its value, after the last one its value; no keys: the fallback.
template <typename K, typename V> V sample(const K * pKeys, unsigned n, double t, const V & fallback)
{
    if (!pKeys || n == 0)
        return fallback;
    const size_t i = keyBefore(pKeys, n, t);
    if (i + 1 >= n || t <= pKeys[i].mTime)
        return pKeys[i].mValue;
    const double span = pKeys[i + 1].mTime - pKeys[i].mTime;
    const float f = span > 0 ? float((t - pKeys[i].mTime) / span) : 0.0f;
    return blend(pKeys[i].mValue, pKeys[i + 1].mValue, f);
}

class cConverter
{
public:
    cConverter(const aiScene & scene, const qor_sImportOptions & options, qor_sImportResult * pResult)
        : m_scene(scene), m_opt(options), m_out(*pResult)
    {
    }

    bool run();

private:
    void warn(const std::string & s) { m_out.m_warnings.push_back(s); }
    std::string objectName(const std::string & s) { return qoru_importUniqueName(m_opt.m_strPrefix + s, e_maxName, &m_usedObject); }

    void collect(const aiNode * pRoot, int nRootParent);
    void collectOne(const aiNode * pNode, int nParent, std::vector<std::pair<const aiNode *, int>> * pStack);
    void buildMeshes();
    void writeTexturesAndMaterials();
    std::string textureFor(const aiMaterial & mat, aiTextureType eType, bool bBump, bool * pbAlpha);
    bool loadImage(const std::string & path, qor_sImportImage * pImage);
    void writeObjects();
    void writeHierarchy(); // after every object
    void writeMeshData(const sMeshBuild & build);
    void poseAtZero(const aiMesh & mesh, const aiNode * pMeshNode, size_t nBase, std::vector<qor_cVector3> * pPositions,
                    std::vector<qor_cVector3> * pNormals) const;
    void writeMorphs();
    void writeAnimation();

    // Local transform of a node at time t (ticks), from its channel when it has one.
    aiMatrix4x4 localAt(const aiNode * pNode, double t) const;
    aiMatrix4x4 worldAt(const aiNode * pNode, double t) const;
    bool chainAnimated(const aiNode * pNode) const;
    // Engine transform of an object at time t: position, rotation, scale.
    void transformAt(const sObject & obj, double t, aiVector3D * pPos, aiQuaternion * pRot, aiVector3D * pScale) const;

    bool chooseAnimation();
    // The model's bounds in world space at time 0 (unscaled), from its meshes' vertices.
    bool worldBounds(aiVector3D * pMin, aiVector3D * pMax) const;
    void writeStage();
    void cameraAt(const sObject & obj, double t, aiVector3D * pEye, aiVector3D * pDir, aiVector3D * pUp) const;
    // A light's place and range (scaled): directional lights stand back from the model along
    // their direction, spot lights where they are; both reach the whole model.
    aiVector3D lightPosition(const sObject & obj, double t) const;
    aiVector3D targetAt(const aiNode * pTarget, double t) const;
    float lightRange(const sObject & obj) const;
    bool m_bBounds = false;
    aiVector3D m_vBoundsCenter; // scaled
    float m_fBoundsRadius = 0.0f;

    const aiScene & m_scene;
    qor_sImportOptions m_opt;
    qor_sImportResult & m_out;
    qor_cS3dWriter * m_pW = nullptr;

    std::vector<sObject> m_objects;
    std::vector<sMeshBuild> m_builds;
    qor_sImportNames m_usedObject;
    qor_sImportNames m_usedMaterial;
    qor_sImportNames m_usedTexture;
    std::unordered_set<std::string> m_alphaTextures; // textures written with an alpha image
    std::set<std::string> m_boneNames;
    std::map<std::string, unsigned> m_cameraByName;
    std::map<std::string, unsigned> m_lightByName;
    std::unordered_map<std::string, int> m_objectByNode;  // node name -> object (first)
    std::vector<std::string> m_materialNames;
    std::map<std::string, std::string> m_textureByKey;
    const aiAnimation * m_pAnim = nullptr;
    double m_fTicksPerSecond = 25.0;
    std::unordered_map<std::string, const aiNodeAnim *> m_channel;
    std::set<const aiNode *> m_targetNodes; // nodes that became camera targets
    unsigned m_nTargets = 0;                // Target chunks written so far
    unsigned m_nLightsOut = 0;              // omni lights written
    bool m_bStageCamera = false;            // --stage added a camera
    std::vector<qor_sMotObject> m_stageMotions;
};

// The roll about Z that turns the engine's up vector (0, 1, 0) so that, seen along dir, it
// points where up points: the look-at keeps only up's part across dir, so the roll r must make
// Up(r) = (-sin r, cos r, 0) perpendicular to dir x up, on up's side.
float rollFor(const aiVector3D & dir, const aiVector3D & up)
{
    const aiVector3D w = dir ^ up;
    auto upOf = [](float r) { return aiVector3D(-std::sin(r), std::cos(r), 0.0f); };
    float r;
    if (std::fabs(w.x) + std::fabs(w.y) < 1e-6f)
        r = std::atan2(-up.x, up.y); // dir and up both in the xy plane
    else
        r = std::atan2(w.y, w.x);
    if (upOf(r) * up < 0)
        r += float(AI_MATH_PI);
    if (r > float(AI_MATH_PI))
        r -= 2.0f * float(AI_MATH_PI);
    return std::fabs(r) < 1e-6f ? 0.0f : r;
}

// The rotation taking (0, -1, 0), the engine's free camera's view direction, onto dir.
aiQuaternion lookRotation(aiVector3D to)
{
    if (to.Length() <= 0)
        return aiQuaternion();
    to.Normalize();
    const aiVector3D from(0, -1, 0);
    const float fDot = from * to;
    if (fDot > 0.99999f)
        return aiQuaternion();
    if (fDot < -0.99999f)
        return aiQuaternion(aiVector3D(1, 0, 0), float(AI_MATH_PI));
    aiVector3D axis = from ^ to;
    axis.Normalize();
    return aiQuaternion(axis, std::acos(fDot));
}

// The engine's projection is always 4:3 with a vertical field of view. Assimp's readers give the
// whole horizontal angle and the aspect it belongs to (none: the two angles are taken as equal),
// except its glTF reader, which gives the file's vertical angle times the aspect.
float verticalFov(const aiCamera & cam, bool bGltf)
{
    const float fH =
        cam.mHorizontalFOV > 0 && cam.mHorizontalFOV < 2.0f * float(AI_MATH_PI) ? cam.mHorizontalFOV : 0.785398f;
    const float fAspect = cam.mAspect > 0 ? cam.mAspect : 1.0f;
    const float fV = bGltf ? fH / fAspect : 2.0f * std::atan(std::tan(std::min(fH, 3.1f) * 0.5f) / fAspect);
    return std::min(std::max(fV, 0.01f), 3.1f);
}

bool cConverter::run()
{
    m_out.m_pScene.reset(new qor_cS3dWriter());
    m_pW = m_out.m_pScene.get();
    if (!m_scene.mRootNode)
    {
        warn("the scene has no nodes");
        return false;
    }
    for (unsigned i = 0; i < m_scene.mNumMeshes; ++i)
        for (unsigned b = 0; m_scene.mMeshes[i] && b < m_scene.mMeshes[i]->mNumBones; ++b)
            m_boneNames.insert(m_scene.mMeshes[i]->mBones[b]->mName.C_Str());
    for (unsigned i = 0; i < m_scene.mNumCameras; ++i)
        m_cameraByName.emplace(m_scene.mCameras[i]->mName.C_Str(), i);
    for (unsigned i = 0; i < m_scene.mNumLights; ++i)
        m_lightByName.emplace(m_scene.mLights[i]->mName.C_Str(), i);
    if (!chooseAnimation())
        return false;
    if (m_opt.m_fFit > 0)
    {
        aiVector3D vMin, vMax;
        if (worldBounds(&vMin, &vMax))
        {
            const aiVector3D e = vMax - vMin;
            const float fExtent = std::max(e.x, std::max(e.y, e.z));
            if (fExtent > 0 && std::isfinite(fExtent))
                m_opt.m_fScale = m_opt.m_fFit / fExtent;
        }
    }
    for (unsigned i = 0; i < m_scene.mNumCameras; ++i)
    {
        const std::string strName = m_scene.mCameras[i]->mName.C_Str();
        const aiNode * pTarget = m_scene.mRootNode->FindNode((strName + ".Target").c_str());
        if (pTarget && pTarget->mNumChildren == 0 && pTarget->mNumMeshes == 0 &&
            m_scene.mRootNode->FindNode(strName.c_str()))
            m_targetNodes.insert(pTarget);
    }
    {
        aiVector3D vMin, vMax;
        if (worldBounds(&vMin, &vMax))
        {
            m_bBounds = true;
            m_vBoundsCenter = (vMin + vMax) * (0.5f * m_opt.m_fScale);
            m_fBoundsRadius = (vMax - vMin).Length() * 0.5f * m_opt.m_fScale;
        }
    }
    collect(m_scene.mRootNode, -1);
    buildMeshes();
    writeTexturesAndMaterials();
    writeObjects();
    if (m_opt.m_bStage)
        writeStage();
    writeHierarchy();
    for (const sMeshBuild & build : m_builds)
        writeMeshData(build);
    writeMorphs();
    m_pW->addGlobalInfos(qor_cColor(0.25f, 0.25f, 0.25f, 1.0f), qor_cColor(0, 0, 0, 1));
    writeAnimation();
    m_out.m_nObjects = unsigned(m_objects.size());
    m_out.m_nFileCameras = m_scene.mNumCameras;
    m_out.m_nLights = m_nLightsOut;
    for (const sObject & obj : m_objects)
        m_out.m_nCameras += obj.m_eKind == e_camera ? 1 : 0;
    m_out.m_nCameras += m_bStageCamera ? 1 : 0;
    for (unsigned i = 0; i < m_scene.mNumCameras; ++i)
        if (!m_scene.mRootNode->FindNode(m_scene.mCameras[i]->mName))
            warn("camera \"" + std::string(m_scene.mCameras[i]->mName.C_Str()) + "\" names no node; not converted");
    if (m_objects.empty())
    {
        warn("nothing to convert");
        return false;
    }
    return true;
}

bool cConverter::chooseAnimation()
{
    if (m_scene.mNumAnimations == 0)
    {
        if (!m_opt.m_strAnim.empty())
        {
            warn("--anim " + m_opt.m_strAnim + ": the file has no animation");
            return false;
        }
        return true;
    }
    unsigned nAnim = 0;
    if (!m_opt.m_strAnim.empty())
    {
        nAnim = m_scene.mNumAnimations;
        for (unsigned i = 0; i < m_scene.mNumAnimations && nAnim == m_scene.mNumAnimations; ++i)
            if (m_opt.m_strAnim == m_scene.mAnimations[i]->mName.C_Str())
                nAnim = i;
        const std::string & a = m_opt.m_strAnim;
        if (nAnim == m_scene.mNumAnimations && a.size() < 10 &&
            a.find_first_not_of("0123456789") == std::string::npos && std::stoul(a) < m_scene.mNumAnimations)
            nAnim = unsigned(std::stoul(a));
        if (nAnim == m_scene.mNumAnimations)
        {
            std::string list;
            for (unsigned i = 0; i < m_scene.mNumAnimations && i < 20; ++i)
                list += (i ? ", " : "") + std::to_string(i) + " \"" + m_scene.mAnimations[i]->mName.C_Str() + "\"";
            warn("--anim " + a + ": no such animation (the file has " + list + ")");
            return false;
        }
    }
    m_pAnim = m_scene.mAnimations[nAnim];
    if (m_pAnim->mTicksPerSecond > 0)
        m_fTicksPerSecond = m_pAnim->mTicksPerSecond;
    for (unsigned i = 0; i < m_pAnim->mNumChannels; ++i)
        m_channel.emplace(m_pAnim->mChannels[i]->mNodeName.C_Str(), m_pAnim->mChannels[i]);
    if (m_scene.mNumAnimations > 1)
        warn("animation " + std::to_string(nAnim) + " (\"" + std::string(m_pAnim->mName.C_Str()) +
             "\") is converted, not the other " + std::to_string(m_scene.mNumAnimations - 1) + " (--anim chooses)");
    return true;
}

bool cConverter::worldBounds(aiVector3D * pMin, aiVector3D * pMax) const
{
    // Every node's meshes, placed by its world transform at time 0.
    aiVector3D vMin(1e30f, 1e30f, 1e30f), vMax(-1e30f, -1e30f, -1e30f);
    bool bAny = false;
    std::vector<std::pair<const aiNode *, aiMatrix4x4>> stack{{m_scene.mRootNode, aiMatrix4x4()}};
    while (!stack.empty())
    {
        const aiNode * pNode = stack.back().first;
        const aiMatrix4x4 m = stack.back().second * localAt(pNode, 0);
        stack.pop_back();
        for (unsigned i = 0; i < pNode->mNumMeshes; ++i)
        {
            if (pNode->mMeshes[i] >= m_scene.mNumMeshes)
                continue;
            const aiMesh * pMesh = m_scene.mMeshes[pNode->mMeshes[i]];
            for (unsigned v = 0; v < pMesh->mNumVertices; ++v)
            {
                const aiVector3D p = m * pMesh->mVertices[v];
                if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                    continue;
                vMin = aiVector3D(std::min(vMin.x, p.x), std::min(vMin.y, p.y), std::min(vMin.z, p.z));
                vMax = aiVector3D(std::max(vMax.x, p.x), std::max(vMax.y, p.y), std::max(vMax.z, p.z));
                bAny = true;
            }
        }
        for (unsigned i = 0; i < pNode->mNumChildren; ++i)
            stack.emplace_back(pNode->mChildren[i], m);
    }
    *pMin = vMin;
    *pMax = vMax;
    return bAny;
}

void cConverter::writeStage()
{
    // A model seen from the front (the -z side once the axes are left-handed), a little from
    // the right and above, through a target camera whose vertical field of view of 50 degrees
    // holds the model's bounding sphere; a warm key light above the eye, a cool fill light on
    // the left, both reaching past the far side of the model.
    bool bCamera = false;
    for (const sObject & obj : m_objects)
        bCamera = bCamera || obj.m_eKind == e_camera;
    if (!m_bBounds)
    {
        warn("--stage: the model has no vertices to frame");
        return;
    }
    const aiVector3D c = m_vBoundsCenter;
    const float fRadius = std::max(m_fBoundsRadius, 1e-3f);
    const float fFov = 50.0f;
    const float fDistance = fRadius / std::sin(fFov * 0.5f / 57.29578f) * 1.05f;
    auto motion = [](const std::string & strName, const aiVector3D & p) {
        qor_sMotObject m;
        m.m_strName = strName;
        m.m_position = qor_sMotChannel::constant(p.x, p.y, p.z);
        m.m_rotation = qor_sMotChannel::constant(0, 0, 0, 1);
        m.m_scale = qor_sMotChannel::constant(1, 1, 1);
        m.m_visibility = qor_sMotChannel::constant(1);
        return m;
    };
    auto object = [](const std::string & strName) {
        qor_sS3dWObject w;
        w.m_strName = strName;
        return w;
    };
    aiVector3D toEye(0.5f, 0.35f, -1.0f);
    toEye.Normalize();
    const aiVector3D eye = c + toEye * fDistance;
    if (!bCamera)
    {
        const std::string strLook = objectName("stage_look"), strCam = objectName("stage_cam");
        m_pW->addTarget(object(strLook));
        // The near plane is 1: the far one leaves room behind the model.
        m_pW->addCameraTarget(object(strCam), 1.0f, std::max(fDistance + 4.0f * fRadius, 10.0f), fFov, 0.0f,
                              m_nTargets++);
        m_stageMotions.push_back(motion(strLook, c));
        m_stageMotions.push_back(motion(strCam, eye));
        if (m_opt.m_fOrbit > 0)
        {
            // Once around the model's vertical axis (y) in m_fOrbit frame units, a key every 10
            // degrees, starting where the still camera stands.
            std::vector<qor_sMotKey> keys;
            for (int i = 0; i <= 36; ++i)
            {
                const float a = float(i) * 10.0f / 57.29578f;
                const aiVector3D d(toEye.x * std::cos(a) + toEye.z * std::sin(a), toEye.y,
                                   -toEye.x * std::sin(a) + toEye.z * std::cos(a));
                qor_sMotKey k;
                k.m_fTime = m_opt.m_fOrbit * float(i) / 36.0f;
                const aiVector3D p = c + d * fDistance;
                k.m_afValue[0] = p.x;
                k.m_afValue[1] = p.y;
                k.m_afValue[2] = p.z;
                keys.push_back(k);
            }
            m_stageMotions.back().m_position = qor_sMotChannel::track(3, keys);
        }
        m_bStageCamera = true;
        if (fDistance - fRadius < 1.0f)
            warn("--stage: the model is small (radius " + std::to_string(fRadius) +
                 "): the camera's near plane at 1 cuts it; --fit or --scale makes it larger");
    }
    if (m_nLightsOut == 0)
    {
        aiVector3D toKey(0.3f, 0.8f, -1.0f), toFill(-1.0f, 0.2f, -0.3f);
        toKey.Normalize();
        toFill.Normalize();
        const aiVector3D key = c + toKey * fDistance, fill = c + toFill * fDistance;
        const uint nFlags = (1u << 1) | (1u << 3) | (1u << 4);
        const std::string strKey = objectName("stage_key"), strFill = objectName("stage_fill");
        m_pW->addLightOmni(object(strKey), qor_cColor(1.0f, 0.95f, 0.88f, 1), 1.0f, nFlags, fDistance + 2.0f * fRadius);
        m_pW->addLightOmni(object(strFill), qor_cColor(0.4f, 0.45f, 0.55f, 1), 1.0f, nFlags,
                           fDistance + 2.0f * fRadius);
        m_stageMotions.push_back(motion(strKey, key));
        m_stageMotions.push_back(motion(strFill, fill));
        m_nLightsOut += 2;
    }
}

// ---- objects ----------------------------------------------------------------------------------

void cConverter::collect(const aiNode * pRoot, int nRootParent)
{
    // Depth first, parents before children, in the file's order; an explicit stack, as a
    // hierarchy may be as deep as it is long.
    std::vector<std::pair<const aiNode *, int>> stack{{pRoot, nRootParent}};
    while (!stack.empty())
    {
        const aiNode * pNode = stack.back().first;
        const int nParent = stack.back().second;
        stack.pop_back();
        collectOne(pNode, nParent, &stack);
    }
}

void cConverter::collectOne(const aiNode * pNode, int nParent, std::vector<std::pair<const aiNode *, int>> * pStack)
{
    const std::string strNode = pNode->mName.C_Str();
    int nSelf = -1;
    if (m_targetNodes.count(pNode))
        return; // placed with its camera
    const auto itCamera = m_cameraByName.find(strNode);
    const auto itLight = m_lightByName.find(strNode);
    bool bWorldObject = false;
    if (itCamera != m_cameraByName.end())
    {
        sObject obj;
        obj.m_eKind = e_camera;
        obj.m_nSource = itCamera->second;
        // A node named after the camera with ".Target" (as 3DS target cameras and other exporters
        // name what a camera looks at) becomes its target, written before it.
        const aiNode * pTarget = m_scene.mRootNode->FindNode((strNode + ".Target").c_str());
        if (pTarget && m_targetNodes.count(pTarget))
        {
            sObject target;
            target.m_eKind = e_target;
            target.m_bWorld = true;
            target.m_pNode = pTarget;
            target.m_nTarget = int(m_nTargets++);
            target.m_strName = objectName(pTarget->mName.C_Str());
            m_objects.push_back(target);
            obj.m_nTarget = int(m_objects.size()) - 1;
        }
        bWorldObject = true;
        obj.m_bWorld = true;
        obj.m_pNode = pNode;
        obj.m_strName = objectName(strNode);
        m_objects.push_back(obj);
    }
    else if (itLight != m_lightByName.end())
    {
        const aiLight & light = *m_scene.mLights[itLight->second];
        if (light.mType == aiLightSource_DIRECTIONAL || light.mType == aiLightSource_SPOT)
            warn("light \"" + strNode +
                 "\": " + (light.mType == aiLightSource_SPOT ? "a spot light" : "a directional light") +
                 " becomes an omni light placed and ranged to light the same meshes");
        if (light.mType == aiLightSource_POINT || light.mType == aiLightSource_DIRECTIONAL ||
            light.mType == aiLightSource_SPOT)
        {
            sObject obj;
            obj.m_eKind = e_light;
            obj.m_nSource = itLight->second;
            obj.m_bWorld = true;
            obj.m_pNode = pNode;
            obj.m_strName = objectName(strNode);
            m_objects.push_back(obj);
            bWorldObject = true;
        }
        else
            warn("light \"" + strNode +
                 "\": only point, spot and directional lights are converted (this one becomes a dummy)");
    }
    if (bWorldObject)
    {
        // Cameras and lights are placed in world space (the engine reads their own position, not
        // their parent's); a dummy carries the node's place in the hierarchy for its children.
        if (pNode->mNumChildren > 0)
        {
            sObject dummy;
            dummy.m_pNode = pNode;
            dummy.m_nParent = nParent;
            dummy.m_strName = objectName(strNode + "~node");
            m_objects.push_back(dummy);
            nSelf = int(m_objects.size()) - 1;
        }
    }
    else
    {
        sObject obj;
        obj.m_pNode = pNode;
        obj.m_nParent = nParent;
        obj.m_strName = objectName(strNode.empty() ? "node" : strNode);
        if (m_boneNames.count(strNode))
        {
            obj.m_eKind = e_bone;
            if (pNode->mNumMeshes)
                warn("node \"" + strNode + "\" is a bone: its meshes are not converted");
        }
        else if (pNode->mNumMeshes)
            obj.m_eKind = e_mesh;
        m_objects.push_back(obj);
        nSelf = int(m_objects.size()) - 1;
    }
    if (nSelf >= 0)
        m_objectByNode.emplace(strNode, nSelf);
    for (unsigned i = pNode->mNumChildren; i-- > 0;)
        pStack->emplace_back(pNode->mChildren[i], nSelf >= 0 ? nSelf : nParent);
}

void cConverter::buildMeshes()
{
    const size_t nBase = m_objects.size();
    for (size_t o = 0; o < nBase; ++o)
    {
        if (m_objects[o].m_eKind != e_mesh)
            continue;
        const aiNode * pNode = m_objects[o].m_pNode;
        sMeshBuild build;
        build.m_nObject = int(o);
        for (unsigned i = 0; i < pNode->mNumMeshes; ++i)
        {
            const unsigned nMesh = pNode->mMeshes[i];
            if (nMesh >= m_scene.mNumMeshes)
                continue;
            const aiMesh * pMesh = m_scene.mMeshes[nMesh];
            if (!(pMesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) || pMesh->mNumFaces == 0 ||
                pMesh->mNumVertices == 0)
            {
                warn("mesh \"" + std::string(pMesh->mName.C_Str()) + "\" of node \"" + pNode->mName.C_Str() +
                     "\" has no triangles (points and lines are not converted)");
                continue;
            }
            build.m_meshes.push_back(nMesh);
        }
        std::stable_sort(build.m_meshes.begin(), build.m_meshes.end(), [&](unsigned a, unsigned b) {
            return m_scene.mMeshes[a]->mMaterialIndex < m_scene.mMeshes[b]->mMaterialIndex;
        });
        if (build.m_meshes.empty())
        {
            m_objects[o].m_eKind = e_dummy;
            continue;
        }
        // Bounding sphere of the geometry, object space.
        aiVector3D vMin(1e30f, 1e30f, 1e30f), vMax(-1e30f, -1e30f, -1e30f);
        for (unsigned nMesh : build.m_meshes)
            for (unsigned v = 0; v < m_scene.mMeshes[nMesh]->mNumVertices; ++v)
            {
                const aiVector3D p = m_scene.mMeshes[nMesh]->mVertices[v] * m_opt.m_fScale;
                vMin = aiVector3D(std::min(vMin.x, p.x), std::min(vMin.y, p.y), std::min(vMin.z, p.z));
                vMax = aiVector3D(std::max(vMax.x, p.x), std::max(vMax.y, p.y), std::max(vMax.z, p.z));
            }
        const aiVector3D c = (vMin + vMax) * 0.5f;
        float fRadius = 0.0f;
        for (unsigned nMesh : build.m_meshes)
            for (unsigned v = 0; v < m_scene.mMeshes[nMesh]->mNumVertices; ++v)
                fRadius = std::max(fRadius, (m_scene.mMeshes[nMesh]->mVertices[v] * m_opt.m_fScale - c).Length());
        m_objects[o].m_vCenter.set(c.x, c.y, c.z);
        m_objects[o].m_fRadius = fRadius;
        m_objects[o].m_nTriMesh = unsigned(m_builds.size());
        m_builds.push_back(build);
        ++m_out.m_nMeshes;

        // Morph targets: every triangle mesh of the node must carry the same number of them.
        unsigned nTargets = m_scene.mMeshes[build.m_meshes[0]]->mNumAnimMeshes;
        for (unsigned nMesh : build.m_meshes)
            if (m_scene.mMeshes[nMesh]->mNumAnimMeshes != nTargets)
            {
                warn("node \"" + std::string(pNode->mName.C_Str()) +
                     "\": its meshes have different morph target counts; morphing is not converted");
                nTargets = 0;
                break;
            }
        for (unsigned k = 0; k < nTargets; ++k)
        {
            const aiAnimMesh * pAnim = m_scene.mMeshes[build.m_meshes[0]]->mAnimMeshes[k];
            sObject target = m_objects[o];
            target.m_nParent = int(o);
            target.m_bHidden = true;
            target.m_nMorphBase = int(o);
            target.m_nMorphIndex = k;
            const std::string strAnim = pAnim && pAnim->mName.length ? pAnim->mName.C_Str() : "";
            target.m_strName = objectName(m_objects[o].m_pNode->mName.C_Str() + std::string("~") +
                                          (strAnim.empty() ? "morph" + std::to_string(k) : strAnim));
            target.m_nTriMesh = unsigned(m_builds.size());
            m_objects.push_back(target);
            sMeshBuild tb = build;
            tb.m_nObject = int(m_objects.size()) - 1;
            tb.m_nMorphTarget = int(k);
            m_builds.push_back(tb);
        }
    }
}

void cConverter::writeObjects()
{
    for (const sObject & obj : m_objects)
    {
        qor_sS3dWObject w;
        w.m_strName = obj.m_strName;
        w.m_vCenter = obj.m_vCenter;
        w.m_fRadius = obj.m_fRadius;
        switch (obj.m_eKind)
        {
        case e_mesh:
            m_pW->addMesh(w, {obj.m_nTriMesh});
            break;
        case e_bone:
            m_pW->addBone(w);
            break;
        case e_dummy:
            m_pW->addDummy(w);
            break;
        case e_target:
            m_pW->addTarget(w);
            break;
        case e_camera:
        {
            const aiCamera & cam = *m_scene.mCameras[obj.m_nSource];
            const float fFar = (cam.mClipPlaneFar > 0 ? cam.mClipPlaneFar : 65535.0f) * m_opt.m_fScale;
            const float fFov = verticalFov(cam, m_opt.m_bGltf) * 57.29578f;
            if (obj.m_nTarget >= 0)
            {
                aiVector3D eye, dir, up;
                cameraAt(obj, 0, &eye, &dir, &up);
                m_pW->addCameraTarget(w, cam.mClipPlaneNear * m_opt.m_fScale, fFar, fFov, rollFor(dir, up) * 57.29578f,
                                      uint(m_objects[size_t(obj.m_nTarget)].m_nTarget));
            }
            else
                m_pW->addCameraFree(w, cam.mClipPlaneNear * m_opt.m_fScale, fFar, fFov);
            break;
        }
        case e_light:
        {
            const aiLight & light = *m_scene.mLights[obj.m_nSource];
            const aiColor3D d = light.mColorDiffuse;
            const float fMax = std::max(d.r, std::max(d.g, d.b));
            // The engine's lights do not fade with distance: a light brighter than white is
            // drawn white (its hue kept) rather than blowing everything out.
            const float fNorm = fMax > 1.0f ? fMax : 1.0f;
            uint nFlags = 1u << 3;
            if (light.mColorSpecular.r > 0 || light.mColorSpecular.g > 0 || light.mColorSpecular.b > 0)
                nFlags |= 1u << 4;
            const float fRange = lightRange(obj);
            if (fRange > 0 && std::isfinite(fRange))
                nFlags |= 1u << 1;
            m_pW->addLightOmni(w, qor_cColor(d.r / fNorm, d.g / fNorm, d.b / fNorm, 1.0f), 1.0f, nFlags, fRange);
            ++m_nLightsOut;
            break;
        }
        }
    }
}

void cConverter::writeHierarchy()
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const sObject & obj : m_objects)
        if (obj.m_nParent >= 0)
            pairs.emplace_back(obj.m_strName, m_objects[size_t(obj.m_nParent)].m_strName);
    if (!pairs.empty())
        m_pW->addObjectHierarchy(pairs);
}

// ---- geometry ---------------------------------------------------------------------------------

void cConverter::poseAtZero(const aiMesh & mesh, const aiNode * pMeshNode, size_t nBase,
                            std::vector<qor_cVector3> * pPositions, std::vector<qor_cVector3> * pNormals) const
{
    // The engine takes its bind pose from the bones where they stand at time 0 and from the
    // vertices as written: they are written skinned to that pose (each vertex the weighted sum
    // of its bones' bone-world-at-0 * offset, in the mesh node's space at time 0), so that a
    // file whose first frame is not its bind pose starts where it should. Exact for a vertex
    // one bone moves, and for all when the first frame is the bind pose.
    aiMatrix4x4 meshInverse = worldAt(pMeshNode, 0);
    meshInverse.Inverse();
    std::vector<aiVector3D> pos(mesh.mNumVertices), nrm(mesh.mNumVertices);
    std::vector<float> sum(mesh.mNumVertices, 0.0f);
    for (unsigned b = 0; b < mesh.mNumBones; ++b)
    {
        const aiBone * pBone = mesh.mBones[b];
        const aiNode * pNode = m_scene.mRootNode->FindNode(pBone->mName);
        if (!pNode)
            continue;
        const aiMatrix4x4 m = meshInverse * worldAt(pNode, 0) * pBone->mOffsetMatrix;
        const aiMatrix3x3 r(m);
        for (unsigned w = 0; w < pBone->mNumWeights; ++w)
        {
            const aiVertexWeight & vw = pBone->mWeights[w];
            if (vw.mVertexId >= mesh.mNumVertices || !(vw.mWeight > 0))
                continue;
            pos[vw.mVertexId] += (m * mesh.mVertices[vw.mVertexId]) * vw.mWeight;
            if (mesh.mNormals)
                nrm[vw.mVertexId] += (r * mesh.mNormals[vw.mVertexId]) * vw.mWeight;
            sum[vw.mVertexId] += vw.mWeight;
        }
    }
    for (unsigned v = 0; v < mesh.mNumVertices; ++v)
    {
        if (!(sum[v] > 0) || nBase + v >= pPositions->size())
            continue;
        const aiVector3D p = pos[v] / sum[v] * m_opt.m_fScale;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            continue;
        (*pPositions)[nBase + v].set(p.x, p.y, p.z);
        if (mesh.mNormals && nrm[v].Length() > 0)
        {
            const aiVector3D n = nrm[v].Normalize();
            (*pNormals)[nBase + v].set(n.x, n.y, n.z);
        }
    }
}

void cConverter::writeMeshData(const sMeshBuild & build)
{
    std::vector<qor_cVector3> positions, normals;
    std::vector<qor_cVector2> uvs;
    std::vector<qor_cColor> colors;
    std::vector<qor_sS3dFace> faces;
    qor_sS3dWMeshData data;
    bool bUV = false, bColor = false, bSkin = false;
    for (unsigned nMesh : build.m_meshes)
    {
        const aiMesh * p = m_scene.mMeshes[nMesh];
        bUV = bUV || p->HasTextureCoords(0);
        bColor = bColor || p->HasVertexColors(0);
        bSkin = bSkin || p->mNumBones > 0;
    }
    std::vector<std::vector<std::pair<float, uint>>> weights;
    unsigned nUnweighted = 0;
    for (unsigned nMesh : build.m_meshes)
    {
        const aiMesh * p = m_scene.mMeshes[nMesh];
        const aiAnimMesh * pAnim = build.m_nMorphTarget >= 0 && unsigned(build.m_nMorphTarget) < p->mNumAnimMeshes
                                       ? p->mAnimMeshes[build.m_nMorphTarget]
                                       : nullptr;
        const uint nBase = uint(positions.size());
        for (unsigned v = 0; v < p->mNumVertices; ++v)
        {
            const aiVector3D pos = (pAnim && pAnim->mVertices ? pAnim->mVertices[v] : p->mVertices[v]) * m_opt.m_fScale;
            const aiVector3D nrm = pAnim && pAnim->mNormals ? pAnim->mNormals[v]
                                   : p->mNormals              ? p->mNormals[v]
                                                              : aiVector3D(0, 0, 0);
            positions.emplace_back(pos.x, pos.y, pos.z);
            normals.emplace_back(nrm.x, nrm.y, nrm.z);
            if (bUV)
            {
                // As stored: the engine turns v into 1 - v when it loads.
                const aiVector3D uv = p->HasTextureCoords(0) ? p->mTextureCoords[0][v] : aiVector3D(0, 0, 0);
                uvs.emplace_back(uv.x, uv.y);
            }
            if (bColor)
            {
                const aiColor4D c = p->HasVertexColors(0) ? p->mColors[0][v] : aiColor4D(1, 1, 1, 1);
                colors.emplace_back(c.r, c.g, c.b, 1.0f);
            }
        }
        if (bSkin)
        {
            weights.resize(positions.size());
            for (unsigned b = 0; b < p->mNumBones; ++b)
            {
                const aiBone * pBone = p->mBones[b];
                const auto it = m_objectByNode.find(pBone->mName.C_Str());
                if (it == m_objectByNode.end())
                {
                    warn(std::string("bone \"") + pBone->mName.C_Str() + "\" names no node; its weights are dropped");
                    continue;
                }
                for (unsigned w = 0; w < pBone->mNumWeights; ++w)
                    if (pBone->mWeights[w].mVertexId < p->mNumVertices && pBone->mWeights[w].mWeight > 0)
                        weights[nBase + pBone->mWeights[w].mVertexId].emplace_back(pBone->mWeights[w].mWeight,
                                                                                  uint(it->second));
            }
            if (build.m_nMorphTarget < 0)
                poseAtZero(*p, m_objects[size_t(build.m_nObject)].m_pNode, nBase, &positions, &normals);
        }
        // One boundary per material: meshes are sorted by material, so a run of them joins.
        const std::string & strMaterial = p->mMaterialIndex < m_materialNames.size() ? m_materialNames[p->mMaterialIndex]
                                                                                     : m_materialNames.front();
        if (data.m_boundaries.empty() || data.m_boundaries.back().m_strMaterial != strMaterial)
            data.m_boundaries.push_back({uint(faces.size()), 0, strMaterial});
        for (unsigned f = 0; f < p->mNumFaces; ++f)
        {
            const aiFace & face = p->mFaces[f];
            if (face.mNumIndices != 3)
                continue;
            qor_sS3dFace out;
            for (int c = 0; c < 3; ++c)
            {
                const uint n = nBase + std::min(face.mIndices[c], p->mNumVertices - 1);
                out.m_anPosition[c] = out.m_anNormal[c] = n;
                out.m_anUV[c] = bUV ? n : 0;
                out.m_anColor[c] = bColor ? n : 0;
            }
            faces.push_back(out);
            ++data.m_boundaries.back().m_nFaceCount;
        }
    }
    data.m_bHasUV = bUV;
    data.m_bHasColor = bColor;
    if (bSkin)
    {
        // At most four influences: the strongest, renormalised to a sum of 1. A vertex that no
        // bone moves is given to the strongest bone of the mesh (the engine would put it at 0).
        std::map<uint, float> boneTotals;
        for (const auto & list : weights)
            for (const auto & pw : list)
                boneTotals[pw.second] += pw.first;
        uint nMainBone = 0;
        float fBest = -1;
        for (const auto & bt : boneTotals)
            if (bt.second > fBest)
            {
                fBest = bt.second;
                nMainBone = bt.first;
            }
        for (auto & list : weights)
        {
            qor_sS3dSkin skin;
            if (list.empty())
            {
                ++nUnweighted;
                if (!boneTotals.empty())
                {
                    skin.m_nInfluence = 1;
                    skin.m_anBone[0] = nMainBone;
                    skin.m_afWeight[0] = 1.0f;
                }
            }
            else
            {
                std::stable_sort(list.begin(), list.end(), [](const auto & a, const auto & b) { return a.first > b.first; });
                const size_t n = std::min<size_t>(4, list.size());
                float fSum = 0;
                for (size_t i = 0; i < n; ++i)
                    fSum += list[i].first;
                skin.m_nInfluence = uint(n);
                for (size_t i = 0; i < n; ++i)
                {
                    skin.m_anBone[i] = list[i].second;
                    skin.m_afWeight[i] = fSum > 0 ? list[i].first / fSum : 0.0f;
                }
            }
            data.m_skins.push_back(skin);
        }
        if (nUnweighted && build.m_nMorphTarget < 0)
            warn("mesh \"" + m_objects[size_t(build.m_nObject)].m_strName + "\": " + std::to_string(nUnweighted) +
                 " vertices without bone weights follow its main bone");
    }
    m_pW->addVertices(positions, normals);
    if (bUV)
        m_pW->addTVertices(uvs);
    if (bColor)
        m_pW->addCVertices(colors);
    m_pW->addPolygons(faces);
    m_pW->addMeshData(data);
}

void cConverter::writeMorphs()
{
    // Each mesh's targets, gathered in one pass (a scene of many meshes stays linear).
    std::unordered_map<size_t, std::vector<qor_sS3dWMorphTarget>> byBase;
    for (const sObject & t : m_objects)
        if (t.m_nMorphBase >= 0)
            byBase[size_t(t.m_nMorphBase)].push_back({t.m_strName, {}});
    for (size_t o = 0; o < m_objects.size() && !byBase.empty(); ++o)
    {
        if (m_objects[o].m_eKind != e_mesh || m_objects[o].m_nMorphBase >= 0 || !byBase.count(o))
            continue;
        std::vector<qor_sS3dWMorphTarget> & targets = byBase[o];
        if (targets.empty())
            continue;
        const aiMeshMorphAnim * pChannel = nullptr;
        for (unsigned i = 0; m_pAnim && i < m_pAnim->mNumMorphMeshChannels; ++i)
        {
            const std::string strName = m_pAnim->mMorphMeshChannels[i]->mName.C_Str();
            // Channels name the node, sometimes followed by "*" and a mesh index.
            if (strName == m_objects[o].m_pNode->mName.C_Str() ||
                strName.rfind(std::string(m_objects[o].m_pNode->mName.C_Str()) + "*", 0) == 0)
                pChannel = m_pAnim->mMorphMeshChannels[i];
        }
        const aiMesh * pFirst = m_scene.mMeshes[m_builds[m_objects[o].m_nTriMesh].m_meshes[0]];
        if (pChannel)
        {
            for (unsigned k = 0; k < pChannel->mNumKeys; ++k)
            {
                const aiMeshMorphKey & key = pChannel->mKeys[k];
                const float fTicks = float(key.mTime / m_fTicksPerSecond * e_ticksPerSecond);
                for (size_t t = 0; t < targets.size(); ++t)
                {
                    float fWeight = 0;
                    for (unsigned i = 0; i < key.mNumValuesAndWeights; ++i)
                        if (key.mValues[i] == t)
                            fWeight = float(key.mWeights[i]);
                    targets[t].m_keys.push_back({fTicks, fWeight * 100.0f});
                }
            }
        }
        else
            for (size_t t = 0; t < targets.size(); ++t)
                targets[t].m_keys.push_back({0.0f, pFirst->mAnimMeshes[t]->mWeight * 100.0f});
        m_pW->addMorph(m_objects[o].m_strName, targets);
    }
}

// ---- materials and textures -------------------------------------------------------------------

bool cConverter::loadImage(const std::string & path, qor_sImportImage * pImage)
{
    std::string err;
    if (const aiTexture * pTex = m_scene.GetEmbeddedTexture(path.c_str()))
    {
        if (pTex->mHeight == 0)
        {
            if (qoru_importDecodeImage(reinterpret_cast<const unsigned char *>(pTex->pcData), pTex->mWidth, pImage, &err))
                return true;
            warn("embedded texture \"" + path + "\": " + err);
            return false;
        }
        if (pTex->mWidth == 0 || pTex->mWidth > 16384 || pTex->mHeight > 16384)
        {
            warn("embedded texture \"" + path + "\": size out of range");
            return false;
        }
        pImage->m_nWidth = pTex->mWidth;
        pImage->m_nHeight = pTex->mHeight;
        pImage->m_rgba.resize(size_t(pTex->mWidth) * pTex->mHeight * 4);
        for (size_t i = 0; i < size_t(pTex->mWidth) * pTex->mHeight; ++i)
        {
            pImage->m_rgba[4 * i] = pTex->pcData[i].r;
            pImage->m_rgba[4 * i + 1] = pTex->pcData[i].g;
            pImage->m_rgba[4 * i + 2] = pTex->pcData[i].b;
            pImage->m_rgba[4 * i + 3] = pTex->pcData[i].a;
        }
        return true;
    }
    if (!m_opt.m_pFiles)
        return false;
    std::string file = path;
    std::replace(file.begin(), file.end(), '\\', '/');
    if (file.rfind("file://", 0) == 0)
        file = file.substr(7);
    if (file.empty())
        return false;
    // Looked up in the model's folder, and read only from there and below.
    if (file[0] != '/')
        file = m_opt.m_pFiles->folder() + "/" + file;
    if (!m_opt.m_pFiles->inside(file))
    {
        warn("texture \"" + path + "\": outside the model's folder \"" + m_opt.m_pFiles->folder() +
             "\" (--allow-outside reads it); not read");
        return false;
    }
    std::string bytes;
    if (!m_opt.m_pFiles->readFile(file, e_maxImageFile, &bytes, &err))
    {
        warn("texture \"" + path + "\": " + file + " " + err);
        return false;
    }
    if (!qoru_importDecodeImage(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), pImage, &err))
    {
        warn("texture \"" + path + "\": " + err);
        return false;
    }
    return true;
}

std::string cConverter::textureFor(const aiMaterial & mat, aiTextureType eType, bool bBump, bool * pbAlpha)
{
    if (pbAlpha)
        *pbAlpha = false;
    aiString path;
    if (mat.GetTextureCount(eType) == 0 || mat.GetTexture(eType, 0, &path) != AI_SUCCESS || path.length == 0)
        return std::string();
    const std::string key = std::string(bBump ? "b:" : "c:") + path.C_Str();
    const auto it = m_textureByKey.find(key);
    if (it != m_textureByKey.end())
    {
        if (pbAlpha)
            *pbAlpha = m_alphaTextures.count(it->second) > 0;
        return it->second;
    }
    qor_sImportTexture tex;
    if (!loadImage(path.C_Str(), &tex.m_image))
    {
        m_textureByKey[key] = std::string();
        return std::string();
    }
    // The file's stem, letters, digits, "_" and "-" only (it becomes a file name).
    std::string stem = path.C_Str();
    const size_t nSlash = stem.find_last_of("/\\");
    if (nSlash != std::string::npos)
        stem = stem.substr(nSlash + 1);
    const size_t nDot = stem.find_last_of('.');
    if (nDot != std::string::npos && nDot > 0)
        stem = stem.substr(0, nDot);
    for (char & c : stem)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            c = '_';
    if (stem.empty() || stem == "_")
        stem = "texture";
    tex.m_strName = qoru_importUniqueName(m_opt.m_strPrefix + stem + (bBump ? "_bump" : ""), e_maxTextureName,
                                          &m_usedTexture);
    const bool bAlpha = !bBump && tex.m_image.hasAlpha();
    qor_sS3dWTexture rec;
    rec.m_nKind = bBump ? 1 : 0;
    rec.m_strName = tex.m_strName;
    if (bAlpha)
        rec.m_strAlphaName = tex.m_strName + "_a";
    m_pW->addTexture(rec);
    m_textureByKey[key] = tex.m_strName;
    const std::string strName = tex.m_strName;
    if (bAlpha)
    {
        m_alphaTextures.insert(tex.m_strName);
        qor_sImportTexture alpha;
        alpha.m_strName = tex.m_strName + "_a";
        alpha.m_image = tex.m_image;
        alpha.m_bAlpha = true;
        m_out.m_textures.push_back(std::move(alpha));
    }
    m_out.m_textures.push_back(std::move(tex));
    if (pbAlpha)
        *pbAlpha = bAlpha;
    return strName;
}

void cConverter::writeTexturesAndMaterials()
{
    for (unsigned i = 0; i < m_scene.mNumMaterials; ++i)
    {
        const aiMaterial & mat = *m_scene.mMaterials[i];
        aiString name;
        std::string strName = mat.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length ? name.C_Str() : "material";
        strName = qoru_importUniqueName(m_opt.m_strPrefix + strName, e_maxName, &m_usedMaterial);
        m_materialNames.push_back(strName);

        qor_sS3dWMaterial rec;
        rec.m_strName = strName;
        aiColor4D c(0.8f, 0.8f, 0.8f, 1.0f);
        mat.Get(AI_MATKEY_COLOR_DIFFUSE, c);
        float fOpacity = 1.0f;
        mat.Get(AI_MATKEY_OPACITY, fOpacity);
        rec.m_diffuse.set(c.r, c.g, c.b, fOpacity);
        // A black ambient (Assimp's default material has one) would leave the unlit side black:
        // it falls back to the diffuse colour, as an ambient the file does not give.
        aiColor4D a(0, 0, 0, 1);
        if (mat.Get(AI_MATKEY_COLOR_AMBIENT, a) != AI_SUCCESS || (a.r <= 0 && a.g <= 0 && a.b <= 0))
            a = aiColor4D(c.r, c.g, c.b, 1.0f);
        rec.m_ambient.set(a.r, a.g, a.b, 1.0f);
        aiColor4D s(0, 0, 0, 1);
        mat.Get(AI_MATKEY_COLOR_SPECULAR, s);
        rec.m_specular.set(s.r, s.g, s.b, 1.0f);
        aiColor4D e(0, 0, 0, 1);
        mat.Get(AI_MATKEY_COLOR_EMISSIVE, e);
        rec.m_emissive.set(e.r, e.g, e.b, 1.0f);
        // The scene file's power is the device's exponent divided by 100 (the engine sends it
        // times 100); without an exponent there is no highlight, so no specular colour (an
        // exponent of 0 would light the whole surface with it).
        float fShininess = 0.0f;
        mat.Get(AI_MATKEY_SHININESS, fShininess);
        rec.m_fPower = fShininess > 0 && std::isfinite(fShininess) ? fShininess / 100.0f : 0.0f;
        // Lambert and flat shading have no highlight whatever colour the reader gives (COLLADA's
        // reader gives a lambert material a grey specular). OBJ is the exception: its reader
        // reports Lambert for a material without an "illum" line, and such files mean their Ks
        // and Ns.
        int nShading = aiShadingMode_Phong;
        mat.Get(AI_MATKEY_SHADING_MODEL, nShading);
        if ((nShading == aiShadingMode_Gouraud && !m_opt.m_bObj) || nShading == aiShadingMode_Flat ||
            nShading == aiShadingMode_NoShading)
            rec.m_fPower = 0.0f;
        if (rec.m_fPower <= 0)
            rec.m_specular.set(0, 0, 0, 1);
        rec.m_fSpecularLevel = 1.0f;
        mat.Get(AI_MATKEY_SHININESS_STRENGTH, rec.m_fSpecularLevel);
        rec.m_fAmount = 1.0f;
        int nTwoSided = 0;
        mat.Get(AI_MATKEY_TWOSIDED, nTwoSided);
        rec.m_nTwoSided = nTwoSided ? 1 : 0;
        int nBlend = aiBlendMode_Default;
        mat.Get(AI_MATKEY_BLEND_FUNC, nBlend);
        rec.m_translucy = nBlend == aiBlendMode_Additive ? 1 : fOpacity < 1.0f ? 2 : 0;

        bool bAlpha = false;
        rec.m_strDiffuse = textureFor(mat, aiTextureType_DIFFUSE, false, &bAlpha);
        if (rec.m_strDiffuse.empty())
            rec.m_strDiffuse = textureFor(mat, aiTextureType_BASE_COLOR, false, &bAlpha);
        rec.m_nOpacityMap = bAlpha ? 1 : 0;
        rec.m_strBump = textureFor(mat, aiTextureType_NORMALS, true, nullptr);
        if (rec.m_strBump.empty())
            rec.m_strBump = textureFor(mat, aiTextureType_HEIGHT, true, nullptr);
        if (!rec.m_strBump.empty())
            mat.Get(AI_MATKEY_BUMPSCALING, rec.m_fAmount);
        rec.m_strSecond = textureFor(mat, aiTextureType_REFLECTION, false, nullptr);
        m_pW->addMaterial(rec);
    }
    if (m_materialNames.empty())
    {
        // Meshes always name a material: a plain grey one when the input has none.
        qor_sS3dWMaterial rec;
        rec.m_strName = qoru_importUniqueName(m_opt.m_strPrefix + "default", e_maxName, &m_usedMaterial);
        rec.m_diffuse.set(0.8f, 0.8f, 0.8f, 1.0f);
        rec.m_ambient.set(0.8f, 0.8f, 0.8f, 1.0f);
        m_materialNames.push_back(rec.m_strName);
        m_pW->addMaterial(rec);
    }
}

// ---- animation --------------------------------------------------------------------------------

aiMatrix4x4 cConverter::localAt(const aiNode * pNode, double t) const
{
    const auto it = m_channel.find(pNode->mName.C_Str());
    if (it == m_channel.end())
        return pNode->mTransformation;
    aiVector3D s0, p0;
    aiQuaternion r0;
    pNode->mTransformation.Decompose(s0, r0, p0);
    const aiNodeAnim * pCh = it->second;
    const aiVector3D p = sample(pCh->mPositionKeys, pCh->mNumPositionKeys, t, p0);
    const aiQuaternion r = sample(pCh->mRotationKeys, pCh->mNumRotationKeys, t, r0);
    const aiVector3D s = sample(pCh->mScalingKeys, pCh->mNumScalingKeys, t, s0);
    return aiMatrix4x4(s, r, p);
}

aiMatrix4x4 cConverter::worldAt(const aiNode * pNode, double t) const
{
    aiMatrix4x4 m = localAt(pNode, t);
    for (const aiNode * p = pNode->mParent; p; p = p->mParent)
        m = localAt(p, t) * m;
    return m;
}

bool cConverter::chainAnimated(const aiNode * pNode) const
{
    for (const aiNode * p = pNode; p; p = p->mParent)
        if (m_channel.count(p->mName.C_Str()))
            return true;
    return false;
}

// Assimp's left-handed step mirrors the node transforms (z negated on both sides) but leaves a
// camera's or light's own vectors, given in its node's frame, as the file had them: they are
// mirrored here the same way before the node's transform places them.
aiVector3D mirrored(const aiVector3D & v) { return aiVector3D(v.x, v.y, -v.z); }

// A camera's or light's position within its node. Some of Assimp's readers (glTF) copy the
// node's own translation there as well: a position equal to it is that copy, not an offset.
aiVector3D ownPosition(const aiNode * pNode, const aiVector3D & vPosition)
{
    const aiVector3D p = mirrored(vPosition);
    const aiMatrix4x4 & m = pNode->mTransformation;
    if (p.Length() > 0 && (p - aiVector3D(m.a4, m.b4, m.c4)).Length() <= 1e-5f * p.Length())
        return aiVector3D(0, 0, 0);
    return p;
}

void cConverter::cameraAt(const sObject & obj, double t, aiVector3D * pEye, aiVector3D * pDir, aiVector3D * pUp) const
{
    const aiCamera & cam = *m_scene.mCameras[obj.m_nSource];
    const aiMatrix4x4 m = worldAt(obj.m_pNode, t);
    const aiMatrix3x3 r(m);
    *pEye = (m * ownPosition(obj.m_pNode, cam.mPosition)) * m_opt.m_fScale;
    *pDir = r * mirrored(cam.mLookAt);
    *pUp = r * mirrored(cam.mUp);
    if (obj.m_nTarget >= 0)
    {
        const aiVector3D at = targetAt(m_objects[size_t(obj.m_nTarget)].m_pNode, t);
        if ((at - *pEye).Length() > 0)
            *pDir = at - *pEye;
    }
    if (pDir->Length() > 0)
        pDir->Normalize();
    if (pUp->Length() > 0)
        pUp->Normalize();
}

aiVector3D cConverter::targetAt(const aiNode * pTarget, double t) const
{
    const aiMatrix4x4 m = worldAt(pTarget, t);
    return aiVector3D(m.a4, m.b4, m.c4) * m_opt.m_fScale;
}

aiVector3D cConverter::lightPosition(const sObject & obj, double t) const
{
    const aiLight & light = *m_scene.mLights[obj.m_nSource];
    const aiMatrix4x4 m = worldAt(obj.m_pNode, t);
    if (light.mType == aiLightSource_DIRECTIONAL && m_bBounds)
    {
        aiVector3D dir = aiMatrix3x3(m) * mirrored(light.mDirection);
        if (dir.Length() <= 0)
            dir = aiVector3D(0, -1, 0);
        dir.Normalize();
        return m_vBoundsCenter - dir * (2.0f * m_fBoundsRadius);
    }
    return (m * ownPosition(obj.m_pNode, light.mPosition)) * m_opt.m_fScale;
}

float cConverter::lightRange(const sObject & obj) const
{
    const aiLight & light = *m_scene.mLights[obj.m_nSource];
    // The distance from the light to the far side of the model.
    const float fReach =
        m_bBounds ? (lightPosition(obj, 0) - m_vBoundsCenter).Length() + m_fBoundsRadius * 1.01f : 0.0f;
    if (light.mType == aiLightSource_DIRECTIONAL)
        return fReach;
    const float c = light.mAttenuationConstant, l = light.mAttenuationLinear, q = light.mAttenuationQuadratic;
    float fRange = 0.0f;
    // glTF's range comes back as 1 / (1 + d / range)^2: constant 1, linear 2 / range, quadratic
    // 1 / range^2.
    if (c == 1.0f && q > 0 && std::fabs(l - 2.0f * std::sqrt(q)) <= 1e-4f * l)
        fRange = 1.0f / std::sqrt(q);
    else
    {
        // Otherwise where the light's brightest channel, attenuated, falls to 1/256.
        const aiColor3D d = light.mColorDiffuse;
        const float fI = std::max(1.0f, std::max(d.r, std::max(d.g, d.b)));
        if (q > 0)
            fRange = (-l + std::sqrt(l * l - 4 * q * (c - 256.0f * fI))) / (2 * q);
        else if (l > 0)
            fRange = (256.0f * fI - c) / l;
    }
    fRange *= m_opt.m_fScale;
    if (light.mType == aiLightSource_SPOT && !(fRange > 0 && std::isfinite(fRange)))
        return fReach;
    return fRange;
}

void cConverter::transformAt(const sObject & obj, double t, aiVector3D * pPos, aiQuaternion * pRot,
                             aiVector3D * pScale) const
{
    const aiMatrix4x4 m = obj.m_bWorld ? worldAt(obj.m_pNode, t) : localAt(obj.m_pNode, t);
    m.Decompose(*pScale, *pRot, *pPos);
    *pPos *= m_opt.m_fScale;
    if (obj.m_nMorphBase >= 0)
    {
        // Morph targets sit on their base mesh.
        *pPos = aiVector3D(0, 0, 0);
        *pRot = aiQuaternion();
        *pScale = aiVector3D(1, 1, 1);
    }
    if (obj.m_eKind == e_camera)
    {
        // The free camera looks along (0, -1, 0) turned by its rotation; its up is the roll's.
        aiVector3D dir, up;
        cameraAt(obj, t, pPos, &dir, &up);
        *pRot = lookRotation(dir);
        *pScale = aiVector3D(1, 1, 1);
    }
    if (obj.m_eKind == e_light)
    {
        *pPos = lightPosition(obj, t);
        *pRot = aiQuaternion();
        *pScale = aiVector3D(1, 1, 1);
    }
    if (obj.m_eKind == e_target)
    {
        *pPos = targetAt(obj.m_pNode, t);
        *pRot = aiQuaternion();
        *pScale = aiVector3D(1, 1, 1);
    }
}

void cConverter::writeAnimation()
{
    m_out.m_anim.addCommonInfos(0, 0, 1);
    const double fDuration = m_pAnim && m_pAnim->mDuration > 0 ? m_pAnim->mDuration / m_fTicksPerSecond : 0.0;
    const unsigned nFps = m_opt.m_nFps ? m_opt.m_nFps : 30;
    // Samples at nFps per second; key times in frame units (1/30 s) with a rate of 1. A track
    // keeps at most e_maxSamples keys (an hour at 30 per second): longer ones are cut.
    constexpr double e_maxSamples = 108000.0;
    const double fWanted = std::ceil(fDuration * nFps);
    if (fWanted > e_maxSamples)
        warn("the animation lasts " + std::to_string(fDuration) + " s: only its first " +
             std::to_string(unsigned(e_maxSamples / nFps)) + " s are converted");
    const unsigned nSamples = unsigned(std::min(e_maxSamples, fWanted)) + 1;
    std::vector<qor_sMotObject> objects;
    for (const sObject & obj : m_objects)
    {
        qor_sMotObject mot;
        mot.m_strName = obj.m_strName;
        const bool bAnimated = fDuration > 0 && obj.m_nMorphBase < 0 &&
                               (obj.m_bWorld ? chainAnimated(obj.m_pNode) : m_channel.count(obj.m_pNode->mName.C_Str()) > 0);
        if (!bAnimated)
        {
            aiVector3D p, s;
            aiQuaternion r;
            transformAt(obj, 0, &p, &r, &s);
            mot.m_position = qor_sMotChannel::constant(p.x, p.y, p.z);
            mot.m_rotation = qor_sMotChannel::constant(r.x, r.y, r.z, r.w);
            mot.m_scale = qor_sMotChannel::constant(s.x, s.y, s.z);
            if (obj.m_eKind == e_camera)
            {
                aiVector3D eye, dir, up;
                cameraAt(obj, 0, &eye, &dir, &up);
                mot.m_roll = qor_sMotChannel::constant(rollFor(dir, up));
            }
        }
        else
        {
            std::vector<qor_sMotKey> pos, rot, scale, roll;
            for (unsigned i = 0; i < nSamples; ++i)
            {
                const double fSeconds = std::min(fDuration, double(i) / nFps);
                aiVector3D p, s;
                aiQuaternion r;
                transformAt(obj, fSeconds * m_fTicksPerSecond, &p, &r, &s);
                qor_sMotKey k;
                k.m_fTime = float(fSeconds * 30.0);
                k.m_afValue[0] = p.x;
                k.m_afValue[1] = p.y;
                k.m_afValue[2] = p.z;
                pos.push_back(k);
                k.m_afValue[0] = s.x;
                k.m_afValue[1] = s.y;
                k.m_afValue[2] = s.z;
                scale.push_back(k);
                k.m_afValue[0] = r.x;
                k.m_afValue[1] = r.y;
                k.m_afValue[2] = r.z;
                k.m_afValue[3] = r.w;
                rot.push_back(k);
                if (obj.m_eKind == e_camera)
                {
                    // The roll in radians, kept continuous across a half turn.
                    aiVector3D eye, dir, up;
                    cameraAt(obj, fSeconds * m_fTicksPerSecond, &eye, &dir, &up);
                    float fRoll = rollFor(dir, up);
                    if (!roll.empty())
                        while (fRoll - roll.back().m_afValue[0] > float(AI_MATH_PI))
                            fRoll -= 2.0f * float(AI_MATH_PI);
                    if (!roll.empty())
                        while (roll.back().m_afValue[0] - fRoll > float(AI_MATH_PI))
                            fRoll += 2.0f * float(AI_MATH_PI);
                    qor_sMotKey kr;
                    kr.m_fTime = k.m_fTime;
                    kr.m_afValue[0] = fRoll;
                    roll.push_back(kr);
                }
            }
            if (!roll.empty())
                mot.m_roll = qor_sMotChannel::track(3, roll);
            mot.m_position = qor_sMotChannel::track(3, pos);
            mot.m_rotation = qor_sMotChannel::track(3, rot);
            mot.m_scale = qor_sMotChannel::track(3, scale);
        }
        mot.m_visibility = qor_sMotChannel::constant(obj.m_bHidden ? 0.0f : 1.0f);
        objects.push_back(mot);
    }
    objects.insert(objects.end(), m_stageMotions.begin(), m_stageMotions.end());
    m_out.m_anim.addObjectsMotions(objects);
}
} // namespace

unsigned qoru_importPostProcessFlags()
{
    return aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices |
           aiProcess_LimitBoneWeights | aiProcess_SortByPType | aiProcess_ValidateDataStructure;
}

unsigned qoru_importAxisFlags() { return aiProcess_MakeLeftHanded; }

bool qoru_importConvert(const aiScene & scene, const qor_sImportOptions & options, qor_sImportResult * pResult)
{
    cConverter converter(scene, options, pResult);
    return converter.run();
}

std::string qoru_importUniqueName(const std::string & strName, size_t nMax, qor_sImportNames * pNames)
{
    std::string base = strName.empty() ? std::string("unnamed") : strName;
    // A NUL would end the name early in the file.
    base.erase(std::remove(base.begin(), base.end(), '\0'), base.end());
    if (base.size() > nMax)
    {
        char szHash[16];
        std::snprintf(szHash, sizeof(szHash), "~%08x", fnv1a(base));
        base = base.substr(0, nMax - 9) + szHash;
    }
    std::string name = base;
    if (pNames->m_used.count(name))
    {
        // Numbering resumes where the last name of this base stopped.
        unsigned & nNext = pNames->m_next.try_emplace(base, 2u).first->second;
        do
        {
            const std::string suffix = "~" + std::to_string(nNext++);
            name.assign(base, 0, std::min(base.size(), nMax - suffix.size()));
            name.append(suffix);
        } while (pNames->m_used.count(name));
    }
    pNames->m_used.insert(name);
    return name;
}
