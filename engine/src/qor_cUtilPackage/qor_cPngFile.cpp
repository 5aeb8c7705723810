#include "qor_cPngFile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

bool qoru_writePNG(cchar * szPath, const uint8_t * pBGRA, int w, int h, int iStride)
{
    if (!szPath || !pBGRA || w <= 0 || h <= 0 || iStride < w * 4)
        return false;
    struct stat st;
    if (lstat(szPath, &st) == 0 && !S_ISREG(st.st_mode))
        return false;
    FILE * pFile = std::fopen(szPath, "wb");
    if (!pFile)
        return false;
    png_structp pPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop pInfo = pPng ? png_create_info_struct(pPng) : nullptr;
    std::vector<uint8_t> row(size_t(w) * 3);
    bool bOk = false;
    if (pPng && pInfo)
    {
        if (setjmp(png_jmpbuf(pPng)) == 0)
        {
            png_init_io(pPng, pFile);
            // Level 1 and the Sub filter: several times faster than the defaults on rendered
            // frames, at a modest cost in size.
            png_set_compression_level(pPng, 1);
            png_set_filter(pPng, 0, PNG_FILTER_SUB);
            png_set_IHDR(pPng, pInfo, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                         PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_write_info(pPng, pInfo);
            for (int y = 0; y < h; ++y)
            {
                const uint8_t * pSrc = pBGRA + size_t(y) * size_t(iStride);
                for (int x = 0; x < w; ++x)
                {
                    row[size_t(x) * 3 + 0] = pSrc[x * 4 + 2];
                    row[size_t(x) * 3 + 1] = pSrc[x * 4 + 1];
                    row[size_t(x) * 3 + 2] = pSrc[x * 4 + 0];
                }
                png_write_row(pPng, row.data());
            }
            png_write_end(pPng, nullptr);
            bOk = true;
        }
    }
    png_destroy_write_struct(pPng ? &pPng : nullptr, pInfo ? &pInfo : nullptr);
    if (std::fclose(pFile) != 0)
        bOk = false;
    return bOk;
}
