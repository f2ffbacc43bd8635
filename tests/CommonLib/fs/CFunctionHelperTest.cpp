#include "fs/CFunctionHelper.h"

#include <climits>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

TEST(ReadLink, GivesTheStoredTextOrNothing)
{
    TempDir dir;
    ASSERT_EQ(0, symlink("../devices/usb1/1-1", (dir / "link").c_str()));
    WriteFile(dir / "file", "x");
    EXPECT_EQ("../devices/usb1/1-1", CFunctionHelper::ReadLink(dir / "link"));
    EXPECT_EQ("", CFunctionHelper::ReadLink(dir / "file"));
    EXPECT_EQ("", CFunctionHelper::ReadLink(dir / "missing"));
}

TEST(ReadLink, CutsAVeryLongContentAfter1023Bytes)
{
    TempDir dir;
    const std::string target(2000, 'a');
    ASSERT_EQ(0, symlink(target.c_str(), (dir / "link").c_str()));
    EXPECT_EQ(target.substr(0, 1023), CFunctionHelper::ReadLink(dir / "link"));
}

struct BaseNameCase {
    const char* path;
    const char* expected;
};

class BaseName : public testing::TestWithParam<BaseNameCase> {};

TEST_P(BaseName, IsThePosixLastComponent)
{
    const std::string path = GetParam().path;
    EXPECT_EQ(GetParam().expected, CFunctionHelper::BaseName(path));
    EXPECT_EQ(GetParam().path, path);
}

INSTANTIATE_TEST_SUITE_P(Paths, BaseName,
                         testing::Values(BaseNameCase{"/sys/block/sdb", "sdb"}, BaseNameCase{"/media/usb0/", "usb0"},
                                         BaseNameCase{"/", "/"}, BaseNameCase{"", "."},
                                         BaseNameCase{"name", "name"}));

TEST(Itoa, WritesDecimalWithSign)
{
    EXPECT_EQ("0", CFunctionHelper::itoa(0));
    EXPECT_EQ("-42", CFunctionHelper::itoa(-42));
    EXPECT_EQ("9223372036854775807", CFunctionHelper::itoa(LONG_MAX));
}

TEST(CharacterDeviceFileExists, OnlyForCharacterDevices)
{
    TempDir dir;
    WriteFile(dir / "file", "");
    EXPECT_TRUE(CFunctionHelper::CharacterDeviceFileExists("/dev/null"));
    EXPECT_FALSE(CFunctionHelper::CharacterDeviceFileExists(dir / "file"));
    EXPECT_FALSE(CFunctionHelper::CharacterDeviceFileExists(dir / "missing"));
}

struct ToIntCase {
    const char* text;
    int expected;
};

class ToInt : public testing::TestWithParam<ToIntCase> {};

TEST_P(ToInt, ReadsLeadingDecimalDigitsLikeAtoi)
{
    EXPECT_EQ(GetParam().expected, CFunctionHelper::toInt(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Texts, ToInt,
                         testing::Values(ToIntCase{"2\n", 2}, ToIntCase{"0123", 123}, ToIntCase{"1a2b", 1},
                                         ToIntCase{"c0de", 0}, ToIntCase{"", 0}, ToIntCase{" -3", -3},
                                         ToIntCase{"+7x", 7}, ToIntCase{"12abc", 12},
                                         ToIntCase{"99999999999999999999999", -1}));

}  // namespace
