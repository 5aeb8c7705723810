#include "qor_testMp3.h"

#include <lame/lame.h>

#include <cmath>

namespace qort
{
std::vector<uint8_t> makeMp3(int iRate, int iChannels, int nFrames, float fHz)
{
    std::vector<short> pcm(static_cast<size_t>(nFrames));
    const double kTwoPi = 6.283185307179586;
    for (int i = 0; i < nFrames; ++i)
        pcm[size_t(i)] = short(std::lround(16383.0 * std::sin(kTwoPi * fHz * i / iRate)));
    return makeMp3(iRate, iChannels, pcm);
}

std::vector<uint8_t> makeMp3(int iRate, int iChannels, const std::vector<short> & samples)
{
    const int nFrames = int(samples.size());
    std::vector<uint8_t> out;
    lame_global_flags * pLame = lame_init();
    if (!pLame)
        return out;
    lame_set_in_samplerate(pLame, iRate);
    lame_set_out_samplerate(pLame, iRate);
    lame_set_num_channels(pLame, iChannels);
    lame_set_mode(pLame, iChannels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(pLame, 128);
    lame_set_quality(pLame, 7);
    lame_set_bWriteVbrTag(pLame, 1); // the LAME tag frame, filled in at the end
    if (lame_init_params(pLame) < 0)
    {
        lame_close(pLame);
        return out;
    }
    std::vector<short> pcm(size_t(nFrames) * 2);
    for (int i = 0; i < nFrames; ++i)
    {
        pcm[size_t(i) * 2] = samples[size_t(i)];
        pcm[size_t(i) * 2 + 1] = samples[size_t(i)];
    }
    std::vector<uint8_t> buf(size_t(nFrames) * 5 / 4 + 7200 + 16384);
    int n = 0;
    if (iChannels == 1)
    {
        std::vector<short> mono(static_cast<size_t>(nFrames));
        for (int i = 0; i < nFrames; ++i)
            mono[size_t(i)] = pcm[size_t(i) * 2];
        n = lame_encode_buffer(pLame, mono.data(), mono.data(), nFrames, buf.data(), int(buf.size()));
    }
    else
        n = lame_encode_buffer_interleaved(pLame, pcm.data(), nFrames, buf.data(), int(buf.size()));
    if (n >= 0)
    {
        const int nFlush = lame_encode_flush(pLame, buf.data() + n, int(buf.size()) - n);
        if (nFlush >= 0)
        {
            out.assign(buf.begin(), buf.begin() + n + nFlush);
            // The first frame was reserved for the tag: write its final content.
            uint8_t aucTag[4096];
            const size_t nTag = lame_get_lametag_frame(pLame, aucTag, sizeof aucTag);
            if (nTag > 0 && nTag <= out.size())
                std::copy(aucTag, aucTag + nTag, out.begin());
        }
    }
    lame_close(pLame);
    return out;
}
} // namespace qort
