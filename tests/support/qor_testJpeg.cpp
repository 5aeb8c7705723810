#include "qor_testJpeg.h"

#include "qor_testUtil.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace qort
{
std::vector<unsigned char> encodeJpeg(int width, int height, const std::vector<unsigned char> & rgb, int quality,
                                      bool progressive)
{
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * height * 3)
        return {};
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char * pOut = nullptr;
    unsigned long nOut = 0;
    jpeg_mem_dest(&info, &pOut, &nOut);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // No chroma subsampling: solid colours come back within a few levels.
    for (int i = 0; i < info.num_components; ++i)
        info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
    {
        JSAMPROW row = const_cast<unsigned char *>(&rgb[static_cast<size_t>(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<unsigned char> out(pOut, pOut + nOut);
    std::free(pOut);
    return out;
}

bool writeJpeg(const std::string & path, int width, int height, const std::vector<unsigned char> & rgb, int quality,
               bool progressive)
{
    const std::vector<unsigned char> bytes = encodeJpeg(width, height, rgb, quality, progressive);
    return !bytes.empty() && writeBytes(path, bytes.data(), bytes.size());
}

namespace
{
struct ErrorMgr
{
    jpeg_error_mgr pub;
    jmp_buf jump;
};
void onError(j_common_ptr p) { longjmp(reinterpret_cast<ErrorMgr *>(p->err)->jump, 1); }
} // namespace

std::vector<unsigned char> decodeJpeg(const std::string & path, int * pWidth, int * pHeight)
{
    const std::vector<unsigned char> bytes = readBytes(path);
    if (bytes.empty())
        return {};
    jpeg_decompress_struct info;
    ErrorMgr err;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    std::vector<unsigned char> rgb;
    if (setjmp(err.jump))
    {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const size_t row = static_cast<size_t>(info.output_width) * 3;
    rgb.resize(row * info.output_height);
    while (info.output_scanline < info.output_height)
    {
        JSAMPROW p = &rgb[row * info.output_scanline];
        jpeg_read_scanlines(&info, &p, 1);
    }
    if (pWidth)
        *pWidth = static_cast<int>(info.output_width);
    if (pHeight)
        *pHeight = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rgb;
}

std::vector<unsigned char> solidRgb(int width, int height, unsigned char r, unsigned char g, unsigned char b)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); i += 3)
    {
        rgb[i] = r;
        rgb[i + 1] = g;
        rgb[i + 2] = b;
    }
    return rgb;
}
} // namespace qort
