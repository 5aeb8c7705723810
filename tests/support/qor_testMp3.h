// MP3 files made by the tests: a sine tone encoded with LAME, with the LAME tag that tells a
// decoder the exact sample count (encoder delay and padding removed).
#pragma once

#include <cstdint>
#include <vector>

namespace qort
{
// nFrames sample frames of a sine of fHz (amplitude 0.5) at iRate Hz, iChannels channels.
std::vector<uint8_t> makeMp3(int iRate, int iChannels, int nFrames, float fHz);
// The samples given (the same on every channel).
std::vector<uint8_t> makeMp3(int iRate, int iChannels, const std::vector<short> & samples);
} // namespace qort
