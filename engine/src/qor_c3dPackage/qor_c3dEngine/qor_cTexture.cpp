#include "qor_cTexture.h"

#include "qor_sUCColor.h"
#include "qor_cErrorHandler.h"
#include "qor_cImageOps.h"
#include "qor_cKey.h"
#include "qor_cUtilDisplay.h"
#include "qor_cXChange.h"

#include <cmath>
#include <cstring>
#include <new>

namespace
{
inline cchar * orEmpty(cchar * sz)
{
    return sz ? sz : "";
}

// 0..1 to 0..255, truncated; out-of-range values saturate instead of wrapping.
inline uchar toByte(float f)
{
    float v = f * 255.0f;
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return (uchar)v;
}

cchar * const s_szSigOffset = "bool qor_cTexture::loadOffsetTable(cchar * szTexture<%s>, cchar * szMapX<%s>, cchar * szMapY<%s>)\n";
} // namespace

qor_cTexture::qor_cTexture()
    : m_tex(QOR_NULL_TEXTURE), m_pTableX(nullptr), m_pTableY(nullptr), m_pOffMap(nullptr), m_fOffsetTime(0.0f),
      m_bOffsetPending(false), m_nFrame(1), m_bLoaderFrameKeys(false)
{
    m_szName[0] = 0;
    m_frame.m_iEndMode = 1;
}

qor_cTexture::~qor_cTexture()
{
    // Every frame of an animation is released, not only the first.
    if (m_tex != QOR_NULL_TEXTURE && m_tex != 0 && QOR_DISP())
        for (uint k = 0; k < m_nFrame; ++k)
            QOR_DISP()->releaseTexture(m_tex + k);
    delete[] m_pOffMap;
    delete[] m_pTableX;
    delete[] m_pTableY;
}

void qor_cTexture::setName(cchar * szName)
{
    std::strncpy(m_szName, orEmpty(szName), e_nameSize - 1);
    m_szName[e_nameSize - 1] = 0;
}

bool qor_cTexture::load(cchar * szTexture, cchar * szAlpha, bool bCompress)
{
    setName(szTexture);
    m_tex = qoru_loadTexture(szTexture, szAlpha, bCompress);
    if (m_tex == QOR_NULL_TEXTURE)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexture::load(cchar * szTexture<%s>, cchar * szAlpha<%s>)\n", orEmpty(szTexture),
                      orEmpty(szAlpha));
        qoru_logError("m_tex = qoru_loadTextureAsBump(szTexture);\n");
        return false;
    }
    return true;
}

bool qor_cTexture::loadAsBump(cchar * szTexture)
{
    setName(szTexture);
    m_tex = qoru_loadTextureAsBump(szTexture);
    if (m_tex == QOR_NULL_TEXTURE)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexture::loadAsBump(cchar * szTexture<%s>\n", orEmpty(szTexture));
        qoru_logError("m_tex = qoru_loadTextureAsBump(szTexture);\n");
        return false;
    }
    return true;
}

bool qor_cTexture::loadAnim(cchar * szAnimName, cuint nFrame, float playbackRate, uint endMode)
{
    setName(szAnimName);
    m_tex = qoru_loadAnim(orEmpty(szAnimName), nFrame, true);
    if (m_tex == QOR_NULL_TEXTURE)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexture::loadAnim(cchar * szAnimName<%s>, cuint nFrame<%d>)\n", orEmpty(szAnimName),
                      nFrame);
        qoru_logError("m_tex = qoru_loadTextureAsBump(szTexture);\n");
        return false;
    }
    m_nFrame = nFrame;
    m_frame.m_iEndMode = (int)endMode;
    float fEnd = (float)nFrame * playbackRate;
    bool bRet = addKey_frame(0.0f, 0.0f) && addKey_frame(fEnd, fEnd);
    m_frame.initKeyArray();
    m_bLoaderFrameKeys = true;
    return bRet;
}

bool qor_cTexture::loadOffsetTable(cchar * szTexture, cchar * szMapX, cchar * szMapY)
{
    setName(szTexture);
    uint width = 0, height = 0;
    m_pOffMap = qoru_loadRGBARect(szTexture, width, height);
    if (!m_pOffMap)
    {
        QOR_LOG_LOCATION();
        qoru_logError(s_szSigOffset, orEmpty(szTexture), orEmpty(szMapX), orEmpty(szMapY));
        qoru_logError("m_pOffMap = qoru_loadRGBARect(szTexture, width, height);\n");
        return false;
    }
    if (width != e_ot_width)
    {
        QOR_LOG_LOCATION();
        qoru_logError(s_szSigOffset, orEmpty(szTexture), orEmpty(szMapX), orEmpty(szMapY));
        qoru_logError("if (width<%d> != e_ot_width<%d>)\n", width, (int)e_ot_width);
        return false;
    }
    if (height != e_ot_height)
    {
        QOR_LOG_LOCATION();
        qoru_logError(s_szSigOffset, orEmpty(szTexture), orEmpty(szMapX), orEmpty(szMapY));
        qoru_logError("if (height<%d> != e_ot_height<%d>)\n", height, (int)e_ot_height);
        return false;
    }

    cuint n = e_ot_width * e_ot_height;
    cchar * aszMap[2] = {szMapX, szMapY};
    uchar * apTable[2] = {nullptr, nullptr};
    for (int k = 0; k < 2; ++k)
    {
        uint w = 0, h = 0;
        qor_sUCColor * pMap = qoru_loadRGBARect(aszMap[k], w, h);
        // The maps are read for all 65536 texels: a smaller one would be read past its end.
        if (!pMap || (size_t)w * h < n)
        {
            QOR_LOG_LOCATION();
            qoru_logError(s_szSigOffset, orEmpty(szTexture), orEmpty(szMapX), orEmpty(szMapY));
            if (pMap)
                qoru_logError("table <%s> de %d x %d, il faut au moins %d x %d\n", orEmpty(aszMap[k]), w, h,
                              (int)e_ot_width, (int)e_ot_height);
            else
                qoru_logError("qor_sUCColor * pMap = qoru_loadRGBARect(szMap<%s>, width, height);\n", orEmpty(aszMap[k]));
            delete[] pMap;
            delete[] apTable[0];
            return false;
        }
        apTable[k] = new (std::nothrow) uchar[n];
        if (!apTable[k])
        {
            delete[] pMap;
            delete[] apTable[0];
            return false;
        }
        for (uint i = 0; i < n; ++i)
            apTable[k][i] = pMap[i].r;
        delete[] pMap;
    }
    m_pTableX = apTable[0];
    m_pTableY = apTable[1];

    m_tex = QOR_DISP()->createTexture(e_ot_width, e_ot_height, 8);
    if (m_tex == QOR_NULL_TEXTURE)
    {
        QOR_LOG_LOCATION();
        qoru_logError(s_szSigOffset, orEmpty(szTexture), orEmpty(szMapX), orEmpty(szMapY));
        qoru_logError("m_tex = QOR_DISP()->createTexture(e_ot_width, e_ot_height, 8);\n");
        return false;
    }
    return true;
}

bool qor_cTexture::createSolidColor(float r, float g, float b, float a)
{
    m_tex = QOR_DISP()->createTexture(4, 4, 0);
    if (m_tex == QOR_NULL_TEXTURE)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexture::createSolidColor(float r<%f>, float g<%f>, float b<%f>, float a<%f>)\n", r, g,
                      b, a);
        qoru_logError("m_tex = QOR_DISP()->createTexture(4, 4, 0);\n");
        return false;
    }
    QOR_DISP()->lockTexture(m_tex, nullptr);
    for (uint y = 0; y < 4; ++y)
        for (uint x = 0; x < 4; ++x)
            QOR_DISP()->setPixel(x, y, toByte(r), toByte(g), toByte(b), toByte(a));
    QOR_DISP()->unlockTexture(m_tex);
    return true;
}

bool qor_cTexture::createCubeBump(uint sidewidth)
{
    m_tex = qoru_createCubeBumpTexture(sidewidth);
    if (m_tex == QOR_NULL_TEXTURE)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexture::createCubeBump(uint sidewidth<%u>)\n", sidewidth);
        qoru_logError("m_tex = qoru_createCubeBumpTexture(sidewidth);\n");
        return false;
    }
    return true;
}

bool qor_cTexture::addKey_frame(float keytime, float frame)
{
    if (m_bLoaderFrameKeys)
    {
        // A fresh controller of the same kind drops the loader's keys; the clock restarts.
        m_bLoaderFrameKeys = false;
        m_frame.createController(qor_cKey::e_key_linear);
        m_frame.m_fLength = 0.0f;
        m_frame.m_fTime = 0.0f;
    }
    qor_cKey * pKey = new (std::nothrow) qor_cLinearKey(1);
    bool b = false;
    if (pKey)
    {
        pKey->m_fTime = keytime;
        pKey->m_afValue[0] = frame;
        b = m_frame.addKey(pKey, true);
        if (!b)
            delete pKey;
    }
    if (!b)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexture::addKey_frame(float keytime<%f>, float frame<%f>)\n", keytime, frame);
        qoru_logError("bool b = m_frame.addKey(pKey);\n");
    }
    return b;
}

bool qor_cTexture::lastKey_frame()
{
    return m_frame.initKeyArray();
}

qor_hTexture qor_cTexture::getCurrentHandle()
{
    if (m_tex == QOR_NULL_TEXTURE || m_tex == 0)
        return m_tex;
    float fFrame = std::floor(m_frame.evaluate()->m_afValue[0]);
    if (!(fFrame > 0.0f))
        return m_tex;
    // The track stops exactly on its length (value nFrame x rate), which names the handle
    // after the last frame: a looping animation is then back at its first frame, a held one
    // stays on its last. Either way no stranger's texture is bound.
    if (fFrame >= (float)m_nFrame)
    {
        if (m_frame.m_iEndMode == 0)
            return m_tex + (uint)std::fmod(fFrame, (float)m_nFrame);
        return m_tex + m_nFrame - 1;
    }
    return m_tex + (uint)fFrame;
}

bool qor_cTexture::use(uint stage)
{
    if (m_bOffsetPending)
        writeOffsetFrame();
    return QOR_DISP()->setTexture(stage, getCurrentHandle());
}

void qor_cTexture::update(const float * dt)
{
    m_frame.advance(dt);
    if (!m_pOffMap || !m_pTableX || !m_pTableY || m_tex == QOR_NULL_TEXTURE)
        return;

    m_fOffsetTime += *dt;
    // The frame is a function of the time alone: it is written when the texture is next bound,
    // so updates that are not drawn (a seek replays thousands) cost no rewrite and upload.
    m_bOffsetPending = true;
}

void qor_cTexture::writeOffsetFrame()
{
    m_bOffsetPending = false;
    // Only t mod 256 matters (one row per unit over 256 rows); the remainder keeps the
    // conversion to int defined whatever the accumulated time.
    int t = (int)std::fmod(m_fOffsetTime, (float)e_ot_height);
    void * pBits = nullptr;
    uint pitch = 0;
    if (!QOR_DISP()->lockTextureBits(m_tex, &pBits, &pitch))
        return;
    // A 32-bit texture of at least 256 pixels a row, written straight through the lock.
    if (pBits && pitch >= e_ot_width * 4)
        qoru_applyOffsetTable(m_pOffMap, m_pTableX, m_pTableY, t, static_cast<qor_sUCColor *>(pBits), pitch / 4);
    QOR_DISP()->unlockTexture(m_tex);
}
