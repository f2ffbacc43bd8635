#include "platforms/linux26/MountTable.h"

#include "platforms/PlatformText.h"

bool MountPointOfLine(std::string_view line, std::string_view device, std::string& mountPoint)
{
    const size_t first = line.find(' ');
    if (first == std::string_view::npos) {
        return false;
    }
    const size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos || !EndsWith(line.substr(0, first), device)) {
        return false;
    }
    const std::string_view type = line.substr(second + 1, line.find(' ', second + 1) - second - 1);
    if (type == "fuse" || StartsWith(type, "fuse.")) {
        return false;
    }
    mountPoint.assign(line.substr(first + 1, second - first - 1));
    return true;
}
