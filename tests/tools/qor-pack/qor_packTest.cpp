// qor-pack end to end: the program as built, run through the shell.
#include <gtest/gtest.h>

#include "qor_testUtil.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace
{
std::string repeat(const std::string & s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// A pack written byte by byte (plain entries), names taken as given: NULs and ".." included.
std::string handPack(const std::vector<std::pair<std::string, std::string>> & entries, uint32_t nCount)
{
    std::string b;
    auto u32 = [&b](uint32_t n) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<char>(n >> (8 * i)));
    };
    u32(0xABCDF707u);
    u32(nCount);
    for (const auto & e : entries)
    {
        u32(static_cast<uint32_t>(e.first.size()));
        b += e.first;
        u32(static_cast<uint32_t>(e.second.size()));
        b.push_back(0);
        b += e.second;
    }
    return b;
}

class QorPack : public ::testing::Test
{
protected:
    // Runs qor-pack with the arguments in the temp folder; stdout in *pOut, stderr in m_err.
    int run(const std::string & args, std::string * pOut = nullptr)
    {
        const std::string errFile = m_dir.file("stderr.txt");
        const int rc = qort::runCommand("cd " + m_dir.path() + " && " + m_tool + " " + args + " 2>" + errFile, pOut);
        m_err = qort::readText(errFile);
        fs::remove(errFile);
        return rc;
    }
    std::vector<std::string> listDir(const std::string & dir) const
    {
        std::vector<std::string> names;
        for (const auto & e : fs::recursive_directory_iterator(m_dir.file(dir)))
            names.push_back(fs::relative(e.path(), m_dir.file(dir)).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    qort::TempDir m_dir;
    // A short timeout of its own: a read that blocks shows as status 124, not as a hung suite.
    std::string m_tool = "timeout 10 " + qort::binDir() + "/qor-pack";
    std::string m_err;
};
} // namespace

TEST_F(QorPack, CreateListCatAndExtractRoundTrip)
{
    fs::create_directories(m_dir.file("Scripts/exe"));
    const std::string script = repeat("screen script bytes ", 100);
    qort::writeText(m_dir.file("Scripts/exe/Screen1.AMX"), script);
    qort::writeText(m_dir.file("notes.txt"), "ab");
    ASSERT_EQ(run("create out.dat --compress Scripts/exe/Screen1.AMX notes.txt"), 0) << m_err;
    EXPECT_EQ(m_err, "");

    std::string out;
    ASSERT_EQ(run("list out.dat", &out), 0) << m_err;
    const size_t nTab = out.find('\t');
    ASSERT_NE(nTab, std::string::npos);
    EXPECT_EQ(out.substr(0, nTab), "scripts\\exe\\screen1.amx");
    const std::string firstLine = out.substr(0, out.find('\n'));
    EXPECT_NE(firstLine.find("\t1\t" + std::to_string(script.size())), std::string::npos) << firstLine;
    EXPECT_EQ(out.substr(out.find('\n') + 1), "notes.txt\t2\t0\t0\n");

    ASSERT_EQ(run("cat out.dat scripts/EXE/screen1.amx", &out), 0) << m_err;
    EXPECT_EQ(out, script);
    ASSERT_EQ(run("cat out.dat notes", &out), 0) << "a lookup takes the first entry containing the name";
    EXPECT_EQ(out, "ab");

    ASSERT_EQ(run("extract out.dat unpacked", &out), 0) << m_err;
    EXPECT_EQ(qort::readText(m_dir.file("unpacked/scripts/exe/screen1.amx")), script);
    EXPECT_EQ(qort::readText(m_dir.file("unpacked/notes.txt")), "ab");
    EXPECT_EQ(listDir("unpacked"),
              (std::vector<std::string>{"notes.txt", "scripts", "scripts/exe", "scripts/exe/screen1.amx"}))
        << "no temporary file is left behind";
}

TEST_F(QorPack, CatFallsBackToTheDiskAndFailsOnMissingNames)
{
    qort::writeText(m_dir.file("in_pack.txt"), "packed");
    ASSERT_EQ(run("create p.dat in_pack.txt"), 0) << m_err;
    qort::writeText(m_dir.file("Loose.TXT"), "loose");
    std::string out;
    EXPECT_EQ(run("cat p.dat Loose.TXT", &out), 0);
    EXPECT_EQ(out, "loose");
    EXPECT_EQ(run("cat p.dat missing.txt", &out), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(m_err, "");

    // A pack that fails to open is an empty pack: names still come from the disk.
    qort::writeText(m_dir.file("broken.dat"), "not a pack at all");
    EXPECT_EQ(run("cat broken.dat Loose.TXT", &out), 0);
    EXPECT_EQ(out, "loose");
    EXPECT_EQ(run("cat broken.dat in_pack.txt", &out), 0) << "in_pack.txt is on the disk too";
}

TEST_F(QorPack, CatOfACorruptCompressedEntryFails)
{
    std::string b("\x07\xF7\xCD\xAB\x01\x00\x00\x00\x05\x00\x00\x00x.bin\x04\x00\x00\x00\x01\x08\x00\x00\x00junk", 30);
    qort::writeText(m_dir.file("c.dat"), b);
    std::string out;
    EXPECT_EQ(run("cat c.dat x.bin", &out), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(run("extract c.dat out"), 1);
    EXPECT_FALSE(qort::fileExists(m_dir.file("out/x.bin")));
}

TEST_F(QorPack, ListOfAPackThatCannotBeOpenedFails)
{
    std::string out;
    EXPECT_EQ(run("list nowhere.dat", &out), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(m_err.find("nowhere.dat"), std::string::npos) << m_err;

    // A hostile count: the message names the reason and the byte offset.
    qort::writeText(m_dir.file("liar.dat"), handPack({{"a", "x"}}, 0x7FFFFFFF));
    EXPECT_EQ(run("list liar.dat", &out), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(m_err.find("offset 4"), std::string::npos) << m_err;
}

TEST_F(QorPack, ExtractRefusesNamesThatWouldLeaveTheFolder)
{
    const std::string nulName("nul\0x.txt", 9);
    qort::writeText(m_dir.file("hostile.dat"), handPack({{"..\\evil.txt", "evil"},
                                                         {"sub\\..\\..\\evil2.txt", "evil"},
                                                         {"\\abs.txt", "evil"},
                                                         {"/abs2.txt", "evil"},
                                                         {nulName, "evil"},
                                                         {"dir\\", "evil"},
                                                         {"ok\\good.txt", "good"}},
                                                        7));
    fs::create_directories(m_dir.file("x/out"));
    EXPECT_EQ(run("extract hostile.dat x/out"), 1);
    EXPECT_EQ(listDir("x"), (std::vector<std::string>{"out", "out/ok", "out/ok/good.txt"}));
    EXPECT_EQ(qort::readText(m_dir.file("x/out/ok/good.txt")), "good");
    EXPECT_FALSE(qort::fileExists(m_dir.file("x/evil.txt")));
    EXPECT_FALSE(qort::fileExists("/abs.txt"));
    EXPECT_FALSE(qort::fileExists("/abs2.txt"));
    for (const char * sz : {"..\\evil.txt", "evil2.txt", "\\abs.txt", "/abs2.txt", "nul", "dir\\"})
        EXPECT_NE(m_err.find(sz), std::string::npos) << sz << " not named in:\n" << m_err;
}

TEST_F(QorPack, ExtractDoesNotFollowALinkOutOfTheFolder)
{
    fs::create_directories(m_dir.file("out"));
    fs::create_directories(m_dir.file("elsewhere"));
    fs::create_directory_symlink(m_dir.file("elsewhere"), m_dir.file("out/link"));
    qort::writeText(m_dir.file("p.dat"), handPack({{"link\\escaped.txt", "evil"}, {"link\\sub\\deep.txt", "evil"}}, 2));
    EXPECT_EQ(run("extract p.dat out"), 1);
    EXPECT_FALSE(qort::fileExists(m_dir.file("elsewhere/escaped.txt")));
    EXPECT_FALSE(qort::fileExists(m_dir.file("elsewhere/sub"))) << "no folder is created outside either";
}

TEST_F(QorPack, CreateWritesNothingWhenAFileIsMissing)
{
    qort::writeText(m_dir.file("a.txt"), "a");
    EXPECT_NE(run("create out.dat a.txt missing.txt"), 0);
    EXPECT_NE(m_err.find("missing.txt"), std::string::npos) << m_err;
    EXPECT_EQ(listDir("."), (std::vector<std::string>{"a.txt"}));
}

TEST_F(QorPack, CreateRefusesAFileThatAnEarlierEntryShadows)
{
    qort::writeText(m_dir.file("kv_screen_a.o"), "screen");
    qort::writeText(m_dir.file("a.o"), "exact");
    EXPECT_NE(run("create out.dat kv_screen_a.o a.o"), 0);
    EXPECT_NE(m_err.find("kv_screen_a.o"), std::string::npos) << m_err;
    EXPECT_FALSE(qort::fileExists(m_dir.file("out.dat")));

    // The other order is fine: each name finds its own entry.
    ASSERT_EQ(run("create out.dat a.o kv_screen_a.o"), 0) << m_err;
    std::string out;
    ASSERT_EQ(run("cat out.dat kv_screen_a.o", &out), 0);
    EXPECT_EQ(out, "screen");
    ASSERT_EQ(run("create twice.dat a.o a.o"), 0) << "a file listed twice is stored once";
    ASSERT_EQ(run("list twice.dat", &out), 0);
    EXPECT_EQ(out, "a.o\t5\t0\t0\n");
}

TEST_F(QorPack, CreateReplacesAnExistingPackOnlyWhenItSucceeds)
{
    qort::writeText(m_dir.file("a.txt"), "a");
    qort::writeText(m_dir.file("out.dat"), "old");
    EXPECT_NE(run("create out.dat missing.txt"), 0);
    EXPECT_EQ(qort::readText(m_dir.file("out.dat")), "old");
    ASSERT_EQ(run("create out.dat a.txt"), 0) << m_err;
    std::string out;
    ASSERT_EQ(run("list out.dat", &out), 0);
    EXPECT_EQ(out, "a.txt\t1\t0\t0\n");
    EXPECT_EQ(listDir("."), (std::vector<std::string>{"a.txt", "out.dat"}));
}

TEST_F(QorPack, BadCommandLinesPrintTheUsageAndFail)
{
    for (const char * sz : {"", "frobnicate x", "list", "list a b", "cat p.dat", "extract p.dat", "create",
                            "list --compress p.dat", "create out.dat --bogus a"})
    {
        EXPECT_NE(run(sz), 0) << sz;
        EXPECT_NE(m_err.find("usage:"), std::string::npos) << sz;
    }
    std::string out;
    EXPECT_EQ(run("--help", &out), 0);
    EXPECT_NE(out.find("qor-pack create OUT [--compress] FILE..."), std::string::npos);
}

// A pack, a name or an input that is not a regular file is refused at once with the reason.
TEST_F(QorPack, NonRegularPacksAndFilesAreRefusedWithoutBlocking)
{
    const qort::SpecialFiles f(m_dir);
    qort::writeText(m_dir.file("a.txt"), "a");
    ASSERT_EQ(run("create p.dat a.txt"), 0) << m_err;
    for (const qort::SpecialFiles::Refusal & in : f.refusals())
    {
        std::string out;
        EXPECT_EQ(run("list " + in.path, &out), 1) << in.path;
        EXPECT_EQ(m_err, "qor-pack: " + in.path + ": cannot open pack: cannot open the file: " + in.why +
                             " (byte offset 0)\n");
        EXPECT_EQ(run("extract " + in.path + " out"), 1) << in.path;
        EXPECT_EQ(run("cat p.dat " + in.path, &out), 1) << in.path;
        EXPECT_EQ(m_err, "qor-pack: " + in.path + ": not in p.dat, and on the disk: " + in.why + "\n");
        EXPECT_EQ(out, "");
        EXPECT_EQ(run("create q.dat a.txt " + in.path), 1) << in.path;
        EXPECT_NE(m_err.find("qor-pack: " + in.path + ": " + in.why + "\n"), std::string::npos) << m_err;
        EXPECT_FALSE(qort::fileExists(m_dir.file("q.dat")));
    }
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

// Outputs: create never replaces a non-regular file nor one of its inputs; extract never
// writes over a non-regular file in the folder.
TEST_F(QorPack, OutputsNeverReplaceNonRegularFilesOrAnInput)
{
    const qort::SpecialFiles f(m_dir);
    qort::writeText(m_dir.file("a.txt"), "a");
    for (const std::string & out : f.all())
    {
        struct stat before, after;
        ASSERT_EQ(lstat(out.c_str(), &before), 0);
        EXPECT_EQ(run("create " + out + " a.txt"), 1) << out;
        EXPECT_NE(m_err.find("qor-pack: " + out + ": is a "), std::string::npos) << m_err;
        EXPECT_NE(m_err.find("not a regular file; not written"), std::string::npos) << m_err;
        ASSERT_EQ(lstat(out.c_str(), &after), 0);
        EXPECT_EQ(before.st_mode, after.st_mode) << out;
        EXPECT_EQ(before.st_rdev, after.st_rdev) << out;
    }
    EXPECT_EQ(run("create a.txt a.txt"), 1);
    EXPECT_NE(m_err.find("qor-pack: a.txt: is also an input file; not written over"), std::string::npos) << m_err;
    EXPECT_EQ(qort::readText(m_dir.file("a.txt")), "a");

    // The entry "pipe" extracted where a named pipe of that name waits: refused, pipe kept.
    qort::writeText(m_dir.file("x.dat"), handPack({{"pipe", "data"}, {"b.txt", "b"}}, 2));
    EXPECT_EQ(run("extract x.dat ."), 1);
    EXPECT_NE(m_err.find("entry 0 \"pipe\": cannot write: is a named pipe, not a regular file; not written"),
              std::string::npos)
        << m_err;
    struct stat st;
    ASSERT_EQ(lstat(m_dir.file("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(qort::readText(m_dir.file("b.txt")), "b");
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

// list prints one line per entry whatever the name holds: control bytes (and a NUL inside the
// stored length) as \xHH.
TEST_F(QorPack, ListEscapesControlBytesInNames)
{
    const std::string nulName("a\0b", 3);
    qort::writeText(m_dir.file("n.dat"), handPack({{"esc\x1b[2Jx", "1"}, {"two\nlines", "22"}, {nulName, "333"}}, 3));
    std::string out;
    EXPECT_EQ(run("list n.dat", &out), 0) << m_err;
    EXPECT_EQ(out, "esc\\x1b[2Jx\t1\t0\t0\ntwo\\x0alines\t2\t0\t0\na\\x00b\t3\t0\t0\n");
}

// Of two entries with the same name, lookups (and cat) read the first: extract writes that
// one too and says it left the other out.
TEST_F(QorPack, ExtractAndCatAgreeOnTheFirstOfTwoSameNamedEntries)
{
    qort::writeText(m_dir.file("d.dat"), handPack({{"dir\\same.txt", "first"}, {"dir\\same.txt", "second"}}, 2));
    std::string out;
    EXPECT_EQ(run("cat d.dat dir/same.txt", &out), 0) << m_err;
    EXPECT_EQ(out, "first");
    EXPECT_EQ(run("extract d.dat out"), 0) << m_err;
    EXPECT_EQ(qort::readText(m_dir.file("out/dir/same.txt")), "first");
    EXPECT_NE(m_err.find("entry 1 \"dir\\same.txt\": skipped, an earlier entry has the same name"), std::string::npos)
        << m_err;
}

// create refuses what extract would refuse, so that every pack it writes extracts whole.
TEST_F(QorPack, CreateRefusesAbsoluteAndParentNames)
{
    fs::create_directories(m_dir.file("sub"));
    qort::writeText(m_dir.file("a.txt"), "a");
    qort::writeText(m_dir.file("sub/b.txt"), "b");
    EXPECT_EQ(run("create p.dat " + m_dir.file("a.txt")), 1);
    EXPECT_NE(m_err.find("refused, name starts with a separator (absolute path)"), std::string::npos) << m_err;
    EXPECT_EQ(run("create p.dat sub/../a.txt"), 1);
    EXPECT_NE(m_err.find("sub/../a.txt: refused, name holds \"..\""), std::string::npos) << m_err;
    EXPECT_FALSE(qort::fileExists(m_dir.file("p.dat")));
    ASSERT_EQ(run("create p.dat a.txt sub/b.txt"), 0) << m_err;
    EXPECT_EQ(run("extract p.dat out"), 0) << m_err;
    EXPECT_EQ(qort::readText(m_dir.file("out/sub/b.txt")), "b");
}
