#pragma once

#include <set>
#include <vector>

#include "device/MassStorageDeviceInfo.h"

// What one pass's scan changes in the set of known devices. A device is
// identified by its effective device number (and, with real numbers, its
// bus) alone; a device in both sets is no change, whatever else differs.
struct ScanChanges {
    std::vector<MassStorageDeviceInfo> departures;  // known, not scanned; in the known set's order
    std::vector<MassStorageDeviceInfo> arrivals;    // scanned, not known; in the scan's order
};

ScanChanges CompareScan(const std::set<MassStorageDeviceInfo>& known, const std::set<MassStorageDeviceInfo>& scan);
