// The file layer: what it opens, what it refuses, and that refused outputs stay untouched.
#include "qor_fileUtil.h"
#include "qor_testUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
TEST(FileUtil, ReadsRegularFilesUpToTheLimit)
{
    qort::TempDir dir;
    const std::string path = dir.file("ten");
    ASSERT_TRUE(qort::writeText(path, "0123456789"));
    std::string data, err;
    ASSERT_TRUE(qoru_readFile(path.c_str(), 10, &data, &err)) << err;
    EXPECT_EQ("0123456789", data);
    EXPECT_FALSE(qoru_readFile(path.c_str(), 9, &data, &err));
    EXPECT_NE(std::string::npos, err.find("larger than the limit of 9 bytes")) << err;
    EXPECT_TRUE(data.empty());

    ASSERT_TRUE(qort::writeText(path, ""));
    EXPECT_TRUE(qoru_readFile(path.c_str(), 0, &data, &err)) << err;
    EXPECT_TRUE(data.empty());
}

TEST(FileUtil, RefusesEveryNonRegularFileWithoutBlocking)
{
    qort::TempDir dir;
    qort::SpecialFiles f(dir);
    struct Case
    {
        std::string path;
        const char * why;
    };
    std::vector<Case> cases = {{f.fifo, "named pipe"}, {f.folder, "folder"}, {dir.file("missing"), "No such file"}};
    if (!f.device.empty())
        cases.push_back({f.device, "character device"});
    for (const Case & c : cases)
    {
        std::string data, err;
        uint64_t nSize = 7;
        EXPECT_FALSE(qoru_readFile(c.path.c_str(), kQorMaxFileSize, &data, &err)) << c.path;
        EXPECT_NE(std::string::npos, err.find(c.why)) << c.path << ": " << err;
        EXPECT_EQ(nullptr, qoru_fopenRead(c.path.c_str(), kQorMaxFileSize, &nSize, &err)) << c.path;
        EXPECT_EQ(0u, nSize);
        EXPECT_EQ(-1, qoru_openRead(c.path.c_str(), kQorMaxFileSize, nullptr, &err)) << c.path;
    }
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

TEST(FileUtil, OutputsNeverReplaceNonRegularFilesOrTheInput)
{
    qort::TempDir dir;
    qort::SpecialFiles f(dir);
    for (const std::string & path : f.all())
    {
        struct stat before;
        ASSERT_EQ(0, lstat(path.c_str(), &before));
        std::string err;
        EXPECT_FALSE(qoru_writeFile(path.c_str(), "x", 1, nullptr, &err)) << path;
        EXPECT_NE(std::string::npos, err.find("not a regular file")) << err;
        EXPECT_EQ(nullptr, qoru_fopenWrite(path.c_str(), "a", &err)) << path;
        struct stat after;
        ASSERT_EQ(0, lstat(path.c_str(), &after));
        EXPECT_EQ(before.st_mode, after.st_mode) << path;
        EXPECT_EQ(before.st_ino, after.st_ino) << path;
    }
    const std::string in = dir.file("in.txt");
    const std::string link = dir.file("link.txt");
    ASSERT_TRUE(qort::writeText(in, "source"));
    ASSERT_EQ(0, symlink(in.c_str(), link.c_str()));
    std::string err;
    EXPECT_FALSE(qoru_writeFile(link.c_str(), "x", 1, in.c_str(), &err));
    EXPECT_NE(std::string::npos, err.find("input")) << err;
    EXPECT_EQ("source", qort::readText(in));
    // Nothing but the files made above is left in the folder (no temporary file).
    std::string ls;
    qort::runCommand("ls -A '" + dir.path() + "'", &ls);
    EXPECT_EQ(std::string("folder\nin.txt\nlink.txt\npipe\n") + (f.device.empty() ? "" : "zero\n"), ls);
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

TEST(FileUtil, AtomicWriteReplacesARegularFileAndKeepsItsMode)
{
    qort::TempDir dir;
    const std::string path = dir.file("out.bin");
    ASSERT_TRUE(qort::writeText(path, "old contents"));
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    std::string err;
    ASSERT_TRUE(qoru_writeFile(path.c_str(), "new", 3, nullptr, &err)) << err;
    EXPECT_EQ("new", qort::readText(path));
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);

    // An aborted output leaves the old file and no temporary one.
    qor_sOutputFile out;
    FILE * pFile = qoru_beginOutput(&out, path.c_str(), nullptr, &err);
    ASSERT_NE(nullptr, pFile);
    std::fputs("half", pFile);
    qoru_abortOutput(&out);
    EXPECT_EQ("new", qort::readText(path));
    std::string ls;
    qort::runCommand("ls -A '" + dir.path() + "'", &ls);
    EXPECT_EQ("out.bin\n", ls);
}

TEST(FileUtil, InPlaceWriterModes)
{
    qort::TempDir dir;
    const std::string path = dir.file("log.txt");
    std::string err;
    FILE * pFile = qoru_fopenWrite(path.c_str(), "wt", &err);
    ASSERT_NE(nullptr, pFile) << err;
    std::fputs("one\n", pFile);
    std::fclose(pFile);
    pFile = qoru_fopenWrite(path.c_str(), "a", &err);
    ASSERT_NE(nullptr, pFile) << err;
    std::fputs("two\n", pFile);
    std::fclose(pFile);
    EXPECT_EQ("one\ntwo\n", qort::readText(path));
    pFile = qoru_fopenWrite(path.c_str(), "w", &err);
    ASSERT_NE(nullptr, pFile) << err;
    std::fclose(pFile);
    EXPECT_EQ("", qort::readText(path));
}
} // namespace
