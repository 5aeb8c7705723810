#include "qor_cMonofiler.h"

#include "qor_fileUtil.h"

#include <lzo/lzo1x.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

namespace
{
// LZO state: 0 not tried, 1 ready, -1 lzo_init failed (compressed entries then never load).
int s_iLzoState = 0;

// The compressor's work memory, allocated once after a successful lzo_init.
// LZO1X_1_11_MEM_COMPRESS is 2048 dictionary slots of pointer size: 8192 bytes on a 32-bit
// build, 16384 on a 64-bit one, so take what liblzo2 asks for.
lzo_align_t * s_pLzoWork = nullptr;

} // namespace

namespace
{
// Opens szName through the file layer (read: a regular file of at most nMaxSize bytes; write:
// never over what is not a regular file), then, when the name uses "\" between folders and
// does not exist as given, the same name with "/" (the folders of this system).
FILE * openDiskName(cchar * szName, cchar * szMode, uint64_t nMaxSize, uint64_t * pnSize, std::string * pstrError)
{
    if (pnSize)
        *pnSize = 0;
    if (!szName || !*szName || !szMode)
    {
        if (pstrError)
            *pstrError = "no file name";
        return nullptr;
    }
    const bool bRead = szMode[0] == 'r';
    auto open = [&](cchar * szPath, std::string * pstrWhy) -> FILE * {
        return bRead ? qoru_fopenRead(szPath, nMaxSize, pnSize, pstrWhy) : qoru_fopenWrite(szPath, szMode, pstrWhy);
    };
    std::string strWhy;
    FILE * pFile = open(szName, &strWhy);
    if (!pFile && std::strchr(szName, '\\'))
    {
        std::string strName(szName);
        for (char & c : strName)
            if (c == '\\')
                c = '/';
        std::string strWhySlash;
        pFile = open(strName.c_str(), &strWhySlash);
        // Say why the "/" name failed when it exists and is refused.
        if (!pFile && strWhySlash.find(std::strerror(ENOENT)) == std::string::npos)
            strWhy = strWhySlash;
    }
    if (!pFile && pstrError)
        *pstrError = strWhy;
    return pFile;
}

// A regular disk file of at most nMaxSize bytes opened "rb", and its size; null for anything
// else (a folder, a pipe, a device, a file too large), with the reason when asked.
FILE * openDiskFile(cchar * szName, long long * pnSize, uint64_t nMaxSize = qor_cMonofiler::kMaxFileSize,
                    std::string * pstrError = nullptr)
{
    uint64_t nSize = 0;
    FILE * pFile = openDiskName(szName, "rb", nMaxSize, &nSize, pstrError);
    *pnSize = pFile ? static_cast<long long>(nSize) : 0;
    return pFile;
}
} // namespace

FILE * qoru_fopenDiskName(cchar * szName, cchar * szMode, std::string * pstrError)
{
    return openDiskName(szName, szMode, qor_cMonofiler::kMaxFileSize, nullptr, pstrError);
}

namespace
{
uint clampSize(long long n) { return n > static_cast<long long>(UINT_MAX) ? UINT_MAX : static_cast<uint>(n); }

char * copyText(cchar * sz)
{
    const size_t n = std::strlen(sz);
    char * p = new (std::nothrow) char[n + 1];
    if (p)
        std::memcpy(p, sz, n + 1);
    return p;
}

// One cursor over the pack file: every read is checked against the bytes the file really
// has left; a failed read sets an error that stays set (bx MemoryReader style).
struct PackCursor
{
    FILE * m_pFile;
    long m_nPos;
    long m_nSize;
    bool m_bFailed;

    long left() const { return m_nSize - m_nPos; }
    bool read(void * p, long n)
    {
        if (m_bFailed || n < 0 || n > left())
        {
            m_bFailed = true;
            return false;
        }
        if (n > 0 && std::fread(p, 1, static_cast<size_t>(n), m_pFile) != static_cast<size_t>(n))
        {
            m_bFailed = true;
            return false;
        }
        m_nPos += n;
        return true;
    }
    uint32_t readU32()
    {
        uchar a[4] = {0, 0, 0, 0};
        if (!read(a, 4))
            return 0;
        return static_cast<uint32_t>(a[0]) | static_cast<uint32_t>(a[1]) << 8 | static_cast<uint32_t>(a[2]) << 16 |
               static_cast<uint32_t>(a[3]) << 24;
    }
    uchar readU8()
    {
        uchar c = 0;
        read(&c, 1);
        return c;
    }
    bool skip(long n)
    {
        if (m_bFailed || n < 0 || n > left() || std::fseek(m_pFile, n, SEEK_CUR) != 0)
        {
            m_bFailed = true;
            return false;
        }
        m_nPos += n;
        return true;
    }
};

bool writeU32(FILE * pFile, uint32_t n)
{
    const uchar a[4] = {static_cast<uchar>(n), static_cast<uchar>(n >> 8), static_cast<uchar>(n >> 16),
                        static_cast<uchar>(n >> 24)};
    return std::fwrite(a, 1, 4, pFile) == 4;
}
} // namespace

bool qoru_lzoInit()
{
    if (s_iLzoState == 0)
    {
        s_iLzoState = lzo_init() == LZO_E_OK ? 1 : -1;
        if (s_iLzoState == 1)
        {
            static lzo_align_t s_aWork[(LZO1X_1_11_MEM_COMPRESS + sizeof(lzo_align_t) - 1) / sizeof(lzo_align_t)];
            s_pLzoWork = s_aWork;
        }
    }
    return s_iLzoState == 1;
}

qor_sMonofilerEntry::qor_sMonofilerEntry()
    : m_szName(nullptr), m_nOffset(0), m_nSize(0), m_bCompressRequest(false), m_bCompressed(false), m_nUnpackedSize(0),
      m_nNameLength(0), m_szSourcePath(nullptr)
{
}

qor_sMonofilerEntry::~qor_sMonofilerEntry()
{
    delete[] m_szName;
    delete[] m_szSourcePath;
}

qor_cMonofiler::qor_cMonofiler() : m_nMagic(kMagic), m_pFile(nullptr), m_nOpenErrorOffset(0) {}

qor_cMonofiler::~qor_cMonofiler() { close(); }

void qor_cMonofiler::close()
{
    m_lEntry.clear();
    if (m_pFile)
    {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

bool qor_cMonofiler::failOpen(cchar * szWhy, long nOffset)
{
    close();
    m_strOpenError = szWhy;
    m_nOpenErrorOffset = nOffset;
    return false;
}

bool qor_cMonofiler::open(cchar * szPath)
{
    close();
    m_strOpenError.clear();
    m_nOpenErrorOffset = 0;
    if (!szPath)
        return failOpen("no path", 0);
    long long nFileSize = 0;
    // Data offsets are 32-bit signed in the directory: a larger pack cannot be addressed.
    std::string strWhy;
    m_pFile = openDiskFile(szPath, &nFileSize, INT32_MAX, &strWhy);
    if (!m_pFile)
        return failOpen(("cannot open the file: " + strWhy).c_str(), 0);

    PackCursor cur = {m_pFile, 0, static_cast<long>(nFileSize), false};
    const uint32_t nMagic = cur.readU32();
    if (cur.m_bFailed || nMagic != m_nMagic)
        return failOpen("bad magic (not a pack)", 0);
    const uint32_t nCount = cur.readU32();
    if (cur.m_bFailed)
        return failOpen("truncated header", 4);
    // Every entry takes at least 9 bytes (L, S, flag): a count the file cannot hold is a lie,
    // refused before anything is read or allocated for it.
    if (nCount > static_cast<uint32_t>(cur.left() / 9) || nCount > static_cast<uint32_t>(INT_MAX))
        return failOpen("entry count larger than the file can hold", 4);

    for (uint32_t i = 0; i < nCount; ++i)
    {
        const long nEntryStart = cur.m_nPos;
        const uint32_t nNameLength = cur.readU32();
        if (cur.m_bFailed)
            return failOpen("truncated entry header (name length)", nEntryStart);
        // The name, then at least S (4) and the flag (1) must still fit.
        if (nNameLength > kMaxNameLength || static_cast<long>(nNameLength) > cur.left() - 5)
            return failOpen("name length runs past the end of the file or over 1024", nEntryStart);
        qor_sMonofilerEntry * pEntry = new (std::nothrow) qor_sMonofilerEntry;
        if (!pEntry)
            return failOpen("out of memory", nEntryStart);
        pEntry->m_nNameLength = nNameLength;
        pEntry->m_szName = new (std::nothrow) char[nNameLength + 1]();
        if (!pEntry->m_szName || !cur.read(pEntry->m_szName, nNameLength))
        {
            delete pEntry;
            return failOpen("cannot read the name", nEntryStart + 4);
        }
        const long nSizeAt = cur.m_nPos;
        pEntry->m_nSize = cur.readU32();
        const uchar cFlag = cur.readU8();
        pEntry->m_bCompressed = cFlag != 0;
        if (pEntry->m_bCompressed)
            pEntry->m_nUnpackedSize = cur.readU32();
        if (cur.m_bFailed)
        {
            delete pEntry;
            return failOpen("truncated entry header (sizes)", nSizeAt);
        }
        if (static_cast<long>(pEntry->m_nSize) > cur.left())
        {
            delete pEntry;
            return failOpen("stored size runs past the end of the file", nSizeAt);
        }
        if (pEntry->m_bCompressed && (pEntry->m_nUnpackedSize > kMaxFileSize ||
                                      static_cast<unsigned long long>(pEntry->m_nUnpackedSize) >
                                          static_cast<unsigned long long>(pEntry->m_nSize) * kMaxExpansion))
        {
            delete pEntry;
            return failOpen("unpacked size larger than LZO can expand the stored size to", nSizeAt + 5);
        }
        pEntry->m_nOffset = static_cast<int32_t>(cur.m_nPos);
        if (!cur.skip(static_cast<long>(pEntry->m_nSize)))
        {
            delete pEntry;
            return failOpen("cannot seek over the data", cur.m_nPos);
        }
        if (!m_lEntry.add(pEntry, true))
        {
            delete pEntry;
            return failOpen("out of memory", nEntryStart);
        }
    }
    return true;
}

void qor_cMonofiler::makeLookupName(cchar * szName, char * pOut)
{
    size_t n = 0;
    for (; szName && szName[n] && n < kMaxNameLength; ++n)
    {
        const char c = static_cast<char>(std::tolower(static_cast<uchar>(szName[n])));
        pOut[n] = c == '/' ? '\\' : c;
    }
    pOut[n] = 0;
}

int qor_cMonofiler::findEntry(cchar * szName) const
{
    if (!szName)
        return -1;
    char acLookup[kMaxNameLength + 1];
    makeLookupName(szName, acLookup);
    for (int i = 0; i < m_lEntry.getNbItem(); ++i)
    {
        const qor_sMonofilerEntry * pEntry = m_lEntry.get<qor_sMonofilerEntry>(i);
        if (std::strstr(pEntry->m_szName, acLookup))
            return i;
    }
    return -1;
}

namespace
{
qor_cMonofiler::LookupObserver s_pfnLookupObserver = nullptr;
void * s_pLookupObserverUser = nullptr;
} // namespace

void qor_cMonofiler::setLookupObserver(LookupObserver pfnObserver, void * pUser)
{
    s_pfnLookupObserver = pfnObserver;
    s_pLookupObserverUser = pUser;
}

bool qor_cMonofiler::findFile(cchar * szName, FILE ** ppFile, uint * pSize, bool * pbCompressed, uint * pUnpackedSize)
{
    if (!szName)
        return false;
    if (s_pfnLookupObserver)
        s_pfnLookupObserver(szName, s_pLookupObserverUser);
    if (ppFile)
        *ppFile = nullptr;
    if (pSize)
        *pSize = 0;
    if (pbCompressed)
        *pbCompressed = false;
    if (pUnpackedSize)
        *pUnpackedSize = 0;

    const int iEntry = findEntry(szName);
    if (iEntry >= 0)
    {
        const qor_sMonofilerEntry * pEntry = m_lEntry.get<qor_sMonofilerEntry>(iEntry);
        // A builder's entries have no pack file behind them (nothing to position).
        if (m_pFile && std::fseek(m_pFile, pEntry->m_nOffset, SEEK_SET) == 0 && ppFile)
            *ppFile = m_pFile;
        if (pSize)
            *pSize = pEntry->m_nSize;
        if (pbCompressed)
            *pbCompressed = pEntry->m_bCompressed;
        if (pEntry->m_bCompressed && pUnpackedSize)
            *pUnpackedSize = pEntry->m_nUnpackedSize;
        return true;
    }

    // Not in the pack: the disk file of that name, exactly as requested. Its size is reported
    // whatever it is (a reader refuses one over kMaxFileSize); only a regular file has one.
    long long nSize = 0;
    FILE * pFile = openDiskFile(szName, &nSize, UINT64_MAX);
    if (pFile)
    {
        if (pSize)
            *pSize = clampSize(nSize);
        std::fclose(pFile);
    }
    return false;
}

FILE * qor_cMonofiler::getFile(cchar * szName)
{
    FILE * pFile = nullptr;
    uint nSize = 0;
    bool bCompressed = false;
    if (!findFile(szName, &pFile, &nSize, &bCompressed))
        return nullptr;
    return pFile;
}

uint qor_cMonofiler::getFileSize(cchar * szName)
{
    uint nSize = 0;
    bool bCompressed = false;
    FILE * pFile = nullptr;
    findFile(szName, &pFile, &nSize, &bCompressed);
    return nSize;
}

char * qor_cMonofiler::loadFile(cchar * szName, uint * pSize)
{
    if (pSize)
        *pSize = 0;
    FILE * pFile = nullptr;
    uint nSize = 0, nUnpacked = 0;
    bool bCompressed = false;
    findFile(szName, &pFile, &nSize, &bCompressed, &nUnpacked);
    const uint nBufferSize = bCompressed ? nUnpacked : nSize;
    if (pSize)
        *pSize = nBufferSize;
    if (!szName || nBufferSize > kMaxFileSize)
        return nullptr;
    char * pBuffer = new (std::nothrow) char[nBufferSize];
    if (!pBuffer)
        return nullptr;
    if (!loadFileInto(szName, pBuffer, nBufferSize))
    {
        delete[] pBuffer;
        return nullptr;
    }
    return pBuffer;
}

bool qor_cMonofiler::readEntryData(const qor_sMonofilerEntry * pEntry, char * pBuffer, uint nCapacity)
{
    if (!m_pFile || std::fseek(m_pFile, pEntry->m_nOffset, SEEK_SET) != 0)
        return false;
    if (!pEntry->m_bCompressed)
    {
        if (nCapacity < pEntry->m_nSize)
            return false;
        return pEntry->m_nSize == 0 || std::fread(pBuffer, 1, pEntry->m_nSize, m_pFile) == pEntry->m_nSize;
    }
    if (nCapacity < pEntry->m_nUnpackedSize || !qoru_lzoInit())
        return false;
    // One read of the stored bytes into a temporary, one decompression call. The stored size
    // was checked against the pack's size by open().
    uchar * pTemp = new (std::nothrow) uchar[pEntry->m_nSize ? pEntry->m_nSize : 1];
    if (!pTemp)
        return false;
    bool bOk = pEntry->m_nSize == 0 || std::fread(pTemp, 1, pEntry->m_nSize, m_pFile) == pEntry->m_nSize;
    if (bOk)
    {
        lzo_uint nOut = nCapacity;
        const int iRet =
            lzo1x_decompress_safe(pTemp, pEntry->m_nSize, reinterpret_cast<lzo_bytep>(pBuffer), &nOut, nullptr);
        bOk = iRet == LZO_E_OK && nOut == pEntry->m_nUnpackedSize;
    }
    delete[] pTemp;
    return bOk;
}

bool qor_cMonofiler::loadFileInto(cchar * szName, char * pBuffer, uint nCapacity)
{
    if (!szName || !pBuffer)
        return false;
    if (s_pfnLookupObserver)
        s_pfnLookupObserver(szName, s_pLookupObserverUser);
    const int iEntry = findEntry(szName);
    if (iEntry >= 0)
        return readEntryData(m_lEntry.get<qor_sMonofilerEntry>(iEntry), pBuffer, nCapacity);

    // Not in the pack: the disk file, read plain, closed before returning.
    long long nSize = 0;
    FILE * pFile = openDiskFile(szName, &nSize);
    if (!pFile)
        return false;
    bool bOk = nSize <= static_cast<long long>(nCapacity);
    if (bOk && nSize > 0)
        bOk = std::fread(pBuffer, 1, static_cast<size_t>(nSize), pFile) == static_cast<size_t>(nSize);
    std::fclose(pFile);
    return bOk;
}

bool qor_cMonofiler::getEntryInfo(uint nIndex, cchar ** pszName, uint * pSize, bool * pbCompressed,
                                  uint * pUnpackedSize) const
{
    const qor_sMonofilerEntry * pEntry = getEntry(nIndex);
    if (!pEntry)
        return false;
    if (pszName)
        *pszName = pEntry->m_szName;
    if (pSize)
        *pSize = pEntry->m_nSize;
    if (pbCompressed)
        *pbCompressed = pEntry->m_bCompressed;
    if (pUnpackedSize)
        *pUnpackedSize = pEntry->m_bCompressed ? pEntry->m_nUnpackedSize : 0;
    return true;
}

const qor_sMonofilerEntry * qor_cMonofiler::getEntry(uint nIndex) const
{
    if (nIndex >= getNbEntry())
        return nullptr;
    return m_lEntry.get<qor_sMonofilerEntry>(static_cast<int>(nIndex));
}

char * qor_cMonofiler::loadEntry(uint nIndex, uint * pSize)
{
    if (pSize)
        *pSize = 0;
    const qor_sMonofilerEntry * pEntry = getEntry(nIndex);
    if (!pEntry)
        return nullptr;
    const uint nBufferSize = pEntry->m_bCompressed ? pEntry->m_nUnpackedSize : pEntry->m_nSize;
    if (pSize)
        *pSize = nBufferSize;
    if (nBufferSize > kMaxFileSize)
        return nullptr;
    char * pBuffer = new (std::nothrow) char[nBufferSize];
    if (!pBuffer)
        return nullptr;
    if (!readEntryData(pEntry, pBuffer, nBufferSize))
    {
        delete[] pBuffer;
        return nullptr;
    }
    return pBuffer;
}

bool qor_cMonofiler::addFile(cchar * szPath, bool bCompress)
{
    if (!szPath || std::strlen(szPath) > kMaxNameLength)
        return false;
    long long nSize = 0;
    FILE * pFile = openDiskFile(szPath, &nSize);
    if (!pFile)
        return false;
    std::fclose(pFile);
    if (nSize > static_cast<long long>(kMaxFileSize))
        return false;
    if (findEntry(szPath) >= 0)
        return true;

    qor_sMonofilerEntry * pEntry = new (std::nothrow) qor_sMonofilerEntry;
    if (!pEntry)
        return false;
    pEntry->m_szName = new (std::nothrow) char[std::strlen(szPath) + 1];
    pEntry->m_szSourcePath = copyText(szPath);
    if (!pEntry->m_szName || !pEntry->m_szSourcePath)
    {
        delete pEntry;
        return false;
    }
    makeLookupName(szPath, pEntry->m_szName);
    pEntry->m_nNameLength = static_cast<uint>(std::strlen(pEntry->m_szName));
    pEntry->m_nSize = static_cast<uint>(nSize);
    pEntry->m_bCompressRequest = bCompress;
    if (!m_lEntry.add(pEntry, true))
    {
        delete pEntry;
        return false;
    }
    return true;
}

bool qor_cMonofiler::save(cchar * szPath, std::string * pstrError)
{
    if (m_pFile)
    {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
    if (pstrError)
        pstrError->clear();
    qor_sOutputFile out;
    FILE * pOut = qoru_beginOutput(&out, szPath, nullptr, pstrError);
    if (!pOut)
        return false;
    bool bOk = writeU32(pOut, m_nMagic) && writeU32(pOut, getNbEntry());
    long long nPos = 8;
    for (uint i = 0; bOk && i < getNbEntry(); ++i)
    {
        qor_sMonofilerEntry * pEntry = m_lEntry.get<qor_sMonofilerEntry>(static_cast<int>(i));
        cchar * szSource = pEntry->m_szSourcePath ? pEntry->m_szSourcePath : pEntry->m_szName;
        long long nSize = 0;
        std::string strWhy;
        FILE * pIn = openDiskFile(szSource, &nSize, kMaxFileSize, &strWhy);
        if (!pIn)
        {
            if (pstrError)
                *pstrError = std::string(szSource) + ": " + strWhy;
            bOk = false;
            break;
        }
        const uint nFileSize = static_cast<uint>(nSize);
        uchar * pData = new (std::nothrow) uchar[nFileSize ? nFileSize : 1];
        bOk = pData && (nFileSize == 0 || std::fread(pData, 1, nFileSize, pIn) == nFileSize);
        std::fclose(pIn);

        const uchar * pWrite = pData;
        uint nWrite = nFileSize;
        uchar * pPacked = nullptr;
        pEntry->m_bCompressed = false;
        pEntry->m_nUnpackedSize = 0;
        if (bOk && pEntry->m_bCompressRequest && nFileSize > 0 && qoru_lzoInit())
        {
            // LZO1X-1's worst case: the input plus a sixteenth, plus 64 + 3 bytes.
            const size_t nBound = static_cast<size_t>(nFileSize) + nFileSize / 16 + 64 + 3;
            pPacked = new (std::nothrow) uchar[nBound];
            lzo_uint nPacked = nBound;
            if (pPacked && lzo1x_1_11_compress(pData, nFileSize, pPacked, &nPacked, s_pLzoWork) == LZO_E_OK &&
                nPacked < nFileSize)
            {
                pEntry->m_bCompressed = true;
                pEntry->m_nUnpackedSize = nFileSize;
                pWrite = pPacked;
                nWrite = static_cast<uint>(nPacked);
            }
        }
        pEntry->m_nSize = nWrite;
        const uint nNameLength = static_cast<uint>(std::strlen(pEntry->m_szName));
        const long long nDataPos = nPos + 4 + nNameLength + 4 + 1 + (pEntry->m_bCompressed ? 4 : 0);
        // Offsets are 32-bit signed in the reader: refuse a pack that would outgrow them.
        if (nDataPos + nWrite > INT32_MAX)
            bOk = false;
        if (bOk)
        {
            const uchar cFlag = pEntry->m_bCompressed ? 1 : 0;
            bOk = writeU32(pOut, nNameLength) && std::fwrite(pEntry->m_szName, 1, nNameLength, pOut) == nNameLength &&
                  writeU32(pOut, nWrite) && std::fwrite(&cFlag, 1, 1, pOut) == 1 &&
                  (!pEntry->m_bCompressed || writeU32(pOut, pEntry->m_nUnpackedSize)) &&
                  (nWrite == 0 || std::fwrite(pWrite, 1, nWrite, pOut) == nWrite);
            pEntry->m_nOffset = static_cast<int32_t>(nDataPos);
            nPos = nDataPos + nWrite;
        }
        delete[] pPacked;
        delete[] pData;
    }
    if (!bOk)
    {
        if (pstrError && pstrError->empty())
            *pstrError = "a file could not be read or compressed, a write failed, or the pack would pass 2 GiB";
        qoru_abortOutput(&out);
        return false;
    }
    return qoru_commitOutput(&out, pstrError);
}
