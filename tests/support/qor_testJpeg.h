// Writes real JPEG files for the tests and decodes them independently of the engine (libjpeg).
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
// The pixels of a JPEG file decoded by libjpeg-turbo with its default settings, as RGB bytes,
// rows top first; empty when the file does not decode. The engine's loaders must give the
// same pixels: they are what a test expects, never what the engine's own decoder says.
std::vector<unsigned char> decodeJpeg(const std::string & path, int * pWidth = nullptr, int * pHeight = nullptr);
// A width x height image of one colour.
std::vector<unsigned char> solidRgb(int width, int height, unsigned char r, unsigned char g, unsigned char b);
} // namespace qort
