// A scene texture: a name and a display texture, optionally animated by frames (consecutive
// handles chosen by a frame track) or by an offset table (a source image scrolled through a
// fixed 256 x 256 distortion, rewritten every update).
#pragma once

#include "qor_cDisp.h"
#include "qor_cEasyAnim.h"
#include "qor_types.h"

#include "qor_sUCColor.h"

class qor_cTexture
{
public:
    enum
    {
        e_nameSize = 64,
        e_ot_width = 256,
        e_ot_height = 256,
    };

    qor_cTexture();
    virtual ~qor_cTexture();
    qor_cTexture(const qor_cTexture &) = delete;
    qor_cTexture & operator=(const qor_cTexture &) = delete;

    // The loaders fail (false, message) only when the image cannot be decoded or the texture
    // cannot be made; a missing image succeeds with handle 0, which binds nothing.
    bool load(cchar * szTexture, cchar * szAlpha = nullptr, bool bCompress = true);
    bool loadAsBump(cchar * szTexture);
    // nFrame frames szAnimName_001.. played at playbackRate frames per time unit; endMode 0
    // loops, 1 holds the last frame.
    bool loadAnim(cchar * szAnimName, cuint nFrame, float playbackRate = 1.0f, uint endMode = 0);
    bool loadOffsetTable(cchar * szTexture, cchar * szMapX, cchar * szMapY);
    // A 4 x 4 texture of one colour (channels 0..1).
    bool createSolidColor(float r, float g, float b, float a);
    // The normalisation cube map of sidewidth texels per side (bump materials); the name is left
    // to the caller.
    bool createCubeBump(uint sidewidth);

    // A frame key. The first key given after loadAnim replaces the two keys loadAnim made (one
    // frame per time unit), so a script that keys the frames plays them at its own pace.
    bool addKey_frame(float keytime, float frame);
    bool lastKey_frame();

    // Advances the frame track and the offset-table time.
    void update(const float * dt);
    // Binds the current frame to the stage; an offset-table texture is first rewritten for
    // its time if an update moved it since.
    bool use(uint stage);

    void setName(cchar * szName);
    // Takes a display texture made elsewhere (a render target); released with the texture.
    void setHandle(qor_hTexture h) { m_tex = h; }
    cchar * getName() const { return m_szName; }
    qor_hTexture getHandle() const { return m_tex; }
    // The handle use() binds now.
    qor_hTexture getCurrentHandle();
    qor_cEasyAnim & frameTrack() { return m_frame; }
    float getOffsetTime() const { return m_fOffsetTime; }

private:
    char m_szName[e_nameSize];
    qor_hTexture m_tex;
    qor_cEasyAnim m_frame;
    uchar * m_pTableX;
    uchar * m_pTableY;
    qor_sUCColor * m_pOffMap;
    float m_fOffsetTime;
    bool m_bOffsetPending; // the time moved since the offset-table frame was written
    void writeOffsetFrame();
    // Frames made by loadAnim (all released with the texture), 1 otherwise.
    uint m_nFrame;
    // Set while the frame track holds only the keys loadAnim made.
    bool m_bLoaderFrameKeys;
};
