#include "qor_cMusic.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/types.h>

// ----- time source

namespace
{
qor_cMusic::TimeSource s_pfnTimeSource = nullptr;

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

void qor_cMusic::setTimeSource(TimeSource pfnSource) { s_pfnTimeSource = pfnSource; }

double qor_cMusic::now() { return s_pfnTimeSource ? s_pfnTimeSource() : steadySeconds(); }

// ----- wall clock

qor_cWallClock::qor_cWallClock() : m_dBaseMs(0.0), m_dAnchor(now()), m_bPlaying(false) {}

float qor_cWallClock::getTime()
{
    if (!m_bPlaying)
        return float(m_dBaseMs);
    return float(m_dBaseMs + (now() - m_dAnchor) * 1000.0);
}

void qor_cWallClock::stop()
{
    m_dBaseMs = getTime();
    m_bPlaying = false;
}

void qor_cWallClock::play()
{
    if (m_bPlaying)
        return;
    m_dAnchor = now();
    m_bPlaying = true;
}

void qor_cWallClock::setPosition(float fMs)
{
    m_dBaseMs = fMs;
    m_dAnchor = now();
}

// ----- fixed-step clock

qor_cStepClock::qor_cStepClock(double dFps) : m_dFps(dFps > 0.0 ? dFps : 60.0), m_dBaseMs(0.0), m_nFrame(0), m_bPlaying(false)
{
}

float qor_cStepClock::getTime() { return float(m_dBaseMs + double(m_nFrame) * 1000.0 / m_dFps); }

void qor_cStepClock::setPosition(float fMs)
{
    m_dBaseMs = fMs;
    m_nFrame = 0;
}

void qor_cStepClock::nextFrame()
{
    if (m_bPlaying) // stopped, the position stands still
        ++m_nFrame;
}

// ----- MP3 stream

// libmpg123 reads the file image through these, as if it were a file.
struct qor_sMusicIO
{
    static ssize_t read(void * pHandle, void * pBuffer, size_t nBytes)
    {
        qor_cMusicStream * p = static_cast<qor_cMusicStream *>(pHandle);
        const size_t nLeft = p->m_nImage - p->m_nRead;
        const size_t n = std::min(nBytes, nLeft);
        std::memcpy(pBuffer, p->m_pImage + p->m_nRead, n);
        p->m_nRead += uint(n);
        return ssize_t(n);
    }
    static off_t seek(void * pHandle, off_t iOffset, int iWhence)
    {
        qor_cMusicStream * p = static_cast<qor_cMusicStream *>(pHandle);
        int64_t iBase = 0;
        if (iWhence == SEEK_CUR)
            iBase = p->m_nRead;
        else if (iWhence == SEEK_END)
            iBase = p->m_nImage;
        else if (iWhence != SEEK_SET)
            return -1;
        const int64_t iTo = iBase + int64_t(iOffset);
        if (iTo < 0 || iTo > int64_t(p->m_nImage))
            return -1;
        p->m_nRead = uint(iTo);
        return off_t(iTo);
    }
    static void audio(void * pUser, Uint8 * pOut, int nBytes) { static_cast<qor_cMusicStream *>(pUser)->fill(pOut, nBytes); }
};

qor_cMusicStream::qor_cMusicStream()
    : m_pImage(nullptr), m_nImage(0), m_nRead(0), m_pDecoder(nullptr), m_uDevice(0), m_bAudioSubsystem(false),
      m_iRate(0), m_iChannels(0), m_nLength(0), m_szError(nullptr), m_bPlaying(false), m_iSeek(-1), m_nGeneration(0),
      m_dBase(0.0), m_dAnchor(0.0), m_nChunk(0), m_nDecoded(0)
{
}

qor_cMusicStream::~qor_cMusicStream()
{
    close();
    delete[] m_pImage;
}

bool qor_cMusicStream::open(char * pImage, uint nSize, bool bDevice)
{
    close();
    delete[] m_pImage;
    m_pImage = pImage;
    m_nImage = nSize;
    m_nRead = 0;
    const auto fail = [&](cchar * szWhy) {
        m_szError = szWhy;
        close();
        return false;
    };
    if (!pImage || nSize == 0 || nSize > kMaxImageSize)
        return fail("no MP3 data");
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    int iErr = MPG123_OK;
    m_pDecoder = mpg123_new(nullptr, &iErr);
    if (!m_pDecoder)
        return fail("the MP3 decoder cannot start");
    mpg123_param(m_pDecoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // Signed 16-bit output at whatever rate and channel count the file has.
    mpg123_format_none(m_pDecoder);
    const long * pRates = nullptr;
    size_t nRates = 0;
    mpg123_rates(&pRates, &nRates);
    for (size_t i = 0; i < nRates; ++i)
        mpg123_format(m_pDecoder, pRates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(m_pDecoder, qor_sMusicIO::read, qor_sMusicIO::seek, nullptr) != MPG123_OK ||
        mpg123_open_handle(m_pDecoder, this) != MPG123_OK)
        return fail("the MP3 image cannot be opened");
    long lRate = 0;
    int iChannels = 0, iEncoding = 0;
    if (mpg123_getformat(m_pDecoder, &lRate, &iChannels, &iEncoding) != MPG123_OK || lRate <= 0 || iChannels < 1 ||
        iChannels > 2)
        return fail("no MP3 frame in the image");
    // Keep that format for the whole stream: later frames of another format are converted.
    mpg123_format_none(m_pDecoder);
    mpg123_format(m_pDecoder, lRate, iChannels, MPG123_ENC_SIGNED_16);
    // The full scan gives the exact length and an accurate seek index.
    if (mpg123_scan(m_pDecoder) != MPG123_OK)
        return fail("the MP3 image cannot be scanned");
    const off_t iLength = mpg123_length(m_pDecoder);
    if (iLength <= 0)
        return fail("the MP3 image holds no samples");
    m_iRate = int(lRate);
    m_iChannels = iChannels;
    m_nLength = uint64_t(iLength);
    mpg123_seek(m_pDecoder, 0, SEEK_SET);
    m_nDecoded = 0;
    m_dBase = 0.0;
    m_nChunk = 0;
    m_iSeek = -1;
    m_bPlaying = false;
    if (!bDevice)
        return true;

    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return fail("no audio device");
    m_bAudioSubsystem = true;
    SDL_AudioSpec want{}, have{};
    want.freq = m_iRate;
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(m_iChannels);
    want.samples = 1024; // about 23 ms at 44.1 kHz: the step of the device's position
    want.callback = qor_sMusicIO::audio;
    want.userdata = this;
    // No allowed changes: SDL converts to the device's own format when it differs.
    m_uDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_uDevice == 0)
        return fail("no audio device");
    SDL_PauseAudioDevice(m_uDevice, 0); // silence until play()
    return true;
}

void qor_cMusicStream::close()
{
    if (m_uDevice)
    {
        SDL_CloseAudioDevice(m_uDevice); // waits for the callback to return
        m_uDevice = 0;
    }
    if (m_bAudioSubsystem)
    {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_bAudioSubsystem = false;
    }
    if (m_pDecoder)
    {
        mpg123_close(m_pDecoder);
        mpg123_delete(m_pDecoder);
        m_pDecoder = nullptr;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bPlaying)
        m_dBase = positionFrames();
    m_bPlaying = false;
    m_nChunk = 0;
}

double qor_cMusicStream::positionFrames()
{
    if (!m_bPlaying || m_nChunk == 0)
        return m_dBase;
    // Between two callbacks the device plays the chunk it was handed last: interpolate inside
    // it, never past it.
    const double dIn = (now() - m_dAnchor) * m_iRate;
    return m_dBase + std::clamp(dIn, 0.0, double(m_nChunk));
}

float qor_cMusicStream::getTime()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iRate > 0 ? float(positionFrames() * 1000.0 / m_iRate) : 0.0f;
}

void qor_cMusicStream::stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bPlaying)
        return;
    m_dBase = positionFrames();
    m_bPlaying = false;
    m_nChunk = 0;
    // The decoder ran ahead by the chunk in the device: resume exactly where the sound stopped.
    m_iSeek = int64_t(m_dBase);
    ++m_nGeneration;
}

void qor_cMusicStream::play()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bPlaying || !m_pDecoder)
        return;
    m_bPlaying = true;
    m_nChunk = 0;
    ++m_nGeneration;
}

void qor_cMusicStream::setPosition(float fMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const double dFrame = std::max(0.0, double(fMs) * m_iRate / 1000.0);
    m_dBase = dFrame;
    m_nChunk = 0;
    m_dAnchor = now();
    m_iSeek = int64_t(dFrame);
    ++m_nGeneration;
}

bool qor_cMusicStream::isPlaying()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bPlaying;
}

int qor_cMusicStream::decode(int16_t * pOut, int nFrames)
{
    const size_t nFrameBytes = size_t(m_iChannels) * sizeof(int16_t);
    size_t nGot = 0;
    const size_t nWant = size_t(nFrames) * nFrameBytes;
    while (nGot < nWant && m_pDecoder)
    {
        size_t nDone = 0;
        const int iRet =
            mpg123_read(m_pDecoder, reinterpret_cast<unsigned char *>(pOut) + nGot, nWant - nGot, &nDone);
        nGot += nDone;
        if (iRet == MPG123_NEW_FORMAT)
            continue;
        if (iRet != MPG123_OK || nDone == 0)
            break; // the end, or a stream that cannot go on: the rest is silence
    }
    return int(nGot / nFrameBytes);
}

void qor_cMusicStream::fill(uint8_t * pOut, int nBytes)
{
    std::memset(pOut, 0, size_t(std::max(nBytes, 0)));
    if (m_iChannels <= 0 || nBytes <= 0)
        return;
    const int nFrames = nBytes / int(m_iChannels * sizeof(int16_t));
    int64_t iSeek;
    uint64_t nGeneration;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_bPlaying)
            return;
        iSeek = m_iSeek;
        m_iSeek = -1;
        nGeneration = m_nGeneration;
    }
    if (iSeek >= 0)
    {
        if (m_pDecoder)
            mpg123_seek(m_pDecoder, off_t(std::min<uint64_t>(uint64_t(iSeek), m_nLength)), SEEK_SET);
        m_nDecoded = uint64_t(iSeek);
    }
    const uint64_t nStart = m_nDecoded;
    if (m_nDecoded < m_nLength)
        decode(reinterpret_cast<int16_t *>(pOut), nFrames);
    m_nDecoded += uint64_t(nFrames); // silence past the end is played time too
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nGeneration != m_nGeneration)
        return; // stopped or moved while decoding: this chunk's position no longer counts
    m_dBase = double(nStart);
    m_dAnchor = now();
    m_nChunk = nFrames;
}
