#include "qor_picture.h"

#include <csetjmp>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace qorg
{
namespace
{
bool readPng(const unsigned char * pData, size_t nSize, Picture & pic, std::string & err)
{
    png_image img;
    std::memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, pData, nSize))
    {
        err = img.message;
        return false;
    }
    if (img.width == 0 || img.height == 0 || img.width > kPictureMaxSide || img.height > kPictureMaxSide ||
        (unsigned long long)img.width * img.height > kPictureMaxPixels)
    {
        png_image_free(&img);
        err = "picture too large";
        return false;
    }
    img.format = PNG_FORMAT_RGB;
    pic.w = img.width;
    pic.h = img.height;
    pic.rgb.resize((size_t)pic.w * pic.h * 3);
    // Transparent parts go on black.
    png_color black = {0, 0, 0};
    if (!png_image_finish_read(&img, &black, pic.rgb.data(), 0, nullptr))
    {
        err = img.message;
        png_image_free(&img);
        return false;
    }
    return true;
}

struct JpegErr
{
    jpeg_error_mgr mgr;
    jmp_buf jump;
};
void onJpegError(j_common_ptr p) { longjmp(((JpegErr *)p->err)->jump, 1); }

bool readJpeg(const unsigned char * pData, size_t nSize, Picture & pic, std::string & err)
{
    jpeg_decompress_struct info;
    JpegErr je;
    info.err = jpeg_std_error(&je.mgr);
    je.mgr.error_exit = &onJpegError;
    if (setjmp(je.jump))
    {
        char acMessage[JMSG_LENGTH_MAX];
        (*info.err->format_message)((j_common_ptr)&info, acMessage);
        err = acMessage;
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, pData, (unsigned long)nSize);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    // The size is known from the header: check it before the decoder allocates anything for
    // the image (a progressive file keeps all its coefficients in memory).
    jpeg_calc_output_dimensions(&info);
    if (info.output_width == 0 || info.output_height == 0 || info.output_width > kPictureMaxSide ||
        info.output_height > kPictureMaxSide || (unsigned long long)info.output_width * info.output_height > kPictureMaxPixels)
    {
        err = "picture too large";
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    pic.w = info.output_width;
    pic.h = info.output_height;
    pic.rgb.resize((size_t)pic.w * pic.h * 3);
    while (info.output_scanline < info.output_height)
    {
        JSAMPROW row = &pic.rgb[(size_t)info.output_scanline * pic.w * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    // A file that ends early decodes with a warning and grey rows: refuse it.
    const bool bClean = je.mgr.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    if (!bClean)
        err = "corrupt or truncated JPEG data";
    return bClean;
}

} // namespace

bool decodePicture(const unsigned char * pData, size_t nSize, Picture & pic, std::string & err)
{
    if (nSize >= 8 && png_sig_cmp(pData, 0, 8) == 0)
        return readPng(pData, nSize, pic, err);
    if (nSize >= 3 && pData[0] == 0xFF && pData[1] == 0xD8 && pData[2] == 0xFF)
        return readJpeg(pData, nSize, pic, err);
    err = "neither PNG nor JPEG";
    return false;
}
} // namespace qorg
