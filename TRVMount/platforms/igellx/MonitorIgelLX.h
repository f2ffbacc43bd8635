#pragma once

#include <string>

#include "monitor/Monitor.h"

// Mode 3, IGEL Linux: the platform describes each attached USB storage device
// in a KEY="value" file under /etc/hotplug/usb-storage.
class MonitorIgelLX : public Monitor {
public:
    explicit MonitorIgelLX(Settings& settings);

    void Start() override;
    void HandleChanges() override;

    // Reads Manufacturer, DeviceName, DEVICES and AUTOMOUNT_DIR (spaces
    // removed) into the record; the last line of a key wins.
    MassStorageDeviceInfo ParseInfoFile(std::string path);

private:
    std::string m_sCurrentMountPoint;
};
