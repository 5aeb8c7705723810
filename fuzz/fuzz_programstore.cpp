// libFuzzer target: arbitrary bytes as an entry of the on-disk program store, checked against
// a fixed state key, source hash and driver strings ("R", "V"), as the device does before it
// hands a program binary to GL.
#include "qor_cGLProgramStore.h"
#include "qor_cGLShader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    static const qor_cGLProgramStore s_store = [] {
        qor_cGLProgramStore store;
        store.openAt("/nonexistent/qor", "R", "V");
        return store;
    }();
    const qor_sShaderKey key; // all zero
    qor_cGLProgramStore::Entry entry;
    cchar * szWhy = nullptr;
    if (s_store.parseEntry(pData, nSize, key, 0, &entry, &szWhy))
    {
        // An accepted binary lies inside the input, and its bytes are all readable.
        if (entry.pBinary < pData || entry.uLength > nSize || entry.pBinary + entry.uLength > pData + nSize)
            __builtin_trap();
        volatile uint8_t uSum = 0;
        for (uint32_t i = 0; i < entry.uLength; ++i)
            uSum = uSum ^ entry.pBinary[i];
    }
    else if (!szWhy)
        __builtin_trap(); // every refusal says why
    return 0;
}
