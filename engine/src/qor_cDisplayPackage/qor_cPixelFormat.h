// qor_cPixelFormat: how a channel value 0..255 is packed into a texture pixel.
#pragma once

#include "qor_types.h"

// Direct3D 8 pixel format codes (D3DFMT_...), kept as the engine's format identifiers.
enum qor_eD3DFormat
{
    qorrs_fmt_unknown = 0,
    qorrs_fmt_R8G8B8 = 20,
    qorrs_fmt_A8R8G8B8 = 21,
    qorrs_fmt_X8R8G8B8 = 22,
    qorrs_fmt_R5G6B5 = 23,
    qorrs_fmt_X1R5G5B5 = 24,
    qorrs_fmt_A1R5G5B5 = 25,
    qorrs_fmt_A4R4G4B4 = 26,
    qorrs_fmt_X4R4G4B4 = 30,
};

class qor_cPixelFormat
{
public:
    // One channel: a value v (0..255) is stored as (v >> loss) << shift.
    struct Channel
    {
        uchar shift;
        uchar loss;
    };

    // Every channel at shift 0, loss 8; format 0.
    qor_cPixelFormat();
    virtual ~qor_cPixelFormat();

    // Fills the channels from a Direct3D format (its bit layout: shift and loss per channel).
    // Any other format logs "format de pixel D3D non supporte par le moteur\n",
    // "\tformat <%d>\n", stores only the code and returns false.
    bool setFromD3DFormat(uint uFormat);

    uint getD3DFormat() const { return m_uFormat; }
    // 32 minus the four losses.
    uint getBitsPerPixel() const { return 32u - m_red.loss - m_green.loss - m_blue.loss - m_alpha.loss; }
    // The OR of each channel's (v >> loss) << shift.
    uint pack(uchar r, uchar g, uchar b, uchar a) const
    {
        return (uint(r >> m_red.loss) << m_red.shift) | (uint(g >> m_green.loss) << m_green.shift) |
               (uint(b >> m_blue.loss) << m_blue.shift) | (uint(a >> m_alpha.loss) << m_alpha.shift);
    }

    Channel m_red;
    Channel m_green;
    Channel m_blue;
    Channel m_alpha;
    uint m_uFormat;
};
