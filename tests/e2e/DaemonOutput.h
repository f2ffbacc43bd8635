#pragma once

#include <sstream>
#include <string>
#include <vector>

// What the daemon prints and writes for a device, spelled out for the tests.
struct ExpectedDevice {
    std::string vendor;
    std::string product;
    std::string mountPoint;
    std::string linkPath;
    int number = 0;  // effective device number
    int real = 0;    // stored USB device number
    int vendorId = 0;
    int productId = 0;
};

inline std::string DeviceLine(const std::string& event, const ExpectedDevice& d)
{
    return event + ": Vendor: " + d.vendor + " Product: " + d.product + " MountPoint: " + d.mountPoint +
           " LinkPath: " + d.linkPath + " USBDeviceNumber: " + std::to_string(d.number) +
           " RealUSBDeviceNumber: " + std::to_string(d.real) + " VendorID: " + std::to_string(d.vendorId) +
           " ProductID: " + std::to_string(d.productId) + "\n";
}

inline std::string InfoFile(const ExpectedDevice& d)
{
    return "Vendor = " + d.vendor + "\nProduct = " + d.product + "\nMountPoint = " + d.mountPoint +
           "\nLinkPath = " + d.linkPath + "\nUSBDeviceNumber = " + std::to_string(d.number) +
           "\nRealUSBDeviceNumber = " + std::to_string(d.real) + "\nConnected = yes\nVendorID = " +
           std::to_string(d.vendorId) + "\nProductID = " + std::to_string(d.productId) + "\n";
}

// The "Connected: " and "Disconnected: " lines of the daemon's output.
inline std::string DeviceLines(const std::string& out)
{
    std::istringstream in(out);
    std::string lines;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Connected: ", 0) == 0 || line.rfind("Disconnected: ", 0) == 0) {
            lines += line + "\n";
        }
    }
    return lines;
}

// The -v settings summary with default link paths and the given mode and
// eLux directory.
inline std::string Summary(int mode, const std::string& eluxPath = "", const std::string& keepLink = "disabled",
                           const std::string& ud3 = "disabled", const std::string& media = "/media/",
                           const std::string& forceRemove = "disabled")
{
    return "Zentrix TRVMountd v12.9.1\nMode: " + std::to_string(mode) +
           "\nLink path TRV:/tmp/ZentrixTRV\nLink path Silvenmar:/tmp/ZentrixSilvenmar\nElux USB  path: " + eluxPath +
           "\nIgel UD3 Mode: " + ud3 + "\nAutoFS Path: /autofs/\nIgel Media Path: " + media +
           "\nKeepLink: " + keepLink + "\nForceRemove: " + forceRemove + "\n";
}
