// The trace records of the configuration-file classes, and the promise that
// a process that never names a logger settings file writes no log at all.
// Each scenario runs in a fresh child: the logger reads its settings once.
#include <gtest/gtest.h>

#include <dirent.h>

#include "config/INIFile.h"
#include "config/Registry.h"
#include "device/MassStorageDeviceInfo.h"
#include "qrllog.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> entries;
    DIR* handle = opendir(dir.c_str());
    while (const dirent* entry = readdir(handle)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            entries.push_back(name);
        }
    }
    closedir(handle);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// "Type: text" of every record, without time, thread and source position; the
// signature is kept where asked for.
std::vector<std::string> Records(const std::string& path, bool withSignature = false)
{
    std::vector<std::string> records;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        const size_t signature = line.find(") [");
        const size_t type = line.find("] ", signature);
        records.push_back(withSignature ? line.substr(signature + 2) : line.substr(type + 2));
    }
    return records;
}

TEST(Tracing, WithoutASettingsFileNothingIsLoggedAndNoFileIsCreated)
{
    TempDir dir;
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        Registry::RegistryFile = "missing.ini";
        Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
        registry.GetString("TRVMountdDEVPath", "/tmp/.VKTMassStorageInfo/");
        registry.GetNumber("Number", 1);
        MassStorageDeviceInfo record(true);
        record.SaveInfoToFile("info");
        record.LoadInfoFromFile("missing");
        INIFile file("");
        file.SaveFile();
    }));
    EXPECT_EQ((std::vector<std::string>{"info", "stdout"}), Entries(dir.path()));
}

TEST(Tracing, RegistryLookupWritesEntryVariablesAndReturns)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "Enabled=y\nLogFunction=y\nLogVariable=y\nFileName=trace.log\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        QRLLog::Instance(0).setIniFile("qrllog.ini");
        Registry::RegistryFile = "missing.ini";
        Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
        registry.GetString("TRVMountdDEVPath", "/tmp/.VKTMassStorageInfo/");
    }));
    EXPECT_EQ((std::vector<std::string>{
                  "[std::string Registry::GetString(LPCTSTR, LPCTSTR)] Function entry: GetString",
                  "[std::string Registry::GetString(LPCTSTR, LPCTSTR)] Variable: valueName: TRVMountdDEVPath",
                  "[std::string Registry::GetString(LPCTSTR, LPCTSTR)] Variable: defaultValue: "
                  "/tmp/.VKTMassStorageInfo/",
                  "[bool Registry::OpenKey()] Function entry: OpenKey",
                  "[bool Registry::OpenKey()] Error: Error loading registry ini: missing.ini",
                  "[bool Registry::OpenKey()] Function return: OpenKey: 0",
                  "[std::string Registry::GetString(LPCTSTR, LPCTSTR)] Function return: GetString: "
                  "/tmp/.VKTMassStorageInfo/",
              }),
              Records(dir / "trace.log", true));
}

TEST(Tracing, INIFileRecordsFollowTheirSwitches)
{
    TempDir dir;
    WriteFile(dir / "qrllog.ini", "Enabled=y\nLogFunction=y\nLogError=y\nFileName=trace.log\n");
    ASSERT_EQ(0, RunInChild(dir.path(), [] {
        QRLLog::Instance(0).setIniFile("qrllog.ini");
        INIFile file("x.ini");
        file.SetValue("Count", 5L);
        file.GetNumber("Count", 1);
        file.LoadFile("missing.ini");  // its error record needs the variable switch
        file.SaveFileAs("");
    }));
    EXPECT_EQ((std::vector<std::string>{
                  "Function entry: INIFile",
                  "Function entry: SetFileNameWithPath",
                  "Function return: void: SetFileNameWithPath",
                  "Function return: void: INIFile",
                  "Function entry: SetValue",
                  "Function return: SetValue: 1",
                  "Function entry: GetNumber",
                  "Function entry: GetString",
                  "Function return: GetString: 5",
                  "Function return: GetNumber: 5",
                  "Function entry: LoadFile",
                  "Function return: LoadFile: 0",
                  "Function entry: SaveFileAs",
                  "Function entry: SetFileNameWithPath",
                  "Function return: void: SetFileNameWithPath",
                  "Function entry: SaveFile",
                  "Function return: SaveFile: 0",
              }),
              Records(dir / "trace.log"));
}

}  // namespace
