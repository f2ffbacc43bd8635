#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sstream>

#include "device/MassStorageDeviceInfo.h"
#include "support/TempDir.h"

namespace {

MassStorageDeviceInfo Connected(bool fake)
{
    MassStorageDeviceInfo r(fake);
    r.Vendor = "Zentrix";
    r.Product = "TRV4";
    r.MountPoint = "/media/usb0";
    r.LinkPath = "/tmp/ZentrixTRV";
    r.Device = "sdb1";
    r.VendorID = 46;
    r.ProductID = 1;
    r.setDeviceNumber(5);
    return r;
}

TEST(DeviceInfoFile, HasExactlyTheNineLinesInTheirOrder)
{
    TempDir dir;
    MassStorageDeviceInfo r = Connected(true);
    r.Connected = "";
    EXPECT_EQ(1, r.SaveInfoToFile(dir / "info"));
    EXPECT_EQ("Vendor = Zentrix\n"
              "Product = TRV4\n"
              "MountPoint = /media/usb0\n"
              "LinkPath = /tmp/ZentrixTRV\n"
              "USBDeviceNumber = 0\n"
              "RealUSBDeviceNumber = 5\n"
              "Connected = yes\n"
              "VendorID = 46\n"
              "ProductID = 1\n",
              ReadFile(dir / "info"));
}

TEST(DeviceInfoFile, EmptyStringsLeaveTheKeyAndTheSeparatorAndNumbersKeepTheirSign)
{
    TempDir dir;
    MassStorageDeviceInfo r(false);
    r.setDeviceNumber(-3);
    r.VendorID = -1;
    EXPECT_EQ(1, r.SaveInfoToFile(dir / "info"));
    EXPECT_EQ("Vendor = \nProduct = \nMountPoint = \nLinkPath = \nUSBDeviceNumber = -3\nRealUSBDeviceNumber = -3\n"
              "Connected = yes\nVendorID = -1\nProductID = 0\n",
              ReadFile(dir / "info"));
}

TEST(DeviceInfoFile, ReadBackInRealNumberModeTheStoredNumberBecomesEffective)
{
    TempDir dir;
    ASSERT_EQ(1, Connected(true).SaveInfoToFile(dir / "info"));
    MassStorageDeviceInfo reader(false);
    reader.Device = "kept";
    EXPECT_EQ(1, reader.LoadInfoFromFile(dir / "info"));
    EXPECT_EQ("Zentrix", reader.Vendor);
    EXPECT_EQ("TRV4", reader.Product);
    EXPECT_EQ("/media/usb0", reader.MountPoint);
    EXPECT_EQ("/tmp/ZentrixTRV", reader.LinkPath);
    EXPECT_EQ("yes", reader.Connected);
    EXPECT_EQ(5, reader.getDeviceNumber());
    EXPECT_EQ(46, reader.VendorID);
    EXPECT_EQ(1, reader.ProductID);
    EXPECT_EQ("kept", reader.Device);
}

TEST(DeviceInfoFile, ReaderIgnoresKeyCaseAndBlanksAroundValues)
{
    TempDir dir;
    WriteFile(dir / "info", "VENDOR=  Zentrix  \nproduct = Silvenmar\nREALUSBDEVICENUMBER = 9\nvendorid=12abc\n");
    MassStorageDeviceInfo reader(false);
    EXPECT_EQ(1, reader.LoadInfoFromFile(dir / "info"));
    EXPECT_EQ("Zentrix", reader.Vendor);
    EXPECT_EQ("Silvenmar", reader.Product);
    EXPECT_EQ(9, reader.getDeviceNumber());
    EXPECT_EQ(12, reader.VendorID);
    EXPECT_EQ("no", reader.Connected);
}

TEST(DeviceInfoFile, KeysUnderASectionOrAMissingFileGiveTheDefaults)
{
    TempDir dir;
    WriteFile(dir / "info", "[device]\nVendor = Zentrix\nConnected = yes\nVendorID = 4\n");
    for (const auto& [path, result] : {std::pair<std::string, int>{dir / "info", 1}, {dir / "missing", 0}}) {
        MassStorageDeviceInfo reader = Connected(false);
        EXPECT_EQ(result, reader.LoadInfoFromFile(path));
        EXPECT_EQ("", reader.Vendor);
        EXPECT_EQ("", reader.MountPoint);
        EXPECT_EQ("", reader.LinkPath);
        EXPECT_EQ("no", reader.Connected);
        EXPECT_EQ(0, reader.getDeviceNumber());
        EXPECT_EQ(0, reader.VendorID);
        EXPECT_EQ(0, reader.ProductID);
    }
}

TEST(DeviceInfoFile, AControlCharacterInAValueCannotStartALineOfItsOwn)
{
    TempDir dir;
    MassStorageDeviceInfo r = Connected(true);
    r.MountPoint = "/media/two\rLinkPath = /home/eve\nlines\x7f";
    ASSERT_EQ(1, r.SaveInfoToFile(dir / "info"));
    MassStorageDeviceInfo reader(true);
    reader.LoadInfoFromFile(dir / "info");
    EXPECT_EQ("/media/two?LinkPath = /home/eve?lines?", reader.MountPoint);
    EXPECT_EQ(ReadFile(dir / "info"), r.InfoFileText());
    std::ostringstream line;
    line << r;
    EXPECT_NE(std::string::npos, line.str().find(" MountPoint: /media/two?LinkPath = /home/eve?lines? LinkPath: "));
}

TEST(DeviceInfoFile, WritingIntoAMissingDirectoryCreatesNothing)
{
    TempDir dir;
    EXPECT_EQ(0, Connected(true).SaveInfoToFile(dir / "missing/info"));
    EXPECT_FALSE(PathExists(dir / "missing"));
}

}  // namespace
