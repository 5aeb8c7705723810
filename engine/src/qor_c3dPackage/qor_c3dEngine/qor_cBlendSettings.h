// A pass's pair of blend factors (source, destination), in the display's blend numbering.
#pragma once

#include "qor_types.h"

class qor_cBlendSettings
{
public:
    qor_cBlendSettings(uint src = 1, uint dst = 0) : m_src(src), m_dst(dst) {}
    // Sends the pair to the display; false (and a message) when the display refuses it.
    bool use() const;

    uint getSrc() const { return m_src; }
    uint getDst() const { return m_dst; }
    void set(uint src, uint dst)
    {
        m_src = src;
        m_dst = dst;
    }

    uint m_src;
    uint m_dst;
};
