#pragma once

#include <cstddef>
#include <string>

// How much of each kind of platform file is read: more than the platform ever
// writes, little enough that a planted /dev/zero or a huge file costs nothing.
constexpr size_t kSysfsAttributeCap = 4 * 1024;
constexpr size_t kDeviceFileCap = 64 * 1024;
constexpr size_t kMountTableCap = 4 * 1024 * 1024;

// Reads a file that others may have put in place: it is opened without
// blocking (a FIFO or a device node never stalls the caller), read only when
// it is a regular file (sysfs attributes and /proc tables are), and read up to
// cap bytes; the rest of a longer file is ignored. False, with bytes empty,
// when the file cannot be opened or is not a regular file.
bool ReadBoundedFile(const std::string& path, size_t cap, std::string& bytes);
