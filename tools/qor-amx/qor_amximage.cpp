// The image writer and the compact encoding (library qor_amxasm).
#include "qor_amxasm.h"

#include <cstring>

static void put32(std::vector<unsigned char> * p, uint32_t v)
{
    p->push_back((unsigned char)v);
    p->push_back((unsigned char)(v >> 8));
    p->push_back((unsigned char)(v >> 16));
    p->push_back((unsigned char)(v >> 24));
}

void qoru_amxCompactCells(const cell * pCells, size_t nCells, std::vector<unsigned char> * pOut)
{
    // As the old compiler's write_encoded: five groups of 7 bits, leading groups dropped while
    // the next one keeps the sign (bit 0x40), high group first, 0x80 on all but the last byte.
    for (size_t i = 0; i < nCells; i++)
    {
        ucell p = (ucell)pCells[i];
        unsigned char t[5];
        int index;
        for (index = 0; index < 5; index++)
        {
            t[index] = (unsigned char)(p & 0x7f);
            p >>= 7;
        }
        while (index > 1 && t[index - 1] == 0 && (t[index - 2] & 0x40) == 0)
            index--;
        if (index == 5 && t[index - 1] == 0x0f && (t[index - 2] & 0x40) != 0)
            index--;
        while (index > 1 && t[index - 1] == 0x7f && (t[index - 2] & 0x40) != 0)
            index--;
        while (index-- > 0)
            pOut->push_back((unsigned char)(index == 0 ? t[index] : (t[index] | 0x80)));
    }
}

bool qoru_amxExpandCells(const unsigned char * p, size_t n, size_t nCells, std::vector<cell> * pOut)
{
    std::vector<cell> out(nCells);
    size_t mem = nCells;
    while (n > 0)
    {
        ucell c = 0;
        int shift = 0;
        int nBytes = 0;
        do
        {
            n--;
            if (++nBytes > 5)
                return false;
            c |= (ucell)(p[n] & 0x7f) << shift;
            shift += 7;
        } while (n > 0 && (p[n - 1] & 0x80) != 0);
        if (p[n] & 0x40)
            for (; shift < 32; shift += 8)
                c |= (ucell)0xff << shift;
        if (mem == 0)
            return false;
        out[--mem] = (cell)c;
    }
    if (mem != 0)
        return false;
    pOut->swap(out);
    return true;
}

static bool putTable(std::vector<unsigned char> * pOut, const std::vector<qor_sAmxEntry> & a, std::string * pError)
{
    for (const qor_sAmxEntry & e : a)
    {
        if (e.strName.size() > AMX_NAMEMAX || e.strName.find('\0') != std::string::npos)
        {
            if (pError)
                *pError = "name longer than 19 characters: " + e.strName;
            return false;
        }
        put32(pOut, (uint32_t)e.address);
        char name[AMX_NAMEMAX + 1] = {};
        memcpy(name, e.strName.data(), e.strName.size());
        pOut->insert(pOut->end(), name, name + sizeof name);
    }
    return true;
}

bool qoru_amxWriteImage(const qor_sAmxImage & img, std::vector<unsigned char> * pOut, AMX_HEADER * pHdr,
                        std::string * pError)
{
    const size_t nTables[4] = {img.aPublics.size(), img.aNatives.size(), img.aLibraries.size(), img.aPubvars.size()};
    for (size_t n : nTables)
    {
        if (n > 32767)
        {
            if (pError)
                *pError = "more than 32767 records in a table";
            return false;
        }
    }
    int64_t publics = AMX_HEADER_SIZE;
    int64_t natives = publics + AMX_DEFSIZE * (int64_t)nTables[0];
    int64_t libraries = natives + AMX_DEFSIZE * (int64_t)nTables[1];
    int64_t pubvars = libraries + AMX_DEFSIZE * (int64_t)nTables[2];
    int64_t cod = pubvars + AMX_DEFSIZE * (int64_t)nTables[3];
    int64_t dat = cod + 4 * (int64_t)img.aCode.size();
    int64_t hea = dat + 4 * (int64_t)img.aData.size();
    int64_t stp = hea + 4 * (int64_t)img.nStackCells;
    if (img.nStackCells < 0 || stp >= 0x7FFFFFFF)
    {
        if (pError)
            *pError = "image larger than 2 GB, or a negative stack size";
        return false;
    }

    AMX_HEADER h = {};
    h.magic = AMX_MAGIC;
    h.file_version = img.fileVersion;
    h.amx_version = img.amxVersion;
    h.flags = (int16_t)(img.extraFlags | (img.bCompact ? AMX_FLAG_COMPACT : 0));
    h.defsize = AMX_DEFSIZE;
    h.cod = (int32_t)cod;
    h.dat = (int32_t)dat;
    h.hea = (int32_t)hea;
    h.stp = (int32_t)stp;
    h.cip = img.cip;
    h.num_publics = (int16_t)nTables[0];
    h.publics = (int32_t)publics;
    h.num_natives = (int16_t)nTables[1];
    h.natives = (int32_t)natives;
    h.num_libraries = (int16_t)nTables[2];
    h.libraries = (int32_t)libraries;
    h.num_pubvars = (int16_t)nTables[3];
    h.pubvars = (int32_t)pubvars;

    std::vector<unsigned char> out(AMX_HEADER_SIZE);
    if (!putTable(&out, img.aPublics, pError) || !putTable(&out, img.aNatives, pError) ||
        !putTable(&out, img.aLibraries, pError) || !putTable(&out, img.aPubvars, pError))
        return false;
    if (img.bCompact)
    {
        std::vector<cell> all(img.aCode);
        all.insert(all.end(), img.aData.begin(), img.aData.end());
        qoru_amxCompactCells(all.data(), all.size(), &out);
    }
    else
    {
        for (cell c : img.aCode)
            put32(&out, (uint32_t)c);
        for (cell c : img.aData)
            put32(&out, (uint32_t)c);
    }
    h.size = (int32_t)out.size();
    amx_WriteHeader(out.data(), &h);
    if (pHdr)
        *pHdr = h;
    pOut->swap(out);
    return true;
}
