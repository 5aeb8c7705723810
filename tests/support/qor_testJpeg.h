// Writes real JPEG files for the tests (libjpeg encoder).
#pragma once

#include <string>
#include <vector>

namespace qort
{
// rgb holds width * height * 3 bytes, rows top first. Returns the encoded bytes (empty on failure).
std::vector<unsigned char> encodeJpeg(int width, int height, const std::vector<unsigned char> & rgb, int quality = 100,
                                      bool progressive = false);
bool writeJpeg(const std::string & path, int width, int height, const std::vector<unsigned char> & rgb,
               int quality = 100, bool progressive = false);
// A width x height image of one colour.
std::vector<unsigned char> solidRgb(int width, int height, unsigned char r, unsigned char g, unsigned char b);
} // namespace qort
