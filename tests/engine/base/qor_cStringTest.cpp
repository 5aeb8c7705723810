#include <gtest/gtest.h>

#include "qor_cString.h"

#include <string>

TEST(qor_cString, NullIsTheEmptyStringAndNumbersFormat)
{
    qor_cString str;
    EXPECT_EQ(str.data(), nullptr);
    EXPECT_STREQ(str.get(), "");
    EXPECT_EQ(str.length(), 0);
    EXPECT_TRUE(str.set("abc"));
    EXPECT_TRUE(str.set(nullptr));
    EXPECT_TRUE(str.isEmpty());
    EXPECT_STREQ(qor_cString(-42).get(), "-42");
    EXPECT_STREQ(qor_cString(0.5f).get(), "0.5");
    EXPECT_STREQ(qor_cString(1e20f).get(), "1e+20");
}

TEST(qor_cString, PrintfUsesALargerScratchForLongFormatsAndCutsOverflow)
{
    qor_cString str;
    EXPECT_TRUE(str.printf("%s-%d", "frame", 7));
    EXPECT_STREQ(str.get(), "frame-7");
    const std::string big(5000, 'x');
    EXPECT_TRUE(str.printf("%s", big.c_str()));
    EXPECT_EQ(str.length(), 4095) << "a 2-character format formats into the 4096-byte scratch";
    const std::string fmt(500, 'y');
    EXPECT_TRUE(str.printf((fmt + "%s").c_str(), big.c_str()));
    EXPECT_EQ(str.length(), 5019) << "a 502-character format gets a 5020-byte scratch";
}

TEST(qor_cString, AppendCompareAndCase)
{
    qor_cString a("Scenes/");
    qor_cString b = a + "Test.S3D";
    EXPECT_STREQ(b.get(), "Scenes/Test.S3D");
    EXPECT_TRUE(b == "Scenes/Test.S3D");
    EXPECT_FALSE(b == "scenes/test.s3d");
    b.toLower();
    EXPECT_STREQ(b.get(), "scenes/test.s3d");
    b.toUpper();
    EXPECT_STREQ(b.get(), "SCENES/TEST.S3D");
    a += "x";
    EXPECT_STREQ(a.get(), "Scenes/x");
}

TEST(qor_cString, SearchesBothWaysWithCaseFlag)
{
    const qor_cString str("abcABCabc");
    EXPECT_EQ(str.find("abc"), 0);
    EXPECT_EQ(str.find("abc", 1), 6);
    EXPECT_EQ(str.find("abc", 1, false), 3);
    EXPECT_EQ(str.rfind("abc"), 6);
    EXPECT_EQ(str.rfind("abc", 5), 0);
    EXPECT_EQ(str.rfind("ABC", 8, false), 6);
    EXPECT_EQ(str.find("zz"), -1);
    EXPECT_EQ(str.find("abcABCabcd"), -1);
}

TEST(qor_cString, PathSplitterPrefersSlashOverBackslash)
{
    qor_cString folder, file, ext;
    qor_cString("maps\\sub/fire_001.jpg").splitPath(&folder, &file, &ext);
    EXPECT_STREQ(folder.get(), "maps\\sub/");
    EXPECT_STREQ(file.get(), "fire_001.jpg");
    EXPECT_STREQ(ext.get(), "jpg");
    qor_cString("maps\\font").splitPath(&folder, &file, &ext);
    EXPECT_STREQ(folder.get(), "maps\\");
    EXPECT_STREQ(file.get(), "font");
    EXPECT_STREQ(ext.get(), "");
    qor_cString("noext").splitPath(&folder, &file, nullptr);
    EXPECT_STREQ(folder.get(), "");
    EXPECT_STREQ(file.get(), "noext");
}
