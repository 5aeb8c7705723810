// Triangle lists and the three vertex formats: the engine's one container of
// drawable geometry, filled vertex by vertex and drawn as a triangle list. qor_cTriList is the
// interface; qor_cTriListGL (over GL buffers, in place of Direct3D 8's qor_cTriListDX8) its
// implementation.
#pragma once

#include "qor_types.h"

// Format flags (the Direct3D flexible-vertex-format bits: the accumulated flags are the format).
enum
{
    QOR_VF_POSITION = 0x002,    // setPosition: x, y, z
    QOR_VF_POSITIONRHW = 0x004, // setPositionRHW: x, y, z, rhw (pixels)
    QOR_VF_NORMAL = 0x010,      // setNormal
    QOR_VF_COLOR = 0x040,       // setColor
    QOR_VF_UV = 0x100,          // setUV
};

// 0x112: position, normal, texture coordinates (32 bytes).
struct qor_sVertex1
{
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
static_assert(sizeof(qor_sVertex1) == 32);

// 0x152: position, normal, colour, texture coordinates (36 bytes).
struct qor_sVertex2
{
    float x, y, z;
    float nx, ny, nz;
    uint color; // B, G, R, A bytes (Direct3D ARGB)
    float u, v;
};
static_assert(sizeof(qor_sVertex2) == 36);

// 0x144: pre-transformed position in pixels with rhw, colour, texture coordinates (28 bytes).
struct qor_sVertex3
{
    float x, y, z, rhw;
    uint color;
    float u, v;
};
static_assert(sizeof(qor_sVertex3) == 28);

class qor_cTriList
{
public:
    // A new qor_cTriListGL, or null with "qor_cTriList * pList = (qor_cTriList *) new
    // qor_cTriListDX8;\n" after the location line.
    static qor_cTriList * create();

    // Virtual operations in their fixed slot order.
    virtual bool hasPosition() = 0;
    virtual bool hasNormal() = 0;
    virtual bool hasUV() = 0;
    virtual bool hasColor() = 0;
    virtual bool hasPositionRHW() = 0;
    virtual void setPosition(float x, float y, float z) = 0;
    virtual void setPositionRHW(float x, float y, float z, float rhw) = 0;
    virtual void setNormal(float x, float y, float z) = 0;
    virtual void setColor(uchar r, uchar g, uchar b, uchar a) = 0;
    virtual void setUV(float u, float v) = 0;
    // Completes the current vertex (the first one fixes the format); the new vertex count.
    virtual uint next() = 0;
    // Starts filling nTriangle triangles; mode 0 rewritten often, 1 written once, 2 memory only.
    virtual bool startAdd(uint nTriangle, uint mode) = 0;
    virtual bool endAdd() = 0;
    virtual bool draw() = 0;
    // Appends one camera-facing quad (two triangles) to the point batch; the new vertex count.
    virtual uint addPoint(float x, float y, float z, float size, uint colour) = 0;
    virtual bool startAddPoint(uint nPoint) = 0;
    virtual void endAddPoint() = 0;
    virtual bool drawPoints() = 0;
    // The client vertex array (qor_sVertex1/2/3 by format), null before the first next().
    virtual void * getVertexArray() = 0;
    // A slot that returns 0 (no caller uses it; kept so the slots keep their order).
    virtual uint getReserved() = 0;
    virtual void releaseVertexArray() = 0;
    virtual bool upload() = 0;
    // Blends the vertices towards pTarget (same size and format); see qor_cTriListGL.
    virtual void morph(qor_cTriList * pTarget, float t, bool bReset) = 0;
    virtual ~qor_cTriList() {}
};
