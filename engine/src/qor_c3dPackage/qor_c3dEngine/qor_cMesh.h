// qor_cMesh: a mesh object (type 2): places a triangle mesh of the scene in the world, may
// blend it towards other meshes (morph) and may be deformed by bones (skinning).
#pragma once

#include "qor_cMorph.h"
#include "qor_cObject.h"

class qor_cTriMesh;

class qor_cMesh : public qor_cObject
{
public:
    qor_cMesh();
    ~qor_cMesh() override;

    // The object update, then the morph's clock advances by dt.
    void update(cfloat * pDt) override;
    void rewind() override;

    // Index of the triangle mesh in the order the mesh data records were read.
    void setTriMeshIndex(uint i) { m_uTriMesh = i; }
    uint getTriMeshIndex() const { return m_uTriMesh; }
    // Not owned.
    void setTriMesh(qor_cTriMesh * pTriMesh) { m_pTriMesh = pTriMesh; }
    qor_cTriMesh * getTriMesh() const { return m_pTriMesh; }

    // Gives the mesh an empty morph (replacing any); null when memory runs out.
    qor_cMorph * createMorph();
    qor_cMorph * getMorph() const { return m_pMorph; }

    // Draws the mesh with the lights already chosen: skipped when outside the display's frustum
    // or when its visibility is exactly 0; morph, world matrix, skinning, then every node pass
    // by pass.
    void render();

private:
    void applyMorph();

    uint m_uTriMesh;
    qor_cTriMesh * m_pTriMesh;
    qor_cMorph * m_pMorph; // owned
};
