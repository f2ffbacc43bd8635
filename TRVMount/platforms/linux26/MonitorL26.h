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
    // vendor and product for a device of another maker.
    MassStorageDeviceInfo ParseInfoDir(std::string dir, std::string name);
    // The mount point of device in /etc/mtab as the current pass read it: the
    // table is read at the first lookup of a pass, once for all its devices.
    std::string getMountPoint(std::string device);
    std::string getMountPointIgelUD3(std::string device);

private:
    bool m_bMountTableRead = false;
    std::string m_sMountTable;
};
