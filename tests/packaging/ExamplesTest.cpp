// The example configuration files that the package installs under
// share/doc/trvmountd/examples do what their comments and the manual page say.
#include <gtest/gtest.h>

#include <string>

#include "config/Registry.h"
#include "qrllog.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace {

const std::string kExamples = TRV_EXAMPLES_DIR;

std::string LookUpInfoDirectory(const std::string& registryFile)
{
    const char* saved = Registry::RegistryFile;
    Registry::RegistryFile = registryFile.c_str();
    std::string value;
    {
        Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
        value = registry.GetString("TRVMountdDEVPath", "/tmp/.VKTMassStorageInfo/");
    }
    Registry::RegistryFile = saved;
    return value;
}

TEST(RegistryExample, MovesTheInfoDirectoryToRun)
{
    EXPECT_EQ("/run/trvmountd/", LookUpInfoDirectory(kExamples + "/Settings.ini"));
}

// Enabled, Comment, Function, Variable, Event, Error, HexDump.
std::string Flags(QRLLog& log)
{
    std::string flags;
    for (bool on : {log.LogEnabled(), log.LogComment(), log.LogFunction(), log.LogVariable(), log.LogEvent(),
                    log.LogError(), log.LogHexdump()}) {
        flags += on ? '1' : '0';
    }
    return flags;
}

// The logger reads its settings once per process, hence the child.
TEST(LoggerExample, TracesFunctionsVariablesAndErrorsIntoItsFile)
{
    TempDir dir;
    const std::string settings = kExamples + "/qrllog.ini";
    const std::string registry = kExamples + "/Settings.ini";
    ASSERT_EQ(0, RunInChild(dir.path(), [&] {
        QRLLog& log = QRLLog::Instance(0);
        log.setIniFile(settings);
        WriteFile("flags", Flags(log));
        LookUpInfoDirectory(registry);
    }));
    EXPECT_EQ("1011010", ReadFile(dir / "flags"));
    // ShowSettings is off: nothing on standard output.
    EXPECT_EQ("", ReadFile(dir / "stdout"));
    ASSERT_TRUE(IsRegularFile(dir / "qrllog-trace.log"));
    const std::string trace = ReadFile(dir / "qrllog-trace.log");
    EXPECT_NE(std::string::npos, trace.find("Function entry")) << trace;
    EXPECT_NE(std::string::npos, trace.find("/run/trvmountd/")) << trace;
}

}  // namespace
