#include "platforms/linux26/MonitorL26.h"

#include <cstdio>

#include "fs/BoundedRead.h"
#include "fs/CFunctionHelper.h"
#include "platforms/linux26/ChangeWatches.h"
#include "platforms/linux26/IgelUD3Storage.h"
#include "platforms/linux26/MountTable.h"
#include "platforms/linux26/UsbDeviceDirectory.h"

namespace {

const char kBlockDevices[] = "/sys/block/";
const char kMountTable[] = "/etc/mtab";
const char kIgelUD3Storage[] = "/config/storage/";

int s_fd = -1;

}  // namespace

MonitorL26::MonitorL26(Settings& settings) : Monitor(settings)
{
    pInstance = this;
    getInstance()->DirChanged();
}

void MonitorL26::Start()
{
    if (m_ProgramSettings.getForceRemoveLinkPath()) {
        std::remove(m_ProgramSettings.getLinkPath_TRV().c_str());
        std::remove(m_ProgramSettings.getLinkPath_SV().c_str());
    }
    if (m_ProgramSettings.getKeepDirectory()) {
        createInitialDevicePath();
    }
    s_fd = OpenWatchedDirectory(kBlockDevices, "Failed openning /sys dir: ");
    // The platform mounts a stick after its block device appears: the
    // mount table, and with -u the storage tree, tell when.
    m_WakeSources.push_back(WatchMountTable(kMountTable));
    if (m_ProgramSettings.getIgelUD3Mode()) {
        m_WakeSources.push_back(WatchDirectory(kIgelUD3Storage));
    }
}

void MonitorL26::HandleChanges()
{
    ScanDirectory(
        kBlockDevices, [this](const std::string& entry) { return ParseInfoDir(kBlockDevices, entry); },
        [this](std::vector<MassStorageDeviceInfo>& devices) { getMountPoints(devices); });
}

MassStorageDeviceInfo MonitorL26::ParseInfoDir(std::string dir, std::string name)
{
    MassStorageDeviceInfo record(!m_ProgramSettings.getUseRealUSBIds());
    const std::string attributes = dir + name + "/device/";
    record.Vendor = ReadFirstWord(attributes + "vendor");
    record.Product = ReadFirstWord(attributes + "model");
    if (!MassStorageDevice::isZentrixDevice(record.Vendor, record.Product)) {
        return record;
    }
    // A TRV device is mounted from its first partition, a Silvenmar device
    // as a whole disk.
    record.Device = MassStorageDevice::isTRVDevice(record.Vendor, record.Product) ? name + "1" : name;
    // Without UD3 the mount table gives the mount point, for all devices of
    // the pass at once (getMountPoints).
    if (m_ProgramSettings.getIgelUD3Mode()) {
        record.MountPoint = getMountPointIgelUD3(record.Device);
    }

    const UsbDevicePaths usb = CutUsbDevicePaths(dir, CFunctionHelper::ReadLink(dir + name));
    if (!usb.secondLevel.empty()) {
        ReadUsbAttributes(ChooseUsbDeviceDirectory(usb), record);
    }
    return record;
}

void MonitorL26::getMountPoints(std::vector<MassStorageDeviceInfo>& devices)
{
    if (m_ProgramSettings.getIgelUD3Mode() || devices.empty()) {
        return;
    }
    // One read of the table a pass, streamed: a table of any length (a user's
    // many FUSE mounts first, say) costs bounded memory. The first line that
    // names a device gives its mount point.
    std::vector<bool> found(devices.size(), false);
    size_t missing = devices.size();
    ReadLines(kMountTable, kTableLineCap, [&](std::string_view line) {
        for (size_t i = 0; i < devices.size(); ++i) {
            if (!found[i] && MountPointOfLine(line, devices[i].Device, devices[i].MountPoint)) {
                found[i] = true;
                --missing;
            }
        }
        return missing == 0;
    });
}

std::string MonitorL26::getMountPointIgelUD3(std::string device)
{
    return FindIgelUD3MountPoint(kIgelUD3Storage, device, m_ProgramSettings.getIgelMediaPath());
}
