// Preprocessor and lexer: reads the source files, follows #include (each file once),
// replaces #define names, reads #pragma dynamic, and turns the text into tokens.
#include "qor_scInternal.h"

#include "qor_fileUtil.h"

#include <cctype>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <sstream>
#include <sys/stat.h>
#include <stdlib.h>

// ---------------------------------------------------------------------------------------------
// Diagnostics

bool qor_cScDiag::add(const qor_sScPos & pos, const char * kind, const std::string & text)
{
    std::string line;
    if (pos.file && pos.line > 0)
        line = *pos.file + ":" + std::to_string(pos.line) + ":" + std::to_string(pos.col) + ": ";
    else if (pos.file)
        line = *pos.file + ": "; // about the whole file
    line += std::string(kind) + ": " + text;
    // A message quotes source bytes and file names: control bytes (a NUL above all, which
    // would end the text for any C-string reader) are written as \xHH, one line per message.
    std::string safe;
    for (const char c : line)
    {
        const unsigned char u = (unsigned char)c;
        if (u < 0x20 || u == 0x7F)
        {
            static const char s_acHex[] = "0123456789ABCDEF";
            safe += "\\x";
            safe += s_acHex[u >> 4];
            safe += s_acHex[u & 15];
        }
        else
            safe += c;
    }
    line = safe + "\n";
    if (!m_seen.insert(line).second)
        return false;
    m_text += line;
    return true;
}

void qor_cScDiag::error(const qor_sScPos & pos, const std::string & text)
{
    if (m_errors >= 50)
        return;
    if (add(pos, "error", text))
        ++m_errors;
    if (m_errors == 50)
        m_text += "too many errors, compilation stopped\n";
}

void qor_cScDiag::warning(const qor_sScPos & pos, const std::string & text)
{
    if (add(pos, "warning", text))
        ++m_warnings;
}

namespace
{
const char * const s_apszPunct[] = {
    ">>>=", "<<=", ">>=", ">>>", "...", "..", "&&", "||", "==", "!=", "<=", ">=", "<<", ">>", "++", "--",
    "+=",   "-=",  "*=",  "/=",  "%=",  "&=", "|=", "^=", "+",  "-",  "*",  "/",  "%",  "&",  "|",  "^",
    "~",    "!",   "<",   ">",   "=",   "(",  ")",  "[",  "]",  "{",  "}",  ",",  ";",  ":",  "?",  ".",
};

bool isIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '@'; }
bool isIdentChar(char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Scans one text (a file or a #define body) into tokens.
class Scanner
{
  public:
    Scanner(const std::string & text, const std::string * file, int line, int col, qor_cScDiag & diag)
        : m_text(text), m_file(file), m_line(line), m_col(col), m_diag(diag)
    {
    }

    // Skips blanks and comments. Returns false at the end of the text.
    bool skipBlanks()
    {
        for (;;)
        {
            if (m_i >= m_text.size())
                return false;
            const char c = m_text[m_i];
            if (c == '\n')
            {
                advance();
                m_lineStart = true;
            }
            else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v')
                advance();
            else if (c == '/' && peek(1) == '/')
            {
                while (m_i < m_text.size() && m_text[m_i] != '\n')
                    advance();
            }
            else if (c == '/' && peek(1) == '*')
            {
                const qor_sScPos start = pos();
                advance();
                advance();
                while (m_i < m_text.size() && !(m_text[m_i] == '*' && peek(1) == '/'))
                    advance();
                if (m_i >= m_text.size())
                {
                    m_diag.error(start, "unterminated comment");
                    return false;
                }
                advance();
                advance();
            }
            else
                return true;
        }
    }

    bool atLineStart() const { return m_lineStart; }
    char cur() const { return m_i < m_text.size() ? m_text[m_i] : '\0'; }
    qor_sScPos pos() const
    {
        qor_sScPos p;
        p.file = m_file;
        p.line = m_line;
        p.col = m_col;
        return p;
    }

    // Reads the rest of the line (for directives), joining lines that end with a backslash,
    // with comments replaced by a blank. Leaves the newline unread.
    std::string restOfLine()
    {
        std::string out;
        while (m_i < m_text.size() && m_text[m_i] != '\n')
        {
            const char c = m_text[m_i];
            if (c == '\\' && (peek(1) == '\n' || (peek(1) == '\r' && peek(2) == '\n')))
            {
                advance();
                if (cur() == '\r')
                    advance();
                advance();
                out += ' ';
                continue;
            }
            if (c == '/' && peek(1) == '/')
            {
                while (m_i < m_text.size() && m_text[m_i] != '\n')
                    advance();
                break;
            }
            if (c == '/' && peek(1) == '*')
            {
                advance();
                advance();
                while (m_i < m_text.size() && !(m_text[m_i] == '*' && peek(1) == '/'))
                    advance();
                if (m_i < m_text.size())
                {
                    advance();
                    advance();
                }
                out += ' ';
                continue;
            }
            if (c == '"' || c == '\'')
            {
                // copy a literal as it is, so that "//" inside it is no comment
                out += c;
                advance();
                while (m_i < m_text.size() && m_text[m_i] != c && m_text[m_i] != '\n')
                {
                    if (m_text[m_i] == '\\' && peek(1) != '\n')
                    {
                        out += m_text[m_i];
                        advance();
                    }
                    out += m_text[m_i];
                    advance();
                }
                if (cur() == c)
                {
                    out += c;
                    advance();
                }
                continue;
            }
            out += c;
            advance();
        }
        return out;
    }

    // Reads one token; the caller has skipped blanks and checked there is one.
    void token(qor_sScToken & t)
    {
        m_lineStart = false;
        t = qor_sScToken();
        t.pos = pos();
        const char c = cur();
        if (isIdentStart(c))
        {
            while (isIdentChar(cur()))
            {
                t.text += cur();
                advance();
            }
            t.kind = qor_eScTok::Ident;
            if (cur() == ':' && peek(1) != ':')
                t.colonAfter = true;
            if (t.text.size() > 31)
                m_diag.error(t.pos, "identifier '" + t.text + "' is longer than 31 characters");
        }
        else if (isDigit(c))
            number(t);
        else if (c == '"')
            string(t);
        else if (c == '\'')
            character(t);
        else
        {
            for (const char * p : s_apszPunct)
            {
                const size_t n = std::strlen(p);
                if (m_text.compare(m_i, n, p) == 0)
                {
                    t.kind = qor_eScTok::Punct;
                    t.text = p;
                    for (size_t k = 0; k < n; ++k)
                        advance();
                    t.endPos = pos();
                    return;
                }
            }
            m_diag.error(t.pos, std::string("unexpected character '") + c + "'");
            advance();
            t.kind = qor_eScTok::Punct;
            t.text = "?bad";
        }
        t.endPos = pos();
    }

  private:
    const std::string & m_text;
    const std::string * m_file;
    size_t m_i = 0;
    int m_line;
    int m_col;
    bool m_lineStart = true;
    qor_cScDiag & m_diag;

    char peek(size_t k) const { return m_i + k < m_text.size() ? m_text[m_i + k] : '\0'; }
    void advance()
    {
        if (m_i >= m_text.size())
            return;
        if (m_text[m_i] == '\n')
        {
            ++m_line;
            m_col = 1;
        }
        else
            ++m_col;
        ++m_i;
    }

    void number(qor_sScToken & t)
    {
        t.kind = qor_eScTok::Number;
        std::string digits;
        uint64_t v = 0;
        bool overflow = false;
        if (cur() == '0' && (peek(1) == 'x' || peek(1) == 'X'))
        {
            advance();
            advance();
            int n = 0;
            while (std::isxdigit((unsigned char)cur()))
            {
                const char d = cur();
                v = v * 16 + (uint64_t)(isDigit(d) ? d - '0' : (std::tolower(d) - 'a' + 10));
                if (v > 0xFFFFFFFFull)
                    overflow = true;
                ++n;
                advance();
            }
            if (n == 0)
                m_diag.error(t.pos, "invalid hexadecimal number");
        }
        else if (cur() == '0' && (peek(1) == 'b' || peek(1) == 'B'))
        {
            advance();
            advance();
            int n = 0;
            while (cur() == '0' || cur() == '1')
            {
                v = v * 2 + (uint64_t)(cur() - '0');
                if (v > 0xFFFFFFFFull)
                    overflow = true;
                ++n;
                advance();
            }
            if (n == 0)
                m_diag.error(t.pos, "invalid binary number");
        }
        else
        {
            while (isDigit(cur()))
            {
                digits += cur();
                v = v * 10 + (uint64_t)(cur() - '0');
                if (v > 0x80000000ull)
                    overflow = true;
                advance();
            }
            if (cur() == '.' && isDigit(peek(1)))
            {
                // floating-point literal: digits '.' digits [e [+-] digits]
                digits += '.';
                advance();
                while (isDigit(cur()))
                {
                    digits += cur();
                    advance();
                }
                if ((cur() == 'e' || cur() == 'E') &&
                    (isDigit(peek(1)) || ((peek(1) == '-' || peek(1) == '+') && isDigit(peek(2)))))
                {
                    digits += 'e';
                    advance();
                    if (cur() == '-' || cur() == '+')
                    {
                        digits += cur();
                        advance();
                    }
                    while (isDigit(cur()))
                    {
                        digits += cur();
                        advance();
                    }
                }
                const float f = std::strtof(digits.c_str(), nullptr);
                if (std::isinf(f))
                    m_diag.error(t.pos, "floating-point literal is too large for a Float");
                uint32_t bits;
                std::memcpy(&bits, &f, 4);
                t.kind = qor_eScTok::Float;
                t.value = (cell)bits;
                t.text = digits;
                if (isIdentChar(cur()))
                    m_diag.error(t.pos, "invalid number");
                while (isIdentChar(cur()))
                    advance();
                return;
            }
        }
        if (isIdentChar(cur()))
        {
            m_diag.error(t.pos, "invalid number");
            while (isIdentChar(cur()))
                advance();
        }
        if (overflow)
            m_diag.error(t.pos, "integer literal does not fit in a cell");
        t.value = (cell)(uint32_t)v;
        t.text = digits;
    }

    // Reads one character of a literal, decoding escapes. Returns -1 at the end of the line.
    int literalChar(const qor_sScPos & start)
    {
        const char c = cur();
        if (c == '\0' || c == '\n')
            return -1;
        advance();
        if (c != '\\')
            return (unsigned char)c;
        const char e = cur();
        advance();
        switch (e)
        {
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        case 'a':
            return 7;
        case 'b':
            return 8;
        case 'e':
            return 27;
        case 'f':
            return 12;
        case 'v':
            return 11;
        case '0':
            return 0;
        case '\\':
            return '\\';
        case '\'':
            return '\'';
        case '"':
            return '"';
        case 'x': {
            int v = 0, n = 0;
            while (n < 2 && std::isxdigit((unsigned char)cur()))
            {
                const char d = cur();
                v = v * 16 + (isDigit(d) ? d - '0' : (std::tolower(d) - 'a' + 10));
                ++n;
                advance();
            }
            if (n == 0)
                m_diag.error(start, "invalid escape sequence '\\x'");
            return v;
        }
        default:
            m_diag.error(start, std::string("unknown escape sequence '\\") + e + "'");
            return (unsigned char)e;
        }
    }

    void string(qor_sScToken & t)
    {
        t.kind = qor_eScTok::String;
        advance();
        for (;;)
        {
            if (cur() == '"')
            {
                advance();
                break;
            }
            const int ch = literalChar(t.pos);
            if (ch < 0)
            {
                m_diag.error(t.pos, "unterminated string");
                break;
            }
            if (ch == 0)
                m_diag.error(t.pos, "a string cannot hold a zero character");
            t.text += (char)ch;
        }
    }

    void character(qor_sScToken & t)
    {
        t.kind = qor_eScTok::Number;
        t.isChar = true;
        advance();
        if (cur() == '\'')
        {
            m_diag.error(t.pos, "empty character literal");
            advance();
            return;
        }
        const int ch = literalChar(t.pos);
        if (ch < 0 || cur() != '\'')
        {
            m_diag.error(t.pos, "unterminated character literal");
            while (cur() != '\0' && cur() != '\n' && cur() != '\'')
                advance();
            if (cur() == '\'')
                advance();
            return;
        }
        advance();
        t.value = ch;
    }
};

std::string dirOf(const std::string & path)
{
    const size_t k = path.find_last_of('/');
    return k == std::string::npos ? std::string() : path.substr(0, k + 1);
}

// What the include search finds at a path: nothing, a folder (skipped, the search goes on),
// or something else, which is taken and then read through the file layer (a regular file is
// read, anything else is refused with the reason).
enum class PathKind
{
    None,
    Folder,
    Other
};

PathKind pathKind(const std::string & path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return PathKind::None;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

class Lexer
{
  public:
    Lexer(const std::vector<std::string> & includeDirs, uint64_t nMaxSource,
          std::vector<std::unique_ptr<std::string>> * pNames, qor_cScDiag & diag, qor_sScLexResult * pOut)
        : m_includeDirs(includeDirs), m_nSourceLeft(nMaxSource), m_nMaxSource(nMaxSource), m_pNames(pNames),
          m_diag(diag), m_out(pOut)
    {
    }

    bool file(const std::string & path, const std::string * pText, const qor_sScPos * pFrom)
    {
        // Every file counts against one budget: the sources of a compilation, includes with
        // them, are at most m_nMaxSource bytes (nothing past it is read or allocated).
        // Every file is read once: a repeated include is skipped before it is read again.
        char * real = pText ? nullptr : realpath(path.c_str(), nullptr);
        const std::string key = real ? std::string(real) : path;
        std::free(real);
        if (m_done.count(key))
            return true;
        std::string text, why;
        if (pText)
        {
            if (pText->size() > m_nSourceLeft)
                why = "too large";
            else
                text = *pText;
        }
        else if (!qoru_readFile(path.c_str(), m_nSourceLeft, &text, &why))
        {
            if (why.find("larger than the limit") != std::string::npos)
                why = "too large";
        }
        if (why == "too large")
            why = "the sources, includes with them, are larger than the limit of " + std::to_string(m_nMaxSource) +
                  " bytes";
        if (!why.empty())
        {
            if (pFrom)
                m_diag.error(*pFrom, "cannot read include file '" + path + "': " + why);
            else
                m_diag.error(qor_sScPos(), "cannot read file '" + path + "': " + why);
            return false;
        }
        m_nSourceLeft -= text.size();
        m_done.insert(key);
        if (++m_depth > 32)
        {
            m_diag.error(pFrom ? *pFrom : qor_sScPos(), "includes nested too deeply");
            --m_depth;
            return false;
        }
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            text[0] = text[1] = text[2] = ' '; // a UTF-8 byte order mark
        m_pNames->push_back(std::make_unique<std::string>(path));
        const std::string * name = m_pNames->back().get();
        Scanner sc(text, name, 1, 1, m_diag);
        while (sc.skipBlanks() && !m_diag.tooMany())
        {
            if (sc.atLineStart() && sc.cur() == '#')
            {
                if (!directive(sc, path))
                    break; // #endinput
                continue;
            }
            qor_sScToken t;
            sc.token(t);
            emit(t, 0);
        }
        --m_depth;
        return true;
    }

    void finish()
    {
        qor_sScToken t;
        t.kind = qor_eScTok::End;
        if (!m_out->tokens.empty())
        {
            t.pos = m_out->tokens.back().endPos;
            t.endPos = t.pos;
        }
        m_out->tokens.push_back(t);
    }

  private:
    const std::vector<std::string> & m_includeDirs;
    uint64_t m_nSourceLeft;
    const uint64_t m_nMaxSource;
    std::vector<std::unique_ptr<std::string>> * m_pNames;
    qor_cScDiag & m_diag;
    qor_sScLexResult * m_out;
    std::set<std::string> m_done;
    std::map<std::string, std::vector<qor_sScToken>> m_defines;
    std::set<std::string> m_expanding;
    int m_depth = 0;

    void emit(const qor_sScToken & t, int depth)
    {
        if (t.kind == qor_eScTok::Ident && !m_expanding.count(t.text) && depth < 64)
        {
            auto it = m_defines.find(t.text);
            if (it != m_defines.end())
            {
                m_expanding.insert(t.text);
                const std::vector<qor_sScToken> body = it->second;
                for (size_t k = 0; k < body.size(); ++k)
                {
                    qor_sScToken b = body[k];
                    b.pos = t.pos;
                    b.endPos = t.endPos;
                    if (k + 1 == body.size() && b.kind == qor_eScTok::Ident)
                        b.colonAfter = t.colonAfter;
                    emit(b, depth + 1);
                }
                m_expanding.erase(t.text);
                return;
            }
        }
        m_out->tokens.push_back(t);
    }

    // Handles one directive; returns false for #endinput.
    bool directive(Scanner & sc, const std::string & path)
    {
        const qor_sScPos at = sc.pos();
        std::string line = sc.restOfLine().substr(1);
        size_t i = 0;
        while (i < line.size() && std::isspace((unsigned char)line[i]))
            ++i;
        size_t j = i;
        while (j < line.size() && isIdentChar(line[j]))
            ++j;
        const std::string name = line.substr(i, j - i);
        while (j < line.size() && std::isspace((unsigned char)line[j]))
            ++j;
        std::string rest = line.substr(j);
        while (!rest.empty() && std::isspace((unsigned char)rest.back()))
            rest.pop_back();
        qor_sScPos restPos = at;
        restPos.col += (int)j + 1;

        if (name == "include" || name == "tryinclude")
        {
            if (rest.size() < 2 || !((rest[0] == '<' && rest.back() == '>') || (rest[0] == '"' && rest.back() == '"')))
            {
                m_diag.error(at, "#include expects <file> or \"file\"");
                return true;
            }
            const std::string target = rest.substr(1, rest.size() - 2);
            std::vector<std::string> dirs;
            if (rest[0] == '"')
                dirs.push_back(dirOf(path));
            for (const std::string & d : m_includeDirs)
                dirs.push_back(d.empty() || d.back() == '/' ? d : d + "/");
            std::string found, folder;
            for (const std::string & d : dirs)
            {
                const std::string cand = (target.size() && target[0] == '/') ? target : d + target;
                const PathKind kind = pathKind(cand);
                if (kind == PathKind::Other)
                {
                    found = cand;
                    break;
                }
                if (kind == PathKind::Folder && folder.empty())
                    folder = cand;
                if (target.find('.') == std::string::npos && pathKind(cand + ".inc") == PathKind::Other)
                {
                    found = cand + ".inc";
                    break;
                }
            }
            if (found.empty())
            {
                if (name == "include" && !folder.empty())
                    m_diag.error(at, "include file '" + folder + "' is a folder, not a regular file");
                else if (name == "include")
                    m_diag.error(at, "cannot find include file '" + target + "'");
                return true;
            }
            file(found, nullptr, &at);
            return true;
        }
        if (name == "define")
        {
            size_t k = 0;
            while (k < rest.size() && isIdentChar(rest[k]))
                ++k;
            const std::string macro = rest.substr(0, k);
            if (macro.empty() || !isIdentStart(macro[0]))
            {
                m_diag.error(at, "#define expects a name");
                return true;
            }
            if (k < rest.size() && rest[k] == '(')
            {
                m_diag.error(at, "macros with parameters are not supported");
                return true;
            }
            const std::string body = rest.substr(k);
            qor_sScPos bodyPos = restPos;
            bodyPos.col += (int)k;
            Scanner bs(body, at.file, at.line, bodyPos.col, m_diag);
            std::vector<qor_sScToken> toks;
            while (bs.skipBlanks())
            {
                qor_sScToken t;
                bs.token(t);
                toks.push_back(t);
            }
            if (m_defines.count(macro))
                m_diag.warning(at, "'" + macro + "' redefined");
            m_defines[macro] = toks;
            return true;
        }
        if (name == "undef")
        {
            m_defines.erase(rest);
            return true;
        }
        if (name == "pragma")
        {
            std::istringstream ss(rest);
            std::string what;
            ss >> what;
            if (what == "dynamic")
            {
                std::string v;
                ss >> v;
                auto it = m_defines.find(v);
                if (it != m_defines.end() && it->second.size() == 1 && it->second[0].kind == qor_eScTok::Number)
                    v = std::to_string(it->second[0].value);
                char * end = nullptr;
                const long n = v.empty() ? -1 : std::strtol(v.c_str(), &end, 0);
                if (v.empty() || *end != '\0' || n < 64 || n > 1024 * 1024 * 16)
                    m_diag.error(at, "#pragma dynamic expects a number of cells from 64 to 16777216");
                else
                    m_out->dynamicCells = (int)n;
            }
            else
                m_diag.warning(at, "unknown #pragma '" + what + "' ignored");
            return true;
        }
        if (name == "endinput")
            return false;
        m_diag.error(at, "unknown directive '#" + name + "'");
        return true;
    }
};
} // namespace

bool qor_scLex(const std::string & path, const std::string * pText, const std::vector<std::string> & includeDirs,
               uint64_t nMaxSource, std::vector<std::unique_ptr<std::string>> * pFileNames, qor_cScDiag & diag,
               qor_sScLexResult * pOut)
{
    Lexer lx(includeDirs, nMaxSource, pFileNames, diag, pOut);
    const bool ok = lx.file(path, pText, nullptr);
    lx.finish();
    return ok && diag.errors() == 0;
}
