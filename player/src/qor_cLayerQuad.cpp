#include "qor_cLayerQuad.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cKey.h"
#include "qor_cMaterial.h"
#include "qor_cTriList.h"
#include "qor_cXChange.h"

#include <cmath>
#include <new>

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
    // 3.
    for (uint i = 0; i < m_pMaterial->getNbPass(); ++i)
    {
        m_pMaterial->usePass(i);
        m_pList->draw();
    }
}
