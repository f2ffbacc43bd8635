// Compares each pass's scan with the devices known from earlier passes, and
// carries out what changed: departures first, then arrivals, so that when one
// device of a line leaves and another arrives in the same pass the shared link
// ends up at the new one.
#include "monitor/Reconciliation.h"

#include <iostream>

#include "monitor/Monitor.h"

ScanChanges CompareScan(const std::set<MassStorageDeviceInfo>& known, const std::set<MassStorageDeviceInfo>& scan)
{
    ScanChanges changes;
    for (const MassStorageDeviceInfo& device : known) {
        if (scan.count(device) == 0) {
            changes.departures.push_back(device);
        }
    }
    for (const MassStorageDeviceInfo& device : scan) {
        if (known.count(device) == 0) {
            changes.arrivals.push_back(device);
        }
    }
    return changes;
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
    const ScanChanges changes = CompareScan(m_MassStorageDevices, FilterZentrixDevices(devices));
    for (MassStorageDeviceInfo device : changes.departures) {
        m_InfoDirectory.Remove(device);
        m_InfoFilesPending.erase(device);
        m_MassStorageDevices.erase(device);
        device.LinkPath = linkAfterDeparture(device);
        if (m_ProgramSettings.Verbose()) {
            std::cout << "Disconnected: " << device << std::endl;
        }
    }
    for (MassStorageDeviceInfo device : changes.arrivals) {
        device.LinkPath = createDeviceLink(device);
        writeInfoFile(device);
        m_MassStorageDevices.insert(device);
        if (m_ProgramSettings.Verbose()) {
            std::cout << "Connected: " << device << std::endl;
        }
    }
    RetryPending();
}

std::string Monitor::linkAfterDeparture(const MassStorageDeviceInfo& departed)
{
    // A device of the same line that is still connected keeps the link path.
    for (const MassStorageDeviceInfo& other : m_MassStorageDevices) {
        if (lineOf(other) == lineOf(departed)) {
            if (m_Links.Target(lineOf(other)) != other.MountPoint) {
                createDeviceLink(other);
            }
            return std::string();
        }
    }
    return m_ProgramSettings.getKeepDirectory() ? InvalidateDeviceLink(departed) : deleteDeviceLink(departed);
}

void Monitor::writeInfoFile(const MassStorageDeviceInfo& device)
{
    m_InfoFilesPending.erase(device);
    if (m_InfoDirectory.Write(device)) {
        return;
    }
    m_InfoFilesPending.insert(device);
    // A lost directory is made anew, empty: every device's file goes in again.
    if (!m_InfoDirectory.IsOpen()) {
        m_InfoFilesPending.insert(m_MassStorageDevices.begin(), m_MassStorageDevices.end());
    }
}

void Monitor::RetryPending()
{
    m_Links.Retry();
    // A link made late shows in the info file of the device it points at.
    std::vector<MassStorageDeviceInfo> linkedLate;
    for (const MassStorageDeviceInfo& device : m_MassStorageDevices) {
        const LinkKeeper::Line line = lineOf(device);
        if (device.LinkPath.empty() && m_Links.IsMet(line) && !m_Links.Target(line).empty() &&
            m_Links.Target(line) == device.MountPoint) {
            linkedLate.push_back(device);
        }
    }
    for (MassStorageDeviceInfo& device : linkedLate) {
        device.LinkPath = m_Links.Path(lineOf(device));
        m_MassStorageDevices.erase(device);
        m_MassStorageDevices.insert(device);
        m_InfoFilesPending.insert(device);
    }
    // Only the files that could not be written are tried again, once a pass.
    const std::set<MassStorageDeviceInfo> pending = m_InfoFilesPending;
    for (const MassStorageDeviceInfo& device : pending) {
        const auto known = m_MassStorageDevices.find(device);
        if (known == m_MassStorageDevices.end()) {
            m_InfoFilesPending.erase(device);
        } else {
            writeInfoFile(*known);
        }
    }
}
