#include "platforms/linux26/MountTable.h"

#include <fstream>

#include "platforms/PlatformFileText.h"

std::string FindMountPoint(const std::string& mountTable, const std::string& device)
{
    std::ifstream table(mountTable);
    std::string line;
    while (table.good()) {
        std::getline(table, line);
        const size_t first = line.find(' ');
        if (first == std::string::npos) {
            continue;
        }
        const size_t second = line.find(' ', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        if (EndsWith(line.substr(0, first), device)) {
            return line.substr(first + 1, second - first - 1);
        }
    }
    return std::string();
}
