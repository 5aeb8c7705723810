// The file layer and the two chunk containers: layouts checked byte by byte against
// hand-written images, round trips through the writing halves, and files that lie.
#include <gtest/gtest.h>

#include "qor_testUtil.h"
#include "tz_cChunkTable.h"
#include "tz_cChunkedFile.h"
#include "tz_cFile.h"

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
typedef std::vector<unsigned char> Bytes;

void put32(Bytes & b, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(n >> (8 * i)));
}

// A chunk table image written by hand: magic, signature, version, count, records.
Bytes tableImage(uint32_t nSignature, uint32_t nVersion, const std::vector<std::pair<uint32_t, std::string>> & chunks)
{
    Bytes b;
    put32(b, 0x0CAFA007u);
    put32(b, nSignature);
    put32(b, nVersion);
    put32(b, static_cast<uint32_t>(chunks.size()));
    for (const auto & c : chunks)
    {
        put32(b, c.first);
        put32(b, static_cast<uint32_t>(c.second.size()));
        b.insert(b.end(), c.second.begin(), c.second.end());
    }
    return b;
}

cchar * asText(const Bytes & b) { return reinterpret_cast<cchar *>(b.data()); }

// ---- tz_cFile ---------------------------------------------------------------------------------

TEST(tz_cFile, OpenRefusesNullEmptyAndWhatIsNotARegularFile)
{
    qort::TempDir dir;
    tz_cFile file;
    EXPECT_FALSE(file.open(nullptr, "rb"));
    EXPECT_FALSE(file.open("x", nullptr));
    EXPECT_FALSE(file.open("", "rb"));
    EXPECT_FALSE(file.open(dir.path().c_str(), "rb"));  // a folder
    EXPECT_FALSE(file.open("/dev/null", "rb"));          // a device
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Neither read nor write may block on a FIFO without a peer.
    EXPECT_FALSE(file.open(fifo.c_str(), "rb"));
    EXPECT_FALSE(file.open(fifo.c_str(), "wb"));
    EXPECT_FALSE(file.isOpen());
}

TEST(tz_cFile, ReadWriteSizeSeekAndShortReadAtTheEnd)
{
    qort::TempDir dir;
    const std::string path = dir.file("f.bin");
    {
        tz_cFile out(path.c_str(), "wb");
        ASSERT_TRUE(out.isOpen());
        EXPECT_EQ(out.write("abcdefghij", 10), 10);
        EXPECT_EQ(out.write(nullptr, 4), 0);
        EXPECT_EQ(out.write("x", 0), 0);
        EXPECT_EQ(out.write("x", -1), 0);
        EXPECT_TRUE(out.writeU32(0x04030201u));
    }
    tz_cFile in;
    ASSERT_TRUE(in.open(path.c_str(), "rb"));
    EXPECT_STREQ(in.getPath(), path.c_str());
    EXPECT_STREQ(in.getMode(), "rb");
    EXPECT_EQ(in.size(), 14);
    char buf[32] = {};
    EXPECT_EQ(in.read(buf, 3), 3);
    EXPECT_EQ(in.size(), 14);  // size keeps the position
    EXPECT_EQ(in.tell(), 3);
    EXPECT_EQ(in.remaining(), 11);
    EXPECT_TRUE(in.seek(2, 1));
    EXPECT_EQ(in.read(buf, 2), 2);
    EXPECT_EQ(std::string(buf, 2), "fg");
    EXPECT_TRUE(in.seek(-4, 2));
    uint n = 0;
    EXPECT_TRUE(in.readU32(&n));
    EXPECT_EQ(n, 0x04030201u);
    EXPECT_FALSE(in.readU32(&n));  // nothing left
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(in.seek(8, 0));
    EXPECT_EQ(in.read(buf, 32), 6);  // a short count at the end is returned as it is
    EXPECT_FALSE(in.seek(0, 3));
    in.close();
    EXPECT_EQ(in.size(), 0);
    EXPECT_EQ(in.read(buf, 1), 0);
}

TEST(tz_cFile, CopyRemoveRename)
{
    qort::TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("b"), c = dir.file("c");
    std::string big(5000, 'q');  // more than a few 1024-byte blocks
    big[4999] = 'z';
    ASSERT_TRUE(qort::writeText(a, big));
    EXPECT_TRUE(qoru_fileCopy(a.c_str(), b.c_str(), true));
    EXPECT_EQ(qort::readText(b), big);
    ASSERT_TRUE(qort::writeText(c, "keep"));
    EXPECT_FALSE(qoru_fileCopy(a.c_str(), c.c_str(), true));
    EXPECT_EQ(qort::readText(c), "keep");
    EXPECT_TRUE(qoru_fileCopy(a.c_str(), c.c_str(), false));
    EXPECT_EQ(qort::readText(c), big);
    EXPECT_FALSE(qoru_fileCopy(dir.file("missing").c_str(), c.c_str(), false));
    EXPECT_FALSE(qoru_fileCopy(nullptr, c.c_str(), false));

    EXPECT_TRUE(qoru_fileRename(c.c_str(), dir.file("d").c_str()));
    EXPECT_FALSE(qort::fileExists(c));
    EXPECT_TRUE(qoru_fileRemove(dir.file("d").c_str()));
    EXPECT_FALSE(qoru_fileRemove(dir.file("d").c_str()));
    EXPECT_FALSE(qoru_fileRemove(nullptr));
    EXPECT_FALSE(qoru_fileRename(nullptr, "x"));
}

// ---- tz_cChunkTable ---------------------------------------------------------------------------

TEST(tz_cChunkTable, ReadsAHandWrittenImage)
{
    const Bytes img = tableImage(0x11223344u, 7, {{0xAAu, "hello"}, {0xBBu, ""}, {0xCCu, "xy"}});
    tz_cChunkTable table(0, 0);
    ASSERT_TRUE(table.loadFromMemory(asText(img), img.size())) << table.getLastError();
    EXPECT_EQ(table.getSignature(), 0x11223344u);
    EXPECT_EQ(table.getVersion(), 7u);
    ASSERT_EQ(table.getNbChunk(), 3u);
    EXPECT_EQ(table.getChunkID(0), 0xAAu);
    EXPECT_EQ(table.getChunkSize(0), 5u);
    EXPECT_EQ(std::string(table.getChunkDatas(0), 5), "hello");
    // Header 16, record header 8: the first data byte is at 24, the second record's at 37.
    EXPECT_EQ(table.getChunkOffset(0), 24u);
    EXPECT_EQ(table.getChunkDatas(0), asText(img) + 24);  // points into the buffer
    // A chunk of size 0 points at the next record.
    EXPECT_EQ(table.getChunkSize(1), 0u);
    EXPECT_EQ(table.getChunkDatas(1), asText(img) + 37);
    EXPECT_EQ(table.getChunkOffset(2), 45u);
    // Past the last chunk.
    EXPECT_EQ(table.getChunkID(3), 0u);
    EXPECT_EQ(table.getChunkDatas(3), nullptr);
    EXPECT_EQ(table.getChunkSize(99), 0u);
}

TEST(tz_cChunkTable, EmptyTableAndWrongMagic)
{
    const unsigned char empty[] = {0x07, 0xA0, 0xAF, 0x0C, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0};
    tz_cChunkTable table(0, 0);
    EXPECT_TRUE(table.loadFromMemory(reinterpret_cast<cchar *>(empty), sizeof(empty)));
    EXPECT_EQ(table.getNbChunk(), 0u);
    EXPECT_EQ(table.getSignature(), 0x04030201u);
    Bytes bad = tableImage(1, 1, {});
    bad[0] = 0x08;
    EXPECT_FALSE(table.loadFromMemory(asText(bad), bad.size()));
    EXPECT_NE(std::string(table.getLastError()).find("magic"), std::string::npos);
}

TEST(tz_cChunkTable, EveryTruncationOfAValidImageFails)
{
    const Bytes img = tableImage(0x03D0DEADu, 276, {{1, "abcd"}, {2, ""}, {3, "0123456789"}});
    tz_cChunkTable table(0, 0);
    ASSERT_TRUE(table.loadFromMemory(asText(img), img.size()));
    for (size_t n = 0; n < img.size(); ++n)
    {
        // A copy of exactly n bytes, so that the sanitizer sees any read past it.
        Bytes cut(img.begin(), img.begin() + static_cast<long>(n));
        EXPECT_FALSE(table.loadFromMemory(reinterpret_cast<cchar *>(cut.data()), n)) << "length " << n;
    }
}

struct LyingTable
{
    const char * m_szName;
    Bytes m_image;
    const char * m_szError;  // expected in getLastError()
};

TEST(tz_cChunkTable, CountsAndSizesThatLieAreRefusedWithTheirOffset)
{
    Bytes countMax = tableImage(1, 1, {{5, "abc"}});
    countMax[12] = countMax[13] = countMax[14] = countMax[15] = 0xFF;  // 2^32 - 1 chunks
    Bytes sizeMax = tableImage(1, 1, {{5, "abc"}, {6, "def"}});
    // The second record's size (at 16 + 8 + 3 + 4 = 31) becomes 2^32 - 1.
    for (int i = 31; i < 35; ++i)
        sizeMax[i] = 0xFF;
    Bytes pastEnd = tableImage(1, 1, {{5, "abc"}});
    pastEnd[20] = 4;  // declares 4 bytes, 3 are there
    const LyingTable cases[] = {
        {"count of 2^32-1", countMax, "chunk 1 of 4294967295 at offset 27"},
        {"size of 2^32-1", sizeMax, "chunk 1 of 2 (id 0x00000006) at offset 27 declares 4294967295 bytes"},
        {"size one past the end", pastEnd, "declares 4 bytes, 3 remain"},
    };
    for (const LyingTable & c : cases)
    {
        tz_cChunkTable table(0, 0);
        EXPECT_FALSE(table.loadFromMemory(asText(c.m_image), c.m_image.size())) << c.m_szName;
        EXPECT_NE(std::string(table.getLastError()).find(c.m_szError), std::string::npos)
            << c.m_szName << ": " << table.getLastError();
    }
}

TEST(tz_cChunkTable, WritesTheLayoutAndReadsItBackFromPathAndStream)
{
    qort::TempDir dir;
    const std::string path = dir.file("t.bin");
    tz_cChunkTable out(0x03D0DEADu, 276);
    EXPECT_FALSE(out.append("x", 1));  // no current chunk
    ASSERT_TRUE(out.addChunk(0xDEAD0001u));
    ASSERT_TRUE(out.append("ab", 2));
    ASSERT_TRUE(out.append("cde", 3));
    EXPECT_FALSE(out.append(nullptr, 3));
    ASSERT_TRUE(out.addChunk(0xDEAD0002u));  // an empty chunk
    ASSERT_TRUE(out.addChunk(0xDEAD0003u));
    ASSERT_TRUE(out.append("z", 1));
    ASSERT_TRUE(out.save(path.c_str()));
    EXPECT_EQ(qort::readBytes(path),
              tableImage(0x03D0DEADu, 276, {{0xDEAD0001u, "abcde"}, {0xDEAD0002u, ""}, {0xDEAD0003u, "z"}}));

    tz_cChunkTable in(0, 0);
    ASSERT_TRUE(in.load(path.c_str())) << in.getLastError();
    ASSERT_EQ(in.getNbChunk(), 3u);
    EXPECT_EQ(std::string(in.getChunkDatas(0), 5), "abcde");
    EXPECT_NE(in.getChunkDatas(1), nullptr);  // size 0 read from a file still has data
    EXPECT_EQ(in.getChunkSize(1), 0u);
    EXPECT_EQ(in.getChunkOffset(2), 16u + 13 + 8 + 8);

    // From an open stream positioned after a prefix: offsets count from the table's start.
    const std::string prefixed = dir.file("p.bin");
    Bytes img = qort::readBytes(path);
    img.insert(img.begin(), {'P', 'R', 'E'});
    ASSERT_TRUE(qort::writeBytes(prefixed, img.data(), img.size()));
    tz_cFile file(prefixed.c_str(), "rb");
    ASSERT_TRUE(file.seek(3, 0));
    ASSERT_TRUE(in.load(file));
    EXPECT_EQ(in.getChunkOffset(0), 24u);
    EXPECT_EQ(std::string(in.getChunkDatas(2), 1), "z");

    EXPECT_FALSE(in.load(dir.path().c_str()));  // a folder
    EXPECT_FALSE(in.load(dir.file("missing").c_str()));
}

TEST(tz_cChunkTable, FileChunksLargerThanTheFileAreRefusedBeforeAllocating)
{
    qort::TempDir dir;
    const std::string path = dir.file("lie.bin");
    Bytes img = tableImage(1, 1, {{9, "abc"}});
    for (int i = 20; i < 24; ++i)
        img[i] = 0xFF;  // 4 GiB of data declared in a 27-byte file
    ASSERT_TRUE(qort::writeBytes(path, img.data(), img.size()));
    tz_cChunkTable in(0, 0);
    EXPECT_FALSE(in.load(path.c_str()));
    EXPECT_NE(std::string(in.getLastError()).find("declares 4294967295 bytes, 3 remain"), std::string::npos)
        << in.getLastError();
    for (size_t n = 0; n < img.size(); ++n)
    {
        Bytes ok = tableImage(1, 1, {{9, "abc"}, {10, "de"}});
        ASSERT_TRUE(qort::writeBytes(path, ok.data(), n));
        EXPECT_FALSE(in.load(path.c_str())) << "length " << n;
    }
}

TEST(tz_cChunkTable, SaveNeverReplacesWhatIsNotARegularFile)
{
    qort::TempDir dir;
    tz_cChunkTable out(1, 1);
    ASSERT_TRUE(out.addChunk(1));
    EXPECT_FALSE(out.save(dir.path().c_str()));
    EXPECT_FALSE(out.save("/dev/null"));
}

// ---- tz_cChunkedFile ----------------------------------------------------------------------------

TEST(tz_cChunkedFile, ClosingAChunkSumsItsBlocksAndChildren)
{
    qort::TempDir dir;
    const std::string path = dir.file("s.bin");
    tz_cChunkedFile out;
    ASSERT_TRUE(out.open(path.c_str(), "wb"));
    EXPECT_FALSE(out.writeData(4, "abcd"));  // no chunk open
    EXPECT_FALSE(out.closeChunk());
    ASSERT_TRUE(out.openChunk(7));
    ASSERT_TRUE(out.writeData(8, "12345678"));
    ASSERT_TRUE(out.openChunk(9));
    ASSERT_TRUE(out.closeChunk());
    EXPECT_EQ(out.getClosedSize(), 12u);
    EXPECT_EQ(out.getClosedNbSubChunk(), 0u);
    EXPECT_FALSE(out.save());  // chunk 7 is still open
    ASSERT_TRUE(out.closeChunk());
    // 12 + 8 + 12, one child.
    EXPECT_EQ(out.getClosedSize(), 32u);
    EXPECT_EQ(out.getClosedNbSubChunk(), 1u);
    ASSERT_TRUE(out.openChunk(3));
    ASSERT_TRUE(out.writeData(2, "xy"));
    ASSERT_TRUE(out.closeChunk());
    ASSERT_TRUE(out.save());
    out.close();

    Bytes expected;
    put32(expected, 7);
    put32(expected, 32);
    put32(expected, 1);
    for (char c : std::string("12345678"))
        expected.push_back(static_cast<unsigned char>(c));
    put32(expected, 9);
    put32(expected, 12);
    put32(expected, 0);
    put32(expected, 3);
    put32(expected, 14);
    put32(expected, 0);
    expected.push_back('x');
    expected.push_back('y');
    EXPECT_EQ(qort::readBytes(path), expected);

    // Read back in sequence: header, payload by hand, skip.
    tz_cChunkedFile in;
    ASSERT_TRUE(in.open(path.c_str(), "rb"));
    EXPECT_EQ(in.getID(), 0u);
    EXPECT_FALSE(in.skipPayload());  // nothing current
    EXPECT_EQ(in.readHeader(), 7u);
    EXPECT_EQ(in.getSize(), 32u);
    EXPECT_EQ(in.getNbSubChunk(), 1u);
    char buf[8];
    EXPECT_EQ(in.read(buf, 8), 8);
    EXPECT_EQ(in.readHeader(), 9u);
    EXPECT_FALSE(in.skipPayload());  // an empty payload
    EXPECT_EQ(in.readHeader(), 3u);
    EXPECT_EQ(in.getHeaderOffset(), 32);
    EXPECT_TRUE(in.skipPayload());
    EXPECT_EQ(in.readHeader(), 0u);  // the end
    EXPECT_FALSE(in.hasHeader());
}

struct WalkRecord
{
    std::vector<tz_sChunkInfo> m_info;
    static void visit(void * p, const tz_sChunkInfo & info) { static_cast<WalkRecord *>(p)->m_info.push_back(info); }
};

TEST(tz_cChunkedFile, WalkFindsChildrenAfterRawData)
{
    qort::TempDir dir;
    const std::string path = dir.file("w.bin");
    {
        tz_cChunkedFile out;
        ASSERT_TRUE(out.open(path.c_str(), "wb"));
        out.openChunk(2);
        out.writeData(4, "\x02\0\0\0");
        for (int i = 0; i < 2; ++i)
        {
            out.openChunk(0);
            out.writeData(5, "name");
            out.openChunk(5);
            out.writeData(12, "............");
            out.closeChunk();
            out.closeChunk();
        }
        out.closeChunk();
        out.openChunk(1);
        out.writeData(12, "abcdefghijkl");
        out.closeChunk();
        ASSERT_TRUE(out.save());
    }
    tz_cChunkedFile in(path.c_str(), "rb");
    WalkRecord rec;
    ASSERT_TRUE(in.walk(&WalkRecord::visit, &rec)) << in.getLastError();
    ASSERT_EQ(rec.m_info.size(), 6u);
    // Chunk 2: 12 + 4 + 2 * (12 + 5 + 24) = 98, at 0; its blocks at 16 and 57.
    EXPECT_EQ(rec.m_info[0].m_nID, 2u);
    EXPECT_EQ(rec.m_info[0].m_nSize, 98u);
    EXPECT_EQ(rec.m_info[0].m_nRawBefore, 4);
    EXPECT_TRUE(rec.m_info[0].m_bChildren);
    EXPECT_EQ(rec.m_info[1].m_nOffset, 16);
    EXPECT_EQ(rec.m_info[1].m_nDepth, 1);
    EXPECT_EQ(rec.m_info[1].m_nRawBefore, 5);
    EXPECT_EQ(rec.m_info[2].m_nID, 5u);
    EXPECT_EQ(rec.m_info[2].m_nDepth, 2);
    EXPECT_EQ(rec.m_info[2].m_nOffset, 33);
    EXPECT_EQ(rec.m_info[3].m_nOffset, 57);
    EXPECT_EQ(rec.m_info[5].m_nID, 1u);
    EXPECT_EQ(rec.m_info[5].m_nOffset, 98);
    EXPECT_EQ(rec.m_info[5].m_nDepth, 0);
    EXPECT_FALSE(rec.m_info[5].m_bChildren);
}

TEST(tz_cChunkedFile, SizesThatLieStopTheWalkAndTheSkip)
{
    qort::TempDir dir;
    const std::string path = dir.file("lie.bin");
    struct Case
    {
        const char * m_szName;
        std::vector<uint32_t> m_words;
        const char * m_szError;
    };
    const Case cases[] = {
        // A child larger than its parent: the parent's payload is then raw data, and the
        // parent itself is fine; a top-level chunk larger than the file is not.
        {"top-level size past the end", {1, 100, 0}, "declares 100 bytes, 12 remain"},
        {"size below the header", {1, 4, 0}, "declares 4 bytes"},
        {"size of 2^32-1", {1, 0xFFFFFFFFu, 0}, "declares 4294967295 bytes"},
        {"trailing bytes", {1, 12, 0, 7}, "too few for a chunk header"},
    };
    for (const Case & c : cases)
    {
        Bytes b;
        for (uint32_t w : c.m_words)
            put32(b, w);
        ASSERT_TRUE(qort::writeBytes(path, b.data(), b.size()));
        tz_cChunkedFile in(path.c_str(), "rb");
        EXPECT_FALSE(in.walk(nullptr, nullptr)) << c.m_szName;
        EXPECT_NE(std::string(in.getLastError()).find(c.m_szError), std::string::npos)
            << c.m_szName << ": " << in.getLastError();
        ASSERT_TRUE(in.seek(0, 0));
        in.readHeader();
        if (c.m_words[1] > 12)
        {
            EXPECT_FALSE(in.skipPayload()) << c.m_szName;
        }
    }

    // A nested size that lies: the parent holds one sub-chunk whose size runs past the parent.
    Bytes nested;
    for (uint32_t w : {1u, 36u, 1u, 2u, 40u, 0u, 0u, 0u, 0u})
        put32(nested, w);
    ASSERT_TRUE(qort::writeBytes(path, nested.data(), nested.size()));
    tz_cChunkedFile in(path.c_str(), "rb");
    WalkRecord rec;
    ASSERT_TRUE(in.walk(&WalkRecord::visit, &rec));
    ASSERT_EQ(rec.m_info.size(), 1u);
    EXPECT_FALSE(rec.m_info[0].m_bChildren);
    EXPECT_EQ(rec.m_info[0].m_nRawBefore, 24);
}
} // namespace
