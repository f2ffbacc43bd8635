// Mode 2 end to end: the real daemon in a fake root reading a sysfs tree laid
// out as the kernel lays it out, /etc/mtab, and the IGEL UD3 storage tree.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/DaemonOutput.h"
#include "e2e/DaemonTest.h"
#include "e2e/FakePlatforms.h"

namespace {

class Linux26 : public DaemonTest {
protected:
    void StartDaemon(const std::vector<std::string>& extra = {}) { DaemonTest::StartDaemon(2, extra); }

    // Lets the daemon run a couple of passes.
    static void Passes(int count) { std::this_thread::sleep_for(std::chrono::milliseconds(1100 * count)); }

    FakeSysfs sysfs{root};
    FakeMountTable mtab{root};
};

TEST_F(Linux26, ATRVStickOnARootPortIsLinkedWithItsUsbNumbersAndUnlinkedWhenPulled)
{
    sysfs.AddInternalDisks();
    StartDaemon();
    const UsbStick stick;  // sdb on EHCI root port 1, devnum 2, 46f4:0001
    sysfs.Plug(stick);
    mtab.Mount("/dev/sdb1", "/media/sdb1");

    const ExpectedDevice trv{"Zentrix", "TRV4", "/media/sdb1", kTRV, 0, 2, 46, 1};
    ASSERT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Connected", trv)));
    EXPECT_EQ(InfoFile(trv), root.Read(kInfoDir + "/.VKT_sdb1_0"));

    // The kernel drops the disk at once; the mount table line goes later.
    sysfs.Unplug(stick);
    ASSERT_TRUE(Gone(kTRV));
    ExpectedDevice gone = trv;
    gone.linkPath = "";
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Disconnected", gone)));
    EXPECT_FALSE(root.Exists(kInfoDir + ".VKT_sdb1_0"));
    mtab.Unmount("/dev/sdb1");

    EXPECT_EQ(Summary(2) + DeviceLine("Connected", trv) + DeviceLine("Disconnected", gone), root.Out());
    EXPECT_EQ("", root.Err());
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, ASilvenmarStickBehindAHubIsLookedUpAsAWholeDiskWithTheHubsDeviceNumbers)
{
    StartDaemon();
    sysfs.Plug(SilvenmarBehindAHub());
    mtab.Mount("/dev/sdc", "/media/sdc");
    // idVendor 0123 and idProduct c0de are read as decimal leading digits.
    const ExpectedDevice sv{"Zentrix", "Silvenmar", "/media/sdc", kSV, 1, 3, 123, 0};
    ASSERT_TRUE(LinkedTo(kSV, "/media/sdc"));
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Connected", sv)));
    EXPECT_EQ(InfoFile(sv), root.Read(kInfoDir + ".VKT_sdc_1"));
    EXPECT_FALSE(root.Exists(kTRV));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, ARecognisedStickIsLinkedOnlyOnceItIsMounted)
{
    StartDaemon();
    sysfs.Plug(UsbStick{});
    mtab.Mount("/dev/sdb", "/media/wrong");  // the disk, not its first partition
    Passes(2);
    EXPECT_FALSE(root.Exists(kTRV));
    EXPECT_EQ("", DeviceLines(root.Out()));
    mtab.Mount("/dev/sdb1", "/media/usb0");
    EXPECT_TRUE(LinkedTo(kTRV, "/media/usb0"));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, TheKernelsMountTableIsReadThroughProcAndAMountOrUnmountThereIsFollowed)
{
    root.Remove("/etc/mtab");
    root.Symlink("/proc/self/mounts", "/etc/mtab");
    sysfs.Plug(UsbStick{});
    StartDaemon();
    root.MountInside("/dev/sdb1", "/media/sdb1");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    root.UnmountInside("/media/sdb1");
    EXPECT_TRUE(Gone(kTRV));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, RealUsbNumbersTellTwoTRVSticksApart)
{
    UsbStick second = SilvenmarBehindAHub();
    second.model = "TRV3";
    StartDaemon({"-d"});
    sysfs.Plug(UsbStick{});
    mtab.Mount("/dev/sdb1", "/media/sdb1");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    sysfs.Plug(second);
    mtab.Mount("/dev/sdc1", "/media/sdc1");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/sdc1"));
    const ExpectedDevice first{"Zentrix", "TRV4", "/media/sdb1", kTRV, 2, 2, 46, 1};
    const ExpectedDevice other{"Zentrix", "TRV3", "/media/sdc1", kTRV, 3, 3, 123, 0};
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Connected", other)));
    EXPECT_EQ(DeviceLine("Connected", first) + DeviceLine("Connected", other), DeviceLines(root.Out()));
    EXPECT_EQ(InfoFile(first), root.Read(kInfoDir + ".VKT_sdb1_2"));
    EXPECT_EQ(InfoFile(other), root.Read(kInfoDir + ".VKT_sdc1_3"));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, WithoutAUsbPartTheNumbersStayZeroAndAQRL2100ProductForcesProductId10)
{
    UsbStick qrl;
    qrl.product = "QRL2100";
    qrl.idProduct = "0777";
    StartDaemon();
    sysfs.PlugWithoutUsb("sdd", "Zentrix", "Silvenmar");
    mtab.Mount("/dev/sdd", "/media/sdd");
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Connected", {"Zentrix", "Silvenmar", "/media/sdd", kSV, 1, 0, 0, 0})));
    sysfs.Plug(qrl);
    mtab.Mount("/dev/sdb1", "/media/sdb1");
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Connected", {"Zentrix", "TRV4", "/media/sdb1", kTRV, 0, 2, 46, 10})));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, ForceRemoveClearsBothLinkPathsAtStart)
{
    root.Write(kTRV, "a file in the way");
    root.MakeDir(kSV);
    StartDaemon({"-f"});
    EXPECT_TRUE(Gone(kTRV));
    EXPECT_TRUE(Gone(kSV));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, ForceRemoveLeavesAFullDirectoryAndWithoutItNothingIsRemoved)
{
    root.Write(kTRV, "a file in the way");
    root.MakeDir(std::string(kSV) + "/full");
    StartDaemon({"-f"});
    Passes(1);
    EXPECT_TRUE(root.IsDir(kSV));
    EXPECT_FALSE(root.Exists(kTRV));
    EXPECT_EQ(SIGTERM, root.Stop());
    root.Write(kTRV, "again");
    StartDaemon();
    Passes(1);
    EXPECT_EQ("again", root.Read(kTRV));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, KeepLinkPointsBothLinkPathsAtPlaceholdersFromTheStart)
{
    StartDaemon({"-k"});
    ASSERT_TRUE(LinkedTo(kTRV, std::string(kTRV) + "_NotConnected"));
    ASSERT_TRUE(LinkedTo(kSV, std::string(kSV) + "_NotConnected"));
    EXPECT_TRUE(root.IsFile(std::string(kTRV) + "_NotConnected"));
    EXPECT_TRUE(root.IsFile(std::string(kSV) + "_NotConnected"));

    sysfs.Plug(UsbStick{});
    mtab.Mount("/dev/sdb1", "/media/sdb1");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    EXPECT_EQ(std::string(kSV) + "_NotConnected", root.LinkTarget(kSV));
    sysfs.Unplug(UsbStick{});
    ASSERT_TRUE(LinkedTo(kTRV, std::string(kTRV) + "_NotConnected"));
    EXPECT_EQ("", root.Read(std::string(kTRV) + "_NotConnected"));
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, IgelUD3TakesTheMountPointFromTheStorageTreeUnderTheMediaPath)
{
    FakeIgelUD3Storage storage(root);
    storage.AddVolume("usb_device0", "storage0", "/dev/sdz1", "OTHER");
    storage.AddVolume("usb_device1", "storage0", "/dev/sdb1", "RECORDER");
    StartDaemon({"-u", "-i", "/run/media"});
    sysfs.Plug(UsbStick{});
    mtab.Mount("/dev/sdb1", "/media/ignored-in-ud3-mode");
    ASSERT_TRUE(LinkedTo(kTRV, "/run/media/RECORDER"));
    EXPECT_EQ(0u, root.Out().find(Summary(2, "", "disabled", "enabled", "/run/media/")));
    EXPECT_EQ("", root.Err());
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, IgelUD3WithoutAStorageTreeSaysSoOnEveryPassAndLinksNothing)
{
    StartDaemon({"-u"});
    sysfs.Plug(UsbStick{});
    const std::string error = "Error(2) opening /config/storage/\n";
    ASSERT_TRUE(root.WaitForOut(error + error));
    EXPECT_FALSE(root.Exists(kTRV));
    EXPECT_TRUE(root.Running());
    EXPECT_EQ(SIGTERM, root.Stop());
}

TEST_F(Linux26, AMissingSysBlockIsReportedAndTheDaemonKeepsRunning)
{
    root.Remove("/sys");
    root.Start({"-m", "2"});
    const std::string error = "Error(2) opening /sys/block/\n";
    ASSERT_TRUE(FakeRoot::WaitFor([&] { return root.Err().find(error + error) != std::string::npos; }));
    EXPECT_EQ(0u, root.Err().find("Failed openning /sys dir: /sys/block/\n" + error));
    // Once the kernel's directory is there the next pass finds the stick.
    FakeSysfs again(root);
    again.Plug(UsbStick{});
    mtab.Mount("/dev/sdb1", "/media/sdb1");
    EXPECT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    EXPECT_EQ(SIGTERM, root.Stop());
}

}  // namespace
