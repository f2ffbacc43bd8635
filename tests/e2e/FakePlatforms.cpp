#include "e2e/FakePlatforms.h"

#include <iomanip>
#include <sstream>
#include <utility>

namespace {

// A SCSI INQUIRY field as sysfs prints it: blank-padded, then a line feed.
std::string Padded(const std::string& text, size_t width)
{
    std::ostringstream field;
    field << std::left << std::setw(static_cast<int>(width)) << text << "\n";
    return field.str();
}

std::string ScsiId(int host) { return std::to_string(host) + ":0:0:0"; }

}  // namespace

std::string UsbStick::UsbDevicePath() const
{
    const std::string root = "devices/" + controller + "/usb" + std::to_string(bus);
    const size_t dot = port.find('.');
    if (dot == std::string::npos) {
        return root + "/" + std::to_string(bus) + "-" + port;
    }
    // Behind a hub: the hub's directory lies between the root hub and the device.
    const std::string hub = std::to_string(bus) + "-" + port.substr(0, dot);
    return root + "/" + hub + "/" + std::to_string(bus) + "-" + port;
}

std::string UsbStick::BlockLink() const
{
    const std::string device = UsbDevicePath();
    const std::string interface = device.substr(device.rfind('/') + 1) + ":1.0";
    return "../" + device + "/" + interface + "/host" + std::to_string(host) + "/target" + std::to_string(host) +
           ":0:0/" + ScsiId(host) + "/block/" + name;
}

UsbStick SilvenmarBehindAHub()
{
    UsbStick stick;
    stick.name = "sdc";
    stick.model = "Silvenmar";
    stick.controller = "pci0000:00/0000:00:1d.0";
    stick.bus = 2;
    stick.port = "2.3";
    stick.host = 7;
    stick.devnum = "3";
    stick.idVendor = "0123";
    stick.idProduct = "c0de";
    stick.product = "Silvenmar Stick";
    return stick;
}

FakeSysfs::FakeSysfs(FakeRoot& root) : m_root(root) { m_root.MakeDir("/sys/block"); }

void FakeSysfs::Plug(const UsbStick& stick)
{
    const std::string device = "/sys/" + stick.UsbDevicePath();
    const std::string rootHub = "/sys/devices/" + stick.controller + "/usb" + std::to_string(stick.bus);
    m_root.MakeDir(device);
    // The root hub and a hub carry the same attribute files: reading the wrong
    // level gives their values.
    auto attributes = [this, &stick](const std::string& dir, const std::string& devnum, const std::string& vendor,
                                     const std::string& product, const std::string& name) {
        m_root.Write(dir + "/devnum", devnum + "\n");
        m_root.Write(dir + "/busnum", std::to_string(stick.bus) + "\n");
        m_root.Write(dir + "/idVendor", vendor + "\n");
        m_root.Write(dir + "/idProduct", product + "\n");
        m_root.Write(dir + "/product", name + "\n");
    };
    attributes(rootHub, "1", "1d6b", "0002", "EHCI Host Controller");
    if (stick.port.find('.') != std::string::npos) {
        attributes(device.substr(0, device.rfind('/')), "2", "0409", "55aa", "QEMU USB Hub");
    }
    attributes(device, stick.devnum, stick.idVendor, stick.idProduct, stick.product);

    const std::string link = stick.BlockLink();  // "../devices/.../block/<name>"
    const std::string blockDir = "/sys" + link.substr(2);
    const std::string scsi = blockDir.substr(0, blockDir.rfind("/block/"));
    m_root.MakeDir(scsi.substr(0, scsi.rfind("/host")));  // the interface directory
    m_root.Write(scsi.substr(0, scsi.rfind("/host")) + "/bInterfaceClass", "08\n");
    m_root.MakeDir(blockDir);
    m_root.Write(scsi + "/vendor", Padded(stick.vendor, 8));
    m_root.Write(scsi + "/model", Padded(stick.model, 16));
    m_root.Write(scsi + "/rev", "2.5+\n");
    m_root.Symlink("../../../" + ScsiId(stick.host), blockDir + "/device");
    m_root.Write(blockDir + "/removable", "1\n");
    m_root.Symlink(link, "/sys/block/" + stick.name);
}

void FakeSysfs::Unplug(const UsbStick& stick)
{
    m_root.Remove("/sys/block/" + stick.name);
    m_root.Remove("/sys/" + stick.UsbDevicePath());
}

void FakeSysfs::AddInternalDisks()
{
    const std::string sda = "/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
    m_root.MakeDir(sda + "/block/sda");
    m_root.Write(sda + "/vendor", Padded("ATA", 8));
    m_root.Write(sda + "/model", Padded("QEMU HARDDISK", 16));
    m_root.Symlink("../../../0:0:0:0", sda + "/block/sda/device");
    m_root.Symlink("../devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda", "/sys/block/sda");
    for (const char* loop : {"loop0", "loop1"}) {
        m_root.MakeDir(std::string("/sys/devices/virtual/block/") + loop);
        m_root.Symlink(std::string("../devices/virtual/block/") + loop, std::string("/sys/block/") + loop);
    }
}

void FakeSysfs::PlugWithoutUsb(const std::string& name, const std::string& vendor, const std::string& model)
{
    const std::string scsi = "/sys/devices/platform/storage/host9/target9:0:0/9:0:0:0";
    m_root.MakeDir(scsi + "/block/" + name);
    m_root.Write(scsi + "/vendor", Padded(vendor, 8));
    m_root.Write(scsi + "/model", Padded(model, 16));
    m_root.Symlink("../../../9:0:0:0", scsi + "/block/" + name + "/device");
    m_root.Symlink("../devices/platform/storage/host9/target9:0:0/9:0:0:0/block/" + name, "/sys/block/" + name);
}

FakeMountTable::FakeMountTable(FakeRoot& root) : m_root(root)
{
    m_mounts.emplace_back("/dev/sda1", "/");
    Write();
}

void FakeMountTable::Mount(const std::string& device, const std::string& directory)
{
    m_mounts.emplace_back(device, directory);
    m_root.MakeDir(directory);
    Write();
}

void FakeMountTable::Unmount(const std::string& device)
{
    std::vector<std::pair<std::string, std::string>> kept;
    for (const auto& mount : m_mounts) {
        if (mount.first != device) {
            kept.push_back(mount);
        }
    }
    m_mounts = kept;
    Write();
}

void FakeMountTable::Write()
{
    std::string table;
    for (const auto& [device, directory] : m_mounts) {
        table += device + " " + directory + (directory == "/" ? " ext4 rw,relatime 0 0\n"
                                                              : " vfat rw,relatime,fmask=0022,dmask=0022 0 0\n");
    }
    // Replaced in one rename, as the kernel's table never reads half-written.
    m_root.Publish("/etc/mtab", table);
}

FakeIgelUD3Storage::FakeIgelUD3Storage(FakeRoot& root) : m_root(root) { m_root.MakeDir("/config/storage"); }

void FakeIgelUD3Storage::AddVolume(const std::string& usbDevice, const std::string& storage,
                                   const std::string& device, const std::string& label)
{
    const std::string dir = "/config/storage/" + usbDevice + "/" + storage;
    m_root.MakeDir(dir);
    m_root.Write(dir + "/volume_part0", "UUID=\"4A1B-2C3D\"\nDEVICE=\"" + device + "\"\nTYPE=\"vfat\"\nLABEL=\"" +
                                            label + "\"\nSIZE=\"1024\"\n");
}

void FakeIgelUD3Storage::RemoveUsbDevice(const std::string& usbDevice) { m_root.Remove("/config/storage/" + usbDevice); }

FakeEluxNG::FakeEluxNG(FakeRoot& root, std::string dir) : m_root(root), m_dir(std::move(dir)) { m_root.MakeDir(m_dir); }

void FakeEluxNG::Plug(const std::string& file, const std::string& vendor, const std::string& product,
                      const std::string& mountPoint)
{
    m_root.Publish(m_dir + "/" + file, vendor + " " + product + "\n" + mountPoint + "\n");
}

void FakeEluxNG::Unplug(const std::string& file) { m_root.Remove(m_dir + "/" + file); }

FakeIgelLX::FakeIgelLX(FakeRoot& root) : m_root(root) { m_root.MakeDir("/etc/hotplug/usb-storage"); }

void FakeIgelLX::Plug(const std::string& file, const std::string& manufacturer, const std::string& deviceName,
                      const std::string& devices, const std::string& automountDir)
{
    m_root.Publish("/etc/hotplug/usb-storage/" + file,
                   "DEVICES=\"" + devices + "\"\nManufacturer=\"" + manufacturer + "\"\nDeviceName=\"" + deviceName +
                       "\"\nSERIAL=\"0123456789\"\nAUTOMOUNT_DIR=\"" + automountDir + "\"\n");
}

void FakeIgelLX::Unplug(const std::string& file) { m_root.Remove("/etc/hotplug/usb-storage/" + file); }
