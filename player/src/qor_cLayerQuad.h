// A layer quad: a screen-aligned textured rectangle drawn over a layer's 3D content. Its centre,
// its size and the offset, scale and rotation of its texture are five animation tracks; its look
// is a material drawn pass by pass. Every frame it rebuilds its two triangles in pixels from the
// layer's viewport rectangle and the display's stored physical viewport.
//
// Units: positions and sizes are fractions of the display's stored viewport (1.0 is its whole
// width or height). The position is the offset of the centre from the centre of the layer's
// viewport; the scale is the size as a fraction of the layer's viewport size.
#pragma once

#include "qor_cEasyAnim.h"
#include "qor_cMatrix.h"
#include "qor_cVector2.h"
#include "qor_types.h"

struct qor_sClearRows;

class qor_cMaterial;
class qor_cTriList;

class qor_cLayerQuad
{
public:
    // pViewport: the owning layer's viewport rectangle (x, y, width, height), read at every
    // render; it must outlive the quad.
    explicit qor_cLayerQuad(const float * pViewport);
    virtual ~qor_cLayerQuad();
    qor_cLayerQuad(const qor_cLayerQuad &) = delete;
    qor_cLayerQuad & operator=(const qor_cLayerQuad &) = delete;

    // Keys (times in frames). A key the track refuses (not later than its last) is logged by
    // position and scale; the others give the track's answer.
    void addKey_pos(float ktime, float x, float y);
    void addKey_scale(float ktime, float x, float y);
    bool addKey_uvScale(float t, float u, float v);
    bool addKey_uvpos(float t, float u, float v);
    bool addKey_uvrot(float t, float angle);
    // Build the track's key table after its last key.
    bool lastKey_pos() { return m_corner.initKeyArray(); }
    bool lastKey_scale() { return m_scale.initKeyArray(); }
    bool lastKey_uvScale() { return m_uvScale.initKeyArray(); }
    bool lastKey_uvpos() { return m_uvpos.initKeyArray(); }
    bool lastKey_uvrot() { return m_uvrot.initKeyArray(); }
    // End mode of the texture offset track: 0 loop, 1 hold, 2 back and forth.
    void setEndMode_uvpos(int iMode) { m_uvpos.m_iEndMode = iMode; }

    // Static values, kept while a track has no keys.
    void setPos(float x, float y) { setStatic(m_corner, x, y); }
    void setScale(float x, float y) { setStatic(m_scale, x, y); }
    void setUVScale(float u, float v) { setStatic(m_uvScale, u, v); }

    void setMaterial(qor_cMaterial * pMaterial) { m_pMaterial = pMaterial; }
    qor_cMaterial * getMaterial() const { return m_pMaterial; }

    // Advances and evaluates the five tracks: position, scale, texture scale, texture offset,
    // texture rotation.
    void update(const float * dt);
    // Builds and draws the quad pass by pass. Without a material it draws nothing (logged
    // once for the quad).
    void render();
    // The five tracks back to time 0.
    void rewind();

    // What the last build made (tests, tools): the rectangle in pixels, the colour bytes and
    // the transformed texture corners (top-left, top-right, bottom-right, bottom-left).
    bool isBuilt() const { return m_bBuilt != 0; }
    void getRect(float * pLeft, float * pTop, float * pRight, float * pBottom) const;
    const qor_cVector2 * getUV() const { return m_aUV; }
    const qor_cMatrix & getTexMatrix() const { return m_texMatrix; }

    qor_cEasyAnim & positionTrack() { return m_corner; }
    qor_cEasyAnim & scaleTrack() { return m_scale; }
    qor_cEasyAnim & uvScaleTrack() { return m_uvScale; }
    qor_cEasyAnim & uvPosTrack() { return m_uvpos; }
    qor_cEasyAnim & uvRotTrack() { return m_uvrot; }

    // Four texture corners: top-left, top-right, bottom-right, bottom-left.
    static const qor_cVector2 s_aCorner[4];

    // Drawing less: a pass that a texel of alpha 0 cannot change (qor_cDisp::getClearRows) is
    // drawn in bands around the part of the quad where every texel it samples is such a texel,
    // the same triangles each time, cut to each band: every pixel is drawn once, as it would be
    // whole, and the clear middle of a vignette is not filled at all. On by default; tests and
    // measurements turn it off to compare.
    static bool s_bClipClear;
    // The bands for a rectangle (left, top, right, bottom in target pixels) whose texture
    // coordinates run from uv[0] at its top-left corner to uv[2] at its bottom-right without
    // rotation, over the clear rows of its texture: x, y, w, h each, at most kMaxBand. 0 when
    // nothing would be left out (the quad is drawn whole).
    static const int kMaxBand = 16;
    static int clearBands(const float * pRect, const qor_cVector2 * pUV, const qor_sClearRows & rows,
                          int aBand[kMaxBand][4]);

private:
    static void setStatic(qor_cEasyAnim & track, float a, float b);
    // Steps 1 to 8 of the build; false (built flag clear) when the quad is invisible.
    bool build();

    qor_cEasyAnim m_corner; // position (x, y), TCB keys of 3 components
    qor_cEasyAnim m_scale;  // scale (sx, sy), TCB keys of 3 components
    qor_cEasyAnim m_uvpos;  // texture offset (u, v), TCB keys of 2 components
    qor_cEasyAnim m_uvScale; // texture scale (su, sv), TCB keys of 2 components
    qor_cEasyAnim m_uvrot;  // texture rotation (radians), linear keys of 1 component
    qor_cMatrix m_texMatrix;
    qor_cTriList * m_pList;
    qor_cMaterial * m_pMaterial;
    const float * m_pViewport;
    uchar m_bBuilt;
    uchar m_bNoMaterialLogged;
    // The last build's rectangle and transformed corners.
    float m_afRect[4];
    qor_cVector2 m_aUV[4];
};
