#include "qor_cConfigFile.h"

#include "qor_fileUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

struct qor_sConfigPair
{
    qor_cString m_strKey;
    qor_cString m_strValue;
};

// A section: its pairs in file order and, so that a section of many keys loads in linear
// time, an index from key text to its pair. (std::vector rather than qor_cList, which grows
// in fixed blocks: a file of many sections or keys must not cost quadratic copying.)
struct qor_sConfigSection
{
    qor_cString m_strName;
    std::vector<std::unique_ptr<qor_sConfigPair>> m_vPair;
    std::unordered_map<std::string, qor_sConfigPair *> m_mapPair;
};

namespace
{
typedef qor_sConfigSection Section;
typedef qor_sConfigPair Pair;
// The whole file in memory, positions being byte offsets as ftell gives them.
struct Text
{
    const char * m_p;
    size_t m_n;

    bool isBreak(size_t i) const { return m_p[i] == '\n' || (m_p[i] == '\r' && i + 1 < m_n && m_p[i + 1] == '\n'); }
    size_t breakLength(size_t i) const { return m_p[i] == '\n' ? 1 : 2; }

    // Reads a line at nPos: leading line breaks skipped, then at most kMaxLine characters that
    // must be followed by a line break. True: the text is [*pStart, *pStart + *pLength) and
    // *pNext is after the break. False: *pNext is where the reader stopped.
    bool readLine(size_t nPos, size_t * pStart, size_t * pLength, size_t * pNext) const
    {
        while (nPos < m_n && isBreak(nPos))
            nPos += breakLength(nPos);
        const size_t nStart = nPos;
        while (nPos < m_n)
        {
            if (isBreak(nPos))
            {
                *pStart = nStart;
                *pLength = nPos - nStart;
                *pNext = nPos + breakLength(nPos);
                return true;
            }
            if (nPos - nStart == qor_cConfigFile::kMaxLine)
                break;
            ++nPos;
        }
        *pNext = nPos;
        return false;
    }

    // Copies [nStart, nStart + nLength) (at most kMaxLine characters) as a C string.
    void copy(size_t nStart, size_t nLength, char * pOut) const
    {
        if (nLength > qor_cConfigFile::kMaxLine)
            nLength = qor_cConfigFile::kMaxLine;
        std::memcpy(pOut, m_p + nStart, nLength);
        pOut[nLength] = 0;
    }

    size_t find(char c, size_t nFrom) const
    {
        if (nFrom >= m_n)
            return m_n;
        const void * p = std::memchr(m_p + nFrom, c, m_n - nFrom);
        return p ? static_cast<size_t>(static_cast<const char *>(p) - m_p) : m_n;
    }
};

// Reads the rest of the stream, at most nMax bytes, into a new malloc'ed buffer; null on a
// read failure, when memory runs out or when the stream holds more than nMax bytes.
char * readAll(FILE * pFile, size_t nMax, size_t * pnSize)
{
    size_t nCap = 4096, nSize = 0;
    char * p = static_cast<char *>(std::malloc(nCap));
    while (p)
    {
        const size_t nRead = std::fread(p + nSize, 1, nCap - nSize, pFile);
        nSize += nRead;
        if (nSize > nMax)
            break;
        if (nSize < nCap)
        {
            if (std::ferror(pFile))
                break;
            *pnSize = nSize;
            return p;
        }
        // Never more than nMax + 1 bytes: the one byte that proves the file too large.
        const size_t nGrown = nCap * 2 > nMax + 1 ? nMax + 1 : nCap * 2;
        char * pGrown = static_cast<char *>(std::realloc(p, nGrown));
        if (!pGrown)
            break;
        p = pGrown;
        nCap = nGrown;
    }
    std::free(p);
    return nullptr;
}
} // namespace

qor_cConfigFile::qor_cConfigFile() : m_pFile(nullptr) {}

qor_cConfigFile::~qor_cConfigFile()
{
    if (m_pFile)
        std::fclose(m_pFile);
}

qor_sConfigSection * qor_cConfigFile::findSection(cchar * szSection) const
{
    const auto it = m_mapSection.find(szSection);
    return it == m_mapSection.end() ? nullptr : it->second;
}

cchar * qor_cConfigFile::getSectionName(int iIndex) const
{
    if (iIndex < 0 || static_cast<size_t>(iIndex) >= m_vSection.size())
        return nullptr;
    return m_vSection[static_cast<size_t>(iIndex)]->m_strName.get();
}

int qor_cConfigFile::getNbKey(cchar * szSection) const
{
    const Section * pSection = findSection(szSection ? szSection : "");
    return pSection ? static_cast<int>(pSection->m_vPair.size()) : 0;
}

cchar * qor_cConfigFile::getKeyName(cchar * szSection, int iIndex) const
{
    const Section * pSection = findSection(szSection ? szSection : "");
    if (!pSection || iIndex < 0 || static_cast<size_t>(iIndex) >= pSection->m_vPair.size())
        return nullptr;
    return pSection->m_vPair[static_cast<size_t>(iIndex)]->m_strKey.get();
}

cchar * qor_cConfigFile::getValue(cchar * szSection, cchar * szKey) const
{
    if (!szSection || !szKey)
        return nullptr;
    const Section * pSection = findSection(szSection);
    if (!pSection)
        return nullptr;
    const auto it = pSection->m_mapPair.find(szKey);
    return it == pSection->m_mapPair.end() ? nullptr : it->second->m_strValue.get();
}

bool qor_cConfigFile::setValue(cchar * szSection, cchar * szKey, cchar * szValue)
{
    if (!szSection || !szKey)
        return false;
    Section * pSection = findSection(szSection);
    try
    {
        if (!pSection)
        {
            std::unique_ptr<Section> pNew(new Section);
            if (!pNew->m_strName.set(szSection))
                return false;
            pSection = pNew.get();
            m_vSection.push_back(std::move(pNew));
            m_mapSection.emplace(szSection, pSection);
        }
        const auto it = pSection->m_mapPair.find(szKey);
        if (it != pSection->m_mapPair.end())
            return it->second->m_strValue.set(szValue);
        std::unique_ptr<Pair> pPair(new Pair);
        if (!pPair->m_strKey.set(szKey) || !pPair->m_strValue.set(szValue))
            return false;
        pSection->m_mapPair.emplace(szKey, pPair.get());
        pSection->m_vPair.push_back(std::move(pPair));
    }
    catch (const std::bad_alloc &)
    {
        return false; // the index could not grow: memory has run out
    }
    return true;
}

void qor_cConfigFile::noteSkipped(cchar * szSection, cchar * szKey)
{
    try
    {
        m_vSkipped.emplace_back(szSection, szKey);
    }
    catch (const std::bad_alloc &)
    {
        // Only a note for the reader: the file's own rules lose nothing without it.
    }
}

bool qor_cConfigFile::load(cchar * szPath)
{
    if (m_pFile)
    {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
    m_mapSection.clear();
    m_vSection.clear();
    m_strError.clear();
    m_vSkipped.clear();
    if (!szPath)
        return false;
    // "a+" creates an empty file when none exists; a read-only file still opens with "r". Both
    // go through the file layer: a regular file only, opened without blocking.
    std::string strWhy;
    m_pFile = qoru_fopenWrite(szPath, "a+", &strWhy);
    if (!m_pFile && strWhy.find("not a regular file") == std::string::npos)
        m_pFile = qoru_fopenRead(szPath, kMaxFileSize, nullptr, &strWhy);
    if (!m_pFile)
    {
        m_strError = strWhy;
        return false;
    }
    std::rewind(m_pFile);
    size_t nSize = 0;
    char * pData = readAll(m_pFile, kMaxFileSize, &nSize);
    if (!pData)
    {
        m_strError = "cannot be read (larger than " + std::to_string(kMaxFileSize) + " bytes, or out of memory)";
        return false;
    }
    const Text text = {pData, nSize};

    // 1. The position of every "[": the section starts.
    size_t nStarts = 0;
    for (size_t i = text.find('[', 0); i < nSize; i = text.find('[', i + 1))
        ++nStarts;
    size_t * pStart = static_cast<size_t *>(std::malloc((nStarts ? nStarts : 1) * sizeof(size_t)));
    if (!pStart)
    {
        std::free(pData);
        return false;
    }
    nStarts = 0;
    for (size_t i = text.find('[', 0); i < nSize; i = text.find('[', i + 1))
        pStart[nStarts++] = i;

    bool bOk = true;
    size_t nPos = 0;
    size_t iSection = 0; // index into pStart of the section being read
    struct
    {
        size_t m_nFrom, m_nAt; // the last "=" search: no "=" in [m_nFrom, m_nAt)
        size_t m_nScanLow;     // how far back from m_nAt the line start was looked for
        bool m_bLineStart;     // m_nScanLow is the start of m_nAt's line
        bool m_bValueRead, m_bValueOk;
        size_t m_nValueStart, m_nValueLength, m_nValueNext;
    } eq = {SIZE_MAX, SIZE_MAX, 0, false, false, false, 0, 0, 0};
    char acName[kMaxLine + 1], acKey[kMaxLine + 1], acValue[kMaxLine + 1], acOther[kMaxLine + 1];
    // The name of the section whose "[" comes last before nAt: a skipped line is noted under
    // the section it stands in, which may be after the one being read.
    auto sectionAt = [&](size_t nAt) -> cchar * {
        const size_t * pAfter = std::upper_bound(pStart, pStart + nStarts, nAt);
        if (pAfter == pStart || pAfter - 1 <= pStart + iSection)
            return acName;
        size_t nStart = 0, nLen = 0, nAfter = 0;
        if (!text.readLine(pAfter[-1] + 1, &nStart, &nLen, &nAfter))
            return acName;
        text.copy(nStart, nLen ? nLen - 1 : 0, acOther);
        return acOther;
    };
    // 2. and 4. From the current position, the next "[" starts a section. Each pass starts at
    // a "[" after the previous one, so the loop ends.
    while (bOk)
    {
        const size_t nBracket = text.find('[', nPos);
        if (nBracket >= nSize)
            break;
        while (iSection < nStarts && pStart[iSection] < nBracket)
            ++iSection;
        size_t nLineStart = 0, nLength = 0, nNext = 0;
        // A section name line that cannot be read ends the parse (nothing after it is found).
        if (!text.readLine(nBracket + 1, &nLineStart, &nLength, &nNext))
            break;
        text.copy(nLineStart, nLength ? nLength - 1 : 0, acName);
        nPos = nNext;

        // 3. The keys of this section.
        for (;;)
        {
            // A section that gives a key line back to the next one leaves the same "=" to be
            // found again from an earlier position; everything derived from one "=" is kept, so
            // that headers piled before a key cost one scan in all, not one each.
            if (nPos < eq.m_nFrom || nPos > eq.m_nAt)
            {
                eq.m_nFrom = nPos;
                const size_t nAt = text.find('=', nPos);
                if (nAt != eq.m_nAt)
                {
                    eq.m_nAt = nAt;
                    eq.m_nScanLow = nAt;
                    eq.m_bLineStart = false;
                    eq.m_bValueRead = false;
                }
            }
            const size_t nEqual = eq.m_nAt;
            if (nEqual >= nSize)
            {
                nPos = nSize;
                break;
            }
            // The line that holds the "=": back to the previous line break, not before nPos
            // (which has no "=" between it and nEqual).
            if (!eq.m_bLineStart)
            {
                while (eq.m_nScanLow > nPos && text.m_p[eq.m_nScanLow - 1] != '\n')
                    --eq.m_nScanLow;
                eq.m_bLineStart = eq.m_nScanLow > 0 && text.m_p[eq.m_nScanLow - 1] == '\n';
            }
            const size_t nKeyLine = eq.m_nScanLow > nPos ? eq.m_nScanLow : nPos;
            if (!text.readLine(nKeyLine, &nLineStart, &nLength, &nNext))
            {
                size_t nKeyStart = nKeyLine;
                while (nKeyStart < nEqual && text.isBreak(nKeyStart))
                    nKeyStart += text.breakLength(nKeyStart);
                text.copy(nKeyStart, nEqual > nKeyStart ? nEqual - nKeyStart : 0, acKey);
                noteSkipped(sectionAt(nEqual), acKey);
                nPos = nNext; // unreadable key line: the section ends
                break;
            }
            text.copy(nLineStart, nEqual - nLineStart, acKey);
            if (!eq.m_bValueRead)
            {
                eq.m_bValueRead = true;
                eq.m_bValueOk = text.readLine(nEqual + 1, &eq.m_nValueStart, &eq.m_nValueLength, &eq.m_nValueNext);
            }
            nLineStart = eq.m_nValueStart;
            nLength = eq.m_nValueLength;
            nNext = eq.m_nValueNext;
            if (!eq.m_bValueOk)
            {
                noteSkipped(sectionAt(nEqual), acKey);
                nPos = nNext; // unreadable value: this key is skipped
                continue;
            }
            text.copy(nLineStart, nLength, acValue);
            nPos = nNext;
            if (iSection + 1 < nStarts && nPos > pStart[iSection + 1])
            {
                nPos = pStart[iSection + 1]; // the line belongs to the next section
                break;
            }
            if (!setValue(acName, acKey, acValue))
            {
                bOk = false;
                break;
            }
        }
    }
    std::free(pStart);
    std::free(pData);
    return bOk;
}
