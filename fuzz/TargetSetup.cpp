#include "TargetSetup.h"

#include <dirent.h>

#include <cstring>

#include "FuzzSupport.h"
#include "config/Registry.h"
#include "device/MassStorageDevice.h"
#include "qrllog.h"

namespace fuzz {

std::string UsePrivateInfoDirectory(const std::string& scratch)
{
    static std::string registryFile;
    const std::string infoDir = scratch + "/info/";
    registryFile = scratch + "/registry.ini";
    WriteFile(registryFile, "TRVMountdDEVPath=" + infoDir + "\n");
    Registry::RegistryFile = registryFile.c_str();
    Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
    const std::string named = registry.GetString("TRVMountdDEVPath", "/tmp/.VKTMassStorageInfo/");
    if (named != infoDir) {
        Fail("the private registry file names " + named + " instead of " + infoDir);
    }
    return infoDir;
}

void TraceToDevNull(const std::string& scratch)
{
    const std::string settings = scratch + "/qrllog.ini";
    WriteFile(settings,
              "Enabled=y\nFileName=/dev/null\nLogComment=y\nLogFunction=y\nLogVariable=y\nLogEvent=y\n"
              "LogError=y\nLogHexDump=y\n");
    QRLLog& log = QRLLog::Instance(0);
    log.setIniFile(settings);
    if (!log.LogFunction() || !log.LogVariable() || !log.LogError()) {
        Fail("the logger did not take its settings from " + settings);
    }
}

namespace {

std::string LowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string TrimEnd(std::string text)
{
    while (!text.empty() && std::strchr(" \t\n\r\f\v", text.back()) != nullptr && text.back() != '\0') {
        text.pop_back();
    }
    return text;
}

}  // namespace

void CheckClassification(const std::string& vendor, const std::string& product)
{
    // The maker's (vendor, product) pairs, lower case.
    static const char* const kPairs[][2] = {
        {"zentrix", "trv3"},
        {"zentrix", "trv4"},
        {"zentrix", "trv3-harddisk"},
        {"zentrix", "trv4-harddisk"},
        {"zentrix", "trv-harddisk"},
        {"zentrix", "silvenmar"},
        {"zentrix_sonivex", "velquor_3"},
        {"zentrix_sonivex", "velquor_4"},
        {"zentrix sonivex", "velquor 3"},
        {"zentrix sonivex", "velquor 4"},
    };
    const std::string v = TrimEnd(LowerAscii(vendor));
    const std::string p = TrimEnd(LowerAscii(product));
    bool zentrix = false;
    for (const auto& pair : kPairs) {
        zentrix = zentrix || (v == pair[0] && p == pair[1]);
    }
    const bool silvenmar = zentrix && LowerAscii(product) == "silvenmar";
    const bool trv = zentrix && !silvenmar;
    if (MassStorageDevice::isZentrixDevice(vendor, product) != zentrix ||
        MassStorageDevice::isSilvenmarDevice(vendor, product) != silvenmar ||
        MassStorageDevice::isTRVDevice(vendor, product) != trv) {
        Fail("the classification of vendor \"" + vendor + "\", product \"" + product + "\" differs");
    }
}

Settings* NewSettings(const std::vector<std::string>& arguments)
{
    std::vector<std::string> copies = arguments;
    copies.insert(copies.begin(), "TRVMountd");
    std::vector<char*> argv;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return new Settings(static_cast<int>(copies.size()), argv.data());
}

std::vector<std::string> ListDir(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(handle)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(handle);
    return names;
}

void CheckDepartedAndReset(const std::string& infoDir, const std::string& linkDir, bool keepLink)
{
    FUZZ_CHECK(ListDir(infoDir).empty(), "a departed device left an info file");
    for (const std::string& name : ListDir(linkDir)) {
        const bool placeholder = name.size() > 13 && name.compare(name.size() - 13, 13, "_NotConnected") == 0;
        const bool linkPath = name == "ZentrixTRV" || name == "ZentrixSilvenmar";
        FUZZ_CHECK(keepLink && (placeholder || linkPath), "a departed device left " + name);
    }
    RemoveTree(linkDir);
    MakeDir(linkDir);
}

}  // namespace fuzz
