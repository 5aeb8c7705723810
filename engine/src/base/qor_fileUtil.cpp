#include "qor_fileUtil.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
void setError(std::string * pstrError, const std::string & strWhy)
{
    if (pstrError)
        *pstrError = strWhy;
}

void setErrno(std::string * pstrError, int iErrno)
{
    if (pstrError)
        *pstrError = std::strerror(iErrno);
}

// What a non-regular file is, for the messages.
cchar * kindOf(mode_t nMode)
{
    if (S_ISDIR(nMode))
        return "is a folder, not a regular file";
    if (S_ISFIFO(nMode))
        return "is a named pipe, not a regular file";
    if (S_ISCHR(nMode))
        return "is a character device, not a regular file";
    if (S_ISBLK(nMode))
        return "is a block device, not a regular file";
    if (S_ISSOCK(nMode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

// Clears O_NONBLOCK once the descriptor is known to be a regular file (where it means
// nothing, but a stream built on it should see plain blocking semantics).
void setBlocking(int fd)
{
    const int nFlags = fcntl(fd, F_GETFL);
    if (nFlags >= 0)
        fcntl(fd, F_SETFL, nFlags & ~O_NONBLOCK);
}

// Opens with O_NONBLOCK and checks that a regular file is behind the descriptor; -1 otherwise.
int openChecked(cchar * szPath, int nFlags, mode_t nMode, struct stat * pStat, std::string * pstrError)
{
    if (!szPath || !*szPath)
    {
        setError(pstrError, "no file name");
        return -1;
    }
    const int fd = ::open(szPath, nFlags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, nMode);
    if (fd < 0)
    {
        const int iErrno = errno;
        struct stat st;
        // A folder opened for writing fails with EISDIR, a pipe with no reader with ENXIO, a
        // link opened with O_NOFOLLOW with ELOOP: say what the path is rather than the bare error.
        if (iErrno == ELOOP && (nFlags & O_NOFOLLOW) && ::lstat(szPath, &st) == 0 && S_ISLNK(st.st_mode))
            setError(pstrError, "is a symbolic link; not written through it");
        else if ((iErrno == EISDIR || iErrno == ENXIO) && ::stat(szPath, &st) == 0 && !S_ISREG(st.st_mode))
            setError(pstrError, kindOf(st.st_mode));
        else
            setErrno(pstrError, iErrno);
        return -1;
    }
    if (fstat(fd, pStat) != 0)
    {
        setErrno(pstrError, errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(pStat->st_mode))
    {
        setError(pstrError, kindOf(pStat->st_mode));
        ::close(fd);
        return -1;
    }
    setBlocking(fd);
    return fd;
}

// The files read since qoru_trackInputs: device and inode of each, so that an output reached by
// any name (a hard link, another spelling of the path) is known as an input.
struct sInputs
{
    std::mutex m_mutex;
    bool m_bOn = false;
    std::set<std::pair<dev_t, ino_t>> m_set;
};

sInputs & inputs()
{
    static sInputs * s_pInputs = new sInputs; // never freed: readers may run during exit
    return *s_pInputs;
}

void noteInput(const struct stat & st)
{
    sInputs & in = inputs();
    std::lock_guard<std::mutex> lock(in.m_mutex);
    if (in.m_bOn)
    {
        try
        {
            in.m_set.insert({st.st_dev, st.st_ino});
        }
        catch (const std::bad_alloc &)
        {
        }
    }
}

bool isInput(const struct stat & st)
{
    sInputs & in = inputs();
    std::lock_guard<std::mutex> lock(in.m_mutex);
    return in.m_set.count({st.st_dev, st.st_ino}) != 0;
}

std::string tooLarge(uint64_t nMaxSize)
{
    return "is larger than the limit of " + std::to_string(nMaxSize) + " bytes";
}
} // namespace

int qoru_openRead(cchar * szPath, uint64_t nMaxSize, uint64_t * pnSize, std::string * pstrError)
{
    if (pnSize)
        *pnSize = 0;
    struct stat st;
    const int fd = openChecked(szPath, O_RDONLY, 0, &st, pstrError);
    if (fd < 0)
        return -1;
    const uint64_t nSize = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    if (nSize > nMaxSize)
    {
        setError(pstrError, tooLarge(nMaxSize) + " (" + std::to_string(nSize) + " bytes)");
        ::close(fd);
        return -1;
    }
    noteInput(st);
    if (pnSize)
        *pnSize = nSize;
    return fd;
}

FILE * qoru_fopenRead(cchar * szPath, uint64_t nMaxSize, uint64_t * pnSize, std::string * pstrError)
{
    const int fd = qoru_openRead(szPath, nMaxSize, pnSize, pstrError);
    if (fd < 0)
        return nullptr;
    FILE * pFile = fdopen(fd, "rb");
    if (!pFile)
    {
        setErrno(pstrError, errno);
        ::close(fd);
        if (pnSize)
            *pnSize = 0;
    }
    return pFile;
}

bool qoru_readFile(cchar * szPath, uint64_t nMaxSize, std::string * pstrData, std::string * pstrError)
{
    if (!pstrData)
        return false;
    pstrData->clear();
    uint64_t nSize = 0;
    const int fd = qoru_openRead(szPath, nMaxSize, &nSize, pstrError);
    if (fd < 0)
        return false;
    bool bOk = true;
    size_t nHave = 0;
    try
    {
        // The size fstat gave, then, should the file grow while it is read, more in steps,
        // never past nMaxSize + 1 bytes (the one byte that proves it is too large).
        pstrData->resize(static_cast<size_t>(nSize));
        for (;;)
        {
            if (nHave == pstrData->size())
            {
                if (nHave > nMaxSize)
                {
                    setError(pstrError, tooLarge(nMaxSize));
                    bOk = false;
                    break;
                }
                const uint64_t nGrow = nHave < 4096 ? 4096 : nHave;
                const uint64_t nLimit = nMaxSize == UINT64_MAX ? nMaxSize : nMaxSize + 1;
                pstrData->resize(static_cast<size_t>(nHave + nGrow > nLimit ? nLimit : nHave + nGrow));
            }
            const ssize_t nRead = ::read(fd, &(*pstrData)[nHave], pstrData->size() - nHave);
            if (nRead < 0 && errno == EINTR)
                continue;
            if (nRead < 0)
            {
                setErrno(pstrError, errno);
                bOk = false;
                break;
            }
            if (nRead == 0)
                break;
            nHave += static_cast<size_t>(nRead);
        }
        if (bOk)
            pstrData->resize(nHave);
    }
    catch (const std::bad_alloc &)
    {
        setError(pstrError, "out of memory (" + std::to_string(nSize) + " bytes)");
        bOk = false;
    }
    ::close(fd);
    if (!bOk)
    {
        pstrData->clear();
        pstrData->shrink_to_fit();
    }
    return bOk;
}

bool qoru_isDataName(cchar * szName)
{
    if (!szName || !*szName || szName[0] == '/' || szName[0] == '\\')
        return false;
    if (((szName[0] >= 'A' && szName[0] <= 'Z') || (szName[0] >= 'a' && szName[0] <= 'z')) && szName[1] == ':')
        return false;
    // Each component, between separators of either kind (the pack stores "\\", the disk "/").
    for (cchar * p = szName; *p;)
    {
        cchar * pEnd = p;
        while (*pEnd && *pEnd != '/' && *pEnd != '\\')
            ++pEnd;
        if (pEnd - p == 2 && p[0] == '.' && p[1] == '.')
            return false;
        p = *pEnd ? pEnd + 1 : pEnd;
    }
    return true;
}

bool qoru_isSameFile(cchar * szPathA, cchar * szPathB)
{
    struct stat a, b;
    if (!szPathA || !szPathB || ::stat(szPathA, &a) != 0 || ::stat(szPathB, &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void qoru_trackInputs()
{
    sInputs & in = inputs();
    std::lock_guard<std::mutex> lock(in.m_mutex);
    in.m_bOn = true;
}

bool qoru_checkOutput(cchar * szPath, cchar * szInput, std::string * pstrError)
{
    if (!szPath || !*szPath)
    {
        setError(pstrError, "no file name");
        return false;
    }
    // lstat: the path itself, never what a link at it points to.
    struct stat st;
    if (::lstat(szPath, &st) != 0)
    {
        if (errno == ENOENT)
            return true;
        setErrno(pstrError, errno);
        return false;
    }
    if (S_ISLNK(st.st_mode))
    {
        setError(pstrError, "is a symbolic link; not written through it nor replaced");
        return false;
    }
    if (!S_ISREG(st.st_mode))
    {
        setError(pstrError, std::string(kindOf(st.st_mode)) + "; not written");
        return false;
    }
    if ((szInput && qoru_isSameFile(szPath, szInput)) || isInput(st))
    {
        setError(pstrError, "is also an input file; not written over");
        return false;
    }
    return true;
}

FILE * qoru_beginOutput(qor_sOutputFile * pOut, cchar * szPath, cchar * szInput, std::string * pstrError)
{
    if (!pOut)
        return nullptr;
    qoru_abortOutput(pOut);
    if (!qoru_checkOutput(szPath, szInput, pstrError))
        return nullptr;
    // Keep the mode of the file being replaced; a new file gets 0666 less the umask.
    struct stat st;
    const bool bExists = ::lstat(szPath, &st) == 0;
    // The temporary file sits next to the path (rename only works within one file system);
    // O_EXCL with the process id and a counter keeps two writers apart.
    static unsigned s_nCounter = 0;
    int fd = -1;
    std::string strTemp;
    for (int iTry = 0; iTry < 100 && fd < 0; ++iTry)
    {
        strTemp = std::string(szPath) + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(s_nCounter++);
        fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
    {
        setError(pstrError, std::string("cannot create a temporary file next to it: ") + std::strerror(errno));
        return nullptr;
    }
    if (bExists)
        fchmod(fd, st.st_mode & 07777);
    FILE * pFile = fdopen(fd, "wb");
    if (!pFile)
    {
        setErrno(pstrError, errno);
        ::close(fd);
        ::unlink(strTemp.c_str());
        return nullptr;
    }
    pOut->m_pFile = pFile;
    pOut->m_strPath = szPath;
    pOut->m_strTemp = strTemp;
    return pFile;
}

bool qoru_commitOutput(qor_sOutputFile * pOut, std::string * pstrError)
{
    if (!pOut || !pOut->m_pFile)
    {
        setError(pstrError, "no output open");
        return false;
    }
    const bool bWritten = !std::ferror(pOut->m_pFile);
    const bool bClosed = std::fclose(pOut->m_pFile) == 0;
    pOut->m_pFile = nullptr;
    if (!bWritten || !bClosed)
    {
        setError(pstrError, "write failed");
        qoru_abortOutput(pOut);
        return false;
    }
    // The path may have changed since the output began: check again just before replacing it.
    if (!qoru_checkOutput(pOut->m_strPath.c_str(), nullptr, pstrError))
    {
        qoru_abortOutput(pOut);
        return false;
    }
    if (std::rename(pOut->m_strTemp.c_str(), pOut->m_strPath.c_str()) != 0)
    {
        setErrno(pstrError, errno);
        qoru_abortOutput(pOut);
        return false;
    }
    pOut->m_strTemp.clear();
    return true;
}

void qoru_abortOutput(qor_sOutputFile * pOut)
{
    if (!pOut)
        return;
    if (pOut->m_pFile)
    {
        std::fclose(pOut->m_pFile);
        pOut->m_pFile = nullptr;
    }
    if (!pOut->m_strTemp.empty())
    {
        ::unlink(pOut->m_strTemp.c_str());
        pOut->m_strTemp.clear();
    }
}

bool qoru_writeFile(cchar * szPath, const void * pData, size_t nSize, cchar * szInput, std::string * pstrError)
{
    qor_sOutputFile out;
    FILE * pFile = qoru_beginOutput(&out, szPath, szInput, pstrError);
    if (!pFile)
        return false;
    if (nSize > 0 && std::fwrite(pData, 1, nSize, pFile) != nSize)
    {
        setError(pstrError, "write failed");
        qoru_abortOutput(&out);
        return false;
    }
    return qoru_commitOutput(&out, pstrError);
}

FILE * qoru_fopenWrite(cchar * szPath, cchar * szMode, std::string * pstrError)
{
    if (!szMode)
    {
        setError(pstrError, "no mode");
        return nullptr;
    }
    const bool bAppend = szMode[0] == 'a';
    const bool bUpdate = std::strchr(szMode, '+') != nullptr;
    if (!bAppend && szMode[0] != 'w')
    {
        setError(pstrError, "bad mode");
        return nullptr;
    }
    // O_NOFOLLOW: a log or settings file is never written through a symbolic link.
    const int nFlags = (bUpdate ? O_RDWR : O_WRONLY) | O_CREAT | O_NOFOLLOW | (bAppend ? O_APPEND : 0);
    struct stat st;
    const int fd = openChecked(szPath, nFlags, 0666, &st, pstrError);
    if (fd < 0)
        return nullptr;
    if (!bAppend && ftruncate(fd, 0) != 0)
    {
        setErrno(pstrError, errno);
        ::close(fd);
        return nullptr;
    }
    FILE * pFile = fdopen(fd, bAppend ? (bUpdate ? "a+" : "a") : (bUpdate ? "w+" : "w"));
    if (!pFile)
    {
        setErrno(pstrError, errno);
        ::close(fd);
    }
    return pFile;
}
