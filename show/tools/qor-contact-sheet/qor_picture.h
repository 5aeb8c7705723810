// Decodes the pictures the contact sheet takes: PNG (any bit depth and colour type, onto
// black where transparent) and baseline or progressive JPEG, to 8-bit RGB, top row first.
// Sizes are checked before any pixel memory is allocated.
#pragma once

#include <string>
#include <vector>

namespace qorg
{
const unsigned kPictureMaxSide = 16384;
const unsigned long long kPictureMaxPixels = 64ull << 20;

struct Picture
{
    unsigned w = 0, h = 0;
    std::vector<unsigned char> rgb; // w * h * 3
};

// PNG by its signature, JPEG by its start marker; anything else, a corrupt or truncated file or
// one larger than the limits fails with a reason in err.
bool decodePicture(const unsigned char * pData, size_t nSize, Picture & pic, std::string & err);
} // namespace qorg
