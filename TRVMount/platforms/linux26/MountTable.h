#pragma once

#include <string>

// The mount directory of the first line of mountTable whose file-system field
// ends with device (/dev/sdb1 ends with sdb1), as written: fields are split
// at the first two blanks only (a tab is no separator) and octal escapes are
// not decoded. "" when no line matches or the file cannot be read.
std::string FindMountPoint(const std::string& mountTable, const std::string& device);

// The mount table as one pass sees it: the first Find reads the file, later
// ones search what it read instead of reading the file again. Each Find gives
// what FindMountPoint gives for the file as it was at that first read.
class MountTableSnapshot {
public:
    explicit MountTableSnapshot(std::string mountTable);
    std::string Find(const std::string& device);

private:
    std::string m_mountTable;
    bool m_read = false;
    std::string m_lines;  // every line of the file, each ended by a line feed
};
