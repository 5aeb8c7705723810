// qor-sc: programs compiled in-process (library qor_sc) and run by build/bin/qor-amx, whose
// printed output is checked; compile errors with their positions; images written against
// scripts/include/qor.inc bound by name through the engine's machine; listings that qor-amx
// assembles back to the same bytes.
#include <gtest/gtest.h>

#include "qor_amx.h"
#include "qor_cScript.h"
#include "qor_sc.h"
#include "qor_testUtil.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <string>
#include <vector>

namespace
{
// The console natives of "qor-amx run".
const char * const CONSOLE = "native print_int(value);\n"
                             "native print_str(const string[]);\n"
                             "native print_float(Float:value);\n";

qor_sScOptions options()
{
    qor_sScOptions o;
    o.includeDirs.push_back(qort::sourceDir() + "/scripts/include");
    return o;
}

qor_sScResult compile(const std::string & body, bool console = true, const qor_sScOptions & o = options())
{
    return qor_scCompileText("test.sc", (console ? std::string(CONSOLE) : std::string()) + body, o);
}

std::string shellQuote(const std::string & s) { return "'" + s + "'"; }

// Compiles (the console natives declared first, on lines 1 to 3), runs with qor-amx and
// returns what it printed; *pRc gets the exit status.
std::string run(const std::string & body, int * pRc = nullptr, const std::string & args = "",
                const qor_sScOptions & o = options())
{
    const qor_sScResult r = compile(body, true, o);
    EXPECT_TRUE(r.ok) << r.messages;
    if (!r.ok)
        return "compile failed: " + r.messages;
    qort::TempDir dir;
    const std::string path = dir.file("t.o");
    qort::writeBytes(path, r.image.data(), r.image.size());
    std::string out;
    const int rc = qort::runCommand(
        shellQuote(qort::binDir() + "/qor-amx") + " run " + shellQuote(path) + " " + args + " 2>&1", &out);
    if (pRc)
        *pRc = rc;
    else
        EXPECT_EQ(rc, 0) << out;
    return out;
}

// Compiles and returns the diagnostics (the compilation must fail).
std::string errors(const std::string & body, bool console = true)
{
    const qor_sScResult r = compile(body, console);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.image.empty());
    return r.messages;
}

std::vector<std::string> nativeNames(const std::vector<uint8_t> & img)
{
    AMX_HEADER h;
    amx_ReadHeader(img.data(), &h);
    std::vector<std::string> out;
    for (int k = 0; k < h.num_natives; ++k)
        out.push_back(reinterpret_cast<const char *>(&img[(size_t)h.natives + 24 * k + 4]));
    return out;
}

cell AMX_NATIVE_CALL nativeOne(AMX *, cell *) { return 1; }
} // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic

TEST(qor_sc, DivisionAndModuloRoundTowardsMinusInfinityAsTheMachine)
{
    const std::string out = run(R"(
main()
{
    new a = -7, b = 2;
    print_int(a / b); print_int(a % b);
    a = 7; b = -2;
    print_int(a / b); print_int(a % b);
    a = -7;
    print_int(a / b); print_int(a % b);
    // the same folded at compile time
    print_int(-7 / 2); print_int(-7 % 2); print_int(7 / -2); print_int(7 % -2);
    new x = 17;
    x /= 5; print_int(x);
    x %= 2; print_int(x);
    print_int(cellmax + 1 == cellmin);
    print_int(6 * -7 + 2 - -3);
}
)");
    EXPECT_EQ(out, "-4\n1\n-4\n-1\n3\n-1\n-4\n1\n-4\n-1\n3\n1\n1\n-37\nret 0\n");
}

TEST(qor_sc, DivisionByZeroStopsTheMachineAndIsAnErrorWhenConstant)
{
    int rc = 0;
    const std::string out = run("main() { new z = 0; print_int(5 / z); }", &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, "error 11 AMX_ERR_DIVIDE\n");
    EXPECT_EQ(errors("main() { print_int(5 % 0); }"), "test.sc:4:22: error: division by zero\n");
}

TEST(qor_sc, ShiftsArithmeticAndLogical)
{
    const std::string out = run(R"(
main()
{
    new m = -16, n = 2;
    print_int(m >> n); print_int(m >>> 28); print_int(1 << 10); print_int(m << 1);
    print_int(-16 >> 2); print_int(-16 >>> 28);
    new s = 3;
    s <<= 2; print_int(s);
    s >>= 1; print_int(s);
    print_int(0x0F & 0x3C); print_int(0x0F | 0x30); print_int(0x0F ^ 0xFF); print_int(~0);
}
)");
    EXPECT_EQ(out, "-4\n15\n1024\n-32\n-4\n15\n12\n6\n12\n63\n240\n-1\nret 0\n");
}

TEST(qor_sc, LogicalOperatorsShortCircuitTheirSideEffects)
{
    const std::string out = run(R"(
new calls = 0;
yes() { calls++; return 1; }
no() { calls += 10; return 0; }
main()
{
    if (no() && yes()) print_int(-1);
    print_int(calls);
    if (yes() || no()) print_int(calls);
    new v = (no() || yes()) && !no();
    print_int(v); print_int(calls);
    v = yes() > 0 ? 7 : no();
    print_int(v); print_int(calls);
    while (no() && yes()) {}
    print_int(calls);
}
)");
    EXPECT_EQ(out, "10\n11\n1\n32\n7\n33\n43\nret 0\n");
}

// ---------------------------------------------------------------------------------------------
// Statements

TEST(qor_sc, LoopsWithBreakAndContinueReleaseTheirLocals)
{
    const std::string out = run(R"(
main()
{
    new s = 0;
    for (new i = 0; i < 100; i++)
    {
        new odd = i % 2;
        new buf[8];
        buf[odd] = i;
        if (odd) continue;
        if (i > 10) break;
        s += buf[0];
    }
    print_int(s);
    new k = 0;
    while (true) { new t = k; k = t + 1; if (k == 7) break; }
    print_int(k);
    do { new u[3] = {1, 2, 3}; k -= u[0]; } while (k > 3);
    print_int(k);
    // nested loops: break and continue act on the innermost one
    new pairs = 0;
    for (new i = 0; i < 5; i++)
        for (new j = 0; j < 5; j++)
        {
            if (j > i) break;
            if (j == 1) continue;
            pairs++;
        }
    print_int(pairs);
    // 10000 iterations with locals: the stack stays balanced
    new n = 0;
    for (new i = 0; i < 10000; i++) { new a = i, b[4]; b[3] = a; n += b[3] & 1; }
    print_int(n);
}
)");
    EXPECT_EQ(out, "30\n7\n3\n11\n5000\nret 0\n");
}

TEST(qor_sc, SwitchWithCaseListsRangesAndDefault)
{
    const std::string out = run(R"(
classify(v)
{
    switch (v)
    {
        case 0: return 100;
        case 1, 2: return 200;
        case 3 .. 5, 9: { new t = v * 1000; return t; }
        case -3 .. -1: return -1;
        default: return 0;
    }
    return 42;
}
main()
{
    for (new i = -4; i < 11; i++)
        print_int(classify(i));
    // no default: nothing runs; break leaves the switch only
    new hits = 0;
    for (new i = 0; i < 4; i++)
    {
        switch (i)
        {
            case 1: { hits += 1; break; }
            case 2: hits += 10;
        }
        hits += 100;
    }
    print_int(hits);
    switch ('b') { case 'a': print_str("a"); case 'b': print_str("b"); }
}
)");
    EXPECT_EQ(out, "0\n-1\n-1\n-1\n100\n200\n200\n3000\n4000\n5000\n0\n0\n0\n9000\n0\n411\nb\nret 0\n");
}

TEST(qor_sc, RecursionAndFunctionsDefinedLater)
{
    const std::string out = run(R"(
main()
{
    print_int(fib(20));
    print_int(ack(2, 3));
    print_int(isEven(10)); print_int(isEven(7));
}
fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
ack(m, n)
{
    if (m == 0) return n + 1;
    if (n == 0) return ack(m - 1, 1);
    return ack(m - 1, ack(m, n - 1));
}
isEven(n) { if (n == 0) return 1; return isOdd(n - 1); }
isOdd(n) { if (n == 0) return 0; return isEven(n - 1); }
)");
    EXPECT_EQ(out, "6765\n9\n1\n0\nret 0\n");
}

// ---------------------------------------------------------------------------------------------
// Arrays

TEST(qor_sc, ArraysOneAndTwoDimensionsInitialisersAndSizeof)
{
    const std::string out = run(R"(
new grid[3][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
new names[][] = {"ab", "cde", "f"};
new list[10] = {5, 4, 3};
new const primes[] = {2, 3, 5, 7, 11};
sum(const a[], n = sizeof a) { new s; for (new i = 0; i < n; i++) s += a[i]; return s; }
ends(const row[4]) { return row[0] + row[3]; }
set(a[], n, v) { for (new i = 0; i < n; ++i) a[i] = v; }
main()
{
    print_int(grid[2][3]); print_int(sizeof grid); print_int(sizeof grid[]);
    new r = 1, c = 2;
    print_int(grid[r][c]);
    grid[r][c] += 100;
    print_int(grid[1][2]);
    print_int(ends(grid[2]));
    print_str(names[1]); print_int(sizeof names[]);
    print_int(sizeof list); print_int(sum(list)); print_int(sum(list, 2));
    print_int(sum(primes)); print_int(sizeof primes);
    new local[5] = {1, 1};
    set(local, 3, 7);
    print_int(sum(local));
    new copy[5];
    copy = local;
    print_int(copy[2]);
    new text[8];
    text = "hi";
    print_str(text);
    print_int(sum("abc"));
}
)");
    EXPECT_EQ(out, "12\n3\n4\n7\n107\n21\ncde\n4\n10\n12\n9\n28\n5\n21\n7\nhi\n294\nret 0\n");
}

TEST(qor_sc, AnOutOfBoundsIndexGivesTheMachinesBoundsError)
{
    int rc = 0;
    std::string out = run(R"(
main()
{
    new a[4];
    for (new i = 0; i <= 4; i++) { a[i] = i; print_int(a[i]); }
}
)",
                          &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, "0\n1\n2\n3\nerror 4 AMX_ERR_BOUNDS\n");

    out = run("new g[2][3]; main() { new j = 3; g[1][j] = 1; }", &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, "error 4 AMX_ERR_BOUNDS\n");
    out = run("new g[2][3]; main() { new i = -1; print_int(g[i][0]); }", &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, "error 4 AMX_ERR_BOUNDS\n");

    // a constant index is checked by the compiler
    EXPECT_EQ(errors("main() { new a[4]; a[4] = 1; }"),
              "test.sc:4:22: error: array index 4 out of bounds (array 'a' has 4 elements)\n");
}

// ---------------------------------------------------------------------------------------------
// Literals

TEST(qor_sc, StringsPackedAndUnpackedReachPrintStr)
{
    const std::string out = run(R"(
new packedGlobal[] = !"packed global";
main()
{
    print_str("unpacked");
    print_str(!"packed");
    print_str(!"abcd");
    print_str(packedGlobal);
    print_str("tab\there \"quoted\" \\ \x41");
    print_str("joined " "literals");
    new s[] = "local";
    s[0] = 'L';
    print_str(s);
    print_int(sizeof s); print_int(sizeof packedGlobal);
    print_int('a'); print_int('\n'); print_int('\0');
}
)");
    EXPECT_EQ(out, "unpacked\npacked\nabcd\npacked global\ntab\there \"quoted\" \\ A\njoined literals\nLocal\n"
                   "6\n4\n97\n10\n0\nret 0\n");
}

TEST(qor_sc, FloatLiteralsAreIeeeSingleBitsForPrintFloat)
{
    const std::string out = run(R"(
const Float:HALF = 0.5;
new Float:g = 2.25;
main()
{
    print_float(1.5); print_float(-0.25); print_float(2.0 * 1.5); print_float(HALF / 4.0);
    print_float(g); print_float(-g); print_float(1.0e3); print_float(3.0 - 0.5);
    new Float:f = 0.1;
    print_float(f);
    print_int(_:1.0);
    print_float(Float:0x40490FDB);
}
)");
    EXPECT_EQ(out, "1.5\n-0.25\n3\n0.125\n2.25\n-2.25\n1000\n2.5\n0.1\n1065353216\n3.14159\nret 0\n");
}

TEST(qor_sc, TagMismatchesAreWarnings)
{
    const qor_sScResult r = compile(R"(
main()
{
    new Float:f = 5;
    print_int(1.5);
    new i = f;
    print_float(i);
    new bool:b = i > 0;
    i = b;
}
)");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.warnings, 4);
    EXPECT_EQ(r.messages, "test.sc:7:19: warning: tag mismatch: expected 'Float:' value, found untagged\n"
                          "test.sc:8:15: warning: tag mismatch: expected untagged value, found 'Float:'\n"
                          "test.sc:9:13: warning: tag mismatch: expected untagged value, found 'Float:'\n"
                          "test.sc:10:17: warning: tag mismatch: expected 'Float:' value, found untagged\n");
    // run-time float arithmetic would compute on the bits: refused
    EXPECT_EQ(errors("main() { new Float:f = 1.0; f = f * 2.0; }"),
              "test.sc:4:35: error: operator '*' on Float values needs constant operands (the machine has no "
              "floating-point instructions)\n");
}

// ---------------------------------------------------------------------------------------------
// Variables, parameters

TEST(qor_sc, GlobalsInitialisersStaticLocalsAndConstants)
{
    const std::string out = run(R"(
#define BASE 40
const TWO = 2, THREE = TWO + 1;
enum { RED, GREEN = 5, BLUE }
new a = BASE + TWO, b, c = -1;
new table[THREE] = {TWO * 10, THREE * 10};
counter() { static n = 100; return ++n; }
main()
{
    print_int(a); print_int(b); print_int(c);
    print_int(table[0] + table[1] + table[2]);
    a++; b = a * 2;
    print_int(b);
    counter(); counter();
    print_int(counter());
    print_int(RED + GREEN * 10 + BLUE * 100);
    new x;
    print_int(x);
}
)");
    EXPECT_EQ(out, "42\n0\n-1\n50\n86\n103\n650\n0\nret 0\n");
}

TEST(qor_sc, DefaultArgumentsAndReferences)
{
    const std::string out = run(R"(
new g = 5;
f(a, b = 10, c = -1) { return a * 100 + b * 10 + c; }
swap(&x, &y) { new t = x; x = y; y = t; }
twice(&v) { v *= 2; v++; return v; }
greet(const who[] = "world") { print_str(who); }
main()
{
    print_int(f(1)); print_int(f(1, 2)); print_int(f(1, _, 3)); print_int(f(1, 2, 3));
    new x = 1, y = 2;
    swap(x, y);
    print_int(x * 10 + y);
    new arr[3] = {7, 8, 9};
    swap(arr[0], arr[2]);
    print_int(arr[0] * 100 + arr[1] * 10 + arr[2]);
    swap(g, x);
    print_int(g); print_int(x);
    print_int(twice(g)); print_int(g);
    greet(); greet("you");
}
)");
    EXPECT_EQ(out, "199\n119\n203\n123\n21\n987\n2\n5\n5\n5\nworld\nyou\nret 0\n");
}

TEST(qor_sc, CompoundAssignmentIncrementAndTernary)
{
    const std::string out = run(R"(
main()
{
    new t = 5;
    t <<= 2; t |= 1; t ^= 3; t -= 1; t *= 3; t /= 2; t %= 7;
    print_int(t);
    print_int(t > 3 ? 100 : t == 3 ? 200 : 300);
    new q = 5;
    print_int(q++); print_int(q); print_int(--q); print_int(-q); print_int(~q); print_int(!q);
    new a[3];
    a[1]++; ++a[1]; a[1]--;
    print_int(a[1]);
    new i = 0;
    a[i++] = 9;
    print_int(i * 10 + a[0]);
    new j = 2;
    a[j]++; a[j]++; a[j]--;           // statements: the machine's inc.i / dec.i
    print_int(a[j]++ + ++a[j]);
    bump(j);
    print_int(j);
}
bump(&r) { r++; r++; r--; ++r; }
)");
    EXPECT_EQ(out, "3\n200\n5\n6\n5\n-5\n-6\n0\n1\n19\n4\n4\nret 0\n");
}

TEST(qor_sc, PublicFunctionsRunByIndexWithArguments)
{
    // the public table is sorted by name: add is #0, mul is #1
    std::string out =
        run("public mul(a, b) { return a * b; }\npublic add(a, b) { return a + b; }\nmain() { return 1; }", nullptr,
            "--entry 1 6 7");
    EXPECT_EQ(out, "ret 42\n");
    out = run("public mul(a, b) { return a * b; }\npublic add(a, b) { return a + b; }\nmain() { return 1; }", nullptr,
              "--entry 0 6 7");
    EXPECT_EQ(out, "ret 13\n");
}

// ---------------------------------------------------------------------------------------------
// Errors

TEST(qor_sc, CompileErrorsGiveFileLineAndColumn)
{
    EXPECT_EQ(errors("main()\n{\n    print_int(missing);\n}\n"), "test.sc:6:15: error: undefined symbol 'missing'\n");
    EXPECT_EQ(errors("main()\n{\n    undefinedFunction(1);\n}\n"),
              "test.sc:6:5: error: undefined symbol 'undefinedFunction'\n");
    EXPECT_EQ(errors("#include <qor>\nmain()\n{\n    setPos(1);\n    addQuad(2);\n}\n"),
              "test.sc:7:5: error: too few arguments in call to 'setPos' (expected 2, got 1)\n"
              "test.sc:8:5: error: too many arguments in call to 'addQuad' (expected 0, got 1)\n");
    // a missing semicolon is reported at the end of the statement; the next line is still read
    EXPECT_EQ(errors("main()\n{\n    new a = 1\n    print_int(a)\n    print_int(b);\n}\n"),
              "test.sc:6:14: error: expected ';' before 'print_int'\n"
              "test.sc:7:17: error: expected ';' before 'print_int'\n"
              "test.sc:8:15: error: undefined symbol 'b'\n");
    EXPECT_EQ(errors("main() { new x = 1; x = ; }"), "test.sc:4:25: error: expected an expression before ';'\n");
    EXPECT_EQ(errors("main() { break; }"), "test.sc:4:10: error: 'break' outside a loop or switch\n");
    EXPECT_EQ(errors("f(a) { return a; }\nf(b) { return b; }\nmain() {}"),
              "test.sc:5:1: error: symbol 'f' is already defined\n");
    EXPECT_EQ(errors("const C = 1;\nmain() { C = 2; }"), "test.sc:5:10: error: cannot assign to constant 'C'\n");
    EXPECT_EQ(errors("main() { switch (1) { case 1: {} case 1: {} } }"),
              "test.sc:4:39: error: duplicate case value 1\n");
    EXPECT_EQ(errors("main() { new a[3]; a = 5; }"),
              "test.sc:4:24: error: an array can only be assigned an array or a string\n");
    EXPECT_EQ(errors("#include <missing.inc>\nmain() {}"),
              "test.sc:4:1: error: cannot find include file 'missing.inc'\n");
    EXPECT_EQ(errors("#include <qor>\nmain() { useTextureAsRenderTarget(); }"),
              "test.sc:5:10: error: native name 'useTextureAsRenderTarget' is longer than 19 characters: the "
              "image's natives table cannot hold it\n");
}

TEST(qor_sc, TheToolExitsNonZeroAndWritesNothingOnError)
{
    qort::TempDir dir;
    qort::writeText(dir.file("bad.sc"), "main()\n{\n    return 1\n}\n");
    std::string out;
    const std::string tool = shellQuote(qort::binDir() + "/qor-sc");
    int rc = qort::runCommand(tool + " " + shellQuote(dir.file("bad.sc")) + " 2>&1", &out);
    EXPECT_EQ(rc, 1);
    EXPECT_NE(out.find("bad.sc:3:13: error: expected ';' before '}'"), std::string::npos) << out;
    EXPECT_FALSE(qort::fileExists(dir.file("bad.o")));

    qort::writeText(dir.file("good.sc"), "main() { return 3; }\n");
    rc = qort::runCommand(tool + " " + shellQuote(dir.file("good.sc")) + " 2>&1", &out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_TRUE(qort::fileExists(dir.file("good.o")));
    rc = qort::runCommand(shellQuote(qort::binDir() + "/qor-amx") + " run " + shellQuote(dir.file("good.o")), &out);
    EXPECT_EQ(out, "ret 3\n");

    // -I, -o and --list
    qort::writeText(dir.file("layer.sc"), "#include <qor>\nmain() { addQuad(); setPos(500, -250); }\n");
    rc = qort::runCommand(tool + " " + shellQuote(dir.file("layer.sc")) + " -I " +
                              shellQuote(qort::sourceDir() + "/scripts/include") + " -o " +
                              shellQuote(dir.file("out.o")) + " --list 2>&1",
                          &out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_TRUE(qort::fileExists(dir.file("out.o")));
    EXPECT_NE(out.find(".native addQuad"), std::string::npos) << out;
    EXPECT_NE(out.find("sysreq.c   setPos"), std::string::npos) << out;
    rc = qort::runCommand(tool + " --bogus 2>&1", &out);
    EXPECT_EQ(rc, 2); // bad usage
    EXPECT_NE(out.find("unknown option --bogus"), std::string::npos) << out;
}

// ---------------------------------------------------------------------------------------------
// Images

TEST(qor_sc, HeaderIsWhatTheMachineAccepts)
{
    const qor_sScResult r = compile("#pragma dynamic 1000\npublic p() {}\nmain() {}");
    ASSERT_TRUE(r.ok) << r.messages;
    AMX_HEADER h;
    amx_ReadHeader(r.image.data(), &h);
    EXPECT_EQ(h.magic, 0xF1E0);
    EXPECT_LE(h.amx_version, 4);
    EXPECT_EQ(h.defsize, 24);
    EXPECT_EQ(h.flags, 0);
    EXPECT_EQ(h.size, (int32_t)r.image.size());
    EXPECT_EQ(h.size, h.hea);
    EXPECT_EQ(h.stp - h.hea, 4000) << "#pragma dynamic is in cells";
    EXPECT_EQ(h.num_publics, 1);
    EXPECT_GE(h.cip, 0);
    EXPECT_EQ(h.num_natives, 0) << "natives never called are not in the table";

    const qor_sScResult c =
        compile("#pragma dynamic 64\nrec(n) { return n ? rec(n - 1) + 1 : 0; }\nmain() { return rec(100); }");
    ASSERT_TRUE(c.ok);
    qort::TempDir dir;
    qort::writeBytes(dir.file("s.o"), c.image.data(), c.image.size());
    std::string out;
    EXPECT_EQ(qort::runCommand(shellQuote(qort::binDir() + "/qor-amx") + " run " + shellQuote(dir.file("s.o")), &out),
              1);
    EXPECT_EQ(out, "error 3 AMX_ERR_STACKERR\n") << "64 cells cannot hold 100 calls";
}

TEST(qor_sc, CompactImagesRunTheSame)
{
    const std::string src = R"(
new big[] = {0x12345678, -5, cellmin, 1000000};
main() { for (new i = 0; i < 4; i++) print_int(big[i]); print_str(!"compact"); }
)";
    qor_sScOptions o = options();
    const std::string plain = run(src);
    o.compact = true;
    const qor_sScResult r = compile(src, true, o);
    ASSERT_TRUE(r.ok);
    AMX_HEADER h;
    amx_ReadHeader(r.image.data(), &h);
    EXPECT_EQ(h.flags, 0x04);
    EXPECT_LT(h.size, h.hea);
    EXPECT_EQ(run(src, nullptr, "", o), plain);
    EXPECT_EQ(plain, "305419896\n-5\n-2147483648\n1000000\ncompact\nret 0\n");
}

TEST(qor_sc, ListingsAssembleToTheSameImage)
{
    const std::string src = std::string(CONSOLE) + R"(
#include <qor>
new g[2][3] = {{1, 2, 3}, {4, 5, 6}};
new s[] = !"packed\ttext";
public tick(n) { switch (n) { case 1 .. 3: return g[1][n - 1]; default: return -1; } return 0; }
main()
{
    new loc[4] = {9, 8};
    for (new i = 0; i < 3; i++) print_int(tick(i) + loc[i & 1]);
    print_str("unpacked \"text\"\n");
    print_str(s);
    print_float(-1.5);
    setPos(qor_rand(0, 10), g[0][2]);
}
)";
    for (int compact = 0; compact < 2; ++compact)
    {
        qor_sScOptions o = options();
        o.listing = true;
        o.compact = compact != 0;
        const qor_sScResult r = qor_scCompileText("test.sc", src, o);
        ASSERT_TRUE(r.ok) << r.messages;
        qort::TempDir dir;
        qort::writeText(dir.file("t.asm"), r.listing);
        std::string out;
        const int rc =
            qort::runCommand(shellQuote(qort::binDir() + "/qor-amx") + " asm " + shellQuote(dir.file("t.asm")) +
                                 " -o " + shellQuote(dir.file("t.o")) + " 2>&1",
                             &out);
        ASSERT_EQ(rc, 0) << out << r.listing;
        EXPECT_EQ(qort::readBytes(dir.file("t.o")), r.image) << r.listing;
    }
}

// A layer script written against qor.inc: its natives are bound by name by the machine.
TEST(qor_sc, ALayerScriptAgainstQorIncBindsItsNativesByName)
{
    const qor_sScResult r = compile(R"(
#include <qor>
main()
{
    setVP(0, 0, ONE, ONE);
    setZBufferClear(CLEAR_ON);
    setFrameBufferClear(CLEAR_OFF);
    addQuad();
    setPos(500, -250);
    setScale(ONE, ONE / 2);
    addKey_uvrot(0, 0);
    addKey_uvrot(FRAMES_PER_SECOND, HALF_PI);
    lastKey_uvrot();
    endMode_uvpos(END_PINGPONG);
    addMaterial("flare");
    addPass();
    setBlend(BLEND_SRCALPHA, BLEND_ONE);
    setZWrite(false);
    addStage();
    loadTexture("flare.jpg");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    setMatDiff(255, 128, 0, FULL);
    addKey_diffuse(0, 255, 255, 255, qor_rand(128, 256));
    lastKey_diffuse();
}
)",
                                    false);
    ASSERT_TRUE(r.ok) << r.messages;
    const std::vector<std::string> names = nativeNames(r.image);
    const std::vector<std::string> want = {
        "setVP",          "setZBufferClear", "setFrameBufferClear", "addQuad",     "setPos",     "setScale",
        "addKey_uvrot",   "lastKey_uvrot",   "endMode_uvpos",       "addMaterial", "addPass",    "setBlend",
        "setZWrite",      "addStage",        "loadTexture",         "setCombiner", "setMatDiff", "qor_rand",
        "addKey_diffuse", "lastKey_diffuse"};
    EXPECT_EQ(names, want);

    // bind through the engine's machine: the global table, then the layer table
    static const char * const layerNames[] = {"addQuad",
                                              "addMaterial",
                                              "setDim",
                                              "setPos",
                                              "setScale",
                                              "setUVScale",
                                              "setZBufferClear",
                                              "setFrameBufferClear",
                                              "loadScene",
                                              "addKey_pos",
                                              "lastKey_pos",
                                              "addKey_scale",
                                              "lastKey_scale",
                                              "setVP",
                                              "addKey_vp",
                                              "lastKey_vp",
                                              "addKey_vpBlur",
                                              "lastKey_vpBlur",
                                              "addKey_uvScale",
                                              "lastKey_uvScale",
                                              "addKey_uvpos",
                                              "lastKey_uvpos",
                                              "endMode_uvpos",
                                              "addKey_uvrot",
                                              "lastKey_uvrot",
                                              "addKey_texture",
                                              "lastKey_texture",
                                              "endMode_texture",
                                              "addKey_diffuse",
                                              "lastKey_diffuse",
                                              "addPass",
                                              "setBlend",
                                              "addStage",
                                              "loadTexture",
                                              "loadTextureNoComp",
                                              "loadTextureScript",
                                              "loadTextureAlpha",
                                              "loadTableOffset",
                                              "loadAnim",
                                              "setCombiner",
                                              "setAlphaCombiner",
                                              "setTexGen",
                                              "setTTF",
                                              "setMatPropColor",
                                              "setMatDiff",
                                              "setMatAmbi",
                                              "setMatSpec",
                                              "setMatEmis",
                                              "setMatPropSrc",
                                              "setZCmp",
                                              "setZWrite",
                                              "replaceMaterial"};
    std::vector<AMX_NATIVE_INFO> layer;
    for (const char * n : layerNames)
        layer.push_back({n, nativeOne});
    layer.push_back({nullptr, nullptr});
    ASSERT_EQ(layer.size(), 53u);

    std::vector<unsigned char> mem(r.image.size() + 65536 + AMX_IMAGE_SLACK, 0);
    AMX_HEADER h;
    amx_ReadHeader(r.image.data(), &h);
    ASSERT_LE((size_t)h.stp + AMX_IMAGE_SLACK, mem.size());
    std::memcpy(mem.data(), r.image.data(), r.image.size());
    AMX amx;
    std::memset(&amx, 0, sizeof amx);
    ASSERT_EQ(amx_Init(&amx, mem.data()), AMX_ERR_NONE);
    EXPECT_EQ(amx_Register(&amx, qor_aScriptGlobalNatives, -1), AMX_ERR_NOTFOUND) << "layer natives still unbound";
    EXPECT_EQ(amx_Register(&amx, layer.data(), -1), AMX_ERR_NONE);
    cell ret = -1;
    EXPECT_EQ(amx_Exec(&amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_NONE);
    EXPECT_EQ(ret, 0);
    amx_Cleanup(&amx);

    // the material table lacks the layer-only natives: binding fails, so the host never runs it
    static const char * const materialOnly[] = {"addPass",          "setBlend",           "addStage",
                                                "loadTexture",      "loadTextureNoCompr", "loadTextureAlpha",
                                                "loadTableOffset",  "loadAnim",           "setCombiner",
                                                "setAlphaCombiner", "setTexGen",          "setTTF",
                                                "setMatPropColor",  "setMatDiff",         "setMatAmbi",
                                                "setMatSpec",       "setMatEmis",         "setMatPropSrc",
                                                "setZCmp",          "setZWrite",          "addKey_diffuse",
                                                "lastKey_diffuse",  "addKey_texture",     "lastKey_texture",
                                                "lastKey_texture",  "endMode_texture",    "useTextureAsRenderTarget"};
    std::vector<AMX_NATIVE_INFO> material;
    for (const char * n : materialOnly)
        material.push_back({n, nativeOne});
    material.push_back({nullptr, nullptr});
    std::memset(mem.data(), 0, mem.size());
    std::memcpy(mem.data(), r.image.data(), r.image.size());
    std::memset(&amx, 0, sizeof amx);
    ASSERT_EQ(amx_Init(&amx, mem.data()), AMX_ERR_NONE);
    amx_Register(&amx, qor_aScriptGlobalNatives, -1);
    EXPECT_EQ(amx_Register(&amx, material.data(), -1), AMX_ERR_NOTFOUND);
    amx_Cleanup(&amx);
}

TEST(qor_sc, IncludeSearchOnceOnlyAndDefines)
{
    qort::TempDir dir;
    qort::writeText(dir.file("lib.inc"), "#define LIB_VALUE 41\nlibInc(v) { return v + 1; }\n");
    qort::writeText(dir.file("main.sc"), "native print_int(v);\n#include \"lib.inc\"\n#include \"lib.inc\"\n"
                                         "main() { print_int(libInc(LIB_VALUE)); }\n");
    qor_sScOptions o;
    qor_sScResult r = qor_scCompileFile(dir.file("main.sc"), o);
    EXPECT_TRUE(r.ok) << r.messages << " (\"lib.inc\" is found beside the file)";
    o.includeDirs.push_back(dir.path());
    r = qor_scCompileText(dir.file("other/x.sc"),
                          "#include <lib>\n#include <lib.inc>\nmain() { return libInc(LIB_VALUE); }", o);
    EXPECT_TRUE(r.ok) << r.messages << " (<lib> is searched in -I folders, each file read once)";
}

// Every truncation of a valid program either compiles or fails with positioned messages;
// nothing crashes, and an image comes only with success.
TEST(qor_sc, EveryTruncationOfAProgramFailsCleanly)
{
    const std::string src = std::string(CONSOLE) + R"(
#define N 4
const Float:HALF = 0.5;
new g[2][N] = {{1, 2, 3, 4}, {5, 6, 7, 8}}, s[] = !"packed";
enum { A, B = 3 }
f(&r, const a[], n = sizeof a, x = -1) { r += a[n - 1] * x; return r >>> 1; }
public p(v) { switch (v) { case A, 1 .. B: return v; default: { new t[3] = {1}; return t[0]; } } return 0; }
main()
{
    new v, i;
    for (i = 0; i < N; ++i) { if (i % 2 && v) continue; else v += g[1][i]; }
    do { v--; } while (v > 10 || !i);
    print_int(f(v, g[0]) ? v : ~v);
    print_float(-HALF * 2.0);
    print_str("done\n");
}
)";
    int ok = 0;
    for (size_t n = 0; n <= src.size(); ++n)
    {
        const qor_sScResult r = qor_scCompileText("cut.sc", src.substr(0, n), options());
        if (r.ok)
        {
            ++ok;
            EXPECT_FALSE(r.image.empty());
            continue;
        }
        EXPECT_TRUE(r.image.empty());
        ASSERT_EQ(r.messages.compare(0, 7, "cut.sc:"), 0) << "at " << n << ": " << r.messages;
    }
    EXPECT_GE(ok, 2) << "the whole program and the console declarations alone compile";
}

TEST(qor_sc, WindowsLineEndsAndAByteOrderMarkAreAccepted)
{
    const std::string src = "\xEF\xBB\xBFnative print_int(v);\r\n#define SEVEN 7\r\n"
                            "main()\r\n{\r\n    print_int(SEVEN); // seven\r\n    print_int(bad)\r\n}\r\n";
    const qor_sScResult r = qor_scCompileText("crlf.sc", src, options());
    EXPECT_EQ(r.messages,
              "crlf.sc:6:19: error: expected ';' before '}'\ncrlf.sc:6:15: error: undefined symbol 'bad'\n");
    const std::string fixed =
        "\xEF\xBB\xBFnative print_int(v);\r\n#define SEVEN 7\r\nmain()\r\n{\r\n    print_int(SEVEN);\r\n}\r\n";
    EXPECT_TRUE(qor_scCompileText("crlf.sc", fixed, options()).ok);
}

TEST(qor_sc, DeepNestingAndHugeArraysAreRefusedCleanly)
{
    const std::string deep = "main() { return " + std::string(5000, '(') + "1" + std::string(5000, ')') + "; }";
    EXPECT_NE(errors(deep, false).find("error: nested too deeply"), std::string::npos);
    std::string chain = "main() { return 1";
    for (int k = 0; k < 5000; ++k)
        chain += " + 1";
    EXPECT_NE(errors(chain + "; }", false).find("error: expression too complex"), std::string::npos);
    std::string blocks = "main() " + std::string(1000, '{') + std::string(1000, '}');
    EXPECT_NE(errors(blocks, false).find("error: nested too deeply"), std::string::npos);
    EXPECT_EQ(errors("new a[65536][65536];\nmain() {}", false),
              "test.sc:1:5: error: array 'a' is larger than 4194304 cells\n");
    EXPECT_EQ(errors("main() { switch (1) { case 0 .. 5000: {} } }", false),
              "test.sc:1:28: error: case range of more than 4096 values\n");
}

// ---------------------------------------------------------------------------------------------
// Files, limits and messages of the tool

namespace
{
// Runs qor-sc in dir (with a timeout of its own: a blocked read shows as status 124), after
// the shell commands in prefix; standard error in *pErr.
int scTool(const qort::TempDir & dir, const std::string & args, std::string * pErr, const std::string & prefix = "")
{
    const std::string errFile = dir.file("stderr.txt");
    const int rc = qort::runCommand("cd " + shellQuote(dir.path()) + " && " + prefix + "timeout 10 " +
                                    shellQuote(qort::binDir() + "/qor-sc") + " " + args + " 2>" + errFile);
    *pErr = qort::readText(errFile);
    std::remove(errFile.c_str());
    return rc;
}

// A source of exactly nSize bytes: a program, then a comment that fills the rest.
std::string sourceOfSize(const std::string & program, size_t nSize)
{
    std::string s = program + "//";
    s.append(nSize - s.size() - 1, 'x');
    return s + "\n";
}
} // namespace

TEST(qor_sc, NonRegularSourcesAndIncludesAreRefusedWithoutBlocking)
{
    qort::TempDir dir;
    const qort::SpecialFiles f(dir);
    for (const qort::SpecialFiles::Refusal & in : f.refusals())
    {
        std::string err;
        EXPECT_EQ(scTool(dir, in.path + " -o out.o", &err), 1) << in.path;
        EXPECT_EQ(err, "error: cannot read file '" + in.path + "': " + in.why +
                           "\nqor-sc: 1 error(s), 0 warning(s); no file written\n");
        qort::writeText(dir.file("inc.sc"), "#include \"" + in.path + "\"\nmain() {}\n");
        EXPECT_EQ(scTool(dir, "inc.sc", &err), 1) << in.path;
        const std::string expected = in.path == f.folder
                                         ? "inc.sc:1:1: error: include file '" + in.path + "' " + in.why + "\n"
                                         : "inc.sc:1:1: error: cannot read include file '" + in.path + "': " + in.why + "\n";
        EXPECT_EQ(err.substr(0, err.find("qor-sc:")), expected);
    }
    // A folder named as the source writes nothing beside it (once "FOLDER.o").
    std::string err;
    EXPECT_EQ(scTool(dir, "folder", &err), 1);
    EXPECT_FALSE(qort::fileExists(dir.file("folder.o")));
    EXPECT_FALSE(qort::fileExists(dir.file("out.o")));
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

TEST(qor_sc, OutputsNeverReplaceNonRegularFilesOrTheInput)
{
    qort::TempDir dir;
    const qort::SpecialFiles f(dir);
    qort::writeText(dir.file("a.sc"), "main() {}\n");
    for (const std::string & out : f.all())
    {
        struct stat before, after;
        ASSERT_EQ(lstat(out.c_str(), &before), 0);
        std::string err;
        EXPECT_EQ(scTool(dir, "a.sc -o " + out, &err), 1) << out;
        EXPECT_NE(err.find("qor-sc: error: '" + out + "' is a "), std::string::npos) << err;
        EXPECT_NE(err.find("not a regular file; not written"), std::string::npos) << err;
        ASSERT_EQ(lstat(out.c_str(), &after), 0);
        EXPECT_EQ(before.st_mode, after.st_mode) << out;
        EXPECT_EQ(before.st_rdev, after.st_rdev) << out;
    }
    // "x.o" compiled without -o would be written over itself.
    qort::writeText(dir.file("x.o"), "main() {}\n");
    std::string err;
    EXPECT_EQ(scTool(dir, "x.o", &err), 1);
    EXPECT_EQ(err, "qor-sc: error: 'x.o' is also an input file; not written over\n");
    EXPECT_EQ(qort::readText(dir.file("x.o")), "main() {}\n");
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

// The sources of one compilation, includes with them, are at most 16 MiB (16777216 bytes).
TEST(qor_sc, SourcesAreCappedAt16MiBIncludesCounted)
{
    ASSERT_EQ(kQorScMaxSourceSize, 16777216u);
    qort::TempDir dir;
    std::string err;
    qort::writeText(dir.file("at.sc"), sourceOfSize("main() {}\n", 16777216));
    EXPECT_EQ(scTool(dir, "at.sc", &err), 0) << err;
    EXPECT_TRUE(qort::fileExists(dir.file("at.o")));
    qort::writeText(dir.file("past.sc"), sourceOfSize("main() {}\n", 16777217));
    EXPECT_EQ(scTool(dir, "past.sc", &err), 1);
    EXPECT_EQ(err, "error: cannot read file 'past.sc': the sources, includes with them, are larger than the limit of "
                   "16777216 bytes\nqor-sc: 1 error(s), 0 warning(s); no file written\n");
    // 8 MiB + 8 MiB is the limit; one byte more in the include is past it.
    const std::string main = "#include \"half.inc\"\nmain() {}\n";
    qort::writeText(dir.file("two.sc"), sourceOfSize(main, 8388608));
    qort::writeText(dir.file("half.inc"), sourceOfSize("", 8388608));
    EXPECT_EQ(scTool(dir, "two.sc", &err), 0) << err;
    qort::writeText(dir.file("half.inc"), sourceOfSize("", 8388609));
    EXPECT_EQ(scTool(dir, "two.sc", &err), 1);
    EXPECT_NE(err.find("two.sc:1:1: error: cannot read include file 'half.inc': the sources, includes with them, "
                       "are larger than the limit of 16777216 bytes"),
              std::string::npos)
        << err;
}

TEST(qor_sc, LiteralsAndEnumerationsThatOverflowAreErrors)
{
    // A Float holds up to about 3.4e38: the largest finite value compiles, a larger one does not.
    EXPECT_TRUE(compile("main() { new Float:f = 3.4e38; return _:f; }", false).ok);
    EXPECT_EQ(errors("main() { new Float:f = 1.0e999999; return _:f; }", false),
              "test.sc:1:24: error: floating-point literal is too large for a Float\n");
    EXPECT_EQ(errors("main() { new Float:f = 3.5e38; return _:f; }", false),
              "test.sc:1:24: error: floating-point literal is too large for a Float\n");
    // Integers: 0xFFFFFFFF is the last 32-bit pattern.
    EXPECT_TRUE(compile("main() { return 0xFFFFFFFF; }", false).ok);
    EXPECT_EQ(errors("main() { return 0x100000000; }", false),
              "test.sc:1:17: error: integer literal does not fit in a cell\n");
    // An enumeration counts up to 2147483647 and no further.
    EXPECT_EQ(run("enum { A = 2147483646, B }\nmain() { print_int(B); }"), "2147483647\nret 0\n");
    EXPECT_EQ(errors("enum { A = 2147483647, B }\nmain() { return B; }", false),
              "test.sc:1:24: error: enumeration constant 'B' is past 2147483647 and does not fit in a cell\n");
}

// A NUL byte in the source is a bad character like any other; the messages after it are
// printed whole, the byte itself as \x00.
TEST(qor_sc, ANulByteDoesNotCutTheDiagnostics)
{
    qort::TempDir dir;
    const std::string src = std::string("main()\n{\n    new a = 1") + '\0' + ";\n    return b;\n}\n";
    ASSERT_TRUE(qort::writeBytes(dir.file("nul.sc"), src.data(), src.size()));
    std::string err;
    EXPECT_EQ(scTool(dir, "nul.sc", &err), 1);
    EXPECT_EQ(err.find('\0'), std::string::npos);
    EXPECT_NE(err.find("nul.sc:3:14: error: unexpected character '\\x00'\n"), std::string::npos) << err;
    EXPECT_NE(err.find("nul.sc:4:12: error: undefined symbol 'b'\n"), std::string::npos) << err;
    EXPECT_NE(err.find("qor-sc: 3 error(s), 0 warning(s); no file written\n"), std::string::npos) << err;
}

#if defined(__SANITIZE_ADDRESS__)
#define QOR_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOR_TEST_ASAN 1
#endif
#endif

// Running out of memory is a message and status 1, not an abort: 3,000,000 terms (12 MB, under
// the source limit) compiled with 400 MB of address space.
TEST(qor_sc, RunningOutOfMemoryIsAMessageAndStatusOne)
{
#ifdef QOR_TEST_ASAN
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit this test sets";
#else
    qort::TempDir dir;
    std::string src = "main() { return 1";
    for (int i = 0; i < 3000000; ++i)
        src += " + 1";
    qort::writeText(dir.file("many.sc"), src + "; }\n");
    std::string err;
    EXPECT_EQ(scTool(dir, "many.sc", &err, "ulimit -v 400000 && "), 1);
    EXPECT_EQ(err, "qor-sc: error: out of memory\n");
    EXPECT_FALSE(qort::fileExists(dir.file("many.o")));
#endif
}
