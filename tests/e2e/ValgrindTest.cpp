// The end-to-end scenarios of the three platforms once more with the daemon
// under valgrind's memcheck: no memory errors and no memory definitely lost.
// The monitor lives until the process ends, so still-reachable memory is
// expected. Needs a build without sanitizers.
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/DaemonOutput.h"
#include "e2e/DaemonTest.h"
#include "e2e/FakePlatforms.h"

namespace {

class Valgrind : public DaemonTest {
protected:
    void SetUp() override
    {
        DaemonTest::SetUp();
        if (IsSkipped()) {
            return;
        }
#ifdef TRV_SANITIZED_BUILD
        GTEST_SKIP() << "the daemon of this build tree carries sanitizers; valgrind needs a plain build "
                        "(scripts/test.sh runs these tests in build/plain)";
#endif
        if (access("/usr/bin/valgrind", X_OK) != 0) {
            GTEST_SKIP() << "valgrind is not installed";
        }
        root.SetLauncher({"/usr/bin/valgrind", "--vgdb=no", "--leak-check=full",
                          "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
                          "--log-file=/valgrind.log"});
        m_wait = 60;
    }

    // Ends the daemon and checks valgrind's verdict on the whole run.
    void ExpectCleanRun()
    {
        EXPECT_EQ(SIGTERM, root.Stop());
        const std::string log = root.Read("/valgrind.log");
        std::cout << log;
        EXPECT_NE(std::string::npos, log.find("ERROR SUMMARY: 0 errors")) << log;
        EXPECT_NE(std::string::npos, log.find("HEAP SUMMARY")) << log;
        const size_t lost = log.find("definitely lost: ");
        if (lost != std::string::npos) {
            EXPECT_EQ(0u, log.compare(lost, 26, "definitely lost: 0 bytes i")) << log;
        }
    }
};

TEST_F(Valgrind, EluxNGScenario)
{
    FakeEluxNG elux(root);
    StartDaemon(1, {"-e", elux.Dir(), "-k"});
    elux.Plug("trv", "Zentrix", "TRV4", "/media/usb0");
    elux.Plug("sv", "Zentrix", "Silvenmar", "/media/usb1");
    elux.Plug("other", "Kingston", "DataTraveler", "/media/usb2");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/usb0"));
    ASSERT_TRUE(LinkedTo(kSV, "/media/usb1"));
    elux.Unplug("trv");
    ASSERT_TRUE(root.WaitForOut("Disconnected: ", m_wait));
    ExpectCleanRun();
}

TEST_F(Valgrind, Linux26Scenario)
{
    FakeSysfs sysfs(root);
    FakeMountTable mtab(root);
    FakeIgelUD3Storage storage(root);
    sysfs.AddInternalDisks();
    StartDaemon(2, {"-k", "-f", "-d"});
    sysfs.Plug(UsbStick{});
    sysfs.Plug(SilvenmarBehindAHub());
    mtab.Mount("/dev/sdb1", "/media/sdb1");
    mtab.Mount("/dev/sdc", "/media/sdc");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/sdb1"));
    ASSERT_TRUE(LinkedTo(kSV, "/media/sdc"));
    sysfs.Unplug(UsbStick{});
    ASSERT_TRUE(root.WaitForOut("Disconnected: ", m_wait));
    ExpectCleanRun();
}

TEST_F(Valgrind, Linux26IgelUD3Scenario)
{
    FakeSysfs sysfs(root);
    FakeIgelUD3Storage storage(root);
    storage.AddVolume("usb_device0", "storage0", "/dev/sdb1", "RECORDER");
    StartDaemon(2, {"-u"});
    sysfs.Plug(UsbStick{});
    ASSERT_TRUE(LinkedTo(kTRV, "/media/RECORDER"));
    sysfs.Unplug(UsbStick{});
    ASSERT_TRUE(root.WaitForOut("Disconnected: ", m_wait));
    ExpectCleanRun();
}

TEST_F(Valgrind, IgelLXScenario)
{
    FakeIgelLX igel(root);
    StartDaemon(3);
    igel.Plug("sdb", "Zentrix", "TRV4", "sdb1", "/media/USB DISK");
    igel.Plug("sdc", "Zentrix", "Silvenmar", "sdc", "/media/sdc");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/USBDISK"));
    ASSERT_TRUE(LinkedTo(kSV, "/media/sdc"));
    igel.Unplug("sdc");
    ASSERT_TRUE(root.WaitForOut("Disconnected: ", m_wait));
    ExpectCleanRun();
}

}  // namespace
