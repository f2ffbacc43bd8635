#pragma once

#include <string>

// Recognises the maker's devices and their product line from the vendor and
// product strings a platform reports. USB ids play no part.
namespace MassStorageDevice {

// True for one of the maker's (vendor, product) pairs, compared after ASCII
// lower-casing and removing trailing white space.
bool isZentrixDevice(std::string vendor, std::string product);
// A maker's device that is not a Silvenmar device.
bool isTRVDevice(std::string vendor, std::string product);
// A maker's device whose lower-cased, untrimmed product is "silvenmar".
bool isSilvenmarDevice(std::string vendor, std::string product);

}  // namespace MassStorageDevice
