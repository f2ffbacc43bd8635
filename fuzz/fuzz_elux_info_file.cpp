// The eLux NG device file: three words (vendor, product, mount point) that the
// platform writes into the -e directory, one file per attached device.
//
// The input is the file. It goes through MonitorEluxNG::ParseInfoFile, whose
// record is compared with the reading rule (the first three words separated by
// white space, missing words empty), its vendor and product with the
// recognition rules of the maker's devices; then the file goes through a whole
// pass of the monitor: HandleChanges scans the directory holding the file (the device
// arrives: link and info file), and a second pass after the file is removed
// lets the device depart, which must leave the info directory empty again.
//
// The monitors live in a private scratch directory: the registry file names a
// private info directory, and the link paths lie under it too.
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "TargetSetup.h"
#include "device/MassStorageDevice.h"
#include "platforms/elux/MonitorEluxNG.h"

namespace {

struct Target {
    std::string usbDir;
    std::string deviceFile;
    std::string infoDir;
    std::string linkDir;
    // Three command lines; the input's length picks one, so the same file is
    // always read by the same monitor.
    MonitorEluxNG* monitors[3];
    bool keepLink[3];
};

Target* MakeTarget()
{
    const std::string& scratch = fuzz::ScratchDir("elux");
    Target* target = new Target;
    target->usbDir = scratch + "/usb";
    target->deviceFile = target->usbDir + "/usb-device";
    target->linkDir = scratch + "/links";
    fuzz::MakeDir(target->usbDir);
    fuzz::MakeDir(target->linkDir);
    target->infoDir = fuzz::UsePrivateInfoDirectory(scratch);
    const std::vector<std::string> common = {"-m", "1", "-e", target->usbDir, "-l", target->linkDir + "/ZentrixTRV",
                                             "-s", target->linkDir + "/ZentrixSilvenmar"};
    const std::vector<std::string> extra[3] = {{}, {"-k"}, {"-k", "-d", "-v"}};
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> arguments = common;
        arguments.insert(arguments.end(), extra[i].begin(), extra[i].end());
        // Settings and monitors live for the whole process, as in the daemon.
        target->monitors[i] = new MonitorEluxNG(*fuzz::NewSettings(arguments));
        target->keepLink[i] = i != 0;
    }
    return target;
}

Target& Get()
{
    static Target* target = MakeTarget();
    return *target;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::vector<std::string> Words(const std::string& text, size_t count)
{
    std::vector<std::string> words;
    size_t pos = 0;
    while (words.size() < count) {
        while (pos < text.size() && IsSpace(text[pos])) {
            ++pos;
        }
        const size_t start = pos;
        while (pos < text.size() && !IsSpace(text[pos])) {
            ++pos;
        }
        words.push_back(text.substr(start, pos - start));
    }
    return words;
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
    MonitorEluxNG& monitor = *target.monitors[which];
    fuzz::WriteFile(target.deviceFile, data, size);

    const MassStorageDeviceInfo record = monitor.ParseInfoFile(target.deviceFile);
    const std::vector<std::string> words = Words(std::string(reinterpret_cast<const char*>(data), size), 3);
    FUZZ_CHECK(record.Vendor == words[0], "vendor is not the first word");
    FUZZ_CHECK(record.Product == words[1], "product is not the second word");
    FUZZ_CHECK(record.MountPoint == words[2], "mount point is not the third word");
    FUZZ_CHECK(record.Device.empty() && record.LinkPath.empty() && record.Connected.empty(), "unexpected field");
    FUZZ_CHECK(record.ProductID == 0 && record.VendorID == 0 && record.getDeviceNumberReal() == 0,
               "numbers are not 0");

    fuzz::CheckClassification(record.Vendor, record.Product);

    // One pass with the file (the device arrives if it is the maker's and
    // mounted), one without it (the device departs).
    monitor.HandleChanges();
    fuzz::RemoveTree(target.deviceFile);
    monitor.HandleChanges();

    fuzz::CheckDepartedAndReset(target.infoDir, target.linkDir, target.keepLink[which]);
    return 0;
}
