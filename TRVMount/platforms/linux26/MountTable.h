#pragma once

#include <string>

// The mount directory of the first line of mountTable whose file-system field
// ends with device (/dev/sdb1 ends with sdb1), as written: fields are split
// at the first two blanks only (a tab is no separator) and octal escapes are
// not decoded. "" when no line matches or the file cannot be read.
std::string FindMountPoint(const std::string& mountTable, const std::string& device);
