// The logger settings file (qrllog.ini).
//
// QRLLog reads its settings once per instance and never again (the instances
// live for the whole process and cannot be reset), so the real reading can
// take only one input per process. This target therefore does two things:
//
// - every input is read exactly as QRLLog::ParseIni reads its file: a
//   CSimpleIniA made with the same flags, LoadFile, then GetValue in the
//   unnamed section for the same keys, in the same order, with the same
//   defaults, each put through the same yes-test (the first character is a
//   lowercase 'y'); FileName is taken verbatim, the other keys are read only
//   when Enabled is on. This is fast and keeps libFuzzer's coverage feedback,
//   which a forked child per input would lose.
// - the first input of every process also goes to the real logger
//   (QRLLog::Instance(0).setIniFile), and the switches it reports must be the
//   ones read above. While fuzzing, libFuzzer's first input is always the
//   empty one; when it runs a list of files (a reproducer), the first of them
//   is read by the real code, and the smoke test runs every seed file in a
//   process of its own for that reason.
//
// Nothing in this program writes a log record, so a fuzzed FileName is never
// opened. ShowSettings output goes to the silenced standard output.
#include <SimpleIni.h>

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "qrllog.h"

namespace {

std::string g_file;

struct Switches {
    bool enabled = false;
    std::string fileName = "./QRLLogTest.log";
    bool comment = false, function = false, variable = false, event = false, error = false, hexDump = false;
    bool showSettings = false, perThread = false, useLocks = false;
};

bool Yes(const CSimpleIniA& settings, const char* key)
{
    const char* value = settings.GetValue("", key, "n");
    return value != nullptr && value[0] == 'y';
}

// False when the file did not load (the logger then tries the copy under
// /etc/ZentrixVivozo/, which the real reading below never finds).
bool Read(const std::string& path, Switches& switches)
{
    CSimpleIniA settings(false, false, false);
    if (settings.LoadFile(path.c_str()) < 0) {
        return false;
    }
    if (Yes(settings, "Enabled")) {
        switches.enabled = true;
        const char* fileName = settings.GetValue("", "FileName", "qrlrdp.ini");
        FUZZ_CHECK(fileName != nullptr, "FileName gave no text");
        switches.fileName = fileName;
        switches.comment = Yes(settings, "LogComment");
        switches.function = Yes(settings, "LogFunction");
        switches.variable = Yes(settings, "LogVariable");
        switches.event = Yes(settings, "LogEvent");
        switches.error = Yes(settings, "LogError");
        switches.hexDump = Yes(settings, "LogHexDump");
        switches.showSettings = Yes(settings, "ShowSettings");
        switches.perThread = Yes(settings, "PerThread");
        switches.useLocks = Yes(settings, "UseLocks");
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    g_file = fuzz::ScratchDir("logger") + "/qrllog.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::WriteFile(g_file, data, size);
    Switches switches;
    const bool loaded = Read(g_file, switches);
    FUZZ_CHECK(!switches.function || switches.enabled, "a switch is on while Enabled is off");

    static bool realLoggerUsed = false;
    if (!realLoggerUsed) {
        realLoggerUsed = true;
        QRLLog& log = QRLLog::Instance(0);
        log.setIniFile(g_file);
        if (!loaded) {
            switches = Switches();
        }
        FUZZ_CHECK(log.LogEnabled() == switches.enabled, "Enabled");
        FUZZ_CHECK(log.LogComment() == switches.comment, "LogComment");
        FUZZ_CHECK(log.LogFunction() == switches.function, "LogFunction");
        FUZZ_CHECK(log.LogVariable() == switches.variable, "LogVariable");
        FUZZ_CHECK(log.LogEvent() == switches.event, "LogEvent");
        FUZZ_CHECK(log.LogError() == switches.error, "LogError");
        FUZZ_CHECK(log.LogHexdump() == switches.hexDump, "LogHexDump");
        // The printout reads the switches only; run it whatever ShowSettings says.
        log.PrintSettings();
    }
    return 0;
}
