#include "BenchTrees.h"

#include <cstdio>
#include <filesystem>

namespace BenchTrees {

namespace {

struct OtherStick {
    const char* vendor;
    const char* model;
};

const OtherStick kOtherSticks[] = {
    {"SanDisk", "Cruzer Blade"},
    {"Kingston", "DataTraveler 3.0"},
    {"Generic", "Flash Disk"},
    {"Intenso", "Rainbow Line"},
};

// What a thin client's mount table holds before any stick is mounted.
const char* const kSystemMounts[] = {
    "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0",
    "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0",
    "udev /dev devtmpfs rw,nosuid,relatime,size=1966080k,nr_inodes=491520,mode=755 0 0",
    "devpts /dev/pts devpts rw,nosuid,noexec,relatime,gid=5,mode=620,ptmxmode=000 0 0",
    "tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime,size=401408k,mode=755 0 0",
    "/dev/sda1 / ext4 rw,relatime,errors=remount-ro 0 0",
    "securityfs /sys/kernel/security securityfs rw,nosuid,nodev,noexec,relatime 0 0",
    "tmpfs /dev/shm tmpfs rw,nosuid,nodev 0 0",
    "tmpfs /run/lock tmpfs rw,nosuid,nodev,noexec,relatime,size=5120k 0 0",
    "cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid,nodev,noexec,relatime,nsdelegate 0 0",
    "pstore /sys/fs/pstore pstore rw,nosuid,nodev,noexec,relatime 0 0",
    "bpf /sys/fs/bpf bpf rw,nosuid,nodev,noexec,relatime,mode=700 0 0",
    "systemd-1 /proc/sys/fs/binfmt_misc autofs rw,relatime,fd=30,pgrp=1,timeout=0,minproto=5,maxproto=5 0 0",
    "hugetlbfs /dev/hugepages hugetlbfs rw,relatime,pagesize=2M 0 0",
    "mqueue /dev/mqueue mqueue rw,nosuid,nodev,noexec,relatime 0 0",
    "debugfs /sys/kernel/debug debugfs rw,nosuid,nodev,noexec,relatime 0 0",
    "tracefs /sys/kernel/tracing tracefs rw,nosuid,nodev,noexec,relatime 0 0",
    "fusectl /sys/fs/fuse/connections fusectl rw,nosuid,nodev,noexec,relatime 0 0",
    "configfs /sys/kernel/config configfs rw,nosuid,nodev,noexec,relatime 0 0",
    "tmpfs /tmp tmpfs rw,nosuid,nodev,size=262144k 0 0",
    "/dev/sda2 /wfs ext4 rw,relatime 0 0",
    "/dev/sda3 /userhome ext4 rw,relatime 0 0",
    "tmpfs /var/log tmpfs rw,nosuid,nodev,size=32768k 0 0",
    "tmpfs /var/tmp tmpfs rw,nosuid,nodev,size=65536k 0 0",
    "/dev/sda4 /config ext4 ro,relatime 0 0",
    "/dev/loop0 /services/base squashfs ro,relatime 0 0",
    "/dev/loop1 /services/rdp squashfs ro,relatime 0 0",
    "/dev/loop2 /services/browser squashfs ro,relatime 0 0",
    "/dev/loop3 /services/codecs squashfs ro,relatime 0 0",
    "tmpfs /run/user/0 tmpfs rw,nosuid,nodev,relatime,size=401404k,mode=700 0 0",
};

int TRVIndex(int devices) { return devices / 3; }
int SilvenmarIndex(int devices) { return 2 * devices / 3; }

char Hex(int digit) { return "0123456789abcdef"[digit & 15]; }

const char* const kMakerFiles[][2] = {{"Zentrix", "TRV4"}, {"Zentrix", "Silvenmar"}};

}  // namespace

std::string BlockName(int index)
{
    // As the sd driver names disks: a base-26 number with letters for digits.
    std::string letters;
    for (int n = index + 1; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('a' + (n - 1) % 26));
    }
    return "sd" + letters;
}

UsbStick StickFor(int devices, int makers, int index)
{
    UsbStick stick;
    stick.name = BlockName(index);
    stick.bus = index / 16 + 1;
    stick.controller = std::string("pci0000:00/0000:00:") + Hex(stick.bus >> 4) + Hex(stick.bus) + ".0";
    stick.port = std::to_string(index % 16 + 1);
    stick.host = index + 2;
    stick.devnum = std::to_string(index % 16 + 2);
    const OtherStick& other = kOtherSticks[index % 4];
    stick.vendor = other.vendor;
    stick.model = other.model;
    stick.product = std::string(other.vendor) + " " + other.model;
    if (makers >= 1 && index == TRVIndex(devices)) {
        stick.vendor = "Zentrix";
        stick.model = "TRV4";
        stick.product = "TRV4 Stick";
    }
    if (makers >= 2 && index == SilvenmarIndex(devices)) {
        stick.vendor = "Zentrix";
        stick.model = "Silvenmar";
        stick.product = "Silvenmar Stick";
        stick.port += ".3";  // behind a hub: the numbers come from one level deeper
    }
    return stick;
}

bool IsMakerStick(const UsbStick& stick) { return stick.vendor == "Zentrix"; }

std::string MountTableFor(int devices, int makers)
{
    std::string table;
    for (int line = 0; line < kMountTableLines - makers; ++line) {
        table += kSystemMounts[line];
        table += "\n";
    }
    if (makers >= 1) {
        const std::string trv = BlockName(TRVIndex(devices)) + "1";
        table += "/dev/" + trv + " /media/" + trv + " vfat rw,nosuid,nodev,relatime,fmask=0022,dmask=0022 0 0\n";
    }
    if (makers >= 2) {
        const std::string sv = BlockName(SilvenmarIndex(devices));
        table += "/dev/" + sv + " /media/" + sv + " vfat rw,nosuid,nodev,relatime,fmask=0022,dmask=0022 0 0\n";
    }
    return table;
}

std::string Linux26Variant(int devices, int makers)
{
    return "/variants/l26-" + std::to_string(devices) + "-" + std::to_string(makers);
}

std::string EluxVariant(int files) { return "/variants/elux-" + std::to_string(files); }

std::string IgelLXVariant(int files) { return "/variants/igellx-" + std::to_string(files); }

std::string EluxFileName(int index)
{
    // The maker's devices are spread over the listing like the others.
    char name[32];
    std::snprintf(name, sizeof(name), "usb-%04d", index);
    return name;
}

namespace {

// Which device of a directory of `files` device files is which: the first
// two of the maker's, at a third and two thirds of the way, the rest not.
int MakerFileKind(int files, int index)
{
    if (files <= 2) {
        return index;  // 0 TRV, 1 Silvenmar
    }
    if (index == files / 3) {
        return 0;
    }
    if (index == 2 * files / 3) {
        return 1;
    }
    return -1;
}

}  // namespace

std::string EluxFileText(int files, int index)
{
    const int kind = MakerFileKind(files, index);
    const std::string mountPoint = "/media/usb" + std::to_string(index);
    if (kind >= 0) {
        return std::string(kMakerFiles[kind][0]) + " " + kMakerFiles[kind][1] + "\n" + mountPoint + "\n";
    }
    const OtherStick& other = kOtherSticks[index % 4];
    // A vendor of one word, as eLux writes it.
    return std::string(other.vendor) + " Stick" + std::to_string(index) + "\n" + mountPoint + "\n";
}

std::string IgelLXFileText(int files, int index)
{
    const int kind = MakerFileKind(files, index);
    const std::string vendor = kind >= 0 ? kMakerFiles[kind][0] : kOtherSticks[index % 4].vendor;
    const std::string product = kind >= 0 ? kMakerFiles[kind][1] : kOtherSticks[index % 4].model;
    const std::string device = BlockName(index + 1) + (kind == 1 ? "" : "1");
    return "DEVICES=\"" + device + "\"\nManufacturer=\"" + vendor + "\"\nDeviceName=\"" + product +
           "\"\nSERIAL=\"0123456789\"\nAUTOMOUNT_DIR=\"/media/" + device + "\"\n";
}

void BuildAll(FakeRoot& root)
{
    for (const char* dir : {"/variants", "/bench/info", "/bench/links", "/bench/script-links", "/elux", "/etc/hotplug",
                            "/etc/ZentrixVivozo", kToolsDir, kOutDir}) {
        root.MakeDir(dir);
    }
    root.Write(kMarker, "");
    root.Write(kRegistryFile, std::string("TRVMountdDEVPath=") + kInfoDir + "\n");
    // The daemon's own default registry file says the same, should anything
    // read it instead.
    root.Write("/etc/ZentrixVivozo/Settings.ini", std::string("TRVMountdDEVPath=") + kInfoDir + "\n");

    for (int devices : kBlockDeviceCounts) {
        for (int makers : kMakerCounts) {
            FakeSysfs sysfs(root);
            for (int index = 0; index < devices; ++index) {
                sysfs.Plug(StickFor(devices, makers, index));
            }
            const std::string variant = Linux26Variant(devices, makers);
            root.MakeDir(variant);
            std::filesystem::rename(root.Host("/sys"), root.Host(variant + "/sys"));
            root.Write(variant + "/mtab", MountTableFor(devices, makers));
        }
    }
    for (int files : kDeviceFileCounts) {
        const std::string elux = EluxVariant(files);
        const std::string igel = IgelLXVariant(files);
        root.MakeDir(elux);
        root.MakeDir(igel);
        for (int index = 0; index < files; ++index) {
            root.Write(elux + "/" + EluxFileName(index), EluxFileText(files, index));
            root.Write(igel + "/" + EluxFileName(index), IgelLXFileText(files, index));
        }
    }
}

}  // namespace BenchTrees
