// The script host: scripts assembled by the tests, read from loose files through the
// pack reader, run with the global table and the caller's tables.
#include <gtest/gtest.h>

#include "qor_amxasm.h"
#include "qor_cMonofiler.h"
#include "qor_cScript.h"
#include "qor_cXChange.h"
#include "qor_testUtil.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{
std::vector<cell> s_things; // what the natives "built"

cell AMX_NATIVE_CALL addThing(AMX *, cell * params)
{
    s_things.push_back(params[1]);
    return 1;
}
cell AMX_NATIVE_CALL matOnly(AMX *, cell *)
{
    s_things.push_back(-1000);
    return 1;
}
cell AMX_NATIVE_CALL nest(AMX * amx, cell * params);

AMX_NATIVE_INFO s_aScreenTable[] = {{"addThing", addThing}, {"nest", nest}, {nullptr, nullptr}};
AMX_NATIVE_INFO s_aMaterialTable[] = {{"matOnly", matOnly}, {nullptr, nullptr}};

// Runs another script from inside a native, as "addLayer" does.
cell AMX_NATIVE_CALL nest(AMX * amx, cell * params)
{
    cell * p;
    if (amx_AddrToPtr(amx, params[1], &p) != AMX_ERR_NONE)
        return 0;
    char szName[64];
    amx_ReadStringN(szName, p, sizeof szName);
    qor_cScript script;
    return script.loadAndExecute(szName, s_aScreenTable) ? 1 : 0;
}

// main calling addThing with each value.
std::string adds(std::initializer_list<int> values, const std::string & tail = "", const std::string & decl = "")
{
    std::string s = ".native addThing\n.native qor_rand\n.native nest\n" + decl + ".code\nmain:\n    proc\n";
    for (int v : values)
        s += "    push.c " + std::to_string(v) + "\n    push.c 4\n    sysreq.c addThing\n    stack 8\n";
    return s + tail + "    zero.pri\n    retn\n";
}

class ScriptHost : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_dir.file("scripts/exe"));
        m_pCd = std::make_unique<qort::ScopedChdir>(m_dir.path());
        m_xchange.setMonofiler(&m_pack); // an empty pack: every file comes from the disk
        s_things.clear();
        qoru_resetRand();
        qor_cScript::setMaxSteps(QOR_SCRIPT_MAX_STEPS);
    }
    void TearDown() override
    {
        qor_cScript::setMaxSteps(QOR_SCRIPT_MAX_STEPS);
        m_pCd.reset();
    }
    void write(const std::string & name, const std::string & text)
    {
        std::vector<unsigned char> img;
        std::vector<std::string> errors;
        ASSERT_TRUE(qoru_amxAssemble(text, name.c_str(), false, &img, &errors)) << (errors.empty() ? "" : errors[0]);
        writeBytes(name, img);
    }
    void writeBytes(const std::string & name, const std::vector<unsigned char> & bytes)
    {
        ASSERT_TRUE(qort::writeBytes(m_dir.file("scripts/exe/" + name), bytes.data(), bytes.size()));
    }
    std::vector<unsigned char> image(const std::string & text)
    {
        std::vector<unsigned char> img;
        std::vector<std::string> errors;
        EXPECT_TRUE(qoru_amxAssemble(text, "t", false, &img, &errors));
        return img;
    }
    bool run(const char * szName, AMX_NATIVE_INFO * pTable = s_aScreenTable)
    {
        qor_cScript script;
        return script.loadAndExecute(szName, pTable);
    }
    static std::string header(const std::string & path)
    {
        return "bool qor_cScript::loadAndExecute(cchar * szScriptName<" + path +
               ">, AMX_NATIVE_INFO * pAdditionalNativeFonctions)\n";
    }

    qort::LogCapture m_log;
    qort::TempDir m_dir;
    std::unique_ptr<qort::ScopedChdir> m_pCd;
    qor_cXChange m_xchange;
    qor_cMonofiler m_pack;
};
} // namespace

TEST_F(ScriptHost, RunsMainWithTheGlobalTableAndTheCallersTable)
{
    write("screen.o", adds({5, 6}, "    push.c 10\n    push.c 0\n    push.c 8\n    sysreq.c qor_rand\n    stack 12\n",
                           ".native matOnly\n"));
    // matOnly and nest are declared but never called: they must still be bound
    qor_cScript script;
    AMX_NATIVE_INFO * apTables[] = {s_aScreenTable, s_aMaterialTable};
    EXPECT_TRUE(script.loadAndExecute("screen.o", apTables, 2));
    EXPECT_EQ(s_things, (std::vector<cell>{5, 6}));
    EXPECT_EQ(m_log.text(), "");
}

TEST_F(ScriptHost, ANativeOfAnotherLoadersTableIsRefusedBeforeMain)
{
    write("screen.o", adds({1}, "    push.c 0\n    sysreq.c matOnly\n    stack 4\n", ".native matOnly\n"));
    EXPECT_FALSE(run("screen.o"));
    EXPECT_TRUE(s_things.empty()); // main never ran
    std::string log = m_log.text();
    EXPECT_NE(log.find(header("scripts/exe/screen.o")), std::string::npos) << log;
    EXPECT_NE(log.find("ret<19> = amx_Register(&m_amx, &matscript_Natives, -1);\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ret<19> = <AMX_ERR_NOTFOUND,     /* function not found */>\n"), std::string::npos) << log;
}

TEST_F(ScriptHost, AScriptFailingHalfWayLeavesWhatItsNativesBuilt)
{
    write("half.o", adds({1, 2}, "    const.pri 1\n    zero.alt\n    sdiv\n") + "    push.c 3\n");
    EXPECT_FALSE(run("half.o"));
    EXPECT_EQ(s_things, (std::vector<cell>{1, 2}));
    std::string log = m_log.text();
    EXPECT_NE(log.find(header("scripts/exe/half.o")), std::string::npos);
    EXPECT_NE(log.find("int err<11> = amx_Exec(&m_amx, &ret, AMX_EXEC_MAIN, 0);\n"), std::string::npos) << log;
}

TEST_F(ScriptHost, QorRandStaysInRangeAndRepeatsItsSequenceInEveryProgramRun)
{
    // 40 times: addThing(qor_rand(0, 10))
    write("rand.o", ".native addThing\n.native qor_rand\n.code\nmain:\nproc\npush.c 40\nagain:\n"
                    "push.c 10\npush.c 0\npush.c 8\nsysreq.c qor_rand\nstack 12\n"
                    "push.pri\npush.c 4\nsysreq.c addThing\nstack 8\n"
                    "dec.s -4\nload.s.pri -4\njnz again\nstack 4\nretn\n");
    ASSERT_TRUE(run("rand.o"));
    std::vector<cell> first = s_things;
    ASSERT_EQ(first.size(), 40u);
    for (cell v : first)
    {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 9);
    }
    // the C library's generator, never seeded: 41, 18467, 6334, 26500, 19169, ...
    EXPECT_EQ(std::vector<cell>(first.begin(), first.begin() + 5), (std::vector<cell>{1, 7, 4, 0, 9}));
    s_things.clear();
    ASSERT_TRUE(run("rand.o"));
    EXPECT_NE(s_things, first); // the same program run goes on drawing
    qoru_resetRand();           // a new program run
    s_things.clear();
    ASSERT_TRUE(run("rand.o"));
    EXPECT_EQ(s_things, first);
}

TEST_F(ScriptHost, QorRandWithAnEmptyOrReversedRange)
{
    write("rand.o", ".native addThing\n.native qor_rand\n.code\nmain:\nproc\n"
                    "push.c 5\npush.c 5\npush.c 8\nsysreq.c qor_rand\nstack 12\npush.pri\npush.c 4\nsysreq.c addThing\n"
                    "stack 8\npush.c 0\npush.c 10\npush.c 8\nsysreq.c qor_rand\nstack 12\npush.pri\npush.c 4\n"
                    "sysreq.c addThing\nstack 8\nretn\n");
    ASSERT_TRUE(run("rand.o"));
    // max == min gives min; max < min: min + r mod (max - min), the sign of r (18467 % -10 = 7)
    EXPECT_EQ(s_things, (std::vector<cell>{5, 17}));
}

TEST_F(ScriptHost, NestedScriptsEachHaveTheirOwnMachine)
{
    write("inner.o", adds({9}));
    write("outer.o", ".native addThing\n.native nest\n.code\nmain:\nproc\n"
                     "push.c 1\npush.c 4\nsysreq.c addThing\nstack 8\n"
                     "push.c name\npush.c 4\nsysreq.c nest\nstack 8\n"
                     "push.pri\npush.c 4\nsysreq.c addThing\nstack 8\nretn\n"
                     ".data\nname: .string \"inner.o\"\n");
    EXPECT_TRUE(run("outer.o"));
    EXPECT_EQ(s_things, (std::vector<cell>{1, 9, 1}));
}

TEST_F(ScriptHost, AMissingScriptLogsFourLines)
{
    EXPECT_FALSE(run("nope.o"));
    std::string log = m_log.text();
    EXPECT_NE(log.find("Script impossible a trouver <scripts/exe/nope.o>File \""), std::string::npos) << log;
    EXPECT_NE(log.find(header("scripts/exe/nope.o")), std::string::npos);
    EXPECT_NE(log.find("char * pTmpBuffer = QOR_XCHANGE()->getMonofiler()->loadFile(szScriptName);\n"),
              std::string::npos);
    EXPECT_NE(log.find("Fichier impossible a trouver\n"), std::string::npos);
}

TEST_F(ScriptHost, AFileShorterThanItsHeaderOrItsSizeIsRefused)
{
    std::vector<unsigned char> img = image(adds({1}));
    for (size_t cut : {(size_t)0, (size_t)10, (size_t)55, (size_t)56, img.size() - 1})
    {
        SCOPED_TRACE(cut);
        writeBytes("cut.o", std::vector<unsigned char>(img.begin(), img.begin() + (long)cut));
        EXPECT_FALSE(run("cut.o"));
        EXPECT_NE(m_log.text().find("fichier compile invalid ! recommencer la compilation\n"), std::string::npos);
    }
    EXPECT_TRUE(s_things.empty());
    writeBytes("whole.o", img);
    EXPECT_TRUE(run("whole.o"));
}

TEST_F(ScriptHost, AnImpossibleStpOrSizeIsRefused)
{
    std::vector<unsigned char> img = image(adds({1}));
    AMX_HEADER h;
    amx_ReadHeader(img.data(), &h);
    h.stp = -1;
    amx_WriteHeader(img.data(), &h);
    writeBytes("bad.o", img);
    EXPECT_FALSE(run("bad.o"));
    EXPECT_NE(m_log.text().find("char * pProgram = new char [(int)hdr.stp<-1>];)\n"), std::string::npos);
    amx_ReadHeader(image(adds({1})).data(), &h);
    h.size = h.stp + 4; // more than the image
    img = image(adds({1}));
    amx_WriteHeader(img.data(), &h);
    img.resize((size_t)h.size);
    writeBytes("big.o", img);
    EXPECT_FALSE(run("big.o"));
    EXPECT_TRUE(s_things.empty());
}

// The image block is capped at 64 MiB (67108864 bytes): an image at the cap runs, one cell
// past it is refused with error 16 before anything is allocated for it.
TEST_F(ScriptHost, StpAboveTheCapIsRefusedWithError16)
{
    write("at.o", adds({1}) + ".header stp, 67108864\n");
    EXPECT_TRUE(run("at.o")) << m_log.text();
    EXPECT_EQ(s_things, std::vector<cell>{1});
    write("past.o", adds({2}) + ".header stp, 67108868\n");
    EXPECT_FALSE(run("past.o"));
    const std::string log = m_log.text();
    EXPECT_NE(log.find(header("scripts/exe/past.o")), std::string::npos) << log;
    EXPECT_NE(log.find("ret<16> = <AMX_ERR_MEMORY = 16,  /* out of memory */>\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Image de script trop grande : stp<67108868> octets, maximum 67108864\n"), std::string::npos)
        << log;
    EXPECT_EQ(s_things, std::vector<cell>{1}) << "the refused script never ran";
}

TEST_F(ScriptHost, ARefusedImageLogsTheInitResult)
{
    write("v5.o", adds({1}) + ".header amx_version, 5\n");
    EXPECT_FALSE(run("v5.o"));
    std::string log = m_log.text();
    EXPECT_NE(log.find(header("scripts/exe/v5.o")), std::string::npos);
    EXPECT_NE(log.find("int ret<18> = amx_Init( &m_amx, m_pProg );\n"), std::string::npos) << log;
}

TEST_F(ScriptHost, AScriptThatNeverEndsIsStoppedByItsBudget)
{
    write("loop.o", adds({1}, "top:\n    jump top\n"));
    qor_cScript::setMaxSteps(10000);
    EXPECT_FALSE(run("loop.o"));
    EXPECT_EQ(s_things, (std::vector<cell>{1}));
    std::string log = m_log.text();
    EXPECT_NE(log.find("int err<1> = amx_Exec(&m_amx, &ret, AMX_EXEC_MAIN, 0);\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Script arrete apres 10000 instructions (boucle sans fin ?), cip<36>\n"), std::string::npos)
        << log;
}

TEST_F(ScriptHost, AMachineErrorLogsItsCodeAndCip)
{
    write("oob.o", adds({}, "    load.pri 1000000\n"));
    EXPECT_FALSE(run("oob.o"));
    EXPECT_NE(m_log.text().find("Erreur <AMX_ERR_MEMACCESS,    /* invalid memory access */> a cip<4>\n"),
              std::string::npos)
        << m_log.text();
}

TEST_F(ScriptHost, ANameLongerThanThePathBufferIsRefused)
{
    EXPECT_FALSE(run(std::string(1011, 'a').c_str())); // 12 + 1011 = 1023 characters: looked up
    EXPECT_NE(m_log.text().find("Fichier impossible a trouver\n"), std::string::npos);
    EXPECT_FALSE(run(std::string(1012, 'a').c_str()));
    EXPECT_NE(m_log.text().find("Nom de script trop long ou absent, max : 1023\n"), std::string::npos);
}

TEST(amxStr2AnsiiStr, CopiesUpTo1023CharactersIntoTheSharedBuffer)
{
    qort::LogCapture log;
    std::vector<cell> s(1023, 'x');
    s.push_back(0);
    char * p = amxStr2AnsiiStr(s.data());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), std::string(1023, 'x'));
    EXPECT_EQ(amxStr2AnsiiStr(std::vector<cell>{'a', 'b', 0}.data()), p); // one shared buffer
    EXPECT_STREQ(p, "ab");
    s.insert(s.begin(), 'y');
    EXPECT_EQ(amxStr2AnsiiStr(s.data()), nullptr);
    std::string text = log.text();
    EXPECT_NE(text.find("char * amxStr2AnsiiStr(const void * szIn)\n"), std::string::npos);
    EXPECT_NE(text.find("if (pos == SZ_TMP_BUFFER_SIZE)\n"), std::string::npos);
    EXPECT_NE(text.find("Chaine de caractere trop longue, max : 1024\n"), std::string::npos);
}
