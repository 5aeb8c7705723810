// Image loading: JPEG images turned into textures, normal maps, cube maps and pixel arrays.
#include "qor_cUtilDisplay.h"

#include "qor_cErrorHandler.h"
#include "qor_cImageOps.h"
#include "qor_cJpegPlugin.h"
#include "qor_cXChange.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>

namespace
{
cchar * const s_szSigRect = "qor_sUCColor * qoru_loadRGBARect(cchar * szFilename<%s>, uint &width, uint &height)\n";
cchar * const s_szSigTexture = "qor_hTexture qoru_loadTexture(cchar * szFilename <%s>)\n";
cchar * const s_szSigBump = "qor_hTexture qoru_loadTextureAsBump(cchar * szFilename <%s>)\n";

enum class eDecode
{
    ok,
    missing,
    failed,
};

// The images decoded while the cache is open, by file name.
bool s_bCacheOpen = false;
std::unordered_map<std::string, std::shared_ptr<qor_cJpegImage>> s_cache;

// Decodes one image through the locked file. The stream is unlocked before returning, so the
// pack is free again whatever happened. With the cache open, an image decoded before is
// taken from it (missing and undecodable files are tried, and reported, each time).
eDecode decodeImage(cchar * szFile, std::shared_ptr<qor_cJpegImage> & pImage)
{
    if (s_bCacheOpen)
    {
        const auto it = s_cache.find(szFile);
        if (it != s_cache.end())
        {
            pImage = it->second;
            return eDecode::ok;
        }
    }
    FILE * pFile = QOR_XCHANGE() ? QOR_XCHANGE()->lockFile(szFile, "rb") : nullptr;
    if (!pFile)
        return eDecode::missing;
    pImage.reset(qoru_newJpegImage());
    bool bRet = pImage && pImage->read(pFile);
    QOR_XCHANGE()->unlockFile();
    // An empty image has no pixel to read; treat it as undecodable.
    if (!bRet || pImage->getWidth() == 0 || pImage->getHeight() == 0)
    {
        pImage.reset();
        return eDecode::failed;
    }
    if (s_bCacheOpen)
        s_cache[szFile] = pImage;
    return eDecode::ok;
}

// The missing-file report: signature, statement, then a second location and "file not found".
void logNotFound(cchar * szSig, cchar * szArg, cchar * szStatement)
{
    QOR_LOG_LOCATION();
    qoru_logError(szSig, szArg ? szArg : "");
    qoru_logError("%s", szStatement);
    QOR_LOG_LOCATION();
    qoru_logError("file not found\n");
}

void logFailure(cchar * szSig, cchar * szArg, cchar * szStatement)
{
    QOR_LOG_LOCATION();
    qoru_logError(szSig, szArg ? szArg : "");
    qoru_logError("%s", szStatement);
}

// The decoded pixels as one block of red, green, blue triples in pixel-index order, or null when
// the decoder keeps them otherwise (they are then read a pixel at a time).
const uchar * packedPixels(qor_cJpegImage & image)
{
    const uint w = image.getWidth();
    return image.getBitsPerPixel() == 24 && image.getPitch() == w * 3 ? image.getData() : nullptr;
}

cchar * const s_szStmtLock = "FILE * pFile = QOR_XCHANGE()->lockFile(filename.get());\n";
cchar * const s_szStmtRead = "bool bRet = jpg.read(filename.get());\n";
} // namespace

void qoru_openImageCache() { s_bCacheOpen = true; }

void qoru_closeImageCache()
{
    s_bCacheOpen = false;
    s_cache.clear();
}

qor_cString qoru_imageFileName(cchar * szStem)
{
    qor_cString str;
    str.printf("maps\\%s.jpg", szStem ? szStem : "");
    return str;
}

// ---------------------------------------------------------------------------------------------
// Loaders
// ---------------------------------------------------------------------------------------------

qor_sUCColor * qoru_loadRGBARect(cchar * szFilename, uint & width, uint & height)
{
    // Image names come from data: none may leave the show's folders.
    if (!qoru_acceptDataName(szFilename, "image"))
        return nullptr;
    qor_cString filename = qoru_imageFileName(szFilename);
    std::shared_ptr<qor_cJpegImage> pJpg;
    switch (decodeImage(filename.get(), pJpg))
    {
    case eDecode::missing:
        logNotFound(s_szSigRect, szFilename, s_szStmtLock);
        return nullptr;
    case eDecode::failed:
        logFailure(s_szSigRect, szFilename, s_szStmtRead);
        return nullptr;
    case eDecode::ok:
        break;
    }
    width = pJpg->getWidth();
    height = pJpg->getHeight();
    qor_sUCColor * pBuffer = new (std::nothrow) qor_sUCColor[(size_t)width * height];
    if (!pBuffer)
    {
        QOR_LOG_LOCATION();
        qoru_logError(s_szSigRect, szFilename);
        qoru_logError("qor_sUCColor * pBuffer = new [width<%d> * height<%d>];\n", width, height);
        return nullptr;
    }
    uint n = width * height;
    for (uint i = 0; i < n; ++i)
    {
        const uchar * p = pJpg->getPixel(i);
        pBuffer[i].b = p ? p[2] : 0;
        pBuffer[i].g = p ? p[1] : 0;
        pBuffer[i].r = p ? p[0] : 0;
        pBuffer[i].a = 255;
    }
    return pBuffer;
}

qor_hTexture qoru_loadTexture(cchar * szFilename, cchar * szAlpha, bool /*bCompress*/)
{
    if (!qoru_acceptDataName(szFilename, "texture") || (szAlpha && !qoru_acceptDataName(szAlpha, "texture alpha")))
        return QOR_NULL_TEXTURE;
    qor_cString filename = qoru_imageFileName(szFilename);
    std::shared_ptr<qor_cJpegImage> pJpg, pAlpha;
    switch (decodeImage(filename.get(), pJpg))
    {
    case eDecode::missing:
        logNotFound(s_szSigTexture, szFilename, s_szStmtLock);
        return 0;
    case eDecode::failed:
        logFailure(s_szSigTexture, szFilename, s_szStmtRead);
        return QOR_NULL_TEXTURE;
    case eDecode::ok:
        break;
    }
    uint width = pJpg->getWidth();
    uint height = pJpg->getHeight();

    if (szAlpha)
    {
        qor_cString alphafilename = qoru_imageFileName(szAlpha);
        switch (decodeImage(alphafilename.get(), pAlpha))
        {
        case eDecode::missing:
            logNotFound(s_szSigTexture, szFilename, "pFile = QOR_XCHANGE()->lockFile(alphafilename.get());\n");
            return 0;
        case eDecode::failed:
            logFailure(s_szSigTexture, szFilename, "bRet = alphajpg.read(QOR_XCHANGE()->lockFile(alphafilename.get()));\n");
            return QOR_NULL_TEXTURE;
        case eDecode::ok:
            break;
        }
        // The alpha image is read by the colour image's pixel index: a smaller one would be
        // read past its end, so it is refused like an undecodable image.
        if (pAlpha->getWidth() < width || pAlpha->getHeight() < height)
        {
            logFailure(s_szSigTexture, szFilename, "bRet = alphajpg.read(QOR_XCHANGE()->lockFile(alphafilename.get()));\n");
            qoru_logError("image alpha <%s> de taille %d x %d, il faut %d x %d\n", szAlpha, pAlpha->getWidth(),
                          pAlpha->getHeight(), width, height);
            return QOR_NULL_TEXTURE;
        }
    }

    qor_hTexture handle = QOR_DISP() ? QOR_DISP()->createTexture(width, height, 0) : QOR_NULL_TEXTURE;
    if (handle == QOR_NULL_TEXTURE)
    {
        logFailure(s_szSigTexture, szFilename, "qor_hTexture handle = QOR_ENGINE()->createTexture(jpg.getWidth(), jpg.getHeight());\n");
        qoru_logError("\tw:%d\t\th:%d\n", width, height);
        return QOR_NULL_TEXTURE;
    }
    QOR_DISP()->lockTexture(handle, nullptr);
    // Row y starts at pixel index y * width in both images (the alpha image is read by the
    // colour image's index, whatever its own width): the red byte of each alpha pixel.
    const uchar * pRGB = packedPixels(*pJpg);
    const uchar * pA = pAlpha ? packedPixels(*pAlpha) : nullptr;
    if (pRGB && (!pAlpha || pA))
        for (uint y = 0; y < height; ++y)
            QOR_DISP()->setPixelRow(y, width, pRGB + size_t(y) * width * 3, pA ? pA + size_t(y) * width * 3 : nullptr,
                                    3);
    else
        for (uint y = 0; y < height; ++y)
            for (uint x = 0; x < width; ++x)
            {
                uint i = y * width + x;
                const uchar * p = pJpg->getPixel(i);
                const uchar * pAi = pAlpha ? pAlpha->getPixel(i) : nullptr;
                uchar a = pAlpha ? (pAi ? pAi[0] : 255) : 255;
                if (p)
                    QOR_DISP()->setPixel(x, y, p[0], p[1], p[2], a);
            }
    QOR_DISP()->unlockTexture(handle);
    return handle;
}

qor_hTexture qoru_loadTextureAsBump(cchar * szFilename)
{
    if (!qoru_acceptDataName(szFilename, "bump texture"))
        return QOR_NULL_TEXTURE;
    qor_cString filename = qoru_imageFileName(szFilename);
    std::shared_ptr<qor_cJpegImage> pJpg;
    switch (decodeImage(filename.get(), pJpg))
    {
    case eDecode::missing:
        logNotFound(s_szSigBump, szFilename, s_szStmtLock);
        return 0;
    case eDecode::failed:
        logFailure(s_szSigBump, szFilename, s_szStmtRead);
        return QOR_NULL_TEXTURE;
    case eDecode::ok:
        break;
    }
    uint width = pJpg->getWidth();
    uint height = pJpg->getHeight();
    size_t n = (size_t)width * height;
    std::unique_ptr<uint[]> pHeight(new (std::nothrow) uint[n]);
    std::unique_ptr<uchar[]> pRGB(new (std::nothrow) uchar[n * 3]);
    if (!pHeight || !pRGB)
    {
        logFailure(s_szSigBump, szFilename, "uint * pBuffer = new uint[width * height];\n");
        return QOR_NULL_TEXTURE;
    }
    for (size_t i = 0; i < n; ++i)
    {
        const uchar * p = pJpg->getPixel((uint)i);
        pHeight[i] = p ? ((uint)p[0] << 16) | ((uint)p[1] << 8) | p[2] : 0;
    }
    pJpg.reset();

    qor_hTexture handle = QOR_DISP() ? QOR_DISP()->createTexture(width, height, 0) : QOR_NULL_TEXTURE;
    if (handle == QOR_NULL_TEXTURE)
    {
        logFailure(s_szSigBump, szFilename, "qor_hTexture handle = QOR_ENGINE()->createTexture(jpg.getWidth(), jpg.getHeight());\n");
        qoru_logError("\tw:%d\t\th:%d\n", width, height);
        return QOR_NULL_TEXTURE;
    }
    qoru_computeBumpMap(pHeight.get(), width, height, pRGB.get());
    QOR_DISP()->lockTexture(handle, nullptr);
    for (uint y = 0; y < height; ++y)
        QOR_DISP()->setPixelRow(y, width, pRGB.get() + 3 * (size_t)y * width, nullptr, 0);
    QOR_DISP()->unlockTexture(handle);
    return handle;
}

qor_hTexture qoru_createCubeBumpTexture(uint sidewidth)
{
    qor_hTexture handle = QOR_DISP() ? QOR_DISP()->createCubeTexture(sidewidth) : QOR_NULL_TEXTURE;
    if (handle == QOR_NULL_TEXTURE)
    {
        QOR_LOG_LOCATION();
        qoru_logError("qor_hTexture qoru_createCubeBumpTexture(uint sidewidth<%d>)\n", sidewidth);
        qoru_logError("qor_hTexture handle = QOR_DISP()->createCubeTexture(sidewidth);\n");
        return handle;
    }
    for (uint f = 0; f < 6; ++f)
    {
        QOR_DISP()->lockCubeTexture(handle, (qor_eCubeMapFace)f);
        for (uint r = 0; r < sidewidth; ++r)
            for (uint c = 0; c < sidewidth; ++c)
            {
                uchar rgb[3];
                qoru_cubeBumpTexel(f, c, r, sidewidth, rgb);
                QOR_DISP()->setCubePixel(c, r, rgb[0], rgb[1], rgb[2], 255);
            }
        QOR_DISP()->unlockCubeTexture();
    }
    return handle;
}

qor_hTexture qoru_loadAnim(cchar * szFilename, uint nFrame, bool bCompress)
{
    if (!szFilename)
        szFilename = "";
    qor_hTexture first = QOR_NULL_TEXTURE;
    for (uint i = 1; i <= nFrame; ++i)
    {
        qor_cString stem;
        stem.printf("%s_%03d", szFilename, i);
        qor_hTexture handle = qoru_loadTexture(stem.get(), nullptr, bCompress);
        // A missing frame (handle 0) would break the consecutive handles the frames are
        // reached by, and frame 1 missing would make every frame name a stranger's texture:
        // both stop the load like a decode failure.
        if (handle == QOR_NULL_TEXTURE || handle == 0)
        {
            QOR_LOG_LOCATION();
            qoru_logError("qor_hTexture qoru_loadAnim(char * szFilename, uint nFrame, bool bCompress /* = true */)\n");
            qoru_logError("anim<%s> nFrame:<%d>  <%s>\n", szFilename, nFrame, stem.get());
            if (first != QOR_NULL_TEXTURE)
                for (uint k = 0; k + 1 < i; ++k)
                    QOR_DISP()->releaseTexture(first + k);
            return QOR_NULL_TEXTURE;
        }
        if (i == 1)
            first = handle;
    }
    return first;
}
