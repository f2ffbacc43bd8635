#include "platforms/linux26/IgelUD3Storage.h"

#include <dirent.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

// A UD3 storage root in a temp dir.
class IgelUD3Storage : public testing::Test {
protected:
    std::string Root() const { return m_dir.path() + "/"; }

    void Volume(const std::string& where, const std::string& content)
    {
        MakeDirs(m_dir / where.substr(0, where.rfind('/')));
        WriteFile(m_dir / where, content);
    }

    std::string Find(const std::string& device, const std::string& media = "/media/")
    {
        return FindIgelUD3MountPoint(Root(), device, media);
    }

    // The entries of a directory in the order readdir gives them.
    static std::vector<std::string> DirectoryOrder(const std::string& path)
    {
        std::vector<std::string> names;
        DIR* dir = opendir(path.c_str());
        while (const dirent* entry = readdir(dir)) {
            names.emplace_back(entry->d_name);
        }
        closedir(dir);
        return names;
    }

    TempDir m_dir;
};

const char kRecorder[] = "UUID=\"1234\"\nDEVICE=\"/dev/sdb1\"\nTYPE=\"vfat\"\nLABEL=\"RECORDER\"\n";

TEST_F(IgelUD3Storage, AMatchingVolumeGivesTheMediaPathAndItsLabel)
{
    Volume("usb_device0/storage0/volume_part0", kRecorder);
    EXPECT_EQ("/media/RECORDER", Find("sdb1"));
    EXPECT_EQ("/run/media/RECORDER", Find("sdb1", "/run/media/"));
}

TEST_F(IgelUD3Storage, TheDeviceValueMustEndWithTheDeviceName)
{
    Volume("usb_device0/storage0/volume_part0", kRecorder);
    Volume("usb_device1/storage0/volume_part0", "DEVICE=\"/dev/sdc\"\nLABEL=\"WHOLE\"\n");
    EXPECT_EQ("", Find("sdb"));
    EXPECT_EQ("/media/WHOLE", Find("sdc"));
    EXPECT_EQ("", Find("sdd1"));
}

TEST_F(IgelUD3Storage, VolumePart1IsReadWhenPart0IsMissing)
{
    Volume("usb_device0/storage0/volume_part1", "DEVICE=\"/dev/sdb1\"\nLABEL=\"SECOND\"\n");
    EXPECT_EQ("/media/SECOND", Find("sdb1"));
    Volume("usb_device0/storage0/volume_part0", "DEVICE=\"/dev/sdz1\"\nLABEL=\"FIRST\"\n");
    EXPECT_EQ("", Find("sdb1"));  // part0 exists, so part1 is not looked at
}

TEST_F(IgelUD3Storage, NamesAreMatchedByContainment)
{
    Volume("old_usb_device_7/mass_storage/volume_part0", kRecorder);
    Volume("usb_device0/volume/volume_part0", "DEVICE=\"/dev/sdc1\"\nLABEL=\"NOSTORAGE\"\n");
    Volume("disk0/storage0/volume_part0", "DEVICE=\"/dev/sdd1\"\nLABEL=\"NOUSB\"\n");
    EXPECT_EQ("/media/RECORDER", Find("sdb1"));
    EXPECT_EQ("", Find("sdc1"));
    EXPECT_EQ("", Find("sdd1"));
}

TEST_F(IgelUD3Storage, OnlyTheFirstThirtyLinesAreReadAndTheLastOccurrenceWins)
{
    std::string padded;
    for (int line = 0; line < 29; ++line) {
        padded += "KEY" + std::to_string(line) + "=\"x\"\n";
    }
    Volume("usb_device0/storage0/volume_part0", padded + "LABEL=\"THIRTIETH\"\nDEVICE=\"/dev/sdb1\"\n");
    Volume("usb_device1/storage0/volume_part0",
           "DEVICE=\"/dev/sdz1\"\nLABEL=\"A\"\nDEVICE=\"/dev/sdc1\"\nLABEL=\"B\"\nDEVICES=\"/dev/sdd1\"\n");
    EXPECT_EQ("", Find("sdb1"));
    EXPECT_EQ("", Find("sdc1"));  // DEVICES counts as DEVICE and comes last
    EXPECT_EQ("/media/B", Find("sdd1"));
}

TEST_F(IgelUD3Storage, AVolumeWithoutALabelGivesTheMediaPathAlone)
{
    Volume("usb_device0/storage0/volume_part0", "DEVICE=\"/dev/sdb1\"\n");
    EXPECT_EQ("/media/", Find("sdb1"));
}

TEST_F(IgelUD3Storage, AMissingRootIsReportedOnStandardOutput)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ("", FindIgelUD3MountPoint(m_dir / "missing/", "sdb1", "/media/"));
    EXPECT_EQ("Error(2) opening " + (m_dir / "missing/") + "\n", testing::internal::GetCapturedStdout());
}

TEST_F(IgelUD3Storage, EntriesBeyondTheTwoHundredthAreNotExamined)
{
    // 250 first-level entries; the match goes into the one that readdir
    // delivers as entry 205 (counting "." and ".."), which the bound skips.
    for (int i = 0; i < 250; ++i) {
        MakeDirs(m_dir / ("usb_device" + std::to_string(i)));
    }
    const std::vector<std::string> order = DirectoryOrder(m_dir.path());
    Volume(order[204] + "/storage0/volume_part0", kRecorder);
    EXPECT_EQ("", Find("sdb1"));
    Volume(order[199] + "/storage0/volume_part0", "DEVICE=\"/dev/sdc1\"\nLABEL=\"LAST\"\n");
    EXPECT_EQ("/media/LAST", Find("sdc1"));

    // The same bound holds inside a first-level directory.
    for (int i = 0; i < 250; ++i) {
        MakeDirs(m_dir / ("usb_device_x/storage" + std::to_string(i)));
    }
    const std::vector<std::string> inner = DirectoryOrder(m_dir / "usb_device_x");
    Volume("usb_device_x/" + inner[204] + "/volume_part0", "DEVICE=\"/dev/sde1\"\nLABEL=\"DEEP\"\n");
    Volume("usb_device_x/" + inner[199] + "/volume_part0", "DEVICE=\"/dev/sdf1\"\nLABEL=\"SHALLOW\"\n");
    EXPECT_EQ("/media/SHALLOW", Find("sdf1"));
    EXPECT_EQ("", Find("sde1"));
}

}  // namespace
