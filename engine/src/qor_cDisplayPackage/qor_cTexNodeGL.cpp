#include "qor_cTexNodeGL.h"

#include "qor_cErrorHandler.h"
#include "qor_cGLDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

bool qor_cTexNodeGL::glFormatOf(uint uD3DFormat, GLint * pInternal, GLenum * pFormat, GLenum * pType, uint * pBytes)
{
#if QOR_GLES
    // RGBA or RGB bytes (toESBytes) into the nearest sized format OpenGL ES renders into.
    switch (uD3DFormat)
    {
    case qorrs_fmt_A8R8G8B8:
        *pInternal = GL_RGBA8, *pBytes = 4;
        break;
    case qorrs_fmt_A1R5G5B5:
        *pInternal = GL_RGB5_A1, *pBytes = 2;
        break;
    case qorrs_fmt_A4R4G4B4:
        *pInternal = GL_RGBA4, *pBytes = 2;
        break;
    case qorrs_fmt_X8R8G8B8:
        *pInternal = GL_RGB8, *pBytes = 4;
        break;
    case qorrs_fmt_X1R5G5B5:
    case qorrs_fmt_R5G6B5:
    case qorrs_fmt_X4R4G4B4:
        *pInternal = GL_RGB8, *pBytes = 2;
        break;
    case qorrs_fmt_R8G8B8:
        *pInternal = GL_RGB8, *pBytes = 3;
        break;
    default:
        return false;
    }
    *pFormat = *pInternal == GL_RGB8 ? GL_RGB : GL_RGBA;
    *pType = GL_UNSIGNED_BYTE;
    return true;
#else
    // X formats have no alpha in GL either, so sampling and blending read alpha as 1.
    switch (uD3DFormat)
    {
    case qorrs_fmt_A8R8G8B8:
        *pInternal = GL_RGBA8, *pFormat = GL_BGRA, *pType = GL_UNSIGNED_INT_8_8_8_8_REV, *pBytes = 4;
        return true;
    case qorrs_fmt_X8R8G8B8:
        *pInternal = GL_RGB8, *pFormat = GL_BGRA, *pType = GL_UNSIGNED_INT_8_8_8_8_REV, *pBytes = 4;
        return true;
    case qorrs_fmt_A1R5G5B5:
        *pInternal = GL_RGB5_A1, *pFormat = GL_BGRA, *pType = GL_UNSIGNED_SHORT_1_5_5_5_REV, *pBytes = 2;
        return true;
    case qorrs_fmt_X1R5G5B5:
        *pInternal = GL_RGB5, *pFormat = GL_BGRA, *pType = GL_UNSIGNED_SHORT_1_5_5_5_REV, *pBytes = 2;
        return true;
    case qorrs_fmt_R5G6B5:
        *pInternal = GL_RGB8, *pFormat = GL_RGB, *pType = GL_UNSIGNED_SHORT_5_6_5, *pBytes = 2;
        return true;
    case qorrs_fmt_A4R4G4B4:
        *pInternal = GL_RGBA4, *pFormat = GL_BGRA, *pType = GL_UNSIGNED_SHORT_4_4_4_4_REV, *pBytes = 2;
        return true;
    case qorrs_fmt_X4R4G4B4:
        *pInternal = GL_RGB4, *pFormat = GL_BGRA, *pType = GL_UNSIGNED_SHORT_4_4_4_4_REV, *pBytes = 2;
        return true;
    case qorrs_fmt_R8G8B8:
        *pInternal = GL_RGB8, *pFormat = GL_BGR, *pType = GL_UNSIGNED_BYTE, *pBytes = 3;
        return true;
    default:
        return false;
    }
#endif
}

namespace
{
// A channel of nBits bits at bit uShift of v, widened to 8 bits with rounding.
uint8_t widen(uint v, uint uShift, uint nBits)
{
    const uint uMax = (1u << nBits) - 1;
    return uint8_t((((v >> uShift) & uMax) * 255 + uMax / 2) / uMax);
}
} // namespace

bool qor_cTexNodeGL::toESBytes(uint uD3DFormat, const uint8_t * pSrc, size_t nPixel, uint8_t * pDst)
{
    // Layouts are little-endian words: A8R8G8B8 is bytes B, G, R, A; R8G8B8 is bytes B, G, R.
    // Shifts of red, green, blue, alpha and their widths; an alpha width of 0: no alpha.
    uint aShift[4], aBits[4], uBytes;
    switch (uD3DFormat)
    {
    case qorrs_fmt_A8R8G8B8:
    case qorrs_fmt_X8R8G8B8:
        aShift[0] = 16, aShift[1] = 8, aShift[2] = 0, aShift[3] = 24, uBytes = 4;
        aBits[0] = aBits[1] = aBits[2] = 8, aBits[3] = uD3DFormat == qorrs_fmt_A8R8G8B8 ? 8 : 0;
        break;
    case qorrs_fmt_R8G8B8:
        aShift[0] = 16, aShift[1] = 8, aShift[2] = 0, aShift[3] = 0, uBytes = 3;
        aBits[0] = aBits[1] = aBits[2] = 8, aBits[3] = 0;
        break;
    case qorrs_fmt_A1R5G5B5:
    case qorrs_fmt_X1R5G5B5:
        aShift[0] = 10, aShift[1] = 5, aShift[2] = 0, aShift[3] = 15, uBytes = 2;
        aBits[0] = aBits[1] = aBits[2] = 5, aBits[3] = uD3DFormat == qorrs_fmt_A1R5G5B5 ? 1 : 0;
        break;
    case qorrs_fmt_R5G6B5:
        aShift[0] = 11, aShift[1] = 5, aShift[2] = 0, aShift[3] = 0, uBytes = 2;
        aBits[0] = 5, aBits[1] = 6, aBits[2] = 5, aBits[3] = 0;
        break;
    case qorrs_fmt_A4R4G4B4:
    case qorrs_fmt_X4R4G4B4:
        aShift[0] = 8, aShift[1] = 4, aShift[2] = 0, aShift[3] = 12, uBytes = 2;
        aBits[0] = aBits[1] = aBits[2] = 4, aBits[3] = uD3DFormat == qorrs_fmt_A4R4G4B4 ? 4 : 0;
        break;
    default:
        return false;
    }
    const uint nOut = aBits[3] ? 4 : 3;
    for (size_t i = 0; i < nPixel; ++i, pSrc += uBytes, pDst += nOut)
    {
        uint v = 0;
        for (uint b = 0; b < uBytes; ++b)
            v |= uint(pSrc[b]) << (8 * b);
        for (uint c = 0; c < nOut; ++c)
            pDst[c] = widen(v, aShift[c], aBits[c]);
    }
    return true;
}

qor_cTexNodeGL::qor_cTexNodeGL(qor_cGLDevice * pDev)
    : m_pDev(pDev), m_uTex(0), m_uWidth(0), m_uHeight(0), m_bHasAlpha(false), m_handle(QOR_NULL_TEXTURE),
      m_p16(nullptr), m_p32(nullptr), m_uPitch(0), m_uLockedLevel(0), m_pPixels(nullptr), m_uBytes(4), m_bMipmap(false),
      m_bRenderTarget(false), m_bLocked(false)
{
}

qor_cTexNodeGL::~qor_cTexNodeGL()
{
    if (m_uTex)
    {
        if (m_pDev)
            m_pDev->forgetTexture(m_uTex);
        glDeleteTextures(1, &m_uTex);
    }
    std::free(m_pPixels);
}

bool qor_cTexNodeGL::create(uint width, uint height, const qor_cPixelFormat * pFmt, uint flags)
{
    m_fmt = *pFmt;
    m_uWidth = width;
    m_uHeight = height;
    m_bMipmap = (flags & QOR_TEX_MIPMAP) != 0;
    m_bRenderTarget = (flags & QOR_TEX_RENDERTARGET) != 0;
    m_uGLWidth = width;
    m_uGLHeight = height;
    if (m_bRenderTarget && m_pDev)
    {
        m_uGLWidth = uint(std::max(1L, std::lround(double(width) * m_pDev->getPixelScaleX())));
        m_uGLHeight = uint(std::max(1L, std::lround(double(height) * m_pDev->getPixelScaleY())));
    }
    GLint iInternal;
    GLenum eFormat, eType;
    GLint iMax = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &iMax);
    bool bOk = glFormatOf(pFmt->getD3DFormat(), &iInternal, &eFormat, &eType, &m_uBytes) && width > 0 && height > 0 &&
               m_uGLWidth <= uint(iMax) && m_uGLHeight <= uint(iMax);
    if (bOk)
    {
        while (glGetError() != GL_NO_ERROR)
        {
        }
        glGenTextures(1, &m_uTex);
        glActiveTexture(GL_TEXTURE0 + QOR_GL_MAX_STAGES); // a unit no stage uses
        glBindTexture(GL_TEXTURE_2D, m_uTex);
        glTexImage2D(GL_TEXTURE_2D, 0, iInternal, m_uGLWidth, m_uGLHeight, 0, eFormat, eType, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, m_bMipmap ? 1000 : 0);
        if (m_bMipmap)
            glGenerateMipmap(GL_TEXTURE_2D);
        bOk = glGetError() == GL_NO_ERROR;
    }
    if (!bOk)
    {
        if (m_uTex)
            glDeleteTextures(1, &m_uTex);
        m_uTex = 0;
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexNodeDX8::create(uint width %d, uint height %d, qor_cPixelFormat *pFmt, cuint flags "
                      "%x)\n",
                      width, height, flags);
        qoru_logError("HRESULT hRet = m_pDev->CreateTexture(width, height, bGenMipMap ? 0 : 1, pFmt->getD3DFormat(), "
                      "D3DPOOL_DEFAULT, &m_pTex);\n");
        return false;
    }
    return true;
}

bool qor_cTexNodeGL::allocPixels(uint8_t ** ppPixels)
{
    if (*ppPixels)
        return true;
    const size_t n = size_t(m_uWidth) * m_uHeight * m_uBytes;
    *ppPixels = static_cast<uint8_t *>(std::calloc(n ? n : 1, 1));
    return *ppPixels != nullptr;
}

bool qor_cTexNodeGL::lock(uint * pOut)
{
    // Render targets live in GL memory only (D3DPOOL_DEFAULT surfaces cannot be locked).
    if (!m_uTex || m_bRenderTarget || !allocPixels(&m_pPixels))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexNodeDX8::lock()\n");
        qoru_logError("HRESULT hRet = m_pTex->GetSurfaceLevel(0, &pSurface);\n");
        return false;
    }
    m_bHasAlpha = false;
    m_bLocked = true;
    m_bClearRowKnown = false;
    m_p16 = nullptr;
    m_p32 = nullptr;
    const uint bits = m_fmt.getBitsPerPixel();
    if (bits == 16)
    {
        m_p16 = reinterpret_cast<uint16_t *>(m_pPixels);
        m_uPitch = m_uWidth;
    }
    else if (bits == 32)
    {
        m_p32 = reinterpret_cast<uint32_t *>(m_pPixels);
        m_uPitch = m_uWidth;
    }
    if (pOut)
    {
        // The interface hands the pointer as a 32-bit value; on 64-bit builds only the pitch
        // is meaningful here (getPixels() gives the pointer).
        pOut[0] = static_cast<uint>(reinterpret_cast<uintptr_t>(m_pPixels));
        pOut[1] = m_uWidth * m_uBytes;
    }
    return true;
}

void qor_cTexNodeGL::upload(GLenum target, const uint8_t * pPixels)
{
    GLint iInternal;
    GLenum eFormat, eType;
    uint uBytes;
    if (!glFormatOf(m_fmt.getD3DFormat(), &iInternal, &eFormat, &eType, &uBytes))
        return;
    glActiveTexture(GL_TEXTURE0 + QOR_GL_MAX_STAGES);
    const GLenum bindTarget = target == GL_TEXTURE_2D ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP;
    glBindTexture(bindTarget, m_uTex);
    // Row 0 of the image (its top) goes to GL's row 0, which texture coordinate v = 0 reads.
#if QOR_GLES
    std::vector<uint8_t> bytes(size_t(m_uWidth) * m_uHeight * 4);
    if (!toESBytes(m_fmt.getD3DFormat(), pPixels, size_t(m_uWidth) * m_uHeight, bytes.data()))
        return;
    pPixels = bytes.data();
#endif
    QOR_GL_CHECK(glTexSubImage2D(target, 0, 0, 0, m_uWidth, m_uHeight, eFormat, eType, pPixels));
    if (m_bMipmap && bindTarget == GL_TEXTURE_2D)
        glGenerateMipmap(GL_TEXTURE_2D);
}

bool qor_cTexNodeGL::unlock()
{
    if (!m_bLocked)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexNodeDX8::unlock()\n");
        qoru_logError("HRESULT hRet = m_pTex->UnlockRect(0);\n");
        return false;
    }
    upload(GL_TEXTURE_2D, m_pPixels);
    m_bLocked = false;
    m_p16 = nullptr;
    m_p32 = nullptr;
    return true;
}

const int16_t * qor_cTexNodeGL::getClearRows()
{
    if (m_bClearRowKnown)
        return m_aClearRow.empty() ? nullptr : m_aClearRow.data();
    m_bClearRowKnown = true;
    m_aClearRow.clear();
    const uint bits = m_fmt.getBitsPerPixel();
    const uint alphaBits = 8u - m_fmt.m_alpha.loss;
    if (!m_pPixels || isLocked() || m_bRenderTarget || (bits != 16 && bits != 32) || alphaBits == 0 || alphaBits > 8 ||
        !m_uWidth || !m_uHeight || m_uWidth > 32767u)
        return nullptr;
    const uint mask = (1u << alphaBits) - 1u, shift = m_fmt.m_alpha.shift;
    const auto alpha = [&](uint x, uint y) {
        const size_t i = size_t(y) * m_uWidth + x;
        const uint p = bits == 16 ? reinterpret_cast<const uint16_t *>(m_pPixels)[i]
                                  : reinterpret_cast<const uint32_t *>(m_pPixels)[i];
        return (p >> shift) & mask;
    };
    m_aClearRow.resize(size_t(m_uHeight) * 2);
    const uint mid = m_uWidth / 2;
    for (uint y = 0; y < m_uHeight; ++y)
    {
        int first = 1, last = 0;
        if (alpha(mid, y) == 0)
        {
            uint a = mid, b = mid;
            while (a > 0 && alpha(a - 1, y) == 0)
                --a;
            while (b + 1 < m_uWidth && alpha(b + 1, y) == 0)
                ++b;
            first = int(a);
            last = int(b);
        }
        m_aClearRow[2 * y] = int16_t(first);
        m_aClearRow[2 * y + 1] = int16_t(last);
    }
    return m_aClearRow.data();
}

void qor_cTexNodeGL::setPixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a)
{
    if (a != 255)
        m_bHasAlpha = true;
    if (x >= m_uWidth || y >= m_uHeight)
        return; // outside the surface: Direct3D would write past it, we drop it
    const uint v = m_fmt.pack(r, g, b, a);
    if (m_p32)
        m_p32[y * m_uPitch + x] = v;
    else if (m_p16)
        m_p16[y * m_uPitch + x] = static_cast<uint16_t>(v);
}

void qor_cTexNodeGL::setPixelRow(uint y, uint n, const uchar * pRGB, const uchar * pAlpha, uint nAlphaStep)
{
    if (y >= m_uHeight || (!m_p32 && !m_p16))
        return; // outside the surface, or a format with no pixel writes
    // What setPixel does for each pixel, without its call and its checks per pixel.
    const uint nIn = std::min(n, m_uWidth);
    uchar uAllAlpha = 255;
    const uint uFormat = m_fmt.getD3DFormat();
    if (m_p32 && (uFormat == qorrs_fmt_A8R8G8B8 || uFormat == qorrs_fmt_X8R8G8B8))
    {
        // The textures' own layout (alpha 24, red 16, green 8, blue 0), with its shifts known
        // here: one word per pixel.
        uint32_t * pOut = m_p32 + size_t(y) * m_uPitch;
        for (uint x = 0; x < nIn; ++x, pRGB += 3)
        {
            const uchar a = pAlpha ? pAlpha[size_t(x) * nAlphaStep] : 255;
            uAllAlpha &= a;
            pOut[x] = (uint32_t(a) << 24) | (uint32_t(pRGB[0]) << 16) | (uint32_t(pRGB[1]) << 8) | pRGB[2];
        }
    }
    else
    {
        // Any other layout, 32 or 16 bits a pixel, through the format's own packing.
        const auto packRow = [&](auto * pOut) {
            using T = std::remove_pointer_t<decltype(pOut)>;
            for (uint x = 0; x < nIn; ++x, pRGB += 3)
            {
                const uchar a = pAlpha ? pAlpha[size_t(x) * nAlphaStep] : 255;
                uAllAlpha &= a;
                pOut[x] = static_cast<T>(m_fmt.pack(pRGB[0], pRGB[1], pRGB[2], a));
            }
        };
        if (m_p32)
            packRow(m_p32 + size_t(y) * m_uPitch);
        else
            packRow(m_p16 + size_t(y) * m_uPitch);
    }
    if (uAllAlpha != 255)
        m_bHasAlpha = true;
    // Pixels past the surface's width are dropped as setPixel drops them; their alpha counts.
    for (uint x = nIn; x < n; ++x)
        if (pAlpha && pAlpha[size_t(x) * nAlphaStep] != 255)
            m_bHasAlpha = true;
}

// ----- cube

qor_cCubeTexNodeGL::qor_cCubeTexNodeGL(qor_cGLDevice * pDev) : qor_cTexNodeGL(pDev), m_iLockedFace(qorrs_cubeface_posx)
{
    std::memset(m_apFace, 0, sizeof(m_apFace));
}

qor_cCubeTexNodeGL::~qor_cCubeTexNodeGL()
{
    m_pPixels = nullptr; // a face pointer while locked: the faces are freed here
    for (uint8_t *& p : m_apFace)
        std::free(p);
}

bool qor_cCubeTexNodeGL::create(uint sidewidth, const qor_cPixelFormat * pFmt)
{
    m_fmt = *pFmt;
    m_uWidth = m_uHeight = sidewidth;
    m_uGLWidth = m_uGLHeight = sidewidth;
    GLint iInternal;
    GLenum eFormat, eType;
    GLint iMax = 0;
    glGetIntegerv(GL_MAX_CUBE_MAP_TEXTURE_SIZE, &iMax);
    bool bOk = glFormatOf(pFmt->getD3DFormat(), &iInternal, &eFormat, &eType, &m_uBytes) && sidewidth > 0 &&
               sidewidth <= uint(iMax);
    if (bOk)
    {
        while (glGetError() != GL_NO_ERROR)
        {
        }
        glGenTextures(1, &m_uTex);
        glActiveTexture(GL_TEXTURE0 + QOR_GL_MAX_STAGES);
        glBindTexture(GL_TEXTURE_CUBE_MAP, m_uTex);
        // GL's cube faces follow D3DCUBEMAP_FACES' order and, like Direct3D, read row 0 of a
        // face image as its top.
        for (int i = 0; i < 6; ++i)
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, iInternal, sidewidth, sidewidth, 0, eFormat, eType,
                         nullptr);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, 0);
        bOk = glGetError() == GL_NO_ERROR;
    }
    if (!bOk)
    {
        if (m_uTex)
            glDeleteTextures(1, &m_uTex);
        m_uTex = 0;
        QOR_LOG_LOCATION();
        qoru_logError("qor_hTexture\tqor_cCubeTexNodeDX8::create(uint sidewidth <%d>, qor_cPixelFormat *pFmt <%d>)\n",
                      sidewidth, pFmt->getD3DFormat());
        qoru_logError("HRESULT hRet = m_pDev->CreateCubeTexture(sidewidth, 1, usage, m_pfmt, D3DPOOL_MANAGED, "
                      "&m_pCubeTex);\n");
        return false;
    }
    return true;
}

bool qor_cCubeTexNodeGL::lock(qor_eCubeMapFace iFace)
{
    const uint f = static_cast<uint>(iFace);
    if (!m_uTex || f > 5 || !allocPixels(&m_apFace[f]))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTexNodeDX8::lock()\n");
        qoru_logError("HRESULT hRet = m_pTex->GetSurfaceLevel(0, &pSurface);\n");
        return false;
    }
    m_iLockedFace = iFace;
    m_pPixels = m_apFace[f];
    m_bHasAlpha = false;
    m_bLocked = true;
    m_p16 = nullptr;
    m_p32 = nullptr;
    const uint bits = m_fmt.getBitsPerPixel();
    if (bits == 16)
        m_p16 = reinterpret_cast<uint16_t *>(m_pPixels);
    else if (bits == 32)
        m_p32 = reinterpret_cast<uint32_t *>(m_pPixels);
    m_uPitch = m_uWidth;
    return true;
}

bool qor_cCubeTexNodeGL::unlock()
{
    if (!m_bLocked)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cCubeTexNodeDX8::unlock()\n");
        qoru_logError("HRESULT hRet = m_pCubeTex->UnlockRect(m_iLockedFace, m_lockedLevel);\n");
        return false;
    }
    upload(GL_TEXTURE_CUBE_MAP_POSITIVE_X + m_iLockedFace, m_pPixels);
    m_bLocked = false;
    m_p16 = nullptr;
    m_p32 = nullptr;
    m_pPixels = nullptr; // the faces own their memory
    return true;
}
