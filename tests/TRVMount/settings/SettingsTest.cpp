#include "settings/Settings.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Parses a command line in this process, as main does, and keeps what was
// printed while parsing.
struct Parsed {
    std::unique_ptr<Settings> settings;
    std::string out;
    std::string err;
};

Parsed Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "TRVMountd");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    Parsed parsed;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.settings = std::make_unique<Settings>(static_cast<int>(args.size()), argv.data());
    parsed.out = testing::internal::GetCapturedStdout();
    parsed.err = testing::internal::GetCapturedStderr();
    return parsed;
}

TEST(Settings, NoOptionsGiveTheDefaultsAndPrintNothing)
{
    const Parsed p = Parse({});
    const Settings& s = *p.settings;
    EXPECT_EQ(0, s.getMode());
    EXPECT_EQ("/tmp/ZentrixTRV", s.getLinkPath_TRV());
    EXPECT_EQ("/tmp/ZentrixSilvenmar", s.getLinkPath_SV());
    EXPECT_EQ("", s.getEluxUSBPath());
    EXPECT_EQ("/etc/hotplug/usb-storage", s.getIgelLXPath());
    EXPECT_EQ("/media/", s.getIgelMediaPath());
    EXPECT_EQ("/autofs/", s.getAutoFSPath());
    EXPECT_FALSE(s.getIgelUD3Mode());
    EXPECT_FALSE(s.getKeepDirectory());
    EXPECT_FALSE(s.getForceRemoveLinkPath());
    EXPECT_FALSE(s.getUseRealUSBIds());
    EXPECT_FALSE(s.Verbose());
    EXPECT_EQ("", p.out);
    EXPECT_EQ("", p.err);
}

TEST(Settings, DefaultConstructedIsEmpty)
{
    const Settings s;
    EXPECT_EQ(0, s.getMode());
    EXPECT_EQ("", s.getLinkPath_TRV());
    EXPECT_EQ("", s.getIgelLXPath());
    EXPECT_EQ("", s.getIgelMediaPath());
    EXPECT_FALSE(s.Verbose());
}

struct ModeCase {
    std::vector<std::string> args;
    int mode;
};

class ModeOption : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeOption, IsReadWithStrtolBaseTen)
{
    EXPECT_EQ(GetParam().mode, Parse(GetParam().args).settings->getMode());
}

INSTANTIATE_TEST_SUITE_P(
    Values, ModeOption,
    testing::Values(ModeCase{{"-m", "2"}, 2}, ModeCase{{"-m2abc"}, 2}, ModeCase{{"-m", "abc"}, 0},
                    ModeCase{{"--mode=3"}, 3}, ModeCase{{"--mode", "1"}, 1}, ModeCase{{"--mo=2"}, 2},
                    ModeCase{{"-m", "010"}, 10}, ModeCase{{"-m", " -4"}, -4}, ModeCase{{"-m", "1", "-m", "3"}, 3},
                    ModeCase{{"-m", "0x2"}, 0},
                    // Too large for an int: no mode rather than one that wraps to 2.
                    ModeCase{{"-m", "4294967298"}, 0}, ModeCase{{"-m", "-4294967295"}, 0}));

struct PathCase {
    std::vector<std::string> args;
    std::string trv;
    std::string silvenmar;
    std::string autofs;
    std::string media;
};

class PathNormalisation : public testing::TestWithParam<PathCase> {};

TEST_P(PathNormalisation, DropsOneSlashFromLinkPathsAndEndsDirectoriesInOne)
{
    const Parsed p = Parse(GetParam().args);
    EXPECT_EQ(GetParam().trv, p.settings->getLinkPath_TRV());
    EXPECT_EQ(GetParam().silvenmar, p.settings->getLinkPath_SV());
    EXPECT_EQ(GetParam().autofs, p.settings->getAutoFSPath());
    EXPECT_EQ(GetParam().media, p.settings->getIgelMediaPath());
}

INSTANTIATE_TEST_SUITE_P(
    Values, PathNormalisation,
    testing::Values(
        PathCase{{"-l", "/tmp/link/", "-s", "/tmp/sv"}, "/tmp/link", "/tmp/sv", "/autofs/", "/media/"},
        PathCase{{"--link_path=/a//", "--link_path_silvenmar", "/b/"}, "/a/", "/b", "/autofs/", "/media/"},
        PathCase{{"-a", "/mnt", "-i", "/media/"}, "/tmp/ZentrixTRV", "/tmp/ZentrixSilvenmar", "/mnt/", "/media/"},
        PathCase{{"--autofspath=/mnt/", "--igelmediapath=/run/media"}, "/tmp/ZentrixTRV", "/tmp/ZentrixSilvenmar",
                 "/mnt/", "/run/media/"},
        // An empty value stands for the built-in default.
        PathCase{{"-l", "", "-s", "", "-a", "", "-i", ""}, "/tmp/ZentrixTRV", "/tmp/ZentrixSilvenmar", "/autofs/",
                 "/media/"},
        PathCase{{"-l", "/x", "--link_path="}, "/tmp/ZentrixTRV", "/tmp/ZentrixSilvenmar", "/autofs/", "/media/"},
        PathCase{{"-l", "/", "-a", "/"}, "", "/tmp/ZentrixSilvenmar", "/", "/media/"}));

TEST(Settings, FlagsAndStoredOnlyValues)
{
    const Parsed p = Parse({"-m", "2", "-u", "-k", "-f", "-d", "-c", "/etc/x.conf", "-p", "/mnt", "-e", "/elux"});
    const Settings& s = *p.settings;
    EXPECT_TRUE(s.getIgelUD3Mode());
    EXPECT_TRUE(s.getKeepDirectory());
    EXPECT_TRUE(s.getForceRemoveLinkPath());
    EXPECT_TRUE(s.getUseRealUSBIds());
    EXPECT_EQ("/elux", s.getEluxUSBPath());
    const Parsed l = Parse({"--ud3", "--keep_link", "--force_remove", "--use_usb_ids", "--elux_usb_dir=/e"});
    EXPECT_TRUE(l.settings->getIgelUD3Mode());
    EXPECT_TRUE(l.settings->getKeepDirectory());
    EXPECT_TRUE(l.settings->getForceRemoveLinkPath());
    EXPECT_TRUE(l.settings->getUseRealUSBIds());
    EXPECT_EQ("/e", l.settings->getEluxUSBPath());
}

struct WarningCase {
    std::vector<std::string> args;
    std::string err;
};

class Warnings : public testing::TestWithParam<WarningCase> {};

const char kEluxWarning[] = "Warning: Elux USB path is used only in EluxNG mode(-m 1)\n";
const char kUD3Warning[] = "Warning: Igel UD3 is used only useable with mode 2(-m 2)\n";

TEST_P(Warnings, GoToStandardErrorAndChangeNothing)
{
    const Parsed p = Parse(GetParam().args);
    EXPECT_EQ(GetParam().err, p.err);
    EXPECT_EQ("", p.out);
}

INSTANTIATE_TEST_SUITE_P(Cases, Warnings,
                         testing::Values(WarningCase{{"-m", "2", "-e", "/elux"}, kEluxWarning},
                                         WarningCase{{"-m", "1", "-e", "/elux"}, ""},
                                         WarningCase{{"-e", ""}, ""},
                                         WarningCase{{"-m", "3", "-u"}, kUD3Warning},
                                         WarningCase{{"-m", "2", "-u"}, ""},
                                         WarningCase{{"-u", "-e", "/x"}, std::string(kEluxWarning) + kUD3Warning}));

TEST(Settings, WarningsKeepTheValues)
{
    const Parsed p = Parse({"-m", "3", "-u", "-e", "/elux"});
    EXPECT_EQ(3, p.settings->getMode());
    EXPECT_TRUE(p.settings->getIgelUD3Mode());
    EXPECT_EQ("/elux", p.settings->getEluxUSBPath());
}

TEST(Settings, UnrecognisedOptionsAndMissingValuesAreReportedAndSkipped)
{
    const Parsed p = Parse({"-x", "--bogus", "-m", "2", "stray", "-k", "-l"});
    EXPECT_EQ(2, p.settings->getMode());
    EXPECT_TRUE(p.settings->getKeepDirectory());
    EXPECT_EQ("/tmp/ZentrixTRV", p.settings->getLinkPath_TRV());
    EXPECT_NE(std::string::npos, p.err.find("invalid option -- 'x'")) << p.err;
    EXPECT_NE(std::string::npos, p.err.find("unrecognized option '--bogus'")) << p.err;
    EXPECT_NE(std::string::npos, p.err.find("option requires an argument -- 'l'")) << p.err;
}

TEST(Settings, ASecondCommandLineIsParsedFromItsStart)
{
    Parse({"-m", "1", "-k", "-m"});  // leaves getopt in the middle of its state
    const Parsed second = Parse({"-m", "3", "-v"});
    EXPECT_EQ(3, second.settings->getMode());
    EXPECT_FALSE(second.settings->getKeepDirectory());
    EXPECT_TRUE(second.settings->Verbose());
}

TEST(Settings, AValueThatLooksLikeAnOptionIsTakenAsTheValue)
{
    const Parsed p = Parse({"-l", "-k", "-e", "--mode=2"});
    EXPECT_EQ("-k", p.settings->getLinkPath_TRV());
    EXPECT_FALSE(p.settings->getKeepDirectory());
    EXPECT_EQ("--mode=2", p.settings->getEluxUSBPath());
    EXPECT_EQ(0, p.settings->getMode());
}

}  // namespace
