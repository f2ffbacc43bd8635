// Whatever the platform, a user or a broken device leaves in the files the
// daemon reads or the places it writes, it keeps running, keeps its links
// right and touches nothing it does not own.
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/DaemonOutput.h"
#include "e2e/DaemonTest.h"
#include "e2e/FakePlatforms.h"

namespace {

class Faults : public DaemonTest {
protected:
    void StartElux(std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"-e", "/elux/usb"});
        StartDaemon(1, extra);
    }
    // The daemon is still polling after a couple more passes.
    void ExpectStillRunning()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(2200));
        EXPECT_TRUE(root.Running()) << root.Err();
    }

    FakeEluxNG elux{root};
};

const ExpectedDevice kUnlinkedTRV{"Zentrix", "TRV4", "/media/usb0", "", 0, 0, 0, 0};

TEST_F(Faults, AnInfoDirectoryThatCannotBeCreatedCostsOnlyTheInfoFiles)
{
    root.MakeDir("/etc/ZentrixVivozo");
    root.Write("/etc/ZentrixVivozo/Settings.ini", "TRVMountdDEVPath=/missing/parent/info\n");
    StartElux();
    ASSERT_TRUE(FakeRoot::WaitFor([&] { return root.Err() == "Error(2) opening /missing/parent/info\n"; }))
        << root.Err();
    elux.Plug("trv", "Zentrix", "TRV4", "/media/usb0");
    EXPECT_TRUE(LinkedTo(kTRV, "/media/usb0"));
    EXPECT_FALSE(root.Exists("/missing"));
    ExpectStillRunning();
}

TEST_F(Faults, AReadOnlyInfoDirectoryKeepsWhatIsInItAndLinksStillWork)
{
    root.MakeDir(kInfoDir);
    root.Write(kInfoDir + ".VKT_sdb1_0", "left by an earlier run");
    root.MakeReadOnly(kInfoDir);
    StartElux();
    elux.Plug("trv", "Zentrix", "TRV4", "/media/usb0");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/usb0"));
    EXPECT_EQ(std::vector<std::string>{".VKT_sdb1_0"}, root.List(kInfoDir));
    elux.Unplug("trv");
    EXPECT_TRUE(Gone(kTRV));
    ExpectStillRunning();
}

TEST_F(Faults, AFileWhereTheInfoDirectoryShouldBeIsMovedAsideWhole)
{
    root.Write("/tmp/.VKTMassStorageInfo", "someone's file");
    StartElux();
    elux.Plug("trv", "Zentrix", "TRV4", "/media/usb0");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/usb0"));
    ASSERT_TRUE(FakeRoot::WaitFor([&] { return root.Exists(kInfoDir + ".VKT__0"); }));
    std::string aside;
    for (const std::string& name : root.List("/tmp")) {
        aside = name.rfind(".VKTMassStorageInfo.moved-", 0) == 0 ? name : aside;
    }
    EXPECT_EQ("someone's file", root.Read("/tmp/" + aside));
    EXPECT_EQ("", root.Err());
    ExpectStillRunning();
}

TEST_F(Faults, ALinkPathWhoseParentIsMissingGivesAnEmptyLinkPathAndCreatesNothing)
{
    StartElux({"-l", "/missing/ZentrixTRV", "-k"});
    elux.Plug("trv", "Zentrix", "TRV4", "/media/usb0");
    ASSERT_TRUE(root.WaitForOut("Connected: Vendor: Zentrix Product: TRV4 MountPoint: /media/usb0 LinkPath:  "));
    elux.Unplug("trv");
    ASSERT_TRUE(root.WaitForOut("Disconnected: Vendor: Zentrix Product: TRV4 MountPoint: /media/usb0 "
                                "LinkPath: /missing/ZentrixTRV_NotConnected "));
    EXPECT_FALSE(root.Exists("/missing"));
    EXPECT_EQ((std::vector<std::string>{".VKTMassStorageInfo"}), root.List("/tmp"));
    ExpectStillRunning();
}

TEST_F(Faults, BrokenDeviceFilesAreSkippedAndLeftAsTheyAre)
{
    std::string binary(4096, '\0');
    std::mt19937 random(7);
    for (char& byte : binary) {
        byte = static_cast<char>(random());
    }
    const std::string megabyte(1 << 20, 'Z');
    root.Write("/elux/usb/empty", "");
    root.Write("/elux/usb/binary", binary);
    root.Write("/elux/usb/megabyte", megabyte);
    root.MakeDir("/elux/usb/directory");
    root.Symlink("/nowhere", "/elux/usb/dangling");
    root.Symlink("/etc", "/elux/usb/to-a-directory");
    elux.Plug("trv", "Zentrix", "TRV4", "/media/usb0");
    StartElux();
    ASSERT_TRUE(LinkedTo(kTRV, "/media/usb0"));
    ExpectStillRunning();
    EXPECT_EQ(binary, root.Read("/elux/usb/binary"));
    EXPECT_EQ(megabyte, root.Read("/elux/usb/megabyte"));
    EXPECT_EQ("/nowhere", root.LinkTarget("/elux/usb/dangling"));
    EXPECT_EQ(1u, root.List(kInfoDir).size());
    EXPECT_EQ("", root.Err());
}

// Files that come and go while the daemon lists and reads the directory: some
// are deleted between the listing and the reading.
void Churn(FakeRoot& root, const std::string& dir, const std::string& content, std::atomic<bool>& stop)
{
    for (int i = 0; !stop; ++i) {
        const std::string name = dir + "/churn" + std::to_string(i % 8);
        root.Write(name, content);
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        root.Remove(name);
    }
}

TEST_F(Faults, DeviceFilesDeletedBetweenListingAndReadingDoNotDisturbTheOthers)
{
    FakeIgelLX igel(root);
    igel.Plug("sdb", "Zentrix", "TRV4", "sdb1", "/media/sdb1");
    StartDaemon(3);
    ASSERT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    std::atomic<bool> stop{false};
    std::thread churn(Churn, std::ref(root), "/etc/hotplug/usb-storage",
                      "Manufacturer=\"Other\"\nDeviceName=\"Stick\"\nAUTOMOUNT_DIR=\"/media/x\"\n", std::ref(stop));
    ExpectStillRunning();
    stop = true;
    churn.join();
    EXPECT_EQ("/media/sdb1", root.LinkTarget(kTRV));
    EXPECT_EQ(DeviceLine("Connected", {"Zentrix", "TRV4", "/media/sdb1", kTRV, 0, 0, 0, 0}), DeviceLines(root.Out()));
}

TEST_F(Faults, AMountTableWithAHugeLineAndNoFinalLineEndIsStillRead)
{
    FakeSysfs sysfs(root);
    sysfs.Plug(UsbStick{});
    root.Write("/etc/mtab", "/dev/sda1 / ext4 rw 0 0\n/dev/sdz9 /" + std::string(1 << 20, 'x') +
                                " vfat rw 0 0\n/dev/sdb1 /media/sdb1 vfat rw 0 0");
    StartDaemon(2);
    EXPECT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    ExpectStillRunning();
}

TEST_F(Faults, MissingSysfsAttributesLeaveTheirValuesEmpty)
{
    FakeSysfs sysfs(root);
    FakeMountTable mtab(root);
    UsbStick stick;
    sysfs.Plug(stick);
    for (const char* file : {"devnum", "idVendor", "idProduct", "product"}) {
        root.Remove("/sys/" + stick.UsbDevicePath() + "/" + file);
    }
    UsbStick noVendor;
    noVendor.name = "sdc";
    noVendor.model = "Silvenmar";
    noVendor.host = 7;
    noVendor.port = "2";
    sysfs.Plug(noVendor);
    root.Remove("/sys/devices/" + noVendor.controller + "/usb1/1-2/1-2:1.0/host7/target7:0:0/7:0:0:0/vendor");
    mtab.Mount("/dev/sdb1", "/media/sdb1");
    mtab.Mount("/dev/sdc", "/media/sdc");
    StartDaemon(2);
    // The root hub above the device has the files, but a root-port device's
    // numbers are never read from the root hub.
    ASSERT_TRUE(root.WaitForOut(DeviceLine("Connected", {"Zentrix", "TRV4", "/media/sdb1", kTRV, 0, 0, 0, 0})));
    ExpectStillRunning();
    EXPECT_FALSE(root.Exists(kSV));
    EXPECT_EQ("", root.Err());
}

}  // namespace
