// The script host.
#include "qor_cScript.h"

#include "qor_cErrorHandler.h"
#include "qor_cMonofiler.h"
#include "qor_cXChange.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define QOR_SCRIPT_HEADER_LINE                                                                                         \
    "bool qor_cScript::loadAndExecute(cchar * szScriptName<%s>, AMX_NATIVE_INFO * pAdditionalNativeFonctions)\n"

int64_t qor_cScript::s_nMaxSteps = QOR_SCRIPT_MAX_STEPS;

namespace
{
// One budget for a script and every script its natives start (a screen's addLayer, a layer's
// loadTextureScript, a scene's material scripts): filled when the outermost one starts, shared
// by every execution below it, so a loop that starts scripts ends as surely as a plain loop.
int64_t s_nSharedLeft = 0;
int s_nDepth = 0;
} // namespace

int qor_cScript::getRunningDepth() { return s_nDepth; }

bool qor_cScript::loadAndExecute(cchar * szScriptName, AMX_NATIVE_INFO * pAdditionalNativeFonctions)
{
    AMX_NATIVE_INFO * apTables[1] = {pAdditionalNativeFonctions};
    return loadAndExecute(szScriptName, apTables, pAdditionalNativeFonctions ? 1 : 0);
}

bool qor_cScript::loadAndExecute(cchar * szScriptName, AMX_NATIVE_INFO * const * ppTables, int nTables)
{
    // 1. The path, in a 1024-byte buffer; a longer one is refused rather than cut.
    char szPath[1024];
    int nPath = snprintf(szPath, sizeof szPath, "%s%s", "scripts/exe/", szScriptName ? szScriptName : "");
    if (!szScriptName || nPath < 0 || nPath >= (int)sizeof szPath)
    {
        QOR_LOG_LOCATION();
        qoru_logError(QOR_SCRIPT_HEADER_LINE, szPath);
        QOR_LOG_LOCATION();
        qoru_logError("Nom de script trop long ou absent, max : %d\n", (int)sizeof szPath - 1);
        return false;
    }

    // Script names come from data (the show's settings, other scripts, scenes): none may leave
    // the scripts folder.
    if (!qoru_acceptDataName(szScriptName, "script"))
    {
        QOR_LOG_LOCATION();
        qoru_logError(QOR_SCRIPT_HEADER_LINE, szPath);
        return false;
    }

    // 2. The whole file through the pack reader.
    uint nFileSize = 0;
    qor_cMonofiler * pMonofiler = QOR_XCHANGE() ? QOR_XCHANGE()->getMonofiler() : nullptr;
    char * pTmpBuffer = pMonofiler ? pMonofiler->loadFile(szPath, &nFileSize) : nullptr;
    if (!pTmpBuffer)
    {
        QOR_LOG_LOCATION();
        qoru_logError("Script impossible a trouver <%s>", szPath);
        QOR_LOG_LOCATION();
        qoru_logError(QOR_SCRIPT_HEADER_LINE, szPath);
        QOR_LOG_LOCATION();
        qoru_logError("char * pTmpBuffer = QOR_XCHANGE()->getMonofiler()->loadFile(szScriptName);\n");
        QOR_LOG_LOCATION();
        qoru_logError("Fichier impossible a trouver\n");
        return false;
    }

    // 3. The header, then the image: stp bytes (and the machine's slack), zero-filled.
    // Ours: a file shorter than its header or than its declared size, or a size above stp, is
    // refused with the same lines as an impossible stp; an stp above AMX_MAX_STP is refused
    // with AMX_ERR_MEMORY before anything is allocated for it.
    AMX_HEADER hdr;
    const int iCheck = amx_CheckImageFile(pTmpBuffer, nFileSize, AMX_MAX_STP, &hdr);
    unsigned char * pProgram = nullptr;
    if (iCheck == AMX_ERR_NONE)
        pProgram = (unsigned char *)calloc((size_t)hdr.stp + AMX_IMAGE_SLACK, 1);
    if (!pProgram)
    {
        delete[] pTmpBuffer;
        QOR_LOG_LOCATION();
        qoru_logError(QOR_SCRIPT_HEADER_LINE, szPath);
        if (iCheck == AMX_ERR_MEMORY)
        {
            QOR_LOG_LOCATION();
            qoru_logError("ret<%d> = <%s>\n", iCheck, amx_ErrorText(iCheck));
            QOR_LOG_LOCATION();
            qoru_logError("Image de script trop grande : stp<%d> octets, maximum %d\n", hdr.stp, AMX_MAX_STP);
            return false;
        }
        QOR_LOG_LOCATION();
        qoru_logError("char * pProgram = new char [(int)hdr.stp<%d>];)\n", hdr.stp);
        QOR_LOG_LOCATION();
        qoru_logError("fichier compile invalid ! recommencer la compilation\n");
        return false;
    }

    // 4.
    memcpy(pProgram, pTmpBuffer, (size_t)hdr.size);
    delete[] pTmpBuffer;

    // 5.
    AMX amx;
    memset(&amx, 0, sizeof amx);
    int ret = amx_Init(&amx, pProgram);
    if (ret != AMX_ERR_NONE)
    {
        QOR_LOG_LOCATION();
        qoru_logError(QOR_SCRIPT_HEADER_LINE, szPath);
        QOR_LOG_LOCATION();
        qoru_logError("int ret<%d> = amx_Init( &m_amx, m_pProg );\n", ret);
        amx_Cleanup(&amx);
        free(pProgram);
        return false;
    }

    // 6. The global table first (its result does not count), then the caller's tables; the
    // last call's result says whether a record is still unbound.
    ret = amx_Register(&amx, qor_aScriptGlobalNatives, -1);
    for (int i = 0; i < nTables; i++)
        if (ppTables[i])
            ret = amx_Register(&amx, ppTables[i], -1);
    if (ret != AMX_ERR_NONE)
    {
        QOR_LOG_LOCATION();
        qoru_logError(QOR_SCRIPT_HEADER_LINE, szPath);
        QOR_LOG_LOCATION();
        qoru_logError("ret<%d> = amx_Register(&m_amx, &matscript_Natives, -1);\n", ret);
        QOR_LOG_LOCATION();
        qoru_logError("ret<%d> = <%s>\n", ret, amx_ErrorText(ret));
        // The natives no table bound, by name: a native of another table (a layer native in a
        // screen script) or one the engine does not have.
        AMX_HEADER hdrNative;
        amx_ReadHeader(amx.base, &hdrNative);
        for (int i = 0; i < amx.numnatives; ++i)
        {
            if (amx.natives[i] || hdrNative.defsize < 5)
                continue;
            const size_t nAt = size_t(hdrNative.natives) + size_t(i) * size_t(hdrNative.defsize) + 4;
            const size_t nMax = std::min<size_t>(size_t(hdrNative.defsize) - 4, AMX_NAMEMAX + 1);
            char szNative[AMX_NAMEMAX + 2] = {};
            if (nAt + nMax <= size_t(hdrNative.size))
                std::memcpy(szNative, amx.base + nAt, nMax);
            QOR_LOG_LOCATION();
            qoru_logError("native inconnue <%s>\n", szNative);
        }
        amx_Cleanup(&amx);
        free(pProgram);
        return false;
    }

    // 7. main, within the instruction budget it shares with the script that started it.
    if (s_nDepth == 0)
        s_nSharedLeft = s_nMaxSteps > 0 ? s_nMaxSteps : INT64_MAX;
    amx.maxsteps = s_nMaxSteps;
    amx.sharedleft = &s_nSharedLeft;
    cell retval = 0;
    ++s_nDepth;
    int err = amx_Exec(&amx, &retval, AMX_EXEC_MAIN, 0);
    --s_nDepth;
    if (err != AMX_ERR_NONE)
    {
        QOR_LOG_LOCATION();
        qoru_logError(QOR_SCRIPT_HEADER_LINE, szPath);
        QOR_LOG_LOCATION();
        qoru_logError("int err<%d> = amx_Exec(&m_amx, &ret, AMX_EXEC_MAIN, 0);\n", err);
        QOR_LOG_LOCATION();
        if (amx.flags & AMX_FLAG_BUDGET)
        {
            // The budget covers the script and those it started: say which one ran out.
            qoru_logError("Script arrete apres %lld instructions (boucle sans fin ?), cip<%d>\n",
                          (long long)s_nMaxSteps, amx.cip);
            if (s_nDepth > 0)
                qoru_logError("budget partage avec le script qui l'a lance : il ne restait plus d'instructions\n");
        }
        else
            qoru_logError("Erreur <%s> a cip<%d>\n", amx_ErrorText(err), amx.cip);
        amx_Cleanup(&amx);
        free(pProgram);
        return false;
    }

    // 8.
    amx_Cleanup(&amx);
    free(pProgram);
    return true;
}
