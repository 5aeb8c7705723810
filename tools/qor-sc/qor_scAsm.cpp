// Assembler and image writer: lays out the instruction list, resolves the labels, writes the
// machine image (header, public and native tables, code, data) and the listing.
#include "qor_scInternal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{

void put16(std::vector<uint8_t> & b, size_t at, int v)
{
    b[at] = (uint8_t)(v & 0xFF);
    b[at + 1] = (uint8_t)((v >> 8) & 0xFF);
}

void put32(std::vector<uint8_t> & b, size_t at, cell v)
{
    const uint32_t u = (uint32_t)v;
    for (int k = 0; k < 4; ++k)
        b[at + k] = (uint8_t)((u >> (8 * k)) & 0xFF);
}

// Compact encoding of one cell: groups of 7 bits, most significant group first, bit 0x80 on
// every byte but the last; the first group's bit 0x40 carries the sign. Leading groups are
// dropped as qor-amx asm drops them (the old compiler's way), so that a listing assembles
// to the same bytes: five groups of the unsigned cell, then leading zero groups while the
// next keeps bit 0x40 clear, a top group 0x0F before a group with 0x40 set, and leading
// 0x7F groups while the next has 0x40 set.
void encodeCell(cell v, std::vector<uint8_t> & out)
{
    uint32_t p = (uint32_t)v;
    uint8_t t[5];
    int n;
    for (n = 0; n < 5; ++n)
    {
        t[n] = (uint8_t)(p & 0x7F);
        p >>= 7;
    }
    while (n > 1 && t[n - 1] == 0 && (t[n - 2] & 0x40) == 0)
        --n;
    if (n == 5 && t[n - 1] == 0x0F && (t[n - 2] & 0x40) != 0)
        --n;
    while (n > 1 && t[n - 1] == 0x7F && (t[n - 2] & 0x40) != 0)
        --n;
    while (n-- > 0)
        out.push_back((uint8_t)(n == 0 ? t[n] : (t[n] | 0x80)));
}

// The machine's in-place expansion, used to verify an encoded image.
void expandInPlace(uint8_t * code, size_t codesize, size_t memsize)
{
    uint32_t c;
    int shift;
    size_t in = codesize, out = memsize;
    while (in > 0)
    {
        c = 0;
        shift = 0;
        do
        {
            --in;
            c |= (uint32_t)(code[in] & 0x7F) << shift;
            shift += 7;
        } while (in > 0 && (code[in - 1] & 0x80) != 0);
        if ((code[in] & 0x40) != 0)
        {
            while (shift < 32)
            {
                c |= 0xFFu << shift;
                shift += 8;
            }
        }
        out -= 4;
        std::memcpy(code + out, &c, 4); // little-endian host
    }
}
} // namespace

const char * qor_scOpName(int op)
{
    if (op == OP_NONE)
        return "(none)";
    return op > 0 && op < OP_COUNT ? amx_opnames[op] : "?";
}

int qor_cScAsm::newLabel()
{
    m_labelOffset.push_back(-1);
    return (int)m_labelOffset.size() - 1;
}

void qor_cScAsm::label(int id)
{
    qor_sScIns i;
    i.op = OP_NONE;
    qor_sScArg a;
    a.kind = qor_eScArg::Label;
    a.value = id;
    i.args.push_back(a);
    m_code.push_back(i);
}

void qor_cScAsm::emit(int op)
{
    qor_sScIns i;
    i.op = op;
    m_code.push_back(i);
}

void qor_cScAsm::emit(int op, cell v)
{
    qor_sScIns i;
    i.op = op;
    qor_sScArg a;
    a.value = v;
    i.args.push_back(a);
    m_code.push_back(i);
}

void qor_cScAsm::emitLabel(int op, int lbl)
{
    qor_sScIns i;
    i.op = op;
    qor_sScArg a;
    a.kind = qor_eScArg::Label;
    a.value = lbl;
    i.args.push_back(a);
    m_code.push_back(i);
}

void qor_cScAsm::emitData(int op, cell addr)
{
    qor_sScIns i;
    i.op = op;
    qor_sScArg a;
    a.kind = qor_eScArg::Data;
    a.value = addr;
    i.args.push_back(a);
    m_code.push_back(i);
}

void qor_cScAsm::emitNative(int op, int index)
{
    qor_sScIns i;
    i.op = op;
    qor_sScArg a;
    a.kind = qor_eScArg::Native;
    a.value = index;
    i.args.push_back(a);
    m_code.push_back(i);
}

void qor_cScAsm::emitCaseTable(int defLabel, const std::vector<std::pair<cell, int>> & cases)
{
    qor_sScIns i;
    i.op = OP_CASETBL;
    qor_sScArg n;
    n.value = (cell)cases.size();
    i.args.push_back(n);
    qor_sScArg d;
    d.kind = qor_eScArg::Label;
    d.value = defLabel;
    i.args.push_back(d);
    for (const auto & c : cases)
    {
        qor_sScArg v;
        v.value = c.first;
        i.args.push_back(v);
        qor_sScArg l;
        l.kind = qor_eScArg::Label;
        l.value = c.second;
        i.args.push_back(l);
    }
    m_code.push_back(i);
}

void qor_cScAsm::comment(const std::string & text)
{
    qor_sScIns i;
    i.op = OP_NONE;
    i.comment = text;
    m_code.push_back(i);
}

cell qor_cScAsm::addData(const std::vector<cell> & cells, const std::string & label, int kind, const std::string & text)
{
    const cell addr = dataSize();
    m_data.insert(m_data.end(), cells.begin(), cells.end());
    m_dataItems.push_back({addr, (cell)cells.size(), label, kind, text});
    return addr;
}

int qor_cScAsm::addNative(const std::string & name)
{
    for (size_t k = 0; k < m_natives.size(); ++k)
        if (m_natives[k] == name)
            return (int)k;
    m_natives.push_back(name);
    return (int)m_natives.size() - 1;
}

void qor_cScAsm::addPublic(const std::string & name, int lbl) { m_publics.emplace_back(name, lbl); }

void qor_cScAsm::layout()
{
    cell at = 0;
    for (const qor_sScIns & i : m_code)
    {
        if (i.op == OP_NONE)
        {
            if (!i.args.empty())
                m_labelOffset[i.args[0].value] = at;
            continue;
        }
        at += 4 * (1 + (cell)i.args.size());
    }
}

cell qor_cScAsm::codeSize() const
{
    cell at = 0;
    for (const qor_sScIns & i : m_code)
        if (i.op != OP_NONE)
            at += 4 * (1 + (cell)i.args.size());
    return at;
}

bool qor_cScAsm::write(int dynamicCells, bool compact, std::vector<uint8_t> * pOut, std::string * pErr)
{
    layout();
    std::vector<std::pair<std::string, int>> pubs = m_publics;
    std::sort(pubs.begin(), pubs.end()); // sorted by name, so that look-ups can bisect
    for (const auto & p : pubs)
        if (p.first.size() > 19)
        {
            *pErr = "public function name '" + p.first + "' is longer than 19 characters";
            return false;
        }
    for (const auto & n : m_natives)
        if (n.size() > 19)
        {
            *pErr = "native function name '" + n + "' is longer than 19 characters";
            return false;
        }
    if (pubs.size() > 32767 || m_natives.size() > 32767)
    {
        *pErr = "too many public or native functions";
        return false;
    }

    const cell hdr = 56;
    const cell publics = hdr;
    const cell natives = publics + 24 * (cell)pubs.size();
    const cell libraries = natives + 24 * (cell)m_natives.size();
    const cell pubvars = libraries;
    const cell cod = pubvars;
    const cell codeBytes = codeSize();
    const cell dat = cod + codeBytes;
    const cell hea = dat + dataSize();
    const int64_t stp = (int64_t)hea + 4 * (int64_t)dynamicCells;
    if (stp >= 0x7FFFFFFF)
    {
        *pErr = "the script is too large";
        return false;
    }

    std::vector<uint8_t> img((size_t)hea, 0);
    put32(img, 0, hea);
    put16(img, 4, 0xF1E0);
    img[6] = 4; // file_version (ignored by the machine)
    img[7] = 4; // amx_version: the machine accepts 4 or lower
    put16(img, 8, 0);
    put16(img, 10, 24);
    put32(img, 12, cod);
    put32(img, 16, dat);
    put32(img, 20, hea);
    put32(img, 24, (cell)stp);
    put32(img, 28, m_mainLabel >= 0 ? m_labelOffset[m_mainLabel] : -1);
    put16(img, 32, (int)pubs.size());
    put32(img, 34, publics);
    put16(img, 38, (int)m_natives.size());
    put32(img, 40, natives);
    put16(img, 44, 0);
    put32(img, 46, libraries);
    put16(img, 50, 0);
    put32(img, 52, pubvars);
    for (size_t k = 0; k < pubs.size(); ++k)
    {
        const size_t at = (size_t)publics + 24 * k;
        put32(img, at, m_labelOffset[pubs[k].second]);
        std::memcpy(&img[at + 4], pubs[k].first.data(), pubs[k].first.size());
    }
    for (size_t k = 0; k < m_natives.size(); ++k)
    {
        const size_t at = (size_t)natives + 24 * k;
        std::memcpy(&img[at + 4], m_natives[k].data(), m_natives[k].size());
    }
    size_t at = (size_t)cod;
    for (const qor_sScIns & i : m_code)
    {
        if (i.op == OP_NONE)
            continue;
        put32(img, at, i.op);
        at += 4;
        for (const qor_sScArg & a : i.args)
        {
            cell v = a.value;
            if (a.kind == qor_eScArg::Label)
            {
                v = m_labelOffset[a.value];
                if (v < 0)
                {
                    *pErr = "internal error: unresolved label";
                    return false;
                }
            }
            put32(img, at, v);
            at += 4;
        }
    }
    for (size_t k = 0; k < m_data.size(); ++k)
        put32(img, (size_t)dat + 4 * k, m_data[k]);

    if (compact)
    {
        std::vector<uint8_t> enc;
        for (cell p = cod; p < hea; p += 4)
        {
            cell v;
            std::memcpy(&v, &img[(size_t)p], 4);
            encodeCell(v, enc);
        }
        // Keep the compact form only when the machine's in-place expansion gives the cells
        // back: expansion runs from the end, and must never overwrite bytes not yet read.
        std::vector<uint8_t> test((size_t)hea, 0);
        std::memcpy(test.data(), img.data(), (size_t)cod);
        if (enc.size() <= (size_t)(hea - cod))
        {
            std::memcpy(&test[(size_t)cod], enc.data(), enc.size());
            expandInPlace(&test[(size_t)cod], enc.size(), (size_t)(hea - cod));
            if (std::memcmp(test.data() + cod, img.data() + cod, (size_t)(hea - cod)) == 0)
            {
                img.resize((size_t)cod);
                img.insert(img.end(), enc.begin(), enc.end());
                put32(img, 0, (cell)img.size());
                put16(img, 8, 0x04);
                m_wroteCompact = true;
            }
        }
    }
    *pOut = std::move(img);
    return true;
}

std::string qor_cScAsm::labelText(int lbl) const
{
    auto it = m_labelNames.find(lbl);
    if (it != m_labelNames.end())
        return it->second;
    return "l." + std::to_string(lbl);
}

std::string qor_cScAsm::dataOperand(cell addr) const
{
    // the item that holds the address: label, or label+offset
    const DataItem * best = nullptr;
    for (const DataItem & d : m_dataItems)
        if (d.addr <= addr && (!best || d.addr >= best->addr))
            best = &d;
    if (!best)
        return std::to_string(addr);
    if (addr == best->addr)
        return best->label;
    return best->label + "+" + std::to_string(addr - best->addr);
}

namespace
{
std::string quoted(const std::string & text)
{
    std::string out = "\"";
    char buf[8];
    for (unsigned char c : text)
    {
        if (c == '"' || c == '\\')
        {
            out += '\\';
            out += (char)c;
        }
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c < 32 || c >= 127)
        {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
        else
            out += (char)c;
    }
    return out + "\"";
}

std::string pad(std::string s, size_t width)
{
    if (s.size() < width)
        s.append(width - s.size(), ' ');
    else
        s += ' ';
    return s;
}

std::string hex6(cell v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06x", (unsigned)v);
    return buf;
}
} // namespace

std::string qor_cScAsm::listing(int dynamicCells) const
{
    const_cast<qor_cScAsm *>(this)->layout();
    std::string out;
    out += "; qor-sc listing (qor-amx assembler syntax, docs/AMX_ASSEMBLER.md)\n";
    for (size_t k = 0; k < m_natives.size(); ++k)
        out += pad(".native " + m_natives[k], 40) + "; native #" + std::to_string(k) + "\n";
    std::vector<std::pair<std::string, int>> pubs = m_publics;
    std::sort(pubs.begin(), pubs.end());
    for (size_t k = 0; k < pubs.size(); ++k)
    {
        std::string line = ".public " + pubs[k].first;
        if (labelText(pubs[k].second) != pubs[k].first)
            line += ", " + labelText(pubs[k].second);
        out += pad(line, 40) + "; public #" + std::to_string(k) + "\n";
    }
    out += m_mainLabel >= 0 ? ".main " + labelText(m_mainLabel) + "\n" : ".main -1\n";
    out += ".stack " + std::to_string(dynamicCells) + "\n";
    if (m_wroteCompact)
        out += ".compact\n";
    out += "\n.code\n";
    cell at = 0;
    for (const qor_sScIns & i : m_code)
    {
        if (i.op == OP_NONE)
        {
            if (!i.args.empty())
                out += labelText(i.args[0].value) + ":\n";
            else
                out += "\n    ; " + i.comment + "\n";
            continue;
        }
        std::string line = "    ";
        line += qor_scOpName(i.op);
        if (i.op == OP_CASETBL)
        {
            out += pad(line + " " + labelText(i.args[1].value), 40) + "; " + hex6(at) + "\n";
            for (size_t a = 2; a + 1 < i.args.size(); a += 2)
                out += "    case " + std::to_string(i.args[a].value) + ", " + labelText(i.args[a + 1].value) + "\n";
        }
        else
        {
            line = pad(line, 15);
            for (size_t a = 0; a < i.args.size(); ++a)
            {
                const qor_sScArg & g = i.args[a];
                if (a > 0)
                    line += ", ";
                switch (g.kind)
                {
                case qor_eScArg::Label:
                    line += labelText(g.value);
                    break;
                case qor_eScArg::Native:
                    line += m_natives[(size_t)g.value];
                    break;
                case qor_eScArg::Data:
                    line += dataOperand(g.value);
                    break;
                default:
                    line += std::to_string(g.value);
                    break;
                }
            }
            out += pad(line, 40) + "; " + hex6(at) + "\n";
        }
        at += 4 * (1 + (cell)i.args.size());
    }
    out += "\n.data\n";
    for (const DataItem & d : m_dataItems)
    {
        const std::string head = d.label + ":";
        if (d.kind == 1 || d.kind == 2)
        {
            out += pad(head, 12) + (d.kind == 1 ? ".string " : ".packed ") + quoted(d.text) + "\n";
            continue;
        }
        for (cell k = 0; k < d.cells; k += 8)
        {
            std::string line = k == 0 ? pad(head, 12) : std::string(12, ' ');
            line += ".cell ";
            for (cell j = k; j < d.cells && j < k + 8; ++j)
            {
                if (j > k)
                    line += ", ";
                line += std::to_string(m_data[(size_t)(d.addr / 4 + j)]);
            }
            out += line + "\n";
        }
    }
    return out;
}
