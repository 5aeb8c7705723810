// The keyboard: a 256-entry key state in DirectInput scan-code numbering (DIK_), refreshed once
// per frame by update(); a key is down when bit 7 of its byte is set. Keys are levels.
#pragma once

#include "qor_types.h"

class qor_cKeyb
{
public:
    qor_cKeyb();
    virtual ~qor_cKeyb();
    virtual bool init() = 0;
    virtual void release() {}
    virtual void update() = 0;
    virtual bool isKeyDown(uint nCode) = 0;

    // The last constructed keyboard, null after its destruction.
    static qor_cKeyb * getCurrent();
};

// Scan codes the show reads.
enum qor_eKeyCode
{
    qorrs_key_escape = 1,
    qorrs_key_r = 19,
    qorrs_key_p = 25,
    qorrs_key_leftbracket = 26,
    qorrs_key_rightbracket = 27,
    qorrs_key_period = 52,
    qorrs_key_space = 57,
    qorrs_key_home = 199,
    qorrs_key_up = 200,
    qorrs_key_pageup = 201,
    qorrs_key_left = 203,
    qorrs_key_right = 205,
    qorrs_key_down = 208,
    qorrs_key_pagedown = 209,
};

class qor_cKeybSDL : public qor_cKeyb
{
public:
    qor_cKeybSDL();
    ~qor_cKeybSDL() override;
    bool init() override;
    void release() override;
    // Reads SDL's keyboard state; while no window of the program has the keyboard focus the
    // state keeps its last content, as it did when the input device was lost.
    void update() override;
    bool isKeyDown(uint nCode) override { return nCode < 256 && (m_aucState[nCode] & 0x80) != 0; }

    // One refresh from an SDL scancode state array (what update() does with SDL's own).
    void updateFrom(const uint8_t * pSDLState, int nKeys, bool bHasFocus);
    const uchar * getState() const { return m_aucState; }

    // DirectInput scan code for an SDL scancode; 0 when the key has none.
    static uchar scancodeToDik(int iSDLScancode);

private:
    bool m_bInitialised;
    uchar m_aucState[256];
};
