// The AMX assembler (library qor_amxasm). Syntax: docs/AMX_ASSEMBLER.md.
//
// Two passes over a list of statements: parsing gives each statement its size, so every label
// has its offset before any operand is evaluated; emitting evaluates the operands.
#include "qor_amxasm.h"

#include <cctype>
#include <cstring>
#include <map>

namespace
{
bool isNameStart(char c) { return isalpha((unsigned char)c) || c == '_' || c == '@'; }
bool isNameChar(char c) { return isalnum((unsigned char)c) || c == '_' || c == '@' || c == '.' || c == '$'; }

std::string lower(std::string s)
{
    for (char & c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

std::string trim(const std::string & s)
{
    size_t b = 0, e = s.size();
    while (b < e && isspace((unsigned char)s[b]))
        b++;
    while (e > b && isspace((unsigned char)s[e - 1]))
        e--;
    return s.substr(b, e - b);
}

bool isName(const std::string & s)
{
    if (s.empty() || !isNameStart(s[0]))
        return false;
    for (char c : s)
        if (!isNameChar(c))
            return false;
    return true;
}

// Decodes one escape after the backslash at s[*pi]; advances *pi past it.
bool decodeEscape(const std::string & s, size_t * pi, int * pc)
{
    size_t i = *pi;
    if (i >= s.size())
        return false;
    char c = s[i++];
    switch (c)
    {
    case 'n':
        *pc = '\n';
        break;
    case 'r':
        *pc = '\r';
        break;
    case 't':
        *pc = '\t';
        break;
    case '0':
        *pc = 0;
        break;
    case '\\':
    case '"':
    case '\'':
        *pc = c;
        break;
    case 'x': {
        int v = 0, n = 0;
        while (n < 2 && i < s.size() && isxdigit((unsigned char)s[i]))
        {
            char h = s[i++];
            v = v * 16 + (isdigit((unsigned char)h) ? h - '0' : tolower((unsigned char)h) - 'a' + 10);
            n++;
        }
        if (n == 0)
            return false;
        *pc = v;
        break;
    }
    default:
        return false;
    }
    *pi = i;
    return true;
}

// A string literal operand "..." -> its bytes.
bool parseString(const std::string & op, std::string * pOut, std::string * pErr)
{
    if (op.size() < 2 || op.front() != '"' || op.back() != '"')
    {
        *pErr = "expected a string literal";
        return false;
    }
    std::string out;
    for (size_t i = 1; i + 1 < op.size();)
    {
        char c = op[i++];
        if (c == '\\')
        {
            int v;
            if (i + 1 > op.size() - 1 || !decodeEscape(op.substr(0, op.size() - 1), &i, &v))
            {
                *pErr = "bad escape in string";
                return false;
            }
            out.push_back((char)v);
        }
        else if (c == '"')
        {
            *pErr = "unescaped quote in string";
            return false;
        }
        else
            out.push_back(c);
    }
    *pOut = out;
    return true;
}

// A table name: a name or a string literal.
bool parseTableName(const std::string & op, std::string * pOut, std::string * pErr)
{
    if (!op.empty() && op[0] == '"')
    {
        if (!parseString(op, pOut, pErr))
            return false;
    }
    else if (isName(op))
        *pOut = op;
    else
    {
        *pErr = "expected a name: '" + op + "'";
        return false;
    }
    if (pOut->size() > AMX_NAMEMAX || pOut->find('\0') != std::string::npos)
    {
        *pErr = "name longer than 19 characters: " + *pOut;
        return false;
    }
    return true;
}

// Splits the text after the keyword into comma-separated operands (commas inside string or
// character literals do not split).
bool splitOperands(const std::string & s, std::vector<std::string> * pOps, std::string * pErr)
{
    std::string cur;
    char quote = 0;
    bool bAny = false;
    for (size_t i = 0; i < s.size(); i++)
    {
        char c = s[i];
        if (quote)
        {
            cur.push_back(c);
            if (c == '\\' && i + 1 < s.size())
                cur.push_back(s[++i]);
            else if (c == quote)
                quote = 0;
        }
        else if (c == '"' || c == '\'')
        {
            quote = c;
            cur.push_back(c);
        }
        else if (c == ',')
        {
            pOps->push_back(trim(cur));
            cur.clear();
            bAny = true;
        }
        else
            cur.push_back(c);
    }
    if (quote)
    {
        *pErr = "unterminated literal";
        return false;
    }
    std::string last = trim(cur);
    if (!last.empty() || bAny)
        pOps->push_back(last);
    for (const std::string & op : *pOps)
    {
        if (op.empty())
        {
            *pErr = "empty operand";
            return false;
        }
    }
    return true;
}

struct Stmt
{
    enum Kind
    {
        INSTR,
        CELLS,
        SPACE,
        STRING,
        PACKED
    } kind;
    int line;
    int opcode = 0;
    std::vector<std::string> ops;
    std::string str; // FILE/SYMBOL name, .string/.packed text
    std::vector<std::pair<std::string, std::string>> cases;
    int64_t nSpace = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
};

struct Label
{
    bool bCode;
    size_t index; // statement index in its section at the definition
    int line;
};

struct Deferred // a directive whose operands are evaluated after layout
{
    std::string strName;
    std::vector<std::string> ops;
    int line;
};

const char * const s_aszHeaderFields[] = {"size",          "magic",       "file_version", "amx_version", "flags",
                                          "defsize",       "cod",         "dat",          "hea",         "stp",
                                          "cip",           "num_publics", "publics",      "num_natives", "natives",
                                          "num_libraries", "libraries",   "num_pubvars",  "pubvars"};

class Assembler
{
  public:
    Assembler(const char * szFile, std::vector<std::string> * pErrors) : m_szFile(szFile), m_pErrors(pErrors) {}

    bool run(const std::string & text, bool bCompact, std::vector<unsigned char> * pOut);

  private:
    void error(int line, const std::string & msg)
    {
        m_pErrors->push_back(std::string(m_szFile) + ":" + std::to_string(line) + ": " + msg);
    }
    void parseLine(const std::string & raw, int line);
    void statement(const std::string & kw, const std::vector<std::string> & ops, int line);
    void layout(std::vector<Stmt> & a, uint32_t * pSize);
    bool eval(const std::string & s, int line, int64_t * pv);
    bool evalCell(const std::string & s, int line, cell * pc);
    bool labelValue(const std::string & name, int64_t * pv);
    void emit(const Stmt & st, std::vector<cell> * pOut);

    const char * m_szFile;
    std::vector<std::string> * m_pErrors;
    std::vector<Stmt> m_aCode, m_aData;
    bool m_bInCode = true;
    std::map<std::string, Label> m_labels;
    uint32_t m_codeSize = 0, m_dataSize = 0;
    std::vector<Deferred> m_aNatives, m_aPublics, m_aPubvars, m_aLibraries, m_aHeader;
    std::vector<Deferred> m_aMain, m_aStack, m_aFlags, m_aFileVersion, m_aAmxVersion;
    bool m_bCompact = false;
    bool m_bCaseOpen = false; // the last code statement was casetbl or case
    bool m_bNoLabels = false; // while laying out
};

void Assembler::parseLine(const std::string & raw, int line)
{
    // strip the comment
    std::string s;
    char quote = 0;
    for (size_t i = 0; i < raw.size(); i++)
    {
        char c = raw[i];
        if (quote)
        {
            s.push_back(c);
            if (c == '\\' && i + 1 < raw.size())
                s.push_back(raw[++i]);
            else if (c == quote)
                quote = 0;
            continue;
        }
        if (c == ';')
            break;
        if (c == '"' || c == '\'')
            quote = c;
        s.push_back(c);
    }
    size_t i = 0;
    for (;;)
    {
        while (i < s.size() && isspace((unsigned char)s[i]))
            i++;
        if (i >= s.size())
            return;
        size_t b = i;
        if (s[i] == '.')
            i++;
        while (i < s.size() && isNameChar(s[i]))
            i++;
        std::string word = s.substr(b, i - b);
        size_t j = i;
        while (j < s.size() && isspace((unsigned char)s[j]))
            j++;
        if (j < s.size() && s[j] == ':' && isName(word))
        {
            if (m_labels.count(word))
                error(line, "label '" + word + "' defined twice");
            else
                m_labels[word] = Label{m_bInCode, m_bInCode ? m_aCode.size() : m_aData.size(), line};
            if (m_bInCode)
                m_bCaseOpen = false;
            i = j + 1;
            continue;
        }
        if (word.empty() || word == ".")
        {
            error(line, "syntax error near '" + s.substr(b) + "'");
            return;
        }
        std::vector<std::string> ops;
        std::string err;
        if (!splitOperands(s.substr(i), &ops, &err))
        {
            error(line, err);
            return;
        }
        statement(lower(word), ops, line);
        return;
    }
}

void Assembler::statement(const std::string & kw, const std::vector<std::string> & ops, int line)
{
    auto need = [&](size_t nMin, size_t nMax) {
        if (ops.size() < nMin || ops.size() > nMax)
        {
            error(line,
                  "'" + kw + "' takes " +
                      (nMin == nMax ? std::to_string(nMin) : std::to_string(nMin) + " to " + std::to_string(nMax)) +
                      " operand(s)");
            return false;
        }
        return true;
    };
    std::string err;
    if (kw[0] == '.')
    {
        if (kw == ".code" || kw == ".data")
        {
            if (need(0, 0))
                m_bInCode = kw == ".code";
            m_bCaseOpen = false;
        }
        else if (kw == ".native" || kw == ".library" || kw == ".public" || kw == ".pubvar")
        {
            if (!need(kw == ".pubvar" ? 2 : 1, 2))
                return;
            std::string name;
            if (!parseTableName(ops[0], &name, &err))
            {
                error(line, err);
                return;
            }
            Deferred d{name, std::vector<std::string>(ops.begin() + 1, ops.end()), line};
            (kw == ".native"    ? m_aNatives
             : kw == ".library" ? m_aLibraries
             : kw == ".public"  ? m_aPublics
                                : m_aPubvars)
                .push_back(d);
        }
        else if (kw == ".main" || kw == ".stack" || kw == ".flags" || kw == ".file_version" || kw == ".amx_version")
        {
            if (need(1, 1))
                (kw == ".main"           ? m_aMain
                 : kw == ".stack"        ? m_aStack
                 : kw == ".flags"        ? m_aFlags
                 : kw == ".file_version" ? m_aFileVersion
                                         : m_aAmxVersion)
                    .push_back(Deferred{"", ops, line});
        }
        else if (kw == ".compact")
        {
            if (need(0, 0))
                m_bCompact = true;
        }
        else if (kw == ".header")
        {
            if (!need(2, 2))
                return;
            bool bKnown = false;
            for (const char * f : s_aszHeaderFields)
                bKnown |= lower(ops[0]) == f;
            if (!bKnown)
                error(line, "unknown header field '" + ops[0] + "'");
            else
                m_aHeader.push_back(Deferred{lower(ops[0]), {ops[1]}, line});
        }
        else if (kw == ".cell" || kw == ".space" || kw == ".string" || kw == ".packed")
        {
            Stmt st;
            st.line = line;
            if (kw == ".cell")
            {
                if (!need(1, SIZE_MAX))
                    return;
                st.kind = Stmt::CELLS;
                st.ops = ops;
            }
            else if (kw == ".space")
            {
                if (!need(1, 1))
                    return;
                st.kind = Stmt::SPACE;
                st.ops = ops;
            }
            else
            {
                if (!need(1, 1))
                    return;
                if (m_bInCode)
                {
                    error(line, "'" + kw + "' belongs in .data");
                    return;
                }
                st.kind = kw == ".string" ? Stmt::STRING : Stmt::PACKED;
                if (!parseString(ops[0], &st.str, &err))
                {
                    error(line, err);
                    return;
                }
            }
            if (m_bInCode && st.kind == Stmt::SPACE)
            {
                error(line, "'.space' belongs in .data");
                return;
            }
            (m_bInCode ? m_aCode : m_aData).push_back(st);
            if (m_bInCode)
                m_bCaseOpen = false;
        }
        else
            error(line, "unknown directive '" + kw + "'");
        return;
    }

    if (kw == "case")
    {
        if (!m_bInCode || !m_bCaseOpen || m_aCode.empty() || m_aCode.back().opcode != OP_CASETBL)
        {
            error(line, "'case' must follow 'casetbl' or another 'case'");
            return;
        }
        if (need(2, 2))
            m_aCode.back().cases.emplace_back(ops[0], ops[1]);
        return;
    }

    int op = qoru_amxOpcode(kw);
    if (op == 0)
    {
        error(line, "unknown mnemonic '" + kw + "'");
        return;
    }
    if (!m_bInCode)
    {
        error(line, "instruction '" + kw + "' in .data");
        return;
    }
    Stmt st;
    st.kind = Stmt::INSTR;
    st.line = line;
    st.opcode = op;
    switch (amx_OperandKind(op))
    {
    case AMX_OPND_NONE:
        if (!need(0, 0))
            return;
        break;
    case AMX_OPND_VALUE:
    case AMX_OPND_CODE:
    case AMX_OPND_JREL:
    case AMX_OPND_NATIVE:
    case AMX_OPND_CASETBL:
        if (!need(1, 1))
            return;
        break;
    case AMX_OPND_TWO:
        if (!need(2, 2))
            return;
        break;
    case AMX_OPND_FILE:
    case AMX_OPND_SYMBOL: {
        size_t n = op == OP_FILE ? 2 : 3;
        if (!need(n, n))
            return;
        if (!parseString(ops[n - 1], &st.str, &err))
        {
            error(line, err);
            return;
        }
        break;
    }
    }
    st.ops = ops;
    m_aCode.push_back(st);
    m_bCaseOpen = op == OP_CASETBL;
}

void Assembler::layout(std::vector<Stmt> & a, uint32_t * pSize)
{
    uint64_t off = 0;
    for (Stmt & st : a)
    {
        uint64_t size = 0;
        switch (st.kind)
        {
        case Stmt::INSTR:
            switch (amx_OperandKind(st.opcode))
            {
            case AMX_OPND_NONE:
                size = 4;
                break;
            case AMX_OPND_TWO:
                size = 12;
                break;
            case AMX_OPND_FILE:
                size = 12 + (st.str.size() + 1 + 3) / 4 * 4;
                break;
            case AMX_OPND_SYMBOL:
                size = 16 + (st.str.size() + 1 + 3) / 4 * 4;
                break;
            case AMX_OPND_CASETBL:
                size = 12 + 8 * (uint64_t)st.cases.size();
                break;
            default:
                size = 8;
                break;
            }
            break;
        case Stmt::CELLS:
            size = 4 * (uint64_t)st.ops.size();
            break;
        case Stmt::SPACE: {
            int64_t n = 0;
            // .space takes a plain number (labels are not laid out yet)
            m_bNoLabels = true;
            bool bOk = eval(st.ops[0], st.line, &n);
            m_bNoLabels = false;
            if (bOk)
            {
                if (n < 0 || n > (1 << 28))
                    error(st.line, "bad .space count");
                else
                    st.nSpace = n;
            }
            size = 4 * (uint64_t)st.nSpace;
            break;
        }
        case Stmt::STRING:
            size = 4 * ((uint64_t)st.str.size() + 1);
            break;
        case Stmt::PACKED:
            size = (st.str.size() + 1 + 3) / 4 * 4;
            break;
        }
        st.offset = (uint32_t)off;
        st.size = (uint32_t)size;
        off += size;
        if (off > 0x40000000)
        {
            error(st.line, "section larger than 1 GB");
            off = 0;
        }
    }
    *pSize = (uint32_t)off;
}

bool Assembler::labelValue(const std::string & name, int64_t * pv)
{
    auto it = m_labels.find(name);
    if (it == m_labels.end())
        return false;
    const std::vector<Stmt> & a = it->second.bCode ? m_aCode : m_aData;
    size_t i = it->second.index;
    *pv = i < a.size() ? a[i].offset : (it->second.bCode ? m_codeSize : m_dataSize);
    return true;
}

bool Assembler::eval(const std::string & s, int line, int64_t * pv)
{
    size_t i = 0;
    int64_t total = 0;
    bool bFirst = true;
    auto skip = [&] {
        while (i < s.size() && isspace((unsigned char)s[i]))
            i++;
    };
    for (;;)
    {
        skip();
        int sign = 1;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        {
            sign = s[i] == '-' ? -1 : 1;
            i++;
            skip();
        }
        else if (!bFirst)
        {
            error(line, "expected '+' or '-' in '" + s + "'");
            return false;
        }
        if (i >= s.size())
        {
            error(line, "missing value in '" + s + "'");
            return false;
        }
        int64_t v = 0;
        if (isdigit((unsigned char)s[i]))
        {
            size_t b = i;
            if (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X'))
            {
                i += 2;
                size_t h = i;
                while (i < s.size() && isxdigit((unsigned char)s[i]))
                {
                    v = v * 16 + (isdigit((unsigned char)s[i]) ? s[i] - '0' : tolower((unsigned char)s[i]) - 'a' + 10);
                    if (v > 0xFFFFFFFFLL)
                        break;
                    i++;
                }
                if (i == h)
                {
                    error(line, "bad number '" + s.substr(b) + "'");
                    return false;
                }
            }
            else
            {
                while (i < s.size() && isdigit((unsigned char)s[i]))
                {
                    v = v * 10 + (s[i] - '0');
                    if (v > 0xFFFFFFFFLL)
                        break;
                    i++;
                }
            }
            if (v > 0xFFFFFFFFLL || (i < s.size() && isNameChar(s[i])))
            {
                error(line, "bad number '" + s.substr(b) + "'");
                return false;
            }
        }
        else if (s[i] == '\'')
        {
            i++;
            int c;
            if (i < s.size() && s[i] == '\\')
            {
                i++;
                if (!decodeEscape(s, &i, &c))
                {
                    error(line, "bad character literal");
                    return false;
                }
            }
            else if (i < s.size())
                c = (unsigned char)s[i++];
            else
                c = -1;
            if (c < 0 || i >= s.size() || s[i] != '\'')
            {
                error(line, "bad character literal");
                return false;
            }
            i++;
            v = c;
        }
        else if (isNameStart(s[i]))
        {
            size_t b = i;
            while (i < s.size() && isNameChar(s[i]))
                i++;
            std::string name = s.substr(b, i - b);
            if (m_bNoLabels)
            {
                error(line, "a plain number is expected here, not '" + name + "'");
                return false;
            }
            if (!labelValue(name, &v))
            {
                error(line, "unknown label '" + name + "'");
                return false;
            }
        }
        else
        {
            error(line, "syntax error in '" + s + "'");
            return false;
        }
        total += sign * v;
        if (total < -0x100000000LL || total > 0x1FFFFFFFFLL)
        {
            error(line, "value out of range in '" + s + "'");
            return false;
        }
        bFirst = false;
        skip();
        if (i >= s.size())
            break;
    }
    *pv = total;
    return true;
}

bool Assembler::evalCell(const std::string & s, int line, cell * pc)
{
    int64_t v;
    if (!eval(s, line, &v))
        return false;
    if (v < INT32_MIN || v > (int64_t)UINT32_MAX)
    {
        error(line, "value does not fit in a cell: '" + s + "'");
        return false;
    }
    *pc = (cell)(ucell)(uint32_t)(int64_t)v;
    return true;
}

void Assembler::emit(const Stmt & st, std::vector<cell> * pOut)
{
    size_t start = pOut->size();
    cell c = 0;
    switch (st.kind)
    {
    case Stmt::CELLS:
        for (const std::string & op : st.ops)
            pOut->push_back(evalCell(op, st.line, &c) ? c : 0);
        break;
    case Stmt::SPACE:
        pOut->insert(pOut->end(), (size_t)st.nSpace, 0);
        break;
    case Stmt::STRING:
        for (unsigned char ch : st.str)
            pOut->push_back(ch);
        pOut->push_back(0);
        break;
    case Stmt::PACKED: {
        size_t n = (st.str.size() + 1 + 3) / 4;
        for (size_t k = 0; k < n; k++)
        {
            ucell v = 0;
            for (size_t b = 0; b < 4; b++)
            {
                size_t idx = 4 * k + b;
                unsigned char ch = idx < st.str.size() ? (unsigned char)st.str[idx] : 0;
                v |= (ucell)ch << (24 - 8 * b);
            }
            pOut->push_back((cell)v);
        }
        break;
    }
    case Stmt::INSTR: {
        pOut->push_back(st.opcode);
        switch (amx_OperandKind(st.opcode))
        {
        case AMX_OPND_NONE:
            break;
        case AMX_OPND_VALUE:
        case AMX_OPND_CODE:
            pOut->push_back(evalCell(st.ops[0], st.line, &c) ? c : 0);
            break;
        case AMX_OPND_JREL: {
            int64_t v = 0;
            if (isName(st.ops[0]) && labelValue(st.ops[0], &v))
                v -= (int64_t)st.offset + 8;
            else if (!eval(st.ops[0], st.line, &v))
                v = 0;
            pOut->push_back((cell)(ucell)(uint32_t)v);
            break;
        }
        case AMX_OPND_NATIVE: {
            int idx = -1;
            for (size_t k = 0; k < m_aNatives.size(); k++)
                if (m_aNatives[k].strName == st.ops[0])
                {
                    idx = (int)k;
                    break;
                }
            if (idx >= 0)
                pOut->push_back(idx);
            else if (isName(st.ops[0]) && !m_labels.count(st.ops[0]))
            {
                error(st.line, "unknown native '" + st.ops[0] + "'");
                pOut->push_back(0);
            }
            else
                pOut->push_back(evalCell(st.ops[0], st.line, &c) ? c : 0);
            break;
        }
        case AMX_OPND_TWO:
            pOut->push_back(evalCell(st.ops[0], st.line, &c) ? c : 0);
            pOut->push_back(evalCell(st.ops[1], st.line, &c) ? c : 0);
            break;
        case AMX_OPND_FILE:
        case AMX_OPND_SYMBOL: {
            size_t nameCells = (st.str.size() + 1 + 3) / 4;
            size_t nFixed = st.opcode == OP_FILE ? 1 : 2;
            pOut->push_back((cell)(4 * (nFixed + nameCells)));
            for (size_t k = 0; k < nFixed; k++)
                pOut->push_back(evalCell(st.ops[k], st.line, &c) ? c : 0);
            std::vector<unsigned char> bytes(nameCells * 4, 0);
            memcpy(bytes.data(), st.str.data(), st.str.size());
            for (size_t k = 0; k < nameCells; k++)
            {
                cell v;
                memcpy(&v, &bytes[4 * k], 4);
                pOut->push_back(v);
            }
            break;
        }
        case AMX_OPND_CASETBL:
            pOut->push_back((cell)st.cases.size());
            pOut->push_back(evalCell(st.ops[0], st.line, &c) ? c : 0);
            for (const auto & cs : st.cases)
            {
                pOut->push_back(evalCell(cs.first, st.line, &c) ? c : 0);
                pOut->push_back(evalCell(cs.second, st.line, &c) ? c : 0);
            }
            break;
        }
        break;
    }
    }
    // keep the layout whatever the errors
    pOut->resize(start + st.size / 4, 0);
}

bool Assembler::run(const std::string & text, bool bCompact, std::vector<unsigned char> * pOut)
{
    size_t nErrors0 = m_pErrors->size();
    int line = 1;
    size_t b = 0;
    while (b <= text.size())
    {
        size_t e = text.find('\n', b);
        if (e == std::string::npos)
            e = text.size();
        std::string l = text.substr(b, e - b);
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        parseLine(l, line);
        line++;
        b = e + 1;
    }
    layout(m_aCode, &m_codeSize);
    layout(m_aData, &m_dataSize);

    qor_sAmxImage img;
    img.bCompact = bCompact || m_bCompact;
    for (const Stmt & st : m_aCode)
        emit(st, &img.aCode);
    for (const Stmt & st : m_aData)
        emit(st, &img.aData);

    auto table = [&](const std::vector<Deferred> & src, std::vector<qor_sAmxEntry> * pDst, bool bPublic) {
        for (const Deferred & d : src)
        {
            cell v = 0;
            if (!d.ops.empty())
                evalCell(d.ops[0], d.line, &v);
            else if (bPublic)
            {
                int64_t lv;
                auto it = m_labels.find(d.strName);
                if (it == m_labels.end() || !it->second.bCode || !labelValue(d.strName, &lv))
                    error(d.line, "public '" + d.strName + "' has no code label");
                else
                    v = (cell)lv;
            }
            pDst->push_back(qor_sAmxEntry{d.strName, v});
        }
    };
    table(m_aPublics, &img.aPublics, true);
    table(m_aNatives, &img.aNatives, false);
    table(m_aLibraries, &img.aLibraries, false);
    table(m_aPubvars, &img.aPubvars, false);

    auto last = [&](const std::vector<Deferred> & a, int64_t lo, int64_t hi, int64_t * pv) {
        if (a.empty())
            return false;
        int64_t v;
        if (!eval(a.back().ops[0], a.back().line, &v))
            return false;
        if (v < lo || v > hi)
        {
            error(a.back().line, "value out of range: " + a.back().ops[0]);
            return false;
        }
        *pv = v;
        return true;
    };
    int64_t v;
    if (last(m_aStack, 0, 0x1FFFFFFF, &v))
        img.nStackCells = (int32_t)v;
    if (last(m_aFlags, 0, 0xFFFF, &v))
        img.extraFlags = (int16_t)(uint16_t)v;
    if (last(m_aFileVersion, -128, 255, &v))
        img.fileVersion = (int8_t)(uint8_t)v;
    if (last(m_aAmxVersion, -128, 255, &v))
        img.amxVersion = (int8_t)(uint8_t)v;
    if (!m_aMain.empty())
    {
        if (last(m_aMain, INT32_MIN, INT32_MAX, &v))
            img.cip = (int32_t)v;
    }
    else
    {
        auto it = m_labels.find("main");
        if (it != m_labels.end() && it->second.bCode && labelValue("main", &v))
            img.cip = (int32_t)v;
    }

    if (m_pErrors->size() != nErrors0)
        return false;
    std::vector<unsigned char> out;
    AMX_HEADER h;
    std::string err;
    if (!qoru_amxWriteImage(img, &out, &h, &err))
    {
        error(line - 1, err);
        return false;
    }
    for (const Deferred & d : m_aHeader)
    {
        int64_t hv;
        if (!eval(d.ops[0], d.line, &hv))
            continue;
        if (hv < INT32_MIN || hv > (int64_t)UINT32_MAX)
        {
            error(d.line, "value out of range: " + d.ops[0]);
            continue;
        }
        int32_t x = (int32_t)(uint32_t)(int64_t)hv;
        const std::string & f = d.strName;
        if (f == "size")
            h.size = x;
        else if (f == "magic")
            h.magic = (uint16_t)x;
        else if (f == "file_version")
            h.file_version = (int8_t)x;
        else if (f == "amx_version")
            h.amx_version = (int8_t)x;
        else if (f == "flags")
            h.flags = (int16_t)x;
        else if (f == "defsize")
            h.defsize = (int16_t)x;
        else if (f == "cod")
            h.cod = x;
        else if (f == "dat")
            h.dat = x;
        else if (f == "hea")
            h.hea = x;
        else if (f == "stp")
            h.stp = x;
        else if (f == "cip")
            h.cip = x;
        else if (f == "num_publics")
            h.num_publics = (int16_t)x;
        else if (f == "publics")
            h.publics = x;
        else if (f == "num_natives")
            h.num_natives = (int16_t)x;
        else if (f == "natives")
            h.natives = x;
        else if (f == "num_libraries")
            h.num_libraries = (int16_t)x;
        else if (f == "libraries")
            h.libraries = x;
        else if (f == "num_pubvars")
            h.num_pubvars = (int16_t)x;
        else if (f == "pubvars")
            h.pubvars = x;
    }
    if (m_pErrors->size() != nErrors0)
        return false;
    amx_WriteHeader(out.data(), &h);
    pOut->swap(out);
    return true;
}
} // namespace

int qoru_amxOpcode(const std::string & strMnemonic)
{
    static const std::map<std::string, int> s_map = [] {
        std::map<std::string, int> m;
        for (int i = 1; i <= AMX_NUM_OPCODES; i++)
            m[amx_opnames[i]] = i;
        return m;
    }();
    auto it = s_map.find(lower(strMnemonic));
    return it == s_map.end() ? 0 : it->second;
}

bool qoru_amxAssemble(const std::string & text, const char * szFileName, bool bCompact,
                      std::vector<unsigned char> * pOut, std::vector<std::string> * pErrors)
{
    Assembler a(szFileName ? szFileName : "<input>", pErrors);
    return a.run(text, bCompact, pOut);
}
