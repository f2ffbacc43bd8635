#include "platforms/linux26/MountTable.h"

#include "platforms/PlatformText.h"

std::string FindMountPoint(std::string_view mountTable, std::string_view device)
{
    for (std::string_view line; NextLine(mountTable, line);) {
        const size_t first = line.find(' ');
        if (first == std::string_view::npos) {
            continue;
        }
        const size_t second = line.find(' ', first + 1);
        if (second == std::string_view::npos || !EndsWith(line.substr(0, first), device)) {
            continue;
        }
        const std::string_view type = line.substr(second + 1, line.find(' ', second + 1) - second - 1);
        if (type == "fuse" || StartsWith(type, "fuse.")) {
            continue;
        }
        return std::string(line.substr(first + 1, second - first - 1));
    }
    return std::string();
}
