#include "qor_cString.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
char * dupText(cchar * sz, size_t n)
{
    char * p = static_cast<char *>(std::malloc(n + 1));
    if (!p)
        return nullptr;
    std::memcpy(p, sz, n);
    p[n] = 0;
    return p;
}

bool matchAt(cchar * szHay, cchar * szNeedle, size_t n, bool bCaseSensitive)
{
    if (bCaseSensitive)
        return std::strncmp(szHay, szNeedle, n) == 0;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<uchar>(szHay[i])) != std::tolower(static_cast<uchar>(szNeedle[i])))
            return false;
    return true;
}
} // namespace

qor_cString::qor_cString() : m_sz(nullptr) {}
qor_cString::qor_cString(cchar * sz) : m_sz(nullptr) { set(sz); }
qor_cString::qor_cString(const qor_cString & str) : m_sz(nullptr) { set(str.m_sz); }
qor_cString::qor_cString(int i) : m_sz(nullptr) { printf("%d", i); }
qor_cString::qor_cString(float f) : m_sz(nullptr) { printf("%g", static_cast<double>(f)); }
qor_cString::~qor_cString() { std::free(m_sz); }

qor_cString & qor_cString::operator=(const qor_cString & str)
{
    if (this != &str)
        set(str.m_sz);
    return *this;
}

qor_cString & qor_cString::operator=(cchar * sz)
{
    set(sz);
    return *this;
}

bool qor_cString::set(cchar * sz)
{
    if (!sz)
    {
        std::free(m_sz);
        m_sz = nullptr;
        return true;
    }
    if (sz == m_sz)
        return true;
    char * p = dupText(sz, std::strlen(sz));
    if (!p)
        return false;
    std::free(m_sz);
    m_sz = p;
    return true;
}

int qor_cString::length() const { return m_sz ? static_cast<int>(std::strlen(m_sz)) : 0; }

bool qor_cString::reserve(int n)
{
    if (n < 0)
        return false;
    const int nLen = length();
    if (n <= nLen)
        return true;
    char * p = static_cast<char *>(std::realloc(m_sz, static_cast<size_t>(n) + 1));
    if (!p)
        return false;
    if (!m_sz)
        p[0] = 0;
    m_sz = p;
    return true;
}

bool qor_cString::printf(cchar * szFormat, ...)
{
    if (!szFormat)
        return set(nullptr);
    size_t nScratch = std::strlen(szFormat) * 10;
    if (nScratch < 4096)
        nScratch = 4096;
    char * pScratch = static_cast<char *>(std::malloc(nScratch));
    if (!pScratch)
        return false;
    va_list args;
    va_start(args, szFormat);
    const int n = std::vsnprintf(pScratch, nScratch, szFormat, args);
    va_end(args);
    bool bRet = false;
    if (n >= 0)
    {
        // Output longer than the scratch buffer is cut at its size rather than overflowing it.
        const size_t nLen = static_cast<size_t>(n) < nScratch ? static_cast<size_t>(n) : nScratch - 1;
        char * p = dupText(pScratch, nLen);
        if (p)
        {
            std::free(m_sz);
            m_sz = p;
            bRet = true;
        }
    }
    std::free(pScratch);
    return bRet;
}

bool qor_cString::append(cchar * sz)
{
    if (!sz || !*sz)
        return true;
    const size_t nOld = m_sz ? std::strlen(m_sz) : 0;
    const size_t nAdd = std::strlen(sz);
    char * p = static_cast<char *>(std::malloc(nOld + nAdd + 1));
    if (!p)
        return false;
    if (nOld)
        std::memcpy(p, m_sz, nOld);
    std::memcpy(p + nOld, sz, nAdd + 1);
    std::free(m_sz);
    m_sz = p;
    return true;
}

qor_cString qor_cString::operator+(const qor_cString & str) const { return *this + str.m_sz; }

qor_cString qor_cString::operator+(cchar * sz) const
{
    qor_cString str(*this);
    str.append(sz);
    return str;
}

qor_cString & qor_cString::operator+=(cchar * sz)
{
    append(sz);
    return *this;
}

bool qor_cString::operator==(const qor_cString & str) const { return *this == str.m_sz; }
bool qor_cString::operator==(cchar * sz) const { return std::strcmp(get(), sz ? sz : "") == 0; }

void qor_cString::toLower()
{
    for (char * p = m_sz; p && *p; ++p)
        *p = static_cast<char>(std::tolower(static_cast<uchar>(*p)));
}

void qor_cString::toUpper()
{
    for (char * p = m_sz; p && *p; ++p)
        *p = static_cast<char>(std::toupper(static_cast<uchar>(*p)));
}

int qor_cString::find(cchar * sz, int iFrom, bool bCaseSensitive) const
{
    if (!sz)
        return -1;
    const int nLen = length();
    const int nSub = static_cast<int>(std::strlen(sz));
    if (iFrom < 0)
        iFrom = 0;
    for (int i = iFrom; i + nSub <= nLen; ++i)
        if (matchAt(m_sz + i, sz, static_cast<size_t>(nSub), bCaseSensitive))
            return i;
    return -1;
}

int qor_cString::rfind(cchar * sz, int iFrom, bool bCaseSensitive) const
{
    if (!sz)
        return -1;
    const int nLen = length();
    const int nSub = static_cast<int>(std::strlen(sz));
    int i = nLen - nSub;
    if (iFrom >= 0 && iFrom < i)
        i = iFrom;
    for (; i >= 0; --i)
        if (matchAt(m_sz + i, sz, static_cast<size_t>(nSub), bCaseSensitive))
            return i;
    return -1;
}

qor_cString qor_cString::sub(int iStart, int n) const
{
    qor_cString str;
    const int nLen = length();
    if (iStart < 0)
        iStart = 0;
    if (iStart >= nLen || n <= 0)
        return str;
    if (n > nLen - iStart)
        n = nLen - iStart;
    char * p = dupText(m_sz + iStart, static_cast<size_t>(n));
    if (p)
        str.m_sz = p;
    return str;
}

void qor_cString::splitPath(qor_cString * pFolder, qor_cString * pFile, qor_cString * pExt) const
{
    int iSep = rfind("/");
    if (iSep < 0)
        iSep = rfind("\\");
    const int nLen = length();
    const qor_cString strFile = sub(iSep + 1, nLen - iSep - 1);
    if (pFolder)
        *pFolder = sub(0, iSep + 1);
    if (pExt)
    {
        const int iDot = strFile.rfind(".");
        *pExt = iDot < 0 ? qor_cString() : strFile.sub(iDot + 1, strFile.length() - iDot - 1);
    }
    if (pFile)
        *pFile = strFile;
}
