#include <gtest/gtest.h>

#include "qor_cMonofiler.h"
#include "qor_cXChange.h"
#include "qor_testUtil.h"

#include <filesystem>
#include <regex>
#include <string>

namespace
{
// A pack of plain entries, written byte by byte.
void writePack(const std::string & path, const std::vector<std::pair<std::string, std::string>> & entries)
{
    std::string b;
    auto u32 = [&b](uint32_t n) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<char>(n >> (8 * i)));
    };
    u32(0xABCDF707u);
    u32(static_cast<uint32_t>(entries.size()));
    for (const auto & e : entries)
    {
        u32(static_cast<uint32_t>(e.first.size()));
        b += e.first;
        u32(static_cast<uint32_t>(e.second.size()));
        b.push_back(0);
        b += e.second;
    }
    ASSERT_TRUE(qort::writeText(path, b));
}

// readFile's buffer as a string ("<null>" for none); *pSize receives the size.
std::string read(qor_cXChange & xchange, const char * szName, uint * pSize = nullptr)
{
    uint n = 12345;
    char * p = xchange.readFile(szName, &n);
    if (pSize)
        *pSize = n;
    if (!p)
        return "<null>";
    std::string s(p, n);
    delete[] p;
    return s;
}

int openFdCount()
{
    int n = 0;
    for (const auto & e : std::filesystem::directory_iterator("/proc/self/fd"))
        (void)e, ++n;
    return n;
}

class XChange : public ::testing::Test
{
protected:
    qort::TempDir m_dir;
    qort::ScopedChdir m_cd{m_dir.path()};
    qor_cXChange m_xchange;
    qor_cMonofiler m_pack;
};
} // namespace

TEST(qor_cXChange, ConstructionMakesTheGlobalInstanceAndDestructionClearsIt)
{
    EXPECT_EQ(QOR_XCHANGE(), nullptr);
    EXPECT_EQ(QOR_DISP(), nullptr);
    EXPECT_EQ(QOR_D3DDEVICE(), nullptr);
    {
        qor_cXChange xchange;
        EXPECT_EQ(QOR_XCHANGE(), &xchange);
        EXPECT_EQ(xchange.getMonofiler(), nullptr);
        EXPECT_EQ(QOR_DISP(), nullptr);
        int iDisp = 0, iDevice = 0;
        xchange.setDisp(reinterpret_cast<qor_cDisp *>(&iDisp));
        xchange.setD3DDevice(&iDevice);
        EXPECT_EQ(QOR_DISP(), reinterpret_cast<qor_cDisp *>(&iDisp));
        EXPECT_EQ(QOR_ENGINE(), QOR_DISP());
        EXPECT_EQ(QOR_D3DDEVICE(), &iDevice);
    }
    EXPECT_EQ(QOR_XCHANGE(), nullptr);
    EXPECT_EQ(QOR_ENGINE(), nullptr);
}

TEST_F(XChange, ANameInThePackAndOnTheDiskIsReadFromThePack)
{
    writePack("p.dat", {{"data\\both.txt", "pack"}});
    std::filesystem::create_directory("data");
    qort::writeText("data/both.txt", "disk");
    qort::writeText("only_disk.txt", "disk only");
    ASSERT_TRUE(m_pack.open("p.dat"));
    m_xchange.setMonofiler(&m_pack);
    uint n = 0;
    EXPECT_EQ(read(*QOR_XCHANGE(), "data/both.txt", &n), "pack");
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(read(*QOR_XCHANGE(), "only_disk.txt", &n), "disk only");
}

TEST_F(XChange, WithAMissingPackEveryFileComesFromTheDisk)
{
    EXPECT_FALSE(m_pack.open("missing.dat"));
    m_xchange.setMonofiler(&m_pack);
    qort::writeText("loose.bin", "loose");
    uint n = 0;
    EXPECT_EQ(read(m_xchange, "loose.bin", &n), "loose");
    m_xchange.setMonofiler(nullptr);
    EXPECT_EQ(read(m_xchange, "loose.bin", &n), "loose") << "no reader registered: the disk";
}

TEST_F(XChange, ReadFileOfANameFoundNowhereLogsThreeReportsAndShowsOneBox)
{
    qort::LogCapture log;
    qort::BoxCapture boxes;
    m_xchange.setMonofiler(&m_pack);
    uint n = 77;
    EXPECT_EQ(m_xchange.readFile("nope.bin", &n), nullptr);
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "Impossible de charger le fichier <nope.bin>");
    EXPECT_EQ(boxes.captions()[0], "Brenmark Error Handler V1.0");
    const std::string lines =
        std::regex_replace(log.text(), std::regex("File \"[^\"]*qor_cXChange\\.cpp\", at line [0-9]+\n"), "@");
    EXPECT_EQ(lines, "@Impossible de charger le fichier <nope.bin>"
                     "@cchar * qor_cXChange::readFile(cchar * szFilename <nope.bin>, uint * pBufferSize /* = NULL */)\n"
                     "@Impossible d'ouvrir le fichier <nope.bin>!\n");
}

TEST_F(XChange, ReadFileOfACorruptEntryFailsLikeAMissingOne)
{
    // A compressed entry whose stored bytes are no LZO stream.
    std::string b("\x07\xF7\xCD\xAB\x01\x00\x00\x00\x05\x00\x00\x00x.bin\x04\x00\x00\x00\x01\x08\x00\x00\x00junk", 30);
    qort::writeText("c.dat", b);
    ASSERT_TRUE(m_pack.open("c.dat"));
    m_xchange.setMonofiler(&m_pack);
    qort::BoxCapture boxes;
    EXPECT_EQ(m_xchange.readFile("x.bin"), nullptr);
    EXPECT_EQ(boxes.texts().size(), 1u);
}

TEST_F(XChange, LockFileServesThePackStreamAndUnlockLeavesThePackReadable)
{
    writePack("p.dat", {{"maps\\wall.jpg", "JPEGDATA"}, {"other.txt", "other"}});
    ASSERT_TRUE(m_pack.open("p.dat"));
    m_xchange.setMonofiler(&m_pack);
    FILE * pFile = m_xchange.lockFile("maps\\wall.jpg", "rb");
    ASSERT_NE(pFile, nullptr);
    char ac[8];
    ASSERT_EQ(std::fread(ac, 1, 8, pFile), 8u);
    EXPECT_EQ(std::string(ac, 8), "JPEGDATA");
    m_xchange.unlockFile();
    uint n = 0;
    EXPECT_EQ(read(m_xchange, "other.txt", &n), "other");
    EXPECT_NE(m_xchange.lockFile("maps/WALL.jpg"), nullptr) << "the pack stream stays open after unlock";
    m_xchange.unlockFile();
}

// An LZO-compressed entry (one literal run: length + 17, the bytes, then the end marker) reads
// through the lock as its unpacked bytes, not the stored LZO data.
TEST_F(XChange, LockFileOfACompressedEntryReadsItsUnpackedBytes)
{
    std::string b;
    auto u32 = [&b](uint32_t n) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<char>(n >> (8 * i)));
    };
    const std::string lzo = std::string(1, char(8 + 17)) + "JPEGDATA" + std::string("\x11\x00\x00", 3);
    u32(0xABCDF707u);
    u32(1);
    const std::string name = "maps\\pic.jpg";
    u32(static_cast<uint32_t>(name.size()));
    b += name;
    u32(static_cast<uint32_t>(lzo.size()));
    b.push_back(1);
    u32(8);
    b += lzo;
    ASSERT_TRUE(qort::writeText("p.dat", b));
    ASSERT_TRUE(m_pack.open("p.dat"));
    m_xchange.setMonofiler(&m_pack);
    for (int i = 0; i < 2; ++i)
    {
        FILE * pFile = m_xchange.lockFile("maps\\pic.jpg", "rb");
        ASSERT_NE(pFile, nullptr);
        char ac[16];
        EXPECT_EQ(std::string(ac, std::fread(ac, 1, sizeof ac, pFile)), "JPEGDATA");
        m_xchange.unlockFile();
    }
}

TEST_F(XChange, LockFileFallsBackToTheDiskAndUnlockClosesThatStream)
{
    writePack("p.dat", {{"in_pack.txt", "p"}});
    ASSERT_TRUE(m_pack.open("p.dat"));
    m_xchange.setMonofiler(&m_pack);
    qort::writeText("Disk.JPG", "disk bytes");
    const int nBefore = openFdCount();
    FILE * pFile = m_xchange.lockFile("Disk.JPG", "rb");
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(openFdCount(), nBefore + 1);
    char ac[10];
    ASSERT_EQ(std::fread(ac, 1, 10, pFile), 10u);
    EXPECT_EQ(std::string(ac, 10), "disk bytes");
    m_xchange.unlockFile();
    EXPECT_EQ(openFdCount(), nBefore);
    EXPECT_EQ(m_xchange.lockFile("absent.jpg", "rb"), nullptr);
    m_xchange.unlockFile();

    m_xchange.setMonofiler(nullptr);
    pFile = m_xchange.lockFile("Disk.JPG");
    EXPECT_NE(pFile, nullptr) << "no reader registered: the disk";
    m_xchange.unlockFile();
    EXPECT_EQ(openFdCount(), nBefore);
}

TEST_F(XChange, DataNamesWithBackslashesFindTheirFoldersOnTheDisk)
{
    EXPECT_FALSE(m_pack.open("missing.dat"));
    m_xchange.setMonofiler(&m_pack);
    std::filesystem::create_directories("maps/sub");
    qort::writeText("maps/sub/fire_001.jpg", "frame one");
    uint n = 0;
    EXPECT_EQ(read(m_xchange, "maps\\sub\\fire_001.jpg", &n), "frame one");
    EXPECT_EQ(n, 9u);
    FILE * pFile = m_xchange.lockFile("maps\\sub\\fire_001.jpg", "rb");
    ASSERT_NE(pFile, nullptr);
    char ac[5];
    ASSERT_EQ(std::fread(ac, 1, 5, pFile), 5u);
    EXPECT_EQ(std::string(ac, 5), "frame");
    m_xchange.unlockFile();
    // A name that really holds a backslash is still found as it is.
    qort::writeText("odd\\name.txt", "odd");
    EXPECT_EQ(read(m_xchange, "odd\\name.txt"), "odd");
    EXPECT_EQ(m_pack.getFileSize("maps\\sub\\fire_001.jpg"), 9u);
}
