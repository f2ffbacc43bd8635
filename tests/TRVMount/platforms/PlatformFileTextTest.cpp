#include "platforms/PlatformFileText.h"

#include <gtest/gtest.h>

namespace {

struct QuotedCase {
    const char* line;
    const char* value;
};

class QuotedValueOfALine : public testing::TestWithParam<QuotedCase> {};

TEST_P(QuotedValueOfALine, IsBetweenTheFirstTwoQuotes)
{
    EXPECT_EQ(GetParam().value, QuotedValue(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(Lines, QuotedValueOfALine,
                         testing::Values(QuotedCase{"DEVICE=\"/dev/sdb1\"", "/dev/sdb1"},
                                         QuotedCase{"LABEL=\"REC\" # \"comment\"", "REC"},
                                         QuotedCase{"LABEL=\"no closing quote", "no closing quote"},
                                         QuotedCase{"LABEL=unquoted", "LABEL=unquoted"},
                                         QuotedCase{"LABEL=\"\"", ""}, QuotedCase{"", ""},
                                         QuotedCase{"AUTOMOUNT_DIR=\"/media/USB DISK\"", "/media/USB DISK"}));

TEST(PlatformFileText, PrefixAndSuffixTests)
{
    EXPECT_TRUE(StartsWith("DEVICES=\"x\"", "DEVICE"));
    EXPECT_FALSE(StartsWith("Devicename", "DeviceName"));
    EXPECT_FALSE(StartsWith("DEV", "DEVICE"));
    EXPECT_TRUE(EndsWith("/dev/sdb1", "sdb1"));
    EXPECT_FALSE(EndsWith("/dev/sdb1", "sdb"));
    EXPECT_FALSE(EndsWith("b1", "sdb1"));
}

}  // namespace
