#include "platforms/PlatformFileText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "support/TempDir.h"

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

// PlatformFile replaces std::ifstream in the platform parsers; the stream's
// >> and getline are the reference for what it must read.
struct FileCase {
    const char* name;
    std::string content;
};

class PlatformFileReads : public testing::TestWithParam<FileCase> {};

std::vector<std::string> WordsOfStream(const std::string& path)
{
    std::ifstream stream(path);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

std::vector<std::string> LinesOfStream(const std::string& path)
{
    std::ifstream stream(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_P(PlatformFileReads, TheWordsAndLinesThatAStreamReads)
{
    TempDir dir;
    WriteFile(dir / "file", GetParam().content);
    std::vector<std::string> words;
    {
        PlatformFile file(dir / "file");
        for (std::string word; file.ReadWord(word);) {
            words.push_back(word);
        }
        std::string untouched = "kept";
        EXPECT_FALSE(file.ReadWord(untouched));
        EXPECT_EQ("kept", untouched);
    }
    std::vector<std::string> lines;
    {
        PlatformFile file(dir / "file");
        for (std::string line; file.ReadLine(line);) {
            lines.push_back(line);
        }
        std::string line;
        EXPECT_FALSE(file.ReadLine(line));
    }
    EXPECT_EQ(WordsOfStream(dir / "file"), words);
    EXPECT_EQ(LinesOfStream(dir / "file"), lines);
}

// The reader fills an 8 KiB buffer: words and lines that cross its edge.
std::string AcrossTheBufferEdge()
{
    return std::string(8190, 'a') + " bcdefgh\nnext line\n" + std::string(9000, 'z') + "\n\n\t tail";
}

INSTANTIATE_TEST_SUITE_P(
    Contents, PlatformFileReads,
    testing::Values(FileCase{"Empty", ""}, FileCase{"OnlyWhiteSpace", " \t\n\v\f\r\n"},
                    FileCase{"EluxDeviceFile", "Zentrix TRV /media/usb0\n"},
                    FileCase{"NoFinalLineEnd", "Zentrix\tTRV\n\n/media/usb0"},
                    FileCase{"CarriageReturns", "DeviceName=\"TRV\"\r\nMountPoint=\"/media/a b\"\r\n"},
                    FileCase{"EmptyLines", "\n\n\nx\n\n"},
                    FileCase{"NulBytes", std::string("ab\0cd ef\n\0\n", 11)},
                    FileCase{"AcrossTheBufferEdge", AcrossTheBufferEdge()},
                    FileCase{"ExactlyOneBuffer", std::string(8191, 'w')}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST(PlatformFile, ThatCannotBeReadReadsNothing)
{
    TempDir dir;
    MakeDirs(dir / "directory");
    for (const std::string& path : {dir / "missing", dir / "directory"}) {
        PlatformFile file(path);
        std::string word = "kept";
        EXPECT_FALSE(file.ReadWord(word)) << path;
        EXPECT_EQ("kept", word) << path;
        std::string line;
        EXPECT_FALSE(file.ReadLine(line)) << path;
    }
}
}  // namespace
