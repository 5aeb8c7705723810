// Parser: tokens -> syntax tree. Recursive descent with C precedence for expressions.
// On a syntax error it reports "expected ..." and skips to the end of the statement.
#include "qor_scInternal.h"

#include <algorithm>
#include <cctype>

namespace
{
const char * const s_apszKeywords[] = {
    "new",  "const",  "static",  "public",   "stock", "native",   "forward", "if",     "else", "while", "do",
    "for",  "switch", "case",    "default",  "break", "continue", "return",  "sizeof", "true", "false", "enum",
    "goto", "tagof",  "defined", "operator", "exit",  "assert",   "sleep",   "state",  "char",
};

bool isKeyword(const std::string & s)
{
    for (const char * k : s_apszKeywords)
        if (s == k)
            return true;
    return false;
}

// A tag name: "_", or an identifier whose first letter is upper case, or "bool".
bool isTagName(const std::string & s)
{
    return s == "_" || s == "bool" || (!s.empty() && std::isupper((unsigned char)s[0]));
}

struct SyntaxError
{
};

const int MAX_NEST = 200;  // nested statements, parentheses, unary operators
const int MAX_DEPTH = 400; // height of one expression tree

class Parser
{
  public:
    Parser(const std::vector<qor_sScToken> & toks, qor_cScDiag & diag) : m_t(toks), m_diag(diag) {}

    void program(qor_sScProgram * pOut)
    {
        while (!at(qor_eScTok::End) && !m_diag.tooMany())
        {
            const size_t before = m_i;
            try
            {
                global(pOut);
            }
            catch (const SyntaxError &)
            {
                recoverGlobal();
            }
            if (m_i == before)
                ++m_i; // always make progress
        }
    }

  private:
    const std::vector<qor_sScToken> & m_t;
    qor_cScDiag & m_diag;
    size_t m_i = 0;
    int m_noTag = 0; // > 0 while parsing a case label: "NAME:" is no tag there
    int m_nest = 0;

    struct Nest
    {
        Parser & p;
        explicit Nest(Parser & parser) : p(parser)
        {
            if (++p.m_nest > MAX_NEST)
            {
                --p.m_nest;
                p.fail(p.cur().pos, "nested too deeply");
            }
        }
        ~Nest() { --p.m_nest; }
    };

    // Sets the height of e from its kids; refuses trees too high for the later passes.
    qor_tScExprPtr fix(qor_tScExprPtr e)
    {
        int d = 0;
        for (const auto & k : e->kids)
            if (k)
                d = std::max(d, k->depth);
        e->depth = d + 1;
        if (e->depth > MAX_DEPTH)
            fail(e->pos, "expression too complex");
        return e;
    }

    // ---- token helpers
    const qor_sScToken & cur() const { return m_t[m_i]; }
    const qor_sScToken & peekTok(size_t k) const { return m_t[std::min(m_i + k, m_t.size() - 1)]; }
    bool at(qor_eScTok k) const { return cur().kind == k; }
    bool isPunct(const char * p) const { return cur().kind == qor_eScTok::Punct && cur().text == p; }
    bool isWord(const char * w) const { return cur().kind == qor_eScTok::Ident && cur().text == w; }
    const qor_sScToken & next()
    {
        const qor_sScToken & t = m_t[m_i];
        if (m_i + 1 < m_t.size())
            ++m_i;
        return t;
    }
    bool accept(const char * p)
    {
        if (isPunct(p))
        {
            next();
            return true;
        }
        return false;
    }
    bool acceptWord(const char * w)
    {
        if (isWord(w))
        {
            next();
            return true;
        }
        return false;
    }
    std::string describe(const qor_sScToken & t) const
    {
        switch (t.kind)
        {
        case qor_eScTok::End:
            return "end of file";
        case qor_eScTok::String:
            return "string";
        case qor_eScTok::Number:
        case qor_eScTok::Float:
            return "number";
        default:
            return "'" + t.text + "'";
        }
    }
    qor_sScPos prevEnd() const { return m_i > 0 ? m_t[m_i - 1].endPos : cur().pos; }
    [[noreturn]] void fail(const qor_sScPos & pos, const std::string & text)
    {
        m_diag.error(pos, text);
        throw SyntaxError();
    }
    void expect(const char * p)
    {
        if (accept(p))
            return;
        // a missing ';' or ')' belongs to the end of what came before
        const bool closing = std::string(p) == ";" || std::string(p) == ")" || std::string(p) == "]";
        if (std::string(p) == ";" && m_i > 0 && cur().pos.line > m_t[m_i - 1].endPos.line)
        {
            // the statement ended at the end of the line: report it and go on as if the ';'
            // were there, so that the next line is still checked
            m_diag.error(prevEnd(), std::string("expected ';' before ") + describe(cur()));
            return;
        }
        fail(closing ? prevEnd() : cur().pos, std::string("expected '") + p + "' before " + describe(cur()));
    }
    std::string expectName(const char * what)
    {
        if (!at(qor_eScTok::Ident) || isKeyword(cur().text))
            fail(cur().pos, std::string("expected ") + what + " before " + describe(cur()));
        return next().text;
    }

    // Reads "Tag:" if one stands here; returns the tag or "".
    std::string optTag()
    {
        if (at(qor_eScTok::Ident) && cur().colonAfter && !isKeyword(cur().text))
        {
            const std::string tag = next().text;
            next(); // ':'
            return tag == "_" ? std::string() : tag;
        }
        return std::string();
    }

    void recoverGlobal()
    {
        int depth = 0;
        while (!at(qor_eScTok::End))
        {
            if (isPunct("{"))
                ++depth;
            else if (isPunct("}"))
            {
                if (--depth <= 0)
                {
                    next();
                    return;
                }
            }
            else if (isPunct(";") && depth == 0)
            {
                next();
                return;
            }
            next();
        }
    }

    void recoverStatement()
    {
        int depth = 0;
        while (!at(qor_eScTok::End))
        {
            if (isPunct("{"))
                ++depth;
            else if (isPunct("}"))
            {
                if (depth == 0)
                    return;
                --depth;
                if (depth == 0)
                {
                    next();
                    return;
                }
            }
            else if (isPunct(";") && depth == 0)
            {
                next();
                return;
            }
            next();
        }
    }

    // ---- globals
    void global(qor_sScProgram * pOut)
    {
        const qor_sScPos pos = cur().pos;
        if (accept(";"))
            return;
        if (isWord("new") || (isWord("static") && !peekIsFunction(1)))
        {
            next();
            qor_sScGlobal g;
            g.kind = qor_sScGlobal::Vars;
            const bool isStatic = acceptWord("static");
            varDecls(&g.vars, false);
            for (auto & v : g.vars)
                v.isStatic = isStatic;
            expect(";");
            pOut->globals.push_back(std::move(g));
            return;
        }
        if (isWord("const"))
        {
            next();
            qor_sScGlobal g;
            g.kind = qor_sScGlobal::Const;
            constDecls(&g.vars);
            expect(";");
            pOut->globals.push_back(std::move(g));
            return;
        }
        if (isWord("enum"))
        {
            next();
            qor_sScGlobal g;
            g.kind = qor_sScGlobal::Const;
            enumDecl(&g.vars);
            pOut->globals.push_back(std::move(g));
            return;
        }
        auto f = std::make_unique<qor_sScFunction>();
        f->pos = pos;
        for (;;)
        {
            if (acceptWord("native"))
                f->isNative = true;
            else if (acceptWord("forward"))
                f->isForward = true;
            else if (acceptWord("public"))
                f->isPublic = true;
            else if (acceptWord("stock"))
                f->isStock = true;
            else if (acceptWord("static"))
                continue;
            else
                break;
        }
        f->tag = optTag();
        if (!at(qor_eScTok::Ident) || isKeyword(cur().text))
            fail(cur().pos, "expected a declaration before " + describe(cur()));
        f->pos = cur().pos;
        f->name = next().text;
        if (!isPunct("("))
            fail(cur().pos, "expected '(' after '" + f->name + "' (global variables are declared with 'new')");
        next();
        params(f.get());
        if (f->isNative || f->isForward)
        {
            if (f->isNative && accept("="))
                fail(prevEnd(), "native aliases are not supported");
            expect(";");
        }
        else
        {
            if (isPunct(";"))
                fail(cur().pos, "expected a function body for '" + f->name + "' (declare natives with 'native')");
            if (!isPunct("{"))
                fail(prevEnd(), "expected '{' before " + describe(cur()));
            f->body = block();
        }
        qor_sScGlobal g;
        g.kind = qor_sScGlobal::Function;
        g.func = std::move(f);
        pOut->globals.push_back(std::move(g));
    }

    bool peekIsFunction(size_t k) const
    {
        // "static name(" or "static Tag:name("
        const qor_sScToken & a = peekTok(k);
        if (a.kind != qor_eScTok::Ident)
            return false;
        if (a.colonAfter)
            return peekTok(k + 3).kind == qor_eScTok::Punct && peekTok(k + 3).text == "(";
        return peekTok(k + 1).kind == qor_eScTok::Punct && peekTok(k + 1).text == "(";
    }

    void params(qor_sScFunction * f)
    {
        if (accept(")"))
            return;
        for (;;)
        {
            qor_sScParam p;
            p.pos = cur().pos;
            if (accept("..."))
            {
                p.isVariadic = true;
                p.name = "...";
                f->params.push_back(std::move(p));
                expect(")");
                return;
            }
            for (;;)
            {
                if (acceptWord("const"))
                    p.isConst = true;
                else if (accept("&"))
                    p.isRef = true;
                else if (at(qor_eScTok::Ident) && cur().colonAfter && !isKeyword(cur().text))
                    p.tag = optTag();
                else
                    break;
            }
            p.pos = cur().pos;
            p.name = expectName("a parameter name");
            while (accept("["))
            {
                if (accept("]"))
                    p.dims.push_back(nullptr);
                else
                {
                    p.dims.push_back(expr());
                    expect("]");
                }
            }
            if (accept("="))
            {
                p.hasDefault = true;
                initializer(&p.def);
            }
            f->params.push_back(std::move(p));
            if (accept(")"))
                return;
            expect(",");
        }
    }

    void varDecls(std::vector<qor_sScVarDecl> * pOut, bool isLocal)
    {
        (void)isLocal;
        for (;;)
        {
            qor_sScVarDecl v;
            if (acceptWord("const"))
                v.isConst = true;
            v.tag = optTag();
            v.pos = cur().pos;
            v.name = expectName("a variable name");
            while (accept("["))
            {
                if (accept("]"))
                    v.dims.push_back(nullptr);
                else
                {
                    v.dims.push_back(expr());
                    expect("]");
                }
            }
            if (accept("="))
            {
                v.hasInit = true;
                initializer(&v.init);
            }
            pOut->push_back(std::move(v));
            if (!accept(","))
                return;
        }
    }

    void constDecls(std::vector<qor_sScVarDecl> * pOut)
    {
        for (;;)
        {
            qor_sScVarDecl v;
            v.isConst = true;
            v.tag = optTag();
            v.pos = cur().pos;
            v.name = expectName("a constant name");
            if (isPunct("["))
                fail(cur().pos, "a constant array is declared with 'new const'");
            expect("=");
            v.hasInit = true;
            v.init.pos = cur().pos;
            v.init.expr = ternary();
            pOut->push_back(std::move(v));
            if (!accept(","))
                return;
        }
    }

    // enum { A, B = 5, C }  ->  constants 0, 5, 6 (each one more than the one before)
    void enumDecl(std::vector<qor_sScVarDecl> * pOut)
    {
        std::string tag = optTag();
        if (at(qor_eScTok::Ident) && !isKeyword(cur().text))
            next(); // enum name: not used
        expect("{");
        qor_sScExpr * prev = nullptr;
        while (!isPunct("}"))
        {
            qor_sScVarDecl v;
            v.isConst = true;
            v.tag = tag;
            v.pos = cur().pos;
            v.name = expectName("an enumeration constant");
            v.hasInit = true;
            v.init.pos = v.pos;
            if (accept("="))
                v.init.expr = ternary();
            else if (prev)
            {
                // previous name + 1
                auto e = std::make_unique<qor_sScExpr>();
                e->kind = qor_eScExpr::Binary;
                e->op = "+";
                e->pos = v.pos;
                auto a = std::make_unique<qor_sScExpr>();
                a->kind = qor_eScExpr::TagCast;
                a->pos = v.pos;
                a->name = "";
                auto id = std::make_unique<qor_sScExpr>();
                id->kind = qor_eScExpr::Ident;
                id->pos = v.pos;
                id->name = pOut->back().name;
                a->kids.push_back(std::move(id));
                auto one = std::make_unique<qor_sScExpr>();
                one->kind = qor_eScExpr::Number;
                one->pos = v.pos;
                one->value = 1;
                e->kids.push_back(std::move(a));
                e->kids.push_back(std::move(one));
                v.init.expr = std::move(e);
                v.isEnumStep = true;
            }
            else
            {
                auto z = std::make_unique<qor_sScExpr>();
                z->kind = qor_eScExpr::Number;
                z->pos = v.pos;
                v.init.expr = std::move(z);
            }
            if (!tag.empty())
            {
                auto c = std::make_unique<qor_sScExpr>();
                c->kind = qor_eScExpr::TagCast;
                c->pos = v.pos;
                c->name = tag;
                c->kids.push_back(std::move(v.init.expr));
                v.init.expr = std::move(c);
            }
            pOut->push_back(std::move(v));
            prev = pOut->back().init.expr.get();
            if (!accept(","))
                break;
        }
        expect("}");
        accept(";");
    }

    void initializer(qor_sScInit * pOut)
    {
        Nest nest(*this);
        pOut->pos = cur().pos;
        if (accept("{"))
        {
            pOut->isList = true;
            while (!isPunct("}"))
            {
                qor_sScInit item;
                initializer(&item);
                pOut->list.push_back(std::move(item));
                if (!accept(","))
                    break;
            }
            expect("}");
            return;
        }
        pOut->expr = ternary();
    }

    // ---- statements
    std::unique_ptr<qor_sScStmt> newStmt(qor_eScStmt k, const qor_sScPos & pos)
    {
        auto s = std::make_unique<qor_sScStmt>();
        s->kind = k;
        s->pos = pos;
        return s;
    }

    std::unique_ptr<qor_sScStmt> block()
    {
        auto s = newStmt(qor_eScStmt::Block, cur().pos);
        expect("{");
        while (!isPunct("}"))
        {
            if (at(qor_eScTok::End))
                fail(cur().pos, "expected '}' before end of file");
            if (m_diag.tooMany())
                throw SyntaxError();
            statementInto(&s->body);
        }
        s->endPos = cur().pos;
        next();
        return s;
    }

    void statementInto(std::vector<qor_tScStmtPtr> * pOut)
    {
        const size_t before = m_i;
        try
        {
            pOut->push_back(statement());
        }
        catch (const SyntaxError &)
        {
            recoverStatement();
            if (m_i == before)
                next();
        }
    }

    std::unique_ptr<qor_sScStmt> statement()
    {
        Nest nest(*this);
        const qor_sScPos pos = cur().pos;
        if (isPunct("{"))
            return block();
        if (accept(";"))
            return newStmt(qor_eScStmt::Empty, pos);
        if (isWord("new") || isWord("static"))
        {
            auto s = newStmt(qor_eScStmt::Vars, pos);
            bool isStatic = isWord("static");
            next();
            acceptWord("new");
            varDecls(&s->vars, true);
            for (auto & v : s->vars)
                v.isStatic = isStatic;
            expect(";");
            return s;
        }
        if (acceptWord("const"))
        {
            auto s = newStmt(qor_eScStmt::Const, pos);
            constDecls(&s->vars);
            expect(";");
            return s;
        }
        if (acceptWord("if"))
        {
            auto s = newStmt(qor_eScStmt::If, pos);
            s->expr = condition();
            s->body.push_back(statement());
            if (acceptWord("else"))
                s->body.push_back(statement());
            return s;
        }
        if (acceptWord("while"))
        {
            auto s = newStmt(qor_eScStmt::While, pos);
            s->expr = condition();
            s->body.push_back(statement());
            return s;
        }
        if (acceptWord("do"))
        {
            auto s = newStmt(qor_eScStmt::Do, pos);
            s->body.push_back(statement());
            if (!acceptWord("while"))
                fail(cur().pos, "expected 'while' before " + describe(cur()));
            s->expr = condition();
            expect(";");
            return s;
        }
        if (acceptWord("for"))
        {
            auto s = newStmt(qor_eScStmt::For, pos);
            expect("(");
            if (isWord("new"))
            {
                auto d = newStmt(qor_eScStmt::Vars, cur().pos);
                next();
                varDecls(&d->vars, true);
                s->init.push_back(std::move(d));
            }
            else if (!isPunct(";"))
            {
                auto d = newStmt(qor_eScStmt::Block, cur().pos);
                for (;;)
                {
                    auto e = newStmt(qor_eScStmt::Expr, cur().pos);
                    e->expr = expr();
                    d->body.push_back(std::move(e));
                    if (!accept(","))
                        break;
                }
                s->init.push_back(std::move(d));
            }
            expect(";");
            if (!isPunct(";"))
                s->expr = expr();
            expect(";");
            if (!isPunct(")"))
            {
                for (;;)
                {
                    s->exprs.push_back(expr());
                    if (!accept(","))
                        break;
                }
            }
            expect(")");
            s->body.push_back(statement());
            return s;
        }
        if (acceptWord("switch"))
        {
            auto s = newStmt(qor_eScStmt::Switch, pos);
            s->expr = condition();
            expect("{");
            while (!isPunct("}"))
            {
                qor_sScCase c;
                c.pos = cur().pos;
                if (acceptWord("default"))
                {
                    c.isDefault = true;
                    expect(":");
                }
                else if (acceptWord("case"))
                {
                    ++m_noTag;
                    for (;;)
                    {
                        qor_tScExprPtr lo = ternary();
                        qor_tScExprPtr hi;
                        if (accept(".."))
                            hi = ternary();
                        c.values.emplace_back(std::move(lo), std::move(hi));
                        if (!accept(","))
                            break;
                    }
                    --m_noTag;
                    expect(":");
                }
                else
                    fail(cur().pos, "expected 'case' or 'default' before " + describe(cur()));
                while (!isPunct("}") && !isWord("case") && !isWord("default"))
                {
                    if (at(qor_eScTok::End))
                        fail(cur().pos, "expected '}' before end of file");
                    statementInto(&c.body);
                }
                s->cases.push_back(std::move(c));
            }
            next();
            return s;
        }
        if (acceptWord("break"))
        {
            expect(";");
            return newStmt(qor_eScStmt::Break, pos);
        }
        if (acceptWord("continue"))
        {
            expect(";");
            return newStmt(qor_eScStmt::Continue, pos);
        }
        if (acceptWord("return"))
        {
            auto s = newStmt(qor_eScStmt::Return, pos);
            if (!isPunct(";"))
                s->expr = expr();
            expect(";");
            return s;
        }
        if (at(qor_eScTok::Ident) && (cur().text == "else" || cur().text == "case" || cur().text == "default"))
            fail(cur().pos, "unexpected '" + cur().text + "'");
        auto s = newStmt(qor_eScStmt::Expr, pos);
        s->expr = expr();
        expect(";");
        return s;
    }

    qor_tScExprPtr condition()
    {
        expect("(");
        qor_tScExprPtr e = expr();
        expect(")");
        return e;
    }

    // ---- expressions
    qor_tScExprPtr make(qor_eScExpr k, const qor_sScPos & pos)
    {
        auto e = std::make_unique<qor_sScExpr>();
        e->kind = k;
        e->pos = pos;
        return e;
    }

    qor_tScExprPtr expr() { return assignment(); }

    qor_tScExprPtr assignment()
    {
        Nest nest(*this);
        qor_tScExprPtr lhs = ternary();
        static const char * const ops[] = {"=", "+=", "-=", "*=", "/=", "%=", "<<=", ">>=", ">>>=", "&=", "|=", "^="};
        for (const char * op : ops)
        {
            if (isPunct(op))
            {
                const qor_sScPos pos = cur().pos;
                next();
                auto e = make(qor_eScExpr::Assign, pos);
                e->op = op;
                e->kids.push_back(std::move(lhs));
                e->kids.push_back(assignment());
                return fix(std::move(e));
            }
        }
        return lhs;
    }

    qor_tScExprPtr ternary()
    {
        qor_tScExprPtr c = binary(0);
        if (isPunct("?"))
        {
            const qor_sScPos pos = cur().pos;
            next();
            auto e = make(qor_eScExpr::Ternary, pos);
            e->kids.push_back(std::move(c));
            e->kids.push_back(assignment());
            expect(":");
            e->kids.push_back(ternary());
            return fix(std::move(e));
        }
        return c;
    }

    // precedence levels, lowest first
    static int level(const std::string & op)
    {
        if (op == "||")
            return 1;
        if (op == "&&")
            return 2;
        if (op == "|")
            return 3;
        if (op == "^")
            return 4;
        if (op == "&")
            return 5;
        if (op == "==" || op == "!=")
            return 6;
        if (op == "<" || op == "<=" || op == ">" || op == ">=")
            return 7;
        if (op == "<<" || op == ">>" || op == ">>>")
            return 8;
        if (op == "+" || op == "-")
            return 9;
        if (op == "*" || op == "/" || op == "%")
            return 10;
        return 0;
    }

    qor_tScExprPtr binary(int minLevel)
    {
        qor_tScExprPtr lhs = unary();
        for (;;)
        {
            if (!at(qor_eScTok::Punct))
                return lhs;
            const std::string op = cur().text;
            const int lv = level(op);
            if (lv == 0 || lv <= minLevel)
                return lhs;
            const qor_sScPos pos = cur().pos;
            next();
            qor_tScExprPtr rhs = binary(lv);
            auto e = make(op == "&&" || op == "||" ? qor_eScExpr::Logical : qor_eScExpr::Binary, pos);
            e->op = op;
            e->kids.push_back(std::move(lhs));
            e->kids.push_back(std::move(rhs));
            lhs = fix(std::move(e));
        }
    }

    qor_tScExprPtr unary()
    {
        Nest nest(*this);
        const qor_sScPos pos = cur().pos;
        if (isPunct("!") && peekTok(1).kind == qor_eScTok::String)
        {
            next();
            qor_tScExprPtr s = stringLit();
            s->packed = true;
            return postfix(std::move(s));
        }
        if (isPunct("-") || isPunct("!") || isPunct("~") || isPunct("+"))
        {
            const std::string op = next().text;
            qor_tScExprPtr a = unary();
            if (op == "+")
                return a;
            auto e = make(qor_eScExpr::Unary, pos);
            e->op = op;
            e->kids.push_back(std::move(a));
            return fix(std::move(e));
        }
        if (isPunct("++") || isPunct("--"))
        {
            auto e = make(qor_eScExpr::IncDec, pos);
            e->op = next().text;
            e->prefix = true;
            e->kids.push_back(unary());
            return fix(std::move(e));
        }
        if (acceptWord("sizeof"))
        {
            auto e = make(qor_eScExpr::Sizeof, pos);
            const bool paren = accept("(");
            e->pos = cur().pos;
            e->name = expectName("a variable name after 'sizeof'");
            while (accept("["))
            {
                expect("]");
                ++e->levels;
            }
            if (paren)
                expect(")");
            return e;
        }
        if (at(qor_eScTok::Ident) && cur().colonAfter && m_noTag == 0 && isTagName(cur().text) &&
            !isKeyword(cur().text))
        {
            auto e = make(qor_eScExpr::TagCast, pos);
            e->name = next().text;
            if (e->name == "_")
                e->name.clear();
            next(); // ':'
            e->kids.push_back(unary());
            return fix(std::move(e));
        }
        return postfix(primary());
    }

    qor_tScExprPtr stringLit()
    {
        auto e = make(qor_eScExpr::String, cur().pos);
        e->name = next().text;
        while (at(qor_eScTok::String)) // "abc" "def" are joined
            e->name += next().text;
        return e;
    }

    qor_tScExprPtr primary()
    {
        const qor_sScToken & t = cur();
        const qor_sScPos pos = t.pos;
        switch (t.kind)
        {
        case qor_eScTok::Number: {
            auto e = make(qor_eScExpr::Number, pos);
            e->value = t.value;
            next();
            return e;
        }
        case qor_eScTok::Float: {
            auto e = make(qor_eScExpr::Number, pos);
            e->value = t.value;
            e->name = "Float";
            next();
            return e;
        }
        case qor_eScTok::String:
            return stringLit();
        case qor_eScTok::Ident: {
            if (t.text == "true" || t.text == "false")
            {
                auto e = make(qor_eScExpr::Number, pos);
                e->value = t.text == "true" ? 1 : 0;
                e->name = "bool";
                next();
                return e;
            }
            if (isKeyword(t.text))
                fail(pos, "expected an expression before '" + t.text + "'");
            auto e = make(qor_eScExpr::Ident, pos);
            e->name = next().text;
            if (isPunct("("))
            {
                next();
                e->kind = qor_eScExpr::Call;
                if (!accept(")"))
                {
                    for (;;)
                    {
                        if (isWord("_") && (peekTok(1).text == "," || peekTok(1).text == ")"))
                        {
                            next();
                            e->kids.push_back(nullptr); // use the default value
                        }
                        else
                            e->kids.push_back(assignment());
                        if (accept(")"))
                            break;
                        expect(",");
                    }
                }
                return fix(std::move(e));
            }
            return e;
        }
        case qor_eScTok::Punct:
            if (t.text == "(")
            {
                next();
                qor_tScExprPtr e = expr();
                expect(")");
                return e;
            }
            break;
        default:
            break;
        }
        fail(pos, "expected an expression before " + describe(t));
    }

    qor_tScExprPtr postfix(qor_tScExprPtr e)
    {
        for (;;)
        {
            if (isPunct("["))
            {
                const qor_sScPos pos = cur().pos;
                next();
                auto x = make(qor_eScExpr::Index, pos);
                x->kids.push_back(std::move(e));
                x->kids.push_back(expr());
                expect("]");
                e = fix(std::move(x));
            }
            else if (isPunct("++") || isPunct("--"))
            {
                auto x = make(qor_eScExpr::IncDec, cur().pos);
                x->op = next().text;
                x->prefix = false;
                x->kids.push_back(std::move(e));
                e = fix(std::move(x));
            }
            else
                return e;
        }
    }
};
} // namespace

bool qor_scParse(const std::vector<qor_sScToken> & tokens, qor_cScDiag & diag, qor_sScProgram * pOut)
{
    const int before = diag.errors();
    Parser p(tokens, diag);
    p.program(pOut);
    return diag.errors() == before;
}
