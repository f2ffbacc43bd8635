#include "Floor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "fs/CFunctionHelper.h"
#include "platforms/linux26/UsbDeviceDirectory.h"

namespace Floor {

namespace {

const char kBlockDevices[] = "/sys/block/";
const char kMountTable[] = "/etc/mtab";

// One open, one read into a stack buffer, one close; checked, the open does
// not block and only a regular file is read (one fstat), as every platform
// file must be read.
long ReadOnce(const char* path, bool checked = true)
{
    const int fd = open(path, checked ? O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC : O_RDONLY);
    if (fd < 0) {
        return 0;
    }
    struct stat info {};
    if (checked && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
        return 0;
    }
    char buffer[4096];
    const ssize_t length = read(fd, buffer, sizeof(buffer));
    close(fd);
    return length > 0 ? length : 0;
}

bool IsDotEntry(const char* name) { return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')); }

}  // namespace

Linux26Plan PlanLinux26(const std::vector<std::string>& makerNames)
{
    Linux26Plan plan;
    for (const std::string& name : makerNames) {
        Linux26Plan::Maker maker;
        maker.name = name;
        maker.link = kBlockDevices + name;
        const UsbDevicePaths usb = CutUsbDevicePaths(kBlockDevices, CFunctionHelper::ReadLink(maker.link));
        maker.statPath = usb.secondLevel + "devnum";
        const std::string directory = ChooseUsbDeviceDirectory(usb);
        for (const char* file : {"devnum", "busnum", "idProduct", "idVendor", "product"}) {
            maker.usbFiles.push_back(directory + file);
        }
        plan.makers.push_back(maker);
    }
    return plan;
}

long Linux26Pass(const Linux26Plan& plan, bool checked)
{
    long bytes = 0;
    bool mountTableRead = false;
    DIR* dir = opendir(kBlockDevices);
    if (dir == nullptr) {
        return 0;
    }
    char path[4096];
    while (const dirent* entry = readdir(dir)) {
        if (IsDotEntry(entry->d_name)) {
            continue;
        }
        std::snprintf(path, sizeof(path), "%s%s/device/vendor", kBlockDevices, entry->d_name);
        bytes += ReadOnce(path, checked);
        std::snprintf(path, sizeof(path), "%s%s/device/model", kBlockDevices, entry->d_name);
        bytes += ReadOnce(path, checked);
        for (const Linux26Plan::Maker& maker : plan.makers) {
            if (std::strcmp(maker.name.c_str(), entry->d_name) != 0) {
                continue;
            }
            if (!mountTableRead) {
                bytes += ReadOnce(kMountTable, checked);
                mountTableRead = true;
            }
            char target[1024];
            bytes += readlink(maker.link.c_str(), target, sizeof(target));
            struct stat info {};
            bytes += stat(maker.statPath.c_str(), &info);
            for (const std::string& file : maker.usbFiles) {
                bytes += ReadOnce(file.c_str(), checked);
            }
        }
    }
    closedir(dir);
    return bytes;
}

long DeviceFilePass(const char* directory, bool pause)
{
    long bytes = 0;
    DIR* dir = opendir(directory);
    if (dir == nullptr) {
        return 0;
    }
    char path[4096];
    while (const dirent* entry = readdir(dir)) {
        if (IsDotEntry(entry->d_name)) {
            continue;
        }
        std::snprintf(path, sizeof(path), "%s/%s", directory, entry->d_name);
        if (pause) {
            usleep(200);
        }
        bytes += ReadOnce(path);
    }
    closedir(dir);
    return bytes;
}

}  // namespace Floor
