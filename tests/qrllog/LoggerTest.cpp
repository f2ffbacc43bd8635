// The logger: its settings files, its records, per-thread files and hex dumps.
// It reads its settings once per process, so each case runs in a child.
#include <sys/syscall.h>

#include "LogRecord.h"
#include "qrllog.h"
#include "support/TestSupport.h"

namespace {

// The texts of the records of a type in a log file, one per line.
std::string Texts(const std::string& path, const std::string& type = "Comment")
{
    std::istringstream in(ReadFile(path));
    std::string texts;
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find("] " + type + ": ");
        texts += (at == std::string::npos ? "?" : line.substr(at + type.size() + 4)) + "\n";
    }
    return texts;
}

CASES(Logger, settings)
{
    TempDir root;
    MakeDirs(root / "work");
    for (const auto& [word, path] : {std::pair{w[1], "work/qrllog.ini"}, {w[2], "etc/ZentrixVivozo/qrllog.ini"}}) {
        if (word != "-") WriteFile(root / path, word);
    }
    if (w[2] != "-" && geteuid() != 0) return;  // the system's file is found only in a chroot, which needs root
    ASSERT_EQ(0, RunInChild(root / "work", [&] {
        if (w[2] != "-" && (chroot("..") != 0 || chdir("/work") != 0)) _exit(3);
        QRLLog& log = QRLLog::Instance(0);
        log.setIniFile("qrllog.ini");
        std::ofstream("flags") << log.LogEnabled() << log.LogComment() << log.LogFunction() << log.LogVariable() << log.LogEvent()
                               << log.LogError() << log.LogHexdump();
        log.Write("Comment", "lost", "f.cpp", 1, "f()");
        mkdir("logs", 0755);
        log.Write("Comment", "kept", "f.cpp", 2, "f()");
    }));
    EXPECT_EQ(w[3], ReadFile(root / "work/flags"));
    EXPECT_EQ(w[4] == "logs/trace.log" ? "kept\n" : "lost\nkept\n", Texts(root / ("work/" + w[4])));
    EXPECT_EQ(w[5], ReadFile(root / "work/stdout"));
}

CASES(Logger, hexdump)
{
    TempDir dir;
    const std::string bytes = w[1] == "64KiB+1" ? std::string(0x10001, 'a') : w[1];
    RunInChild(dir.path(), [&] { QRLLog::Instance(0).Hexdump("buffer", bytes.data(), bytes.size(), "f.cpp", 1, "f()"); });
    const std::string texts = Texts(dir / "QRLLogTest.log", "hexdump");
    EXPECT_EQ(w[2], bytes.size() > 0x10000 ? texts.substr(texts.size() - w[2].size()) : texts);
}

TEST(Logger, HasThreeInstances)
{
    EXPECT_TRUE(&QRLLog::Instance(0) == &QRLLog::Instance(7) && &QRLLog::Instance(0) == &QRLLog::Instance(-1));
    EXPECT_TRUE(&QRLLog::Instance(0) != &QRLLog::Instance(1) && &QRLLog::Instance(1) != &QRLLog::Instance(2));
}

TEST(Logger, WritesEachRecordAsOneLineWithTimeThreadsAndSourcePosition)
{
    setenv("TZ", "UTC", 1);
    tzset();
    std::ostringstream out;
    WriteLogRecord(out, timeval{1767225600, 5}, {140233, "N/A", 4711, "Registry.cpp", 27, "bool Registry::OpenKey()"},
                   "Function entry", "OpenKey");
    WriteLogRecord(out, timeval{1798761599, 999999}, {7, "Worker", 8, "a.cpp", 3, "f()"}, "Error", "");
    EXPECT_EQ("2026-01-01 00:00:00.000005 (140233-N/A)[4711] Registry.cpp(27) [bool Registry::OpenKey()] Function entry: "
              "OpenKey\n2026-12-31 23:59:59.999999 (7-Worker)[8] a.cpp(3) [f()] Error: \n", out.str());
}

// The first record reads the settings and goes to the common file; the
// threads' records go to files of their own, each naming its thread.
TEST(Logger, GivesEachThreadItsOwnFileAfterTheRecordThatReadTheSettings)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "Enabled=y\nLogVariable=y\nPerThread=y\nFileName=trace.log\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        QRLLog& log = QRLLog::Instance(0);
        log.Write("Comment", "first", "f.cpp", 1, "f()");
        std::ofstream ids("ids");
        for (const char* name : {"A", "B"}) {
            std::thread([&log, name, &ids] {
                log.setThreadName(name);
                log.Write("Variable", std::string(name), true, "a.cpp", 8, "void f()");
                ids << static_cast<unsigned long>(pthread_self()) << " " << syscall(SYS_gettid) << " ";
            }).join();
        }
    }));
    std::istringstream ids(ReadFile(dir / "ids"));
    std::string a, aTid, b, bTid, lines;
    ids >> a >> aTid >> b >> bTid;
    std::istringstream log(ReadFile(dir / ("trace.log." + a)));
    for (std::string line; std::getline(log, line);) lines += line.substr(line.find(" (") + 2) + "|";
    EXPECT_EQ("first\n", Texts(dir / "trace.log"));
    // A thread given an ended thread's id inherits its file.
    EXPECT_EQ(a + "-A)[" + aTid + "] a.cpp(8) [void f()] Variable: A: 1|" +
                  (a == b ? b + "-B)[" + bTid + "] a.cpp(8) [void f()] Variable: B: 1|" : ""), lines);
}

}  // namespace
