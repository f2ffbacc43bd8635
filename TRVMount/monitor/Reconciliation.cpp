// Compares each pass's scan with the devices known from earlier passes. A
// device is identified by its effective device number alone; a device that
// stays is never touched again, whatever changes in the scan.
#include <cstdio>
#include <iostream>

#include "monitor/Monitor.h"

std::string Monitor::infoFileName(const char* prefix, const MassStorageDeviceInfo& info) const
{
    return _strTRVMountdDevPath + prefix + info.Device + "_" + std::to_string(info.getDeviceNumber());
}

void Monitor::HandleMassStorageDeviceChanges(std::vector<MassStorageDeviceInfo> devices)
{
    HandleMassStorageDeviceChanges(std::set<MassStorageDeviceInfo>(devices.begin(), devices.end()));
}

std::set<MassStorageDeviceInfo> Monitor::FilterZentrixDevices(std::set<MassStorageDeviceInfo> devices)
{
    for (auto it = devices.begin(); it != devices.end();) {
        it = it->isZentrixDevice() ? std::next(it) : devices.erase(it);
    }
    return devices;
}

void Monitor::HandleMassStorageDeviceChanges(std::set<MassStorageDeviceInfo> devices)
{
    const std::set<MassStorageDeviceInfo> scan = FilterZentrixDevices(devices);
    std::vector<MassStorageDeviceInfo> disappeared;
    for (const MassStorageDeviceInfo& known : m_MassStorageDevices) {
        if (scan.count(known) == 0) {
            disappeared.push_back(known);
        }
    }
    std::vector<MassStorageDeviceInfo> arrived;
    for (const MassStorageDeviceInfo& found : scan) {
        if (m_MassStorageDevices.count(found) == 0) {
            arrived.push_back(found);
        }
    }

    // Departures first: when one device of a line leaves and another arrives
    // in the same pass, the shared link ends up at the new one.
    for (MassStorageDeviceInfo& device : disappeared) {
        std::remove(infoFileName("/.VKT_", device).c_str());
        device.LinkPath = m_ProgramSettings.getKeepDirectory() ? InvalidateDeviceLink(device) : deleteDeviceLink(device);
        m_MassStorageDevices.erase(device);
        if (m_ProgramSettings.Verbose()) {
            std::cout << "Disconnected: " << device << std::endl;
        }
    }

    for (MassStorageDeviceInfo& device : arrived) {
        device.LinkPath = createDeviceLink(device);
        // Written under a temporary name and renamed into place, so a reader
        // finds no file or a complete one.
        const std::string finalName = infoFileName("/.VKT_", device);
        const std::string temporaryName = infoFileName("/.tmp_VKT_", device);
        if (device.SaveInfoToFile(temporaryName) == 1) {
            std::rename(temporaryName.c_str(), finalName.c_str());
        } else {
            // A file that could not be written whole is not published.
            std::remove(temporaryName.c_str());
        }
        m_MassStorageDevices.insert(device);
        if (m_ProgramSettings.Verbose()) {
            std::cout << "Connected: " << device << std::endl;
        }
    }
}
