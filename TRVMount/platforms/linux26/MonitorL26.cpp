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
    m_bMountTableRead = false;
    ScanDirectory(kBlockDevices, [this](const std::string& entry) { return ParseInfoDir(kBlockDevices, entry); });
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
    record.MountPoint =
        m_ProgramSettings.getIgelUD3Mode() ? getMountPointIgelUD3(record.Device) : getMountPoint(record.Device);

    const UsbDevicePaths usb = CutUsbDevicePaths(dir, CFunctionHelper::ReadLink(dir + name));
    if (!usb.secondLevel.empty()) {
        ReadUsbAttributes(ChooseUsbDeviceDirectory(usb), record);
    }
    return record;
}

std::string MonitorL26::getMountPoint(std::string device)
{
    if (!m_bMountTableRead) {
        ReadBoundedFile(kMountTable, kMountTableCap, m_sMountTable);
        m_bMountTableRead = true;
    }
    return FindMountPoint(m_sMountTable, device);
}

std::string MonitorL26::getMountPointIgelUD3(std::string device)
{
    return FindIgelUD3MountPoint(kIgelUD3Storage, device, m_ProgramSettings.getIgelMediaPath());
}
