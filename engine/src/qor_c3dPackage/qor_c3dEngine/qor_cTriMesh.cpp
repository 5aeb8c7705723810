#include "qor_cTriMesh.h"

#include "qor_cBone.h"
#include "qor_cErrorHandler.h"

#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

namespace
{
// v * the upper 3x3 of m: a direction, without the translation.
qor_cVector3 rotate(const qor_cVector3 & v, const qor_cMatrix & m)
{
    return qor_cVector3(v.x * m._11 + v.y * m._21 + v.z * m._31, v.x * m._12 + v.y * m._22 + v.z * m._32,
                        v.x * m._13 + v.y * m._23 + v.z * m._33);
}
} // namespace

qor_cTriMesh::qor_cTriMesh() : m_nNode(0), m_pNode(nullptr) {}

qor_cTriMesh::~qor_cTriMesh()
{
    freeNodes();
}

void qor_cTriMesh::freeNodes()
{
    for (uint i = 0; i < m_nNode; ++i)
    {
        qor_sTriMeshNode & n = m_pNode[i];
        if (n.bOwnsList)
            delete n.pList;
        delete[] n.pSkinVertex;
        delete[] n.pSkinWeight;
        delete[] n.pSkinFirst;
    }
    delete[] m_pNode;
    m_pNode = nullptr;
    m_nNode = 0;
}

bool qor_cTriMesh::createNode(uint nb)
{
    freeNodes();
    if (nb == 0)
        return true;
    m_pNode = new (std::nothrow) qor_sTriMeshNode[nb]();
    if (!m_pNode)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTriMesh::createNode(uint nb<%d>)\n", int(nb));
        return false;
    }
    m_nNode = nb;
    return true;
}

bool qor_cTriMesh::setNode(uint i, qor_cTriList * pList, qor_cMaterial * pMaterial, bool bOwnsList, uint nTriangle)
{
    if (i >= m_nNode)
        return false;
    qor_sTriMeshNode & n = m_pNode[i];
    if (n.bOwnsList && n.pList != pList)
        delete n.pList;
    n.pList = pList;
    n.pMaterial = pMaterial;
    n.bOwnsList = bOwnsList;
    n.nTriangle = nTriangle;
    return true;
}

bool qor_cTriMesh::createSkin(uint i, uint nTriangle)
{
    if (i >= m_nNode)
        return false;
    qor_sTriMeshNode & n = m_pNode[i];
    delete[] n.pSkinVertex;
    delete[] n.pSkinWeight;
    delete[] n.pSkinFirst;
    n.pSkinVertex = nullptr;
    n.pSkinWeight = nullptr;
    n.pSkinFirst = nullptr;
    n.nSkinVertex = 0;
    const uint nCorner = nTriangle * 3;
    if (nCorner == 0)
        return true;
    n.pSkinVertex = new (std::nothrow) qor_sVertex2[nCorner]();
    n.pSkinWeight = new (std::nothrow) qor_sSkinWeight[nCorner]();
    if (!n.pSkinVertex || !n.pSkinWeight)
    {
        delete[] n.pSkinVertex;
        delete[] n.pSkinWeight;
        n.pSkinVertex = nullptr;
        n.pSkinWeight = nullptr;
        return false;
    }
    for (uint c = 0; c < nCorner; ++c)
        n.pSkinWeight[c].pVertex = &n.pSkinVertex[c];
    n.nSkinVertex = nCorner;
    return true;
}

bool qor_cTriMesh::finishSkin(uint i)
{
    if (i >= m_nNode || !m_pNode[i].pSkinWeight)
        return false;
    qor_sTriMeshNode & n = m_pNode[i];
    delete[] n.pSkinFirst;
    n.pSkinFirst = new (std::nothrow) uint[n.nSkinVertex];
    if (!n.pSkinFirst)
        return false;
    // Key: the bind position and normal and the influences, as bytes.
    struct sKey
    {
        float afPos[6];
        qor_sSkinInfluence aInf[4];
    };
    std::unordered_map<std::string, uint> first;
    first.reserve(n.nSkinVertex);
    for (uint c = 0; c < n.nSkinVertex; ++c)
    {
        sKey k;
        std::memset(&k, 0, sizeof(k));
        const qor_sVertex2 & v = n.pSkinVertex[c];
        const float af[6] = {v.x, v.y, v.z, v.nx, v.ny, v.nz};
        std::memcpy(k.afPos, af, sizeof(af));
        for (int j = 0; j < 4; ++j)
        {
            k.aInf[j].pBone = n.pSkinWeight[c].aInfluence[j].pBone;
            k.aInf[j].fWeight = k.aInf[j].pBone ? n.pSkinWeight[c].aInfluence[j].fWeight : 0.0f;
        }
        n.pSkinFirst[c] = first.emplace(std::string(reinterpret_cast<const char *>(&k), sizeof(k)), c).first->second;
    }
    return true;
}

bool qor_cTriMesh::isSkinned() const
{
    for (uint i = 0; i < m_nNode; ++i)
        if (m_pNode[i].pSkinWeight)
            return true;
    return false;
}

void qor_cTriMesh::preTransform(const qor_cMatrix & matrix)
{
    for (uint i = 0; i < m_nNode; ++i)
    {
        qor_sTriMeshNode & n = m_pNode[i];
        for (uint c = 0; c < n.nSkinVertex; ++c)
        {
            qor_sVertex2 & v = n.pSkinVertex[c];
            const qor_cVector3 p = matrix.transform(qor_cVector3(v.x, v.y, v.z));
            v.x = p.x;
            v.y = p.y;
            v.z = p.z;
            qor_cVector3 n = rotate(qor_cVector3(v.nx, v.ny, v.nz), matrix);
            n.normalize();
            v.nx = n.x;
            v.ny = n.y;
            v.nz = n.z;
        }
    }
}

void qor_cTriMesh::skin()
{
    for (uint i = 0; i < m_nNode; ++i)
        skinNode(i);
}

void qor_cTriMesh::skinNode(uint i)
{
    if (i >= m_nNode)
        return;
    qor_sTriMeshNode & n = m_pNode[i];
    if (!n.pSkinWeight || !n.pList)
        return;
    qor_sVertex2 * pOut = static_cast<qor_sVertex2 *>(n.pList->getVertexArray());
    if (!pOut)
        return;
    for (uint c = 0; c < n.nSkinVertex; ++c)
    {
        if (n.pSkinFirst && n.pSkinFirst[c] != c)
        {
            // A corner shared with an earlier face: the same result.
            const qor_sVertex2 & f = pOut[n.pSkinFirst[c]];
            pOut[c].x = f.x;
            pOut[c].y = f.y;
            pOut[c].z = f.z;
            pOut[c].nx = f.nx;
            pOut[c].ny = f.ny;
            pOut[c].nz = f.nz;
            continue;
        }
        const qor_sSkinWeight & w = n.pSkinWeight[c];
        const qor_cVector3 bind(w.pVertex->x, w.pVertex->y, w.pVertex->z);
        const qor_cVector3 bindNormal(w.pVertex->nx, w.pVertex->ny, w.pVertex->nz);
        qor_cVector3 sum(0.0f, 0.0f, 0.0f);
        qor_cVector3 normal(0.0f, 0.0f, 0.0f);
        for (const qor_sSkinInfluence & inf : w.aInfluence)
        {
            if (!inf.pBone)
                break;
            const qor_cMatrix & skin = inf.pBone->getSkin();
            sum += skin.transform(bind) * inf.fWeight;
            // Normals follow the same blend of the bones' rotations, or lit skinned surfaces
            // would keep the light of their bind pose.
            normal += rotate(bindNormal, skin) * inf.fWeight;
        }
        normal.normalize();
        pOut[c].x = sum.x;
        pOut[c].y = sum.y;
        pOut[c].z = sum.z;
        pOut[c].nx = normal.x;
        pOut[c].ny = normal.y;
        pOut[c].nz = normal.z;
    }
    n.pList->releaseVertexArray();
    n.pList->upload();
}
