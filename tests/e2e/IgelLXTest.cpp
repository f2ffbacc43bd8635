// Mode 3 end to end: the real daemon in a fake root reading IGEL LX device
// files under /etc/hotplug/usb-storage.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/DaemonOutput.h"
#include "e2e/DaemonTest.h"
#include "e2e/FakePlatforms.h"

namespace {

class IgelLX : public DaemonTest {
protected:
    void StartDaemon(const std::vector<std::string>& extra = {}) { DaemonTest::StartDaemon(3, extra); }
};

TEST_F(IgelLX, DevicesAreLinkedAndUnlinkedWithBlanksRemovedFromTheMountPoint)
{
    FakeIgelLX igel(root);
    StartDaemon({"-k"});
    EXPECT_FALSE(root.Exists(kTRV));  // no placeholders at start outside mode 2
    igel.Plug("sdb", "Zentrix", "TRV4", "sdb1", "/media/USB DISK");
    igel.Plug("sdc", "Zentrix", "Silvenmar", "sdc", "/media/sdc");
    igel.Plug("sdd", "Generic", "Flash Disk", "sdd1", "/media/sdd1");

    const ExpectedDevice trv{"Zentrix", "TRV4", "/media/USBDISK", kTRV, 0, 0, 0, 0};
    const ExpectedDevice sv{"Zentrix", "Silvenmar", "/media/sdc", kSV, 1, 0, 0, 0};
    ASSERT_TRUE(LinkedTo(kTRV, "/media/USBDISK"));
    ASSERT_TRUE(LinkedTo(kSV, "/media/sdc"));
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Connected", sv)));
    EXPECT_EQ(InfoFile(trv), root.Read(kInfoDir + ".VKT_sdb1_0"));
    EXPECT_EQ(InfoFile(sv), root.Read(kInfoDir + ".VKT_sdc_1"));

    igel.Unplug("sdb");
    ASSERT_TRUE(LinkedTo(kTRV, std::string(kTRV) + "_NotConnected"));
    ExpectedDevice gone = trv;
    gone.linkPath = std::string(kTRV) + "_NotConnected";
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Disconnected", gone)));
    EXPECT_EQ(std::vector<std::string>{".VKT_sdc_1"}, root.List(kInfoDir));
    EXPECT_EQ(Summary(3, "", "enabled") + DeviceLine("Connected", trv) + DeviceLine("Connected", sv) +
                  DeviceLine("Disconnected", gone),
              root.Out());
    EXPECT_EQ("", root.Err());
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(IgelLX, ADeviceWithoutAMountPointIsNotLinkedUntilItHasOne)
{
    FakeIgelLX igel(root);
    StartDaemon();
    igel.Plug("sdb", "Zentrix", "TRV4", "sdb1", "  ");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(root.Exists(kTRV));
    igel.Plug("sdb", "Zentrix", "TRV4", "sdb1", "/media/sdb1");
    EXPECT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(IgelLX, AMissingDeviceDirectoryIsReportedAndTheDaemonKeepsPolling)
{
    root.Start({"-m", "3"});
    const std::string error = "Error(2) opening /etc/hotplug/usb-storage\n";
    ASSERT_TRUE(FakeRoot::WaitFor([&] { return root.Err().find(error + error) != std::string::npos; }));
    EXPECT_EQ(0u, root.Err().find("Failed openning IgelLX USB dir: /etc/hotplug/usb-storage\n" + error));
    FakeIgelLX igel(root);
    igel.Plug("sdb", "Zentrix", "TRV4", "sdb1", "/media/sdb1");
    EXPECT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    EXPECT_EQ(SIGTERM, root.Stop());
}

}  // namespace
