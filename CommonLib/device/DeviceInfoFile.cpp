// The device info file that other programs read to learn which device is
// connected, where it is mounted and through which link it is reached.
#include "config/INIFile.h"
#include "device/MassStorageDeviceInfo.h"
#include "fs/CFunctionHelper.h"

void MassStorageDeviceInfo::fillInfoFile(INIFile& file) const
{
    // The keys are written in the order they are first set. A control
    // character in a value would start a line of its own: readers would see
    // keys the device never had.
    using CFunctionHelper::VisibleText;
    file.SetValue("Vendor", VisibleText(Vendor));
    file.SetValue("Product", VisibleText(Product));
    file.SetValue("MountPoint", VisibleText(MountPoint));
    file.SetValue("LinkPath", VisibleText(LinkPath));
    file.SetValue("USBDeviceNumber", static_cast<long>(getDeviceNumber()));
    file.SetValue("RealUSBDeviceNumber", static_cast<long>(_USBDeviceNumber));
    file.SetValue("Connected", std::string("yes"));
    file.SetValue("VendorID", static_cast<long>(VendorID));
    file.SetValue("ProductID", static_cast<long>(ProductID));
}

int MassStorageDeviceInfo::SaveInfoToFile(std::string path)
{
    INIFile file("");
    fillInfoFile(file);
    return file.SaveFileAs(path) ? 1 : 0;
}

std::string MassStorageDeviceInfo::InfoFileText() const
{
    INIFile file("");
    fillInfoFile(file);
    return file.GetText();
}

int MassStorageDeviceInfo::LoadInfoFromFile(std::string path)
{
    // "USBDeviceNumber" is not read back: the reader's own mode decides its
    // effective number.
    INIFile file("");
    const bool loaded = file.LoadFile(path);
    Vendor = file.GetString("Vendor", "");
    Product = file.GetString("Product", "");
    MountPoint = file.GetString("MountPoint", "");
    LinkPath = file.GetString("LinkPath", "");
    _USBDeviceNumber = static_cast<int>(file.GetNumber("RealUSBDeviceNumber", 0));
    Connected = file.GetString("Connected", "no");
    VendorID = static_cast<int>(file.GetNumber("VendorID", 0));
    ProductID = static_cast<int>(file.GetNumber("ProductID", 0));
    return loaded ? 1 : 0;
}
