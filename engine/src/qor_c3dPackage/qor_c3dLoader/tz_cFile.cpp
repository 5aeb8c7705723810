#include "tz_cFile.h"

#include "qor_fileUtil.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>

FILE * qoru_openRegularFile(cchar * szPath, cchar * szMode)
{
    if (!szPath || !*szPath || !szMode || !*szMode)
        return nullptr;
    // Reading through the file layer (regular files of at most kQorMaxFileSize bytes, opened
    // without blocking); writing and appending in place through its checked open. Updating an
    // existing file ("r+") is not offered: nothing in the engine needs it.
    if (szMode[0] == 'r' && !std::strchr(szMode, '+'))
        return qoru_fopenRead(szPath, kQorMaxFileSize, nullptr, nullptr);
    if (szMode[0] == 'w' || szMode[0] == 'a')
        return qoru_fopenWrite(szPath, szMode, nullptr);
    return nullptr;
}

float qoru_readF32LE(const void * p)
{
    const uint n = qoru_readU32LE(p);
    float f;
    std::memcpy(&f, &n, 4);
    return f;
}

void qoru_writeF32LE(void * p, float f)
{
    uint n;
    std::memcpy(&n, &f, 4);
    qoru_writeU32LE(p, n);
}

tz_cFile::tz_cFile() : m_bOpen(false), m_pFile(nullptr) {}

tz_cFile::tz_cFile(cchar * szPath, cchar * szMode) : m_bOpen(false), m_pFile(nullptr)
{
    // Not the virtual open: a derived class is not built yet.
    tz_cFile::open(szPath, szMode);
}

tz_cFile::~tz_cFile() { close(); }

bool tz_cFile::open(cchar * szPath, cchar * szMode)
{
    if (!szPath || !szMode || !*szPath)
        return false;
    close();
    m_pFile = qoru_openRegularFile(szPath, szMode);
    if (!m_pFile)
        return false;
    m_bOpen = true;
    m_strPath.set(szPath);
    m_strMode.set(szMode);
    struct stat st;
    if (!std::strpbrk(szMode, "wa+") && fstat(fileno(m_pFile), &st) == 0)
    {
        m_nReadSize = st.st_size;
        m_nReadPos = 0;
    }
    return true;
}

void tz_cFile::close()
{
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
    m_bOpen = false;
    m_nReadSize = -1;
    m_nReadPos = -1;
}

long long tz_cFile::size()
{
    if (!m_bOpen)
        return 0;
    if (m_nReadSize >= 0)
        return m_nReadSize;
    const long nPos = std::ftell(m_pFile);
    if (nPos < 0 || std::fseek(m_pFile, 0, SEEK_END) != 0)
        return 0;
    const long nSize = std::ftell(m_pFile);
    std::fseek(m_pFile, nPos, SEEK_SET);
    return nSize < 0 ? 0 : nSize;
}

long long tz_cFile::tell()
{
    if (!m_bOpen)
        return -1;
    if (m_nReadPos >= 0)
        return m_nReadPos;
    return std::ftell(m_pFile);
}

long long tz_cFile::remaining()
{
    const long long nPos = tell();
    if (nPos < 0)
        return 0;
    const long long nSize = size();
    return nSize > nPos ? nSize - nPos : 0;
}

int tz_cFile::read(void * pBuffer, int nLength)
{
    if (!pBuffer || nLength <= 0 || !m_bOpen)
        return 0;
    const size_t n = std::fread(pBuffer, 1, size_t(nLength), m_pFile);
    if (n < size_t(nLength) && std::ferror(m_pFile))
    {
        std::clearerr(m_pFile);
        if (m_nReadPos >= 0)
            m_nReadPos = std::max(0L, std::ftell(m_pFile));
        return 0;
    }
    if (m_nReadPos >= 0)
        m_nReadPos += static_cast<long long>(n);
    return int(n);
}

int tz_cFile::write(const void * pBuffer, int nLength)
{
    if (!pBuffer || nLength <= 0 || !m_bOpen)
        return 0;
    const size_t n = std::fwrite(pBuffer, 1, size_t(nLength), m_pFile);
    if (n < size_t(nLength) && std::ferror(m_pFile))
    {
        std::clearerr(m_pFile);
        return 0;
    }
    return int(n);
}

bool tz_cFile::readU32(uint * pValue)
{
    uchar a[4];
    *pValue = 0;
    if (read(a, 4) != 4)
        return false;
    *pValue = qoru_readU32LE(a);
    return true;
}

bool tz_cFile::readU16(uint * pValue)
{
    uchar a[2];
    *pValue = 0;
    if (read(a, 2) != 2)
        return false;
    *pValue = qoru_readU16LE(a);
    return true;
}

bool tz_cFile::readF32(float * pValue)
{
    uchar a[4];
    *pValue = 0.0f;
    if (read(a, 4) != 4)
        return false;
    *pValue = qoru_readF32LE(a);
    return true;
}

bool tz_cFile::writeU32(uint nValue)
{
    uchar a[4];
    qoru_writeU32LE(a, nValue);
    return write(a, 4) == 4;
}

bool tz_cFile::writeF32(float fValue)
{
    uchar a[4];
    qoru_writeF32LE(a, fValue);
    return write(a, 4) == 4;
}

bool tz_cFile::seek(long long nOffset, int nOrigin)
{
    if (!m_bOpen || nOffset < LONG_MIN || nOffset > LONG_MAX)
        return false;
    int nWhence;
    switch (nOrigin)
    {
    case 0:
        nWhence = SEEK_SET;
        break;
    case 1:
        nWhence = SEEK_CUR;
        break;
    case 2:
        nWhence = SEEK_END;
        break;
    default:
        return false;
    }
    const bool bOk = std::fseek(m_pFile, long(nOffset), nWhence) == 0;
    if (m_nReadPos >= 0)
        m_nReadPos = std::max(0L, std::ftell(m_pFile));
    return bOk;
}

bool qoru_fileCopy(cchar * szSource, cchar * szDest, bool bFailIfExists)
{
    if (!szSource || !szDest)
        return false;
    if (bFailIfExists)
    {
        tz_cFile existing;
        if (existing.open(szDest, "rb"))
            return false;
    }
    tz_cFile source;
    if (!source.open(szSource, "rb"))
        return false;
    tz_cFile dest;
    if (!dest.open(szDest, "wb"))
        return false;
    char acBlock[1024];
    for (;;)
    {
        const int n = source.read(acBlock, int(sizeof(acBlock)));
        if (n <= 0)
            return true;
        if (dest.write(acBlock, n) != n)
            return false;
    }
}

bool qoru_fileRemove(cchar * szPath)
{
    if (!szPath)
        return false;
    return std::remove(szPath) == 0;
}

bool qoru_fileRename(cchar * szFrom, cchar * szTo)
{
    if (!szFrom || !szTo)
        return false;
    return std::rename(szFrom, szTo) == 0;
}
