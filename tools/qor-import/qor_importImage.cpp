#include "qor_importImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <png.h>
#ifdef QOR_IMPORT_STB
#include <stb_image.h>
#endif

namespace
{
constexpr unsigned e_maxSide = 16384;

struct sJpegError
{
    jpeg_error_mgr m_mgr;
    std::jmp_buf m_jump;
    char m_szMessage[JMSG_LENGTH_MAX];
};

void jpegFail(j_common_ptr pInfo)
{
    sJpegError * pErr = reinterpret_cast<sJpegError *>(pInfo->err);
    (*pInfo->err->format_message)(pInfo, pErr->m_szMessage);
    std::longjmp(pErr->m_jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

bool decodeJpeg(const unsigned char * pData, size_t nSize, qor_sImportImage * pImage, std::string * pError)
{
    jpeg_decompress_struct info;
    sJpegError err;
    // Declared before setjmp: a longjmp back must not skip its destructor.
    std::vector<unsigned char> row;
    info.err = jpeg_std_error(&err.m_mgr);
    err.m_mgr.error_exit = jpegFail;
    err.m_mgr.emit_message = jpegSilence;
    err.m_szMessage[0] = 0;
    if (setjmp(err.m_jump))
    {
        jpeg_destroy_decompress(&info);
        *pError = std::string("JPEG: ") + err.m_szMessage;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, pData, static_cast<unsigned long>(nSize));
    jpeg_read_header(&info, TRUE);
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > e_maxSide ||
        info.image_height > e_maxSide)
    {
        jpeg_destroy_decompress(&info);
        *pError = "JPEG: size out of range";
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    pImage->m_nWidth = info.output_width;
    pImage->m_nHeight = info.output_height;
    pImage->m_rgba.assign(size_t(pImage->m_nWidth) * pImage->m_nHeight * 4, 255);
    row.resize(size_t(info.output_width) * 3);
    while (info.output_scanline < info.output_height)
    {
        const unsigned y = info.output_scanline;
        JSAMPROW pRow = row.data();
        jpeg_read_scanlines(&info, &pRow, 1);
        unsigned char * pOut = pImage->m_rgba.data() + size_t(y) * pImage->m_nWidth * 4;
        for (unsigned x = 0; x < pImage->m_nWidth; ++x)
            std::memcpy(pOut + 4 * x, row.data() + 3 * x, 3);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool decodePng(const unsigned char * pData, size_t nSize, qor_sImportImage * pImage, std::string * pError)
{
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, pData, nSize))
    {
        *pError = std::string("PNG: ") + image.message;
        return false;
    }
    if (image.width == 0 || image.height == 0 || image.width > e_maxSide || image.height > e_maxSide)
    {
        png_image_free(&image);
        *pError = "PNG: size out of range";
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    pImage->m_nWidth = image.width;
    pImage->m_nHeight = image.height;
    pImage->m_rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, pImage->m_rgba.data(), 0, nullptr))
    {
        *pError = std::string("PNG: ") + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

#ifdef QOR_IMPORT_STB
// The other formats Assimp's models name (TGA, BMP, GIF, PSD, PNM, HDR ...) through Debian's
// stb_image, its size checked before the pixels are decoded.
bool decodeOther(const unsigned char * pData, size_t nSize, qor_sImportImage * pImage, std::string * pError)
{
    if (nSize > size_t(INT32_MAX))
    {
        *pError = "image file too large";
        return false;
    }
    int w = 0, h = 0, n = 0;
    if (!stbi_info_from_memory(pData, int(nSize), &w, &h, &n))
    {
        *pError = std::string("not an image this tool reads (") + stbi_failure_reason() + ")";
        return false;
    }
    if (w <= 0 || h <= 0 || unsigned(w) > e_maxSide || unsigned(h) > e_maxSide)
    {
        *pError = "image size out of range";
        return false;
    }
    unsigned char * p = stbi_load_from_memory(pData, int(nSize), &w, &h, &n, 4);
    if (!p)
    {
        *pError = std::string("image: ") + stbi_failure_reason();
        return false;
    }
    pImage->m_nWidth = unsigned(w);
    pImage->m_nHeight = unsigned(h);
    pImage->m_rgba.assign(p, p + size_t(w) * size_t(h) * 4);
    stbi_image_free(p);
    return true;
}
#endif
} // namespace

bool qor_sImportImage::hasAlpha() const
{
    for (size_t i = 3; i < m_rgba.size(); i += 4)
        if (m_rgba[i] != 255)
            return true;
    return false;
}

bool qoru_importDecodeImage(const unsigned char * pData, size_t nSize, qor_sImportImage * pImage,
                            std::string * pError)
{
    *pImage = qor_sImportImage();
    static const unsigned char s_png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (nSize >= 8 && !std::memcmp(pData, s_png, 8))
        return decodePng(pData, nSize, pImage, pError);
    if (nSize >= 3 && pData[0] == 0xFF && pData[1] == 0xD8 && pData[2] == 0xFF)
        return decodeJpeg(pData, nSize, pImage, pError);
#ifdef QOR_IMPORT_STB
    return decodeOther(pData, nSize, pImage, pError);
#else
    *pError = "not a PNG or JPEG image";
    return false;
#endif
}

bool qoru_importEncodeJpeg(const qor_sImportImage & image, bool bAlpha, std::string * pBytes, std::string * pError)
{
    if (image.m_nWidth == 0 || image.m_nHeight == 0)
    {
        *pError = "empty image";
        return false;
    }
    jpeg_compress_struct info;
    sJpegError err;
    std::vector<unsigned char> row(size_t(image.m_nWidth) * 3);
    unsigned char * pOut = nullptr;
    unsigned long nOut = 0;
    info.err = jpeg_std_error(&err.m_mgr);
    err.m_mgr.error_exit = jpegFail;
    err.m_szMessage[0] = 0;
    if (setjmp(err.m_jump))
    {
        jpeg_destroy_compress(&info);
        std::free(pOut);
        *pError = std::string("JPEG: ") + err.m_szMessage;
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &pOut, &nOut);
    info.image_width = image.m_nWidth;
    info.image_height = image.m_nHeight;
    info.input_components = bAlpha ? 1 : 3;
    info.in_color_space = bAlpha ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
    {
        const unsigned char * pIn = image.m_rgba.data() + size_t(info.next_scanline) * image.m_nWidth * 4;
        for (unsigned x = 0; x < image.m_nWidth; ++x)
        {
            if (bAlpha)
                row[x] = pIn[4 * x + 3];
            else
                std::memcpy(row.data() + 3 * x, pIn + 4 * x, 3);
        }
        JSAMPROW pRow = row.data();
        jpeg_write_scanlines(&info, &pRow, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    pBytes->assign(reinterpret_cast<const char *>(pOut), nOut);
    std::free(pOut);
    return true;
}
