#include "platforms/linux26/UsbDeviceDirectory.h"

#include <sys/stat.h>

#include "fs/BoundedRead.h"
#include "fs/CFunctionHelper.h"
#include "platforms/PlatformText.h"

UsbDevicePaths CutUsbDevicePaths(const std::string& dir, const std::string& link)
{
    UsbDevicePaths paths;
    const size_t usb = link.find("/usb");
    if (usb == std::string::npos) {
        return paths;
    }
    // Positions are counted from the root hub component ("usb1/...").
    const size_t rootHubEnd = link.find('/', usb + 1);
    if (rootHubEnd == std::string::npos) {
        return paths;
    }
    const size_t firstEnd = link.find('/', rootHubEnd + 1);
    if (firstEnd == std::string::npos) {
        return paths;
    }
    paths.firstLevel = dir + link.substr(0, firstEnd + 1);
    const size_t secondEnd = link.find('/', firstEnd + 1);
    if (secondEnd == std::string::npos) {
        return paths;
    }
    paths.secondLevel = dir + link.substr(0, secondEnd + 1);
    return paths;
}

std::string ChooseUsbDeviceDirectory(const UsbDevicePaths& paths)
{
    struct stat info {};
    return stat((paths.secondLevel + "devnum").c_str(), &info) == 0 ? paths.secondLevel : paths.firstLevel;
}

namespace {

// The first line of a sysfs attribute, without its line end; false when the
// attribute cannot be read or is empty.
bool ReadFirstLine(const std::string& path, std::string& line)
{
    std::string bytes;
    ReadBoundedFile(path, kSysfsAttributeCap, bytes);
    std::string_view text(bytes);
    std::string_view first;
    if (!NextLine(text, first)) {
        return false;
    }
    line.assign(first);
    return true;
}

}  // namespace

void ReadUsbAttributes(const std::string& usbDirectory, MassStorageDeviceInfo& record)
{
    std::string line;
    if (ReadFirstLine(usbDirectory + "devnum", line)) {
        record.setDeviceNumber(CFunctionHelper::toInt(line));
    }
    if (ReadFirstLine(usbDirectory + "busnum", line)) {
        record.setBusNumber(CFunctionHelper::toInt(line));
    }
    if (ReadFirstLine(usbDirectory + "idProduct", line)) {
        record.ProductID = CFunctionHelper::toInt(line);
    }
    if (ReadFirstLine(usbDirectory + "idVendor", line)) {
        record.VendorID = CFunctionHelper::toInt(line);
    }
    if (ReadFirstLine(usbDirectory + "product", line) && line == "QRL2100") {
        record.ProductID = 10;
    }
}

std::string ReadFirstWord(const std::string& path)
{
    std::string bytes;
    ReadBoundedFile(path, kSysfsAttributeCap, bytes);
    std::string_view text(bytes);
    std::string_view word;
    NextWord(text, word);
    return std::string(word);
}
