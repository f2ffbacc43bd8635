// The sysfs readings of the Linux 2.6 monitor: the link of /sys/block/sdX
// cut into the two candidate USB device directories (CutUsbDevicePaths), the
// USB attribute files read into a record (ReadUsbAttributes) and the SCSI
// vendor and model files read as their first word (ReadFirstWord).
//
// The input is cut into pieces at lines that are exactly "%%", in this order:
//
//   the link text, as readlink gives it (one line; a line end is part of the
//   text), then devnum, idProduct, idVendor, product, vendor, model.
//
// All but the first become files of an attribute directory in the scratch
// directory; a piece that the input does not reach stays a missing file. The
// results are compared with the reading rules: the two cut positions; the
// first line of each attribute read as atoi reads it (a missing or empty file
// leaves the field alone); "QRL2100" in product forcing ProductID 10; the
// first white-space delimited word of vendor and model, and the recognition of
// that pair as the maker's device and product line. ChooseUsbDeviceDirectory is
// called on the cut paths as the monitor calls it (it only stats them).
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "TargetSetup.h"
#include "platforms/linux26/UsbDeviceDirectory.h"

namespace {

const char* const kAttributes[] = {"devnum", "idProduct", "idVendor", "product", "vendor", "model"};

std::string ScratchAttributes() { return fuzz::ScratchDir("usb") + "/attributes/"; }

// The cut positions as the monitor's rule gives them: i is the first "/usb";
// j, k and l the next slashes, each searched after the one before.
UsbDevicePaths ExpectedPaths(const std::string& dir, const std::string& link)
{
    UsbDevicePaths paths;
    const size_t i = link.find("/usb");
    if (i == std::string::npos) {
        return paths;
    }
    std::string rest = link.substr(i + 1);
    const size_t j = rest.find('/');
    if (j == std::string::npos) {
        return paths;
    }
    rest = rest.substr(j + 1);
    const size_t k = rest.find('/');
    if (k == std::string::npos) {
        return paths;
    }
    paths.firstLevel = dir + link.substr(0, i + j + k + 3);
    rest = rest.substr(k + 1);
    const size_t l = rest.find('/');
    if (l == std::string::npos) {
        return paths;
    }
    paths.secondLevel = dir + link.substr(0, i + j + k + l + 4);
    return paths;
}

bool FirstLine(const std::vector<std::string>& parts, size_t index, std::string& line)
{
    // An empty file has no first line: it counts as unreadable.
    if (index >= parts.size() || parts[index].empty()) {
        return false;
    }
    line = parts[index].substr(0, parts[index].find('\n'));
    return true;
}

std::string FirstWord(const std::vector<std::string>& parts, size_t index)
{
    if (index >= parts.size()) {
        return "";
    }
    const std::string& text = parts[index];
    size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) {
        ++start;
    }
    size_t end = start;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) {
        ++end;
    }
    return text.substr(start, end - start);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    fuzz::MakeDir(ScratchAttributes());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> parts = fuzz::SplitParts(data, size);
    const std::string attributes = ScratchAttributes();
    const std::string blockDir = fuzz::ScratchDir("usb") + "/block/";

    const std::string& link = parts[0];
    const UsbDevicePaths paths = CutUsbDevicePaths(blockDir, link);
    const UsbDevicePaths expected = ExpectedPaths(blockDir, link);
    FUZZ_CHECK(paths.firstLevel == expected.firstLevel, "first level \"" + paths.firstLevel + "\"");
    FUZZ_CHECK(paths.secondLevel == expected.secondLevel, "second level \"" + paths.secondLevel + "\"");
    if (!paths.secondLevel.empty()) {
        const std::string chosen = ChooseUsbDeviceDirectory(paths);
        FUZZ_CHECK(chosen == paths.firstLevel || chosen == paths.secondLevel, "chosen \"" + chosen + "\"");
    }

    for (size_t i = 0; i < 6; ++i) {
        const std::string path = attributes + kAttributes[i];
        if (i + 1 < parts.size()) {
            fuzz::WriteFile(path, parts[i + 1]);
        } else {
            ::unlink(path.c_str());
        }
    }

    // Start from values no attribute file gives, to see which ones were set.
    MassStorageDeviceInfo record(false);
    record.setDeviceNumber(-7);
    record.ProductID = -8;
    record.VendorID = -9;
    ReadUsbAttributes(attributes, record);
    std::string line;
    const int devnum = FirstLine(parts, 1, line) ? static_cast<int>(std::strtol(line.c_str(), nullptr, 10)) : -7;
    int productId = FirstLine(parts, 2, line) ? static_cast<int>(std::strtol(line.c_str(), nullptr, 10)) : -8;
    const int vendorId = FirstLine(parts, 3, line) ? static_cast<int>(std::strtol(line.c_str(), nullptr, 10)) : -9;
    if (FirstLine(parts, 4, line) && line == "QRL2100") {
        productId = 10;
    }
    FUZZ_CHECK(record.getDeviceNumberReal() == devnum, "devnum " + std::to_string(record.getDeviceNumberReal()));
    FUZZ_CHECK(record.ProductID == productId, "ProductID " + std::to_string(record.ProductID));
    FUZZ_CHECK(record.VendorID == vendorId, "VendorID " + std::to_string(record.VendorID));
    const std::string vendor = ReadFirstWord(attributes + "vendor");
    const std::string model = ReadFirstWord(attributes + "model");
    FUZZ_CHECK(vendor == FirstWord(parts, 5), "vendor word");
    FUZZ_CHECK(model == FirstWord(parts, 6), "model word");
    fuzz::CheckClassification(vendor, model);
    return 0;
}
