// libFuzzer target: amx_Init, amx_Register and amx_Exec on arbitrary images, as the script host
// loads them (file shorter than its header or its size refused, stp bytes plus the slack),
// with a small instruction budget. Natives read their arguments as the engine's natives do.
#include "qor_amx.h"
#include "qor_cScript.h"

#include <cstring>
#include <vector>

namespace
{
cell AMX_NATIVE_CALL n_value(AMX *, cell * params) { return params[0] >= 4 ? params[1] : 0; }

// Reads a string argument the way the engine's natives do (address translation, string reader).
cell AMX_NATIVE_CALL n_string(AMX * amx, cell * params)
{
    cell * p;
    if (amx_AddrToPtr(amx, params[1], &p) != AMX_ERR_NONE)
        return 0;
    char sz[1024];
    amx_ReadStringN(sz, p, sizeof sz);
    return (cell)strlen(sz);
}

// Reads 16 arguments whatever the script pushed (as "setMatPropColor" does).
cell AMX_NATIVE_CALL n_sixteen(AMX *, cell * params)
{
    cell s = 0;
    for (int i = 1; i <= 16; i++)
        s ^= params[i];
    return s;
}

cell AMX_NATIVE_CALL n_fail(AMX * amx, cell *)
{
    amx->error = AMX_ERR_NATIVE;
    return 0;
}

AMX_NATIVE_INFO s_aNatives[] = {
    {"print_int", n_value}, {"print_str", n_string}, {"print_float", n_value}, {"v", n_value}, {"s", n_string},
    {"m", n_sixteen},       {"f", n_fail},           {nullptr, nullptr},
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
    if (size < AMX_HEADER_SIZE)
        return 0;
    AMX_HEADER hdr;
    amx_ReadHeader(data, &hdr);
    if (hdr.stp <= 0 || hdr.stp > (1 << 20) || hdr.size < AMX_HEADER_SIZE || hdr.size > hdr.stp ||
        (size_t)hdr.size > size)
        return 0;
    std::vector<unsigned char> image((size_t)hdr.stp + AMX_IMAGE_SLACK, 0);
    memcpy(image.data(), data, (size_t)hdr.size);

    AMX amx;
    memset(&amx, 0, sizeof amx);
    if (amx_Init(&amx, image.data()) != AMX_ERR_NONE)
    {
        amx_Cleanup(&amx);
        return 0;
    }
    amx_Register(&amx, qor_aScriptGlobalNatives, -1);
    amx_Register(&amx, s_aNatives, -1);
    amx.maxsteps = 20000;
    cell ret;
    amx_Exec(&amx, &ret, AMX_EXEC_MAIN, 0);
    for (int i = 0; i < hdr.num_publics && i < 4; i++)
        amx_Exec(&amx, &ret, i, 2, (cell)7, (cell)-1);
    cell * p;
    if (amx_AddrToPtr(&amx, 0, &p) == AMX_ERR_NONE)
    {
        char sz[64];
        amx_ReadStringN(sz, p, sizeof sz);
    }
    amx_Cleanup(&amx);
    return 0;
}
