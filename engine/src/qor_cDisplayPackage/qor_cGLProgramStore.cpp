#include "qor_cGLProgramStore.h"

#include "qor_cErrorHandler.h"
#include "qor_cGLShader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char s_acMagic[8] = {'Q', 'O', 'R', 'P', 'R', 'O', 'G', '1'};

struct Header
{
    char magic[8];
    uint32_t keySize, rendererLen, versionLen, binaryFormat, binaryLen;
    uint64_t sourceHash, binarySum;
};
static_assert(sizeof(Header) == 8 + 5 * 4 + 4 + 2 * 8, "header layout (4 bytes of padding before the hashes)");

// Renderer and version strings longer than this are cut (they are a few dozen bytes).
const uint32_t kMaxString = 1024;

// Creates each missing folder of an absolute path (mode 0700, as the XDG rules ask for).
bool makeDirs(const std::string & path)
{
    for (size_t i = 1; i <= path.size(); ++i)
    {
        if (i < path.size() && path[i] != '/')
            continue;
        const std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeAll(int fd, const void * p, size_t n)
{
    const char * c = static_cast<const char *>(p);
    while (n)
    {
        const ssize_t w = write(fd, c, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        c += w;
        n -= size_t(w);
    }
    return true;
}

bool readAll(int fd, void * p, size_t n)
{
    char * c = static_cast<char *>(p);
    while (n)
    {
        const ssize_t r = read(fd, c, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        c += r;
        n -= size_t(r);
    }
    return true;
}

void logIgnored(const std::string & path, cchar * szWhy)
{
    QOR_LOG_LOCATION();
    qoru_logError("GLuint qor_cGLProgramStore::load(cchar * szPath <%s>)\n", path.c_str());
    qoru_logError("%s: the entry is ignored and the program built again\n", szWhy);
}
} // namespace

uint64_t qor_cGLProgramStore::hashBytes(const void * p, size_t n, uint64_t h)
{
    const uint8_t * b = static_cast<const uint8_t *>(p);
    for (size_t i = 0; i < n; ++i)
        h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

void qor_cGLProgramStore::open()
{
    m_strDir.clear();
#if QOR_GLES
    return; // WebGL 2 hands out no program binaries: the store stays closed
#endif
    GLint nFormat = 0;
    glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &nFormat);
    if (nFormat <= 0)
        return;
    const char * szRenderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    const char * szVersion = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    m_strRenderer = std::string(szRenderer ? szRenderer : "").substr(0, kMaxString);
    m_strVersion = std::string(szVersion ? szVersion : "").substr(0, kMaxString);
    const char * szXdg = std::getenv("XDG_CACHE_HOME");
    const char * szHome = std::getenv("HOME");
    if (szXdg && szXdg[0] == '/')
        m_strDir = std::string(szXdg) + "/qor";
    else if (szHome && szHome[0] == '/')
        m_strDir = std::string(szHome) + "/.cache/qor";
    // The folder itself is made by the first save.
}

void qor_cGLProgramStore::openAt(const std::string & strDir, const std::string & strRenderer,
                                 const std::string & strVersion)
{
    m_strDir = strDir;
    m_strRenderer = strRenderer.substr(0, kMaxString);
    m_strVersion = strVersion.substr(0, kMaxString);
}

std::string qor_cGLProgramStore::pathOf(const qor_sShaderKey & key, uint64_t uSourceHash) const
{
    uint64_t h = hashBytes(&key, sizeof(key));
    h = hashBytes(&uSourceHash, sizeof(uSourceHash), h);
    h = hashBytes(m_strRenderer.data(), m_strRenderer.size(), h);
    h = hashBytes(m_strVersion.data(), m_strVersion.size(), h);
    char ac[32];
    std::snprintf(ac, sizeof(ac), "/p%016llx.bin", static_cast<unsigned long long>(h));
    return m_strDir + ac;
}

bool qor_cGLProgramStore::parseEntry(const uint8_t * pData, size_t nSize, const qor_sShaderKey & key,
                                     uint64_t uSourceHash, Entry * pEntry, cchar ** pszWhy) const
{
    Header h;
    if (nSize < sizeof(h))
    {
        *pszWhy = "corrupt entry (shorter than its header)";
        return false;
    }
    std::memcpy(&h, pData, sizeof(h));
    if (std::memcmp(h.magic, s_acMagic, sizeof(s_acMagic)) != 0 || h.keySize != sizeof(key) ||
        h.rendererLen > kMaxString || h.versionLen > kMaxString || h.binaryLen == 0 || h.binaryLen > kMaxBinary ||
        uint64_t(sizeof(h)) + h.keySize + h.rendererLen + h.versionLen + h.binaryLen != nSize)
    {
        *pszWhy = "corrupt entry (header)";
        return false;
    }
    const uint8_t * pKey = pData + sizeof(h);
    const char * pRenderer = reinterpret_cast<const char *>(pKey + h.keySize);
    const char * pVersion = pRenderer + h.rendererLen;
    const uint8_t * pBinary = reinterpret_cast<const uint8_t *>(pVersion + h.versionLen);
    if (std::memcmp(pKey, &key, sizeof(key)) != 0 || h.sourceHash != uSourceHash ||
        std::string(pRenderer, h.rendererLen) != m_strRenderer || std::string(pVersion, h.versionLen) != m_strVersion)
    {
        *pszWhy = "entry made for another state, shader generator or driver";
        return false;
    }
    if (hashBytes(pBinary, h.binaryLen) != h.binarySum)
    {
        *pszWhy = "corrupt entry (checksum)";
        return false;
    }
    pEntry->uFormat = h.binaryFormat;
    pEntry->pBinary = pBinary;
    pEntry->uLength = h.binaryLen;
    return true;
}

GLuint qor_cGLProgramStore::load(const qor_sShaderKey & key, uint64_t uSourceHash) const
{
    if (!isOpen())
        return 0;
    const std::string path = pathOf(key, uSourceHash);
    // No symbolic link is followed and nothing blocks (a FIFO under the name is refused).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0; // no entry yet
    struct stat st;
    const uint64_t uMax = sizeof(Header) + sizeof(key) + 2 * kMaxString + kMaxBinary;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) < sizeof(Header) ||
        uint64_t(st.st_size) > uMax)
    {
        close(fd);
        logIgnored(path, "not a regular file of a possible size");
        return 0;
    }
    std::vector<uint8_t> data(static_cast<size_t>(st.st_size));
    const bool bRead = readAll(fd, data.data(), data.size());
    close(fd);
    if (!bRead)
    {
        logIgnored(path, "read failed");
        return 0;
    }
    Entry entry;
    cchar * szWhy = nullptr;
    if (!parseEntry(data.data(), data.size(), key, uSourceHash, &entry, &szWhy))
    {
        logIgnored(path, szWhy);
        return 0;
    }
    const GLuint prog = glCreateProgram();
#if QOR_GLES
    (void)entry;
#else
    glProgramBinary(prog, entry.uFormat, entry.pBinary, GLsizei(entry.uLength));
#endif
    GLint iOk = 0;
    glGetProgramiv(prog, GL_LINK_STATUS, &iOk);
    while (glGetError() != GL_NO_ERROR)
    {
        iOk = 0; // an unknown format is an error, not only a failed link
    }
    if (!iOk)
    {
        glDeleteProgram(prog);
        logIgnored(path, "the driver refused the program binary");
        return 0;
    }
    return prog;
}

bool qor_cGLProgramStore::save(const qor_sShaderKey & key, uint64_t uSourceHash, GLuint uProgram) const
{
    if (!isOpen())
        return false;
    GLint iLen = 0;
    glGetProgramiv(uProgram, GL_PROGRAM_BINARY_LENGTH, &iLen);
    if (iLen <= 0 || uint32_t(iLen) > kMaxBinary)
        return false;
    std::vector<uint8_t> binary(static_cast<size_t>(iLen));
    GLenum eFormat = 0;
    GLsizei nGot = 0;
#if !QOR_GLES
    glGetProgramBinary(uProgram, iLen, &nGot, &eFormat, binary.data());
#endif
    if (nGot <= 0 || nGot > iLen)
        return false;
    binary.resize(size_t(nGot));
    if (!makeDirs(m_strDir))
        return false;
    const std::string path = pathOf(key, uSourceHash);
    // Never replace what is not a regular file.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return false;
    Header h;
    std::memset(&h, 0, sizeof(h));
    std::memcpy(h.magic, s_acMagic, sizeof(s_acMagic));
    h.keySize = sizeof(key);
    h.rendererLen = uint32_t(m_strRenderer.size());
    h.versionLen = uint32_t(m_strVersion.size());
    h.binaryFormat = eFormat;
    h.binaryLen = uint32_t(binary.size());
    h.sourceHash = uSourceHash;
    h.binarySum = hashBytes(binary.data(), binary.size());
    char acTmp[32];
    std::snprintf(acTmp, sizeof(acTmp), ".tmp%ld", static_cast<long>(getpid()));
    const std::string tmp = path + acTmp;
    unlink(tmp.c_str()); // a temporary file left by an earlier process with this id
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool bOk = writeAll(fd, &h, sizeof(h)) && writeAll(fd, &key, sizeof(key)) &&
               writeAll(fd, m_strRenderer.data(), m_strRenderer.size()) &&
               writeAll(fd, m_strVersion.data(), m_strVersion.size()) && writeAll(fd, binary.data(), binary.size());
    bOk = close(fd) == 0 && bOk;
    if (!bOk || std::rename(tmp.c_str(), path.c_str()) != 0)
    {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}
