// The abstract machine on images the tests assemble: every opcode, whole programs,
// hostile headers and code, the natives' interfaces.
#include <gtest/gtest.h>

#include "qor_amx.h"
#include "qor_amxasm.h"
#include "qor_cScript.h"

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace
{
std::vector<cell> s_printed;

cell AMX_NATIVE_CALL n_print(AMX *, cell * params)
{
    s_printed.push_back(params[1]);
    return 0;
}
cell AMX_NATIVE_CALL n_ident(AMX *, cell * params) { return params[1]; }
cell AMX_NATIVE_CALL n_count(AMX *, cell * params) { return params[0]; }
cell AMX_NATIVE_CALL n_fail(AMX * amx, cell *)
{
    amx->error = AMX_ERR_NATIVE;
    return 0;
}
// Records the registers the machine saved before the call.
AMX s_seen;
cell AMX_NATIVE_CALL n_regs(AMX * amx, cell *)
{
    s_seen = *amx;
    return 0;
}

AMX_NATIVE_INFO s_aNatives[] = {
    {"print", n_print}, {"ident", n_ident}, {"count", n_count}, {"fail", n_fail}, {"regs", n_regs}, {nullptr, nullptr},
};

const char * const kDecl = ".native print\n.native ident\n.native count\n.native fail\n.native regs\n";

std::vector<unsigned char> assemble(const std::string & text, bool bCompact = false)
{
    std::vector<unsigned char> img;
    std::vector<std::string> errors;
    bool bOk = qoru_amxAssemble(text, "test.asm", bCompact, &img, &errors);
    std::string all;
    for (const std::string & e : errors)
        all += e + "\n";
    EXPECT_TRUE(bOk) << all << text;
    return img;
}

// An image in memory as the host holds it: stp bytes plus the slack, zero-filled.
class Machine
{
  public:
    explicit Machine(const std::vector<unsigned char> & file)
    {
        AMX_HEADER h;
        unsigned char hdr[AMX_HEADER_SIZE] = {};
        memcpy(hdr, file.data(), std::min(file.size(), (size_t)AMX_HEADER_SIZE));
        amx_ReadHeader(hdr, &h);
        size_t n = (h.stp > 0 && h.stp < (1 << 24)) ? (size_t)h.stp : file.size();
        m_image.assign(std::max(n, file.size()) + AMX_IMAGE_SLACK, 0);
        memcpy(m_image.data(), file.data(), file.size());
        memset(&amx, 0, sizeof amx);
    }
    ~Machine() { amx_Cleanup(&amx); }
    int init() { return amx_Init(&amx, m_image.data()); }
    AMX_HEADER header() const
    {
        AMX_HEADER h;
        amx_ReadHeader(m_image.data(), &h);
        return h;
    }
    unsigned char * image() { return m_image.data(); }

    AMX amx;

  private:
    std::vector<unsigned char> m_image;
};

struct Result
{
    int init = -1;
    int reg = -1;
    int exec = -1;
    cell ret = 0x5A5A5A5A;
};

Result runImage(const std::vector<unsigned char> & file, std::vector<cell> args = {}, int index = AMX_EXEC_MAIN,
                int64_t budget = 1000000);

// Assembles, initialises, registers the test natives, runs `index` with the arguments.
Result run(const std::string & text, std::vector<cell> args = {}, int index = AMX_EXEC_MAIN, int64_t budget = 1000000,
           bool bCompact = false)
{
    return runImage(assemble(text, bCompact), args, index, budget);
}

// Initialises an image, registers the test natives, runs `index` with the arguments.
Result runImage(const std::vector<unsigned char> & file, std::vector<cell> args, int index, int64_t budget)
{
    s_printed.clear();
    Result r;
    Machine m(file);
    r.init = m.init();
    if (r.init != AMX_ERR_NONE)
        return r;
    r.reg = amx_Register(&m.amx, s_aNatives, -1);
    m.amx.maxsteps = budget;
    r.exec = amx_Execv(&m.amx, &r.ret, index, (int)args.size(), args.data());
    return r;
}

// main's body between "proc" and "retn", functions after it, and a data section.
std::string program(const std::string & body, const std::string & extra = "", const std::string & data = "")
{
    return std::string(kDecl) + ".code\nmain:\n    proc\n" + body + "\n    retn\n" + extra + "\n.data\n" + data + "\n";
}

struct OpCase
{
    const char * szOpcodes; // the opcodes this case checks, space-separated
    const char * szBody;
    const char * szExtra;
    const char * szData;
    cell expected; // pri at the end of main
    int err;       // expected amx_Exec result
};

const char * const kData = "x: .cell 42\np: .cell x\nb: .cell 0x11223344\narr: .cell 5, 6, 7\n"
                           "src: .cell 1, 2, 3\ndst: .space 3\n";

// Table-driven: one or more cases per opcode.
const OpCase s_aCases[] = {
    {"load.pri", "load.pri x", "", kData, 42, 0},
    {"load.alt move.pri", "load.alt x\nmove.pri", "", kData, 42, 0},
    {"load.s.pri push.c stack", "push.c 17\nload.s.pri -4\nstack 4", "", kData, 17, 0},
    {"load.s.alt", "push.c 18\nload.s.alt -4\nmove.pri\nstack 4", "", kData, 18, 0},
    {"lref.pri", "lref.pri p", "", kData, 42, 0},
    {"lref.alt", "lref.alt p\nmove.pri", "", kData, 42, 0},
    {"lref.s.pri", "push.c x\nlref.s.pri -4\nstack 4", "", kData, 42, 0},
    {"lref.s.alt", "push.c x\nlref.s.alt -4\nmove.pri\nstack 4", "", kData, 42, 0},
    {"load.i const.pri", "const.pri x\nload.i", "", kData, 42, 0},
    {"lodb.i", "const.pri b\nlodb.i 1", "", kData, 0x44, 0},
    {"lodb.i", "const.pri b+1\nlodb.i 2", "", kData, 0x2233, 0},
    {"lodb.i", "const.pri b\nlodb.i 4", "", kData, 0x11223344, 0},
    {"const.pri", "const.pri -5", "", kData, -5, 0},
    {"const.alt", "const.alt 9\nmove.pri", "", kData, 9, 0},
    {"addr.pri lctrl sub", "lctrl 5\nmove.alt\naddr.pri -8\nsub", "", kData, -8, 0},
    {"addr.alt sub.alt", "addr.alt 12\nlctrl 5\nsub.alt", "", kData, 12, 0},
    {"stor.pri zero.pri", "const.pri 7\nstor.pri x\nzero.pri\nload.pri x", "", kData, 7, 0},
    {"stor.alt", "const.alt 8\nstor.alt x\nload.pri x", "", kData, 8, 0},
    {"stor.s.pri pop.pri", "push.c 0\nconst.pri 5\nstor.s.pri -4\npop.pri", "", kData, 5, 0},
    {"stor.s.alt", "push.c 0\nconst.alt 6\nstor.s.alt -4\npop.pri", "", kData, 6, 0},
    {"sref.pri", "const.pri 9\nsref.pri p\nload.pri x", "", kData, 9, 0},
    {"sref.alt", "const.alt 10\nsref.alt p\nload.pri x", "", kData, 10, 0},
    {"sref.s.pri", "push.c x\nconst.pri 11\nsref.s.pri -4\nstack 4\nload.pri x", "", kData, 11, 0},
    {"sref.s.alt", "push.c x\nconst.alt 12\nsref.s.alt -4\nstack 4\nload.pri x", "", kData, 12, 0},
    {"stor.i", "const.alt x\nconst.pri 13\nstor.i\nload.pri x", "", kData, 13, 0},
    {"strb.i", "const.alt b\nconst.pri 0xAB\nstrb.i 1\nload.pri b", "", kData, 0x112233AB, 0},
    {"strb.i", "const.alt b+2\nconst.pri 0xBEEF\nstrb.i 2\nload.pri b", "", kData, (cell)0xBEEF3344, 0},
    {"strb.i", "const.alt b\nconst.pri 77\nstrb.i 4\nload.pri b", "", kData, 77, 0},
    {"lidx", "const.alt arr\nconst.pri 2\nlidx", "", kData, 7, 0},
    {"lidx.b", "const.alt arr\nconst.pri 1\nlidx.b 2", "", kData, 6, 0},
    {"idxaddr", "const.alt arr\nconst.pri 2\nidxaddr\nload.i", "", kData, 7, 0},
    {"idxaddr.b", "const.alt arr\nconst.pri 1\nidxaddr.b 2\nload.i", "", kData, 6, 0},
    {"align.pri", "const.pri 0\nalign.pri 1", "", kData, 3, 0},
    {"align.pri", "const.pri 8\nalign.pri 4", "", kData, 8, 0},
    {"align.alt", "const.alt 8\nalign.alt 2\nmove.pri", "", kData, 10, 0},
    {"lctrl", "lctrl 6", "", kData, 12, 0}, // cip after the operand: proc (4) + lctrl (8)
    {"sctrl", "lctrl 2\nmove.alt\nadd.c 16\nsctrl 2\nlctrl 2\nsub", "", kData, 16, 0},
    {"sctrl", "const.pri skip\nsctrl 6\nconst.pri 1\nretn\nskip:\nconst.pri 2", "", kData, 2, 0},
    {"sctrl", "lctrl 5\npush.pri\nconst.pri 100\nsctrl 5\nlctrl 5\nmove.alt\npop.pri\nsctrl 5\nmove.pri", "", kData,
     100, 0},
    {"sctrl", "lctrl 4\nadd.c -8\nsctrl 4\nlctrl 4\nmove.alt\nlctrl 5\nsub\nstack 8", "", kData, 8, 0},
    {"move.alt", "const.pri 3\nmove.alt\nzero.pri\nmove.pri", "", kData, 3, 0},
    {"xchg", "const.pri 1\nconst.alt 2\nxchg\nsub", "", kData, 1, 0},
    {"push.pri pop.pri", "const.pri 3\npush.pri\nzero.pri\npop.pri", "", kData, 3, 0},
    {"push.alt pop.alt", "const.alt 4\npush.alt\nzero.alt\npop.alt\nmove.pri", "", kData, 4, 0},
    {"push.r", "const.pri 7\npush.r 3\npop.alt\npop.alt\npop.pri\nadd", "", kData, 14, 0},
    {"push.r", "lctrl 4\nmove.alt\nconst.pri 7\npush.r 3\nlctrl 4\nsub.alt\nstack 12", "", kData, 12, 0},
    {"push.c", "push.c 5\npop.pri", "", kData, 5, 0},
    {"push", "push x\npop.pri", "", kData, 42, 0},
    {"push.s", "push.c 6\npush.s -4\npop.pri\nstack 4", "", kData, 6, 0},
    {"stack", "stack -8\nlctrl 4\nsub.alt\nstack 8", "", kData, 8, 0},
    {"heap", "heap 16\nlctrl 2\nsub.alt\nheap -16", "", kData, -16, 0},
    {"call ret proc", "call g", "g:\nproc\nconst.pri 21\nret", kData, 21, 0},
    {"call retn", "push.c 5\npush.c 4\ncall h", "h:\nproc\nload.s.pri 12\nretn", kData, 5, 0},
    {"retn", "lctrl 4\npush.pri\npush.c 5\npush.c 4\ncall h\nlctrl 4\npop.alt\nsub", "h:\nproc\nretn", kData, -4, 0},
    {"call.pri", "const.pri g\ncall.pri", "g:\nproc\nconst.pri 21\nret", kData, 21, 0},
    {"jump", "jump l1\nconst.pri 1\nretn\nl1:\nconst.pri 2", "", kData, 2, 0},
    {"jrel", "jrel l1\nconst.pri 1\nretn\nl1:\nconst.pri 2", "", kData, 2, 0},
    {"jump.pri", "const.pri l1\njump.pri\nconst.pri 1\nretn\nl1:\nconst.pri 2", "", kData, 2, 0},
    {"shl", "const.pri 3\nconst.alt 4\nshl", "", kData, 48, 0},
    {"shr", "const.pri -16\nconst.alt 2\nshr", "", kData, 0x3FFFFFFC, 0},
    {"sshr", "const.pri -16\nconst.alt 2\nsshr", "", kData, -4, 0},
    {"shl.c.pri", "const.pri 3\nshl.c.pri 4", "", kData, 48, 0},
    {"shl.c.alt", "const.alt 3\nshl.c.alt 2\nmove.pri", "", kData, 12, 0},
    {"shr.c.pri", "const.pri -16\nshr.c.pri 28", "", kData, 15, 0},
    {"shr.c.alt", "const.alt -16\nshr.c.alt 28\nmove.pri", "", kData, 15, 0},
    {"smul", "const.pri -3\nconst.alt 7\nsmul", "", kData, -21, 0},
    // SDIV rounds towards minus infinity: pri quotient, alt remainder (checked as pri*100+alt)
    {"sdiv smul.c add", "const.pri -7\nconst.alt 2\nsdiv\nsmul.c 100\nadd", "", kData, -399, 0},
    {"sdiv", "const.pri 7\nconst.alt 2\nsdiv\nsmul.c 100\nadd", "", kData, 301, 0},
    {"sdiv", "const.pri 7\nconst.alt -2\nsdiv\nsmul.c 100\nadd", "", kData, -401, 0},
    {"sdiv", "const.pri -7\nconst.alt -2\nsdiv\nsmul.c 100\nadd", "", kData, 299, 0},
    {"sdiv", "const.pri 0x80000000\nconst.alt -1\nsdiv", "", kData, INT_MIN, 0},
    {"sdiv", "const.pri 0x80000000\nconst.alt -1\nsdiv\nmove.pri", "", kData, 0, 0},
    {"sdiv", "const.pri 5\nzero.alt\nsdiv", "", kData, 0x5A5A5A5A, AMX_ERR_DIVIDE},
    {"sdiv.alt", "const.alt -7\nconst.pri 2\nsdiv.alt\nsmul.c 100\nadd", "", kData, -399, 0},
    {"sdiv.alt", "const.alt 5\nzero.pri\nsdiv.alt", "", kData, 0x5A5A5A5A, AMX_ERR_DIVIDE},
    {"umul", "const.pri -1\nconst.alt 2\numul", "", kData, -2, 0},
    {"udiv", "const.pri -1\nconst.alt 2\nudiv", "", kData, 0x7FFFFFFF, 0},
    {"udiv", "const.pri -1\nconst.alt 2\nudiv\nmove.pri", "", kData, 1, 0},
    {"udiv", "const.pri 1\nzero.alt\nudiv", "", kData, 0x5A5A5A5A, AMX_ERR_DIVIDE},
    {"udiv.alt", "const.alt -1\nconst.pri 16\nudiv.alt", "", kData, 0x0FFFFFFF, 0},
    {"udiv.alt", "const.alt 1\nzero.pri\nudiv.alt", "", kData, 0x5A5A5A5A, AMX_ERR_DIVIDE},
    {"add", "const.pri 0x7FFFFFFF\nconst.alt 1\nadd", "", kData, INT_MIN, 0},
    {"sub", "const.pri 3\nconst.alt 5\nsub", "", kData, -2, 0},
    {"sub.alt", "const.pri 3\nconst.alt 5\nsub.alt", "", kData, 2, 0},
    {"and", "const.pri 12\nconst.alt 10\nand", "", kData, 8, 0},
    {"or", "const.pri 12\nconst.alt 10\nor", "", kData, 14, 0},
    {"xor", "const.pri 12\nconst.alt 10\nxor", "", kData, 6, 0},
    {"not", "const.pri 5\nnot", "", kData, 0, 0},
    {"not", "const.pri 0\nnot", "", kData, 1, 0},
    {"neg", "const.pri 5\nneg", "", kData, -5, 0},
    {"invert", "const.pri 5\ninvert", "", kData, -6, 0},
    {"add.c", "const.pri 5\nadd.c -7", "", kData, -2, 0},
    {"smul.c", "const.pri 5\nsmul.c -7", "", kData, -35, 0},
    {"zero.alt", "const.alt 5\nzero.alt\nmove.pri", "", kData, 0, 0},
    {"zero", "zero x\nload.pri x", "", kData, 0, 0},
    {"zero.s", "push.c 5\nzero.s -4\npop.pri", "", kData, 0, 0},
    {"sign.pri", "const.pri 0x180\nsign.pri", "", kData, -128, 0},
    {"sign.pri", "const.pri 0x17F\nsign.pri", "", kData, 0x17F, 0},
    {"sign.alt", "const.alt 0xFF\nsign.alt\nmove.pri", "", kData, -1, 0},
    {"eq", "const.pri 4\nconst.alt 4\neq", "", kData, 1, 0},
    {"neq", "const.pri 4\nconst.alt 4\nneq", "", kData, 0, 0},
    {"less", "const.pri -1\nconst.alt 1\nless", "", kData, 0, 0},
    {"leq", "const.pri 1\nconst.alt 1\nleq", "", kData, 1, 0},
    {"grtr", "const.pri -1\nconst.alt 1\ngrtr", "", kData, 1, 0},
    {"geq", "const.pri 0\nconst.alt 1\ngeq", "", kData, 0, 0},
    {"sless", "const.pri -1\nconst.alt 1\nsless", "", kData, 1, 0},
    {"sleq", "const.pri 2\nconst.alt 1\nsleq", "", kData, 0, 0},
    {"sgrtr", "const.pri -1\nconst.alt 1\nsgrtr", "", kData, 0, 0},
    {"sgeq", "const.pri 1\nconst.alt 1\nsgeq", "", kData, 1, 0},
    {"eq.c.pri", "const.pri 4\neq.c.pri 4", "", kData, 1, 0},
    {"eq.c.alt", "const.alt 4\nconst.pri 9\neq.c.alt 5", "", kData, 0, 0},
    {"inc.pri", "const.pri -1\ninc.pri", "", kData, 0, 0},
    {"inc.alt", "const.alt 1\ninc.alt\nmove.pri", "", kData, 2, 0},
    {"inc", "inc x\nload.pri x", "", kData, 43, 0},
    {"inc.s", "push.c 5\ninc.s -4\npop.pri", "", kData, 6, 0},
    {"inc.i", "const.pri x\ninc.i\nload.pri x", "", kData, 43, 0},
    {"dec.pri", "const.pri 0\ndec.pri", "", kData, -1, 0},
    {"dec.alt", "const.alt 1\ndec.alt\nmove.pri", "", kData, 0, 0},
    {"dec", "dec x\nload.pri x", "", kData, 41, 0},
    {"dec.s", "push.c 5\ndec.s -4\npop.pri", "", kData, 4, 0},
    {"dec.i", "const.pri x\ndec.i\nload.pri x", "", kData, 41, 0},
    {"movs", "const.pri src\nconst.alt dst\nmovs 12\nload.pri dst+8", "", kData, 3, 0},
    {"cmps", "const.pri src\nconst.alt src\ncmps 12", "", kData, 0, 0},
    {"cmps", "const.pri src\nconst.alt arr\ncmps 12", "", kData, 1, 0},
    {"fill", "const.alt dst\nconst.pri 9\nfill 12\nload.pri dst+8", "", kData, 9, 0},
    {"halt", "const.pri 5\nhalt 0\nconst.pri 6", "", kData, 5, 0},
    {"halt", "const.pri 5\nhalt 3", "", kData, 5, 3},
    {"bounds", "const.pri 3\nbounds 3", "", kData, 3, 0},
    {"bounds", "const.pri 4\nbounds 3", "", kData, 0x5A5A5A5A, AMX_ERR_BOUNDS},
    {"bounds", "const.pri -1\nbounds 3", "", kData, 0x5A5A5A5A, AMX_ERR_BOUNDS},
    {"sysreq.c", "push.c 77\npush.c 4\nsysreq.c ident\nstack 8", "", kData, 77, 0},
    {"sysreq.pri", "push.c 78\npush.c 4\nconst.pri 1\nsysreq.pri\nstack 8", "", kData, 78, 0},
    {"file", "file 0, \"a.sma\"\nconst.pri 3", "", kData, 3, 0},
    {"line", "line 12, 0\nconst.pri 4", "", kData, 4, 0},
    {"symbol", "symbol 8, 0x101, \"x\"\nconst.pri 5", "", kData, 5, 0},
    {"srange", "srange 1, 10\nconst.pri 6", "", kData, 6, 0},
    {"switch casetbl",
     "const.pri 3\nswitch t\nc1:\nconst.pri 10\nretn\nc3:\nconst.pri 30\nretn\nd:\nconst.pri 99\nretn\n"
     "t:\ncasetbl d\ncase 1, c1\ncase 3, c3",
     "", kData, 30, 0},
    {"switch", "const.pri 2\nswitch t\nc1:\nconst.pri 10\nretn\nd:\nconst.pri 99\nretn\nt:\ncasetbl d\ncase 1, c1", "",
     kData, 99, 0},
    {"casetbl", "jump t\nt:\ncasetbl t", "", kData, 0x5A5A5A5A, AMX_ERR_INVINSTR},
    {"swap.pri", "push.c 5\nconst.pri 6\nswap.pri\npop.alt\nsmul.c 10\nadd", "", kData, 56, 0},
    {"swap.alt", "push.c 5\nconst.alt 6\nswap.alt\npop.pri\nsmul.c 10\nadd", "", kData, 65, 0},
    {"push.adr", "push.adr -8\nlctrl 5\npop.alt\nsub.alt", "", kData, -8, 0},
};

// The twelve conditional jumps, each on values that separate signed from unsigned compares.
struct JumpCase
{
    const char * szOp;
    cell pri, alt;
    bool bTaken;
};
const JumpCase s_aJumps[] = {
    {"jzer", 0, 0, true},    {"jzer", 1, 0, false},    {"jnz", 1, 0, true},     {"jnz", 0, 0, false},
    {"jeq", 3, 3, true},     {"jeq", 3, 4, false},     {"jneq", 3, 4, true},    {"jneq", 3, 3, false},
    {"jless", 1, -1, true},  {"jless", -1, 1, false},  {"jleq", 1, 1, true},    {"jleq", -1, 1, false},
    {"jgrtr", -1, 1, true},  {"jgrtr", 1, -1, false},  {"jgeq", 1, 1, true},    {"jgeq", 1, -1, false},
    {"jsless", -1, 1, true}, {"jsless", 1, -1, false}, {"jsleq", 1, 1, true},   {"jsleq", 1, -1, false},
    {"jsgrtr", 1, -1, true}, {"jsgrtr", -1, 1, false}, {"jsgeq", -1, -1, true}, {"jsgeq", -1, 1, false},
};
} // namespace

TEST(amx_Exec, EveryOpcodeCase)
{
    for (const OpCase & c : s_aCases)
    {
        SCOPED_TRACE(std::string(c.szOpcodes) + ": " + c.szBody);
        Result r = run(program(c.szBody, c.szExtra, c.szData));
        ASSERT_EQ(r.init, AMX_ERR_NONE);
        EXPECT_EQ(r.exec, c.err);
        EXPECT_EQ(r.ret, c.expected);
    }
}

TEST(amx_Exec, ConditionalJumps)
{
    for (const JumpCase & j : s_aJumps)
    {
        SCOPED_TRACE(std::string(j.szOp) + " " + std::to_string(j.pri) + " " + std::to_string(j.alt));
        std::string body = "const.pri " + std::to_string(j.pri) + "\nconst.alt " + std::to_string(j.alt) + "\n" +
                           j.szOp + " yes\nconst.pri 0\nretn\nyes:\nconst.pri 1";
        Result r = run(program(body));
        EXPECT_EQ(r.exec, AMX_ERR_NONE);
        EXPECT_EQ(r.ret, j.bTaken ? 1 : 0);
    }
}

// Every opcode 1 to 133 has a case above that checks its effect.
TEST(amx_Exec, CasesCoverEveryOpcode)
{
    std::set<int> covered;
    for (const OpCase & c : s_aCases)
    {
        std::string all = std::string(c.szBody) + "\n" + c.szExtra;
        size_t b = 0;
        while (b < all.size())
        {
            size_t e = all.find('\n', b);
            if (e == std::string::npos)
                e = all.size();
            std::string line = all.substr(b, e - b);
            std::string word = line.substr(0, line.find(' '));
            if (int op = qoru_amxOpcode(word))
                covered.insert(op);
            b = e + 1;
        }
    }
    for (const JumpCase & j : s_aJumps)
        covered.insert(qoru_amxOpcode(j.szOp));
    covered.insert(OP_PROC);
    covered.insert(OP_RETN);
    for (int op = 1; op <= AMX_NUM_OPCODES; op++)
        EXPECT_TRUE(covered.count(op)) << "no case runs " << amx_opnames[op];
}

// ---------------------------------------------------------------------------------------------
// Whole programs

TEST(amx_Exec, RecursiveFunction)
{
    std::string text = std::string(kDecl) + R"(
.code
main:
    proc
    load.s.pri 12       ; n, the first argument
    push.pri
    push.c     4
    call       fact
    retn
fact:
    proc
    load.s.pri 12
    const.alt  1
    jsgrtr     recurse
    const.pri  1
    retn
recurse:
    add.c      -1
    push.pri
    push.c     4
    call       fact
    load.s.alt 12
    smul
    retn
)";
    Result r = run(text, {10});
    EXPECT_EQ(r.exec, AMX_ERR_NONE);
    EXPECT_EQ(r.ret, 3628800);
    r = run(text, {12});
    EXPECT_EQ(r.ret, 479001600);
}

TEST(amx_Exec, LoopOverAnArrayCallsANativePerElement)
{
    std::string text = std::string(kDecl) + R"(
.code
main:
    proc
    push.c     0                ; local k at frm-4
next:
    load.s.pri -4
    bounds     4
    const.alt  values
    lidx
    push.pri
    push.c     4
    sysreq.c   print
    stack      8
    inc.s      -4
    load.s.pri -4
    eq.c.pri   5
    jzer       next
    load.s.pri -4
    stack      4
    retn
.data
values: .cell 3, -1, 4, 1, -5
)";
    Result r = run(text);
    EXPECT_EQ(r.exec, AMX_ERR_NONE);
    EXPECT_EQ(r.ret, 5);
    EXPECT_EQ(s_printed, (std::vector<cell>{3, -1, 4, 1, -5}));
}

TEST(amx_Exec, SwitchInAPublicFunctionWithArguments)
{
    std::string text = std::string(kDecl) + R"(
.public classify
.public second
.code
classify:
    proc
    load.s.pri 12
    switch     table
one:
    const.pri  100
    retn
three:
    const.pri  300
    retn
other:
    load.s.pri 16               ; the second argument
    retn
table:
    casetbl    other
    case       1, one
    case       3, three
second:
    proc
    load.s.pri 8                ; argument bytes
    retn
)";
    EXPECT_EQ(run(text, {1, 0}, 0).ret, 100);
    EXPECT_EQ(run(text, {3, 0}, 0).ret, 300);
    EXPECT_EQ(run(text, {4, -9}, 0).ret, -9);
    EXPECT_EQ(run(text, {1, 2, 3}, 1).ret, 12);
    Result r = run(text, {}, AMX_EXEC_MAIN);
    EXPECT_EQ(r.exec, AMX_ERR_INDEX); // no main
    EXPECT_EQ(run(text, {}, 2).exec, AMX_ERR_INDEX);
    EXPECT_EQ(run(text, {}, -2).exec, AMX_ERR_INDEX);
}

TEST(amx_Exec, CompactImageRunsLikeThePlainOne)
{
    std::string text = program("load.pri x\nadd.c -100000\nmove.alt\nconst.pri big\nload.i\nadd", "",
                               "x: .cell 42\nbig: .cell -1, 0x7FFFFFFF, 0x80000000, -64, 63, 64, 0");
    Result a = run(text);
    Result b = run(text, {}, AMX_EXEC_MAIN, 1000000, true);
    EXPECT_EQ(a.exec, AMX_ERR_NONE);
    EXPECT_EQ(b.exec, AMX_ERR_NONE);
    EXPECT_EQ(a.ret, b.ret);
}

// ---------------------------------------------------------------------------------------------
// Natives

TEST(amx_Native, ParamsHoldTheByteCountThenTheArgumentsInSourceOrder)
{
    Result r = run(program("push.c 3\npush.c 2\npush.c 1\npush.c 12\nsysreq.c count\nstack 16"));
    EXPECT_EQ(r.ret, 12);
    std::string text = std::string(kDecl) + ".native second\n" +
                       ".code\nmain:\nproc\npush.c 3\npush.c 2\npush.c 1\npush.c 12\nsysreq.c second\nstack 16\nretn\n";
    Machine m(assemble(text));
    ASSERT_EQ(m.init(), 0);
    static cell s_args[4];
    AMX_NATIVE_INFO extra[] = {{"second",
                                [](AMX *, cell * params) -> cell {
                                    memcpy(s_args, params, sizeof s_args);
                                    return params[2];
                                }},
                               {nullptr, nullptr}};
    amx_Register(&m.amx, s_aNatives, -1);
    ASSERT_EQ(amx_Register(&m.amx, extra, -1), 0);
    cell ret;
    ASSERT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), 0);
    EXPECT_EQ(ret, 2);
    EXPECT_EQ(s_args[0], 12);
    EXPECT_EQ(s_args[1], 1);
    EXPECT_EQ(s_args[3], 3);
}

TEST(amx_Native, SysreqSavesTheRegistersFirst)
{
    Machine m(assemble(program("heap 8\npush.c 0\nsysreq.c regs\nstack 4\nheap -8")));
    ASSERT_EQ(m.init(), 0);
    ASSERT_EQ(amx_Register(&m.amx, s_aNatives, -1), 0);
    cell hea0 = m.amx.hea, stp = m.amx.stp;
    cell ret;
    ASSERT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), 0);
    EXPECT_EQ(s_seen.hea, hea0 + 8);
    EXPECT_EQ(s_seen.frm, stp - 12);      // zero return address, count, then frm pushed by proc
    EXPECT_EQ(s_seen.stk, stp - 16);      // one cell below the frame
    EXPECT_EQ(s_seen.cip, 4 + 8 + 8 + 8); // after proc, heap, push.c and sysreq.c's operand
    EXPECT_EQ(m.amx.stk, stp);            // restored
    EXPECT_EQ(m.amx.hea, hea0);
}

TEST(amx_Native, ANativeErrorEndsTheScriptWithItsCodeAndRestoresTheStack)
{
    Machine m(assemble(program("push.c 1\npush.c 0\nsysreq.c fail\nconst.pri 5")));
    ASSERT_EQ(m.init(), 0);
    ASSERT_EQ(amx_Register(&m.amx, s_aNatives, -1), 0);
    cell stk = m.amx.stk;
    cell ret = 0;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_NATIVE);
    EXPECT_EQ(m.amx.stk, stk);
}

TEST(amx_Register, AnUnboundRecordGives19WhileTheOthersAreBound)
{
    std::string text = std::string(kDecl) + ".native missing\n.code\nmain:\nproc\npush.c 5\npush.c 4\nsysreq.c ident\n"
                                            "stack 8\nretn\n";
    Machine m(assemble(text));
    ASSERT_EQ(m.init(), 0);
    EXPECT_EQ(amx_Register(&m.amx, s_aNatives, -1), AMX_ERR_NOTFOUND);
    EXPECT_EQ(m.amx.natives[1], &n_ident);
    EXPECT_EQ(m.amx.natives[5], nullptr);
    // a later list binds the rest; the records bound before are kept
    AMX_NATIVE_INFO more[] = {{"missing", n_fail}, {"ident", n_fail}, {nullptr, nullptr}};
    EXPECT_EQ(amx_Register(&m.amx, more, -1), 0);
    EXPECT_EQ(m.amx.natives[1], &n_ident);
    cell ret;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), 0);
    EXPECT_EQ(ret, 5);
}

TEST(amx_Register, NumberLimitsTheEntriesSearchedAndNamesCompareExactly)
{
    Machine m(assemble(".native ident\n.native print\n.code\nmain:\nproc\nretn\n"));
    ASSERT_EQ(m.init(), 0);
    AMX_NATIVE_INFO list[] = {{"print", n_print}, {"IDENT", n_ident}, {"ident", n_ident}};
    EXPECT_EQ(amx_Register(&m.amx, list, 2), AMX_ERR_NOTFOUND); // "IDENT" is not "ident"
    EXPECT_EQ(m.amx.natives[1], &n_print);
    EXPECT_EQ(amx_Register(&m.amx, list, 3), 0);
}

TEST(amx_Register, AnUnboundNativeCalledAnywayGives19)
{
    Result r = run(".native nowhere\n.code\nmain:\nproc\npush.c 0\nsysreq.c nowhere\nretn\n");
    EXPECT_EQ(r.reg, AMX_ERR_NOTFOUND);
    EXPECT_EQ(r.exec, AMX_ERR_NOTFOUND);
}

TEST(amx_Native, ABadArgumentBlockIsRefusedBeforeTheCall)
{
    // a negative byte count, a count running past the stack top, an unaligned stack
    EXPECT_EQ(run(program("push.c -4\nsysreq.c count")).exec, AMX_ERR_PARAMS);
    EXPECT_EQ(run(program("push.c 4000\nsysreq.c count")).exec, AMX_ERR_PARAMS);
    EXPECT_EQ(run(program("push.c 0\npush.c 0\nlctrl 4\nadd.c 2\nsctrl 4\nsysreq.c count")).exec, AMX_ERR_PARAMS);
    // a native index outside the table
    EXPECT_EQ(run(program("push.c 0\nconst.pri 5\nsysreq.pri")).exec, AMX_ERR_NOTFOUND);
    EXPECT_EQ(run(program("push.c 0\nconst.pri -1\nsysreq.pri")).exec, AMX_ERR_NOTFOUND);
}

// ---------------------------------------------------------------------------------------------
// Memory: every access stays in the data section

TEST(amx_Exec, LoadIInTheGapBetweenHeapAndStackGives5)
{
    // heap top + 8 lies in the free gap
    EXPECT_EQ(run(program("lctrl 2\nadd.c 8\nload.i")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 2\nadd.c 8\nlodb.i 1")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 2\nadd.c 8\nmove.alt\nstor.i")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 2\nadd.c 8\nmove.alt\nstrb.i 1")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 2\nadd.c 8\nmove.alt\nzero.pri\nlidx")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 2\nadd.c 8\nmove.alt\nzero.pri\nlidx.b 2")).exec, AMX_ERR_MEMACCESS);
    // at the stack top (the sentinel) and above
    EXPECT_EQ(run(program("lctrl 3\nload.i")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 3\nadd.c -2\nlodb.i 4")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 3\nadd.c -1\nlodb.i 2")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("lctrl 3\nadd.c -1\nmove.alt\nstrb.i 2")).exec, AMX_ERR_MEMACCESS);
    // the heap itself, below the gap, is fine
    EXPECT_EQ(run(program("heap 4\nmove.pri\nload.i\nheap -4")).exec, AMX_ERR_NONE);
}

TEST(amx_Exec, EveryOtherMemoryAccessOutsideTheDataGives5)
{
    const char * const bodies[] = {
        "load.pri -4",
        "load.pri 0x7FFFFFF0",
        "load.alt 1000000",
        "load.s.pri 1000000",
        "load.s.alt -1000000",
        "lref.pri 1000000",
        "lref.pri bad",
        "lref.alt bad",
        "lref.s.pri 1000000",
        "push bad\nlref.s.pri -4",
        "push bad\nlref.s.alt -4",
        "stor.pri -4",
        "stor.alt 1000000",
        "stor.s.pri 1000000",
        "stor.s.alt -1000000",
        "sref.pri bad",
        "sref.alt -4",
        "push bad\nsref.s.pri -4",
        "push bad\nsref.s.alt -4",
        "sref.s.pri 1000000",
        "const.pri -4\nload.i",
        "const.alt -8\nstor.i",
        "push 1000000",
        "push.s 1000000",
        "zero -4",
        "zero.s 1000000",
        "inc 1000000",
        "inc.s -1000000",
        "dec -4",
        "dec.s 1000000",
        "const.pri -4\ninc.i",
        "const.pri 1000000\ndec.i",
        "const.pri 0\nconst.alt -4\nmovs 8",
        "const.pri -4\nconst.alt 0\nmovs 8",
        "zero.pri\nzero.alt\nmovs 1000000",
        "zero.pri\nzero.alt\nmovs -4",
        "const.pri -4\nconst.alt 0\ncmps 8",
        "zero.pri\nzero.alt\ncmps 1000000",
        "const.alt -4\nfill 8",
        "zero.alt\nfill 1000000",
    };
    for (const char * b : bodies)
    {
        SCOPED_TRACE(b);
        EXPECT_EQ(run(program(b, "", "bad: .cell -4")).exec, AMX_ERR_MEMACCESS);
    }
}

TEST(amx_Exec, StackAndHeapMargins)
{
    // No data: heap top 0; stack top 16380; main's frame at 16368 (count, return address, frm).
    // STACK: a stack pointer less than 64 bytes above the heap top gives 3, above the top 7.
    EXPECT_EQ(run(program("stack -16304\nstack 16304")).exec, AMX_ERR_NONE);
    EXPECT_EQ(run(program("stack -16308")).exec, AMX_ERR_STACKERR);
    EXPECT_EQ(run(program("stack 12\nstack -12")).exec, AMX_ERR_NONE);
    EXPECT_EQ(run(program("stack 16")).exec, AMX_ERR_STACKLOW);
    EXPECT_EQ(run(program("stack 0x7FFFFFFF")).exec, AMX_ERR_STACKLOW);
    EXPECT_EQ(run(program("stack 0x80000000")).exec, AMX_ERR_STACKERR);
    // HEAP: a heap top less than 64 bytes below the stack pointer gives 3, a negative one 8
    EXPECT_EQ(run(program("heap 16304\nheap -16304")).exec, AMX_ERR_NONE);
    EXPECT_EQ(run(program("heap 16308")).exec, AMX_ERR_STACKERR);
    EXPECT_EQ(run(program("heap -4")).exec, AMX_ERR_HEAPLOW);
    EXPECT_EQ(run(program("heap 0x7FFFFFFF")).exec, AMX_ERR_STACKERR);
    // PROC checks the margin too
    EXPECT_EQ(run(program("heap 16300\nproc\nstack 4\nheap -16300")).exec, AMX_ERR_NONE);
    EXPECT_EQ(run(program("heap 16304\nproc")).exec, AMX_ERR_STACKERR);
    // pops above the stack top, pushes below the data section
    EXPECT_EQ(run(program("lctrl 3\nsctrl 4\npop.pri")).exec, AMX_ERR_STACKLOW);
    EXPECT_EQ(run(program("zero.pri\nsctrl 4\npush.c 1")).exec, AMX_ERR_STACKERR);
    EXPECT_EQ(run(program("const.pri 64\nsctrl 4\nconst.pri 1\npush.r 1000")).exec, AMX_ERR_STACKERR);
    EXPECT_EQ(run(program("const.pri -4\nsctrl 4\nswap.pri")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("const.pri -4\nsctrl 4\nswap.alt")).exec, AMX_ERR_MEMACCESS);
}

// Found by fuzz_amx: code whose last instruction is not a jump or a return ran on into the data.
TEST(amx_Exec, FallingOffTheEndOfTheCodeGives5)
{
    Result r = run(".code\nmain:\nproc\nconst.pri 1\n.data\n.cell 47\n");
    EXPECT_EQ(r.init, AMX_ERR_NONE);
    EXPECT_EQ(r.exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(".code\nmain:\nproc\nconst.pri 1\njzer 0\n").exec, AMX_ERR_MEMACCESS);
}

TEST(amx_Exec, DeepRecursionStopsAtTheHeap)
{
    Result r = run(program("call f", "f:\nproc\ncall f\nretn"));
    EXPECT_EQ(r.exec, AMX_ERR_STACKERR);
}

TEST(amx_Exec, AnEndlessLoopRunsOutOfItsBudget)
{
    Machine m(assemble(program("top:\njump top")));
    ASSERT_EQ(m.init(), 0);
    m.amx.maxsteps = 5000;
    cell ret;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_EXIT);
    EXPECT_TRUE(m.amx.flags & AMX_FLAG_BUDGET);
    EXPECT_EQ(m.amx.steps, 5000);
    EXPECT_EQ(m.amx.cip, 4); // the jump
    // the same budget is enough for a finite loop
    Machine n(assemble(program("const.pri 1000\ntop:\ndec.pri\njnz top")));
    ASSERT_EQ(n.init(), 0);
    n.amx.maxsteps = 5000;
    EXPECT_EQ(amx_Exec(&n.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_NONE);
    EXPECT_FALSE(n.amx.flags & AMX_FLAG_BUDGET);
    EXPECT_EQ(n.amx.steps, 2003);
}

TEST(amx_Exec, JumpsComputedAtRunTimeMustLandOnAnInstruction)
{
    EXPECT_EQ(run(program("const.pri 6\njump.pri")).exec, AMX_ERR_INVINSTR);       // not aligned
    EXPECT_EQ(run(program("const.pri 8\njump.pri")).exec, AMX_ERR_INVINSTR);       // an operand
    EXPECT_EQ(run(program("const.pri 100000\njump.pri")).exec, AMX_ERR_MEMACCESS); // outside the code
    EXPECT_EQ(run(program("const.pri -4\ncall.pri")).exec, AMX_ERR_MEMACCESS);
    EXPECT_EQ(run(program("const.pri 8\nsctrl 6")).exec, AMX_ERR_INVINSTR);
    // a return address overwritten by the script
    EXPECT_EQ(run(program("call f", "f:\nproc\nconst.pri 9\nstor.s.pri 4\nretn")).exec, AMX_ERR_INVINSTR);
    EXPECT_EQ(run(program("call f", "f:\nproc\nconst.pri 99999\nstor.s.pri 4\nret")).exec, AMX_ERR_MEMACCESS);
}

// ---------------------------------------------------------------------------------------------
// amx_Init: headers, compact code, the scan

namespace
{
// A valid image with one field of the header changed.
int initWith(const std::string & headerLine, const std::string & body = "const.pri 1")
{
    Machine m(assemble(program(body) + headerLine + "\n"));
    return m.init();
}
} // namespace

TEST(amx_Init, RefusesBadHeaders)
{
    EXPECT_EQ(initWith(""), AMX_ERR_NONE);
    EXPECT_EQ(initWith(".header amx_version, 5"), AMX_ERR_VERSION);
    EXPECT_EQ(initWith(".header amx_version, -1"), AMX_ERR_NONE); // signed compare
    EXPECT_EQ(initWith(".header defsize, 20"), AMX_ERR_FORMAT);
    EXPECT_EQ(initWith(".flags 1"), AMX_ERR_FORMAT);
    EXPECT_EQ(initWith(".header magic, 0xF1E1"), AMX_ERR_FORMAT);
    EXPECT_EQ(initWith(".header stp, 0"), AMX_ERR_FORMAT);
    EXPECT_EQ(initWith(".header stp, -8"), AMX_ERR_FORMAT);
    EXPECT_EQ(initWith(".header stp, 0x7FFFFFFF"), AMX_ERR_FORMAT);
    // the magic is checked before the version
    EXPECT_EQ(initWith(".header magic, 0\n.header amx_version, 9"), AMX_ERR_FORMAT);
}

TEST(amx_Init, RefusesSectionsAndTablesOutsideTheImage)
{
    const char * const lines[] = {
        ".header cod, 0",
        ".header cod, 52",
        ".header cod, 1000000",
        ".header dat, 0",
        ".header dat, 1000000",
        ".header hea, 0",
        ".header hea, 0x7FFFFF00",
        ".header cod, 58",
        ".header size, 10",
        ".header size, 0x7FFFFFF0",
        ".header num_natives, -1",
        ".header natives, 8",
        ".header natives, 1000000",
        ".header num_publics, 10",
        ".header num_publics, 1\n.header publics, -24",
        ".header num_pubvars, 100",
        ".header num_libraries, 1\n.header libraries, 0x7FFFFFF0",
        ".header cip, 2",
        ".header cip, 100000",
    };
    for (const char * l : lines)
    {
        SCOPED_TRACE(l);
        EXPECT_EQ(initWith(l), AMX_ERR_FORMAT);
    }
    // no main is fine (cip -1)
    EXPECT_EQ(initWith(".header cip, -1"), AMX_ERR_NONE);
}

TEST(amx_Init, RefusesCodeTargetsThatAreNotInstructionStarts)
{
    const char * const bodies[] = {
        "jump 2",
        "jump 8",
        "jump 100000",
        "jump -4",
        "call 10",
        "jzer 1000",
        "jsgeq 8",
        "jrel 2",
        "jrel -100",
        "jrel 100000",
        "switch main",
        "switch 8",
        "sysreq.c 5",
        "sysreq.c -1",
        "jump t\nt:\ncasetbl 8",
        "jump t\nt:\ncasetbl main\ncase 1, 3",
    };
    for (const char * b : bodies)
    {
        SCOPED_TRACE(b);
        EXPECT_EQ(initWith("", b), AMX_ERR_FORMAT);
    }
    EXPECT_EQ(initWith("", "jrel 8\nconst.pri 1"), AMX_ERR_NONE); // skips the next instruction (8 bytes)
}

TEST(amx_Init, RefusesInstructionsRunningPastTheCode)
{
    // an operand beyond the code end, a casetbl or file larger than the code, bad file sizes
    const char * const texts[] = {
        ".code\nmain:\n.cell 1",            // load.pri without its operand
        ".code\nmain:\n.cell 130, 1000, 0", // casetbl with 1000 cases
        ".code\nmain:\n.cell 130, -1, 0",
        ".code\nmain:\n.cell 124, 1000, 0",                    // file, size past the end
        ".code\nmain:\n.cell 124, 2, 0\n.cell 47",             // size not a multiple of 4
        ".code\nmain:\n.cell 124, 0\n.cell 47",                // no ordinal
        ".code\nmain:\n.cell 124, 8, 0, 0x41414141\n.cell 47", // name without its NUL
        ".code\nmain:\n.cell 126, 8, 0, 0\n.cell 47",          // symbol without a name
        ".code\nmain:\n.cell 125, 1",                          // line without its second operand
    };
    for (const char * t : texts)
    {
        SCOPED_TRACE(t);
        Machine m(assemble(t));
        EXPECT_EQ(m.init(), AMX_ERR_FORMAT);
    }
}

TEST(amx_Init, AnInvalidOpcodeStopsTheScanThenExecGives22)
{
    for (const char * raw : {"0", "134", "-1"})
    {
        SCOPED_TRACE(raw);
        Machine m(assemble(std::string(kDecl) + ".code\nmain:\nproc\n.cell " + raw + "\nretn\n"));
        EXPECT_EQ(m.init(), AMX_ERR_NONE);
        EXPECT_FALSE(m.amx.flags & AMX_FLAG_RELOC);
        EXPECT_EQ(amx_Register(&m.amx, s_aNatives, -1), AMX_ERR_NONE);
        cell ret;
        EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_INIT);
    }
}

TEST(amx_Init, SentinelAndRegisters)
{
    Machine m(assemble(program("lctrl 3", "", "x: .cell 1, 2")));
    AMX_HEADER before = m.header();
    memset(m.image() + before.stp - 4, 0xEE, 4);
    ASSERT_EQ(m.init(), 0);
    AMX_HEADER after = m.header();
    EXPECT_EQ(after.stp, before.stp - 4);
    cell sentinel;
    memcpy(&sentinel, m.image() + after.stp, 4);
    EXPECT_EQ(sentinel, 0);
    EXPECT_EQ(m.amx.hea, before.hea - before.dat);
    EXPECT_EQ(m.amx.stp, after.stp - before.dat);
    EXPECT_EQ(m.amx.stk, m.amx.stp);
    EXPECT_EQ(m.amx.flags, AMX_FLAG_BROWSE | AMX_FLAG_RELOC);
    EXPECT_NE(m.amx.callback, nullptr);
    ASSERT_NE(m.amx.debug, nullptr);
    EXPECT_EQ(m.amx.debug(&m.amx), AMX_ERR_DEBUG);
    amx_Register(&m.amx, s_aNatives, -1);
    cell ret;
    ASSERT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), 0);
    EXPECT_EQ(ret, m.amx.stp);
    EXPECT_EQ(m.amx.flags, AMX_FLAG_RELOC);
    // the image cannot be initialised twice on the same record
    EXPECT_EQ(amx_Init(&m.amx, m.image()), AMX_ERR_INIT);
}

TEST(amx_Init, LctrlGivesTheHeaderOffsets)
{
    Machine m(assemble(program("lctrl 0\nmove.alt\nlctrl 1\nsub")));
    ASSERT_EQ(m.init(), 0);
    AMX_HEADER h = m.header();
    cell ret;
    ASSERT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), 0);
    EXPECT_EQ(ret, h.dat - h.cod);
}

TEST(amx_Init, CompactCodeExpandsToExactlyHeaMinusCod)
{
    std::string text = program("load.pri neg\nconst.alt 0x7FFFFFFF\nadd", "",
                               "neg: .cell -5\nmore: .cell -1, -64, -65, 63, 64, 0x80000000, 0x12345678");
    std::vector<unsigned char> plain = assemble(text);
    std::vector<unsigned char> compact = assemble(text, true);
    ASSERT_LT(compact.size(), plain.size());
    Machine mp(plain), mc(compact);
    ASSERT_EQ(mp.init(), 0);
    ASSERT_EQ(mc.init(), 0);
    AMX_HEADER h = mp.header();
    EXPECT_EQ(memcmp(mp.image() + h.cod, mc.image() + h.cod, (size_t)(h.hea - h.cod)), 0);
    cell neg;
    memcpy(&neg, mc.image() + h.dat, 4);
    EXPECT_EQ(neg, -5);
}

TEST(amx_Init, CompactGroupWithBit40SetGivesANegativeCell)
{
    // hand-made: code = one "halt 0" (0x78, 0), data = one cell from the group 0x7F (-1) and
    // one from 0x40 (-64), and 0x81 0x00 (128)
    std::vector<unsigned char> img = assemble(".code\nmain:\nhalt 0\n.data\n.cell 0, 0, 0\n");
    AMX_HEADER h;
    amx_ReadHeader(img.data(), &h);
    img.resize((size_t)h.cod);
    const unsigned char groups[] = {0x80, 0x78, 0, 0x7F, 0x40, 0x81, 0x00};
    img.insert(img.end(), groups, groups + sizeof groups);
    h.flags |= AMX_FLAG_COMPACT;
    h.size = (int32_t)img.size();
    amx_WriteHeader(img.data(), &h);
    Machine m(img);
    ASSERT_EQ(m.init(), 0);
    cell c[3];
    memcpy(c, m.image() + h.dat, sizeof c);
    EXPECT_EQ(c[0], -1);
    EXPECT_EQ(c[1], -64);
    EXPECT_EQ(c[2], 128);
}

TEST(amx_Init, MalformedCompactCodeIsRefused)
{
    std::vector<unsigned char> img = assemble(".code\nmain:\nhalt 0\n.data\n.cell 0\n");
    AMX_HEADER h;
    amx_ReadHeader(img.data(), &h);
    auto with = [&](std::vector<unsigned char> groups) {
        std::vector<unsigned char> i(img.begin(), img.begin() + h.cod);
        i.insert(i.end(), groups.begin(), groups.end());
        AMX_HEADER k = h;
        k.flags |= AMX_FLAG_COMPACT;
        k.size = (int32_t)i.size();
        amx_WriteHeader(i.data(), &k);
        Machine m(i);
        return m.init();
    };
    // halt (120) needs two bytes: 0x78 alone has bit 0x40 and would read as -8
    EXPECT_EQ(with({0x80, 0x78, 0, 5}), AMX_ERR_NONE);
    EXPECT_EQ(with({0x80, 0x78, 0}), AMX_ERR_FORMAT);                                  // one cell short
    EXPECT_EQ(with({0x80, 0x78, 0, 5, 6}), AMX_ERR_FORMAT);                            // one cell too many
    EXPECT_EQ(with({0x80, 0x78, 0, 0x81, 0x81, 0x81, 0x81, 0x81, 1}), AMX_ERR_FORMAT); // a six-byte group
}

TEST(amx_Init, DebugHookIsCalledOnceAndDebugOpcodesRecordTheirOperands)
{
    std::string text = program("file 3, \"a.sma\"\nline 12, 3\nsymbol 8, 0x101, \"count\"\nsrange 1, 10\nconst.pri 1");
    static int s_nCalls;
    static int s_aCodes[16];
    s_nCalls = 0;
    {
        Machine m(assemble(text));
        m.amx.debug = [](AMX * amx) -> int {
            if (s_nCalls < 16)
                s_aCodes[s_nCalls] = amx->dbgcode;
            s_nCalls++;
            return AMX_ERR_NONE; // debugging on
        };
        ASSERT_EQ(m.init(), 0);
        EXPECT_TRUE(m.amx.flags & AMX_FLAG_DEBUG);
        EXPECT_EQ(s_nCalls, 5); // init, then file, line, symbol, srange during the scan
        EXPECT_EQ(s_aCodes[0], DBG_INIT);
        EXPECT_EQ(s_aCodes[1], DBG_FILE);
        EXPECT_EQ(s_aCodes[4], DBG_SRANGE);
    }
    Machine m(assemble(text));
    ASSERT_EQ(m.init(), 0);
    EXPECT_FALSE(m.amx.flags & AMX_FLAG_DEBUG);
    cell ret;
    ASSERT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), 0);
    EXPECT_EQ(m.amx.curline, 12);
    EXPECT_EQ(m.amx.curfile, 3);
    EXPECT_EQ(m.amx.dbgaddr, 1); // srange overwrote symbol's address
    EXPECT_EQ(m.amx.dbgparam, 10);
    ASSERT_NE(m.amx.dbgname, nullptr);
    EXPECT_STREQ(m.amx.dbgname, "count");
}

// ---------------------------------------------------------------------------------------------
// amx_Exec entry checks

TEST(amx_Exec, EntryChecks)
{
    Machine m(assemble(program("const.pri 1")));
    cell ret;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_CALLBACK); // before amx_Init: no dispatcher
    m.amx.callback = amx_Callback;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_INIT);
    m.amx.callback = nullptr;
    ASSERT_EQ(m.init(), 0);
    AMX_CALLBACK cb = m.amx.callback;
    m.amx.callback = nullptr;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_CALLBACK);
    m.amx.callback = cb;
    m.amx.stk = m.amx.stp + 4;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_STACKLOW);
    m.amx.stk = m.amx.stp;
    m.amx.hea = -4;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_HEAPLOW);
    // the two pushed cells (count, return address) must stay 64 bytes above the heap, and
    // main's proc one more cell
    m.amx.hea = m.amx.stp - 68;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_STACKERR);
    m.amx.hea = m.amx.stp - 76;
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 0), AMX_ERR_NONE);
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, 2, (cell)5, (cell)6), AMX_ERR_STACKERR);
    EXPECT_EQ(amx_Exec(&m.amx, nullptr, AMX_EXEC_MAIN, 0), AMX_ERR_NONE); // null result pointer
    EXPECT_EQ(amx_Exec(&m.amx, &ret, AMX_EXEC_MAIN, -1), AMX_ERR_PARAMS);
}

TEST(amx_Exec, ArgumentsArePushedFirstAtTheLowestAddress)
{
    Machine m(assemble(".public f\n.code\nf:\nproc\nload.s.pri 12\nsmul.c 10\nload.s.alt 16\nadd\nsmul.c 10\n"
                       "load.s.alt 20\nadd\nretn\n"));
    ASSERT_EQ(m.init(), 0);
    cell ret;
    ASSERT_EQ(amx_Exec(&m.amx, &ret, 0, 3, (cell)1, (cell)2, (cell)3), 0);
    EXPECT_EQ(ret, 123);
}

// ---------------------------------------------------------------------------------------------
// Strings and addresses

TEST(amx_ReadString, PackedAndUnpacked)
{
    char sz[64];
    const cell packed[] = {0x61626364, 0};
    amx_ReadString(sz, packed);
    EXPECT_STREQ(sz, "abcd");
    const cell packed2[] = {0x41424300};
    amx_ReadString(sz, packed2);
    EXPECT_STREQ(sz, "ABC");
    const cell unpacked[] = {'h', 'i', 0};
    amx_ReadString(sz, unpacked);
    EXPECT_STREQ(sz, "hi");
    const cell negative[] = {-191, 'x', 0}; // signed compare: unpacked, low byte 0x41
    amx_ReadString(sz, negative);
    EXPECT_STREQ(sz, "Ax");
    const cell empty[] = {0};
    amx_ReadString(sz, empty);
    EXPECT_STREQ(sz, "");
    // the bounded variant cuts and terminates
    amx_ReadStringN(sz, packed, 3);
    EXPECT_STREQ(sz, "ab");
    amx_ReadStringN(sz, unpacked, 2);
    EXPECT_STREQ(sz, "h");
}

TEST(amx_AddrToPtr, RefusesTheGapTheStackTopAndNegativeAddresses)
{
    Machine m(assemble(program("const.pri 1", "", "x: .cell 7")));
    ASSERT_EQ(m.init(), 0);
    cell * p = nullptr;
    ASSERT_EQ(amx_AddrToPtr(&m.amx, 0, &p), 0);
    EXPECT_EQ(*p, 7);
    m.amx.stk = m.amx.stp - 16;
    EXPECT_EQ(amx_AddrToPtr(&m.amx, m.amx.hea, &p), AMX_ERR_MEMACCESS);
    EXPECT_EQ(amx_AddrToPtr(&m.amx, m.amx.stk - 4, &p), AMX_ERR_MEMACCESS);
    EXPECT_EQ(amx_AddrToPtr(&m.amx, m.amx.stk, &p), 0);
    EXPECT_EQ(amx_AddrToPtr(&m.amx, m.amx.stp, &p), AMX_ERR_MEMACCESS);
    EXPECT_EQ(amx_AddrToPtr(&m.amx, -4, &p), AMX_ERR_MEMACCESS);
}

TEST(amx_Error, NameTable)
{
    EXPECT_STREQ(amx_ErrorText(AMX_ERR_DIVIDE), "AMX_ERR_DIVIDE,       /* divide by zero */");
    EXPECT_STREQ(amx_ErrorText(AMX_ERR_MEMORY), "AMX_ERR_MEMORY = 16,  /* out of memory */");
    EXPECT_STREQ(amx_ErrorText(AMX_ERR_NOTFOUND), "AMX_ERR_NOTFOUND,     /* function not found */");
    EXPECT_STREQ(amx_ErrorText(13), "AMX_ERR_UNKNOWN");
    EXPECT_STREQ(amx_ErrorText(26), "AMX_ERR_UNKNOWN");
    EXPECT_STREQ(amx_ErrorText(-1), "AMX_ERR_UNKNOWN");
    EXPECT_STREQ(amx_ErrorName(AMX_ERR_INIT_JIT), "AMX_ERR_INIT_JIT");
    EXPECT_STREQ(amx_ErrorName(15), "AMX_ERR_UNKNOWN");
}

// ----- images written byte by byte
//
// The assembler above takes its opcode numbers and operand counts from the machine's own
// table, so an error in that table would pass every test that assembles. These images are
// written here by hand from the published file format and opcode numbering instead.

namespace
{
void put32(std::vector<unsigned char> & v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = (unsigned char)(x >> (8 * i));
}
void put16(std::vector<unsigned char> & v, size_t at, uint16_t x)
{
    v[at] = (unsigned char)x;
    v[at + 1] = (unsigned char)(x >> 8);
}

// A file: the 56-byte header, one native record per name (24 bytes: address 0, name padded
// to 20), the code cells (main at code offset 0), no data; 4096 bytes of heap and stack.
std::vector<unsigned char> handImage(const std::vector<const char *> & natives, const std::vector<int32_t> & code)
{
    const uint32_t nNat = (uint32_t)natives.size();
    const uint32_t tables = 56, cod = tables + 24 * nNat, dat = cod + 4 * (uint32_t)code.size();
    std::vector<unsigned char> v(dat, 0);
    put32(v, 0, dat);             // size of the file
    put16(v, 4, 0xF1E0);          // magic
    v[6] = 4;                     // file version
    v[7] = 4;                     // machine version needed
    put16(v, 8, 0);               // flags
    put16(v, 10, 24);             // record size
    put32(v, 12, cod);            // code section
    put32(v, 16, dat);            // data section
    put32(v, 20, dat);            // heap starts right after the (empty) data
    put32(v, 24, dat + 4096);     // stack top
    put32(v, 28, 0);              // main at code offset 0
    put16(v, 32, 0);              // publics: none
    put32(v, 34, tables);
    put16(v, 38, (uint16_t)nNat); // natives
    put32(v, 40, tables);
    put16(v, 44, 0);              // libraries
    put32(v, 46, cod);
    put16(v, 50, 0);              // public variables
    put32(v, 52, cod);
    for (uint32_t i = 0; i < nNat; ++i)
        std::strncpy(reinterpret_cast<char *>(&v[tables + 24 * i + 4]), natives[i], 19);
    for (size_t i = 0; i < code.size(); ++i)
        put32(v, cod + 4 * i, (uint32_t)code[i]);
    return v;
}

// Opcode numbers of the Small abstract machine, written out by hand.
enum : int32_t
{
    kConstPri = 11,
    kConstAlt = 12,
    kMovePri = 33,
    kPushC = 39,
    kPopPri = 42,
    kStack = 44,
    kProc = 46,
    kRetn = 48,
    kJump = 51,
    kJzer = 53,
    kJsless = 61,
    kSmul = 72,
    kSdiv = 73,
    kAdd = 78,
    kSub = 79,
    kAddC = 87,
    kSmulC = 88,
    kIncPri = 107,
    kHalt = 120,
    kSysreqC = 123,
    kPushAdr = 133, // the last opcode
};
} // namespace

TEST(AmxHandImages, ProgramsWrittenByteByByteGiveTheirResults)
{
    struct Case
    {
        const char * szName;
        std::vector<int32_t> code;
        int exec;
        cell ret;
        std::vector<cell> printed;
    } aCase[] = {
        // 6 * 7 + 100.
        {"arithmetic", {kProc, kConstPri, 6, kConstAlt, 7, kSmul, kAddC, 100, kRetn}, AMX_ERR_NONE, 142, {}},
        // -7 / 2 rounds down: quotient -4 in pri, remainder 1 in alt; then pri * 10 + alt.
        {"signed division", {kProc, kConstPri, -7, kConstAlt, 2, kSdiv, kSmulC, 10, kAdd, kRetn}, AMX_ERR_NONE, -39,
         {}},
        // SUB is pri = pri - alt: 3 - 10.
        {"sub", {kProc, kConstPri, 3, kConstAlt, 10, kSub, kRetn}, AMX_ERR_NONE, -7, {}},
        // MOVE.pri copies alt into pri.
        {"move", {kProc, kConstPri, 3, kConstAlt, 10, kMovePri, kRetn}, AMX_ERR_NONE, 10, {}},
        // print(5), print(9): arguments, byte count, SYSREQ.C native 0, the caller pops 8 bytes.
        {"natives",
         {kProc, kPushC, 5, kPushC, 4, kSysreqC, 0, kStack, 8, kPushC, 9, kPushC, 4, kSysreqC, 0, kStack, 8, kConstPri,
          1, kRetn},
         AMX_ERR_NONE,
         1,
         {5, 9}},
        // pri = 0 ? 2 : 1, then + 1; operands are byte offsets in the code: JZER to cell 9 (36),
        // JUMP to cell 11 (44).
        {"jumps",
         {kProc, kConstPri, 0, kJzer, 36, kConstPri, 1, kJump, 44, kConstPri, 2, kIncPri, kRetn},
         AMX_ERR_NONE,
         3,
         {}},
        // -1 < 2 signed: JSLESS (pri < alt) taken to cell 9 (36), skipping CONST.pri 50.
        {"signed compare", {kProc, kConstPri, -1, kConstAlt, 2, kJsless, 36, kConstPri, 50, kRetn}, AMX_ERR_NONE, -1,
         {}},
        // HALT 1 stores pri and ends with error 1.
        {"halt", {kProc, kConstPri, 77, kHalt, 1, kRetn}, AMX_ERR_EXIT, 77, {}},
    };
    for (const Case & c : aCase)
    {
        SCOPED_TRACE(c.szName);
        Result r = runImage(handImage({"print"}, c.code));
        ASSERT_EQ(r.init, AMX_ERR_NONE);
        EXPECT_EQ(r.reg, AMX_ERR_NONE);
        EXPECT_EQ(r.exec, c.exec);
        EXPECT_EQ(r.ret, c.ret);
        EXPECT_EQ(s_printed, c.printed);
    }
}

TEST(AmxHandImages, AnOpcodeAboveTheLastOneIsRefusedAtInit)
{
    // 134 is one past PUSH.ADR (133): the scan stops, the machine is never marked relocated.
    Result r = runImage(handImage({}, {kProc, 134, kRetn}));
    EXPECT_EQ(r.init, AMX_ERR_NONE);
    EXPECT_EQ(r.exec, AMX_ERR_INIT);
    // 133 itself (PUSH.ADR, one operand) is accepted and runs.
    Result ok = runImage(handImage({}, {kProc, kPushAdr, 0, kPopPri, kConstPri, 4, kRetn}));
    EXPECT_EQ(ok.init, AMX_ERR_NONE);
    EXPECT_EQ(ok.exec, AMX_ERR_NONE);
    EXPECT_EQ(ok.ret, 4);
}
