// qor-gen-font: renders the text overlay's bitmap font from a TrueType font with FreeType.
//
//   qor-gen-font OUT [--font FILE.ttf] [--size PX] [--name NAME]
//
// Writes OUT/maps/NAME.jpg, a 256 x 256 grey image of 16 x 16 cells of 16 pixels (character c
// in column c mod 16, row c / 16; white ink on black, the image is its own alpha), and
// OUT/maps/NAME.dat, 256 signed bytes: twice the advance of each character in pixels (the
// overlay advances the pen by half the value and centres the advance in the 16-pixel cell).
// NAME defaults to qor/font, the font of the player's loading frame.
#include "qor_genCommon.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace qorg;

namespace
{
const int kCell = 16;
const int kAtlas = 256;
const size_t kMaxFontFile = 64u << 20;
const char * kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// Characters with glyphs: printable ASCII and the printable Latin-1 half (codes equal to their
// Unicode code points). Control codes get no glyph and no advance; the line feed moves the pen
// by itself.
bool hasGlyph(int c) { return (c >= 32 && c < 127) || c >= 160; }

int usage(const char * szError)
{
    if (szError)
        std::fprintf(stderr, "qor-gen-font: %s\n", szError);
    std::fprintf(stderr, "usage: qor-gen-font OUT [--font FILE.ttf] [--size PX] [--name NAME]\n"
                         "  writes OUT/maps/NAME.jpg (glyph atlas) and OUT/maps/NAME.dat (widths)\n"
                         "  --font FILE  TrueType font (default %s)\n"
                         "  --size PX    pixel size of the em, 6..16 (default 13)\n"
                         "  --name NAME  font name, folders with \"/\" (default qor/font)\n",
                 kDefaultFont);
    return e_exitUsage;
}

int fail(const std::string & msg)
{
    std::fprintf(stderr, "qor-gen-font: %s\n", msg.c_str());
    return e_exitFailure;
}
} // namespace

int main(int argc, char ** argv)
{
    std::string out, fontPath = kDefaultFont, name = "qor/font";
    long size = 13;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
        {
            usage(nullptr);
            return e_exitOk;
        }
        if (a == "--font" && i + 1 < argc)
            fontPath = argv[++i];
        else if (a == "--size" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 6, 16, size))
                return usage("--size takes a number from 6 to 16");
        }
        else if (a == "--name" && i + 1 < argc)
        {
            name = argv[++i];
            if (name.empty() || name.size() > 48 || name.find("..") != std::string::npos || name[0] == '/' ||
                name.back() == '/' || name.find('\\') != std::string::npos)
                return usage("--name takes a relative name of at most 48 characters, folders with \"/\"");
        }
        else if (!a.empty() && a[0] == '-')
            return usage(("unknown option or missing value: " + a).c_str());
        else if (out.empty())
            out = a;
        else
            return usage("one output folder only");
    }
    if (out.empty())
        return usage("no output folder");

    std::string err;
    if (!makeFolders(out, err))
        return fail(err);
    std::vector<unsigned char> fontFile;
    if (!readFileBounded(fontPath, kMaxFontFile, fontFile, err))
        return fail(err);
    FT_Library lib;
    if (FT_Init_FreeType(&lib))
        return fail("cannot start FreeType");
    FT_Face face;
    if (FT_New_Memory_Face(lib, fontFile.data(), (FT_Long)fontFile.size(), 0, &face) || !FT_IS_SCALABLE(face))
    {
        FT_Done_FreeType(lib);
        return fail(fontPath + ": not a scalable font");
    }
    FT_Set_Pixel_Sizes(face, 0, (FT_UInt)size);
    // The baseline centres the font's ascent and descent in the 16-pixel cell.
    const double ascent = (double)face->ascender * size / face->units_per_EM;
    const double descent = -(double)face->descender * size / face->units_per_EM;
    const int baseline = (int)std::floor((kCell - ascent - descent) / 2.0 + ascent + 0.5);

    std::vector<unsigned char> atlas((size_t)kAtlas * kAtlas, 0);
    std::vector<unsigned char> widths(256, 0);
    for (int c = 0; c < 256; ++c)
    {
        if (!hasGlyph(c))
            continue;
        const FT_UInt glyph = FT_Get_Char_Index(face, (FT_ULong)c);
        if (glyph == 0)
            continue;
        // First the advance, in whole pixels: the pen then stays on whole pixels.
        FT_Set_Transform(face, nullptr, nullptr);
        if (FT_Load_Glyph(face, glyph, FT_LOAD_TARGET_LIGHT))
            continue;
        const int advance = std::clamp((int)((face->glyph->advance.x + 32) >> 6), 1, kCell);
        widths[c] = (unsigned char)(2 * advance);
        // The overlay centres the advance in the cell: the pen sits (16 - advance) / 2 in,
        // half a pixel in for odd advances, so the outline moves by that half pixel too.
        const int originTwice = kCell - advance;
        FT_Vector delta = {(originTwice & 1) ? 32 : 0, 0};
        FT_Set_Transform(face, nullptr, &delta);
        if (FT_Load_Glyph(face, glyph, FT_LOAD_TARGET_LIGHT | FT_LOAD_RENDER))
            continue;
        const FT_Bitmap & bm = face->glyph->bitmap;
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY)
            continue;
        const int x0 = (c % 16) * kCell + originTwice / 2 + face->glyph->bitmap_left;
        const int y0 = (c / 16) * kCell + baseline - face->glyph->bitmap_top;
        for (unsigned y = 0; y < bm.rows; ++y)
            for (unsigned x = 0; x < bm.width; ++x)
            {
                // Ink outside the glyph's own cell is cut (it would show in the neighbour's).
                const int ax = x0 + (int)x, ay = y0 + (int)y;
                if (ax < (c % 16) * kCell || ax >= (c % 16 + 1) * kCell || ay < (c / 16) * kCell ||
                    ay >= (c / 16 + 1) * kCell)
                    continue;
                const double cover = bm.buffer[(size_t)y * (size_t)std::abs(bm.pitch) + x] / 255.0;
                // The overlay multiplies the ink by itself (colour and alpha are the same
                // channel): a gamma of 0.75 keeps thin strokes from washing out.
                atlas[(size_t)ay * kAtlas + ax] = toByte(std::pow(cover, 0.75));
            }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);

    std::vector<unsigned char> jpeg;
    if (!encodeJpeg(kAtlas, kAtlas, 1, atlas.data(), 100, jpeg))
        return fail("JPEG encoding failed");
    const std::string base = out + "/maps/" + name;
    const size_t slash = base.rfind('/');
    if (!makeFolders(base.substr(0, slash), err) || !writeFileSafe(base + ".jpg", jpeg.data(), jpeg.size(), err) ||
        !writeFileSafe(base + ".dat", widths.data(), widths.size(), err))
        return fail(err);
    return e_exitOk;
}
