#include <gtest/gtest.h>

#include "qor_cMonofiler.h"
#include "qor_testUtil.h"

#include <lzo/lzo1x.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
typedef std::vector<unsigned char> Bytes;

// Writes pack files byte by byte, so that tests can make them lie.
struct PackWriter
{
    Bytes m_b;
    PackWriter & u32(uint32_t n)
    {
        for (int i = 0; i < 4; ++i)
            m_b.push_back(static_cast<unsigned char>(n >> (8 * i)));
        return *this;
    }
    PackWriter & u8(unsigned char c)
    {
        m_b.push_back(c);
        return *this;
    }
    PackWriter & raw(const std::string & s)
    {
        m_b.insert(m_b.end(), s.begin(), s.end());
        return *this;
    }
    PackWriter & header(uint32_t nCount) { return u32(0xABCDF707u).u32(nCount); }
    PackWriter & plain(const std::string & name, const std::string & data)
    {
        return u32(static_cast<uint32_t>(name.size()))
            .raw(name)
            .u32(static_cast<uint32_t>(data.size()))
            .u8(0)
            .raw(data);
    }
    PackWriter & packed(const std::string & name, const Bytes & stored, uint32_t nUnpacked, unsigned char cFlag = 1)
    {
        u32(static_cast<uint32_t>(name.size())).raw(name).u32(static_cast<uint32_t>(stored.size())).u8(cFlag);
        u32(nUnpacked);
        m_b.insert(m_b.end(), stored.begin(), stored.end());
        return *this;
    }
    bool save(const std::string & path) const { return qort::writeBytes(path, m_b.data(), m_b.size()); }
};

Bytes lzoCompress(const std::string & data)
{
    EXPECT_TRUE(qoru_lzoInit());
    Bytes out(data.size() + data.size() / 16 + 64 + 3);
    std::vector<lzo_align_t> work((LZO1X_1_MEM_COMPRESS + sizeof(lzo_align_t) - 1) / sizeof(lzo_align_t));
    lzo_uint nOut = out.size();
    EXPECT_EQ(lzo1x_1_compress(reinterpret_cast<const unsigned char *>(data.data()), data.size(), out.data(), &nOut,
                               work.data()),
              LZO_E_OK);
    out.resize(nOut);
    return out;
}

std::string load(qor_cMonofiler & pack, const char * szName, uint * pSize = nullptr)
{
    uint nSize = 12345;
    char * p = pack.loadFile(szName, &nSize);
    if (pSize)
        *pSize = nSize;
    if (!p)
        return "<null>";
    std::string s(p, nSize);
    delete[] p;
    return s;
}

std::string repeat(const std::string & s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

class Monofiler : public ::testing::Test
{
protected:
    qort::TempDir m_dir;
    qort::ScopedChdir m_cd{m_dir.path()};
};
} // namespace

// --- open: the header and the directory ---

TEST_F(Monofiler, BadMagicFailsAndEverythingComesFromTheDisk)
{
    PackWriter w;
    w.u32(0xABCDF708u).u32(1).plain("a.txt", "from pack");
    ASSERT_TRUE(w.save("bad.dat"));
    ASSERT_TRUE(qort::writeText("a.txt", "from disk"));
    qor_cMonofiler pack;
    EXPECT_FALSE(pack.open("bad.dat"));
    EXPECT_EQ(pack.getNbEntry(), 0u);
    EXPECT_FALSE(pack.isOpen());
    EXPECT_EQ(load(pack, "a.txt"), "from disk");
}

TEST_F(Monofiler, EmptyPackOpensAndFilesComeFromTheDisk)
{
    PackWriter w;
    w.header(0);
    ASSERT_TRUE(w.save("empty.dat"));
    ASSERT_TRUE(qort::writeText("b.txt", "disk"));
    qor_cMonofiler pack;
    EXPECT_TRUE(pack.open("empty.dat"));
    EXPECT_EQ(pack.getNbEntry(), 0u);
    EXPECT_EQ(load(pack, "b.txt"), "disk");
}

TEST_F(Monofiler, MissingOrNullPathFails)
{
    qor_cMonofiler pack;
    EXPECT_FALSE(pack.open("nowhere.dat"));
    EXPECT_FALSE(pack.open(nullptr));
    EXPECT_FALSE(pack.open("."));
}

TEST_F(Monofiler, EveryTruncationOfAValidPackFailsAndKeepsNothing)
{
    PackWriter w;
    w.header(3).plain("one.txt", "1111").packed("two.txt", lzoCompress(repeat("two", 40)), 120).plain("3", "");
    ASSERT_TRUE(w.save("full.dat"));
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("full.dat"));
    ASSERT_EQ(pack.getNbEntry(), 3u);
    for (size_t n = 0; n < w.m_b.size(); ++n)
    {
        ASSERT_TRUE(qort::writeBytes("cut.dat", w.m_b.data(), n));
        EXPECT_FALSE(pack.open("cut.dat")) << "truncated to " << n << " bytes";
        EXPECT_EQ(pack.getNbEntry(), 0u) << "truncated to " << n << " bytes";
    }
}

TEST_F(Monofiler, CountPromisingMoreEntriesThanTheFileHoldsFails)
{
    PackWriter w;
    w.header(3).plain("a", "x").plain("b", "y");
    ASSERT_TRUE(w.save("short.dat"));
    qor_cMonofiler pack;
    EXPECT_FALSE(pack.open("short.dat"));
    EXPECT_EQ(pack.getNbEntry(), 0u);
}

TEST_F(Monofiler, HugeCountsAndSizesAreRefusedBeforeAllocating)
{
    struct Case
    {
        const char * szWhat;
        PackWriter w;
    };
    std::vector<Case> cases;
    cases.push_back({"count 0xFFFFFFFF", PackWriter().header(0xFFFFFFFFu).plain("a", "x")});
    cases.push_back({"name length 0xFFFFFFFF", PackWriter().header(1).u32(0xFFFFFFFFu).raw("abc")});
    cases.push_back({"name length past the end", PackWriter().header(1).u32(20).raw("abcdefghij").u32(0).u8(0)});
    cases.push_back({"name longer than 1024", PackWriter().header(1).plain(std::string(1025, 'n'), "x")});
    cases.push_back({"stored size 0xFFFFFFFF", PackWriter().header(1).u32(1).raw("a").u32(0xFFFFFFFFu).u8(0).raw("x")});
    cases.push_back({"stored size one past the end", PackWriter().header(1).u32(1).raw("a").u32(3).u8(0).raw("xy")});
    cases.push_back({"unpacked size 0xFFFFFFFF", PackWriter().header(1).packed("a", Bytes(16, 0), 0xFFFFFFFFu)});
    cases.push_back(
        {"unpacked size over 256 x stored", PackWriter().header(1).packed("a", Bytes(16, 0), 16 * 256 + 1)});
    for (const Case & c : cases)
    {
        ASSERT_TRUE(c.w.save("huge.dat"));
        qor_cMonofiler pack;
        EXPECT_FALSE(pack.open("huge.dat")) << c.szWhat;
        EXPECT_EQ(pack.getNbEntry(), 0u) << c.szWhat;
        EXPECT_STRNE(pack.getOpenError(), "") << c.szWhat;
    }
}

TEST_F(Monofiler, FailedOpenDropsThePreviousPack)
{
    PackWriter().header(1).plain("a.txt", "pack").save("good.dat");
    PackWriter().header(2).plain("a.txt", "pack").save("bad.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("good.dat"));
    EXPECT_EQ(load(pack, "a.txt"), "pack");
    EXPECT_FALSE(pack.open("bad.dat"));
    EXPECT_EQ(pack.getNbEntry(), 0u);
    EXPECT_EQ(load(pack, "a.txt"), "<null>");
}

TEST_F(Monofiler, AnyNonZeroFlagMeansCompressed)
{
    const std::string text = repeat("flag", 50);
    PackWriter().header(1).packed("f.bin", lzoCompress(text), 200, 0x7F).save("flag.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("flag.dat"));
    bool bCompressed = false;
    ASSERT_TRUE(pack.getEntryInfo(0, nullptr, nullptr, &bCompressed));
    EXPECT_TRUE(bCompressed);
    EXPECT_EQ(load(pack, "f.bin"), text);
}

// --- lookups ---

TEST_F(Monofiler, LookupLowerCasesAndTurnsSlashesIntoBackslashes)
{
    PackWriter().header(1).plain("scenes\\test.s3d", "scene").save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    EXPECT_EQ(load(pack, "SCENES/Test.S3D"), "scene");
    EXPECT_EQ(load(pack, "scenes\\TEST.s3d"), "scene");
}

TEST_F(Monofiler, ShortNameMatchesTheFirstEntryContainingIt)
{
    PackWriter().header(2).plain("kv_screen_a.o", "screen").plain("a.o", "exact").save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    EXPECT_EQ(load(pack, "a.o"), "screen");
    EXPECT_EQ(pack.findEntry("a.o"), 0);
    EXPECT_EQ(pack.findEntry("screen"), 0);
    EXPECT_EQ(pack.findEntry("b.o"), -1);
}

TEST_F(Monofiler, UpperCaseStoredNamesAreNeverFound)
{
    PackWriter().header(1).plain("Upper.txt", "pack").save("p.dat");
    qort::writeText("Upper.txt", "disk");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    EXPECT_EQ(load(pack, "Upper.txt"), "disk");
}

TEST_F(Monofiler, DiskFallbackUsesTheNameExactlyAsRequested)
{
    std::filesystem::create_directory("Data");
    qort::writeText("Data/File.TXT", "exact");
    PackWriter().header(0).save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    EXPECT_EQ(load(pack, "Data/File.TXT"), "exact");
    uint nSize = 7;
    EXPECT_EQ(load(pack, "data/file.txt", &nSize), "<null>");
    EXPECT_EQ(nSize, 0u);
    EXPECT_EQ(load(pack, "Data", &nSize), "<null>") << "a folder is no file";
}

TEST_F(Monofiler, MissingNameGivesNullAndSizeZero)
{
    PackWriter().header(1).plain("a.txt", "x").save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    uint nSize = 99;
    EXPECT_EQ(pack.loadFile("nothing.bin", &nSize), nullptr);
    EXPECT_EQ(nSize, 0u);
    EXPECT_EQ(pack.loadFile(nullptr, &nSize), nullptr);
    EXPECT_EQ(nSize, 0u);
    EXPECT_EQ(pack.getFileSize("nothing.bin"), 0u);
    EXPECT_EQ(pack.getFile("nothing.bin"), nullptr);
}

TEST_F(Monofiler, FindFileReportsPackEntriesAndDiskSizes)
{
    const Bytes stored = lzoCompress(repeat("z", 1000));
    PackWriter().header(2).plain("p.txt", "plain!").packed("c.bin", stored, 1000).save("p.dat");
    qort::writeText("disk.txt", "0123456789");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));

    FILE * pFile = nullptr;
    uint nSize = 0, nUnpacked = 0;
    bool bCompressed = true;
    EXPECT_TRUE(pack.findFile("p.txt", &pFile, &nSize, &bCompressed, &nUnpacked));
    EXPECT_NE(pFile, nullptr);
    EXPECT_EQ(nSize, 6u);
    EXPECT_FALSE(bCompressed);
    char ac[6];
    ASSERT_EQ(std::fread(ac, 1, 6, pFile), 6u);
    EXPECT_EQ(std::string(ac, 6), "plain!") << "the pack file is positioned at the data";

    EXPECT_TRUE(pack.findFile("c.bin", &pFile, &nSize, &bCompressed, &nUnpacked));
    EXPECT_EQ(nSize, stored.size());
    EXPECT_TRUE(bCompressed);
    EXPECT_EQ(nUnpacked, 1000u);
    EXPECT_EQ(pack.getFileSize("c.bin"), stored.size()) << "getFileSize gives the stored size";

    EXPECT_FALSE(pack.findFile("disk.txt", &pFile, &nSize, &bCompressed, &nUnpacked));
    EXPECT_EQ(pFile, nullptr);
    EXPECT_EQ(nSize, 10u);
    EXPECT_EQ(pack.getFileSize("disk.txt"), 10u);
    EXPECT_FALSE(pack.findFile(nullptr, &pFile, &nSize, &bCompressed));
}

TEST_F(Monofiler, GetFileGivesTheStoredBytesOfACompressedEntry)
{
    const Bytes stored = lzoCompress(repeat("ab", 100));
    PackWriter().header(1).packed("c.bin", stored, 200).save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    FILE * pFile = pack.getFile("C.BIN");
    ASSERT_NE(pFile, nullptr);
    Bytes read(stored.size());
    ASSERT_EQ(std::fread(read.data(), 1, read.size(), pFile), read.size());
    EXPECT_EQ(read, stored);
}

TEST_F(Monofiler, GetEntryInfoWalksTheDirectoryInFileOrder)
{
    PackWriter().header(2).plain("first", "1").packed("second", lzoCompress(repeat("s", 64)), 64).save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    cchar * szName = nullptr;
    uint nSize = 0, nUnpacked = 0;
    bool bCompressed = true;
    ASSERT_TRUE(pack.getEntryInfo(0, &szName, &nSize, &bCompressed, &nUnpacked));
    EXPECT_STREQ(szName, "first");
    EXPECT_EQ(nSize, 1u);
    EXPECT_FALSE(bCompressed);
    EXPECT_EQ(nUnpacked, 0u);
    ASSERT_TRUE(pack.getEntryInfo(1, &szName, &nSize, &bCompressed, &nUnpacked));
    EXPECT_STREQ(szName, "second");
    EXPECT_TRUE(bCompressed);
    EXPECT_EQ(nUnpacked, 64u);
    EXPECT_FALSE(pack.getEntryInfo(2, &szName, &nSize, &bCompressed));
}

// --- compressed entries ---

TEST_F(Monofiler, CompressedEntryLoadsToExactlyItsUnpackedSize)
{
    const std::string text = repeat("the quick brown fox ", 500);
    const Bytes stored = lzoCompress(text);
    ASSERT_LT(stored.size(), text.size());
    PackWriter().header(1).packed("fox.txt", stored, static_cast<uint32_t>(text.size())).save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    uint nSize = 0;
    EXPECT_EQ(load(pack, "fox.txt", &nSize), text);
    EXPECT_EQ(nSize, text.size());
}

TEST_F(Monofiler, CorruptCompressedEntryLoadsAsNull)
{
    const std::string text = repeat("corrupt me ", 100);
    Bytes stored = lzoCompress(text);
    Bytes broken = stored;
    broken[broken.size() / 2] ^= 0xFF;
    broken[broken.size() / 2 + 1] ^= 0x5A;
    Bytes cut(stored.begin(), stored.end() - 3); // no end-of-stream marker
    const uint32_t n = static_cast<uint32_t>(text.size());
    PackWriter()
        .header(4)
        .packed("broken.bin", broken, n)
        .packed("longer.bin", stored, n + 1)
        .packed("shorter.bin", stored, n - 1)
        .packed("cut.bin", cut, n)
        .save("p.dat");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    for (const char * sz : {"broken.bin", "longer.bin", "shorter.bin", "cut.bin"})
        EXPECT_EQ(load(pack, sz), "<null>") << sz;
    EXPECT_EQ(pack.loadEntry(1), nullptr);
}

TEST_F(Monofiler, LoadFileIntoRefusesASmallerBuffer)
{
    const std::string text = repeat("12345678", 32);
    PackWriter().header(2).plain("p.bin", text).packed("c.bin", lzoCompress(text), 256).save("p.dat");
    qort::writeText("d.bin", text);
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("p.dat"));
    std::vector<char> buf(256);
    for (const char * sz : {"p.bin", "c.bin", "d.bin"})
    {
        EXPECT_FALSE(pack.loadFileInto(sz, buf.data(), 255)) << sz;
        EXPECT_TRUE(pack.loadFileInto(sz, buf.data(), 256)) << sz;
        EXPECT_EQ(std::string(buf.data(), 256), text) << sz;
    }
    EXPECT_FALSE(pack.loadFileInto("p.bin", nullptr, 256));
    EXPECT_FALSE(pack.loadFileInto(nullptr, buf.data(), 256));
}

TEST_F(Monofiler, LzoNeverExpandsPast256TimesTheStoredSize)
{
    // The bound open() applies to declared unpacked sizes must hold for the most compressible
    // input there is.
    const std::string zeros(1 << 20, '\0');
    const Bytes stored = lzoCompress(zeros);
    EXPECT_LT(zeros.size(), stored.size() * qor_cMonofiler::kMaxExpansion);
}

// --- builder ---

TEST_F(Monofiler, BuilderRoundTripsPlainAndCompressedFiles)
{
    std::filesystem::create_directories("Scenes/Sub");
    const std::string big = repeat("compress me please ", 300);
    qort::writeText("Scenes/Sub/Big.TXT", big);
    qort::writeText("small.txt", "xy");
    qort::writeText("empty.txt", "");
    {
        qor_cMonofiler builder;
        EXPECT_TRUE(builder.addFile("Scenes/Sub/Big.TXT", true));
        EXPECT_TRUE(builder.addFile("small.txt", true)); // LZO cannot make 2 bytes smaller
        EXPECT_TRUE(builder.addFile("empty.txt", true));
        EXPECT_TRUE(builder.addFile("small.txt", false)) << "an already added name adds nothing";
        EXPECT_FALSE(builder.addFile("missing.txt", false));
        EXPECT_FALSE(builder.addFile(nullptr, false));
        EXPECT_FALSE(builder.addFile(".", false));
        EXPECT_EQ(builder.getNbEntry(), 3u);
        EXPECT_TRUE(builder.save("built.dat"));
    }
    std::filesystem::remove_all("Scenes");
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("built.dat"));
    ASSERT_EQ(pack.getNbEntry(), 3u);
    cchar * szName = nullptr;
    uint nSize = 0, nUnpacked = 0;
    bool bCompressed = false;
    ASSERT_TRUE(pack.getEntryInfo(0, &szName, &nSize, &bCompressed, &nUnpacked));
    EXPECT_STREQ(szName, "scenes\\sub\\big.txt");
    EXPECT_TRUE(bCompressed);
    EXPECT_LT(nSize, big.size());
    EXPECT_EQ(nUnpacked, big.size());
    ASSERT_TRUE(pack.getEntryInfo(1, &szName, &nSize, &bCompressed, &nUnpacked));
    EXPECT_STREQ(szName, "small.txt");
    EXPECT_FALSE(bCompressed);
    EXPECT_EQ(load(pack, "scenes/sub/BIG.txt"), big);
    EXPECT_EQ(load(pack, "small.txt"), "xy");
    uint nEmpty = 9;
    EXPECT_EQ(load(pack, "empty.txt", &nEmpty), "");
    EXPECT_EQ(nEmpty, 0u);
}

TEST_F(Monofiler, BuilderSkipsANameThatALookupAlreadyFinds)
{
    qort::writeText("kv_screen_a.o", "screen");
    qort::writeText("a.o", "exact");
    qor_cMonofiler builder;
    EXPECT_TRUE(builder.addFile("kv_screen_a.o", false));
    EXPECT_TRUE(builder.addFile("a.o", false));
    EXPECT_EQ(builder.getNbEntry(), 1u);
}

TEST_F(Monofiler, SaveFailsWhenASourceFileIsGone)
{
    qort::writeText("gone.txt", "soon gone");
    qor_cMonofiler builder;
    ASSERT_TRUE(builder.addFile("gone.txt", false));
    std::remove("gone.txt");
    EXPECT_FALSE(builder.save("out.dat"));
    EXPECT_FALSE(builder.save(nullptr));
}

TEST_F(Monofiler, FilesOverOneGibAreNeverAllocated)
{
    // Sparse files: a plain entry and a disk file one byte over the limit.
    const uint32_t nBig = qor_cMonofiler::kMaxFileSize + 1;
    PackWriter w;
    w.header(1).u32(3).raw("big").u32(nBig).u8(0);
    ASSERT_TRUE(w.save("big.dat"));
    std::filesystem::resize_file("big.dat", w.m_b.size() + nBig);
    qort::writeText("big.bin", "");
    std::filesystem::resize_file("big.bin", nBig);
    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("big.dat"));
    uint nSize = 0;
    EXPECT_EQ(pack.loadFile("big", &nSize), nullptr);
    EXPECT_EQ(nSize, nBig);
    EXPECT_EQ(pack.loadEntry(0, &nSize), nullptr);
    EXPECT_EQ(pack.loadFile("big.bin", &nSize), nullptr);
    EXPECT_EQ(nSize, nBig);
    EXPECT_FALSE(pack.addFile("big.bin", false));
}
