// The mount table search: FindMountPoint reads /etc/mtab (here a file in the
// scratch directory) and gives the mount directory of the first line whose
// file-system field ends with the device name.
//
// The input's first line is the device name (sdb1 for a TRV device, sdc for a
// Silvenmar device); the rest is the mount table. The result is compared with
// the reading rule: fields end at the first two blanks (only " " counts), a
// line with fewer than two blanks is skipped, the first match wins and its
// directory is returned as written.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "fs/BoundedRead.h"
#include "platforms/linux26/MountTable.h"

namespace {

std::string Expected(const std::string& table, const std::string& device)
{
    size_t start = 0;
    while (start < table.size()) {
        size_t end = table.find('\n', start);
        if (end == std::string::npos) {
            end = table.size();
        }
        const std::string line = table.substr(start, end - start);
        start = end + 1;
        const size_t a = line.find(' ');
        if (a == std::string::npos) {
            continue;
        }
        const size_t b = line.find(' ', a + 1);
        if (b == std::string::npos) {
            continue;
        }
        const std::string type = line.substr(b + 1, line.find(' ', b + 1) - b - 1);
        if (type == "fuse" || type.rfind("fuse.", 0) == 0) {
            continue;
        }
        const std::string fileSystem = line.substr(0, a);
        if (fileSystem.size() >= device.size() &&
            fileSystem.compare(fileSystem.size() - device.size(), device.size(), device) == 0) {
            return line.substr(a + 1, b - a - 1);
        }
    }
    return "";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    fuzz::ScratchDir("mtab");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string mtab = fuzz::ScratchDir("mtab") + "/mtab";
    std::string device;
    std::string table;
    fuzz::SplitFirstLine(std::string(reinterpret_cast<const char*>(data), size), device, table);
    fuzz::WriteFile(mtab, table);
    std::string bytes;
    ReadBoundedFile(mtab, kMountTableCap, bytes);
    const std::string found = FindMountPoint(bytes, device);
    FUZZ_CHECK(found == Expected(table, device), "mount point \"" + found + "\"");
    return 0;
}
