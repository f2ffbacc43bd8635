#include "platforms/linux26/MountTable.h"

#include <gtest/gtest.h>

#include "fs/BoundedRead.h"
#include "support/TempDir.h"

namespace {

struct MountCase {
    const char* name;
    const char* table;
    const char* device;
    const char* mountPoint;
};

class MountTable : public testing::TestWithParam<MountCase> {};

TEST_P(MountTable, GivesTheDirectoryOfTheFirstLineWhoseDeviceEndsWithTheName)
{
    TempDir dir;
    WriteFile(dir / "mtab", GetParam().table);
    std::string bytes;
    ReadBoundedFile(dir / "mtab", kMountTableCap, bytes);
    EXPECT_EQ(GetParam().mountPoint, FindMountPoint(bytes, GetParam().device));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MountTable,
    testing::Values(
        MountCase{"Plain", "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/usb vfat rw 0 0\n", "sdb1", "/media/usb"},
        MountCase{"FirstMatchWins", "/dev/sdb1 /media/first vfat rw 0 0\n/dev/sdb1 /media/second vfat rw 0 0\n",
                  "sdb1", "/media/first"},
        MountCase{"OnlyTheDeviceField", "/dev/sdb1\n/dev/sdb1 /media/usb vfat rw 0 0\n", "sdb1", "/media/usb"},
        MountCase{"NoSecondBlank", "/dev/sdb1 /media/usb\n", "sdb1", ""},
        MountCase{"TabIsNoSeparator", "/dev/sdb1\t/media/tab vfat rw 0 0\n", "sdb1", ""},
        MountCase{"DeviceMustEndTheField", "/dev/sdb1p /media/p vfat rw 0 0\n/dev/sdb10 /media/ten vfat rw 0 0\n",
                  "sdb1", ""},
        MountCase{"WholeDisk", "/dev/sdc1 /media/part vfat rw 0 0\n/dev/sdc /media/disk vfat rw 0 0\n", "sdc",
                  "/media/disk"},
        MountCase{"EscapesStayEncoded", "/dev/sdb1 /media/USB\\040DISK vfat rw 0 0\n", "sdb1",
                  "/media/USB\\040DISK"},
        MountCase{"LastLineWithoutLineEnd", "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/last vfat rw 0 0", "sdb1",
                  "/media/last"},
        MountCase{"AnyUserMayMountFuseUnderAnySourceName",
                  "/dev/sdb1 /home/eve/fake fuse.sshfs rw 0 0\n/dev/sdb1 /home/eve/f2 fuse rw 0 0\n"
                  "/dev/sdb1 /media/usb vfat rw 0 0\n",
                  "sdb1", "/media/usb"},
        MountCase{"FuseblkNeedsTheBlockDevice", "/dev/sdb1 /media/ntfs fuseblk rw 0 0\n", "sdb1", "/media/ntfs"},
        MountCase{"NotMounted", "/dev/sda1 / ext4 rw 0 0\n", "sdb1", ""},
        MountCase{"Empty", "", "sdb1", ""}),
    [](const testing::TestParamInfo<MountCase>& info) { return std::string(info.param.name); });

TEST(MountTableFile, WithAVeryLongLineIsStillSearched)
{
    TempDir dir;
    WriteFile(dir / "mtab", "/dev/sda1 " + std::string(200000, 'x') + " ext4\n/dev/sdb1 /media/usb vfat rw 0 0");
    std::string bytes;
    ReadBoundedFile(dir / "mtab", kMountTableCap, bytes);
    EXPECT_EQ("/media/usb", FindMountPoint(bytes, "sdb1"));
}

}  // namespace
