#pragma once

#include <string>

#include "device/MassStorageDeviceInfo.h"

// A block device's link in /sys/block (../devices/<pci path>/usb1/1-1/1-1:1.0/
// host6/...) names the USB device directory holding devnum, busnum, idVendor,
// idProduct and product: on a root port the first component after the root
// hub (usb1/1-1/), behind a hub the one after it (usb2/2-2/2-2.3/).
struct UsbDevicePaths {
    std::string firstLevel;   // dir + link up to the component after the root hub, with "/"
    std::string secondLevel;  // one component deeper, with "/"; "" when there is none
};

// Cuts both candidates from link; each stays "" when the link has no "/usb"
// or too few components after it.
UsbDevicePaths CutUsbDevicePaths(const std::string& dir, const std::string& link);

// The second level when it holds "devnum", else the first level.
std::string ChooseUsbDeviceDirectory(const UsbDevicePaths& paths);

// Reads devnum, busnum, idProduct and idVendor (each as atoi reads it, so the
// hex texts 0123 and c0de give 123 and 0) and product ("QRL2100" forces
// ProductID 10) from usbDirectory. A file that cannot be read leaves its
// field as it was.
void ReadUsbAttributes(const std::string& usbDirectory, MassStorageDeviceInfo& record);

// The first white-space delimited word of a sysfs attribute ("" when
// unreadable): the SCSI vendor and model are padded with blanks.
std::string ReadFirstWord(const std::string& path);
