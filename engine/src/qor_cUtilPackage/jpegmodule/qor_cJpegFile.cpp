// The JPEG codec module: decodes baseline and progressive JPEG from a FILE * positioned at the
// image, over libjpeg-turbo. Built as a shared module exporting "getObject".
#include "qor_cJpegPlugin.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include <jpeglib.h>
#include <jerror.h>

namespace
{
// Images of the show are small; anything beyond this is refused before allocating.
const uint kMaxSide = 16384;
const uint64_t kMaxPixels = 64ull * 1024 * 1024;

struct ErrorManager
{
    jpeg_error_mgr pub;
    jmp_buf jump;
    char acMessage[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr pInfo)
{
    ErrorManager * pErr = reinterpret_cast<ErrorManager *>(pInfo->err);
    (*pInfo->err->format_message)(pInfo, pErr->acMessage);
    longjmp(pErr->jump, 1);
}

// Warnings (corrupt data that libjpeg recovers from) are not printed, but data that ends before
// the image does is a broken file: the end of the file (JWRN_JPEG_EOF) or a marker such as an
// early EOI inside the scan (JWRN_HIT_MARKER, "premature end of data segment"). libjpeg would
// pad the rest and decode a made-up picture, for seconds when the header claims a large one.
void onMessage(j_common_ptr pInfo, int iLevel)
{
    if (iLevel == -1 && (pInfo->err->msg_code == JWRN_JPEG_EOF || pInfo->err->msg_code == JWRN_HIT_MARKER))
        onError(pInfo);
}

// The bytes from the stream's position to the end of its file, or -1 when the stream has no
// file size behind it (a memory stream).
long long bytesLeft(FILE * pFile)
{
    struct stat st;
    const int fd = fileno(pFile);
    const long nPos = std::ftell(pFile);
    if (fd < 0 || nPos < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size > nPos ? static_cast<long long>(st.st_size - nPos) : 0;
}

// Whether nBytes of compressed data can hold a width x height picture. With Huffman coding
// every 8 x 8 block of the full-resolution component takes at least one bit (a DC code; the
// shortest code of a table is one bit), in baseline and progressive files alike. Arithmetic
// coding has no such floor; we allow it 64 blocks per bit, far beyond any real picture.
bool fitsInBytes(uint nWidth, uint nHeight, bool bArithmetic, long long nBytes)
{
    if (nBytes < 0)
        return true;
    const uint64_t nBlocks = (static_cast<uint64_t>(nWidth) + 7) / 8 * ((static_cast<uint64_t>(nHeight) + 7) / 8);
    const uint64_t nBlocksPerBit = bArithmetic ? 64 : 1;
    return nBlocks <= static_cast<uint64_t>(nBytes) * 8 * nBlocksPerBit;
}

// libjpeg reports through longjmp, so this function keeps only plain data in its frame.
bool decode(FILE * pFile, uchar ** ppPixels, uint * pWidth, uint * pHeight, char * szError, size_t nError)
{
    jpeg_decompress_struct info;
    ErrorManager err;
    uchar * volatile pPixels = nullptr;
    std::memset(&info, 0, sizeof(info));
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.acMessage[0] = 0;
    if (setjmp(err.jump))
    {
        std::free(pPixels);
        jpeg_destroy_decompress(&info);
        std::snprintf(szError, nError, "%s", err.acMessage);
        return false;
    }
    const long long nBytes = bytesLeft(pFile);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, pFile);
    jpeg_read_header(&info, TRUE);
    if (!fitsInBytes(info.image_width, info.image_height, info.arith_code != 0, nBytes))
    {
        jpeg_destroy_decompress(&info);
        std::snprintf(szError, nError, "image declares %u x %u pixels, more than its %lld bytes can hold",
                      info.image_width, info.image_height, nBytes);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(&info);
    if (info.output_width == 0 || info.output_height == 0 || info.output_width > kMaxSide ||
        info.output_height > kMaxSide ||
        static_cast<uint64_t>(info.output_width) * info.output_height > kMaxPixels)
    {
        jpeg_destroy_decompress(&info);
        std::snprintf(szError, nError, "image too large (%u x %u)", info.output_width, info.output_height);
        return false;
    }
    jpeg_start_decompress(&info);
    if (info.output_components != 3)
    {
        jpeg_destroy_decompress(&info);
        std::snprintf(szError, nError, "unsupported colour space");
        return false;
    }
    const size_t nRow = static_cast<size_t>(info.output_width) * 3;
    pPixels = static_cast<uchar *>(std::malloc(nRow * info.output_height));
    if (!pPixels)
    {
        jpeg_destroy_decompress(&info);
        std::snprintf(szError, nError, "out of memory");
        return false;
    }
    while (info.output_scanline < info.output_height)
    {
        JSAMPROW pRow = pPixels + nRow * info.output_scanline;
        jpeg_read_scanlines(&info, &pRow, 1);
    }
    jpeg_finish_decompress(&info);
    *pWidth = info.output_width;
    *pHeight = info.output_height;
    jpeg_destroy_decompress(&info);
    *ppPixels = pPixels;
    return true;
}

class qor_cJpegFile : public qor_cJpegImage
{
public:
    ~qor_cJpegFile() override { release(); }

    bool read(FILE * pFile) override
    {
        release();
        if (!pFile)
        {
            std::snprintf(m_acError, sizeof(m_acError), "no file");
            return false;
        }
        return decode(pFile, &m_pPixels, &m_nWidth, &m_nHeight, m_acError, sizeof(m_acError));
    }
    bool write(FILE *) override { return false; }
    bool create(uint nWidth, uint nHeight) override
    {
        release();
        if (nWidth == 0 || nHeight == 0 || nWidth > kMaxSide || nHeight > kMaxSide)
            return false;
        m_pPixels = static_cast<uchar *>(std::calloc(static_cast<size_t>(nWidth) * nHeight, 3));
        if (!m_pPixels)
            return false;
        m_nWidth = nWidth;
        m_nHeight = nHeight;
        return true;
    }
    void release() override
    {
        std::free(m_pPixels);
        m_pPixels = nullptr;
        m_nWidth = m_nHeight = 0;
    }
    uint getWidth() const override { return m_nWidth; }
    uint getHeight() const override { return m_nHeight; }
    uint getPitch() const override { return m_nWidth * 3; }
    uint getBitsPerPixel() const override { return 24; }
    uchar * getData() override { return m_pPixels; }
    cchar * getLastError() const override { return m_acError; }
    const uchar * getPixel(uint nIndex) const override
    {
        if (!m_pPixels || static_cast<uint64_t>(nIndex) >= static_cast<uint64_t>(m_nWidth) * m_nHeight)
            return nullptr;
        return m_pPixels + static_cast<size_t>(nIndex) * 3;
    }
    void setPixel(uint nIndex, const uchar * pRGB) override
    {
        if (pRGB && m_pPixels && static_cast<uint64_t>(nIndex) < static_cast<uint64_t>(m_nWidth) * m_nHeight)
            std::memcpy(m_pPixels + static_cast<size_t>(nIndex) * 3, pRGB, 3);
    }

private:
    uchar * m_pPixels = nullptr;
    uint m_nWidth = 0;
    uint m_nHeight = 0;
    char m_acError[JMSG_LENGTH_MAX] = {};
};
} // namespace

extern "C" __attribute__((visibility("default"))) qor_cJpegImage * getObject()
{
    return new (std::nothrow) qor_cJpegFile;
}
