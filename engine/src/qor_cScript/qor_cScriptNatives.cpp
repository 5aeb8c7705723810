// The global native table of the script host and its string helper.
#include "qor_cErrorHandler.h"
#include "qor_cScript.h"

#include <cstring>

static uint32_t s_nRandState = 1; // the C library's generator before any srand

int qoru_rand()
{
    // The Microsoft C library's rand() (a linear congruential generator): 0 to 32767.
    s_nRandState = s_nRandState * 214013u + 2531011u;
    return (int)((s_nRandState >> 16) & 0x7fff);
}

void qoru_resetRand() { s_nRandState = 1; }

// "qor_rand"(min, max) -> min + (r mod (max - min)), with the wrap-around of 32-bit ints.
// max == min would divide by zero: it gives min.
static cell AMX_NATIVE_CALL qor_rand(AMX *, cell * params)
{
    cell nMin = params[1];
    cell nRange = (cell)((ucell)params[2] - (ucell)nMin);
    cell r = qoru_rand();
    if (nRange == 0)
        return nMin;
    return (cell)((ucell)nMin + (ucell)(r % nRange));
}

AMX_NATIVE_INFO qor_aScriptGlobalNatives[] = {
    {"qor_rand", qor_rand},
    {nullptr, nullptr},
};

char * amxStr2AnsiiStr(const void * szIn)
{
    static char s_szTmp[SZ_TMP_BUFFER_SIZE];
    const unsigned char * p = (const unsigned char *)szIn;
    int pos = 0;
    for (;; p += sizeof(cell))
    {
        cell c;
        memcpy(&c, p, sizeof c);
        if (c == 0)
            break;
        s_szTmp[pos++] = (char)c;
        if (pos == SZ_TMP_BUFFER_SIZE)
        {
            QOR_LOG_LOCATION();
            qoru_logError("char * amxStr2AnsiiStr(const void * szIn)\n");
            QOR_LOG_LOCATION();
            qoru_logError("if (pos == SZ_TMP_BUFFER_SIZE)\n");
            QOR_LOG_LOCATION();
            qoru_logError("Chaine de caractere trop longue, max : %d\n", SZ_TMP_BUFFER_SIZE);
            return nullptr;
        }
    }
    s_szTmp[pos] = 0;
    return s_szTmp;
}
