// libFuzzer target: amx_Init, amx_Register and amx_Exec on arbitrary images, as the script host
// loads them (file shorter than its header or its size refused, stp above AMX_MAX_STP refused
// with AMX_ERR_MEMORY, stp bytes plus the slack),
// with a small instruction budget. Natives read their arguments as the engine's natives do.
// Inputs without the image magic are run as raw code (see wrapCode).
#include "qor_amx.h"
#include "qor_cScript.h"

#include <cstdlib>
#include <cstring>
#include <memory>
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

// An input without the magic is taken as raw code: it gets a header with four natives, 256 bytes
// of data and 4096 bytes of stack, so that mutations explore the interpreter, not the header.
static std::vector<uint8_t> wrapCode(const uint8_t * data, size_t size)
{
    static const char * const names[] = {"v", "s", "m", "f"};
    size_t nCode = (size > 8192 ? 8192 : size) & ~(size_t)3;
    AMX_HEADER h = {};
    h.magic = AMX_MAGIC;
    h.defsize = AMX_DEFSIZE;
    h.num_publics = 0;
    h.publics = AMX_HEADER_SIZE;
    h.num_natives = 4;
    h.natives = AMX_HEADER_SIZE;
    h.libraries = h.pubvars = AMX_HEADER_SIZE + 4 * AMX_DEFSIZE;
    h.cod = h.libraries;
    h.dat = h.cod + (int32_t)nCode;
    h.hea = h.dat + 256;
    h.stp = h.hea + 4096;
    h.size = h.hea;
    h.cip = 0;
    std::vector<uint8_t> img((size_t)h.hea, 0);
    amx_WriteHeader(img.data(), &h);
    for (int i = 0; i < 4; i++)
        img[(size_t)h.natives + (size_t)i * AMX_DEFSIZE + 4] = (uint8_t)names[i][0];
    memcpy(img.data() + h.cod, data, nCode);
    for (size_t i = 0; i < 256; i += 4) // data: small numbers, addresses of data cells
        img[(size_t)h.dat + i] = (uint8_t)i;
    return img;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
    std::vector<uint8_t> wrapped;
    if (size < AMX_HEADER_SIZE || data[4] != (AMX_MAGIC & 0xff) || data[5] != (AMX_MAGIC >> 8))
    {
        wrapped = wrapCode(data, size);
        data = wrapped.data();
        size = wrapped.size();
    }
    // Any stp goes through the host's own check: one above AMX_MAX_STP must be refused with
    // AMX_ERR_MEMORY before anything is allocated; one within it gets its block (calloc: the
    // pages of a large block are only touched where the machine writes).
    AMX_HEADER hdr;
    const int iCheck = amx_CheckImageFile(data, size, AMX_MAX_STP, &hdr);
    if (iCheck == AMX_ERR_MEMORY && hdr.stp <= AMX_MAX_STP)
        __builtin_trap();
    if (iCheck != AMX_ERR_NONE)
        return 0;
    if (hdr.stp > AMX_MAX_STP)
        __builtin_trap();
    unsigned char * pImage = (unsigned char *)calloc((size_t)hdr.stp + AMX_IMAGE_SLACK, 1);
    if (!pImage)
        return 0;
    std::unique_ptr<unsigned char, void (*)(void *)> image(pImage, free);
    memcpy(pImage, data, (size_t)hdr.size);

    AMX amx;
    memset(&amx, 0, sizeof amx);
    if (amx_Init(&amx, pImage) != AMX_ERR_NONE)
    {
        amx_Cleanup(&amx);
        return 0;
    }
    amx_Register(&amx, qor_aScriptGlobalNatives, -1);
    amx_Register(&amx, s_aNatives, -1);
    amx.maxsteps = 10000;
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
