#include "qor_importIO.h"

#include "tz_cFile.h"

#include <assimp/IOStream.hpp>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace
{
class cStream : public Assimp::IOStream
{
public:
    cStream(FILE * pFile, size_t nSize) : m_pFile(pFile), m_nSize(nSize) {}
    ~cStream() override { std::fclose(m_pFile); }

    size_t Read(void * pBuffer, size_t nSize, size_t nCount) override
    {
        return nSize && nCount ? std::fread(pBuffer, nSize, nCount, m_pFile) : 0;
    }
    size_t Write(const void *, size_t, size_t) override { return 0; }
    aiReturn Seek(size_t nOffset, aiOrigin eOrigin) override
    {
        const int nWhence = eOrigin == aiOrigin_SET ? SEEK_SET : eOrigin == aiOrigin_CUR ? SEEK_CUR : SEEK_END;
        return std::fseek(m_pFile, long(nOffset), nWhence) == 0 ? aiReturn_SUCCESS : aiReturn_FAILURE;
    }
    size_t Tell() const override
    {
        const long n = std::ftell(m_pFile);
        return n < 0 ? 0 : size_t(n);
    }
    size_t FileSize() const override { return m_nSize; }
    void Flush() override {}

private:
    FILE * m_pFile;
    size_t m_nSize;
};
} // namespace

bool qor_cImportIOSystem::Exists(const char * szFile) const
{
    struct stat st;
    return m_bAllowFiles && szFile && stat(szFile, &st) == 0 && S_ISREG(st.st_mode);
}

Assimp::IOStream * qor_cImportIOSystem::Open(const char * szFile, const char * szMode)
{
    // Reading only: the importer never writes.
    if (!m_bAllowFiles || !szFile || !szMode || std::strpbrk(szMode, "wa+"))
        return nullptr;
    FILE * pFile = qoru_openRegularFile(szFile, "rb");
    if (!pFile)
        return nullptr;
    struct stat st;
    if (fstat(fileno(pFile), &st) != 0 || st.st_size > e_maxFile)
    {
        std::fclose(pFile);
        return nullptr;
    }
    return new cStream(pFile, size_t(st.st_size));
}

void qor_cImportIOSystem::Close(Assimp::IOStream * pFile) { delete pFile; }
