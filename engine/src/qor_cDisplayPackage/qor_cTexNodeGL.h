// Texture nodes: the GL textures behind texture handles (messages keep the Direct3D 8 names
// qor_cTexNodeDX8 and qor_cCubeTexNodeDX8). Pixels are written into client memory in Direct3D's
// packed layouts (32-bit ARGB or 16-bit) between lock and unlock, and uploaded on unlock.
#pragma once

#include "qor_cDispTypes.h"
#include "qor_cPixelFormat.h"

#include "qor_gl.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class qor_cGLDevice;

class qor_cTexNodeGL
{
public:
    explicit qor_cTexNodeGL(qor_cGLDevice * pDev);
    // Virtual operations: lock, unlock, setPixel, destructor.
    // Locks level 0: clears the has-alpha flag, sets the 16- or 32-bit pointer by the format's
    // bits per pixel (other sizes: none, pixel writes ignored). pOut, when given, receives the
    // pixel pointer (element 0, as an integer) and the row pitch in bytes (element 1).
    virtual bool lock(uint * pOut);
    // Uploads level 0 (and rebuilds the mipmaps when the texture has them).
    virtual bool unlock();
    virtual void setPixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a);
    virtual ~qor_cTexNodeGL();
    // setPixel for x = 0 .. n - 1 of row y of level 0 (qor_cDisp::setPixelRow).
    void setPixelRow(uint y, uint n, const uchar * pRGB, const uchar * pAlpha, uint nAlphaStep);

    // Creates the GL texture; false with the creation message when GL refuses it.
    bool create(uint width, uint height, const qor_cPixelFormat * pFmt, uint flags);

    GLuint getGLTex() const { return m_uTex; }
    qor_hTexture getHandle() const { return m_handle; }
    void setHandle(qor_hTexture h) { m_handle = h; }
    uint getWidth() const { return m_uWidth; }
    uint getHeight() const { return m_uHeight; }
    // The GL texture's own size: a render target's is its size in screen pixels times the
    // device's pixel scale (drawn as sharp as the back buffer); any other texture's, its size.
    uint getGLWidth() const { return m_uGLWidth; }
    uint getGLHeight() const { return m_uGLHeight; }
    bool hasAlpha() const { return m_bHasAlpha; }
    bool isRenderTarget() const { return m_bRenderTarget; }
    bool isLocked() const { return m_p16 || m_p32 || m_bLocked; }
    const qor_cPixelFormat & getPixelFormat() const { return m_fmt; }
    // The client copy of level 0 (null before the first lock); pitch in pixels.
    const void * getPixels() const { return m_pPixels; }
    uint getPitch() const { return m_uPitch; }
    // Texels of level 0 whose alpha is 0, for drawing less: per row y, the run of them through
    // the middle column, its first column at element 2y and its last at 2y + 1 (first > last
    // when the middle texel is not one). Worked out at the first call after a lock; null for a
    // texture without an alpha channel or client pixels, and while locked.
    const int16_t * getClearRows();

    // GL upload formats of a Direct3D format: internal format, format, type, bytes per pixel.
    static bool glFormatOf(uint uD3DFormat, GLint * pInternal, GLenum * pFormat, GLenum * pType, uint * pBytes);
    // OpenGL ES takes pixels as RGBA or RGB bytes only: nPixel pixels of a Direct3D format
    // (pBytes of glFormatOf each) become 4 bytes R, G, B, A each for a format with alpha, 3
    // bytes R, G, B for one without; a channel of n bits is widened to round(v * 255 / (2^n - 1)),
    // the value OpenGL samples from the packed texel. False for a format with no GL upload.
    static bool toESBytes(uint uD3DFormat, const uint8_t * pSrc, size_t nPixel, uint8_t * pDst);

protected:
    bool allocPixels(uint8_t ** ppPixels);
    void upload(GLenum target, const uint8_t * pPixels);

    qor_cGLDevice * m_pDev;
    GLuint m_uTex;
    qor_cPixelFormat m_fmt;
    uint m_uWidth;
    uint m_uHeight;
    uint m_uGLWidth = 0;
    uint m_uGLHeight = 0;
    bool m_bHasAlpha;
    qor_hTexture m_handle;
    uint16_t * m_p16;
    uint32_t * m_p32;
    uint m_uPitch;
    uint m_uLockedLevel;
    uint8_t * m_pPixels;
    uint m_uBytes; // bytes per pixel in client memory
    bool m_bMipmap;
    bool m_bRenderTarget;
    bool m_bLocked;
    std::vector<int16_t> m_aClearRow;
    bool m_bClearRowKnown = false;
};

class qor_cCubeTexNodeGL : public qor_cTexNodeGL
{
public:
    explicit qor_cCubeTexNodeGL(qor_cGLDevice * pDev);
    ~qor_cCubeTexNodeGL() override;

    // Creates the cube texture (1 level); false with the creation message when GL refuses it.
    bool create(uint sidewidth, const qor_cPixelFormat * pFmt);
    // Locks one face (same pointers as the 2D lock).
    using qor_cTexNodeGL::lock;
    bool lock(qor_eCubeMapFace iFace);
    // Uploads the locked face.
    bool unlock() override;
    qor_eCubeMapFace getLockedFace() const { return m_iLockedFace; }
    const void * getFacePixels(int iFace) const { return m_apFace[iFace]; }

private:
    uint8_t * m_apFace[6];
    qor_eCubeMapFace m_iLockedFace;
};
