#pragma once

#include <string>

#include "monitor/Monitor.h"

// Mode 2, a generic Linux 2.6 system: every pass lists /sys/block/, reads the
// SCSI vendor and model of each block device, and looks the maker's devices
// up in /etc/mtab (or, with -u, in the IGEL UD3 storage tree) and in the USB
// part of sysfs.
class MonitorL26 : public Monitor {
public:
    explicit MonitorL26(Settings& settings);

    // With -f removes what stands at the link paths; with -k sets them to
    // their placeholders; then watches /sys/block/.
    void Start() override;
    void HandleChanges() override;

    // The record of block device name in dir (always "/sys/block/"): only
    // vendor and product for a device of another maker; the mount point only
    // with -u.
    MassStorageDeviceInfo ParseInfoDir(std::string dir, std::string name);
    // The mount points of the maker's devices of one pass in /etc/mtab, read
    // once for all of them (with -u, ParseInfoDir has found them already).
    void getMountPoints(std::vector<MassStorageDeviceInfo>& devices);
    std::string getMountPointIgelUD3(std::string device);
};
