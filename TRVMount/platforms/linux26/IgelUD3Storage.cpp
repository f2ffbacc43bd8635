#include "platforms/linux26/IgelUD3Storage.h"

#include <dirent.h>

#include <cerrno>
#include <iostream>

#include "fs/BoundedRead.h"
#include "fs/CFunctionHelper.h"
#include "fs/CommonWrappers.h"
#include "platforms/PlatformText.h"

namespace {

const int kMaxEntries = 200;  // "." and ".." count
const int kMaxVolumeLines = 30;

// The DEVICE and LABEL values of a volume file; the last occurrence within the
// first lines wins.
struct Volume {
    std::string device;
    std::string label;
};

Volume ReadVolume(const std::string& path)
{
    Volume volume;
    std::string bytes;
    ReadBoundedFile(path, kDeviceFileCap, bytes);
    std::string_view text(bytes);
    std::string_view line;
    for (int lines = 0; lines < kMaxVolumeLines && NextLine(text, line); ++lines) {
        if (StartsWith(line, "DEVICE")) {
            volume.device = QuotedValue(line);
        }
        if (StartsWith(line, "LABEL")) {
            volume.label = QuotedValue(line);
        }
    }
    return volume;
}

// The volume file of a storage entry: volume_part0 before volume_part1.
bool ChooseVolumeFile(const std::string& base, std::string& path)
{
    for (const char* name : {"volume_part0", "volume_part1"}) {
        if (CommonWrappers::DirectoryExist(base + name)) {
            path = base + name;
            return true;
        }
    }
    return false;
}

// Searches one first-level directory; true with the label when found.
bool SearchUsbDevice(const std::string& directory, const std::string& device, std::string& label)
{
    DIR* handle = opendir(directory.c_str());
    if (handle == nullptr) {
        return false;
    }
    bool found = false;
    const dirent* entry = nullptr;
    for (int read = 0; !found && read < kMaxEntries && (entry = readdir(handle)) != nullptr; ++read) {
        const std::string name = entry->d_name;
        std::string volumeFile;
        if (name.find("storage") == std::string::npos || !ChooseVolumeFile(directory + name + "/", volumeFile)) {
            continue;
        }
        const Volume volume = ReadVolume(volumeFile);
        if (EndsWith(volume.device, device)) {
            label = volume.label;
            found = true;
        }
    }
    closedir(handle);
    return found;
}

// A label the platform can have mounted the volume under, as one name in the
// media path: "../home/user" or "a/b" would lead the link elsewhere.
bool IsMountableName(const std::string& label)
{
    return !label.empty() && label != "." && label != ".." &&
           label.find_first_of(std::string("/\0", 2)) == std::string::npos && !CFunctionHelper::HasControlCharacter(label);
}

}  // namespace

std::string FindIgelUD3MountPoint(const std::string& storageRoot, const std::string& device,
                                  const std::string& mediaPath)
{
    DIR* root = opendir(storageRoot.c_str());
    if (root == nullptr) {
        const int error = errno;
        std::cout << "Error(" << error << ") opening " << storageRoot << std::endl;
        return std::string();
    }
    std::string label;
    bool found = false;
    const dirent* entry = nullptr;
    for (int read = 0; !found && read < kMaxEntries && (entry = readdir(root)) != nullptr; ++read) {
        const std::string name = entry->d_name;
        if (name.find("usb_device") != std::string::npos) {
            found = SearchUsbDevice(storageRoot + name + "/", device, label);
        }
    }
    closedir(root);
    return found && IsMountableName(label) ? mediaPath + label : std::string();
}
