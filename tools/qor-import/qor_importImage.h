// Images for qor-import: PNG and JPEG decoded from memory into RGBA rows, written back as the
// JPEG images the engine loads (colour, and the alpha channel as a grey image of its own).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct qor_sImportImage
{
    unsigned m_nWidth = 0;
    unsigned m_nHeight = 0;
    std::vector<unsigned char> m_rgba;  // top row first, 4 bytes per pixel

    // Any pixel whose alpha is not 255.
    bool hasAlpha() const;
};

// Decodes a PNG or JPEG image (chosen by its first bytes); false with *pError for anything
// else or a broken image. Images above 16384 x 16384 are refused.
bool qoru_importDecodeImage(const unsigned char * pData, size_t nSize, qor_sImportImage * pImage,
                            std::string * pError);

// Encodes the colour (RGB) or the alpha channel (grey) as a baseline JPEG of quality 90 into
// *pBytes.
bool qoru_importEncodeJpeg(const qor_sImportImage & image, bool bAlpha, std::string * pBytes, std::string * pError);
