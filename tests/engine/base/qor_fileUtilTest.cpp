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
    // An output never follows a link: a link is refused whether it points to the input, to
    // another file or to nothing, by the replacing writer and the in-place one alike; the link
    // and what it points to stay as they were.
    const std::string in = dir.file("in.txt");
    const std::string other = dir.file("other.txt");
    ASSERT_TRUE(qort::writeText(in, "source"));
    ASSERT_TRUE(qort::writeText(other, "other"));
    const std::string aLink[][2] = {{"link.txt", in}, {"link-other.txt", other}, {"link-none.txt", dir.file("none")}};
    for (const auto & l : aLink)
    {
        const std::string link = dir.file(l[0]);
        ASSERT_EQ(0, symlink(l[1].c_str(), link.c_str()));
        std::string err;
        EXPECT_FALSE(qoru_writeFile(link.c_str(), "x", 1, in.c_str(), &err)) << link;
        EXPECT_NE(std::string::npos, err.find("symbolic link")) << err;
        EXPECT_EQ(nullptr, qoru_fopenWrite(link.c_str(), "a", &err)) << link;
        EXPECT_NE(std::string::npos, err.find("symbolic link")) << err;
        struct stat st;
        ASSERT_EQ(0, lstat(link.c_str(), &st));
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    }
    EXPECT_EQ("source", qort::readText(in));
    EXPECT_EQ("other", qort::readText(other));
    EXPECT_FALSE(qort::fileExists(dir.file("none")));
    // A hard link is the input itself under another name.
    const std::string hard = dir.file("hard.txt");
    ASSERT_EQ(0, link(in.c_str(), hard.c_str()));
    std::string err;
    EXPECT_FALSE(qoru_writeFile(hard.c_str(), "x", 1, in.c_str(), &err));
    EXPECT_NE(std::string::npos, err.find("input")) << err;
    EXPECT_EQ("source", qort::readText(in));
    // Nothing but the files made above is left in the folder (no temporary file).
    std::string ls;
    qort::runCommand("ls -A '" + dir.path() + "'", &ls);
    EXPECT_EQ(std::string("folder\nhard.txt\nin.txt\nlink-none.txt\nlink-other.txt\nlink.txt\nother.txt\npipe\n") +
                  (f.device.empty() ? "" : "zero\n"),
              ls);
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}

TEST(FileUtil, DataNamesStayInsideTheShowsFolders)
{
    // Relative names whose components are never "..", with "/" or "\\" between them, pass.
    struct Case
    {
        const char * name;
        bool ok;
    };
    const Case cases[] = {
        {"wall", true},
        {"maps/wall", true},
        {"a\\b\\c", true},
        {"..x", true},
        {"x..", true},
        {"./x", true},
        {"a/.../b", true},
        {"", false},
        {"..", false},
        {"../x", false},
        {"..\\x", false},
        {"a/../b", false},
        {"a\\..\\b", false},
        {"a/..", false},
        {"/etc/passwd", false},
        {"\\x", false},
        {"C:x", false},
        {"c:\\x", false},
        {"../../../../etc/passwd", false},
    };
    for (const Case & c : cases)
        EXPECT_EQ(c.ok, qoru_isDataName(c.name)) << "\"" << c.name << "\"";
    EXPECT_FALSE(qoru_isDataName(nullptr));
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
