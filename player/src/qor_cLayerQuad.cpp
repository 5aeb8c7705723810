#include "qor_cLayerQuad.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cKey.h"
#include "qor_cMaterial.h"
#include "qor_cTriList.h"
#include "qor_cXChange.h"

#include <algorithm>
#include <cmath>
#include <new>

bool qor_cLayerQuad::s_bClipClear = true;

const qor_cVector2 qor_cLayerQuad::s_aCorner[4] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};

namespace
{
// A key of n components at time t with values (a, b), added to the track (owned). The key is
// deleted when the track refuses it.
template <typename KEY> bool addKey2(qor_cEasyAnim & track, uint n, float t, float a, float b)
{
    qor_cKey * pKey = new (std::nothrow) KEY(n);
    if (!pKey)
        return false;
    pKey->m_fTime = t;
    pKey->m_afValue[0] = a;
    if (n > 1)
        pKey->m_afValue[1] = b;
    if (!track.addKey(pKey, true))
    {
        delete pKey;
        return false;
    }
    return true;
}

// ambient x diffuse x 255, truncated, kept to its low 8 bits. Values beyond what an int holds
// (and NaN) are brought into range first, so the conversion is always defined.
uchar colorByte(float fAmbient, float fDiffuse)
{
    double v = (double)fAmbient * (double)fDiffuse * 255.0;
    if (!(v > -2147483648.0))
        v = 0.0;
    if (v > 2147483647.0)
        v = 2147483647.0;
    return (uchar)((uint)(int)v & 0xFF);
}
} // namespace

qor_cLayerQuad::qor_cLayerQuad(const float * pViewport)
    : m_pList(qor_cTriList::create()), m_pMaterial(nullptr), m_pViewport(pViewport), m_bBuilt(0),
      m_bNoMaterialLogged(0), m_afRect{0.0f, 0.0f, 0.0f, 0.0f}
{
    qor_cEasyAnim * apTrack[5] = {&m_corner, &m_scale, &m_uvpos, &m_uvScale, &m_uvrot};
    for (qor_cEasyAnim * p : apTrack)
    {
        p->m_iEndMode = qor_cEasyAnim::e_end_hold;
        for (float & f : p->getOutput()->m_afValue)
            f = 0.0f;
    }
    setStatic(m_scale, 1.0f, 1.0f);
    setStatic(m_uvScale, 1.0f, 1.0f);
}

qor_cLayerQuad::~qor_cLayerQuad()
{
    delete m_pList;
}

void qor_cLayerQuad::setStatic(qor_cEasyAnim & track, float a, float b)
{
    float * p = track.getOutput()->m_afValue;
    p[0] = a;
    p[1] = b;
    p[2] = 0.0f;
    p[3] = 0.0f;
}

void qor_cLayerQuad::addKey_pos(float ktime, float x, float y)
{
    if (!addKey2<qor_cTcbKey>(m_corner, 3, ktime, x, y))
    {
        QOR_LOG_LOCATION();
        qoru_logError("void qor_cLayerQuad::addKey_pos(float ktime, float x, float y)\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = m_corner->addPosKey(pKey, true);\n");
    }
}

void qor_cLayerQuad::addKey_scale(float ktime, float x, float y)
{
    if (!addKey2<qor_cTcbKey>(m_scale, 3, ktime, x, y))
    {
        QOR_LOG_LOCATION();
        qoru_logError("void qor_cLayerQuad::addKey_scale(float ktime, float x, float y)\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = m_pCtrlScale->addKey(pKey, true);\n");
    }
}

bool qor_cLayerQuad::addKey_uvScale(float t, float u, float v)
{
    qor_cKey * pKey = new (std::nothrow) qor_cTcbKey(2);
    if (!pKey)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayerQuad::addKey_uvScale(float t<%f>, float u<%f>, float v<%f>)\n", t, u, v);
        QOR_LOG_LOCATION();
        qoru_logError("qor_cTcbKey * pkey = new qor_cTcbKey(2);\n");
        return false;
    }
    pKey->m_fTime = t;
    pKey->m_afValue[0] = u;
    pKey->m_afValue[1] = v;
    if (!m_uvScale.addKey(pKey, true))
    {
        delete pKey;
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayerQuad::addKey_uvScale(float t<%f>, float u<%f>, float v<%f>)\n", t, u, v);
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = m_pCtrlUVScale->addKey(pkey, true);\n");
        return false;
    }
    return true;
}

bool qor_cLayerQuad::addKey_uvpos(float t, float u, float v)
{
    return addKey2<qor_cTcbKey>(m_uvpos, 2, t, u, v);
}

bool qor_cLayerQuad::addKey_uvrot(float t, float angle)
{
    return addKey2<qor_cLinearKey>(m_uvrot, 1, t, angle, 0.0f);
}

void qor_cLayerQuad::update(const float * dt)
{
    qor_cEasyAnim * apTrack[5] = {&m_corner, &m_scale, &m_uvScale, &m_uvpos, &m_uvrot};
    for (qor_cEasyAnim * p : apTrack)
    {
        p->advance(dt);
        p->evaluate();
    }
}

void qor_cLayerQuad::rewind()
{
    qor_cEasyAnim * apTrack[5] = {&m_corner, &m_scale, &m_uvScale, &m_uvpos, &m_uvrot};
    for (qor_cEasyAnim * p : apTrack)
        p->rewind();
}

void qor_cLayerQuad::getRect(float * pLeft, float * pTop, float * pRight, float * pBottom) const
{
    *pLeft = m_afRect[0];
    *pTop = m_afRect[1];
    *pRight = m_afRect[2];
    *pBottom = m_afRect[3];
}

bool qor_cLayerQuad::build()
{
    // 1.
    m_bBuilt = 0;
    qor_cDisp * pDisp = QOR_DISP();
    if (!pDisp || !m_pList || !m_pViewport)
        return false;
    const float vx = m_pViewport[0], vy = m_pViewport[1], vw = m_pViewport[2], vh = m_pViewport[3];
    const float * D = pDisp->getVPPhysical();
    const float Dx = D[0], Dy = D[1], Dw = D[2], Dh = D[3];

    // 2. Centre and half sizes in pixels.
    const float * pPos = m_corner.getOutput()->m_afValue;
    const float * pScale = m_scale.getOutput()->m_afValue;
    const float cx = (vw * 0.5f + pPos[0] + vx) * Dw + Dx;
    const float cy = (vh * 0.5f + pPos[1] + vy) * Dh + Dy;
    const float hw = pScale[0] * Dw * vw * 0.5f;
    const float hh = pScale[1] * vh * Dh * 0.5f;
    const float left = cx - hw, right = cx + hw, top = cy - hh, bottom = cy + hh;

    // 3. Colour: ambient x diffuse; an alpha byte of 0 hides the quad this frame.
    const float * pDiff = m_pMaterial->getProp().getDiffuse();
    const qor_cColor * pAmb = pDisp->getAmbientLight();
    const uchar r = colorByte(pAmb->r, pDiff[0]);
    const uchar g = colorByte(pAmb->g, pDiff[1]);
    const uchar b = colorByte(pAmb->b, pDiff[2]);
    const uchar a = colorByte(pAmb->a, pDiff[3]);
    if (a == 0)
        return false;

    // 4.
    if (!m_pList->startAdd(2, 0))
        return false;

    // 5. M = T(u, v) T(-0.5, -0.5) S(su, sv) R(angle) T(-0.5, -0.5), on column vectors (u, v, 1):
    // row r of the 2 x 3 product in m[r][0..2], the translation in the third column.
    const float * pOff = m_uvpos.getOutput()->m_afValue;
    const float * pUVS = m_uvScale.getOutput()->m_afValue;
    const float fAngle = m_uvrot.getOutput()->m_afValue[0];
    const float c = std::cos(fAngle), s = std::sin(fAngle);
    const float su = pUVS[0], sv = pUVS[1];
    // S R = [su c, su s; -sv s, sv c]; applied to (p - 0.5), then -0.5 + (u, v).
    m_texMatrix.setIdentity();
    m_texMatrix.m[0][0] = su * c;
    m_texMatrix.m[0][1] = su * s;
    m_texMatrix.m[1][0] = -sv * s;
    m_texMatrix.m[1][1] = sv * c;
    m_texMatrix.m[0][2] = -0.5f * (su * c + su * s) - 0.5f + pOff[0];
    m_texMatrix.m[1][2] = -0.5f * (-sv * s + sv * c) - 0.5f + pOff[1];

    // 6.
    for (int i = 0; i < 4; ++i)
    {
        const qor_cVector2 & p = s_aCorner[i];
        m_aUV[i].set(m_texMatrix.m[0][0] * p.x + m_texMatrix.m[0][1] * p.y + m_texMatrix.m[0][2],
                     m_texMatrix.m[1][0] * p.x + m_texMatrix.m[1][1] * p.y + m_texMatrix.m[1][2]);
    }

    // 7. Six vertices: (left, top), (right, bottom), (right, top), (right, bottom), (left, top),
    // (left, bottom), each with the matching corner.
    const struct
    {
        float x, y;
        int iCorner;
    } aV[6] = {{left, top, 0}, {right, bottom, 2}, {right, top, 1}, {right, bottom, 2}, {left, top, 0}, {left, bottom, 3}};
    for (const auto & v : aV)
    {
        m_pList->setPositionRHW(v.x, v.y, 1.0f, 1.0f);
        m_pList->setColor(r, g, b, a);
        m_pList->setUV(m_aUV[v.iCorner].x, m_aUV[v.iCorner].y);
        m_pList->next();
    }

    // 8.
    m_pList->endAdd();
    m_afRect[0] = left;
    m_afRect[1] = top;
    m_afRect[2] = right;
    m_afRect[3] = bottom;
    m_bBuilt = 1;
    return true;
}

void qor_cLayerQuad::render()
{
    if (!m_pMaterial)
    {
        // Every quad of a script should get a material; one that did not is skipped, and said
        // once rather than every frame.
        m_bBuilt = 0;
        if (!m_bNoMaterialLogged)
        {
            m_bNoMaterialLogged = 1;
            QOR_LOG_LOCATION();
            qoru_logError("void qor_cLayerQuad::render() : quad sans material, il n'est pas dessine\n");
        }
        return;
    }
    // 1.
    if (!build())
        return;
    // 2. The diffuse colour comes from the vertices, the other three from the material.
    m_pMaterial->getProp().setSources(1, 0, 0, 0);
    qor_cDisp * pDisp = QOR_DISP();
    // 3. Texture coordinates that turn with the quad's rotation are left whole.
    const bool bUpright = m_texMatrix.m[0][1] == 0.0f && m_texMatrix.m[1][0] == 0.0f;
    for (uint i = 0; i < m_pMaterial->getNbPass(); ++i)
    {
        m_pMaterial->usePass(i);
        qor_sClearRows rows;
        int aBand[kMaxBand][4];
        const int nBand =
            s_bClipClear && bUpright && pDisp->getClearRows(&rows) ? clearBands(m_afRect, m_aUV, rows, aBand) : 0;
        if (nBand == 0)
        {
            m_pList->draw();
            continue;
        }
        for (int b = 0; b < nBand; ++b)
        {
            pDisp->setClipRect(aBand[b]);
            m_pList->draw();
        }
        pDisp->setClipRect(nullptr);
    }
}

namespace
{
// Texel footprint of the samples of a run of pixels: the pixels' centres lie within 2 pixels of
// them whatever the half-pixel rule and the picture's scale (a larger picture's pixel centres
// fall between), and a bilinear sample at texel coordinate s reads texels floor(s - 0.5) and
// the next; one texel more on each side keeps float rounding out of it.
void footprint(double a, double b, double p0, double p1, double * pLo, double * pHi)
{
    const double s0 = a * (p0 - 2.0) + b, s1 = a * (p1 + 2.0) + b;
    *pLo = std::floor((s0 < s1 ? s0 : s1) - 0.5) - 1.0;
    *pHi = std::floor((s0 < s1 ? s1 : s0) - 0.5) + 2.0;
}

// The pixels p (of a run from p0 to p1 - 1) whose footprint lies within texels first..last:
// [*pLo, *pHi], empty when *pLo > *pHi. s = a p + b.
void insidePixels(double a, double b, int p0, int p1, int first, int last, int * pLo, int * pHi)
{
    // footprint within [first, last] when s over [p - 2, p + 2] stays within
    // [first + 1.5, last - 1.5]; one pixel more on each side for the rounding of the division.
    double x0 = (first + 1.5 - b) / a, x1 = (last - 1.5 - b) / a;
    if (x0 > x1)
        std::swap(x0, x1);
    const double lo = std::ceil(x0 + 2.0) + 1.0, hi = std::floor(x1 - 2.0) - 1.0;
    *pLo = lo > p0 ? int(lo) : p0;
    *pHi = hi < p1 - 1 ? int(hi) : p1 - 1;
    if (!(lo <= hi))
        *pLo = 1, *pHi = 0;
}
} // namespace

int qor_cLayerQuad::clearBands(const float * pRect, const qor_cVector2 * pUV, const qor_sClearRows & rows,
                               int aBand[kMaxBand][4])
{
    const double left = pRect[0], top = pRect[1], right = pRect[2], bottom = pRect[3];
    const double W = rows.nWidth, H = rows.nHeight;
    // Only a quad of a few pixels at least, on a target of sensible size.
    if (!(right - left >= 8.0 && bottom - top >= 8.0) || !(left > -65536.0 && right < 65536.0) ||
        !(top > -65536.0 && bottom < 65536.0) || !rows.pRow || !rows.nWidth || !rows.nHeight)
        return 0;
    // Texel coordinates s = ax x + bx across, t = ay y + by down.
    const double ax = W * (double(pUV[2].x) - pUV[0].x) / (right - left);
    const double ay = H * (double(pUV[2].y) - pUV[0].y) / (bottom - top);
    double bx = W * pUV[0].x - ax * left, by = H * pUV[0].y - ay * top;
    if (!(ax != 0.0 && ay != 0.0) || !std::isfinite(ax + bx + ay + by))
        return 0;
    // The texture repeats: coordinates moved by whole turns so that the quad's centre reads the
    // texture's first copy sample the same texels.
    bx -= W * std::floor((ax * (left + right) * 0.5 + bx) / W);
    by -= H * std::floor((ay * (top + bottom) * 0.5 + by) / H);
    // Every pixel the quad can touch: its rectangle and 2 pixels around it.
    const int X0 = int(std::floor(left)) - 2, X1 = int(std::ceil(right)) + 2;
    const int Y0 = int(std::floor(top)) - 2, Y1 = int(std::ceil(bottom)) + 2;

    // The clear columns of a run of pixel rows: texel rows of their footprint, the runs of those
    // rows intersected, then the pixels whose footprint stays within it.
    const auto clearColumns = [&](int y0, int y1, int * pLo, int * pHi) {
        *pLo = 1, *pHi = 0;
        double r0, r1;
        footprint(ay, by, y0, y1 - 1, &r0, &r1);
        if (r0 < 0.0 || r1 >= H)
            return;
        int first = 0, last = int(W) - 1;
        for (int r = int(r0); r <= int(r1) && first <= last; ++r)
        {
            first = std::max(first, int(rows.pRow[2 * r]));
            last = std::min(last, int(rows.pRow[2 * r + 1]));
        }
        if (first > last)
            return;
        insidePixels(ax, bx, X0, X1, first, last, pLo, pHi);
    };

    // The rows with any clear column, as one run from the first to the last.
    int yFirst = Y1, yLast = Y0 - 1;
    for (int y = Y0; y < Y1; ++y)
    {
        int lo, hi;
        clearColumns(y, y + 1, &lo, &hi);
        if (lo <= hi)
        {
            yFirst = std::min(yFirst, y);
            yLast = y;
        }
    }
    if (yFirst > yLast)
        return 0;
    // That run in kStrip strips of equal height, each left out where all its rows are clear;
    // more strips follow a round clear part more closely, each costs two draws.
    const int kStrip = 5;
    int nBand = 0;
    long nLeftOut = 0;
    const auto add = [&](int x0, int y0, int x1, int y1) {
        if (x1 <= x0 || y1 <= y0)
            return;
        // A whole-width band right under the one before joins it.
        if (nBand > 0 && x0 == X0 && x1 == X1 && aBand[nBand - 1][0] == X0 && aBand[nBand - 1][2] == X1 - X0 &&
            aBand[nBand - 1][1] + aBand[nBand - 1][3] == y0)
        {
            aBand[nBand - 1][3] += y1 - y0;
            return;
        }
        int * b = aBand[nBand++];
        b[0] = x0, b[1] = y0, b[2] = x1 - x0, b[3] = y1 - y0;
    };
    add(X0, Y0, X1, yFirst);
    const int nRow = yLast + 1 - yFirst;
    for (int i = 0; i < kStrip; ++i)
    {
        const int y0 = yFirst + nRow * i / kStrip, y1 = yFirst + nRow * (i + 1) / kStrip;
        if (y1 <= y0)
            continue;
        int lo, hi;
        clearColumns(y0, y1, &lo, &hi);
        if (lo > hi)
        {
            add(X0, y0, X1, y1);
            continue;
        }
        nLeftOut += long(hi + 1 - lo) * (y1 - y0);
        add(X0, y0, lo, y1);
        add(hi + 1, y0, X1, y1);
    }
    add(X0, yLast + 1, X1, Y1);
    // Under 64 x 64 pixels left out, the extra draws cost more than the fill they save.
    return nLeftOut >= 4096 ? nBand : 0;
}
