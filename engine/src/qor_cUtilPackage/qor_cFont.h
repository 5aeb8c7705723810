// A bitmap-font text overlay drawn in screen pixels: a 16 x 16 grid of 16-pixel glyph cells
// in one texture (the image is its own alpha) and a table of 256 signed advance values.
#pragma once

#include "qor_types.h"

class qor_cTriList;
class qor_cEffect;

class qor_cFont
{
public:
    enum
    {
        e_maxChar = 1024,   // characters the triangle list holds
        e_textSize = 4096,  // text buffer, terminator included
    };
    static constexpr float e_cell = 16.0f; // glyph cell in pixels

    qor_cFont();
    virtual ~qor_cFont();
    qor_cFont(const qor_cFont &) = delete;
    qor_cFont & operator=(const qor_cFont &) = delete;

    // Image "maps\" + name + ".jpg" (colour and alpha) and widths "maps/" + name + ".dat".
    bool loadFont(cchar * szName);
    // Formats the text to draw; longer texts are cut to the buffer.
    void printf(const char * szFormat, ...) __attribute__((format(printf, 2, 3)));
    // The text with a black shadow 2 pixels right and down.
    void draw(float x, float y);
    void drawText(float x, float y, uchar r, uchar g, uchar b, uchar a);

    void setColor(uchar r, uchar g, uchar b, uchar a);
    cchar * getText() const { return m_szText; }
    float getWidth(uint c) const { return m_afWidth[c & 0xFF]; }

private:
    qor_cTriList * m_pTriList;
    qor_cEffect * m_pEffect;
    uchar m_aColor[4]; // blue, green, red, alpha
    float m_afWidth[256];
    char m_szText[e_textSize];
};
