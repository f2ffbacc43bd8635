#pragma once

#include <string>
#include <string_view>

// One line of a mount table, for the mount directory of device: true, with
// mountPoint set, when the line's file-system field ends with device
// (/dev/sdb1 ends with sdb1). Fields are split at blanks only (a tab is no
// separator), octal escapes are not decoded, and a line needs at least three
// fields; lines of type fuse or fuse.* never count, since any user may mount
// those under any source name.
bool MountPointOfLine(std::string_view line, std::string_view device, std::string& mountPoint);
