#pragma once

#include <string>

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
