// qor-scene chunks on files written by the writers; offsets derived from the layouts.
#include <gtest/gtest.h>

#include "qor_cS3dWriter.h"
#include "qor_testUtil.h"

#include <string>
#include <sys/stat.h>

namespace
{
std::string tool() { return qort::binDir() + "/qor-scene"; }

TEST(qor_scene_chunks, ListsAChunkTable)
{
    qort::TempDir dir;
    const std::string path = dir.file("t.s3d");
    qor_cS3dWriter w;
    w.addGlobalInfos(qor_cColor(), qor_cColor());
    w.addChunk(0xDEAD0011u, "ab", 2);
    ASSERT_TRUE(w.save(path.c_str()));
    std::string out;
    ASSERT_EQ(qort::runCommand(tool() + " chunks " + path, &out), 0) << out;
    // Data of chunk 0 at 16 + 8 = 24 (32 bytes), of chunk 1 at 24 + 32 + 8 = 64.
    EXPECT_EQ(out, "chunk table: signature 0x03D0DEAD version 276 chunks 2\n"
                   "  [0] 0xDEAD0017 GlobalInfos          size 32 offset 24\n"
                   "  [1] 0xDEAD0011 -                    size 2 offset 64\n");
}

TEST(qor_scene_chunks, ListsAChunkedStreamAsATree)
{
    qort::TempDir dir;
    const std::string path = dir.file("t.s3d.MOT");
    qor_cMotWriter w;
    w.addCommonInfos(0, 0, 160);
    qor_sMotObject o;
    o.m_strName = "box";
    o.m_position = qor_sMotChannel::constant(1, 2, 3);
    w.addObjectsMotions({o});
    ASSERT_TRUE(w.save(path.c_str()));
    std::string out;
    ASSERT_EQ(qort::runCommand(tool() + " chunks " + path, &out), 0) << out;
    // Chunk 1: 24 bytes at 0. Chunk 2 at 24: 12 + 4 + block; the block at 40: 12 + 128 + the
    // position (12 + 12 = 24) + five empty sub-chunks (12 each) = 224; chunk 2 = 240.
    EXPECT_EQ(out, "chunked stream: 264 bytes\n"
                   "0x00000001 size 24 sub 0 offset 0 raw 12\n"
                   "0x00000002 size 240 sub 1 offset 24 raw 4\n"
                   "  0x00000000 size 224 sub 6 offset 40 raw 128\n"
                   "    0x00000005 size 24 sub 0 offset 180 raw 12\n"
                   "    0x00000000 size 12 sub 0 offset 204 raw 0\n"
                   "    0x00000000 size 12 sub 0 offset 216 raw 0\n"
                   "    0x00000000 size 12 sub 0 offset 228 raw 0\n"
                   "    0x00000000 size 12 sub 0 offset 240 raw 0\n"
                   "    0x00000000 size 12 sub 0 offset 252 raw 0\n");
}

TEST(qor_scene_chunks, FailuresAndUsage)
{
    qort::TempDir dir;
    struct Case
    {
        std::string m_args;
        int m_nExit;
        const char * m_szText;
    };
    const std::string lying = dir.file("lying.bin");
    const unsigned char words[] = {7, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(qort::writeBytes(lying, words, sizeof(words)));
    const std::string table = dir.file("table.s3d");
    const unsigned char header[] = {0x07, 0xA0, 0xAF, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0};
    ASSERT_TRUE(qort::writeBytes(table, header, sizeof(header)));
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const Case cases[] = {
        {"", 2, "no command"},
        {"bogus", 2, "unknown command \"bogus\""},
        {"chunks", 2, "chunks takes one FILE"},
        {"chunks a b", 2, "chunks takes one FILE"},
        {"chunks " + dir.file("missing"), 1, "cannot open as a regular file"},
        {"chunks " + dir.path(), 1, "cannot open as a regular file"},
        {"chunks " + fifo, 1, "cannot open as a regular file"},
        {"chunks " + lying, 1, "declares 100 bytes, 12 remain"},
        {"chunks " + table, 1, "chunk 0 of 5 at offset 16"},
        {"--help", 0, "usage: qor-scene COMMAND"},
    };
    for (const Case & c : cases)
    {
        std::string out;
        EXPECT_EQ(qort::runCommand(tool() + " " + c.m_args + " 2>&1", &out), c.m_nExit) << c.m_args << "\n" << out;
        EXPECT_NE(out.find(c.m_szText), std::string::npos) << c.m_args << "\n" << out;
    }
}
} // namespace
