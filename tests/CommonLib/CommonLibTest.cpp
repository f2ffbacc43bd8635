// The library layer: the tables of cases.txt, and what reads better as steps.

#include "config/INIFile.h"
#include "config/Registry.h"
#include "device/MassStorageDevice.h"
#include "device/MassStorageDeviceInfo.h"
#include "fs/BoundedRead.h"
#include "fs/CFunctionHelper.h"
#include "fs/CommonWrappers.h"
#include "fs/OwnedNames.h"
#include "support/TestSupport.h"

namespace {

using namespace CommonWrappers;
using namespace CFunctionHelper;

CASES(DeviceModel, classify)
{
    const std::string verdict = std::to_string(MassStorageDevice::isZentrixDevice(w[1], w[2])) +
                                std::to_string(MassStorageDevice::isTRVDevice(w[1], w[2])) +
                                std::to_string(MassStorageDevice::isSilvenmarDevice(w[1], w[2]));
    EXPECT_EQ(w[3], verdict);
}

CASES(DeviceModel, record)
{
    TempDir dir;
    MassStorageDeviceInfo r(w[1] == "fake");
    r.Vendor = w[2], r.Product = w[3], r.MountPoint = w[4], r.LinkPath = w[5], r.Connected = "no";
    r.setDeviceNumber(std::stoi(w[6])), r.VendorID = std::stoi(w[7]), r.ProductID = std::stoi(w[8]);
    std::ostringstream text;
    text << r;
    EXPECT_EQ(w[9], text.str());
    EXPECT_TRUE(r.SaveInfoToFile(dir / "info") == 1 && r.SaveInfoToFile(dir / "missing/info") == 0);
    EXPECT_EQ(w[10] + w[10], ReadFile(dir / "info") + r.InfoFileText());
}

CASES(DeviceModel, loadinfo)
{
    TempDir dir;
    if (w[1] != "-") WriteFile(dir / "info", w[1]);
    MassStorageDeviceInfo r(w[2] == "fake");
    const int result = r.LoadInfoFromFile(dir / "info");
    EXPECT_EQ(w[3], r.Vendor + "|" + r.Product + "|" + r.MountPoint + "|" + r.LinkPath + "|" +
                        std::to_string(r.getDeviceNumberReal()) + "|" + r.Connected + "|" + std::to_string(r.VendorID) +
                        "|" + std::to_string(r.ProductID) + "|" + std::to_string(result));
}

CASES(Numbers, number)
{
    TempDir dir;
    EXPECT_EQ(std::stol(w[2]), toInt(w[1]));
    INIFile file("");
    file.SetValue("N", w[1]);
    EXPECT_EQ(std::stol(w[3]), file.GetNumber("n", 99));
    const std::string registryFile = dir / "r.ini";
    WriteFile(registryFile, "Count=" + w[1] + "\n");
    Registry::RegistryFile = registryFile.c_str();
    EXPECT_EQ(std::stoul(w[4]), Registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal).GetNumber("count", 77));
    Registry::RegistryFile = "/etc/ZentrixVivozo/Settings.ini";
}

CASES(Helpers, text) { EXPECT_EQ(w[2] + w[3] + w[4] + w[5], toLower(w[1]) + toUpper(w[1]) + VisibleText(w[1]) + BaseName(w[1])); }

// Runs a shell command in dir, which it prepares for a case.
void Prepare(const TempDir& dir, const std::string& command)
{
    ASSERT_EQ(0, std::system(("cd " + dir.path() + " && " + (command.empty() ? ":" : command)).c_str())) << command;
}

CASES(BoundedRead, read)
{
    TempDir dir;
    Prepare(dir, w[1]);
    std::string bytes = "stale";
    EXPECT_EQ(w[4] == "1", ReadBoundedFile(dir / "f", std::stoul(w[2]), bytes));
    EXPECT_EQ(w[3], bytes);
}

CASES(BoundedRead, lines)
{
    std::string seen;
    LineSplitter lines(std::stoul(w[1]), [&](std::string_view line) { return (seen += std::string(line) + "|", line == "stop"); });
    bool more = true;
    for (size_t at = 0; more && at < w[3].size(); at += std::stoul(w[2])) more = lines.Feed(std::string_view(w[3]).substr(at, std::stoul(w[2])));
    EXPECT_EQ(w[4], more && lines.Finish() ? seen : seen + "stopped");
}

CASES(OwnedNames, place)
{
    TempDir dir;
    Prepare(dir, w[1]);
    const bool regular = std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / "name"));
    const std::string content = regular ? ReadFile(dir / "name") : "";  // never a FIFO's
    const int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    struct stat made {}, now {};
    EXPECT_TRUE(OwnedNames::PlaceNewFile(dirFd, "name", 0644, made));
    EXPECT_TRUE(fstatat(dirFd, "name", &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == made.st_ino && S_ISREG(now.st_mode) && now.st_size == 0);
    std::vector<std::string> names = ListDir(dir.path());
    names.erase(std::find(names.begin(), names.end(), "name"));
    ASSERT_EQ(w[2] == "1" ? 1u : 0u, names.size());
    if (w[2] == "1") {
        EXPECT_TRUE(names[0].size() == 17 && names[0].rfind("name.moved-", 0) == 0 && ReadFile(dir / names[0]) == content);
    }
    EXPECT_EQ(-1, OwnedNames::CreateExclusive(dirFd, "name", 0644)) << "never an existing file";
    close(dirFd);
}

// The file is read at the first lookup and kept while a copy of the key lives;
// a new key reads it again.
CASES(Registry, registry)
{
    TempDir dir;
    const std::string file = dir / "Settings.ini";
    if (w[1] != "-") WriteFile(file, w[1]);
    Registry::RegistryFile = file.c_str();
    Registry registry(HKEY_LOCAL_MACHINE, "Any\\Path", Registry::Force32bit);
    const std::string first = registry.GetString("TRVMountdDEVPath", "/tmp/default/");
    WriteFile(dir / "Settings.ini", "TRVMountdDEVPath=/changed\n");
    EXPECT_EQ(w[2] + " " + w[3], first + " " + registry.GetString("trvmountddevpath", "/tmp/default/"));
    EXPECT_EQ("/changed", Registry::TRVClientExtensionKey(Registry::Normal)->GetString("TRVMountdDEVPath", ""));
    Registry::RegistryFile = TRV_EXAMPLES_DIR "/Settings.ini";
    EXPECT_EQ("/run/trvmountd/", Registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal).GetString("TRVMountdDEVPath", ""));
    Registry::RegistryFile = "/etc/ZentrixVivozo/Settings.ini";
}

std::string Listing(const std::string& dir)  // "name:mode=content", "name->target", "name/:mode" or "name|"
{
    std::string listing;
    for (const std::string& name : ListDir(dir)) {
        struct stat info {};
        lstat((dir + "/" + name).c_str(), &info);
        const std::string mode = ":" + std::to_string((info.st_mode & 0777) / 64) + std::to_string((info.st_mode & 077) / 8) + std::to_string(info.st_mode & 07);
        listing += name + (S_ISLNK(info.st_mode) ? "->" + LinkTarget(dir + "/" + name) : S_ISDIR(info.st_mode) ? "/" + mode : S_ISFIFO(info.st_mode) ? "|" : mode + "=" + ReadFile(dir + "/" + name)) + " ";
    }
    return listing;
}

CASES(FileHelpers, fs)
{
    TempDir dir;
    Prepare(dir, w[1]);
    INIFile ini("");
    const int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    const mode_t mask = umask(022);
    std::vector<std::string> entries;
    const std::map<std::string, std::function<std::string(const std::vector<std::string>&)>> calls{
        {"getDir", [&](auto& a) {
             std::string result = std::to_string(getDir(a[1], entries = {"kept"}));
             for (const std::string& entry : entries) result += " " + entry;
             return result;
         }},
        {"mkdir", [](auto& a) { return std::to_string(CreateDirectory(a[1], std::stoul(a[2], nullptr, 8))); }},
        {"create", [](auto& a) { return std::to_string(CreateFile(a[1], std::stoul(a[2], nullptr, 8))); }},
        {"link", [](auto& a) { return std::to_string(CreateOrUpdateSymLink(a[1], a[2])); }},
        {"unlink", [](auto& a) { return std::to_string(deleteSymLink(a[1])); }},
        {"clear", [&](auto& a) { return std::to_string(OwnedNames::ClearName(dirFd, a[1])); }},
        {"readlink", [](auto& a) { return ReadLink(a[1]); }},
        {"mtime", [](auto& a) { struct stat info {}; return std::to_string(stat(a[1].c_str(), &info) == 0 ? info.st_mtim.tv_sec : -1); }},
        {"isdir", [](auto& a) { return std::to_string(DirectoryExist(a[1])); }},
        {"chardev", [](auto& a) { return std::to_string(CharacterDeviceFileExists(a[1])); }},
        {"itoa", [](auto& a) { return itoa(std::stol(a[1])); }},
        {"replace", [&](auto& a) { return std::to_string(OwnedNames::WriteReplacing(dirFd, a[1], a[2], a[3] + "\n")); }},
        {"suffixes", [](auto&) {  // 4096 of them, each six letters or digits; two in a row differ
             std::string all;
             for (int i = 0; i < 4096; ++i) all += OwnedNames::RandomSuffix() + " ";
             return std::to_string(all.size() == 7 * 4096 && all.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ") == std::string::npos && all.substr(0, 6) != all.substr(7, 6));
         }},
        {"ini-load", [&](auto& a) { return std::to_string(ini.LoadFile(a[1]) && ini.isOpened()); }},
        {"ini-get", [&](auto& a) { return ini.GetString(a[1], "none"); }},
        {"ini-set", [&](auto& a) { return std::to_string(ini.SetValue(a[1], a[2])); }},
        {"ini-set-number", [&](auto& a) { return std::to_string(ini.SetValue(a[1], std::stol(a[2]))); }},
        {"ini-save", [&](auto&) { return std::to_string(ini.SaveFile()); }},
        {"ini-save-as", [&](auto& a) { return std::to_string(ini.SaveFileAs(a.size() > 1 ? a[1] : "")); }}};
    const std::string home = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());  // the calls name paths in dir
    std::istringstream steps(w[2]);
    for (std::string step; std::getline(steps, step, ';');) {
        const size_t is = step.find(" = ");
        std::istringstream in(step.substr(0, is));
        const std::vector<std::string> args{std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
        testing::internal::CaptureStderr();
        const std::string result = calls.at(args[0])(args), said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(step.substr(is + 3), result + (said.empty() ? "" : " " + said)) << step;
    }
    std::filesystem::current_path(home);
    umask(mask);
    close(dirFd);
    EXPECT_EQ(w[3], Listing(dir.path()));
}

}  // namespace
