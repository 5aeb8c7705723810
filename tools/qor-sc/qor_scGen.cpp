// Semantic checks and code generation: walks the syntax tree, resolves names, checks tags,
// folds constants and emits the machine's instructions into the assembler.
//
// Registers: every expression leaves its value in pri; binary operators keep the left value
// on the stack while the right one is computed (push.pri ... pop.alt). Locals live below the
// frame pointer and are allocated as they are declared (push.pri, or stack -n for arrays);
// parameters lie above it: [frm+8] holds the argument bytes, [frm+12] the first argument.
#include "qor_scInternal.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <unordered_map>

namespace
{
enum class SymKind
{
    Const,
    Global, // value = data address
    Local,  // value = frame offset (negative)
    Param,  // value = frame offset; by value, or by address (isRef, or an array)
    Function,
    Native,
};

struct Sym
{
    SymKind kind = SymKind::Const;
    std::string name;
    std::string tag;
    qor_sScPos pos;
    cell value = 0;
    std::vector<cell> dims; // array dimensions; 0 = unknown ([] parameter)
    bool isRef = false;
    bool isConst = false;
    const qor_sScFunction * func = nullptr;
    int label = -1;
    bool queued = false;
};

bool isWeakTag(const std::string & t) { return t.empty() || std::islower((unsigned char)t[0]); }
std::string tagText(const std::string & t) { return t.empty() ? "untagged" : "'" + t + ":'"; }

float asFloat(cell v)
{
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}
cell fromFloat(float f)
{
    cell v;
    std::memcpy(&v, &f, 4);
    return v;
}

bool isRelational(const std::string & op)
{
    return op == "<" || op == "<=" || op == ">" || op == ">=" || op == "==" || op == "!=";
}

std::string flipRel(const std::string & op) // a op b  <=>  b flip(op) a
{
    if (op == "<")
        return ">";
    if (op == "<=")
        return ">=";
    if (op == ">")
        return "<";
    if (op == ">=")
        return "<=";
    return op;
}

std::string negateRel(const std::string & op)
{
    if (op == "<")
        return ">=";
    if (op == "<=")
        return ">";
    if (op == ">")
        return "<=";
    if (op == ">=")
        return "<";
    if (op == "==")
        return "!=";
    return "==";
}

int relValueOp(const std::string & op) // pri op alt -> pri
{
    if (op == "<")
        return OP_SLESS;
    if (op == "<=")
        return OP_SLEQ;
    if (op == ">")
        return OP_SGRTR;
    if (op == ">=")
        return OP_SGEQ;
    if (op == "==")
        return OP_EQ;
    return OP_NEQ;
}

int relJumpOp(const std::string & op) // jump if pri op alt
{
    if (op == "<")
        return OP_JSLESS;
    if (op == "<=")
        return OP_JSLEQ;
    if (op == ">")
        return OP_JSGRTR;
    if (op == ">=")
        return OP_JSGEQ;
    if (op == "==")
        return OP_JEQ;
    return OP_JNEQ;
}

// Division as the machine does it: the quotient rounds towards minus infinity.
void floorDiv(cell a, cell b, cell * q, cell * r)
{
    const int64_t A = a, B = b;
    int64_t rem = (B + A % B) % B;
    int64_t quo = (A - rem) / B;
    *q = (cell)(uint32_t)(uint64_t)quo;
    *r = (cell)rem;
}

std::vector<cell> stringCells(const std::string & s, bool packed)
{
    std::vector<cell> out;
    if (!packed)
    {
        for (unsigned char c : s)
            out.push_back(c);
        out.push_back(0);
        return out;
    }
    const size_t bytes = s.size() + 1;
    out.assign((bytes + 3) / 4, 0);
    for (size_t k = 0; k < s.size(); ++k)
    {
        const uint32_t c = (unsigned char)s[k];
        out[k / 4] = (cell)((uint32_t)out[k / 4] | (c << (8 * (3 - (k % 4)))));
    }
    return out;
}

// How an array's base address is found.
struct ArrRef
{
    enum Kind
    {
        None,
        Global,
        Local,
        Param,
        Computed
    } kind = None; // Computed: in pri
    cell value = 0;
    std::vector<cell> dims;
    std::string tag;
    bool isConst = false;
    std::string name;
};

// An assignable place.
struct LVal
{
    enum Kind
    {
        None,
        Global,
        Local,
        Ref,
        Address
    } kind = None; // Address: in pri
    cell value = 0;
    std::string tag;
    bool isConst = false;
    std::string name;
};

const int64_t MAX_DATA_CELLS = 4 * 1024 * 1024; // 16 MiB of globals and literals
const size_t MAX_CASES = 65536;                 // entries of one case table

class Gen
{
  public:
    Gen(qor_cScDiag & diag, qor_cScAsm & as, const std::string * file) : m_diag(diag), m_as(as), m_file(file) {}

    bool run(const qor_sScProgram & prog)
    {
        pushScope();
        predefine("cellbits", 32);
        predefine("cellmax", 2147483647);
        predefine("cellmin", (cell)0x80000000u);
        predefine("charbits", 8);

        // 1. functions and natives, so that calls may come before definitions
        for (const qor_sScGlobal & g : prog.globals)
            if (g.kind == qor_sScGlobal::Function)
                declareFunction(*g.func);
        // 2. global constants and variables, in order
        for (const qor_sScGlobal & g : prog.globals)
        {
            if (g.kind == qor_sScGlobal::Const)
                for (const qor_sScVarDecl & v : g.vars)
                    declareConst(v);
            else if (g.kind == qor_sScGlobal::Vars)
                for (const qor_sScVarDecl & v : g.vars)
                    declareGlobal(v);
        }
        // 3. code: a halt at address 0, then every function that is not "stock", then the
        //    stock functions that are called
        m_as.emit(OP_HALT, 0);
        for (const qor_sScGlobal & g : prog.globals)
        {
            if (g.kind != qor_sScGlobal::Function || !g.func->body)
                continue;
            Sym * s = find(g.func->name);
            if (s && s->func == g.func.get() && !g.func->isStock)
                queue(s);
        }
        while (!m_work.empty())
        {
            Sym * s = m_work.front();
            m_work.pop_front();
            genFunction(*s);
        }
        Sym * mainSym = find("main");
        if (!mainSym || mainSym->kind != SymKind::Function || !mainSym->func->body)
        {
            qor_sScPos pos;
            pos.file = m_file;
            m_diag.warning(pos, "the script has no main() function");
        }
        else
            m_as.setMain(mainSym->label);
        return m_diag.errors() == 0;
    }

  private:
    qor_cScDiag & m_diag;
    qor_cScAsm & m_as;
    const std::string * m_file;
    std::deque<Sym> m_syms; // stable storage
    std::vector<std::unordered_map<std::string, Sym *>> m_scopes;
    std::deque<Sym *> m_work;
    std::map<std::pair<std::string, bool>, cell> m_literals;
    int m_dataCount = 0;
    const qor_sScFunction * m_defFunc = nullptr; // the function whose defaults are evaluated

    // per function
    const qor_sScFunction * m_func = nullptr;
    cell m_stack = 0; // bytes of locals below frm
    struct Target
    {
        int breakLabel;
        int continueLabel; // -1 for a switch
        cell stack;
    };
    std::vector<Target> m_targets;

    // ---- symbols
    void pushScope() { m_scopes.emplace_back(); }
    void popScope() { m_scopes.pop_back(); }
    Sym * find(const std::string & name)
    {
        for (size_t k = m_scopes.size(); k-- > 0;)
        {
            auto it = m_scopes[k].find(name);
            if (it != m_scopes[k].end())
                return it->second;
        }
        return nullptr;
    }
    Sym * add(const Sym & s)
    {
        auto & scope = m_scopes.back();
        auto it = scope.find(s.name);
        if (it != scope.end())
        {
            m_diag.error(s.pos, "symbol '" + s.name + "' is already defined");
            return it->second;
        }
        m_syms.push_back(s);
        scope[s.name] = &m_syms.back();
        return &m_syms.back();
    }
    void predefine(const char * name, cell v)
    {
        Sym s;
        s.kind = SymKind::Const;
        s.name = name;
        s.value = v;
        add(s);
    }

    void checkTag(const std::string & want, const std::string & got, const qor_sScPos & pos)
    {
        if (want == got)
            return;
        if (want.empty() && isWeakTag(got))
            return; // bool: values may be used as numbers
        m_diag.warning(pos, "tag mismatch: expected " + tagText(want) + " value, found " + tagText(got));
    }

    // ---- declarations
    void declareFunction(const qor_sScFunction & f)
    {
        Sym * old = m_scopes[0].count(f.name) ? m_scopes[0][f.name] : nullptr;
        if (old)
        {
            const bool bothNative = old->kind == SymKind::Native && f.isNative;
            const bool fwd = old->kind == SymKind::Function && (old->func->isForward || f.isForward) && !f.isNative;
            if (bothNative)
                return;
            if (fwd)
            {
                if (old->func->params.size() != f.params.size())
                    m_diag.error(f.pos, "'" + f.name + "' does not match its forward declaration");
                if (!f.isForward)
                {
                    old->func = &f;
                    old->pos = f.pos;
                }
                return;
            }
            m_diag.error(f.pos, "symbol '" + f.name + "' is already defined");
            return;
        }
        Sym s;
        s.kind = f.isNative ? SymKind::Native : SymKind::Function;
        s.name = f.name;
        s.tag = f.tag;
        s.pos = f.pos;
        s.func = &f;
        if (!f.isNative)
        {
            s.label = m_as.newLabel();
            m_as.setLabelName(s.label, f.name);
        }
        for (const qor_sScParam & p : f.params)
        {
            if (p.isVariadic)
                m_diag.error(p.pos, "variable argument lists ('...') are not supported");
            if (p.isRef && p.hasDefault)
                m_diag.error(p.pos, "a reference parameter cannot have a default value");
            if (p.isRef && !p.dims.empty())
                m_diag.error(p.pos, "arrays are always passed by address: remove the '&'");
        }
        if (f.isPublic && f.name.size() > 19)
            m_diag.error(f.pos, "public function name '" + f.name + "' is longer than 19 characters");
        if (f.isPublic && f.isNative)
            m_diag.error(f.pos, "a native function cannot be public");
        add(s);
    }

    void declareConst(const qor_sScVarDecl & v)
    {
        cell value = 0;
        std::string tag;
        if (!constExpr(*v.init.expr, &value, &tag))
            m_diag.error(v.init.expr->pos, "the value of constant '" + v.name + "' must be a constant expression");
        // One past 2147483647 wraps to the most negative cell: an enumeration does not fit.
        else if (v.isEnumStep && value == INT32_MIN)
            m_diag.error(v.pos, "enumeration constant '" + v.name + "' is past 2147483647 and does not fit in a cell");
        if (!v.tag.empty())
        {
            checkTag(v.tag, tag, v.init.expr->pos);
            tag = v.tag;
        }
        Sym s;
        s.kind = SymKind::Const;
        s.name = v.name;
        s.tag = tag;
        s.pos = v.pos;
        s.value = value;
        add(s);
    }

    // Evaluates the dimensions and initialiser of an array or scalar declaration into cells.
    bool buildData(const qor_sScVarDecl & v, std::vector<cell> * pDims, std::vector<cell> * pCells)
    {
        std::vector<cell> & dims = *pDims;
        dims.clear();
        if (v.dims.size() > 2)
        {
            m_diag.error(v.pos, "arrays have at most two dimensions");
            return false;
        }
        for (const qor_tScExprPtr & d : v.dims)
        {
            cell n = 0;
            if (d)
            {
                std::string t;
                if (!constExpr(*d, &n, &t))
                {
                    m_diag.error(d->pos, "array size must be a constant expression");
                    return false;
                }
                if (n <= 0 || n > 16 * 1024 * 1024)
                {
                    m_diag.error(d->pos, "invalid array size " + std::to_string(n));
                    return false;
                }
            }
            dims.push_back(n);
        }
        int64_t total = 1;
        for (cell d : dims)
            total *= std::max<cell>(d, 1);
        if (total > MAX_DATA_CELLS)
        {
            m_diag.error(v.pos, "array '" + v.name + "' is larger than " + std::to_string(MAX_DATA_CELLS) + " cells");
            return false;
        }
        pCells->clear();
        if (dims.empty())
        {
            cell value = 0;
            if (v.hasInit)
            {
                if (v.init.isList || v.init.expr->kind == qor_eScExpr::String)
                {
                    m_diag.error(v.init.pos,
                                 "'" + v.name + "' is not an array: declare it with a size, as in " + v.name + "[]");
                    return false;
                }
                std::string t;
                if (!constExpr(*v.init.expr, &value, &t))
                {
                    m_diag.error(v.init.expr->pos,
                                 "the initial value of '" + v.name + "' must be a constant expression");
                    return false;
                }
                checkTag(v.tag, t, v.init.expr->pos);
            }
            pCells->push_back(value);
            return true;
        }
        if (!v.hasInit)
        {
            for (cell d : dims)
                if (d == 0)
                {
                    m_diag.error(v.pos,
                                 "the size of array '" + v.name + "' must be given, or follow from its initialiser");
                    return false;
                }
            pCells->assign((size_t)(dims[0] * (dims.size() > 1 ? dims[1] : 1)), 0);
            return true;
        }
        if (dims.size() == 1)
        {
            std::vector<cell> row;
            if (!rowData(v.init, v.tag, &row))
                return false;
            if (dims[0] == 0)
                dims[0] = (cell)row.size();
            if ((cell)row.size() > dims[0])
            {
                m_diag.error(v.init.pos, "the initialiser of '" + v.name + "' has " + std::to_string(row.size()) +
                                             " cells, more than the array's " + std::to_string(dims[0]));
                return false;
            }
            if (dims[0] == 0)
            {
                m_diag.error(v.init.pos, "array '" + v.name + "' would be empty");
                return false;
            }
            row.resize((size_t)dims[0], 0);
            *pCells = row;
            return true;
        }
        if (!v.init.isList)
        {
            m_diag.error(v.init.pos, "a two-dimensional array is initialised with a list of rows");
            return false;
        }
        std::vector<std::vector<cell>> rows;
        for (const qor_sScInit & r : v.init.list)
        {
            std::vector<cell> row;
            if (!rowData(r, v.tag, &row))
                return false;
            rows.push_back(row);
        }
        if (dims[0] == 0)
            dims[0] = (cell)rows.size();
        if ((cell)rows.size() > dims[0])
        {
            m_diag.error(v.init.pos, "the initialiser of '" + v.name + "' has " + std::to_string(rows.size()) +
                                         " rows, more than the array's " + std::to_string(dims[0]));
            return false;
        }
        cell width = dims[1];
        if (width == 0)
            for (const auto & r : rows)
                width = std::max(width, (cell)r.size());
        if (dims[0] == 0 || width == 0)
        {
            m_diag.error(v.init.pos, "array '" + v.name + "' would be empty");
            return false;
        }
        for (const auto & r : rows)
            if ((cell)r.size() > width)
            {
                m_diag.error(v.init.pos, "a row of the initialiser of '" + v.name + "' has " +
                                             std::to_string(r.size()) + " cells, more than the array's " +
                                             std::to_string(width));
                return false;
            }
        dims[1] = width;
        if ((int64_t)dims[0] * width > MAX_DATA_CELLS)
        {
            m_diag.error(v.pos, "array '" + v.name + "' is larger than " + std::to_string(MAX_DATA_CELLS) + " cells");
            return false;
        }
        for (cell k = 0; k < dims[0]; ++k)
        {
            std::vector<cell> row = k < (cell)rows.size() ? rows[(size_t)k] : std::vector<cell>();
            row.resize((size_t)width, 0);
            pCells->insert(pCells->end(), row.begin(), row.end());
        }
        return true;
    }

    bool rowData(const qor_sScInit & init, const std::string & tag, std::vector<cell> * pOut)
    {
        if (!init.isList)
        {
            if (init.expr->kind == qor_eScExpr::String)
            {
                *pOut = stringCells(init.expr->name, init.expr->packed);
                return true;
            }
            m_diag.error(init.pos, "an array is initialised with a list { ... } or a string");
            return false;
        }
        for (const qor_sScInit & item : init.list)
        {
            if (item.isList || item.expr->kind == qor_eScExpr::String)
            {
                m_diag.error(item.pos, "too many levels of braces in the initialiser");
                return false;
            }
            cell v = 0;
            std::string t;
            if (!constExpr(*item.expr, &v, &t))
            {
                m_diag.error(item.expr->pos, "array initialisers must be constant expressions");
                return false;
            }
            checkTag(tag, t, item.expr->pos);
            pOut->push_back(v);
        }
        return true;
    }

    void declareGlobal(const qor_sScVarDecl & v)
    {
        std::vector<cell> dims, cells;
        if (!buildData(v, &dims, &cells))
            cells.assign(1, 0);
        if (m_as.dataSize() / 4 + (int64_t)cells.size() > MAX_DATA_CELLS)
        {
            m_diag.error(v.pos, "the global data is larger than " + std::to_string(MAX_DATA_CELLS) + " cells");
            cells.assign(1, 0);
            dims.assign(dims.size(), 1);
        }
        Sym s;
        s.kind = SymKind::Global;
        s.name = v.name;
        s.tag = v.tag;
        s.pos = v.pos;
        s.dims = dims;
        s.isConst = v.isConst;
        std::string label = v.name;
        if (m_scopes.size() > 1)
            label += ".s" + std::to_string(++m_dataCount); // a static local
        const bool isString = dims.size() == 1 && v.hasInit && !v.init.isList &&
                              v.init.expr->kind == qor_eScExpr::String &&
                              (cell)cells.size() == (cell)stringCells(v.init.expr->name, v.init.expr->packed).size();
        if (isString)
            s.value = m_as.addData(cells, label, v.init.expr->packed ? 2 : 1, v.init.expr->name);
        else
            s.value = m_as.addData(cells, label);
        add(s);
    }

    cell literal(const std::string & text, bool packed)
    {
        auto key = std::make_pair(text, packed);
        auto it = m_literals.find(key);
        if (it != m_literals.end())
            return it->second;
        const cell addr =
            m_as.addData(stringCells(text, packed), "str." + std::to_string(++m_dataCount), packed ? 2 : 1, text);
        m_literals[key] = addr;
        return addr;
    }

    // ---- constants
    // Returns true when `e` is a constant expression, with its value and tag. Reports
    // division by zero and tag mismatches itself.
    bool constExpr(const qor_sScExpr & e, cell * pv, std::string * pt)
    {
        switch (e.kind)
        {
        case qor_eScExpr::Number:
            *pv = e.value;
            *pt = e.name;
            return true;
        case qor_eScExpr::Ident: {
            Sym * s = find(e.name);
            if (!s || s->kind != SymKind::Const)
                return false;
            *pv = s->value;
            *pt = s->tag;
            return true;
        }
        case qor_eScExpr::Sizeof:
            return sizeofValue(e, pv, pt);
        case qor_eScExpr::TagCast: {
            if (!constExpr(*e.kids[0], pv, pt))
                return false;
            *pt = e.name;
            return true;
        }
        case qor_eScExpr::Unary: {
            cell a;
            std::string t;
            if (!constExpr(*e.kids[0], &a, &t))
                return false;
            if (e.op == "-")
            {
                *pv = t == "Float" ? fromFloat(-asFloat(a)) : (cell)(0u - (uint32_t)a);
                *pt = t;
            }
            else if (e.op == "!")
            {
                *pv = a == 0;
                *pt = "bool";
            }
            else
            {
                *pv = ~a;
                *pt = t;
            }
            return true;
        }
        case qor_eScExpr::Logical: {
            cell a, b;
            std::string ta, tb;
            if (!constExpr(*e.kids[0], &a, &ta) || !constExpr(*e.kids[1], &b, &tb))
                return false;
            *pv = e.op == "&&" ? (a != 0 && b != 0) : (a != 0 || b != 0);
            *pt = "bool";
            return true;
        }
        case qor_eScExpr::Ternary: {
            cell c, a, b;
            std::string tc, ta, tb;
            if (!constExpr(*e.kids[0], &c, &tc) || !constExpr(*e.kids[1], &a, &ta) || !constExpr(*e.kids[2], &b, &tb))
                return false;
            checkTag(ta, tb, e.kids[2]->pos);
            *pv = c ? a : b;
            *pt = ta;
            return true;
        }
        case qor_eScExpr::Binary: {
            cell a, b;
            std::string ta, tb;
            if (!constExpr(*e.kids[0], &a, &ta) || !constExpr(*e.kids[1], &b, &tb))
                return false;
            const std::string tag = binaryTag(e, ta, tb);
            const bool fl = ta == "Float" && tb == "Float";
            *pt = isRelational(e.op) ? "bool" : tag;
            return foldBinary(e, a, b, fl, pv);
        }
        default:
            return false;
        }
    }

    bool foldBinary(const qor_sScExpr & e, cell a, cell b, bool fl, cell * pv)
    {
        const std::string & op = e.op;
        const uint32_t ua = (uint32_t)a, ub = (uint32_t)b;
        if (fl)
        {
            const float x = asFloat(a), y = asFloat(b);
            if (op == "+")
            {
                *pv = fromFloat(x + y);
                return true;
            }
            if (op == "-")
            {
                *pv = fromFloat(x - y);
                return true;
            }
            if (op == "*")
            {
                *pv = fromFloat(x * y);
                return true;
            }
            if (op == "/")
            {
                if (y == 0.0f)
                {
                    m_diag.error(e.pos, "division by zero");
                    *pv = 0;
                    return true;
                }
                *pv = fromFloat(x / y);
                return true;
            }
            if (op == "<")
            {
                *pv = x < y;
                return true;
            }
            if (op == "<=")
            {
                *pv = x <= y;
                return true;
            }
            if (op == ">")
            {
                *pv = x > y;
                return true;
            }
            if (op == ">=")
            {
                *pv = x >= y;
                return true;
            }
            if (op == "==")
            {
                *pv = x == y;
                return true;
            }
            if (op == "!=")
            {
                *pv = x != y;
                return true;
            }
            if (op == "%")
            {
                m_diag.error(e.pos, "'%' is not defined for Float values");
                *pv = 0;
                return true;
            }
        }
        if (op == "+")
            *pv = (cell)(ua + ub);
        else if (op == "-")
            *pv = (cell)(ua - ub);
        else if (op == "*")
            *pv = (cell)(ua * ub);
        else if (op == "/" || op == "%")
        {
            if (b == 0)
            {
                m_diag.error(e.pos, "division by zero");
                *pv = 0;
                return true;
            }
            cell q, r;
            floorDiv(a, b, &q, &r);
            *pv = op == "/" ? q : r;
        }
        else if (op == "<<")
            *pv = (cell)(ua << (ub & 31));
        else if (op == ">>")
            *pv = a >> (ub & 31);
        else if (op == ">>>")
            *pv = (cell)(ua >> (ub & 31));
        else if (op == "&")
            *pv = a & b;
        else if (op == "|")
            *pv = a | b;
        else if (op == "^")
            *pv = a ^ b;
        else if (op == "<")
            *pv = a < b;
        else if (op == "<=")
            *pv = a <= b;
        else if (op == ">")
            *pv = a > b;
        else if (op == ">=")
            *pv = a >= b;
        else if (op == "==")
            *pv = a == b;
        else if (op == "!=")
            *pv = a != b;
        else
            return false;
        return true;
    }

    // Tag of a binary operation, with the mismatch warning.
    std::string binaryTag(const qor_sScExpr & e, const std::string & ta, const std::string & tb)
    {
        if (ta == tb)
            return ta;
        if (isWeakTag(ta) && isWeakTag(tb))
            return std::string();
        m_diag.warning(e.pos, "tag mismatch: " + tagText(ta) + " and " + tagText(tb) + " operands of '" + e.op + "'");
        return ta;
    }

    bool sizeofValue(const qor_sScExpr & e, cell * pv, std::string * pt)
    {
        *pt = std::string();
        Sym * s = find(e.name);
        if (!s)
        {
            m_diag.error(e.pos, "undefined symbol '" + e.name + "'");
            *pv = 0;
            return true;
        }
        if (s->kind == SymKind::Function || s->kind == SymKind::Native)
        {
            m_diag.error(e.pos, "sizeof of a function");
            *pv = 0;
            return true;
        }
        if (s->dims.empty())
        {
            if (e.levels > 0)
                m_diag.error(e.pos, "'" + e.name + "' is not an array");
            *pv = 1;
            return true;
        }
        if (e.levels >= (int)s->dims.size())
        {
            m_diag.error(e.pos, "array '" + e.name + "' has only " + std::to_string(s->dims.size()) + " dimension(s)");
            *pv = 0;
            return true;
        }
        *pv = s->dims[(size_t)e.levels];
        if (*pv == 0)
            m_diag.error(e.pos, "the size of array parameter '" + e.name + "' is unknown: declare it with a size");
        return true;
    }

    // ---- functions
    void queue(Sym * s)
    {
        if (s->queued)
            return;
        s->queued = true;
        m_work.push_back(s);
    }

    void genFunction(Sym & fs)
    {
        const qor_sScFunction & f = *fs.func;
        m_func = &f;
        m_stack = 0;
        m_targets.clear();
        m_as.comment(std::string(f.isPublic ? "public " : "") + f.name);
        m_as.label(fs.label);
        if (f.isPublic)
            m_as.addPublic(f.name, fs.label);
        m_as.emit(OP_PROC);
        m_defFunc = &f;
        pushScope();
        cell off = 12;
        for (const qor_sScParam & p : f.params)
        {
            Sym s;
            s.kind = SymKind::Param;
            s.name = p.name;
            s.tag = p.tag;
            s.pos = p.pos;
            s.value = off;
            s.isRef = p.isRef;
            s.isConst = p.isConst;
            s.dims = paramDims(p);
            add(s);
            off += 4;
            if (p.hasDefault)
                checkDefault(p);
        }
        genBlock(*f.body, false);
        bool endsWithReturn = !f.body->body.empty() && f.body->body.back()->kind == qor_eScStmt::Return;
        if (!endsWithReturn)
        {
            releaseTo(0);
            m_as.emit(OP_ZERO_PRI);
            m_as.emit(OP_RETN);
        }
        popScope();
        m_func = nullptr;
    }

    std::vector<cell> paramDims(const qor_sScParam & p)
    {
        std::vector<cell> dims;
        if (p.dims.size() > 2)
            m_diag.error(p.pos, "arrays have at most two dimensions");
        for (const qor_tScExprPtr & d : p.dims)
        {
            cell n = 0;
            if (d)
            {
                std::string t;
                if (!constExpr(*d, &n, &t) || n <= 0)
                {
                    m_diag.error(d->pos, "array size must be a positive constant");
                    n = 1;
                }
            }
            dims.push_back(n);
        }
        if (dims.size() == 2 && dims[1] == 0)
            m_diag.error(p.pos, "the last dimension of a two-dimensional parameter must be given");
        return dims;
    }

    void checkDefault(const qor_sScParam & p)
    {
        if (!p.dims.empty())
        {
            if (p.def.isList || (p.def.expr && p.def.expr->kind == qor_eScExpr::String))
                return;
            m_diag.error(p.def.pos, "the default value of an array parameter is a string or a list");
            return;
        }
        if (sizeofParam(p) >= 0)
            return;
        cell v;
        std::string t;
        if (p.def.isList || !constExpr(*p.def.expr, &v, &t))
            m_diag.error(p.def.pos, "the default value of '" + p.name + "' must be a constant expression");
        else
            checkTag(p.tag, t, p.def.pos);
    }

    // A default "sizeof other" where other is an array parameter of the same function: the
    // index of that parameter, else -1.
    int sizeofParam(const qor_sScParam & p)
    {
        if (p.def.isList || !p.def.expr || p.def.expr->kind != qor_eScExpr::Sizeof || !m_defFunc)
            return -1;
        for (size_t k = 0; k < m_defFunc->params.size(); ++k)
            if (m_defFunc->params[k].name == p.def.expr->name && !m_defFunc->params[k].dims.empty())
                return (int)k;
        return -1;
    }

    // Releases the locals above `bytes` (code only; the caller keeps m_stack).
    void releaseTo(cell bytes)
    {
        if (m_stack > bytes)
            m_as.emit(OP_STACK, m_stack - bytes);
    }

    // ---- statements
    void genBlock(const qor_sScStmt & b, bool scope = true)
    {
        if (scope)
            pushScope();
        const cell saved = m_stack;
        for (const qor_tScStmtPtr & s : b.body)
            genStmt(*s);
        if (!endsInJump(b.body))
            releaseTo(saved);
        m_stack = saved;
        if (scope)
            popScope();
    }

    static bool endsInJump(const std::vector<qor_tScStmtPtr> & body)
    {
        if (body.empty())
            return false;
        const qor_eScStmt k = body.back()->kind;
        return k == qor_eScStmt::Return || k == qor_eScStmt::Break || k == qor_eScStmt::Continue;
    }

    void genStmt(const qor_sScStmt & s)
    {
        if (m_diag.tooMany())
            return;
        switch (s.kind)
        {
        case qor_eScStmt::Empty:
            return;
        case qor_eScStmt::Expr: {
            const qor_eScExpr k = s.expr->kind;
            if (k != qor_eScExpr::Assign && k != qor_eScExpr::Call && k != qor_eScExpr::IncDec)
                m_diag.warning(s.expr->pos, "expression has no effect");
            genEffect(*s.expr);
            return;
        }
        case qor_eScStmt::Vars:
            for (const qor_sScVarDecl & v : s.vars)
                genLocal(v);
            return;
        case qor_eScStmt::Const:
            for (const qor_sScVarDecl & v : s.vars)
                declareConst(v);
            return;
        case qor_eScStmt::Block:
            genBlock(s);
            return;
        case qor_eScStmt::If: {
            const int lElse = m_as.newLabel();
            jumpIf(*s.expr, false, lElse);
            genScoped(*s.body[0]);
            if (s.body.size() > 1)
            {
                const int lEnd = m_as.newLabel();
                m_as.emitLabel(OP_JUMP, lEnd);
                m_as.label(lElse);
                genScoped(*s.body[1]);
                m_as.label(lEnd);
            }
            else
                m_as.label(lElse);
            return;
        }
        case qor_eScStmt::While: {
            const int lTop = m_as.newLabel(), lEnd = m_as.newLabel();
            m_as.label(lTop);
            jumpIf(*s.expr, false, lEnd);
            m_targets.push_back({lEnd, lTop, m_stack});
            genScoped(*s.body[0]);
            m_targets.pop_back();
            m_as.emitLabel(OP_JUMP, lTop);
            m_as.label(lEnd);
            return;
        }
        case qor_eScStmt::Do: {
            const int lTop = m_as.newLabel(), lCont = m_as.newLabel(), lEnd = m_as.newLabel();
            m_as.label(lTop);
            m_targets.push_back({lEnd, lCont, m_stack});
            genScoped(*s.body[0]);
            m_targets.pop_back();
            m_as.label(lCont);
            jumpIf(*s.expr, true, lTop);
            m_as.label(lEnd);
            return;
        }
        case qor_eScStmt::For: {
            pushScope();
            const cell saved = m_stack;
            for (const qor_tScStmtPtr & i : s.init)
            {
                if (i->kind == qor_eScStmt::Block)
                {
                    for (const qor_tScStmtPtr & x : i->body)
                        genEffect(*x->expr);
                }
                else
                    genStmt(*i);
            }
            const int lTop = m_as.newLabel(), lCont = m_as.newLabel(), lEnd = m_as.newLabel();
            m_as.label(lTop);
            if (s.expr)
                jumpIf(*s.expr, false, lEnd);
            m_targets.push_back({lEnd, lCont, m_stack});
            genScoped(*s.body[0]);
            m_targets.pop_back();
            m_as.label(lCont);
            for (const qor_tScExprPtr & x : s.exprs)
                genEffect(*x);
            m_as.emitLabel(OP_JUMP, lTop);
            m_as.label(lEnd);
            releaseTo(saved);
            m_stack = saved;
            popScope();
            return;
        }
        case qor_eScStmt::Switch:
            genSwitch(s);
            return;
        case qor_eScStmt::Break:
        case qor_eScStmt::Continue: {
            const bool isBreak = s.kind == qor_eScStmt::Break;
            for (size_t k = m_targets.size(); k-- > 0;)
            {
                const Target & t = m_targets[k];
                if (!isBreak && t.continueLabel < 0)
                    continue; // continue passes through a switch
                releaseTo(t.stack);
                m_as.emitLabel(OP_JUMP, isBreak ? t.breakLabel : t.continueLabel);
                return;
            }
            m_diag.error(s.pos, isBreak ? "'break' outside a loop or switch" : "'continue' outside a loop");
            return;
        }
        case qor_eScStmt::Return: {
            if (s.expr)
            {
                if (isArrayExpr(*s.expr))
                    m_diag.error(s.expr->pos, "functions cannot return arrays");
                const std::string t = genExpr(*s.expr);
                checkTag(m_func->tag, t, s.expr->pos);
            }
            else
                m_as.emit(OP_ZERO_PRI);
            releaseTo(0);
            m_as.emit(OP_RETN);
            return;
        }
        }
    }

    // A statement that is the body of if/while/for gets its own scope.
    void genScoped(const qor_sScStmt & s)
    {
        if (s.kind == qor_eScStmt::Block)
        {
            genBlock(s);
            return;
        }
        if (s.kind == qor_eScStmt::Vars)
            m_diag.warning(s.pos, "a declaration as the only statement of a branch or loop is useless");
        pushScope();
        const cell saved = m_stack;
        genStmt(s);
        releaseTo(saved);
        m_stack = saved;
        popScope();
    }

    void genLocal(const qor_sScVarDecl & v)
    {
        if (v.isStatic)
        {
            declareGlobal(v); // a static local lives in the data section, seen in its block only
            return;
        }
        Sym s;
        s.kind = SymKind::Local;
        s.name = v.name;
        s.tag = v.tag;
        s.pos = v.pos;
        s.isConst = v.isConst;
        if (v.dims.empty())
        {
            if (v.hasInit)
            {
                if (v.init.isList || v.init.expr->kind == qor_eScExpr::String)
                {
                    m_diag.error(v.init.pos,
                                 "'" + v.name + "' is not an array: declare it with a size, as in " + v.name + "[]");
                    m_as.emit(OP_PUSH_C, 0);
                }
                else
                {
                    if (isArrayExpr(*v.init.expr))
                        m_diag.error(v.init.expr->pos, "an array cannot initialise a single cell");
                    cell c;
                    std::string t;
                    if (constExpr(*v.init.expr, &c, &t))
                        m_as.emit(OP_PUSH_C, c);
                    else
                    {
                        t = genExpr(*v.init.expr);
                        m_as.emit(OP_PUSH_PRI);
                    }
                    checkTag(v.tag, t, v.init.expr->pos);
                }
            }
            else
                m_as.emit(OP_PUSH_C, 0);
            m_stack += 4;
            s.value = -m_stack;
            add(s);
            return;
        }
        std::vector<cell> dims, cells;
        if (!buildData(v, &dims, &cells))
        {
            dims.assign(v.dims.size(), 1);
            cells.assign(1, 0);
        }
        bool allZero = true;
        for (cell c : cells)
            allZero = allZero && c == 0;
        if (!allZero && m_as.dataSize() / 4 + (int64_t)cells.size() > MAX_DATA_CELLS)
        {
            m_diag.error(v.pos, "the global data is larger than " + std::to_string(MAX_DATA_CELLS) + " cells");
            allZero = true;
        }
        const cell bytes = 4 * (cell)cells.size();
        m_as.emit(OP_STACK, -bytes);
        m_stack += bytes;
        s.value = -m_stack;
        s.dims = dims;
        if (allZero)
            m_as.emit(OP_ZERO_PRI);
        else
        {
            const cell addr = m_as.addData(cells, "init." + std::to_string(++m_dataCount));
            m_as.emitData(OP_CONST_PRI, addr);
        }
        m_as.emit(OP_ADDR_ALT, s.value);
        m_as.emit(allZero ? OP_FILL : OP_MOVS, bytes);
        add(s);
    }

    void genSwitch(const qor_sScStmt & s)
    {
        const std::string tag = genExpr(*s.expr);
        const int lTable = m_as.newLabel(), lEnd = m_as.newLabel();
        int lDefault = -1;
        m_as.emitLabel(OP_SWITCH, lTable);
        std::vector<std::pair<cell, int>> table;
        std::map<cell, qor_sScPos> seen;
        m_targets.push_back({lEnd, -1, m_stack});
        for (const qor_sScCase & c : s.cases)
        {
            const int l = m_as.newLabel();
            if (c.isDefault)
            {
                if (lDefault >= 0)
                    m_diag.error(c.pos, "more than one 'default' in a switch");
                lDefault = l;
            }
            for (const auto & v : c.values)
            {
                cell lo = 0, hi = 0;
                std::string t1, t2;
                if (!constExpr(*v.first, &lo, &t1))
                {
                    m_diag.error(v.first->pos, "a case value must be a constant expression");
                    continue;
                }
                checkTag(tag, t1, v.first->pos);
                hi = lo;
                if (v.second)
                {
                    if (!constExpr(*v.second, &hi, &t2))
                    {
                        m_diag.error(v.second->pos, "a case value must be a constant expression");
                        continue;
                    }
                    if (hi < lo)
                    {
                        m_diag.error(v.first->pos,
                                     "empty case range " + std::to_string(lo) + " .. " + std::to_string(hi));
                        continue;
                    }
                    if ((int64_t)hi - lo >= 4096)
                    {
                        m_diag.error(v.first->pos, "case range of more than 4096 values");
                        continue;
                    }
                }
                if (table.size() + (size_t)((int64_t)hi - lo + 1) > MAX_CASES)
                {
                    m_diag.error(v.first->pos, "more than " + std::to_string(MAX_CASES) + " case values in one switch");
                    continue;
                }
                for (int64_t x = lo; x <= hi; ++x)
                {
                    if (seen.count((cell)x))
                    {
                        m_diag.error(v.first->pos, "duplicate case value " + std::to_string(x));
                        break;
                    }
                    seen[(cell)x] = v.first->pos;
                    table.emplace_back((cell)x, l);
                }
            }
            m_as.label(l);
            pushScope();
            const cell saved = m_stack;
            for (const qor_tScStmtPtr & st : c.body)
                genStmt(*st);
            if (!endsInJump(c.body))
            {
                releaseTo(saved);
                m_as.emitLabel(OP_JUMP, lEnd);
            }
            m_stack = saved;
            popScope();
        }
        m_targets.pop_back();
        m_as.label(lTable);
        m_as.emitCaseTable(lDefault >= 0 ? lDefault : lEnd, table);
        m_as.label(lEnd);
    }

    // ---- expressions
    // True when e designates an array (an array name, a row of a 2-D array, a string).
    bool isArrayExpr(const qor_sScExpr & e)
    {
        if (e.kind == qor_eScExpr::String)
            return true;
        int idx = 0;
        const qor_sScExpr * p = &e;
        while (p->kind == qor_eScExpr::Index)
        {
            ++idx;
            p = p->kids[0].get();
        }
        if (p->kind != qor_eScExpr::Ident)
            return false;
        Sym * s = find(p->name);
        return s && (s->kind == SymKind::Global || s->kind == SymKind::Local || s->kind == SymKind::Param) &&
               (int)s->dims.size() > idx;
    }

    // Dimensions of an array expression, without generating code.
    std::vector<cell> staticDims(const qor_sScExpr & e)
    {
        if (e.kind == qor_eScExpr::String)
            return {(cell)stringCells(e.name, e.packed).size()};
        int idx = 0;
        const qor_sScExpr * p = &e;
        while (p->kind == qor_eScExpr::Index)
        {
            ++idx;
            p = p->kids[0].get();
        }
        if (p->kind != qor_eScExpr::Ident)
            return {};
        Sym * s = find(p->name);
        if (!s || (int)s->dims.size() <= idx)
            return {};
        return std::vector<cell>(s->dims.begin() + idx, s->dims.end());
    }

    // Loads an array's base address into pri (or alt).
    void arrBase(const ArrRef & a, bool toAlt)
    {
        switch (a.kind)
        {
        case ArrRef::Global:
            m_as.emitData(toAlt ? OP_CONST_ALT : OP_CONST_PRI, a.value);
            break;
        case ArrRef::Local:
            m_as.emit(toAlt ? OP_ADDR_ALT : OP_ADDR_PRI, a.value);
            break;
        case ArrRef::Param:
            m_as.emit(toAlt ? OP_LOAD_S_ALT : OP_LOAD_S_PRI, a.value);
            break;
        case ArrRef::Computed:
            if (toAlt)
                m_as.emit(OP_MOVE_ALT);
            break;
        default:
            break;
        }
    }

    ArrRef symArr(Sym * s)
    {
        ArrRef a;
        a.kind = s->kind == SymKind::Global  ? ArrRef::Global
                 : s->kind == SymKind::Local ? ArrRef::Local
                                             : ArrRef::Param;
        a.value = s->value;
        a.dims = s->dims;
        a.tag = s->tag;
        a.isConst = s->isConst;
        a.name = s->name;
        return a;
    }

    // Resolves an expression that designates an array. For a row a[i] of a 2-D array the
    // row's address is computed into pri (kind Computed). Returns false (reported) if the
    // expression is no array.
    bool arrayRef(const qor_sScExpr & e, ArrRef * pOut)
    {
        if (e.kind == qor_eScExpr::String)
        {
            pOut->kind = ArrRef::Global;
            pOut->value = literal(e.name, e.packed);
            pOut->dims = {(cell)stringCells(e.name, e.packed).size()};
            pOut->isConst = true;
            pOut->name = "string";
            return true;
        }
        if (e.kind == qor_eScExpr::Ident)
        {
            Sym * s = lookupVar(e);
            if (!s)
                return false;
            if (s->dims.empty())
            {
                m_diag.error(e.pos, "'" + e.name + "' is not an array");
                return false;
            }
            *pOut = symArr(s);
            return true;
        }
        if (e.kind == qor_eScExpr::Index && e.kids[0]->kind == qor_eScExpr::Ident)
        {
            Sym * s = lookupVar(*e.kids[0]);
            if (!s)
                return false;
            if (s->dims.size() != 2)
            {
                m_diag.error(e.pos, "'" + e.kids[0]->name + "[...]' is not an array");
                return false;
            }
            const ArrRef base = symArr(s);
            genFlatIndex(base, {e.kids[1].get()}, e.pos);
            arrBase(base, true);
            m_as.emit(OP_IDXADDR);
            pOut->kind = ArrRef::Computed;
            pOut->dims = {s->dims[1]};
            pOut->tag = s->tag;
            pOut->isConst = s->isConst;
            pOut->name = s->name;
            return true;
        }
        m_diag.error(e.pos, "an array is expected here");
        return false;
    }

    Sym * lookupVar(const qor_sScExpr & e)
    {
        Sym * s = find(e.name);
        if (!s)
        {
            m_diag.error(e.pos, "undefined symbol '" + e.name + "'");
            return nullptr;
        }
        if (s->kind == SymKind::Function || s->kind == SymKind::Native)
        {
            m_diag.error(e.pos, "'" + e.name + "' is a function: call it with '(...)'");
            return nullptr;
        }
        if (s->kind == SymKind::Const)
        {
            m_diag.error(e.pos, "'" + e.name + "' is a constant, not a variable");
            return nullptr;
        }
        return s;
    }

    // Computes the cell index of an element (all indices given) or of a row (first index of
    // a 2-D array) into pri, with bounds checks on non-constant indices.
    void genFlatIndex(const ArrRef & base, const std::vector<const qor_sScExpr *> & idx, const qor_sScPos & pos)
    {
        (void)pos;
        const cell inner = base.dims.size() == 2 ? base.dims[1] : 1;
        // the first index
        cell c;
        std::string t;
        if (constExpr(*idx[0], &c, &t))
        {
            checkIndexConst(base, 0, c, idx[0]->pos);
            m_as.emit(OP_CONST_PRI, c * inner);
        }
        else
        {
            if (isArrayExpr(*idx[0]))
                m_diag.error(idx[0]->pos, "an array cannot be an index");
            t = genExpr(*idx[0]);
            if (base.dims[0] > 0)
                m_as.emit(OP_BOUNDS, base.dims[0] - 1);
            if (inner != 1)
                m_as.emit(OP_SMUL_C, inner);
        }
        checkIndexTag(t, idx[0]->pos);
        if (idx.size() == 2)
        {
            if (constExpr(*idx[1], &c, &t))
            {
                checkIndexConst(base, 1, c, idx[1]->pos);
                if (c != 0)
                    m_as.emit(OP_ADD_C, c);
            }
            else
            {
                m_as.emit(OP_PUSH_PRI);
                t = genExpr(*idx[1]);
                m_as.emit(OP_BOUNDS, base.dims[1] - 1);
                m_as.emit(OP_POP_ALT);
                m_as.emit(OP_ADD);
            }
            checkIndexTag(t, idx[1]->pos);
        }
    }

    void checkIndexTag(const std::string & t, const qor_sScPos & pos)
    {
        if (!isWeakTag(t))
            m_diag.warning(pos, "tag mismatch: array index is " + tagText(t));
    }

    void checkIndexConst(const ArrRef & base, size_t level, cell c, const qor_sScPos & pos)
    {
        if (c < 0 || (base.dims[level] > 0 && c >= base.dims[level]))
            m_diag.error(pos, "array index " + std::to_string(c) + " out of bounds (array '" + base.name + "' has " +
                                  std::to_string(base.dims[level]) + " elements)");
    }

    // Resolves an assignable expression. For elements the address is computed into pri.
    bool lvalue(const qor_sScExpr & e, LVal * pOut)
    {
        if (e.kind == qor_eScExpr::Ident)
        {
            Sym * s = find(e.name);
            if (s && s->kind == SymKind::Const)
            {
                m_diag.error(e.pos, "cannot assign to constant '" + e.name + "'");
                return false;
            }
            s = lookupVar(e);
            if (!s)
                return false;
            if (!s->dims.empty())
            {
                m_diag.error(e.pos, "array '" + e.name + "' must be indexed");
                return false;
            }
            pOut->tag = s->tag;
            pOut->isConst = s->isConst;
            pOut->name = s->name;
            pOut->value = s->value;
            if (s->kind == SymKind::Global)
                pOut->kind = LVal::Global;
            else if (s->kind == SymKind::Local || (s->kind == SymKind::Param && !s->isRef))
                pOut->kind = LVal::Local;
            else
                pOut->kind = LVal::Ref;
            return true;
        }
        if (e.kind == qor_eScExpr::Index)
        {
            std::vector<const qor_sScExpr *> idx;
            const qor_sScExpr * p = &e;
            while (p->kind == qor_eScExpr::Index)
            {
                idx.insert(idx.begin(), p->kids[1].get());
                p = p->kids[0].get();
            }
            if (p->kind != qor_eScExpr::Ident)
            {
                m_diag.error(e.pos, "only array variables can be indexed");
                return false;
            }
            Sym * s = lookupVar(*p);
            if (!s)
                return false;
            if (s->dims.empty())
            {
                m_diag.error(e.pos, "'" + p->name + "' is not an array");
                return false;
            }
            if (idx.size() > s->dims.size())
            {
                m_diag.error(e.pos, "too many indices for array '" + p->name + "'");
                return false;
            }
            if (idx.size() < s->dims.size())
            {
                m_diag.error(e.pos, "'" + p->name + "' has two dimensions: give both indices");
                return false;
            }
            const ArrRef base = symArr(s);
            pOut->tag = s->tag;
            pOut->isConst = s->isConst;
            pOut->name = s->name;
            // constant indices into a global or local array: a direct address
            cell c0 = 0, c1 = 0;
            std::string t;
            const bool k0 = constExpr(*idx[0], &c0, &t);
            const bool k1 = idx.size() < 2 || constExpr(*idx[1], &c1, &t);
            if (k0 && k1 && (base.kind == ArrRef::Global || base.kind == ArrRef::Local))
            {
                checkIndexConst(base, 0, c0, idx[0]->pos);
                if (idx.size() == 2)
                    checkIndexConst(base, 1, c1, idx[1]->pos);
                const cell flat = c0 * (idx.size() == 2 ? s->dims[1] : 1) + c1;
                pOut->kind = base.kind == ArrRef::Global ? LVal::Global : LVal::Local;
                pOut->value = base.value + 4 * flat;
                return true;
            }
            genFlatIndex(base, idx, e.pos);
            arrBase(base, true);
            m_as.emit(OP_IDXADDR);
            pOut->kind = LVal::Address;
            return true;
        }
        m_diag.error(e.pos, "the left side of an assignment must be a variable or an array element");
        return false;
    }

    void loadLVal(const LVal & lv) // value -> pri (Address: address in pri)
    {
        switch (lv.kind)
        {
        case LVal::Global:
            m_as.emitData(OP_LOAD_PRI, lv.value);
            break;
        case LVal::Local:
            m_as.emit(OP_LOAD_S_PRI, lv.value);
            break;
        case LVal::Ref:
            m_as.emit(OP_LREF_S_PRI, lv.value);
            break;
        case LVal::Address:
            m_as.emit(OP_LOAD_I);
            break;
        default:
            break;
        }
    }

    void storeLVal(const LVal & lv) // pri -> place (Address: address in alt)
    {
        switch (lv.kind)
        {
        case LVal::Global:
            m_as.emitData(OP_STOR_PRI, lv.value);
            break;
        case LVal::Local:
            m_as.emit(OP_STOR_S_PRI, lv.value);
            break;
        case LVal::Ref:
            m_as.emit(OP_SREF_S_PRI, lv.value);
            break;
        case LVal::Address:
            m_as.emit(OP_STOR_I);
            break;
        default:
            break;
        }
    }

    // Generates e into pri and returns its tag.
    std::string genExpr(const qor_sScExpr & e)
    {
        if (m_diag.tooMany())
            return std::string();
        if (e.kind != qor_eScExpr::Call && e.kind != qor_eScExpr::Assign && e.kind != qor_eScExpr::IncDec &&
            e.kind != qor_eScExpr::Index && e.kind != qor_eScExpr::String)
        {
            cell v;
            std::string t;
            if (constExpr(e, &v, &t))
            {
                constPri(v);
                return t;
            }
        }
        switch (e.kind)
        {
        case qor_eScExpr::Number:
            constPri(e.value);
            return e.name;
        case qor_eScExpr::String:
            m_diag.error(e.pos, "a string is an array: it can be passed as an array argument or initialise an array");
            return std::string();
        case qor_eScExpr::Ident: {
            Sym * s = lookupVar(e);
            if (!s)
                return std::string();
            if (!s->dims.empty())
            {
                m_diag.error(e.pos, "array '" + e.name + "' must be indexed");
                return s->tag;
            }
            if (s->kind == SymKind::Global)
                m_as.emitData(OP_LOAD_PRI, s->value);
            else if (s->kind == SymKind::Param && s->isRef)
                m_as.emit(OP_LREF_S_PRI, s->value);
            else
                m_as.emit(OP_LOAD_S_PRI, s->value);
            return s->tag;
        }
        case qor_eScExpr::Index:
            return genIndexLoad(e);
        case qor_eScExpr::Call:
            return genCall(e);
        case qor_eScExpr::Unary: {
            if (e.op == "!")
            {
                const std::string t = genExpr(*e.kids[0]);
                (void)t;
                m_as.emit(OP_NOT);
                return "bool";
            }
            const std::string t = genExpr(*e.kids[0]);
            if (e.op == "-")
            {
                if (t == "Float")
                {
                    m_as.emit(OP_CONST_ALT, (cell)0x80000000u); // flip the sign bit
                    m_as.emit(OP_XOR);
                }
                else
                    m_as.emit(OP_NEG);
            }
            else
                m_as.emit(OP_INVERT);
            return t;
        }
        case qor_eScExpr::Binary:
            return genBinary(e);
        case qor_eScExpr::Logical: {
            const int lFalse = m_as.newLabel(), lEnd = m_as.newLabel();
            jumpIf(e, false, lFalse);
            m_as.emit(OP_CONST_PRI, 1);
            m_as.emitLabel(OP_JUMP, lEnd);
            m_as.label(lFalse);
            m_as.emit(OP_ZERO_PRI);
            m_as.label(lEnd);
            return "bool";
        }
        case qor_eScExpr::Ternary: {
            const int lElse = m_as.newLabel(), lEnd = m_as.newLabel();
            jumpIf(*e.kids[0], false, lElse);
            const std::string ta = genExpr(*e.kids[1]);
            m_as.emitLabel(OP_JUMP, lEnd);
            m_as.label(lElse);
            const std::string tb = genExpr(*e.kids[2]);
            m_as.label(lEnd);
            if (ta != tb && !(isWeakTag(ta) && isWeakTag(tb)))
                m_diag.warning(e.pos, "tag mismatch: " + tagText(ta) + " and " + tagText(tb) + " branches of '?:'");
            return ta;
        }
        case qor_eScExpr::Assign:
            return genAssign(e);
        case qor_eScExpr::IncDec:
            return genIncDec(e);
        case qor_eScExpr::Sizeof: {
            cell v;
            std::string t;
            sizeofValue(e, &v, &t);
            constPri(v);
            return t;
        }
        case qor_eScExpr::TagCast:
            genExpr(*e.kids[0]);
            return e.name;
        }
        return std::string();
    }

    void constPri(cell v)
    {
        if (v == 0)
            m_as.emit(OP_ZERO_PRI);
        else
            m_as.emit(OP_CONST_PRI, v);
    }

    std::string genIndexLoad(const qor_sScExpr & e)
    {
        if (isArrayExpr(e))
        {
            m_diag.error(e.pos, "a row of a two-dimensional array must be indexed");
            return std::string();
        }
        LVal lv;
        if (!lvalue(e, &lv))
            return std::string();
        loadLVal(lv);
        return lv.tag;
    }

    // Generates the operands of a binary operator: returns true when they end up as
    // pri = right, alt = left ("swapped"), false for pri = left, alt = right.
    bool operands(const qor_sScExpr & l, const qor_sScExpr & r, std::string * pl, std::string * pr)
    {
        if (isArrayExpr(l))
            m_diag.error(l.pos, "an array cannot be an operand (index it)");
        if (isArrayExpr(r))
            m_diag.error(r.pos, "an array cannot be an operand (index it)");
        cell c;
        if (constExpr(r, &c, pr))
        {
            *pl = genExpr(l);
            m_as.emit(OP_CONST_ALT, c);
            return false;
        }
        if (constExpr(l, &c, pl))
        {
            *pr = genExpr(r);
            m_as.emit(OP_CONST_ALT, c);
            return true;
        }
        if (r.kind == qor_eScExpr::Ident)
        {
            Sym * s = find(r.name);
            if (s && s->dims.empty() && !(s->kind == SymKind::Param && s->isRef) &&
                (s->kind == SymKind::Global || s->kind == SymKind::Local || s->kind == SymKind::Param))
            {
                *pl = genExpr(l);
                if (s->kind == SymKind::Global)
                    m_as.emitData(OP_LOAD_ALT, s->value);
                else
                    m_as.emit(OP_LOAD_S_ALT, s->value);
                *pr = s->tag;
                return false;
            }
        }
        *pl = genExpr(l);
        m_as.emit(OP_PUSH_PRI);
        *pr = genExpr(r);
        m_as.emit(OP_POP_ALT);
        return true;
    }

    void checkFloatOp(const qor_sScExpr & e, const std::string & tl, const std::string & tr)
    {
        if (tl != "Float" && tr != "Float")
            return;
        const std::string & op = e.op;
        if (op == "+" || op == "-" || op == "*" || op == "/" || op == "%" || op == "<" || op == "<=" || op == ">" ||
            op == ">=")
            m_diag.error(e.pos, "operator '" + op +
                                    "' on Float values needs constant operands "
                                    "(the machine has no floating-point instructions)");
    }

    // pri/alt hold the operands (see operands()); leaves the result in pri.
    void emitBinary(const std::string & op, bool swapped)
    {
        if (op == "+")
            m_as.emit(OP_ADD);
        else if (op == "*")
            m_as.emit(OP_SMUL);
        else if (op == "&")
            m_as.emit(OP_AND);
        else if (op == "|")
            m_as.emit(OP_OR);
        else if (op == "^")
            m_as.emit(OP_XOR);
        else if (op == "-")
            m_as.emit(swapped ? OP_SUB_ALT : OP_SUB);
        else if (op == "/")
            m_as.emit(swapped ? OP_SDIV_ALT : OP_SDIV);
        else if (op == "%")
        {
            m_as.emit(swapped ? OP_SDIV_ALT : OP_SDIV);
            m_as.emit(OP_MOVE_PRI);
        }
        else if (op == "<<" || op == ">>" || op == ">>>")
        {
            if (swapped)
                m_as.emit(OP_XCHG);
            m_as.emit(op == "<<" ? OP_SHL : op == ">>" ? OP_SSHR : OP_SHR);
        }
        else if (isRelational(op))
            m_as.emit(relValueOp(swapped ? flipRel(op) : op));
    }

    std::string genBinary(const qor_sScExpr & e)
    {
        std::string tl, tr;
        const bool swapped = operands(*e.kids[0], *e.kids[1], &tl, &tr);
        const std::string tag = binaryTag(e, tl, tr);
        checkFloatOp(e, tl, tr);
        emitBinary(e.op, swapped);
        return isRelational(e.op) ? "bool" : tag;
    }

    // Jumps to `label` when the truth of e equals `sense`; falls through otherwise.
    void jumpIf(const qor_sScExpr & e, bool sense, int label)
    {
        cell v;
        std::string t;
        if (constExpr(e, &v, &t))
        {
            if ((v != 0) == sense)
                m_as.emitLabel(OP_JUMP, label);
            return;
        }
        if (e.kind == qor_eScExpr::Logical)
        {
            const bool isAnd = e.op == "&&";
            if (isAnd != sense)
            {
                // && jumping on false, || jumping on true: either operand decides
                jumpIf(*e.kids[0], sense, label);
                jumpIf(*e.kids[1], sense, label);
            }
            else
            {
                const int skip = m_as.newLabel();
                jumpIf(*e.kids[0], !sense, skip);
                jumpIf(*e.kids[1], sense, label);
                m_as.label(skip);
            }
            return;
        }
        if (e.kind == qor_eScExpr::Unary && e.op == "!")
        {
            jumpIf(*e.kids[0], !sense, label);
            return;
        }
        if (e.kind == qor_eScExpr::Binary && isRelational(e.op))
        {
            std::string tl, tr;
            const bool swapped = operands(*e.kids[0], *e.kids[1], &tl, &tr);
            binaryTag(e, tl, tr);
            checkFloatOp(e, tl, tr);
            std::string op = swapped ? flipRel(e.op) : e.op;
            if (!sense)
                op = negateRel(op);
            m_as.emitLabel(relJumpOp(op), label);
            return;
        }
        if (isArrayExpr(e))
            m_diag.error(e.pos, "an array cannot be a condition (index it)");
        genExpr(e);
        m_as.emitLabel(sense ? OP_JNZ : OP_JZER, label);
    }

    std::string genAssign(const qor_sScExpr & e)
    {
        const qor_sScExpr & l = *e.kids[0];
        const qor_sScExpr & r = *e.kids[1];
        if (isArrayExpr(l))
        {
            if (e.op != "=")
            {
                m_diag.error(e.pos, "operator '" + e.op + "' cannot be applied to an array");
                return std::string();
            }
            return genArrayCopy(e);
        }
        if (isArrayExpr(r))
        {
            m_diag.error(r.pos, "an array cannot be assigned to a single cell");
            return std::string();
        }
        LVal lv;
        if (!lvalue(l, &lv))
            return std::string();
        if (lv.isConst)
            m_diag.error(e.pos, "cannot assign to '" + lv.name + "': it is constant");
        if (e.op == "=")
        {
            if (lv.kind == LVal::Address)
            {
                m_as.emit(OP_PUSH_PRI);
                const std::string t = genExpr(r);
                checkTag(lv.tag, t, r.pos);
                m_as.emit(OP_POP_ALT);
            }
            else
                checkTag(lv.tag, genExpr(r), r.pos);
            storeLVal(lv);
            return lv.tag;
        }
        const std::string op = e.op.substr(0, e.op.size() - 1);
        qor_sScExpr fake; // for the messages of the operator
        fake.kind = qor_eScExpr::Binary;
        fake.pos = e.pos;
        fake.op = op;
        if (lv.kind == LVal::Address)
        {
            m_as.emit(OP_PUSH_PRI);
            m_as.emit(OP_LOAD_I);
        }
        else
            loadLVal(lv);
        // left value in pri
        std::string tr;
        cell c;
        bool swapped;
        if (constExpr(r, &c, &tr))
        {
            m_as.emit(OP_CONST_ALT, c);
            swapped = false;
        }
        else
        {
            m_as.emit(OP_PUSH_PRI);
            tr = genExpr(r);
            m_as.emit(OP_POP_ALT);
            swapped = true;
        }
        binaryTag(fake, lv.tag, tr);
        checkFloatOp(fake, lv.tag, tr);
        emitBinary(op, swapped);
        if (lv.kind == LVal::Address)
            m_as.emit(OP_POP_ALT);
        storeLVal(lv);
        return lv.tag;
    }

    std::string genArrayCopy(const qor_sScExpr & e)
    {
        const qor_sScExpr & l = *e.kids[0];
        const qor_sScExpr & r = *e.kids[1];
        if (!isArrayExpr(r))
        {
            m_diag.error(r.pos, "an array can only be assigned an array or a string");
            return std::string();
        }
        ArrRef src, dst;
        if (!arrayRef(r, &src))
            return std::string();
        if (src.kind == ArrRef::Computed)
            m_as.emit(OP_PUSH_PRI);
        if (!arrayRef(l, &dst))
            return std::string();
        if (dst.isConst)
            m_diag.error(e.pos, "cannot assign to '" + dst.name + "': it is constant");
        if (dst.dims.size() != 1 || src.dims.size() != 1)
        {
            m_diag.error(e.pos, "only one-dimensional arrays (or rows) can be assigned");
            return std::string();
        }
        if (src.dims[0] == 0)
        {
            m_diag.error(r.pos, "the size of '" + src.name + "' is unknown: it cannot be copied");
            return std::string();
        }
        if (dst.dims[0] > 0 && src.dims[0] > dst.dims[0])
        {
            m_diag.error(e.pos, "array sizes do not match: " + std::to_string(src.dims[0]) + " cells into " +
                                    std::to_string(dst.dims[0]));
            return std::string();
        }
        checkTag(dst.tag, src.tag, r.pos);
        arrBase(dst, true); // destination -> alt
        if (src.kind == ArrRef::Computed)
            m_as.emit(OP_POP_PRI);
        else
            arrBase(src, false);
        m_as.emit(OP_MOVS, 4 * src.dims[0]);
        return dst.tag;
    }

    // An expression whose value is not used: "i++" needs no copy of the old value.
    void genEffect(const qor_sScExpr & e)
    {
        if (e.kind == qor_eScExpr::IncDec)
            genIncDec(e, true);
        else
            genExpr(e);
    }

    std::string genIncDec(const qor_sScExpr & e, bool discard = false)
    {
        LVal lv;
        if (!lvalue(*e.kids[0], &lv))
            return std::string();
        if (lv.isConst)
            m_diag.error(e.pos, "cannot change '" + lv.name + "': it is constant");
        if (lv.tag == "Float")
            m_diag.error(e.pos,
                         "operator '" + e.op + "' on a Float value (the machine has no floating-point instructions)");
        const bool inc = e.op == "++";
        if (lv.kind == LVal::Global || lv.kind == LVal::Local)
        {
            const bool g = lv.kind == LVal::Global;
            const int op = g ? (inc ? OP_INC : OP_DEC) : (inc ? OP_INC_S : OP_DEC_S);
            if (!e.prefix && !discard)
                loadLVal(lv);
            if (g)
                m_as.emitData(op, lv.value);
            else
                m_as.emit(op, lv.value);
            if (e.prefix && !discard)
                loadLVal(lv);
            return lv.tag;
        }
        if (lv.kind == LVal::Ref)
            m_as.emit(OP_LOAD_S_PRI, lv.value); // the address
        if (discard)
        {
            m_as.emit(inc ? OP_INC_I : OP_DEC_I); // [pri] += 1
            return lv.tag;
        }
        m_as.emit(OP_MOVE_ALT);
        m_as.emit(OP_LOAD_I);
        if (!e.prefix)
            m_as.emit(OP_PUSH_PRI);
        m_as.emit(inc ? OP_INC_PRI : OP_DEC_PRI);
        m_as.emit(OP_STOR_I);
        if (!e.prefix)
            m_as.emit(OP_POP_PRI);
        return lv.tag;
    }

    std::string genCall(const qor_sScExpr & e)
    {
        Sym * s = find(e.name);
        if (!s)
        {
            m_diag.error(e.pos, "undefined symbol '" + e.name + "'");
            return std::string();
        }
        if (s->kind != SymKind::Function && s->kind != SymKind::Native)
        {
            m_diag.error(e.pos, "'" + e.name + "' is not a function");
            return std::string();
        }
        const qor_sScFunction & f = *s->func;
        const size_t nParams = f.params.size();
        if (e.kids.size() > nParams)
        {
            m_diag.error(e.pos, "too many arguments in call to '" + e.name + "' (expected " + std::to_string(nParams) +
                                    ", got " + std::to_string(e.kids.size()) + ")");
            return s->tag;
        }
        for (size_t k = 0; k < nParams; ++k)
        {
            const bool given = k < e.kids.size() && e.kids[k];
            if (!given && !f.params[k].hasDefault)
            {
                if (k >= e.kids.size())
                    m_diag.error(e.pos, "too few arguments in call to '" + e.name + "' (expected " +
                                            std::to_string(nParams) + ", got " + std::to_string(e.kids.size()) + ")");
                else
                    m_diag.error(e.pos,
                                 "argument " + std::to_string(k + 1) + " of '" + e.name + "' has no default value");
                return s->tag;
            }
        }
        // arguments from the last to the first
        for (size_t k = nParams; k-- > 0;)
        {
            const qor_sScParam & p = f.params[k];
            const qor_sScExpr * a = k < e.kids.size() ? e.kids[k].get() : nullptr;
            if (a)
                pushArg(e, p, k, *a);
            else
            {
                m_defFunc = &f;
                const int j = sizeofParam(p);
                if (j >= 0)
                {
                    // sizeof of the array given for parameter j
                    const qor_sScExpr * arr = (size_t)j < e.kids.size() ? e.kids[(size_t)j].get() : nullptr;
                    std::vector<cell> dims = arr ? staticDims(*arr) : std::vector<cell>();
                    const int lv = p.def.expr->levels;
                    if (!arr || lv >= (int)dims.size() || dims[(size_t)lv] <= 0)
                        m_diag.error(e.pos, "argument " + std::to_string(k + 1) + " of '" + e.name +
                                                "': the size of the array argument is unknown");
                    m_as.emit(OP_PUSH_C, arr && lv < (int)dims.size() ? dims[(size_t)lv] : 0);
                }
                else
                    pushDefault(p);
                m_defFunc = m_func;
            }
        }
        m_as.emit(OP_PUSH_C, 4 * (cell)nParams);
        if (s->kind == SymKind::Native)
        {
            if (e.name.size() > 19)
            {
                m_diag.error(e.pos, "native name '" + e.name +
                                        "' is longer than 19 characters: the image's "
                                        "natives table cannot hold it");
                return s->tag;
            }
            m_as.emitNative(OP_SYSREQ_C, m_as.addNative(e.name));
            m_as.emit(OP_STACK, 4 * ((cell)nParams + 1));
        }
        else
        {
            if (!s->func->body)
            {
                m_diag.error(e.pos, "function '" + e.name + "' is declared but never defined");
                return s->tag;
            }
            queue(s);
            m_as.emitLabel(OP_CALL, s->label);
        }
        return s->tag;
    }

    void pushArg(const qor_sScExpr & call, const qor_sScParam & p, size_t k, const qor_sScExpr & a)
    {
        const std::string which = "argument " + std::to_string(k + 1) + " of '" + call.name + "'";
        if (!p.dims.empty())
        {
            if (!isArrayExpr(a))
            {
                m_diag.error(a.pos, which + " must be an array or a string");
                return;
            }
            ArrRef r;
            if (!arrayRef(a, &r))
                return;
            const std::vector<cell> pd = paramDimsQuiet(p);
            if (r.dims.size() != pd.size())
                m_diag.error(a.pos, which + ": array dimensions do not match");
            else
            {
                if (pd[0] > 0 && r.dims[0] > 0 && r.dims[0] < pd[0])
                    m_diag.error(a.pos, which + ": array is smaller (" + std::to_string(r.dims[0]) +
                                            ") than the parameter (" + std::to_string(pd[0]) + ")");
                if (pd.size() == 2 && r.dims[1] != pd[1])
                    m_diag.error(a.pos, which + ": rows have " + std::to_string(r.dims[1]) +
                                            " cells, the parameter wants " + std::to_string(pd[1]));
            }
            if (r.isConst && !p.isConst && a.kind != qor_eScExpr::String)
                m_diag.error(a.pos, which + ": constant array '" + r.name + "' passed to a non-constant parameter");
            if (!(a.kind == qor_eScExpr::String && p.tag.empty()))
                checkTag(p.tag, r.tag, a.pos);
            switch (r.kind)
            {
            case ArrRef::Global:
                m_as.emitData(OP_PUSH_C, r.value);
                break;
            case ArrRef::Local:
                m_as.emit(OP_PUSH_ADR, r.value);
                break;
            case ArrRef::Param:
                m_as.emit(OP_PUSH_S, r.value);
                break;
            case ArrRef::Computed:
                m_as.emit(OP_PUSH_PRI);
                break;
            default:
                break;
            }
            return;
        }
        if (isArrayExpr(a))
        {
            m_diag.error(a.pos, which + " is a single cell, not an array");
            return;
        }
        if (p.isRef)
        {
            if (a.kind != qor_eScExpr::Ident && a.kind != qor_eScExpr::Index)
            {
                m_diag.error(a.pos, which + " is passed by reference: it must be a variable");
                return;
            }
            LVal lv;
            if (!lvalue(a, &lv))
                return;
            if (lv.isConst && !p.isConst)
                m_diag.error(a.pos, which + ": constant '" + lv.name + "' passed by reference");
            checkTag(p.tag, lv.tag, a.pos);
            switch (lv.kind)
            {
            case LVal::Global:
                m_as.emitData(OP_PUSH_C, lv.value);
                break;
            case LVal::Local:
                m_as.emit(OP_PUSH_ADR, lv.value);
                break;
            case LVal::Ref:
                m_as.emit(OP_PUSH_S, lv.value);
                break;
            case LVal::Address:
                m_as.emit(OP_PUSH_PRI);
                break;
            default:
                break;
            }
            return;
        }
        cell c;
        std::string t;
        if (constExpr(a, &c, &t))
            m_as.emit(OP_PUSH_C, c);
        else
        {
            t = genExpr(a);
            m_as.emit(OP_PUSH_PRI);
        }
        checkTag(p.tag, t, a.pos);
    }

    std::vector<cell> paramDimsQuiet(const qor_sScParam & p)
    {
        std::vector<cell> dims;
        for (const qor_tScExprPtr & d : p.dims)
        {
            cell n = 0;
            std::string t;
            if (d && !constExpr(*d, &n, &t))
                n = 0;
            dims.push_back(n);
        }
        return dims;
    }

    void pushDefault(const qor_sScParam & p)
    {
        if (!p.dims.empty())
        {
            std::vector<cell> cells;
            if (p.def.isList)
            {
                if (!rowData(p.def, p.tag, &cells))
                    return;
            }
            else if (p.def.expr && p.def.expr->kind == qor_eScExpr::String)
                cells = stringCells(p.def.expr->name, p.def.expr->packed);
            else
            {
                m_diag.error(p.def.pos, "the default value of an array parameter is a string or a list");
                return;
            }
            const cell addr = m_as.addData(cells, "def." + std::to_string(++m_dataCount));
            m_as.emitData(OP_PUSH_C, addr);
            return;
        }
        cell v = 0;
        std::string t;
        if (p.def.isList || !constExpr(*p.def.expr, &v, &t))
            m_diag.error(p.def.pos, "the default value of '" + p.name + "' must be a constant expression");
        m_as.emit(OP_PUSH_C, v);
    }
};
} // namespace

bool qor_scGenerate(const qor_sScProgram & prog, const std::string * file, qor_cScDiag & diag, qor_cScAsm & as)
{
    Gen g(diag, as, file);
    return g.run(prog);
}
