// qor-amx end to end: the program as built, on the sample programs beside this file and on
// images the tests write.
#include <gtest/gtest.h>

#include "qor_amxasm.h"
#include "qor_testUtil.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
class AmxTool : public ::testing::Test
{
  protected:
    // Runs qor-amx with the arguments in the temp folder; stdout in *pOut, stderr in *pErr.
    int tool(const std::string & args, std::string * pOut = nullptr, std::string * pErr = nullptr)
    {
        std::string errFile = m_dir.file("stderr.txt");
        int rc = qort::runCommand("cd " + m_dir.path() + " && " + m_tool + " " + args + " 2>" + errFile, pOut);
        if (pErr)
            *pErr = qort::readText(errFile);
        return rc;
    }
    std::string program(const std::string & name)
    {
        return qort::sourceDir() + "/tests/tools/qor-amx/programs/" + name;
    }
    // asm then run; the run's stdout.
    std::string asmRun(const std::string & src, const std::string & runArgs = "", int * pRc = nullptr)
    {
        qort::writeText(m_dir.file("p.asm"), src);
        EXPECT_EQ(tool("asm p.asm -o p.o"), 0);
        std::string out;
        int rc = tool("run p.o " + runArgs, &out);
        if (pRc)
            *pRc = rc;
        return out;
    }

    qort::TempDir m_dir;
    // A short timeout of its own: a read that blocks shows as status 124, not as a hung suite.
    std::string m_tool = "timeout 10 " + qort::binDir() + "/qor-amx";
};
} // namespace

TEST_F(AmxTool, RunsTheSamplePrograms)
{
    struct
    {
        const char * szFile;
        const char * szArgs;
        const char * szOut;
    } const cases[] = {
        {"fact.asm", "", "1\n2\n6\n24\n120\n720\nret 3628800\n"},
        {"array.asm", "", "7\nret 7\n"},
        {"switch.asm", "", "three\nret 3\n"},
        {"switch.asm", "--entry 0 -7", "minus seven\nret -7\n"},
        {"switch.asm", "--entry 0 5", "other\nret 5\n"},
        {"floats.asm", "", "1.5\n-0.25\n1\nret 0\n"},
        {"loop.asm", "--entry 0 1000", "ret 145846\n"},
        {"loop.asm", "", "error 20 AMX_ERR_INDEX\n"},
    };
    for (const auto & c : cases)
    {
        SCOPED_TRACE(std::string(c.szFile) + " " + c.szArgs);
        for (const char * szCompact : {"", " --compact"})
        {
            ASSERT_EQ(tool("asm " + program(c.szFile) + " -o p.o" + szCompact), 0);
            std::string out;
            int rc = tool(std::string("run p.o ") + c.szArgs, &out);
            EXPECT_EQ(out, c.szOut);
            EXPECT_EQ(rc, std::string(c.szOut).rfind("error", 0) == 0 ? 1 : 0);
        }
    }
}

TEST_F(AmxTool, ErrorsPrintTheCodeAndTheIdentifier)
{
    int rc;
    EXPECT_EQ(asmRun(".code\nmain:\nproc\nconst.pri 1\nzero.alt\nsdiv\nretn\n", "", &rc), "error 11 AMX_ERR_DIVIDE\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(asmRun(".native nowhere\n.code\nmain:\nproc\nretn\n", "", &rc), "error 19 AMX_ERR_NOTFOUND\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(asmRun(".code\nmain:\nproc\nretn\n.header amx_version, 5\n", "", &rc), "error 18 AMX_ERR_VERSION\n");
    EXPECT_EQ(asmRun(".code\nmain:\nproc\nhalt 13\n", "", &rc), "error 13 AMX_ERR_UNKNOWN\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(asmRun(".code\nmain:\nproc\nhalt 0\n", "", &rc), "ret 0\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(asmRun(".code\nmain:\ntop:\njump top\n", "--steps 1000", &rc),
              "error 1 AMX_ERR_EXIT: the instruction budget of 1000 is used up (an endless loop? --steps N raises "
              "it, --steps 0 lifts it)\n");
    EXPECT_EQ(asmRun(".code\nmain:\nproc\n.cell 0\n", "", &rc), "error 22 AMX_ERR_INIT\n");
    // a file shorter than its declared size
    qort::writeText(m_dir.file("short.o"), std::string(60, '\0'));
    std::string out;
    EXPECT_EQ(tool("run short.o", &out), 1);
    EXPECT_EQ(out, "error 17 AMX_ERR_FORMAT\n");
}

TEST_F(AmxTool, ConsoleNatives)
{
    std::string src = ".native print_str\n.native print_int\n.native print_float\n.code\nmain:\nproc\n"
                      "push.c a\npush.c 4\nsysreq.c print_str\nstack 8\n"
                      "push.c b\npush.c 4\nsysreq.c print_str\nstack 8\n"
                      "push.c -42\npush.c 4\nsysreq.c print_int\nstack 8\n"
                      "push.c 0x40490FDB\npush.c 4\nsysreq.c print_float\nstack 8\n"
                      "const.pri -1\nretn\n"
                      ".data\na: .string \"unpacked text\"\nb: .packed \"packed text!\"\n";
    int rc;
    EXPECT_EQ(asmRun(src, "", &rc), "unpacked text\npacked text!\n-42\n3.14159\nret -1\n");
    EXPECT_EQ(rc, 0);
    // a string address outside the data fails the native
    EXPECT_EQ(asmRun(".native print_str\n.code\nmain:\nproc\npush.c -8\npush.c 4\nsysreq.c print_str\nretn\n", "", &rc),
              "error 10 AMX_ERR_NATIVE\n");
}

TEST_F(AmxTool, DisassemblyAssemblesBackToTheSameImage)
{
    const char * const files[] = {"fact.asm", "array.asm", "switch.asm", "floats.asm", "loop.asm"};
    for (const char * f : files)
    {
        for (const char * szCompact : {"", " --compact"})
        {
            SCOPED_TRACE(std::string(f) + szCompact);
            ASSERT_EQ(tool("asm " + program(f) + " -o a.o" + szCompact), 0);
            std::string listing;
            ASSERT_EQ(tool("dis a.o", &listing), 0);
            EXPECT_EQ(listing.find("; note:"), std::string::npos) << listing;
            qort::writeText(m_dir.file("b.asm"), listing);
            ASSERT_EQ(tool("asm b.asm -o b.o"), 0) << listing;
            EXPECT_EQ(qort::readBytes(m_dir.file("a.o")), qort::readBytes(m_dir.file("b.o")));
        }
    }
}

TEST_F(AmxTool, DisassemblyKeepsOddHeadersRawCellsAndDebugOpcodes)
{
    std::string src = ".native \"odd name\"\n.native plain\n.library lib\n.public pub\n.pubvar v, x\n"
                      ".flags 2\n.file_version 7\n.stack 100\n.code\n"
                      "main:\n    proc\n    file 1, \"x.sma\"\n    line 3, 1\n    symbol 8, 0x101, \"abc\"\n"
                      "    srange 1, 2\n    sysreq.c 0\n    jrel l\n    .cell 47\nl:\n    ret\npub:\n    retn\n"
                      "    .cell 0, 134\n.data\nx: .cell 1, 2\n.header cip, 8\n.header size, 1000\n";
    qort::writeText(m_dir.file("odd.asm"), src);
    ASSERT_EQ(tool("asm odd.asm -o a.o"), 0);
    std::string listing;
    ASSERT_EQ(tool("dis a.o", &listing), 0);
    EXPECT_NE(listing.find(".native \"odd name\""), std::string::npos) << listing;
    EXPECT_NE(listing.find(".header size, 1000"), std::string::npos) << listing;
    EXPECT_NE(listing.find(".main 8"), std::string::npos) << listing;
    EXPECT_NE(listing.find("file       1, \"x.sma\""), std::string::npos) << listing;
    qort::writeText(m_dir.file("b.asm"), listing);
    ASSERT_EQ(tool("asm b.asm -o b.o"), 0) << listing;
    EXPECT_EQ(qort::readBytes(m_dir.file("a.o")), qort::readBytes(m_dir.file("b.o"))) << listing;
}

TEST_F(AmxTool, AssemblerErrorsNameTheLineAndWriteNothing)
{
    qort::writeText(m_dir.file("bad.asm"), ".code\nmain:\n    proc\n    frobnicate 3\n    jump nowhere\n"
                                           "    load.pri\n    case 1, main\nmain:\n    .native "
                                           "a_name_that_is_far_too_long\n    push.c 0x100000000\n");
    std::string err;
    EXPECT_EQ(tool("asm bad.asm -o out.o", nullptr, &err), 1);
    EXPECT_NE(err.find("bad.asm:4: unknown mnemonic 'frobnicate'"), std::string::npos) << err;
    EXPECT_NE(err.find("bad.asm:5: unknown label 'nowhere'"), std::string::npos) << err;
    EXPECT_NE(err.find("bad.asm:6: 'load.pri' takes 1 operand(s)"), std::string::npos) << err;
    EXPECT_NE(err.find("bad.asm:7: 'case' must follow 'casetbl'"), std::string::npos) << err;
    EXPECT_NE(err.find("bad.asm:8: label 'main' defined twice"), std::string::npos) << err;
    EXPECT_NE(err.find("bad.asm:9: name longer than 19 characters"), std::string::npos) << err;
    EXPECT_NE(err.find("bad.asm:10: bad number"), std::string::npos) << err;
    EXPECT_FALSE(qort::fileExists(m_dir.file("out.o")));
    EXPECT_FALSE(qort::fileExists(m_dir.file("out.o.tmp")));
}

TEST_F(AmxTool, UsageErrorsExitTwoAndFailuresOne)
{
    std::string err;
    EXPECT_EQ(tool("", nullptr, &err), 2);
    EXPECT_NE(err.find("usage:"), std::string::npos);
    EXPECT_EQ(tool("frob"), 2);
    EXPECT_EQ(tool("asm"), 2);
    EXPECT_EQ(tool("asm x.asm"), 2);
    EXPECT_EQ(tool("run"), 2);
    EXPECT_EQ(tool("run x.o --entry"), 2);
    EXPECT_EQ(tool("run x.o --max-stp 0"), 2);
    EXPECT_EQ(tool("dis"), 2);
    EXPECT_EQ(tool("--help"), 0);
    EXPECT_EQ(tool("run missing.o", nullptr, &err), 1);
    EXPECT_NE(err.find("missing.o: cannot read the file: No such file"), std::string::npos) << err;
    qort::writeText(m_dir.file("tiny.o"), "abc");
    EXPECT_EQ(tool("dis tiny.o", nullptr, &err), 1);
    EXPECT_NE(err.find("shorter than the 56-byte header"), std::string::npos);
}

// Inputs that are not regular files (a pipe with no writer, a folder, an endless device) are
// refused at once with the reason; none blocks or grows the tool.
TEST_F(AmxTool, NonRegularInputsAreRefusedWithoutBlocking)
{
    const qort::SpecialFiles f(m_dir);
    for (const qort::SpecialFiles::Refusal & in : f.refusals())
    {
        for (const std::string & cmd : {"run " + in.path, "dis " + in.path, "asm " + in.path + " -o out.o"})
        {
            std::string err;
            EXPECT_EQ(tool(cmd, nullptr, &err), 1) << cmd;
            EXPECT_EQ(err, in.path + ": cannot read the file: " + in.why + "\n") << cmd;
        }
    }
    EXPECT_FALSE(qort::fileExists(m_dir.file("out.o")));
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

// An output that exists and is not a regular file is left as it was; so is the input.
TEST_F(AmxTool, OutputsNeverReplaceNonRegularFilesOrTheInput)
{
    const qort::SpecialFiles f(m_dir);
    const std::string src = ".code\nmain:\nproc\nretn\n";
    qort::writeText(m_dir.file("p.asm"), src);
    for (const std::string & out : f.all())
    {
        struct stat before, after;
        ASSERT_EQ(lstat(out.c_str(), &before), 0);
        std::string err;
        EXPECT_EQ(tool("asm p.asm -o " + out, nullptr, &err), 1) << out;
        EXPECT_NE(err.find(out + ": is a "), std::string::npos) << err;
        EXPECT_NE(err.find("not a regular file; not written"), std::string::npos) << err;
        ASSERT_EQ(lstat(out.c_str(), &after), 0);
        EXPECT_EQ(before.st_mode, after.st_mode) << out;
        EXPECT_EQ(before.st_rdev, after.st_rdev) << out;
    }
    std::string err;
    EXPECT_EQ(tool("asm p.asm -o p.asm", nullptr, &err), 1);
    EXPECT_EQ(err, "p.asm: is also an input file; not written over\n");
    EXPECT_EQ(qort::readText(m_dir.file("p.asm")), src);
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

// stp is capped at 64 MiB (67108864 bytes) unless --max-stp raises it: at the cap the image
// runs, one cell past it gives error 16 before the block is allocated.
TEST_F(AmxTool, StpCapIsError16AndMaxStpRaisesIt)
{
    const std::string src = ".code\nmain:\nproc\nconst.pri 7\nretn\n";
    std::string out, err;
    int rc = 0;
    EXPECT_EQ(asmRun(src + ".header stp, 67108864\n", "", &rc), "ret 7\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(asmRun(src + ".header stp, 67108868\n", "", &rc), "error 16 AMX_ERR_MEMORY\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(tool("run p.o", nullptr, &err), 1);
    EXPECT_EQ(err, "p.o: stp 67108868 is above the limit of 67108864 bytes (--max-stp)\n");
    EXPECT_EQ(tool("run p.o --max-stp 67108868", &out), 0);
    EXPECT_EQ(out, "ret 7\n");
    EXPECT_EQ(tool("run p.o --max-stp 67108864", &out), 1);
    EXPECT_EQ(out, "error 16 AMX_ERR_MEMORY\n");
    // A 2 GiB request in a tiny file: refused, nothing allocated (the sanitizer build would
    // report an allocation that size).
    EXPECT_EQ(asmRun(src + ".header stp, 2147483644\n", "", &rc), "error 16 AMX_ERR_MEMORY\n");
    EXPECT_EQ(rc, 1);
}

// The assembler library on its own: the layout the old compiler wrote.
TEST(qor_amxasm, LayoutAndPackedStrings)
{
    std::vector<unsigned char> img;
    std::vector<std::string> errors;
    ASSERT_TRUE(qoru_amxAssemble(".native n\n.public f\n.code\nf:\nretn\n.data\ns: .packed \"abcd\"\nt: .string \"a\"\n"
                                 ".stack 10\n",
                                 "t", false, &img, &errors));
    AMX_HEADER h;
    amx_ReadHeader(img.data(), &h);
    EXPECT_EQ(h.magic, AMX_MAGIC);
    EXPECT_EQ(h.defsize, 24);
    EXPECT_EQ(h.publics, 56);
    EXPECT_EQ(h.natives, 80);
    EXPECT_EQ(h.cod, 104);
    EXPECT_EQ(h.dat, 108);
    EXPECT_EQ(h.hea, 108 + 16);
    EXPECT_EQ(h.stp, 124 + 40);
    EXPECT_EQ(h.size, 124);
    EXPECT_EQ(h.cip, -1);
    EXPECT_EQ(img.size(), 124u);
    // packed: 0x61626364 then a zero cell; unpacked: 'a', 0
    const unsigned char expect[] = {0x64, 0x63, 0x62, 0x61, 0, 0, 0, 0, 'a', 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<unsigned char>(img.begin() + 108, img.end()),
              std::vector<unsigned char>(expect, expect + sizeof expect));
}

TEST(qor_amxasm, CompactEncodingIsTheShortestGroupPerCell)
{
    struct
    {
        cell c;
        std::vector<unsigned char> bytes;
    } const cases[] = {
        {0, {0x00}},
        {63, {0x3F}},
        {64, {0x80, 0x40}},
        {-1, {0x7F}},
        {-64, {0x40}},
        {-65, {0xFF, 0x3F}},
        {120, {0x80, 0x78}},
        {0x7FFFFFFF, {0x87, 0xFF, 0xFF, 0xFF, 0x7F}},
        {INT32_MIN, {0x88, 0x80, 0x80, 0x80, 0x00}},
    };
    for (const auto & c : cases)
    {
        std::vector<unsigned char> out;
        qoru_amxCompactCells(&c.c, 1, &out);
        EXPECT_EQ(out, c.bytes) << c.c;
        std::vector<cell> back;
        ASSERT_TRUE(qoru_amxExpandCells(out.data(), out.size(), 1, &back));
        EXPECT_EQ(back[0], c.c);
    }
}
