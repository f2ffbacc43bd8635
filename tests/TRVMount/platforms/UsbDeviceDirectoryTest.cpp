#include "platforms/linux26/UsbDeviceDirectory.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

struct CutCase {
    const char* name;
    const char* link;
    const char* firstLevel;
    const char* secondLevel;
};

class CutUsbDevice : public testing::TestWithParam<CutCase> {};

TEST_P(CutUsbDevice, TakesTheComponentsAfterTheRootHub)
{
    const UsbDevicePaths paths = CutUsbDevicePaths("/sys/block/", GetParam().link);
    EXPECT_EQ(GetParam().firstLevel, paths.firstLevel);
    EXPECT_EQ(GetParam().secondLevel, paths.secondLevel);
}

INSTANTIATE_TEST_SUITE_P(
    Links, CutUsbDevice,
    testing::Values(
        CutCase{"RootPort", "../devices/pci0000:00/0000:00:1d.7/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
                "/sys/block/../devices/pci0000:00/0000:00:1d.7/usb1/1-1/",
                "/sys/block/../devices/pci0000:00/0000:00:1d.7/usb1/1-1/1-1:1.0/"},
        CutCase{"BehindAHub",
                "../devices/pci0000:00/0000:00:1d.0/usb2/2-2/2-2.3/2-2.3:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
                "/sys/block/../devices/pci0000:00/0000:00:1d.0/usb2/2-2/",
                "/sys/block/../devices/pci0000:00/0000:00:1d.0/usb2/2-2/2-2.3/"},
        CutCase{"NoUsb", "../devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda", "", ""},
        CutCase{"Virtual", "../devices/virtual/block/loop0", "", ""},
        CutCase{"RootHubOnly", "../devices/pci0000:00/usb1", "", ""},
        CutCase{"OneComponent", "../devices/pci0000:00/usb1/1-1", "", ""},
        CutCase{"FirstLevelOnly", "../devices/pci0000:00/usb1/1-1/1-1:1.0", "/sys/block/../devices/pci0000:00/usb1/1-1/",
                ""},
        CutCase{"Empty", "", "", ""}),
    [](const testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

TEST(UsbDeviceDirectory, IsTheSecondLevelOnlyWhenItHoldsDevnum)
{
    TempDir dir;
    MakeDirs(dir / "usb1/1-1/1-1:1.0");
    WriteFile(dir / "usb1/1-1/devnum", "2\n");
    const UsbDevicePaths rootPort{dir / "usb1/1-1/", dir / "usb1/1-1/1-1:1.0/"};
    EXPECT_EQ(dir / "usb1/1-1/", ChooseUsbDeviceDirectory(rootPort));
    WriteFile(dir / "usb1/1-1/1-1:1.0/devnum", "3\n");
    EXPECT_EQ(dir / "usb1/1-1/1-1:1.0/", ChooseUsbDeviceDirectory(rootPort));
}

struct AttributeCase {
    const char* name;
    const char* devnum;  // nullptr: no such file
    const char* idVendor;
    const char* idProduct;
    const char* product;
    int number;
    int vendorId;
    int productId;
};

class UsbAttributes : public testing::TestWithParam<AttributeCase> {};

TEST_P(UsbAttributes, AreReadAsDecimalLeadingDigits)
{
    TempDir dir;
    const AttributeCase& c = GetParam();
    const std::pair<const char*, const char*> files[] = {
        {"devnum", c.devnum}, {"idVendor", c.idVendor}, {"idProduct", c.idProduct}, {"product", c.product}};
    for (const auto& [file, content] : files) {
        if (content != nullptr) {
            WriteFile(dir / file, content);
        }
    }
    MassStorageDeviceInfo record(false);
    record.setDeviceNumber(-7);  // what an unreadable devnum leaves
    ReadUsbAttributes(dir.path() + "/", record);
    EXPECT_EQ(c.number, record.getDeviceNumber());
    EXPECT_EQ(c.vendorId, record.VendorID);
    EXPECT_EQ(c.productId, record.ProductID);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UsbAttributes,
    testing::Values(AttributeCase{"Emulator", "2\n", "46f4\n", "0001\n", "QEMU USB HARDDRIVE\n", 2, 46, 1},
                    AttributeCase{"LeadingZero", "12\n", "0123\n", "1a2b\n", "Stick\n", 12, 123, 1},
                    AttributeCase{"HexLetterFirst", "3\n", "c0de\n", "abcd\n", "Stick\n", 3, 0, 0},
                    AttributeCase{"QRL2100", "4\n", "1234\n", "5678\n", "QRL2100\n", 4, 1234, 10},
                    AttributeCase{"QRL2100IsExact", "4\n", "1234\n", "5678\n", "qrl2100\n", 4, 1234, 5678},
                    AttributeCase{"NoLineEnd", "5", "0042", "0007", "QRL2100", 5, 42, 10},
                    AttributeCase{"Unreadable", nullptr, nullptr, nullptr, nullptr, -7, 0, 0}),
    [](const testing::TestParamInfo<AttributeCase>& info) { return std::string(info.param.name); });

TEST(ScsiAttributes, TheFirstWordOfABlankPaddedFieldIsRead)
{
    TempDir dir;
    WriteFile(dir / "vendor", "Zentrix \n");
    WriteFile(dir / "model", "TRV4            \n");
    WriteFile(dir / "two", "QEMU HARDDISK   \n");
    EXPECT_EQ("Zentrix", ReadFirstWord(dir / "vendor"));
    EXPECT_EQ("TRV4", ReadFirstWord(dir / "model"));
    EXPECT_EQ("QEMU", ReadFirstWord(dir / "two"));
    EXPECT_EQ("", ReadFirstWord(dir / "missing"));
}

}  // namespace
