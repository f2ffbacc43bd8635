#pragma once

#include <string>
#include <vector>

// The syscall floor of a pass: the directory listing, link reads and file
// reads that a pass cannot do without, made with bare POSIX calls into stack
// buffers, with no parsing and no allocation. What the daemon spends above
// this is its own doing.
namespace Floor {

// Mode 2: list /sys/block/; read device/vendor and device/model of every
// entry; for the maker's devices (known beforehand, by name) read the mount
// table, the entry's link, stat the deeper USB directory's devnum and read
// the five USB attribute files of the USB device directory. Every distinct
// file is read once per pass; the mount table too.
struct Linux26Plan {
    struct Maker {
        std::string name;       // block device name, such as sdc
        std::string link;       // /sys/block/sdc
        std::string statPath;   // the deeper candidate's devnum
        std::vector<std::string> usbFiles;  // devnum, busnum, idProduct, idVendor, product
    };
    std::vector<Maker> makers;
};

// Works the plan out from the tree now at /sys/block with the daemon's own
// path rules (outside any timing).
Linux26Plan PlanLinux26(const std::vector<std::string>& makerNames);
// One floor pass; returns the number of bytes read, so nothing is optimised
// away. Unchecked, files are opened and read without the non-blocking open
// and the regular-file check that every platform file needs.
long Linux26Pass(const Linux26Plan& plan, bool checked = true);

// Modes 1 and 3: list dir and read every file in it once; with pause, sleep
// 200 microseconds before each open as the IGEL LX monitor does.
long DeviceFilePass(const char* dir, bool pause);

}  // namespace Floor
