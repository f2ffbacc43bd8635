#include "device/MassStorageDevice.h"

#include "fs/CommonWrappers.h"

namespace MassStorageDevice {

namespace {

struct KnownDevice {
    const char* vendor;
    const char* product;
};

// Every pair the maker ships, lower case. The underscore and the blank
// spellings of the Sonivex line only go together.
constexpr KnownDevice kZentrixDevices[] = {
    {"zentrix", "trv3"},
    {"zentrix", "trv4"},
    {"zentrix", "trv3-harddisk"},
    {"zentrix", "trv4-harddisk"},
    {"zentrix", "trv-harddisk"},
    {"zentrix", "silvenmar"},
    {"zentrix_sonivex", "velquor_3"},
    {"zentrix_sonivex", "velquor_4"},
    {"zentrix sonivex", "velquor 3"},
    {"zentrix sonivex", "velquor 4"},
};

std::string withoutTrailingWhiteSpace(std::string s)
{
    s.erase(s.find_last_not_of(" \t\n\r\f\v") + 1);
    return s;
}

}  // namespace

bool isZentrixDevice(std::string vendor, std::string product)
{
    vendor = withoutTrailingWhiteSpace(CommonWrappers::toLower(vendor));
    product = withoutTrailingWhiteSpace(CommonWrappers::toLower(product));
    for (const KnownDevice& known : kZentrixDevices) {
        if (vendor == known.vendor && product == known.product) {
            return true;
        }
    }
    return false;
}

bool isSilvenmarDevice(std::string vendor, std::string product)
{
    // Not trimmed: "silvenmar " is a maker's device of the TRV line.
    return isZentrixDevice(vendor, product) && CommonWrappers::toLower(product) == "silvenmar";
}

bool isTRVDevice(std::string vendor, std::string product)
{
    return isZentrixDevice(vendor, product) && !isSilvenmarDevice(vendor, product);
}

}  // namespace MassStorageDevice
