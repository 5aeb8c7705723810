// The AMX disassembler (library qor_amxasm): prints an image in the assembler's syntax so that
// assembling the listing gives the same image.
#include "qor_amxasm.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <map>
#include <set>

namespace
{
std::string fmt(const char * f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char * f, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, f);
    vsnprintf(buf, sizeof buf, f, ap);
    va_end(ap);
    return buf;
}

bool isNameStart(char c) { return isalpha((unsigned char)c) || c == '_' || c == '@'; }
bool isNameChar(char c) { return isalnum((unsigned char)c) || c == '_' || c == '@' || c == '.' || c == '$'; }
bool isName(const std::string & s)
{
    if (s.empty() || !isNameStart(s[0]))
        return false;
    for (char c : s)
        if (!isNameChar(c))
            return false;
    return true;
}

int32_t rd32(const unsigned char * p)
{
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

std::string quote(const std::string & s)
{
    std::string out = "\"";
    for (unsigned char c : s)
    {
        if (c == '"' || c == '\\')
            out += std::string("\\") + (char)c;
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c < 32 || c >= 127)
            out += fmt("\\x%02X", c);
        else
            out += (char)c;
    }
    return out + "\"";
}

std::string tableName(const unsigned char * rec)
{
    size_t n = 0;
    while (n < AMX_NAMEMAX + 1 && rec[4 + n])
        n++;
    return std::string((const char *)rec + 4, n);
}

// The printed form of a table name: bare when it is a name, else quoted.
std::string nameOperand(const std::string & s) { return isName(s) ? s : quote(s); }

struct Table
{
    const char * szDirective;
    int16_t num;
    int32_t off;
};
} // namespace

static bool disassemble(const unsigned char * p, size_t n, std::string * pText, std::string * pError)
{
    std::string & o = *pText;
    if (n < AMX_HEADER_SIZE)
    {
        *pError = "file shorter than the 56-byte header";
        return false;
    }
    AMX_HEADER h;
    amx_ReadHeader(p, &h);
    o += fmt("; size %d\n; magic 0x%04X\n; file_version %d\n; amx_version %d\n; flags 0x%04X\n; defsize %d\n", h.size,
             h.magic, h.file_version, h.amx_version, (uint16_t)h.flags, h.defsize);
    o += fmt("; cod %d\n; dat %d\n; hea %d\n; stp %d\n; cip %d\n", h.cod, h.dat, h.hea, h.stp, h.cip);
    o += fmt("; num_publics %d, publics %d\n; num_natives %d, natives %d\n", h.num_publics, h.publics, h.num_natives,
             h.natives);
    o += fmt("; num_libraries %d, libraries %d\n; num_pubvars %d, pubvars %d\n", h.num_libraries, h.libraries,
             h.num_pubvars, h.pubvars);

    const bool bCompact = (h.flags & AMX_FLAG_COMPACT) != 0;
    if (h.cod < AMX_HEADER_SIZE || h.cod > h.dat || h.dat > h.hea || (h.cod | h.dat | h.hea) & 3 ||
        h.hea - h.cod > (1 << 28))
    {
        *pError = "bad section offsets (cod, dat, hea)";
        return false;
    }
    if ((size_t)h.cod > n)
    {
        *pError = "file shorter than its tables";
        return false;
    }
    const Table aTables[4] = {{".public", h.num_publics, h.publics},
                              {".native", h.num_natives, h.natives},
                              {".library", h.num_libraries, h.libraries},
                              {".pubvar", h.num_pubvars, h.pubvars}};
    for (const Table & t : aTables)
    {
        if (t.num < 0 || (t.num > 0 && (t.off < 0 || (int64_t)t.off + (int64_t)t.num * AMX_DEFSIZE > (int64_t)n)))
        {
            *pError = std::string("table of ") + t.szDirective + " records outside the file";
            return false;
        }
    }

    // Code and data cells.
    size_t nCodeCells = (size_t)(h.dat - h.cod) / 4;
    size_t nCells = (size_t)(h.hea - h.cod) / 4;
    std::vector<cell> cells;
    if (bCompact)
    {
        if (h.size < h.cod || (size_t)h.size > n ||
            !qoru_amxExpandCells(p + h.cod, (size_t)(h.size - h.cod), nCells, &cells))
        {
            *pError = "bad compact encoding";
            return false;
        }
    }
    else
    {
        if ((size_t)h.dat > n)
        {
            *pError = "file shorter than its code";
            return false;
        }
        cells.assign(nCells, 0);
        for (size_t i = 0; i < nCells && (size_t)h.cod + 4 * i + 4 <= n; i++)
            cells[i] = rd32(p + h.cod + 4 * i);
    }
    const cell * code = cells.data();
    const ucell codesize = (ucell)nCodeCells * 4;
    auto cw = [&](ucell off) { return code[off / 4]; };

    // Decode the code: instruction starts, until something the assembler could not write back.
    std::vector<ucell> starts;
    std::vector<bool> isStart(nCodeCells + 1, false);
    ucell pos = 0;
    ucell decodedEnd = 0;
    while (pos < codesize)
    {
        cell op = cw(pos);
        if (op <= 0 || op > AMX_NUM_OPCODES)
            break;
        ucell room = codesize - pos, size = 0;
        switch (amx_OperandKind(op))
        {
        case AMX_OPND_NONE:
            size = 4;
            break;
        case AMX_OPND_TWO:
            size = 12;
            break;
        case AMX_OPND_FILE:
        case AMX_OPND_SYMBOL: {
            if (room < 8)
                break;
            cell sz = cw(pos + 4);
            size = (sz < 0 || (sz & 3) || (ucell)sz > room - 8) ? 0 : 8 + (ucell)sz;
            break;
        }
        case AMX_OPND_CASETBL: {
            if (room < 12)
                break;
            cell cnt = cw(pos + 4);
            size = (cnt < 0 || (ucell)cnt > (room - 12) / 8) ? 0 : 12 + 8 * (ucell)cnt;
            break;
        }
        default:
            size = 8;
            break;
        }
        if (size == 0 || size > room)
            break;
        starts.push_back(pos);
        isStart[pos / 4] = true;
        pos += size;
    }
    decodedEnd = pos;
    auto validTarget = [&](int64_t t) {
        return t >= 0 && t < (int64_t)codesize && (t & 3) == 0 && isStart[(size_t)t / 4];
    };

    // Labels: main, the publics' own names, c_XXXX for every other target.
    std::map<ucell, std::string> labels;
    std::set<std::string> used;
    auto addLabel = [&](ucell t, const std::string & name) {
        if (labels.count(t) || used.count(name))
            return;
        labels[t] = name;
        used.insert(name);
    };
    if (validTarget(h.cip))
        addLabel((ucell)h.cip, "main");
    for (int i = 0; i < h.num_publics; i++)
    {
        const unsigned char * rec = p + h.publics + i * AMX_DEFSIZE;
        std::string name = tableName(rec);
        cell a = rd32(rec);
        if (validTarget(a) && isName(name) && name.compare(0, 2, "c_") != 0)
            addLabel((ucell)a, name);
    }
    auto want = [&](int64_t t) {
        if (validTarget(t) && !labels.count((ucell)t))
            addLabel((ucell)t, fmt("c_%04x", (unsigned)t));
    };
    for (int i = 0; i < h.num_publics; i++)
        want(rd32(p + h.publics + i * AMX_DEFSIZE));
    for (ucell s : starts)
    {
        cell op = cw(s);
        switch (amx_OperandKind(op))
        {
        case AMX_OPND_CODE:
            want((ucell)cw(s + 4));
            break;
        case AMX_OPND_JREL:
            want((int64_t)s + 8 + cw(s + 4));
            break;
        case AMX_OPND_CASETBL:
            want((ucell)cw(s + 8));
            for (cell k = 0; k < cw(s + 4); k++)
                want((ucell)cw(s + 16 + 8 * (ucell)k));
            break;
        default:
            break;
        }
    }
    auto target = [&](int64_t t) -> std::string {
        auto it = labels.find((ucell)t);
        if (t >= 0 && it != labels.end())
            return it->second;
        return fmt("%d", (cell)t);
    };

    // Directives.
    o += "\n";
    o += fmt(".file_version %d\n.amx_version %d\n", h.file_version, h.amx_version);
    if (h.flags & ~AMX_FLAG_COMPACT)
        o += fmt(".flags 0x%04X\n", (uint16_t)(h.flags & ~AMX_FLAG_COMPACT));
    if (bCompact)
        o += ".compact\n";
    if (h.stp >= h.hea && (h.stp - h.hea) % 4 == 0)
        o += fmt(".stack %d\n", (h.stp - h.hea) / 4);
    std::map<std::string, int> nativeCount;
    for (int i = 0; i < h.num_natives; i++)
        nativeCount[tableName(p + h.natives + i * AMX_DEFSIZE)]++;
    for (const Table & t : aTables)
    {
        for (int i = 0; i < t.num; i++)
        {
            const unsigned char * rec = p + t.off + i * AMX_DEFSIZE;
            std::string name = nameOperand(tableName(rec));
            cell a = rd32(rec);
            if (!strcmp(t.szDirective, ".public"))
                o += fmt(".public %s, %s\n", name.c_str(), target(a).c_str());
            else if (!strcmp(t.szDirective, ".pubvar"))
                o += fmt(".pubvar %s, %d\n", name.c_str(), a);
            else if (a != 0)
                o += fmt("%s %s, %d\n", t.szDirective, name.c_str(), a);
            else
                o += fmt("%s %s\n", t.szDirective, name.c_str());
        }
    }
    auto itMain = labels.find((ucell)h.cip);
    if (h.cip < 0 || !validTarget(h.cip) || itMain == labels.end() || itMain->second != "main")
        o += fmt(".main %s\n", h.cip >= 0 ? target(h.cip).c_str() : fmt("%d", h.cip).c_str());

    // Code.
    o += "\n.code\n";
    for (ucell s : starts)
    {
        auto it = labels.find(s);
        if (it != labels.end())
            o += it->second + ":\n";
        cell op = cw(s);
        std::string line = fmt("    %-11s", amx_opnames[op]);
        switch (amx_OperandKind(op))
        {
        case AMX_OPND_NONE:
            line = fmt("    %s", amx_opnames[op]);
            break;
        case AMX_OPND_VALUE:
            line += fmt("%d", cw(s + 4));
            break;
        case AMX_OPND_CODE:
            line += target((ucell)cw(s + 4));
            break;
        case AMX_OPND_JREL: {
            int64_t t = (int64_t)s + 8 + cw(s + 4);
            line += validTarget(t) ? target(t) : fmt("%d", cw(s + 4));
            break;
        }
        case AMX_OPND_NATIVE: {
            cell idx = cw(s + 4);
            std::string name = idx >= 0 && idx < h.num_natives ? tableName(p + h.natives + idx * AMX_DEFSIZE) : "";
            if (isName(name) && nativeCount[name] == 1)
                line += name;
            else
                line += fmt("%d", idx);
            break;
        }
        case AMX_OPND_TWO:
            line += fmt("%d, %d", cw(s + 4), cw(s + 8));
            break;
        case AMX_OPND_FILE:
        case AMX_OPND_SYMBOL: {
            ucell nFixed = op == OP_FILE ? 1 : 2;
            cell sz = cw(s + 4);
            // the name: bytes after the fixed cells, up to the first NUL
            std::string bytes;
            for (ucell k = 8 + 4 * nFixed; k < 8 + (ucell)sz; k += 4)
            {
                cell v = cw(s + k);
                bytes.append((const char *)&v, 4);
            }
            size_t z = bytes.find('\0');
            std::string name = z == std::string::npos ? bytes : bytes.substr(0, z);
            bool bSame = z != std::string::npos && (name.size() + 1 + 3) / 4 * 4 == bytes.size() &&
                         bytes.find_first_not_of('\0', z) == std::string::npos && (ucell)sz >= 4 * nFixed;
            if (bSame)
            {
                if (op == OP_FILE)
                    line += fmt("%d, %s", cw(s + 8), quote(name).c_str());
                else
                    line += fmt("%d, %d, %s", cw(s + 8), cw(s + 12), quote(name).c_str());
            }
            else
            {
                line = "    .cell";
                for (ucell k = 0; k < 8 + (ucell)sz; k += 4)
                    line += fmt("%s %d", k ? "," : "", cw(s + k));
            }
            break;
        }
        case AMX_OPND_CASETBL: {
            line += target((ucell)cw(s + 8));
            for (cell k = 0; k < cw(s + 4); k++)
                line += fmt("\n    case       %d, %s", cw(s + 12 + 8 * (ucell)k),
                            target((ucell)cw(s + 16 + 8 * (ucell)k)).c_str());
            break;
        }
        }
        o += line + "\n";
    }
    if (decodedEnd < codesize)
    {
        o += fmt("    ; not decoded from code offset %u\n", (unsigned)decodedEnd);
        for (ucell k = decodedEnd; k < codesize; k += 4)
            o += fmt("    .cell %d\n", cw(k));
    }
    for (auto & l : labels)
        if (l.first >= codesize)
            o += l.second + ":\n";

    // Data.
    o += "\n.data\n";
    for (size_t i = nCodeCells; i < nCells; i += 8)
    {
        o += "    .cell ";
        for (size_t k = i; k < nCells && k < i + 8; k++)
            o += fmt("%s%d", k > i ? ", " : "", cells[k]);
        o += "\n";
    }
    return true;
}

bool qoru_amxDisassemble(const unsigned char * p, size_t n, std::string * pText, std::string * pError)
{
    std::string text, err;
    if (!disassemble(p, n, &text, &err))
    {
        *pText = text;
        *pError = err;
        return false;
    }
    // Fields that the layout does not give come back through .header lines.
    std::vector<unsigned char> img;
    std::vector<std::string> errors;
    if (!qoru_amxAssemble(text, "<dis>", false, &img, &errors))
    {
        *pText = text;
        *pError = "the listing does not assemble: " + (errors.empty() ? std::string() : errors[0]);
        return false;
    }
    AMX_HEADER a, b;
    amx_ReadHeader(p, &a);
    amx_ReadHeader(img.data(), &b);
    std::string extra;
#define FIELD(f)                                                                                                       \
    if (a.f != b.f)                                                                                                    \
        extra += fmt(".header %s, %d\n", #f, (int)a.f);
    FIELD(size)
    FIELD(magic)
    FIELD(file_version)
    FIELD(amx_version)
    FIELD(flags)
    FIELD(defsize)
    FIELD(cod)
    FIELD(dat)
    FIELD(hea)
    FIELD(stp)
    FIELD(cip)
    FIELD(num_publics)
    FIELD(publics)
    FIELD(num_natives)
    FIELD(natives)
    FIELD(num_libraries)
    FIELD(libraries)
    FIELD(num_pubvars)
    FIELD(pubvars)
#undef FIELD
    size_t at = text.find("\n.code\n");
    text.insert(at, extra);
    img.clear();
    errors.clear();
    if (!qoru_amxAssemble(text, "<dis>", false, &img, &errors) || img.size() != n || memcmp(img.data(), p, n) != 0)
        text.insert(at, "; note: this listing does not give back the image byte for byte\n");
    *pText = text;
    return true;
}
