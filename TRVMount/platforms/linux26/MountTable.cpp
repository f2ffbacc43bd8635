#include "platforms/linux26/MountTable.h"

#include <string_view>
#include <utility>

#include "platforms/PlatformFileText.h"

namespace {

// The mount directory of line when its file-system field ends with device.
// Looked at in place: no line is copied to be compared.
bool MatchLine(std::string_view line, const std::string& device, std::string& directory)
{
    const size_t first = line.find(' ');
    if (first == std::string_view::npos) {
        return false;
    }
    const size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return false;
    }
    if (first < device.size() || line.compare(first - device.size(), device.size(), device) != 0) {
        return false;
    }
    directory.assign(line.substr(first + 1, second - first - 1));
    return true;
}

}  // namespace

std::string FindMountPoint(const std::string& mountTable, const std::string& device)
{
    PlatformFile table(mountTable);
    std::string directory;
    for (std::string line; table.ReadLine(line);) {
        if (MatchLine(line, device, directory)) {
            return directory;
        }
    }
    return std::string();
}

MountTableSnapshot::MountTableSnapshot(std::string mountTable) : m_mountTable(std::move(mountTable)) {}

std::string MountTableSnapshot::Find(const std::string& device)
{
    if (!m_read) {
        PlatformFile table(m_mountTable);
        for (std::string line; table.ReadLine(line);) {
            m_lines.append(line).push_back('\n');
        }
        m_read = true;
    }
    std::string directory;
    const std::string_view lines(m_lines);
    for (size_t start = 0; start < lines.size();) {
        const size_t end = lines.find('\n', start);
        if (MatchLine(lines.substr(start, end - start), device, directory)) {
            return directory;
        }
        start = end + 1;
    }
    return std::string();
}
