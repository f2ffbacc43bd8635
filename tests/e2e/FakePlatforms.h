#pragma once

#include "e2e/FakeRoot.h"

// Sticks as a real kernel showed them: the trees of tests/fixtures/sysfs (see its
// README). `changes` gives new contents to the SCSI "vendor" and "model" (padded
// as the kernel pads them) or the USB device's attribute files ("devnum", ...).
class FakeSysfs {
public:
    explicit FakeSysfs(FakeRoot& root) : m_root(root) { m_root.MakeDir("/sys/block"); }
    // The device tree, then the /sys/block entry, as the kernel adds them;
    // returns the block device's name.
    std::string Plug(const std::string& fixture, const std::map<std::string, std::string>& changes = {});
    void Unplug(const std::string& fixture);  // the /sys/block entry, then the USB device's tree
    static std::string Name(const std::string& fixture);

private:
    FakeRoot& m_root;
};

// /etc/mtab of a fake root, replaced in one rename on every change.
class FakeMountTable {
public:
    explicit FakeMountTable(FakeRoot& root) : m_root(root) { Mount("/dev/sda1", "/"); }
    void Mount(const std::string& device, const std::string& directory);
    void Unmount(const std::string& device);

private:
    FakeRoot& m_root;
    std::string m_table;
};
