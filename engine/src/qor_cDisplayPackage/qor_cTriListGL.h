// qor_cTriListGL: triangle lists over GL buffer objects (the Direct3D 8 list is qor_cTriListDX8;
// messages keep that name).
// Mode 0 buffers are orphaned on every upload (Direct3D's discard), mode 1 buffers are static,
// mode 2 lists keep their vertices in memory only. Point batches write straight into the mapped
// buffer.
// Lists are drawn indexed: vertices equal byte for byte share one slot of the buffer and an
// element buffer gives the triangles. They are the same triangles, corner for corner, so the
// picture is the same, while the vertex stage runs once a slot instead of three times a
// triangle (a closed mesh has about six corners to a vertex).
#pragma once

#include "qor_cTriList.h"
#include "qor_cVector3.h"

#include "qor_gl.h"

#include <cstdint>
#include <vector>

class qor_cGLDevice;

class qor_cTriListGL : public qor_cTriList
{
public:
    qor_cTriListGL();
    ~qor_cTriListGL() override;

    bool hasPosition() override { return (m_uFlags & QOR_VF_POSITION) != 0; }
    bool hasNormal() override { return (m_uFlags & QOR_VF_NORMAL) != 0; }
    bool hasUV() override { return (m_uFlags & QOR_VF_UV) != 0; }
    bool hasColor() override { return (m_uFlags & QOR_VF_COLOR) != 0; }
    bool hasPositionRHW() override { return (m_uFlags & QOR_VF_POSITIONRHW) != 0; }
    void setPosition(float x, float y, float z) override;
    void setPositionRHW(float x, float y, float z, float rhw) override;
    void setNormal(float x, float y, float z) override;
    void setColor(uchar r, uchar g, uchar b, uchar a) override;
    void setUV(float u, float v) override;
    uint next() override;
    bool startAdd(uint nTriangle, uint mode) override;
    bool endAdd() override;
    bool draw() override;
    uint addPoint(float x, float y, float z, float size, uint colour) override;
    bool startAddPoint(uint nPoint) override;
    void endAddPoint() override;
    bool drawPoints() override;
    void * getVertexArray() override;
    uint getReserved() override { return 0; }
    void releaseVertexArray() override {}
    bool upload() override;
    void morph(qor_cTriList * pTarget, float t, bool bReset) override;

    // Changes the buffer mode: a different mode releases the buffer and makes a new one.
    void setMode(uint mode);
    uint getMode() const { return m_uMode; }
    uint getNbTriangle() const { return m_nTriangle; }
    uint getNbVertex() const { return m_nVertex; }
    uint getFormat() const { return m_uFormat; }
    bool hasBuffer() const { return m_uVbo != 0; }
    // The vertices the last upload sent (slots shared by equal vertices), and whether the list
    // is drawn through an element buffer.
    uint getNbUploaded() const { return m_nIndexed ? uint(m_aFirst.size()) : m_nCapacity; }
    bool isIndexed() const { return m_nIndexed != 0; }
    const qor_cTriListGL * getBaseCopy() const { return m_pBase; }

private:
    bool createBuffer(uint uBytes, uint mode);
    void releaseBuffer();
    // Indexed upload of the first n vertices; false when the list is better drawn as arrays.
    bool uploadIndexed(const uint8_t * pData, uint n, uint uStride);
    bool indexHolds(const uint8_t * pData, uint n, uint uStride) const;
    bool buildIndex(const uint8_t * pData, uint n, uint uStride);
    // The element buffer of the vertex array object, indices into nSlot slots.
    void setElements(const std::vector<uint32_t> & aIndex, uint nSlot);

    uint m_nTriangle;
    uint m_uMode;
    uint m_uFlags;
    uint m_nVertex;
    uint m_uFormat; // the format chosen at the first next() (0 before)
    qor_sVertex1 * m_pV1;
    qor_sVertex2 * m_pV2;
    qor_sVertex3 * m_pV3;
    bool m_bMapped; // m_pV2 points into the mapped point buffer
    bool m_bUploadDue = false; // the client array changed by morph since the last upload
    qor_cGLDevice * m_pDev;
    GLuint m_uVbo;
    GLuint m_uVao;
    uint m_uVboBytes;
    uint m_nCapacity; // vertices the arrays hold (fixed by the first next())
    // Current vertex
    float m_afPos[3];
    float m_afPosRHW[4];
    float m_afNormal[3];
    uint m_uColor;
    float m_fU, m_fV;
    // Billboard axes of the point batch
    qor_cVector3 m_vRight, m_vUp, m_vNormal;
    qor_cTriListGL * m_pBase;
    // Indexed drawing
    std::vector<uint32_t> m_aRemap; // list vertex -> slot
    std::vector<uint32_t> m_aFirst; // slot -> its first list vertex
    std::vector<uint8_t> m_aGather; // the slots, as uploaded
    GLuint m_uIbo = 0;
    uint m_nIndexed = 0; // list vertices the element buffer covers; 0: drawn as arrays
    bool m_bShortIndex = false;
    uint m_nIndexBuild = 0; // index builds; a list whose sharing keeps changing goes back to arrays
};
