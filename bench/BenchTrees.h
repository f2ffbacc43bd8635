#pragma once

#include <string>
#include <vector>

#include "e2e/FakePlatforms.h"

// The platform trees the pass benchmarks run on. They are built once, from
// outside, into one fake root; inside that root (chrooted) each benchmark
// renames the tree it needs to the place the daemon reads and back again.
namespace BenchTrees {

// Marks the root of a benchmark tree; its presence is how the benchmark
// process knows it is chrooted and may let a monitor empty its info directory.
inline const char kMarker[] = "/.trvmountd-bench-root";

// The registry file the benchmark points the monitors at, and what it names.
inline const char kRegistryFile[] = "/bench/Settings.ini";
inline const char kInfoDir[] = "/bench/info/";
inline const char kLinkTRV[] = "/bench/links/ZentrixTRV";
inline const char kLinkSV[] = "/bench/links/ZentrixSilvenmar";
inline const char kScriptLinkTRV[] = "/bench/script-links/ZentrixTRV";
inline const char kScriptLinkSV[] = "/bench/script-links/ZentrixSilvenmar";
inline const char kEluxDir[] = "/elux/usb";
inline const char kIgelLXDir[] = "/etc/hotplug/usb-storage";
inline const char kToolsDir[] = "/opt/bench";
// Files left here by a run are copied out to ./bench-out when it ends.
inline const char kOutDir[] = "/bench/out";

// The sizes the benchmarks cover.
inline const std::vector<int> kBlockDeviceCounts{8, 64, 512};
inline const std::vector<int> kMakerCounts{0, 1, 2};
inline const std::vector<int> kDeviceFileCounts{1, 16, 256};
constexpr int kMountTableLines = 30;

// The kernel's name of the index-th SCSI disk: sda .. sdz, sdaa .. sdzz, sdaaa.
std::string BlockName(int index);

// The index-th of `devices` USB sticks of a sysfs tree in which `makers` (0,
// 1 or 2) are the maker's: a TRV stick on a root port a third of the way down
// the listing and a Silvenmar stick behind a hub two thirds of the way down.
UsbStick StickFor(int devices, int makers, int index);
bool IsMakerStick(const UsbStick& stick);

// The mount table for that tree: 30 lines, the maker's devices mounted last.
std::string MountTableFor(int devices, int makers);

// Where each tree waits while it is not in use, inside the root.
std::string Linux26Variant(int devices, int makers);  // holds sys/ and mtab
std::string EluxVariant(int files);
std::string IgelLXVariant(int files);

// Device files: min(files, 2) of the maker's devices, the rest of others.
std::string EluxFileName(int index);
std::string EluxFileText(int files, int index);
std::string IgelLXFileText(int files, int index);

// Builds every tree, the registry file and the directories above into root.
void BuildAll(FakeRoot& root);

}  // namespace BenchTrees
