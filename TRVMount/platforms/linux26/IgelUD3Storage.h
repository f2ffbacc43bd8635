#pragma once

#include <string>

// IGEL UD3 describes each attached storage volume in a small KEY="value" file
// under its storage root (/config/storage/<..usb_device..>/<..storage..>/
// volume_part0 or volume_part1); a volume is mounted at the media path
// followed by its LABEL.
//
// Returns mediaPath + the label of the first volume (in directory order)
// whose DEVICE value ends with device, or "": also when that label is no name
// a volume can be mounted under (empty, "." or "..", or holding "/", a NUL or
// a control character). At most 200 entries are read
// per directory and 30 lines per volume file. When storageRoot cannot be
// opened, writes "Error(<errno>) opening <storageRoot>" on standard output.
std::string FindIgelUD3MountPoint(const std::string& storageRoot, const std::string& device,
                                  const std::string& mediaPath);
