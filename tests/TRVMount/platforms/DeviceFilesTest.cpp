// The eLux NG and IGEL LX device files as their monitors read them.
#include "monitor/MonitorFixture.h"
#include "platforms/elux/MonitorEluxNG.h"
#include "platforms/igellx/MonitorIgelLX.h"

namespace {

struct EluxCase {
    const char* name;
    std::string file;
    const char* vendor;
    const char* product;
    const char* mountPoint;
};

class EluxDeviceFile : public MonitorTest, public testing::WithParamInterface<EluxCase> {};

TEST_P(EluxDeviceFile, HoldsVendorProductAndMountPointAsThreeWords)
{
    MonitorEluxNG& monitor = BuildAs<MonitorEluxNG>();
    WriteFile(m_dir / "device", GetParam().file);
    const MassStorageDeviceInfo record = monitor.ParseInfoFile(m_dir / "device");
    EXPECT_EQ(GetParam().vendor, record.Vendor);
    EXPECT_EQ(GetParam().product, record.Product);
    EXPECT_EQ(GetParam().mountPoint, record.MountPoint);
    EXPECT_EQ("", record.Device);
    EXPECT_EQ(0, record.VendorID);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EluxDeviceFile,
    testing::Values(EluxCase{"OneLine", "Zentrix TRV4 /media/usb0\n", "Zentrix", "TRV4", "/media/usb0"},
                    EluxCase{"ThreeLines", "Zentrix\nTRV4\n/media/usb0", "Zentrix", "TRV4", "/media/usb0"},
                    EluxCase{"TabsAndBlanks", "  Zentrix\t\tTRV4 \n\n /media/usb0 more words", "Zentrix", "TRV4",
                             "/media/usb0"},
                    EluxCase{"TwoWordVendor", "Zentrix Sonivex Velquor /media/x", "Zentrix", "Sonivex", "Velquor"},
                    EluxCase{"MountPointWithABlank", "Zentrix TRV4 /media/USB DISK", "Zentrix", "TRV4", "/media/USB"},
                    EluxCase{"TwoWords", "Zentrix TRV4\n", "Zentrix", "TRV4", ""},
                    // The file is read up to 64 KiB, which ends six bytes into the mount point.
                    EluxCase{"CutAfter64KiB", "Zentrix TRV4" + std::string(64 * 1024 - 18, ' ') + "/media/usb0", "Zentrix",
                             "TRV4", "/media"},
                    EluxCase{"Empty", "", "", "", ""}),
    [](const testing::TestParamInfo<EluxCase>& info) { return std::string(info.param.name); });

TEST_F(MonitorTest, AnUnreadableEluxDeviceFileGivesAnEmptyRecord)
{
    MonitorEluxNG& monitor = BuildAs<MonitorEluxNG>({"-d"});
    const MassStorageDeviceInfo record = monitor.ParseInfoFile(m_dir / "missing");
    EXPECT_EQ("", record.MountPoint);
    EXPECT_EQ(0, record.getDeviceNumber());
}

struct IgelCase {
    const char* name;
    const char* file;
    const char* vendor;
    const char* product;
    const char* device;
    const char* mountPoint;
};

class IgelLXDeviceFile : public MonitorTest, public testing::WithParamInterface<IgelCase> {};

TEST_P(IgelLXDeviceFile, MapsFourKeysToTheRecord)
{
    MonitorIgelLX& monitor = BuildAs<MonitorIgelLX>();
    WriteFile(m_dir / "device", GetParam().file);
    const MassStorageDeviceInfo record = monitor.ParseInfoFile(m_dir / "device");
    EXPECT_EQ(GetParam().vendor, record.Vendor);
    EXPECT_EQ(GetParam().product, record.Product);
    EXPECT_EQ(GetParam().device, record.Device);
    EXPECT_EQ(GetParam().mountPoint, record.MountPoint);
    EXPECT_EQ(0, record.ProductID);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IgelLXDeviceFile,
    testing::Values(
        IgelCase{"AllFour",
                 "Manufacturer=\"Zentrix\"\nDeviceName=\"TRV4\"\nDEVICES=\"/dev/sdb1\"\nAUTOMOUNT_DIR=\"/media/usb0\"\n",
                 "Zentrix", "TRV4", "/dev/sdb1", "/media/usb0"},
        IgelCase{"AnyOrderOtherKeys",
                 "AUTOMOUNT_DIR=\"/media/usb0\"\nSERIAL=\"1\"\nDEVICES=\"/dev/sdc\"\nDeviceName=\"Silvenmar\"\n"
                 "Manufacturer=\"Zentrix\"",
                 "Zentrix", "Silvenmar", "/dev/sdc", "/media/usb0"},
        IgelCase{"NoMountPoint", "Manufacturer=\"Zentrix\"\nDeviceName=\"TRV4\"\n", "Zentrix", "TRV4", "", ""},
        IgelCase{"BlanksKeptButNotInTheMountPoint",
                 "Manufacturer=\"Zentrix Sonivex\"\nDeviceName=\"Velquor 3\"\nAUTOMOUNT_DIR=\"/media/USB DISK \"\n",
                 "Zentrix Sonivex", "Velquor 3", "", "/media/USBDISK"},
        IgelCase{"KeysAreCaseSensitive", "manufacturer=\"Zentrix\"\nDevicename=\"TRV4\"\nAutomount_dir=\"/m\"\n", "",
                 "", "", ""},
        IgelCase{"LastOccurrenceWins", "AUTOMOUNT_DIR=\"/media/first\"\nAUTOMOUNT_DIR=\"/media/second\"\n", "", "",
                 "", "/media/second"},
        IgelCase{"LongerKeysCount", "DeviceNameLong=\"TRV3\"\nDEVICESX=\"/dev/sdq\"\n", "", "TRV3", "/dev/sdq", ""},
        IgelCase{"QuoteRules", "Manufacturer=Zentrix\nDeviceName=\"TRV4\nAUTOMOUNT_DIR=\"\"\n", "Manufacturer=Zentrix",
                 "TRV4", "", ""}),
    [](const testing::TestParamInfo<IgelCase>& info) { return std::string(info.param.name); });

}  // namespace
