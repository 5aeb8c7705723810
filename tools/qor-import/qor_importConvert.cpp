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
};

struct sObject
{
    std::string m_strName;
    eKind m_eKind = e_dummy;
    const aiNode * m_pNode = nullptr;
    int m_nParent = -1;        // index in the object list
    bool m_bWorld = false;     // transform baked in world space (cameras and lights)
    unsigned m_nSource = 0;    // camera or light index in the Assimp scene
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
    void writeMeshData(const sMeshBuild & build);
    void writeMorphs();
    void writeAnimation();

    // Local transform of a node at time t (ticks), from its channel when it has one.
    aiMatrix4x4 localAt(const aiNode * pNode, double t) const;
    aiMatrix4x4 worldAt(const aiNode * pNode, double t) const;
    bool chainAnimated(const aiNode * pNode) const;
    // Engine transform of an object at time t: position, rotation, scale.
    void transformAt(const sObject & obj, double t, aiVector3D * pPos, aiQuaternion * pRot, aiVector3D * pScale) const;
    aiQuaternion cameraFix(const sObject & obj) const;

    const aiScene & m_scene;
    const qor_sImportOptions & m_opt;
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
};

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
    if (m_scene.mNumAnimations > 0)
    {
        m_pAnim = m_scene.mAnimations[0];
        if (m_pAnim->mTicksPerSecond > 0)
            m_fTicksPerSecond = m_pAnim->mTicksPerSecond;
        for (unsigned i = 0; i < m_pAnim->mNumChannels; ++i)
            m_channel.emplace(m_pAnim->mChannels[i]->mNodeName.C_Str(), m_pAnim->mChannels[i]);
        if (m_scene.mNumAnimations > 1)
            warn("animations after the first (\"" + std::string(m_pAnim->mName.C_Str()) + "\") are not converted: " +
                 std::to_string(m_scene.mNumAnimations - 1));
    }
    collect(m_scene.mRootNode, -1);
    buildMeshes();
    writeTexturesAndMaterials();
    writeObjects();
    for (const sMeshBuild & build : m_builds)
        writeMeshData(build);
    writeMorphs();
    m_pW->addGlobalInfos(qor_cColor(0.25f, 0.25f, 0.25f, 1.0f), qor_cColor(0, 0, 0, 1));
    writeAnimation();
    m_out.m_nObjects = unsigned(m_objects.size());
    if (m_objects.empty())
    {
        warn("nothing to convert");
        return false;
    }
    return true;
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
    const auto itCamera = m_cameraByName.find(strNode);
    const auto itLight = m_lightByName.find(strNode);
    bool bWorldObject = false;
    if (itCamera != m_cameraByName.end())
    {
        sObject obj;
        obj.m_eKind = e_camera;
        obj.m_nSource = itCamera->second;
        bWorldObject = true;
        obj.m_bWorld = true;
        obj.m_pNode = pNode;
        obj.m_strName = objectName(strNode);
        m_objects.push_back(obj);
    }
    else if (itLight != m_lightByName.end())
    {
        const aiLight & light = *m_scene.mLights[itLight->second];
        if (light.mType == aiLightSource_POINT)
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
            warn("light \"" + strNode + "\": only point lights are converted (this one becomes a dummy)");
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
        case e_camera:
        {
            const aiCamera & cam = *m_scene.mCameras[obj.m_nSource];
            // The engine's projection is 4:3 with a vertical field of view; Assimp gives half the
            // horizontal one.
            const float fHalf = cam.mHorizontalFOV > 0 ? cam.mHorizontalFOV : 0.785398f;
            const float fFovY = 2.0f * std::atan(std::tan(fHalf) / (4.0f / 3.0f));
            m_pW->addCameraFree(w, cam.mClipPlaneNear * m_opt.m_fScale,
                                (cam.mClipPlaneFar > 0 ? cam.mClipPlaneFar : 65535.0f) * m_opt.m_fScale,
                                fFovY * 57.29578f);
            break;
        }
        case e_light:
        {
            const aiLight & light = *m_scene.mLights[obj.m_nSource];
            const aiColor3D d = light.mColorDiffuse;
            const float fMax = std::max(d.r, std::max(d.g, d.b));
            const float fMultiplier = fMax > 1.0f ? fMax : 1.0f;
            uint nFlags = 1u << 3;
            if (light.mColorSpecular.r > 0 || light.mColorSpecular.g > 0 || light.mColorSpecular.b > 0)
                nFlags |= 1u << 4;
            // Range: where 1 / (c + l d + q d^2) falls to 1/256.
            float fRange = 0.0f;
            const float c = light.mAttenuationConstant, l = light.mAttenuationLinear, q = light.mAttenuationQuadratic;
            if (q > 0)
                fRange = (-l + std::sqrt(l * l - 4 * q * (c - 256.0f))) / (2 * q);
            else if (l > 0)
                fRange = (256.0f - c) / l;
            if (fRange > 0 && std::isfinite(fRange))
                nFlags |= 1u << 1;
            m_pW->addLightOmni(w, qor_cColor(d.r / fMultiplier, d.g / fMultiplier, d.b / fMultiplier, 1.0f),
                               fMultiplier, nFlags, fRange * m_opt.m_fScale);
            break;
        }
        }
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const sObject & obj : m_objects)
        if (obj.m_nParent >= 0)
            pairs.emplace_back(obj.m_strName, m_objects[size_t(obj.m_nParent)].m_strName);
    if (!pairs.empty())
        m_pW->addObjectHierarchy(pairs);
}

// ---- geometry ---------------------------------------------------------------------------------

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
        aiColor4D a(0, 0, 0, 1);
        if (mat.Get(AI_MATKEY_COLOR_AMBIENT, a) != AI_SUCCESS)
            a = aiColor4D(c.r, c.g, c.b, 1.0f);
        rec.m_ambient.set(a.r, a.g, a.b, 1.0f);
        aiColor4D s(0, 0, 0, 1);
        mat.Get(AI_MATKEY_COLOR_SPECULAR, s);
        rec.m_specular.set(s.r, s.g, s.b, 1.0f);
        aiColor4D e(0, 0, 0, 1);
        mat.Get(AI_MATKEY_COLOR_EMISSIVE, e);
        rec.m_emissive.set(e.r, e.g, e.b, 1.0f);
        rec.m_fPower = 0.0f;
        mat.Get(AI_MATKEY_SHININESS, rec.m_fPower);
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

aiQuaternion cConverter::cameraFix(const sObject & obj) const
{
    // A free camera of the engine looks along (0, -1, 0) turned by its rotation: the rotation
    // taking -Y onto the camera's own look-at direction.
    const aiCamera & cam = *m_scene.mCameras[obj.m_nSource];
    aiVector3D to = cam.mLookAt;
    if (to.Length() <= 0)
        to = aiVector3D(0, 0, 1);
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
        *pRot = *pRot * cameraFix(obj);
        *pScale = aiVector3D(1, 1, 1);
    }
    if (obj.m_eKind == e_light)
        *pScale = aiVector3D(1, 1, 1);
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
        }
        else
        {
            std::vector<qor_sMotKey> pos, rot, scale;
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
            }
            mot.m_position = qor_sMotChannel::track(3, pos);
            mot.m_rotation = qor_sMotChannel::track(3, rot);
            mot.m_scale = qor_sMotChannel::track(3, scale);
        }
        mot.m_visibility = qor_sMotChannel::constant(obj.m_bHidden ? 0.0f : 1.0f);
        objects.push_back(mot);
    }
    m_out.m_anim.addObjectsMotions(objects);
}
} // namespace

unsigned qoru_importPostProcessFlags()
{
    return aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices |
           aiProcess_LimitBoneWeights | aiProcess_MakeLeftHanded | aiProcess_FlipWindingOrder | aiProcess_SortByPType |
           aiProcess_ValidateDataStructure;
}

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
