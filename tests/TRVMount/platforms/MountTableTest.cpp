#include "platforms/linux26/MountTable.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(GetParam().mountPoint, FindMountPoint(dir / "mtab", GetParam().device));
    // A pass reads the table once and asks it for each device: the answer
    // from memory must be the one the file gives, the second time too.
    MountTableSnapshot snapshot(dir / "mtab");
    EXPECT_EQ(GetParam().mountPoint, snapshot.Find(GetParam().device));
    EXPECT_EQ(GetParam().mountPoint, snapshot.Find(GetParam().device));
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
        MountCase{"NotMounted", "/dev/sda1 / ext4 rw 0 0\n", "sdb1", ""},
        MountCase{"Empty", "", "sdb1", ""}),
    [](const testing::TestParamInfo<MountCase>& info) { return std::string(info.param.name); });

TEST(MountTableFile, ThatIsMissingGivesNothing)
{
    TempDir dir;
    EXPECT_EQ("", FindMountPoint(dir / "missing", "sdb1"));
}

TEST(MountTableFile, WithAVeryLongLineIsStillSearched)
{
    TempDir dir;
    WriteFile(dir / "mtab", "/dev/sda1 " + std::string(200000, 'x') + " ext4\n/dev/sdb1 /media/usb vfat rw 0 0");
    EXPECT_EQ("/media/usb", FindMountPoint(dir / "mtab", "sdb1"));
}

TEST(MountTableSnapshot, ReadsTheFileOnceForTheWholePass)
{
    TempDir dir;
    WriteFile(dir / "mtab", "/dev/sdb1 /media/usb0 vfat rw 0 0\n");
    MountTableSnapshot snapshot(dir / "mtab");
    EXPECT_EQ("", snapshot.Find("sdc"));
    // A mount during the pass shows in the next pass, not half-way through.
    WriteFile(dir / "mtab", "/dev/sdb1 /media/usb0 vfat rw 0 0\n/dev/sdc /media/usb1 vfat rw 0 0\n");
    EXPECT_EQ("", snapshot.Find("sdc"));
    EXPECT_EQ("/media/usb0", snapshot.Find("sdb1"));
    EXPECT_EQ("/media/usb1", MountTableSnapshot(dir / "mtab").Find("sdc"));
}

TEST(MountTableSnapshot, OfAMissingFileGivesNothing)
{
    TempDir dir;
    EXPECT_EQ("", MountTableSnapshot(dir / "missing").Find("sdb1"));
}
}  // namespace
