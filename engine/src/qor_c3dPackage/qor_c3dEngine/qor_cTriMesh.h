// qor_cTriMesh: the drawable geometry of one exported mesh: one node per material boundary,
// each a triangle list drawn with one material. Rigid meshes are built once into static lists;
// skinned meshes keep a copy of every corner's vertex with up to four bone influences and
// rewrite their list's positions from the bones every frame.
#pragma once

#include "qor_cMatrix.h"
#include "qor_cTriList.h"
#include "qor_types.h"

class qor_cBone;
class qor_cMaterial;

// One influence of a skinned corner: weight and bone (null: no influence; the list of a
// corner stops at the first null bone).
struct qor_sSkinInfluence
{
    float fWeight;
    qor_cBone * pBone;
};

// The influences of one corner and the corner's bind-pose vertex copy.
struct qor_sSkinWeight
{
    qor_sSkinInfluence aInfluence[4];
    qor_sVertex2 * pVertex;
};

struct qor_sTriMeshNode
{
    qor_cTriList * pList;       // deleted with the node when bOwnsList
    qor_cMaterial * pMaterial;  // not owned
    bool bOwnsList;
    uint nTriangle;             // triangles in the list
    uint nSkinVertex;           // 3 x triangles when skinned, else 0
    qor_sVertex2 * pSkinVertex; // bind-pose copies, one per corner
    qor_sSkinWeight * pSkinWeight;
    // For each corner, the first corner with the same bind vertex and influences (itself when
    // none before it): corners shared by faces are skinned once. Null until finishSkin.
    uint * pSkinFirst;
};

class qor_cTriMesh
{
public:
    qor_cTriMesh();
    virtual ~qor_cTriMesh();
    qor_cTriMesh(const qor_cTriMesh &) = delete;
    qor_cTriMesh & operator=(const qor_cTriMesh &) = delete;

    // nb empty nodes (replacing any); false with a message when memory runs out.
    bool createNode(uint nb);
    uint getNbNode() const { return m_nNode; }
    qor_sTriMeshNode * getNode(uint i) { return i < m_nNode ? &m_pNode[i] : nullptr; }
    const qor_sTriMeshNode * getNode(uint i) const { return i < m_nNode ? &m_pNode[i] : nullptr; }

    // The node's list (owned or not), material and triangle count.
    bool setNode(uint i, qor_cTriList * pList, qor_cMaterial * pMaterial, bool bOwnsList, uint nTriangle);
    // Allocates the vertex copies and weight records of node i: 3 x nTriangle each, the
    // records zeroed and each pointing at its copy. False when memory runs out.
    bool createSkin(uint i, uint nTriangle);
    bool isSkinned() const;
    // After node i's copies and records are filled: finds the corners that share a bind vertex
    // and influences, so that skinning computes each once. False when memory runs out (the node
    // then skins every corner).
    bool finishSkin(uint i);
    // The bind pose: every skin copy's position becomes position * matrix, its normal the
    // normal turned by the matrix's 3 x 3 part (unit length).
    void preTransform(const qor_cMatrix & matrix);
    // Rewrites the skinned lists' positions from the bones' skin matrices: the sum over a
    // corner's influences of weight * (bind position * skin), up to the first null bone (no
    // influence gives (0, 0, 0)), and the normals by the same blend of the skin matrices' 3 x 3
    // parts (unit length); then uploads them. Colours and coordinates stay.
    void skin();
    void skinNode(uint i);

private:
    void freeNodes();

    uint m_nNode;
    qor_sTriMeshNode * m_pNode;
};
