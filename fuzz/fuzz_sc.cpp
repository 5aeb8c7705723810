// libFuzzer target: arbitrary bytes as a show script through the qor-sc compiler. A success
// must give an image the machine initialises; a failure must say why.
#include "qor_amx.h"
#include "qor_sc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    const std::string text(reinterpret_cast<const char *>(pData), nSize);
    qor_sScOptions options; // no include folders: "#include" finds nothing but itself
    options.compact = nSize > 0 && (pData[0] & 1);
    const qor_sScResult r = qor_scCompileText("/nonexistent/fuzz.sc", text, options);
    if (!r.ok)
    {
        if (r.messages.empty() || !r.image.empty())
            std::abort();
        return 0;
    }
    AMX_HEADER h;
    amx_ReadHeader(r.image.data(), &h);
    if ((size_t)h.size != r.image.size() || h.stp <= 0 || h.stp > (1 << 28))
        std::abort();
    std::vector<unsigned char> mem((size_t)h.stp + AMX_IMAGE_SLACK, 0);
    std::memcpy(mem.data(), r.image.data(), r.image.size());
    AMX amx;
    std::memset(&amx, 0, sizeof amx);
    if (amx_Init(&amx, mem.data()) != AMX_ERR_NONE)
        std::abort(); // every image the compiler writes must load
    amx_Cleanup(&amx);
    return 0;
}
