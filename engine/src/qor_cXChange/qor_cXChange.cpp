#include "qor_cXChange.h"

#include "qor_cErrorHandler.h"
#include "qor_cMonofiler.h"
#include "qor_fileUtil.h"

namespace
{
// The locked-file state is process-wide: one file is locked at a time, whoever locked it.
FILE * s_pLockedFile = nullptr;
bool s_bLockedFromDisk = false;
// A compressed pack entry is served as a memory stream over its unpacked bytes (the pack's own
// stream holds LZO data that no image decoder can read); both go with the lock.
char * s_pLockedBuffer = nullptr;
} // namespace

bool qoru_acceptDataName(cchar * szName, cchar * szWhat)
{
    if (qoru_isDataName(szName))
        return true;
    QOR_LOG_LOCATION();
    qoru_logError("%s : nom de fichier refuse <%s> (chemin absolu ou composant \"..\")\n", szWhat ? szWhat : "",
                  szName ? szName : "(null)");
    return false;
}

qor_cXChange * qor_cXChange::s_pInstance = nullptr;

qor_cXChange::qor_cXChange() : m_pDisp(nullptr), m_pMonofiler(nullptr), m_pD3DDevice(nullptr) { s_pInstance = this; }

qor_cXChange::~qor_cXChange()
{
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

char * qor_cXChange::readFile(cchar * szFilename, uint * pBufferSize)
{
    char * pBuffer = nullptr;
    if (m_pMonofiler)
        pBuffer = m_pMonofiler->loadFile(szFilename, pBufferSize);
    else
    {
        // No pack registered (the system always registers one): an empty pack's behaviour.
        qor_cMonofiler empty;
        pBuffer = empty.loadFile(szFilename, pBufferSize);
    }
    if (pBuffer)
        return pBuffer;

    cchar * szName = szFilename ? szFilename : "(null)";
    QOR_LOG_LOCATION();
    qoru_reportError("Impossible de charger le fichier <%s>", szName);
    QOR_LOG_LOCATION();
    qoru_logError("cchar * qor_cXChange::readFile(cchar * szFilename <%s>, uint * pBufferSize /* = NULL */)\n", szName);
    QOR_LOG_LOCATION();
    qoru_logError("Impossible d'ouvrir le fichier <%s>!\n", szName);
    return nullptr;
}

FILE * qor_cXChange::lockFile(cchar * szFilename, cchar * szMode)
{
    // A new lock replaces an earlier one; a disk stream left locked is closed here rather than
    // leaked.
    unlockFile();
    s_bLockedFromDisk = false;
    if (m_pMonofiler)
    {
        FILE * pFile = nullptr;
        uint nStored = 0;
        bool bCompressed = false;
        if (m_pMonofiler->findFile(szFilename, &pFile, &nStored, &bCompressed) && pFile)
        {
            if (!bCompressed)
            {
                s_pLockedFile = pFile;
                return pFile;
            }
            uint nSize = 0;
            s_pLockedBuffer = m_pMonofiler->loadFile(szFilename, &nSize);
            if (!s_pLockedBuffer || nSize == 0)
            {
                unlockFile();
                return nullptr;
            }
            s_pLockedFile = fmemopen(s_pLockedBuffer, nSize, "rb");
            s_bLockedFromDisk = s_pLockedFile != nullptr; // closed by unlockFile
            if (!s_pLockedFile)
                unlockFile();
            return s_pLockedFile;
        }
    }
    if (!szFilename || !szMode)
        return nullptr;
    s_bLockedFromDisk = true;
    s_pLockedFile = qoru_fopenDiskName(szFilename, szMode);
    return s_pLockedFile;
}

void qor_cXChange::unlockFile()
{
    if (s_bLockedFromDisk && s_pLockedFile)
        std::fclose(s_pLockedFile);
    delete[] s_pLockedBuffer;
    s_pLockedBuffer = nullptr;
    s_pLockedFile = nullptr;
    s_bLockedFromDisk = false;
}
