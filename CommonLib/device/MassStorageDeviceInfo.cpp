#include "device/MassStorageDeviceInfo.h"

#include <iostream>

#include "device/MassStorageDevice.h"

MassStorageDeviceInfo::MassStorageDeviceInfo(bool useFakeDeviceID) : _bUseFakeDeviceID(useFakeDeviceID) {}

void MassStorageDeviceInfo::Print() const { std::cout << *this << std::endl; }

bool MassStorageDeviceInfo::isZentrixDevice() const { return MassStorageDevice::isZentrixDevice(Vendor, Product); }

bool MassStorageDeviceInfo::isTRVDevice() const { return MassStorageDevice::isTRVDevice(Vendor, Product); }

bool MassStorageDeviceInfo::isSilvenmarDevice() const { return MassStorageDevice::isSilvenmarDevice(Vendor, Product); }

int MassStorageDeviceInfo::getDeviceNumber() const
{
    if (_bUseFakeDeviceID) {
        return isTRVDevice() ? 0 : 1;
    }
    return _USBDeviceNumber;
}

int MassStorageDeviceInfo::getDeviceNumberReal() const { return _USBDeviceNumber; }

void MassStorageDeviceInfo::setDeviceNumber(int n) { _USBDeviceNumber = n; }

bool MassStorageDeviceInfo::operator<(const MassStorageDeviceInfo& other) const
{
    return getDeviceNumber() < other.getDeviceNumber();
}

bool operator==(const MassStorageDeviceInfo& a, const MassStorageDeviceInfo& b)
{
    return a.getDeviceNumber() == b.getDeviceNumber();
}

std::ostream& operator<<(std::ostream& out, const MassStorageDeviceInfo& r)
{
    return out << "Vendor: " << r.Vendor << " Product: " << r.Product << " MountPoint: " << r.MountPoint
               << " LinkPath: " << r.LinkPath << " USBDeviceNumber: " << r.getDeviceNumber()
               << " RealUSBDeviceNumber: " << r.getDeviceNumberReal() << " VendorID: " << r.VendorID
               << " ProductID: " << r.ProductID;
}
