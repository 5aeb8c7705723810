// Internal types of the qor-sc compiler: diagnostics, tokens, the syntax tree, the
// assembler. One compilation = preprocess+lex (qor_scLex.cpp) -> parse (qor_scParse.cpp)
// -> check and generate (qor_scGen.cpp) -> assemble and write the image (qor_scAsm.cpp).
#pragma once

#include "qor_amx.h"
#include "qor_sc.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>


// ---------------------------------------------------------------------------------------------
// Positions and diagnostics

struct qor_sScPos
{
    const std::string * file = nullptr; // owned by the lexer's file-name list
    int line = 0;
    int col = 0;
};

class qor_cScDiag
{
  public:
    void error(const qor_sScPos & pos, const std::string & text);
    void warning(const qor_sScPos & pos, const std::string & text);
    int errors() const { return m_errors; }
    int warnings() const { return m_warnings; }
    const std::string & text() const { return m_text; }
    bool tooMany() const { return m_errors >= 50; }

  private:
    bool add(const qor_sScPos & pos, const char * kind, const std::string & text);
    std::string m_text;
    std::set<std::string> m_seen; // one message per position and text
    int m_errors = 0;
    int m_warnings = 0;
};

// ---------------------------------------------------------------------------------------------
// Tokens

enum class qor_eScTok
{
    End,
    Ident,  // text
    Number, // value (integers and character literals)
    Float,  // value holds the IEEE single bits
    String, // text holds the characters (escapes decoded)
    Punct,  // text holds the operator
};

struct qor_sScToken
{
    qor_eScTok kind = qor_eScTok::End;
    std::string text;
    cell value = 0;
    bool isChar = false;     // Number written as a character literal
    bool colonAfter = false; // Ident directly followed by ':' (a tag, "Float:")
    qor_sScPos pos;
    qor_sScPos endPos; // position just after the token
};

struct qor_sScLexResult
{
    std::vector<qor_sScToken> tokens; // ends with an End token
    int dynamicCells = -1;            // #pragma dynamic, -1 when not given
};

// Reads `path` (or `text` when pText is set), follows #include and #define, returns tokens.
// The sources read, includes with them, are at most nMaxSource bytes in all. pFileNames keeps
// the strings that token positions point to.
bool qor_scLex(const std::string & path, const std::string * pText, const std::vector<std::string> & includeDirs,
               uint64_t nMaxSource, std::vector<std::unique_ptr<std::string>> * pFileNames, qor_cScDiag & diag,
               qor_sScLexResult * pOut);

// ---------------------------------------------------------------------------------------------
// Syntax tree

enum class qor_eScExpr
{
    Number,  // value, tag ("" or "Float" for float literals, "bool" for true/false)
    String,  // text, packed
    Ident,   // name
    Index,   // kids[0][kids[1]]
    Call,    // name(kids...), a null kid is an omitted argument ("_" placeholder)
    Unary,   // op in {"-", "!", "~"} kids[0]
    Binary,  // op, kids[0], kids[1]  (arithmetic, bitwise, comparisons)
    Logical, // op in {"&&", "||"}
    Assign,  // op in {"=", "+=", ...}, kids[0] = lvalue
    Ternary, // kids[0] ? kids[1] : kids[2]
    IncDec,  // op "++"/"--", prefix flag, kids[0]
    Sizeof,  // name, levels (number of [] after the name)
    TagCast, // tag, kids[0]
};

struct qor_sScExpr
{
    qor_eScExpr kind;
    qor_sScPos pos;
    std::string op;
    std::string name; // identifier, string text, tag of Number/TagCast
    cell value = 0;
    bool packed = false;
    bool prefix = false;
    int levels = 0;
    int depth = 1; // height of the tree below (limits the recursion of the later passes)
    std::vector<std::unique_ptr<qor_sScExpr>> kids;
};
typedef std::unique_ptr<qor_sScExpr> qor_tScExprPtr;

// An initialiser: an expression (possibly a string) or a braced list of initialisers.
struct qor_sScInit
{
    qor_sScPos pos;
    qor_tScExprPtr expr;           // set for a single value or string
    std::vector<qor_sScInit> list; // set for { ... }
    bool isList = false;
};

struct qor_sScVarDecl
{
    qor_sScPos pos;
    std::string name;
    std::string tag;
    std::vector<qor_tScExprPtr> dims; // one entry per [], null for "[]" (size from init)
    bool hasInit = false;
    qor_sScInit init;
    bool isConst = false;
    bool isStatic = false;
    bool isEnumStep = false; // an enumeration constant without "=": the one before plus one
};

enum class qor_eScStmt
{
    Empty,
    Expr,
    Vars,
    Const,
    Block,
    If,
    While,
    Do,
    For,
    Switch,
    Break,
    Continue,
    Return,
};

struct qor_sScStmt;
typedef std::unique_ptr<qor_sScStmt> qor_tScStmtPtr;

struct qor_sScCase
{
    qor_sScPos pos;
    bool isDefault = false;
    // each value is a single value (hi null) or a range lo .. hi
    std::vector<std::pair<qor_tScExprPtr, qor_tScExprPtr>> values;
    std::vector<qor_tScStmtPtr> body;
};

struct qor_sScStmt
{
    qor_eScStmt kind;
    qor_sScPos pos;
    qor_sScPos endPos;                 // closing brace of a block
    qor_tScExprPtr expr;               // Expr, If/While/Do/For condition, Switch, Return
    std::vector<qor_tScExprPtr> exprs; // For: increment expressions
    std::vector<qor_sScVarDecl> vars;  // Vars, Const
    std::vector<qor_tScStmtPtr> body;  // Block statements; If: then, else; loops: body
    std::vector<qor_tScStmtPtr> init;  // For: init statement (0 or 1)
    std::vector<qor_sScCase> cases;    // Switch
};

struct qor_sScParam
{
    qor_sScPos pos;
    std::string name;
    std::string tag;
    bool isRef = false; // &name
    bool isConst = false;
    std::vector<qor_tScExprPtr> dims; // array parameter: one entry per [], null for []
    bool hasDefault = false;
    qor_sScInit def;         // default value
    bool isVariadic = false; // ... (natives only)
};

struct qor_sScFunction
{
    qor_sScPos pos;
    std::string name;
    std::string tag; // result tag
    std::vector<qor_sScParam> params;
    bool isNative = false;
    bool isPublic = false;
    bool isStock = false;
    bool isForward = false;            // declaration only
    std::unique_ptr<qor_sScStmt> body; // null for natives and forward declarations
};

// One global declaration, in source order.
struct qor_sScGlobal
{
    enum Kind
    {
        Vars,
        Const,
        Function
    } kind;
    std::vector<qor_sScVarDecl> vars; // Vars, Const
    std::unique_ptr<qor_sScFunction> func;
};

struct qor_sScProgram
{
    std::vector<qor_sScGlobal> globals;
};

bool qor_scParse(const std::vector<qor_sScToken> & tokens, qor_cScDiag & diag, qor_sScProgram * pOut);

// ---------------------------------------------------------------------------------------------
// Opcodes (numbered 1 to 133 in this order)

// The machine's own opcode numbers (qor_amx.h), under the names the generator uses.
typedef int qor_eScOp;
enum
{
    OP_PUSH_ADR = OP_PUSHADDR,
    OP_COUNT = OP_NUM_OPCODES, // 134
};

// Mnemonic of an opcode ("load.pri").
const char * qor_scOpName(int op);

// ---------------------------------------------------------------------------------------------
// Assembler: code as a list of instructions with symbolic labels, the data section, the
// public and native tables; writes the image and the listing.

enum class qor_eScArg
{
    Value,  // a plain number
    Label,  // a code label (relocated by the machine)
    Data,   // a data address (shown as such in the listing)
    Native, // a native index
};

struct qor_sScArg
{
    qor_eScArg kind = qor_eScArg::Value;
    cell value = 0; // number, label id, data address or native index
};

struct qor_sScIns
{
    int op = OP_NONE; // OP_NONE: a label definition (label in args[0]) or a comment
    std::vector<qor_sScArg> args;
    std::string comment; // listing only
};

class qor_cScAsm
{
  public:
    int newLabel();
    void label(int id);
    void emit(int op);
    void emit(int op, cell v);
    void emitLabel(int op, int label);
    void emitData(int op, cell addr);
    void emitNative(int op, int index);
    // casetbl: default label, (value, label) pairs
    void emitCaseTable(int defLabel, const std::vector<std::pair<cell, int>> & cases);
    void comment(const std::string & text);
    cell codeSize() const;

    // data section (cells) under a label; returns the byte address of the first cell.
    // kind: 0 plain cells, 1 unpacked string, 2 packed string (text = the characters).
    cell addData(const std::vector<cell> & cells, const std::string & label, int kind = 0,
                 const std::string & text = std::string());
    cell dataSize() const { return (cell)m_data.size() * 4; }

    int addNative(const std::string & name); // index, added on first use
    void addPublic(const std::string & name, int label);
    void setMain(int label) { m_mainLabel = label; }
    void setLabelName(int label, const std::string & name) { m_labelNames[label] = name; }

    // Writes the image; false (with a diagnostic) if something does not fit.
    bool write(int dynamicCells, bool compact, std::vector<uint8_t> * pOut, std::string * pErr);
    std::string listing(int dynamicCells) const;

  private:
    std::vector<qor_sScIns> m_code;
    std::vector<int> m_labelOffset; // filled by layout()
    std::map<int, std::string> m_labelNames;
    std::vector<cell> m_data;
    struct DataItem
    {
        cell addr;
        cell cells;
        std::string label;
        int kind;
        std::string text;
    };
    std::vector<DataItem> m_dataItems;
    bool m_wroteCompact = false;
    std::string dataOperand(cell addr) const;
    std::vector<std::string> m_natives;
    std::vector<std::pair<std::string, int>> m_publics;
    int m_mainLabel = -1;
    void layout();
    std::string labelText(int label) const;
};

// Checks the program and generates its code into `as`. Returns false on errors.
// `file` names the compiled file in messages about the whole file.
bool qor_scGenerate(const qor_sScProgram & prog, const std::string * file, qor_cScDiag & diag, qor_cScAsm & as);
