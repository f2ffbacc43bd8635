#pragma once

#include <string>
#include <string_view>

#include "monitor/Monitor.h"

// Mode 1, eLux NG: the platform describes each attached USB storage device in
// a small file of three words (vendor, product, mount point) in the directory
// given with -e.
class MonitorEluxNG : public Monitor {
public:
    explicit MonitorEluxNG(Settings& settings);

    void Start() override;
    // Scans only after a directory change was signalled; since that flag is
    // set at construction and never cleared, in practice on every pass.
    void HandleChanges() override;

    MassStorageDeviceInfo ParseInfoFile(std::string path);

private:
    std::string m_sCurrentMountPoint;
};

// Fills Vendor, Product and MountPoint with the first three words of an eLux
// NG device file; missing words leave their fields as they are.
void ParseEluxNGInfoFile(std::string_view bytes, MassStorageDeviceInfo& record);
