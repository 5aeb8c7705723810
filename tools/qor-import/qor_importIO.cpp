#include "qor_importIO.h"

#include "qor_fileUtil.h"

#include <assimp/IOStream.hpp>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

std::string currentFolder()
{
    char sz[PATH_MAX];
    return getcwd(sz, sizeof(sz)) ? std::string(sz) : std::string("/");
}

std::string realPath(const std::string & strPath)
{
    char * psz = realpath(strPath.c_str(), nullptr);
    if (!psz)
        return std::string();
    std::string s = psz;
    std::free(psz);
    return s;
}

// strPath is strFolder or below it (both absolute, normalised).
bool isUnder(const std::string & strPath, const std::string & strFolder)
{
    if (strFolder == "/")
        return true;
    return strPath.size() > strFolder.size() && strPath.compare(0, strFolder.size(), strFolder) == 0 &&
           strPath[strFolder.size()] == '/';
}
} // namespace

std::string qoru_importLexicalPath(const std::string & strPath)
{
    const std::string strFull = !strPath.empty() && strPath[0] == '/' ? strPath : currentFolder() + "/" + strPath;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= strFull.size())
    {
        size_t j = strFull.find('/', i);
        if (j == std::string::npos)
            j = strFull.size();
        const std::string part = strFull.substr(i, j - i);
        if (part == "..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else if (!part.empty() && part != ".")
            parts.push_back(part);
        i = j + 1;
    }
    std::string out;
    for (const std::string & p : parts)
        out += "/" + p;
    return out.empty() ? std::string("/") : out;
}

qor_cImportFiles::qor_cImportFiles(const std::string & strModel, bool bAllowOutside)
    : m_strModel(strModel), m_bAllowOutside(bAllowOutside)
{
    const size_t n = strModel.find_last_of('/');
    m_strFolder = n == std::string::npos ? std::string(".") : n == 0 ? std::string("/") : strModel.substr(0, n);
    m_strFolderLex = qoru_importLexicalPath(m_strFolder);
    m_strFolderReal = realPath(m_strFolder);
}

bool qor_cImportFiles::inside(const std::string & strPath) const
{
    if (m_bAllowOutside || strPath == m_strModel)
        return true;
    // By name first (absolute paths and ".." that leave the folder), before anything is opened;
    // then through links, for a name that exists.
    if (!isUnder(qoru_importLexicalPath(strPath), m_strFolderLex))
        return false;
    const std::string strReal = realPath(strPath);
    return strReal.empty() || (!m_strFolderReal.empty() && isUnder(strReal, m_strFolderReal));
}

void qor_cImportFiles::refuse(const std::string & strPath, std::string * pstrWhy)
{
    const std::string strWhy = "is outside the model's folder \"" + m_strFolder + "\" (--allow-outside reads it)";
    if (pstrWhy)
        *pstrWhy = strWhy;
    if (m_refused.insert(strPath).second)
        m_warnings.push_back("reference \"" + strPath + "\" " + strWhy + "; not read");
}

bool qor_cImportFiles::allowed(const std::string & strPath)
{
    if (inside(strPath))
        return true;
    refuse(strPath, nullptr);
    return false;
}

int qor_cImportFiles::openRead(const std::string & strPath, uint64_t nMaxSize, uint64_t * pnSize, std::string * pstrWhy)
{
    if (!allowed(strPath))
    {
        refuse(strPath, pstrWhy);
        return -1;
    }
    const int fd = qoru_openRead(strPath.c_str(), nMaxSize, pnSize, pstrWhy);
    if (fd < 0)
        return -1;
    // The file actually opened, wherever its name's links led by now.
    if (!m_bAllowOutside && strPath != m_strModel)
    {
        const std::string strReal = realPath("/proc/self/fd/" + std::to_string(fd));
        if (strReal.empty() || m_strFolderReal.empty() || !isUnder(strReal, m_strFolderReal))
        {
            close(fd);
            refuse(strPath, pstrWhy);
            return -1;
        }
    }
    struct stat st;
    if (fstat(fd, &st) == 0)
        m_reads.insert({uint64_t(st.st_dev), uint64_t(st.st_ino)});
    return fd;
}

bool qor_cImportFiles::readFile(const std::string & strPath, uint64_t nMaxSize, std::string * pData,
                                std::string * pstrWhy)
{
    pData->clear();
    uint64_t nSize = 0;
    const int fd = openRead(strPath, nMaxSize, &nSize, pstrWhy);
    if (fd < 0)
        return false;
    // Read again through the file layer's bounded reader, by the descriptor's own path so that
    // a name swapped in the meantime is not followed.
    const bool bOk = qoru_readFile(("/proc/self/fd/" + std::to_string(fd)).c_str(), nMaxSize, pData, pstrWhy);
    close(fd);
    return bOk;
}

bool qor_cImportIOSystem::Exists(const char * szFile) const
{
    struct stat st;
    return m_pFiles && szFile && m_pFiles->allowed(szFile) && stat(szFile, &st) == 0 && S_ISREG(st.st_mode);
}

Assimp::IOStream * qor_cImportIOSystem::Open(const char * szFile, const char * szMode)
{
    // Reading only: the importer never writes.
    if (!m_pFiles || !szFile || !szMode || std::strpbrk(szMode, "wa+"))
        return nullptr;
    uint64_t nSize = 0;
    const int fd = m_pFiles->openRead(szFile, e_maxFile, &nSize, nullptr);
    if (fd < 0)
        return nullptr;
    FILE * pFile = fdopen(fd, "rb");
    if (!pFile)
    {
        close(fd);
        return nullptr;
    }
    return new cStream(pFile, size_t(nSize));
}

void qor_cImportIOSystem::Close(Assimp::IOStream * pFile) { delete pFile; }
