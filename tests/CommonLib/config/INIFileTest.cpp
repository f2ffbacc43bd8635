#include "config/INIFile.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

TEST(INIFile, KeysKeepTheCaseAndPlaceOfTheirFirstSetting)
{
    TempDir dir;
    INIFile file(dir / "a.ini");
    EXPECT_TRUE(file.SetValue("A", 1L));
    EXPECT_TRUE(file.SetValue("B", 2L));
    EXPECT_TRUE(file.SetValue("a", 3L));
    EXPECT_TRUE(file.SetValue("Negative", -5L));
    EXPECT_TRUE(file.SetValue("Empty", std::string()));
    EXPECT_TRUE(file.SaveFile());
    EXPECT_EQ("A = 3\nB = 2\nNegative = -5\nEmpty = \n", ReadFile(dir / "a.ini"));
}

struct NumberCase {
    const char* text;
    long expected;
};

class GetNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(GetNumber, ReadsLeadingDigitsAndNeverTheDefaultForText)
{
    TempDir dir;
    WriteFile(dir / "n.ini", std::string("Number = ") + GetParam().text + "\n");
    INIFile file(dir / "n.ini");
    ASSERT_TRUE(file.LoadFile(""));
    EXPECT_EQ(GetParam().expected, file.GetNumber("number", 99));
}

INSTANTIATE_TEST_SUITE_P(Texts, GetNumber,
                         testing::Values(NumberCase{"12abc", 12}, NumberCase{"-3", -3}, NumberCase{"\"7\"", 0},
                                         NumberCase{"abc", 0}, NumberCase{"", 0}, NumberCase{"+8", 8},
                                         NumberCase{"2147483647", 2147483647L}));

TEST(INIFile, MissingKeysGiveTheDefaultStringButTheNumberZero)
{
    INIFile file("");
    EXPECT_EQ("d", file.GetString("missing", "d"));
    EXPECT_EQ(0, file.GetNumber("missing", 7));
}

TEST(INIFile, ReadsBlanksAroundTheEqualsSignOrNoneAndIgnoresKeyCase)
{
    TempDir dir;
    WriteFile(dir / "r.ini", "Key=Value\nother = value with blanks  \n[section]\nHidden=1\n");
    INIFile file(dir / "r.ini");
    EXPECT_TRUE(file.LoadFile(""));
    EXPECT_TRUE(file.isOpened());
    EXPECT_EQ("Value", file.GetString("Key", ""));
    EXPECT_EQ("value with blanks", file.GetString("OTHER", ""));
    EXPECT_EQ("none", file.GetString("Hidden", "none"));
}

TEST(INIFile, LoadingNamesTheFileForALaterSave)
{
    TempDir dir;
    WriteFile(dir / "r.ini", "Key=Value\n");
    INIFile file("");
    EXPECT_TRUE(file.LoadFile(dir / "r.ini"));
    EXPECT_EQ(dir / "r.ini", file.GetFileName());
    file.SetValue("Second", std::string("2"));
    EXPECT_TRUE(file.SaveFile());
    EXPECT_EQ("Key = Value\nSecond = 2\n", ReadFile(dir / "r.ini"));
}

TEST(INIFile, FailedLoadsAndSavesReportFalseAndTouchNothing)
{
    TempDir dir;
    INIFile file("");
    EXPECT_FALSE(file.LoadFile(dir / "missing.ini"));
    EXPECT_FALSE(file.isOpened());
    EXPECT_EQ("d", file.GetString("k", "d"));
    EXPECT_EQ(0, file.GetNumber("k", 7));

    INIFile unnamed("");
    unnamed.SetValue("k", std::string("v"));
    EXPECT_FALSE(unnamed.SaveFile());
    EXPECT_FALSE(unnamed.SaveFileAs(""));
    EXPECT_FALSE(unnamed.SaveFileAs(dir / "missing/x.ini"));
    EXPECT_FALSE(PathExists(dir / "missing"));
    EXPECT_TRUE(unnamed.SaveFileAs(dir / "x.ini"));
    EXPECT_TRUE(unnamed.isOpened());
}

TEST(INIFile, ASaveNeverFollowsASymbolicLink)
{
    TempDir dir;
    WriteFile(dir / "victim", "precious");
    ASSERT_EQ(0, symlink((dir / "victim").c_str(), (dir / "planted.ini").c_str()));
    INIFile file("");
    file.SetValue("k", std::string("v"));
    EXPECT_FALSE(file.SaveFileAs(dir / "planted.ini"));
    EXPECT_EQ("precious", ReadFile(dir / "victim"));
}

TEST(INIFile, AWriteThatDoesNotReachTheDiskIsAFailure)
{
    INIFile file("/dev/full");
    file.SetValue("k", std::string("v"));
    EXPECT_FALSE(file.SaveFile());
    EXPECT_FALSE(file.isOpened());
}

}  // namespace
