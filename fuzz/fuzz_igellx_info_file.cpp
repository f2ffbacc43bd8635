// The IGEL LX device file: KEY="value" lines that the platform writes under
// /etc/hotplug/usb-storage, one file per attached device.
//
// The input is the file. It goes through MonitorIgelLX::ParseInfoFile, whose
// record is compared with the reading rule (Manufacturer, DeviceName, DEVICES
// and AUTOMOUNT_DIR; a line belongs to a key it begins with; the value lies
// between the first two double quotes; the last line of a key wins; blanks are
// removed from the mount point), and its vendor and product with the
// recognition rules of the maker's devices. The record is then handed to the
// reconciliation as the monitor's scan would hand it on (mounted and the
// maker's), and an empty scan lets it depart again; the info directory must be
// empty afterwards. (The monitor's own HandleChanges lists the fixed
// /etc/hotplug/usb-storage, which is why the scan's filter is applied here.)
//
// ParseInfoFile pauses 200 microseconds before it opens the file, to let the
// platform finish writing it. The pause has no part in the reading, and it
// would cap the fuzzer at a few thousand inputs a second, so this target is
// linked with usleep wrapped into a call that returns at once.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "TargetSetup.h"
#include "device/MassStorageDevice.h"
#include "platforms/igellx/MonitorIgelLX.h"

extern "C" int __wrap_usleep(useconds_t) { return 0; }

namespace {

struct Target {
    std::string deviceFile;
    std::string infoDir;
    std::string linkDir;
    MonitorIgelLX* monitors[3];
    bool keepLink[3];
    bool realIds[3];
};

Target* MakeTarget()
{
    const std::string& scratch = fuzz::ScratchDir("igellx");
    Target* target = new Target;
    target->deviceFile = scratch + "/usb-storage-device";
    target->linkDir = scratch + "/links";
    fuzz::MakeDir(target->linkDir);
    target->infoDir = fuzz::UsePrivateInfoDirectory(scratch);
    const std::vector<std::string> common = {"-m", "3", "-l", target->linkDir + "/ZentrixTRV", "-s",
                                             target->linkDir + "/ZentrixSilvenmar"};
    const std::vector<std::string> extra[3] = {{}, {"-k"}, {"-k", "-d", "-v"}};
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> arguments = common;
        arguments.insert(arguments.end(), extra[i].begin(), extra[i].end());
        target->monitors[i] = new MonitorIgelLX(*fuzz::NewSettings(arguments));
        target->keepLink[i] = i != 0;
        target->realIds[i] = i == 2;
    }
    return target;
}

Target& Get()
{
    static Target* target = MakeTarget();
    return *target;
}

bool BeginsWith(const std::string& line, const char* key)
{
    const std::string prefix(key);
    return line.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), line.begin());
}

std::string Quoted(const std::string& line)
{
    const size_t first = line.find('"');
    if (first == std::string::npos) {
        return line;
    }
    const size_t second = line.find('"', first + 1);
    if (second == std::string::npos) {
        return line.substr(first + 1);
    }
    return line.substr(first + 1, second - first - 1);
}

struct Expected {
    std::string vendor, product, device, mountPoint;
};

Expected Read(const std::string& text)
{
    Expected expected;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (BeginsWith(line, "DeviceName")) {
            expected.product = Quoted(line);
        }
        if (BeginsWith(line, "Manufacturer")) {
            expected.vendor = Quoted(line);
        }
        if (BeginsWith(line, "DEVICES")) {
            expected.device = Quoted(line);
        }
        if (BeginsWith(line, "AUTOMOUNT_DIR")) {
            expected.mountPoint.clear();
            for (char c : Quoted(line)) {
                if (c != ' ') {
                    expected.mountPoint.push_back(c);
                }
            }
        }
    }
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    Get();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Target& target = Get();
    const int which = static_cast<int>(size % 3);
    MonitorIgelLX& monitor = *target.monitors[which];
    fuzz::WriteFile(target.deviceFile, data, size);

    const MassStorageDeviceInfo record = monitor.ParseInfoFile(target.deviceFile);
    const Expected expected = Read(std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(record.Vendor == expected.vendor, "Manufacturer");
    FUZZ_CHECK(record.Product == expected.product, "DeviceName");
    FUZZ_CHECK(record.Device == expected.device, "DEVICES");
    FUZZ_CHECK(record.MountPoint == expected.mountPoint, "AUTOMOUNT_DIR");
    FUZZ_CHECK(record.ProductID == 0 && record.VendorID == 0 && record.getDeviceNumberReal() == 0,
               "numbers are not 0");
    FUZZ_CHECK(record.getDeviceNumber() == (target.realIds[which] ? 0 : (record.isTRVDevice() ? 0 : 1)),
               "effective device number");

    fuzz::CheckClassification(record.Vendor, record.Product);

    std::vector<MassStorageDeviceInfo> scan;
    if (!record.MountPoint.empty() && MassStorageDevice::isZentrixDevice(record.Vendor, record.Product)) {
        scan.push_back(record);
    }
    monitor.HandleMassStorageDeviceChanges(scan);
    monitor.HandleMassStorageDeviceChanges(std::vector<MassStorageDeviceInfo>());

    fuzz::CheckDepartedAndReset(target.infoDir, target.linkDir, target.keepLink[which]);
    return 0;
}
