// The device info file that other programs read to learn which device is
// connected, where it is mounted and through which link it is reached.
#include "config/INIFile.h"
#include "device/MassStorageDeviceInfo.h"

int MassStorageDeviceInfo::SaveInfoToFile(std::string path)
{
    // The keys are written in the order they are first set.
    INIFile file("");
    file.SetValue("Vendor", Vendor);
    file.SetValue("Product", Product);
    file.SetValue("MountPoint", MountPoint);
    file.SetValue("LinkPath", LinkPath);
    file.SetValue("USBDeviceNumber", static_cast<long>(getDeviceNumber()));
    file.SetValue("RealUSBDeviceNumber", static_cast<long>(_USBDeviceNumber));
    file.SetValue("Connected", std::string("yes"));
    file.SetValue("VendorID", static_cast<long>(VendorID));
    file.SetValue("ProductID", static_cast<long>(ProductID));
    return file.SaveFileAs(path) ? 1 : 0;
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
