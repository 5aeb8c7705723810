#include <gtest/gtest.h>

#include "qor_cConfigFile.h"
#include "qor_testUtil.h"

#include <filesystem>
#include <string>

namespace
{
class ConfigFile : public ::testing::Test
{
protected:
    // Writes application.ini with the text and loads it.
    bool loadText(const std::string & text)
    {
        qort::writeText(path(), text);
        return m_ini.load(path().c_str());
    }
    std::string path() const { return m_dir.file("application.ini"); }
    std::string value(const char * szSection, const char * szKey) const
    {
        const char * sz = m_ini.getValue(szSection, szKey);
        return sz ? sz : "<null>";
    }

    qort::TempDir m_dir;
    qor_cConfigFile m_ini;
};
} // namespace

TEST_F(ConfigFile, ReadsTheApplicationSection)
{
    ASSERT_TRUE(loadText("[APPLICATION]\nID=1\nUSER=0\n"));
    EXPECT_EQ(value("APPLICATION", "ID"), "1");
    EXPECT_EQ(value("APPLICATION", "USER"), "0");
    EXPECT_EQ(m_ini.getNbSection(), 1);
}

TEST_F(ConfigFile, MissingFileIsCreatedEmpty)
{
    ASSERT_FALSE(qort::fileExists(path()));
    EXPECT_TRUE(m_ini.load(path().c_str()));
    EXPECT_TRUE(qort::fileExists(path()));
    EXPECT_EQ(std::filesystem::file_size(path()), 0u);
    EXPECT_EQ(m_ini.getValue("APPLICATION", "ID"), nullptr);
}

TEST_F(ConfigFile, FileThatCanBeNeitherOpenedNorCreatedFails)
{
    EXPECT_FALSE(m_ini.load(m_dir.file("no/such/folder/application.ini").c_str()));
    EXPECT_FALSE(m_ini.load(nullptr));
}

TEST_F(ConfigFile, IdWithoutUserLeavesUserMissing)
{
    ASSERT_TRUE(loadText("[APPLICATION]\nID=1\n"));
    EXPECT_EQ(value("APPLICATION", "ID"), "1");
    EXPECT_EQ(m_ini.getValue("APPLICATION", "USER"), nullptr);
}

TEST_F(ConfigFile, LastLineWithoutALineBreakCannotBeRead)
{
    ASSERT_TRUE(loadText("[APPLICATION]\nID=1\nUSER=0"));
    EXPECT_EQ(value("APPLICATION", "ID"), "1");
    EXPECT_EQ(m_ini.getValue("APPLICATION", "USER"), nullptr);
}

TEST_F(ConfigFile, KeyAfterASecondSectionBelongsToIt)
{
    ASSERT_TRUE(loadText("[APPLICATION]\n[OTHER]\nID=1\nUSER=0\n"));
    EXPECT_EQ(m_ini.getValue("APPLICATION", "ID"), nullptr);
    EXPECT_EQ(m_ini.getValue("APPLICATION", "USER"), nullptr);
    EXPECT_EQ(value("OTHER", "ID"), "1");
    EXPECT_EQ(value("OTHER", "USER"), "0");
}

TEST_F(ConfigFile, KeysStayInTheirOwnSections)
{
    ASSERT_TRUE(loadText("[A]\nk=1\nj=2\n[B]\nk=3\n\n[C]\nm=4\n"));
    EXPECT_EQ(value("A", "k"), "1");
    EXPECT_EQ(value("A", "j"), "2");
    EXPECT_EQ(value("B", "k"), "3");
    EXPECT_EQ(value("C", "m"), "4");
    EXPECT_EQ(m_ini.getValue("A", "m"), nullptr);
    ASSERT_EQ(m_ini.getNbSection(), 3);
    EXPECT_STREQ(m_ini.getSectionName(1), "B");
    EXPECT_EQ(m_ini.getNbKey("A"), 2);
}

TEST_F(ConfigFile, BlanksAreNotTrimmedAndNamesMatchCaseSensitively)
{
    ASSERT_TRUE(loadText("[APPLICATION]\nID = 1\nid=2\n[application]\nUSER=0\n"));
    EXPECT_EQ(m_ini.getValue("APPLICATION", "ID"), nullptr);
    EXPECT_EQ(value("APPLICATION", "ID "), " 1");
    EXPECT_EQ(value("APPLICATION", "id"), "2");
    EXPECT_EQ(m_ini.getValue("APPLICATION", "USER"), nullptr);
    EXPECT_EQ(value("application", "USER"), "0");
}

TEST_F(ConfigFile, LinesOfAtMost511CharactersAreRead)
{
    const std::string value509(509, 'v'); // "K=" + 509 = 511 characters
    ASSERT_TRUE(loadText("[A]\nK=" + value509 + "\nUSER=0\n"));
    EXPECT_EQ(value("A", "K"), value509);
    EXPECT_EQ(value("A", "USER"), "0");
}

TEST_F(ConfigFile, ALongerKeyLineCannotBeReadAndEndsTheSection)
{
    const std::string value510(510, 'v'); // "K=" + 510 = 512 characters
    ASSERT_TRUE(loadText("[A]\nID=1\nK=" + value510 + "\nUSER=0\n[B]\nX=1\n"));
    EXPECT_EQ(value("A", "ID"), "1");
    EXPECT_EQ(m_ini.getValue("A", "K"), nullptr);
    EXPECT_EQ(m_ini.getValue("A", "USER"), nullptr) << "the section ends at the unreadable line";
    EXPECT_EQ(value("B", "X"), "1") << "the next section is still read";
}

TEST_F(ConfigFile, LinesWithNeitherBracketNorEqualSignAreIgnored)
{
    ASSERT_TRUE(loadText("; comment\n[APPLICATION]\nplain words\nID=1\n\n\nUSER=0\n"));
    EXPECT_EQ(value("APPLICATION", "ID"), "1");
    EXPECT_EQ(value("APPLICATION", "USER"), "0");
    EXPECT_EQ(m_ini.getNbKey("APPLICATION"), 2);
}

TEST_F(ConfigFile, TheValueIsEverythingAfterTheFirstEqualSign)
{
    ASSERT_TRUE(loadText("[A]\nk=a=b\n"));
    EXPECT_EQ(value("A", "k"), "a=b");
}

TEST_F(ConfigFile, AnEmptyValueTakesTheNextLine)
{
    // A line is read with leading line breaks skipped, and the value is a line of its own.
    ASSERT_TRUE(loadText("[A]\nx=\ny=2\nz=3\n"));
    EXPECT_EQ(value("A", "x"), "y=2");
    EXPECT_EQ(m_ini.getValue("A", "y"), nullptr);
    EXPECT_EQ(value("A", "z"), "3");
}

TEST_F(ConfigFile, AnEmptyValueOnTheLastLineSkipsTheKey)
{
    ASSERT_TRUE(loadText("[A]\nk=1\nx=\n"));
    EXPECT_EQ(value("A", "k"), "1");
    EXPECT_EQ(m_ini.getValue("A", "x"), nullptr);
}

TEST_F(ConfigFile, ALaterKeyReplacesAnEarlierOne)
{
    ASSERT_TRUE(loadText("[A]\nID=1\nID=2\n"));
    EXPECT_EQ(value("A", "ID"), "2");
    EXPECT_EQ(m_ini.getNbKey("A"), 1);
}

TEST_F(ConfigFile, WindowsLineBreaksReadAsInTextMode)
{
    ASSERT_TRUE(loadText("[APPLICATION]\r\nID=1\r\nUSER=0\r\n"));
    EXPECT_EQ(value("APPLICATION", "ID"), "1");
    EXPECT_EQ(value("APPLICATION", "USER"), "0");
}

TEST_F(ConfigFile, KeysBeforeTheFirstSectionAreIgnored)
{
    ASSERT_TRUE(loadText("ID=5\n[APPLICATION]\nUSER=0\n"));
    EXPECT_EQ(m_ini.getValue("APPLICATION", "ID"), nullptr);
    EXPECT_EQ(value("APPLICATION", "USER"), "0");
}

TEST_F(ConfigFile, SetValueAddsReplacesAndAppends)
{
    EXPECT_TRUE(m_ini.setValue("S", "a", "1"));
    EXPECT_TRUE(m_ini.setValue("S", "b", "2"));
    EXPECT_TRUE(m_ini.setValue("S", "a", "3"));
    EXPECT_TRUE(m_ini.setValue("T", "a", nullptr));
    EXPECT_EQ(value("S", "a"), "3");
    EXPECT_EQ(value("S", "b"), "2");
    EXPECT_EQ(value("T", "a"), "");
    EXPECT_EQ(m_ini.getNbSection(), 2);
    EXPECT_EQ(m_ini.getValue("U", "a"), nullptr);
    EXPECT_EQ(m_ini.getValue(nullptr, "a"), nullptr);
}

TEST_F(ConfigFile, TheFileStaysOpenUntilDestruction)
{
    auto count = [] {
        int n = 0;
        for (const auto & e : std::filesystem::directory_iterator("/proc/self/fd"))
            (void)e, ++n;
        return n;
    };
    qort::writeText(path(), "[A]\nk=v\n");
    const int nBefore = count();
    {
        qor_cConfigFile ini;
        ASSERT_TRUE(ini.load(path().c_str()));
        EXPECT_EQ(count(), nBefore + 1);
    }
    EXPECT_EQ(count(), nBefore);
}

// 200,000 sections of one key each (3.6 MB) and one section of 200,000 keys: every one is
// found, and a repeated name keeps its first section and replaces the value of its key.
// (Reading is linear in the file's size; a quadratic reader takes minutes here.)
TEST_F(ConfigFile, ManySectionsAndManyKeysAreAllFound)
{
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "[S" + std::to_string(i) + "]\nK=" + std::to_string(i * 3) + "\n";
    text += "[S7]\nK=again\nL=new\n";
    ASSERT_TRUE(loadText(text));
    EXPECT_EQ(m_ini.getNbSection(), 200000);
    for (int i : {0, 1, 7, 99999, 199999})
        EXPECT_EQ(value(("S" + std::to_string(i)).c_str(), "K"), i == 7 ? "again" : std::to_string(i * 3)) << i;
    EXPECT_EQ(m_ini.getNbKey("S7"), 2);
    EXPECT_EQ(value("S7", "L"), "new");
    EXPECT_STREQ(m_ini.getSectionName(199999), "S199999");

    text = "[ONE]\n";
    for (int i = 0; i < 200000; ++i)
        text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    ASSERT_TRUE(loadText(text));
    EXPECT_EQ(m_ini.getNbSection(), 1);
    EXPECT_EQ(m_ini.getNbKey("ONE"), 200000);
    EXPECT_EQ(value("ONE", "K123456"), "123456");
}

// The file is at most 16 MiB (16777216 bytes): at the limit it loads, one byte more is refused
// with the reason; a path that is not a regular file is refused without blocking.
TEST_F(ConfigFile, SizeLimitAndNonRegularFiles)
{
    ASSERT_EQ(qor_cConfigFile::kMaxFileSize, 16777216u);
    const std::string head = "[APPLICATION]\nID=1\n";
    std::string text = head + std::string(16777216 - head.size() - 1, 'x') + "\n";
    ASSERT_TRUE(loadText(text));
    EXPECT_EQ(value("APPLICATION", "ID"), "1");
    EXPECT_STREQ(m_ini.getError(), "");
    text.insert(0, "\n");
    EXPECT_FALSE(loadText(text));
    EXPECT_STREQ(m_ini.getError(), "cannot be read (larger than 16777216 bytes, or out of memory)");
    EXPECT_EQ(m_ini.getNbSection(), 0);

    const qort::SpecialFiles f(m_dir);
    for (const qort::SpecialFiles::Refusal & c : f.refusals())
    {
        EXPECT_FALSE(m_ini.load(c.path.c_str())) << c.path;
        EXPECT_EQ(std::string(m_ini.getError()), c.why);
    }
    if (f.device.empty())
        GTEST_SKIP() << "mknod is not permitted here: the device case was not run";
}
