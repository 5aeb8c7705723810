// qor-contact-sheet: lays pictures (PNG or JPEG) out in one PNG grid, for the README and for
// looking over generated content.
//
//   qor-contact-sheet OUT.png [--columns N] [--width W] [--gap G] IN...
//
// Each picture is scaled (area average) to W pixels wide, keeping its shape; cells are as tall
// as the tallest picture of their row, on a dark background.
#include "qor_genCommon.h"
#include "qor_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

using namespace qorg;

namespace
{
const size_t kMaxInput = 64u << 20;

// Area-average scaling (exact for reductions, nearest-like for enlargements).
Picture scale(const Picture & src, unsigned w)
{
    Picture dst;
    dst.w = w;
    dst.h = std::max(1u, (unsigned)((unsigned long long)src.h * w / src.w));
    dst.rgb.assign((size_t)dst.w * dst.h * 3, 0);
    for (unsigned y = 0; y < dst.h; ++y)
    {
        const unsigned y0 = (unsigned)((unsigned long long)y * src.h / dst.h);
        const unsigned y1 = std::max(y0 + 1, (unsigned)((unsigned long long)(y + 1) * src.h / dst.h));
        for (unsigned x = 0; x < dst.w; ++x)
        {
            const unsigned x0 = (unsigned)((unsigned long long)x * src.w / dst.w);
            const unsigned x1 = std::max(x0 + 1, (unsigned)((unsigned long long)(x + 1) * src.w / dst.w));
            unsigned long long acc[3] = {0, 0, 0};
            for (unsigned sy = y0; sy < y1; ++sy)
                for (unsigned sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c)
                        acc[c] += src.rgb[((size_t)sy * src.w + sx) * 3 + c];
            const unsigned long long n = (unsigned long long)(y1 - y0) * (x1 - x0);
            for (int c = 0; c < 3; ++c)
                dst.rgb[((size_t)y * dst.w + x) * 3 + c] = (unsigned char)((acc[c] + n / 2) / n);
        }
    }
    return dst;
}

int usage(const char * szError)
{
    if (szError)
        std::fprintf(stderr, "qor-contact-sheet: %s\n", szError);
    std::fprintf(stderr, "usage: qor-contact-sheet OUT.png [--columns N] [--width W] [--gap G] IN...\n"
                         "  IN: PNG or JPEG pictures, laid out left to right, top to bottom\n"
                         "  --columns N  pictures per row, 1..64 (default 4)\n"
                         "  --width W    cell width in pixels, 16..2048 (default 320)\n"
                         "  --gap G      space between cells in pixels, 0..64 (default 4)\n");
    return e_exitUsage;
}
} // namespace

int main(int argc, char ** argv)
{
    long nColumns = 4, width = 320, gap = 4;
    std::string out;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
        {
            usage(nullptr);
            return e_exitOk;
        }
        if (a == "--columns" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 1, 64, nColumns))
                return usage("--columns takes a number from 1 to 64");
        }
        else if (a == "--width" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 16, 2048, width))
                return usage("--width takes a number from 16 to 2048");
        }
        else if (a == "--gap" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 0, 64, gap))
                return usage("--gap takes a number from 0 to 64");
        }
        else if (!a.empty() && a[0] == '-')
            return usage(("unknown option or missing value: " + a).c_str());
        else if (out.empty())
            out = a;
        else
            inputs.push_back(a);
    }
    if (out.empty() || inputs.empty())
        return usage("an output and at least one picture are needed");
    if (inputs.size() > 1024)
        return usage("at most 1024 pictures");

    std::vector<Picture> cells;
    for (const std::string & in : inputs)
    {
        std::vector<unsigned char> bytes;
        std::string err;
        Picture pic;
        bool bOk = readFileBounded(in, kMaxInput, bytes, err);
        if (bOk)
        {
            bOk = decodePicture(bytes.data(), bytes.size(), pic, err);
            if (!bOk)
                err = in + ": " + err;
        }
        if (!bOk)
        {
            std::fprintf(stderr, "qor-contact-sheet: %s\n", err.c_str());
            return e_exitFailure;
        }
        cells.push_back(scale(pic, (unsigned)width));
    }

    const size_t nCols = std::min((size_t)nColumns, cells.size());
    const size_t nRows = (cells.size() + nCols - 1) / nCols;
    std::vector<unsigned> rowHeight(nRows, 0);
    for (size_t i = 0; i < cells.size(); ++i)
        rowHeight[i / nCols] = std::max(rowHeight[i / nCols], cells[i].h);
    const unsigned W = (unsigned)(nCols * width + (nCols + 1) * gap);
    unsigned H = (unsigned)gap;
    for (unsigned h : rowHeight)
        H += h + (unsigned)gap;
    if ((unsigned long long)W * H > kPictureMaxPixels)
    {
        std::fprintf(stderr, "qor-contact-sheet: the sheet would be larger than %llu pixels\n", kPictureMaxPixels);
        return e_exitFailure;
    }
    std::vector<unsigned char> sheet((size_t)W * H * 3, 24);
    unsigned top = (unsigned)gap;
    for (size_t r = 0; r < nRows; ++r)
    {
        for (size_t c = 0; c < nCols && r * nCols + c < cells.size(); ++c)
        {
            const Picture & p = cells[r * nCols + c];
            const unsigned left = (unsigned)(gap + c * (width + gap));
            for (unsigned y = 0; y < p.h; ++y)
                std::memcpy(&sheet[((size_t)(top + y) * W + left) * 3], &p.rgb[(size_t)y * p.w * 3], (size_t)p.w * 3);
        }
        top += rowHeight[r] + (unsigned)gap;
    }

    png_image img;
    std::memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    img.width = W;
    img.height = H;
    img.format = PNG_FORMAT_RGB;
    png_alloc_size_t nBytes = 0;
    if (!png_image_write_get_memory_size(img, nBytes, 0, sheet.data(), 0, nullptr))
    {
        std::fprintf(stderr, "qor-contact-sheet: PNG encoding failed: %s\n", img.message);
        return e_exitFailure;
    }
    std::vector<unsigned char> png(nBytes);
    if (!png_image_write_to_memory(&img, png.data(), &nBytes, 0, sheet.data(), 0, nullptr))
    {
        std::fprintf(stderr, "qor-contact-sheet: PNG encoding failed: %s\n", img.message);
        return e_exitFailure;
    }
    std::string err;
    if (!writeFileSafe(out, png.data(), nBytes, err))
    {
        std::fprintf(stderr, "qor-contact-sheet: %s\n", err.c_str());
        return e_exitFailure;
    }
    return e_exitOk;
}
