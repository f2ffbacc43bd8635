#include "device/MassStorageDeviceInfo.h"

#include <iostream>

#include "device/MassStorageDevice.h"
#include "fs/CFunctionHelper.h"

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

void MassStorageDeviceInfo::setBusNumber(int bus) { _USBBusNumber = bus; }

bool MassStorageDeviceInfo::operator<(const MassStorageDeviceInfo& other) const
{
    if (getDeviceNumber() != other.getDeviceNumber()) {
        return getDeviceNumber() < other.getDeviceNumber();
    }
    return !_bUseFakeDeviceID && _USBBusNumber < other._USBBusNumber;
}

bool operator==(const MassStorageDeviceInfo& a, const MassStorageDeviceInfo& b) { return !(a < b) && !(b < a); }

std::ostream& operator<<(std::ostream& out, const MassStorageDeviceInfo& r)
{
    using CFunctionHelper::VisibleText;
    return out << "Vendor: " << VisibleText(r.Vendor) << " Product: " << VisibleText(r.Product)
               << " MountPoint: " << VisibleText(r.MountPoint) << " LinkPath: " << VisibleText(r.LinkPath)
               << " USBDeviceNumber: " << r.getDeviceNumber()
               << " RealUSBDeviceNumber: " << r.getDeviceNumberReal() << " VendorID: " << r.VendorID
               << " ProductID: " << r.ProductID;
}
