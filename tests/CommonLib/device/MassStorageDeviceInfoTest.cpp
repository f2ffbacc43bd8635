#include "device/MassStorageDeviceInfo.h"

#include <set>
#include <sstream>

#include <gtest/gtest.h>

namespace {

MassStorageDeviceInfo Record(bool fake, const char* vendor, const char* product, int number = 0,
                             const char* mountPoint = "")
{
    MassStorageDeviceInfo r(fake);
    r.Vendor = vendor;
    r.Product = product;
    r.MountPoint = mountPoint;
    r.setDeviceNumber(number);
    return r;
}

std::string Text(const MassStorageDeviceInfo& r)
{
    std::ostringstream out;
    out << r;
    return out.str();
}

struct NumberCase {
    bool fake;
    const char* vendor;
    const char* product;
    int stored;
    int effective;
};

class EffectiveNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(EffectiveNumber, FollowsTheProductLineInFakeModeAndTheStoredNumberOtherwise)
{
    const NumberCase& c = GetParam();
    const MassStorageDeviceInfo r = Record(c.fake, c.vendor, c.product, c.stored);
    EXPECT_EQ(c.effective, r.getDeviceNumber());
    EXPECT_EQ(c.stored, r.getDeviceNumberReal());
}

INSTANTIATE_TEST_SUITE_P(Records, EffectiveNumber,
                         testing::Values(NumberCase{true, "", "", 0, 1}, NumberCase{true, "Zentrix", "TRV4", 7, 0},
                                         NumberCase{true, "Zentrix", "Silvenmar", 7, 1},
                                         NumberCase{true, "Kingston", "DataTraveler", 3, 1},
                                         NumberCase{false, "Zentrix", "TRV4", 7, 7},
                                         NumberCase{false, "Zentrix", "Silvenmar", -2, -2}));

TEST(EffectiveNumber, IsRecomputedWhenTheStringsChange)
{
    MassStorageDeviceInfo r(true);
    EXPECT_EQ(1, r.getDeviceNumber());
    r.Vendor = "Zentrix";
    r.Product = "TRV3";
    EXPECT_EQ(0, r.getDeviceNumber());
}

TEST(Ordering, FakeModeMakesAllTRVDevicesOneAndAllOthersAnother)
{
    std::set<MassStorageDeviceInfo> devices;
    EXPECT_TRUE(devices.insert(Record(true, "Zentrix", "Silvenmar", 0, "/media/sv")).second);
    EXPECT_TRUE(devices.insert(Record(true, "Zentrix", "TRV4", 0, "/media/first")).second);
    EXPECT_FALSE(devices.insert(Record(true, "Zentrix", "TRV3", 0, "/media/second")).second);
    EXPECT_FALSE(devices.insert(Record(true, "Kingston", "DataTraveler", 0, "/media/foreign")).second);

    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ("/media/first", devices.begin()->MountPoint);  // TRV (0) first, the first insert kept
    EXPECT_EQ("/media/sv", devices.rbegin()->MountPoint);
    EXPECT_TRUE(Record(true, "Zentrix", "TRV4") == Record(true, "zentrix", "trv3-harddisk"));
    EXPECT_TRUE(Record(true, "Zentrix", "Silvenmar") == Record(true, "Other", "Stick"));
}

TEST(Ordering, RealModeComparesStoredNumbersAsSignedIntegersAndNothingElse)
{
    MassStorageDeviceInfo a = Record(false, "Zentrix", "TRV4", 5, "/media/a");
    MassStorageDeviceInfo b = Record(false, "Other", "Stick", 5, "/media/b");
    b.LinkPath = "/tmp/x";
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(Record(false, "", "", -1) < Record(false, "", "", 0));
    EXPECT_FALSE(Record(false, "", "", 0) == Record(false, "", "", -1));
}

TEST(Ordering, StoredNumberDoesNotMoveAFakeModeRecord)
{
    MassStorageDeviceInfo trv = Record(true, "Zentrix", "TRV4");
    trv.setDeviceNumber(7);
    EXPECT_TRUE(trv < Record(true, "Zentrix", "Silvenmar", 0));
    EXPECT_TRUE(trv == Record(true, "Zentrix", "TRV3", 0));
}

TEST(TextForm, NamesTheEightFieldsWithVendorIdBeforeProductIdAndNoLineEnd)
{
    EXPECT_EQ("Vendor:  Product:  MountPoint:  LinkPath:  USBDeviceNumber: 1 RealUSBDeviceNumber: 0 VendorID: 0 "
              "ProductID: 0",
              Text(MassStorageDeviceInfo(true)));

    MassStorageDeviceInfo r = Record(true, "Zentrix", "TRV4", 7, "/media/usb0");
    r.LinkPath = "/tmp/ZentrixTRV";
    r.Device = "sdb1";
    r.Connected = "yes";
    r.VendorID = 4660;
    r.ProductID = 1;
    EXPECT_EQ("Vendor: Zentrix Product: TRV4 MountPoint: /media/usb0 LinkPath: /tmp/ZentrixTRV USBDeviceNumber: 0 "
              "RealUSBDeviceNumber: 7 VendorID: 4660 ProductID: 1",
              Text(r));
}

TEST(TextForm, PrintWritesItAsOneLine)
{
    testing::internal::CaptureStdout();
    Record(false, "Zentrix", "TRV4", 3).Print();
    EXPECT_EQ("Vendor: Zentrix Product: TRV4 MountPoint:  LinkPath:  USBDeviceNumber: 3 RealUSBDeviceNumber: 3 "
              "VendorID: 0 ProductID: 0\n",
              testing::internal::GetCapturedStdout());
}

TEST(Copies, AreIndependent)
{
    const MassStorageDeviceInfo original = Record(false, "Zentrix", "TRV4", 9, "/media/usb0");
    MassStorageDeviceInfo copy = original;
    copy.LinkPath = "/tmp/ZentrixTRV";
    copy.setDeviceNumber(1);
    EXPECT_EQ("", original.LinkPath);
    EXPECT_EQ(9, original.getDeviceNumber());
    EXPECT_EQ(1, copy.getDeviceNumber());
}

}  // namespace
