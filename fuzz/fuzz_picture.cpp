// Feeds arbitrary bytes to the contact sheet's picture decoders (PNG and JPEG) and reads every
// decoded pixel back.
#include "qor_picture.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    qorg::Picture pic;
    std::string err;
    if (qorg::decodePicture(pData, nSize, pic, err))
    {
        // A decoded picture is exactly w * h RGB pixels, within the limits.
        if (pic.w == 0 || pic.h == 0 || pic.w > qorg::kPictureMaxSide || pic.h > qorg::kPictureMaxSide ||
            pic.rgb.size() != (size_t)pic.w * pic.h * 3)
            __builtin_trap();
        unsigned sum = 0;
        for (unsigned char c : pic.rgb)
            sum += c;
        volatile unsigned sink = sum;
        (void)sink;
    }
    return 0;
}
