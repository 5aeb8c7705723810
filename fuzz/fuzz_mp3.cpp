// Feeds arbitrary bytes to the music stream as an MP3 file image (what the pack reader hands
// it), then plays it through without a device: open, decode everything, seek, decode again.
#include "qor_cMusic.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    if (nSize == 0 || nSize > (1u << 20))
        return 0;
    char * pImage = new char[nSize];
    std::memcpy(pImage, pData, nSize);
    qor_cMusicStream music;
    if (!music.open(pImage, uint(nSize), false))
        return 0;
    std::vector<uint8_t> chunk(4096);
    music.play();
    // At most a few seconds of sound: a hostile length field must not make it loop for long.
    for (int i = 0; i < 64; ++i)
        music.fill(chunk.data(), int(chunk.size()));
    music.setPosition(music.getLength() * 500.0f / float(music.getRate()));
    music.fill(chunk.data(), int(chunk.size()));
    music.stop();
    music.setPosition(0.0f);
    music.play();
    music.fill(chunk.data(), int(chunk.size()));
    return 0;
}
