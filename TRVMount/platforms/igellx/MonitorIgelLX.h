#pragma once

#include <string>
#include <string_view>

#include "monitor/Monitor.h"

// Mode 3, IGEL Linux: the platform describes each attached USB storage device
// in a KEY="value" file under /etc/hotplug/usb-storage.
class MonitorIgelLX : public Monitor {
public:
    explicit MonitorIgelLX(Settings& settings);

    void Start() override;
    void HandleChanges() override;

    MassStorageDeviceInfo ParseInfoFile(std::string path);

private:
    std::string m_sCurrentMountPoint;
};

// Fills Vendor (Manufacturer), Product (DeviceName), Device (DEVICES) and
// MountPoint (AUTOMOUNT_DIR, every blank removed) from the lines of an IGEL
// LX device file that begin with those keys; the last line of a key wins.
void ParseIgelLXInfoFile(std::string_view bytes, MassStorageDeviceInfo& record);
