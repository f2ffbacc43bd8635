#pragma once

#include <string>
#include <vector>

#include "e2e/FakeRoot.h"

// A USB stick as the kernel shows it in sysfs. The defaults are what an
// emulated stick on EHCI root port 1 shows: /sys/block/sdb links to
// ../devices/pci0000:00/0000:00:1d.7/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb.
struct UsbStick {
    std::string name = "sdb";       // block device name
    std::string vendor = "Zentrix";  // SCSI vendor, blank-padded to 8 in sysfs
    std::string model = "TRV4";      // SCSI model, blank-padded to 16
    std::string controller = "pci0000:00/0000:00:1d.7";
    int bus = 1;
    std::string port = "1";  // "1" for root port 1, "2.3" for port 3 of a hub on root port 2
    int host = 6;            // SCSI host number
    std::string devnum = "2";
    std::string idVendor = "46f4";
    std::string idProduct = "0001";
    std::string product = "QEMU USB HARDDRIVE";

    // Where the kernel puts the USB device directory, relative to /sys.
    std::string UsbDevicePath() const;
    // The target of /sys/block/<name>.
    std::string BlockLink() const;
};

// The second stick of most scenarios: a Silvenmar stick as sdc, on port 3 of
// a hub on root port 2 of the second controller, USB device number 3.
UsbStick SilvenmarBehindAHub();

// /sys/block and /sys/devices of a fake root, built the way the kernel lays
// them out: the device tree first, the /sys/block entry last.
class FakeSysfs {
public:
    explicit FakeSysfs(FakeRoot& root);

    // Plugs a stick: USB device, hub (if any) and root hub directories with
    // their attributes, the interface and SCSI directories, then the block
    // device and its /sys/block link.
    void Plug(const UsbStick& stick);
    // Removes the /sys/block link, then the device tree, as the kernel does.
    void Unplug(const UsbStick& stick);
    // A SATA disk (sda on ata1) and loop devices without device/ directories,
    // as every real /sys/block has.
    void AddInternalDisks();
    // A block device whose link has no USB part at all.
    void PlugWithoutUsb(const std::string& name, const std::string& vendor, const std::string& model);

private:
    FakeRoot& m_root;
};

// /etc/mtab of a fake root.
class FakeMountTable {
public:
    explicit FakeMountTable(FakeRoot& root);
    void Mount(const std::string& device, const std::string& directory);  // device like /dev/sdb1
    void Unmount(const std::string& device);

private:
    void Write();
    FakeRoot& m_root;
    std::vector<std::pair<std::string, std::string>> m_mounts;
};

// The IGEL UD3 storage description under /config/storage/.
class FakeIgelUD3Storage {
public:
    explicit FakeIgelUD3Storage(FakeRoot& root);
    // /config/storage/<usbDevice>/<storage>/volume_part0 naming device and label.
    void AddVolume(const std::string& usbDevice, const std::string& storage, const std::string& device,
                   const std::string& label);
    void RemoveUsbDevice(const std::string& usbDevice);

private:
    FakeRoot& m_root;
};

// eLux NG device files, "vendor product mountpoint", in the -e directory.
class FakeEluxNG {
public:
    explicit FakeEluxNG(FakeRoot& root, std::string dir = "/elux/usb");
    const std::string& Dir() const { return m_dir; }
    void Plug(const std::string& file, const std::string& vendor, const std::string& product,
              const std::string& mountPoint);
    void Unplug(const std::string& file);

private:
    FakeRoot& m_root;
    std::string m_dir;
};

// IGEL LX device files under /etc/hotplug/usb-storage.
class FakeIgelLX {
public:
    explicit FakeIgelLX(FakeRoot& root);
    void Plug(const std::string& file, const std::string& manufacturer, const std::string& deviceName,
              const std::string& devices, const std::string& automountDir);
    void Unplug(const std::string& file);

private:
    FakeRoot& m_root;
};
