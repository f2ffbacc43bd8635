// Logger behaviour that depends on its settings file. The settings are read
// once per process, so every scenario runs in a fresh child process inside its
// own temp directory and reports through the files it leaves there.
#include "qrllog.h"

#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace {

std::string Flags(QRLLog& log)
{
    std::string flags;
    for (bool on : {log.LogEnabled(), log.LogComment(), log.LogFunction(), log.LogVariable(), log.LogEvent(),
                    log.LogError(), log.LogHexdump()}) {
        flags += on ? '1' : '0';
    }
    return flags;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The text field of every record in a log file.
std::vector<std::string> RecordTexts(const std::string& path, const std::string& type)
{
    std::vector<std::string> texts;
    for (const std::string& line : Lines(ReadFile(path))) {
        const std::string marker = "] " + type + ": ";
        const size_t at = line.find(marker);
        texts.push_back(at == std::string::npos ? "<no " + type + ">" + line : line.substr(at + marker.size()));
    }
    return texts;
}

TEST(QRLLogInstance, ThreeIndependentInstancesAndEveryOtherNumberMeansTheFirst)
{
    QRLLog& first = QRLLog::Instance(0);
    EXPECT_EQ(&first, &QRLLog::Instance(7));
    EXPECT_EQ(&first, &QRLLog::Instance(-1));
    EXPECT_EQ(&first, &QRLLog::Instance(3));
    EXPECT_NE(&first, &QRLLog::Instance(1));
    EXPECT_NE(&first, &QRLLog::Instance(2));
    EXPECT_NE(&QRLLog::Instance(1), &QRLLog::Instance(2));
}

struct SettingsCase {
    const char* name;
    const char* file;  // nullptr: no settings file at all
    const char* flags;  // Enabled, Comment, Function, Variable, Event, Error, HexDump
};

class LoggerSettings : public testing::TestWithParam<SettingsCase> {};

TEST_P(LoggerSettings, TurnSwitchesOnOnlyForALowercaseYUnderEnabled)
{
    TempDir dir;
    if (GetParam().file != nullptr) {
        WriteFile(dir / "qrllog.ini", GetParam().file);
    }
    ASSERT_EQ(0, RunInChild(dir.path(), [&] {
        QRLLog& log = QRLLog::Instance(0);
        log.setIniFile("qrllog.ini");
        WriteFile("flags", Flags(log));
    }));
    EXPECT_EQ(GetParam().flags, ReadFile(dir / "flags"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoggerSettings,
    testing::Values(
        SettingsCase{"NoFile", nullptr, "0000000"},
        SettingsCase{"AllOn",
                     "Enabled=y\nLogComment=y\nLogFunction=yes\nLogVariable=y\nLogEvent=y\nLogError=y\nLogHexDump=y\n",
                     "1111111"},
        SettingsCase{"CapitalY", "Enabled=Y\nLogFunction=y\n", "0000000"},
        SettingsCase{"CapitalYes", "Enabled=Yes\nLogFunction=y\n", "0000000"},
        SettingsCase{"One", "Enabled=1\nLogFunction=y\n", "0000000"},
        SettingsCase{"True", "Enabled=true\nLogFunction=y\n", "0000000"},
        SettingsCase{"Empty", "Enabled=\nLogFunction=y\n", "0000000"},
        SettingsCase{"SwitchWithoutEnabled", "LogFunction=y\nLogError=y\n", "0000000"},
        SettingsCase{"OnlySomeKeys", "Enabled = yes\nLogVariable = y\nLogError = n\n", "1001000"},
        SettingsCase{"KeysInOtherCase", "enabled=y\nLOGERROR=y\nlogfunction=y\n", "1010010"},
        SettingsCase{"KeysUnderASection", "[log]\nEnabled=y\nLogError=y\n", "0000000"}),
    [](const testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

TEST(LoggerSettings, FileNameDefaultsToAnIniNameInTheWorkingDirectory)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "Enabled=y\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] { QRLLog::Instance(0).Write("Comment", "hello", "f.cpp", 1, "f()"); }));
    EXPECT_EQ(std::vector<std::string>{"hello"}, RecordTexts(dir / "qrlrdp.ini", "Comment"));
    EXPECT_FALSE(PathExists(dir / "QRLLogTest.log"));
}

TEST(LoggerSettings, WithoutEnabledTheConstructorsFileNameStays)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "FileName=other.log\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] { QRLLog::Instance(0).Write("Comment", "hello", "f.cpp", 1, "f()"); }));
    EXPECT_EQ(std::vector<std::string>{"hello"}, RecordTexts(dir / "QRLLogTest.log", "Comment"));
    EXPECT_FALSE(PathExists(dir / "other.log"));
}

TEST(LoggerSettings, ALogFileThatCannotBeOpenedDropsRecordsAndEachRecordTriesAgain)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "Enabled=y\nFileName=logs/trace.log\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        QRLLog& log = QRLLog::Instance(0);
        log.Write("Comment", "lost", "f.cpp", 1, "f()");
        mkdir("logs", 0755);
        log.Write("Comment", "kept", "f.cpp", 2, "f()");
    }));
    EXPECT_EQ(std::vector<std::string>{"kept"}, RecordTexts(dir / "logs/trace.log", "Comment"));
}

TEST(LoggerSettings, TheWorkingDirectoryFileShadowsTheSystemOneEntirely)
{
    if (!RunningAsRoot()) {
        GTEST_SKIP() << "needs root to chroot into a tree with its own /etc/ZentrixVivozo";
    }
    for (const bool localFile : {false, true}) {
        TempDir root;
        MakeDirs(root / "etc/ZentrixVivozo");
        MakeDirs(root / "work");
        WriteFile(root / "etc/ZentrixVivozo/qrllog.ini", "Enabled=y\nLogError=y\n");
        if (localFile) {
            WriteFile(root / "work/qrllog.ini", "Enabled=y\n");
        }
        ASSERT_EQ(0, RunInChild(root.path(), [] {
            if (chroot(".") != 0 || chdir("/work") != 0) {
                _exit(3);
            }
            QRLLog& log = QRLLog::Instance(0);
            log.setIniFile("qrllog.ini");
            WriteFile("flags", Flags(log));
        }));
        EXPECT_EQ(localFile ? "1000000" : "1000010", ReadFile(root / "work/flags")) << "local file: " << localFile;
    }
}

TEST(LoggerSettings, PrintoutAppearsOnceAfterReadingWhenShowSettingsIsOnUnderEnabled)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "Enabled=y\nLogFunction=y\nLogHexDump=y\nShowSettings=y\n");
    WriteFile(dir / "quiet.ini", "ShowSettings=y\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        QRLLog::Instance(1).setIniFile("quiet.ini");  // ShowSettings without Enabled: nothing
        QRLLog& log = QRLLog::Instance(0);
        log.setIniFile("qrllog.ini");
        log.setIniFile("renamed.ini");  // not read again, only reported
        WriteFile("flags", Flags(log));
        std::cout << "after" << std::endl;
        log.PrintSettings();
    }));
    const std::string printout =
        "----- QRLLog v12.9.1 dumping config:\n"
        "m_bLogComment:false\n"
        "m_bLogFunction:true\n"
        "m_bLogVariable:false\n"
        "m_bLogEvent:false\n"
        "m_bLogError:false\n"
        "m_bLogHexDump:true\n"
        "m_strIniFile:";
    EXPECT_EQ(printout + "qrllog.ini\n--End------------------\nafter\n" + printout +
                  "renamed.ini\n--End------------------\n",
              ReadFile(dir / "stdout"));
    EXPECT_EQ("1010001", ReadFile(dir / "flags"));
}

TEST(LogRecords, MatchTheRecordLayoutFieldByField)
{
    TempDir dir;
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        QRLLog& log = QRLLog::Instance(0);
        log.Write("Function entry", "OpenKey", "Registry.cpp", 42, "bool Registry::OpenKey()");
        log.Write("Variable", std::string("X"), true, "a.cpp", 7, "void f()");
        log.setThreadName("Worker");
        log.Write("Variable", std::string("name"), std::string("value"), "a.cpp", 8, "void f()");
        std::ofstream ids("ids");
        ids << static_cast<unsigned long>(pthread_self()) << " " << syscall(SYS_gettid);
    }));
    std::istringstream ids(ReadFile(dir / "ids"));
    std::string posixId, kernelId;
    ids >> posixId >> kernelId;
    const std::string time = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6})";
    const std::vector<std::string> lines = Lines(ReadFile(dir / "QRLLogTest.log"));
    ASSERT_EQ(3u, lines.size());
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(time + " \\(" + posixId + "-N/A\\)\\[" + kernelId +
                                                      R"(\] Registry\.cpp\(42\) \[bool Registry::OpenKey\(\)\] Function entry: OpenKey)")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(time + " \\(" + posixId + "-N/A\\)\\[" + kernelId +
                                                      R"(\] a\.cpp\(7\) \[void f\(\)\] Variable: X: 1)")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(time + " \\(" + posixId + "-Worker\\)\\[" + kernelId +
                                                      R"(\] a\.cpp\(8\) \[void f\(\)\] Variable: name: value)")))
        << lines[2];
}

TEST(LogRecords, PerThreadFilesTakeEveryRecordAfterTheOneThatReadTheSettings)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "Enabled=y\nPerThread=y\nFileName=trace.log\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        QRLLog& log = QRLLog::Instance(0);
        log.Write("Comment", "first", "f.cpp", 1, "f()");
        std::ofstream ids("ids");
        for (const char* name : {"A", "B"}) {
            std::thread worker([&log, name, &ids] {
                log.setThreadName(name);
                log.Write("Comment", name, "f.cpp", 2, "f()");
                ids << static_cast<unsigned long>(pthread_self()) << " ";
            });
            worker.join();
        }
    }));
    std::istringstream ids(ReadFile(dir / "ids"));
    std::string idA, idB;
    ids >> idA >> idB;
    EXPECT_EQ(std::vector<std::string>{"first"}, RecordTexts(dir / "trace.log", "Comment"));
    if (idA == idB) {
        // The second thread was given the first one's id and inherits its file.
        EXPECT_EQ((std::vector<std::string>{"A", "B"}), RecordTexts(dir / ("trace.log." + idA), "Comment"));
    } else {
        EXPECT_EQ(std::vector<std::string>{"A"}, RecordTexts(dir / ("trace.log." + idA), "Comment"));
        EXPECT_EQ(std::vector<std::string>{"B"}, RecordTexts(dir / ("trace.log." + idB), "Comment"));
    }
}

std::vector<std::string> DumpRows(const std::string& bytes)
{
    TempDir dir;
    RunInChild(dir.path(), [&] { QRLLog::Instance(0).Hexdump("buffer", bytes.data(), bytes.size(), "f.cpp", 1, "f()"); });
    return RecordTexts(dir / "QRLLogTest.log", "hexdump");
}

TEST(Hexdump, FramesTheRowsWithBeginNameLengthAndEnd)
{
    EXPECT_EQ((std::vector<std::string>{"---------Begin---------", "buffer", "Length: 0", "---------End---------"}),
              DumpRows(""));
    EXPECT_EQ((std::vector<std::string>{"---------Begin---------", "buffer", "Length: 5",
                                        "0000 48 65 6C 6C 6F " + std::string(33, ' ') + "Hello",
                                        "---------End---------"}),
              DumpRows("Hello"));
}

TEST(Hexdump, ShowsUnprintableBytesAsDotsAndKeepsTheCharacterColumnAligned)
{
    std::string sixteen;
    for (int i = 0; i < 16; ++i) {
        sixteen += static_cast<char>(i == 15 ? 0xFF : i);
    }
    EXPECT_EQ("0000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E FF ................", DumpRows(sixteen)[3]);

    const std::vector<std::string> rows = DumpRows(std::string("\x1F \x7E\x7F") + "ABCDEFGHIJKLZ");
    ASSERT_EQ(6u, rows.size());
    EXPECT_EQ("Length: 17", rows[2]);
    EXPECT_EQ("0000 1F 20 7E 7F 41 42 43 44 45 46 47 48 49 4A 4B 4C . ~.ABCDEFGHIJKL", rows[3]);
    EXPECT_EQ("0010 5A " + std::string(45, ' ') + "Z", rows[4]);
    EXPECT_EQ(rows[3].find(". ~."), rows[4].find('Z'));
}

TEST(Hexdump, OffsetsGrowBeyondFourDigits)
{
    const std::vector<std::string> rows = DumpRows(std::string(0x10001, 'a'));
    ASSERT_EQ(3u + 0x1001u + 1u, rows.size());
    EXPECT_EQ("Length: 65537", rows[2]);
    std::string fullRow = "FFF0 ";
    for (int i = 0; i < 16; ++i) {
        fullRow += "61 ";
    }
    EXPECT_EQ(fullRow + std::string(16, 'a'), rows[rows.size() - 3]);
    EXPECT_EQ("10000 61 " + std::string(45, ' ') + "a", rows[rows.size() - 2]);
}

}  // namespace
