#pragma once

#include <ostream>
#include <string>

class INIFile;

// One USB mass-storage device as a platform monitor found it. Records are
// plain values. Which device a record stands for is decided by its effective
// device number alone: ordering and equality look at nothing else.
class MassStorageDeviceInfo {
public:
    std::string Vendor;
    std::string Product;
    std::string MountPoint;
    std::string Device;
    std::string LinkPath;
    std::string Connected;
    int ProductID = 0;
    int VendorID = 0;

private:
    bool _bUseFakeDeviceID;
    int _USBDeviceNumber = 0;
    // USB device numbers are unique per bus only: with real numbers the bus
    // tells two devices with one number apart.
    int _USBBusNumber = 0;

public:
    // useFakeDeviceID: the effective number comes from the product line (0 for
    // TRV, 1 for everything else) instead of the stored USB device number.
    explicit MassStorageDeviceInfo(bool useFakeDeviceID);

    // Writes the text form and an end of line to standard output.
    void Print() const;
    bool isZentrixDevice() const;
    bool isTRVDevice() const;
    bool isSilvenmarDevice() const;
    // The effective device number: recomputed from the classification on
    // every call in fake-number mode, the stored number otherwise. With real
    // numbers, records are ordered and told apart by number and bus.
    int getDeviceNumber() const;
    // The stored USB device number, whatever the mode.
    int getDeviceNumberReal() const;
    void setDeviceNumber(int n);
    void setBusNumber(int bus);

    // The device info file: nine "Key = value" lines. 1 when the file was
    // written (or loaded), 0 otherwise; loading fills the fields either way.
    int SaveInfoToFile(std::string path);
    int LoadInfoFromFile(std::string path);
    // The nine lines SaveInfoToFile writes. Control characters in the values
    // are shown as '?'.
    std::string InfoFileText() const;

    bool operator<(const MassStorageDeviceInfo& other) const;

private:
    void fillInfoFile(INIFile& file) const;

public:

    MassStorageDeviceInfo(const MassStorageDeviceInfo&) = default;
    MassStorageDeviceInfo(MassStorageDeviceInfo&&) = default;
    MassStorageDeviceInfo& operator=(const MassStorageDeviceInfo&) = default;
    MassStorageDeviceInfo& operator=(MassStorageDeviceInfo&&) = default;
    ~MassStorageDeviceInfo() = default;
};

bool operator==(const MassStorageDeviceInfo& a, const MassStorageDeviceInfo& b);
// The text form, without a line end: "Vendor: ... ProductID: ...". Control
// characters in the strings are shown as '?'.
std::ostream& operator<<(std::ostream& out, const MassStorageDeviceInfo& r);
