#pragma once

#include <string>
#include <string_view>

// The mount directory of the first line of a mount table whose file-system
// field ends with device (/dev/sdb1 ends with sdb1), as written: fields are
// split at blanks only (a tab is no separator) and octal escapes are not
// decoded. A line needs at least three fields; lines of type fuse or fuse.*
// never count, since any user may mount those under any source name. "" when
// no line matches.
std::string FindMountPoint(std::string_view mountTable, std::string_view device);
