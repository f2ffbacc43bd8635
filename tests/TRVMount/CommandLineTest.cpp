// Runs the built daemon and compares what it prints, byte for byte, for the
// command lines that end before any monitor is built.
#include <gtest/gtest.h>

#include "support/Process.h"
#include "support/TempDir.h"

namespace {

const char kHelp[] =
    "Zentrix TRVMountd v12.9.1\n"
    "-e or --elux_usb_dir PATH: (only for mode 1)\n"
    "-l or --link_path LINKPATH: (def: /tmp/ZentrixTRV)\n"
    "-s or --link_path_silvenmar LINKPATH: (def: /tmp/ZentrixSilvenmar)\n"
    "-m or --mode MODE: 1: EluxNG, 2: Linux2.6 /sys, 3: IgelLX\n"
    "-u or --ud3: enable Igel UD3 mode (only for mode 2)\n"
    "-i or --igelmediapath: set media path for Igel UDX devices (only for mode 2)\n"
    "-a or --autofspath PATH: autofs path (def: /autofs)\n"
    "-k or --keep_link: always keep link (only for mode 2). Usually for FreeRDP.\n"
    "-f or --force_remove: remove file,directory from link path (only for mode 2). (Warning: use carefully!)\n"
    "-h or --help this help\n"
    "-v verbose mode\n";

const char kEluxWarning[] = "Warning: Elux USB path is used only in EluxNG mode(-m 1)\n";
const char kUD3Warning[] = "Warning: Igel UD3 is used only useable with mode 2(-m 2)\n";

struct Expected {
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int status;
};

std::ostream& operator<<(std::ostream& out, const Expected& e)
{
    for (const std::string& arg : e.args) {
        out << "[" << arg << "]";
    }
    return out;
}

class CommandLine : public testing::TestWithParam<Expected> {};

TEST_P(CommandLine, PrintsExactlyTheTextsAndEndsWithTheStatus)
{
    TempDir workingDirectory;
    const ProcessResult r = RunProgram(TRVMOUNTD_BINARY, GetParam().args, workingDirectory.path());
    EXPECT_EQ(GetParam().out, r.out);
    EXPECT_EQ(GetParam().err, r.err);
    EXPECT_EQ(GetParam().status, r.exitStatus);
}

std::string Summary(const std::string& mode, const std::string& extra = "")
{
    return "Zentrix TRVMountd v12.9.1\n"
           "Mode: " + mode + "\n"
           "Link path TRV:/tmp/ZentrixTRV\n"
           "Link path Silvenmar:/tmp/ZentrixSilvenmar\n"
           "Elux USB  path: \n"
           "Igel UD3 Mode: disabled\n"
           "AutoFS Path: /autofs/\n"
           "Igel Media Path: /media/\n"
           "KeepLink: disabled\n"
           "ForceRemove: disabled\n" + extra;
}

INSTANTIATE_TEST_SUITE_P(
    HelpAndVersion, CommandLine,
    testing::Values(Expected{{"-h"}, kHelp, "", 0}, Expected{{"--help"}, kHelp, "", 0},
                    Expected{{"--he"}, kHelp, "", 0},
                    // Help ends parsing before the mode is looked at.
                    Expected{{"-m", "7", "-h"}, kHelp, "", 0}, Expected{{"-h", "-m", "1", "--bogus"}, kHelp, "", 0},
                    Expected{{"-l", "/custom", "-h"}, kHelp, "", 0},
                    Expected{{"--version"}, "TRVMount v12.9.1\n", "", 0},
                    Expected{{"--vers", "-h"}, "TRVMount v12.9.1\n", "", 0},
                    Expected{{"-m", "1", "-v", "--version"}, "TRVMount v12.9.1\n", "", 0}));

INSTANTIATE_TEST_SUITE_P(
    InvalidMode, CommandLine,
    testing::Values(Expected{{}, "Invalid mode\n", "", 1}, Expected{{"-m", "4"}, "Invalid mode\n", "", 1},
                    Expected{{"-m", "abc"}, "Invalid mode\n", "", 1}, Expected{{"-m", "-1"}, "Invalid mode\n", "", 1},
                    Expected{{"-m", "4294967298"}, "Invalid mode\n", "", 1},
                    Expected{{"-u", "-e", "/elux"}, "Invalid mode\n", std::string(kEluxWarning) + kUD3Warning, 1},
                    Expected{{"-v"}, Summary("0") + "Invalid mode\n", "", 1},
                    Expected{{"-v", "-d", "-m", "9"}, Summary("9", "Use USB IDs: enabled\n") + "Invalid mode\n", "",
                             1},
                    Expected{{"-x", "-m", "5"}, "Invalid mode\n", std::string(TRVMOUNTD_BINARY) + ": invalid option -- 'x'\n", 1}));

TEST(CommandLine, VerboseSummaryShowsEveryGivenValue)
{
    TempDir workingDirectory;
    const ProcessResult r =
        RunProgram(TRVMOUNTD_BINARY,
                   {"-v", "-m", "0", "-l", "/run/trv/", "-s", "/run/sv", "-e", "/elux/usb", "-u", "-a", "/auto", "-i",
                    "/run/media", "-k", "-f"},
                   workingDirectory.path());
    EXPECT_EQ("Zentrix TRVMountd v12.9.1\n"
              "Mode: 0\n"
              "Link path TRV:/run/trv\n"
              "Link path Silvenmar:/run/sv\n"
              "Elux USB  path: /elux/usb\n"
              "Igel UD3 Mode: enabled\n"
              "AutoFS Path: /auto/\n"
              "Igel Media Path: /run/media/\n"
              "KeepLink: enabled\n"
              "ForceRemove: enabled\n"
              "Invalid mode\n",
              r.out);
    EXPECT_EQ(std::string(kEluxWarning) + kUD3Warning, r.err);
    EXPECT_EQ(1, r.exitStatus);
}

}  // namespace
