// The show's music and the clocks that stand in for it.
//
// The sequencer takes all its time from a qor_cMusic: the play position in milliseconds, which
// grows with real time while the music plays. Three kinds share that interface:
// - qor_cMusicStream: an MP3 file image held in memory, decoded by libmpg123 and played through
//   SDL2 audio at the file's own rate; the position counts the sample frames the audio device
//   has taken, so the picture never drifts from the sound;
// - qor_cWallClock: a monotonic wall clock, for a show without music or without a sound device;
// - qor_cStepClock: a fixed step per frame and no sound, for reproducible frames (capture).
//
// Every operation returns at once: the audio thread and the caller share a few words under a
// mutex that neither holds while decoding or waiting.
#pragma once

#include "qor_types.h"

#include <cstdint>
#include <mutex>

class qor_cMusic
{
public:
    virtual ~qor_cMusic() {}
    // Play position in milliseconds.
    virtual float getTime() = 0;
    // Stop keeps the position; play goes on from it.
    virtual void stop() = 0;
    virtual void play() = 0;
    virtual void setPosition(float fMs) = 0;
    virtual bool isPlaying() = 0;
    // Ends the sound; the position stays readable.
    virtual void close() {}
    // Called once at the end of every frame of the loop (the fixed-step clock moves here).
    virtual void nextFrame() {}

    // Time source of the clocks, in seconds from an arbitrary origin; replaceable so tests
    // drive positions exactly. Null restores the monotonic clock.
    typedef double (*TimeSource)();
    static void setTimeSource(TimeSource pfnSource);
    static double now();
};

class qor_cWallClock : public qor_cMusic
{
public:
    qor_cWallClock();
    float getTime() override;
    void stop() override;
    void play() override;
    void setPosition(float fMs) override;
    bool isPlaying() override { return m_bPlaying; }

private:
    double m_dBaseMs;  // position when the clock was last set or stopped
    double m_dAnchor;  // now() at that moment
    bool m_bPlaying;
};

class qor_cStepClock : public qor_cMusic
{
public:
    // Frame k after setPosition(p) reads p + k x 1000 / fFps.
    explicit qor_cStepClock(double dFps);
    float getTime() override;
    void stop() override { m_bPlaying = false; }
    void play() override { m_bPlaying = true; }
    void setPosition(float fMs) override;
    bool isPlaying() override { return m_bPlaying; }
    void nextFrame() override;

private:
    double m_dFps;
    double m_dBaseMs;
    uint64_t m_nFrame;
    bool m_bPlaying;
};

struct mpg123_handle_struct;
typedef uint32_t SDL_AudioDeviceID;

class qor_cMusicStream : public qor_cMusic
{
public:
    qor_cMusicStream();
    ~qor_cMusicStream() override;
    qor_cMusicStream(const qor_cMusicStream &) = delete;
    qor_cMusicStream & operator=(const qor_cMusicStream &) = delete;

    // Takes the MP3 file image (new[]-allocated; owned from here on, even on failure), reads its
    // format and length, and with bDevice opens an SDL audio device at the file's rate and
    // channel count, playing silence until play(). False with the reason in szError (the image
    // does not decode, or no device opens); the object then plays nothing.
    bool open(char * pImage, uint nSize, bool bDevice = true);
    // Largest image open() takes.
    static const uint kMaxImageSize = 256u << 20;

    float getTime() override;
    void stop() override;
    void play() override;
    void setPosition(float fMs) override;
    bool isPlaying() override;
    void close() override;

    int getRate() const { return m_iRate; }
    int getChannels() const { return m_iChannels; }
    // Length of the decoded music in sample frames.
    uint64_t getLength() const { return m_nLength; }
    cchar * getError() const { return m_szError; }

    // What the audio device's callback does: nBytes of signed 16-bit samples, interleaved, from
    // the decoder while playing (silence past the end, still counted as played), silence while
    // stopped. Public so that a run without a device can be driven sample by sample.
    void fill(uint8_t * pOut, int nBytes);

private:
    friend struct qor_sMusicIO;
    // Decodes up to nFrames frames into pOut; returns the count decoded (less at the end).
    int decode(int16_t * pOut, int nFrames);
    double positionFrames(); // under m_mutex

    char * m_pImage;
    uint m_nImage;
    uint m_nRead; // reader position in the image
    mpg123_handle_struct * m_pDecoder;
    SDL_AudioDeviceID m_uDevice;
    bool m_bAudioSubsystem;
    int m_iRate;
    int m_iChannels;
    uint64_t m_nLength;
    cchar * m_szError;

    // Shared with the audio thread.
    std::mutex m_mutex;
    bool m_bPlaying;
    int64_t m_iSeek;        // frame the decoder must go to before its next chunk, -1 none
    uint64_t m_nGeneration; // bumped by every stop, play and setPosition
    double m_dBase;         // frames played before the chunk now sounding (or the frozen position)
    double m_dAnchor;       // now() when that chunk started
    int m_nChunk;           // frames of that chunk (the most the position moves on its own)
    uint64_t m_nDecoded;    // decoder position in frames (audio thread only)
};
