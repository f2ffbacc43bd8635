#include <signal.h>
#include <sys/stat.h>

#include "fs/CFunctionHelper.h"
#include "monitor/MonitorFixture.h"

namespace {

TEST_F(MonitorTest, ConstructionEmptiesTheInfoDirectoryOfEverythingButFullSubdirectories)
{
    MakeDirs(Info("full"));
    MakeDirs(Info("empty"));
    WriteFile(Info("full/kept"), "");
    WriteFile(Info(".VKT_sdb1_0"), "old");
    WriteFile(Info(".tmp_VKT_sdc_1"), "old");
    ASSERT_EQ(0, symlink("/etc/passwd", Info("link").c_str()));
    WriteFile(m_dir / "outside", "");

    TestMonitor& monitor = Build();

    EXPECT_EQ(m_dir / "info/", monitor.infoDirectory());
    EXPECT_FALSE(PathExists(Info(".VKT_sdb1_0")));
    EXPECT_FALSE(PathExists(Info(".tmp_VKT_sdc_1")));
    EXPECT_FALSE(PathExists(Info("link")));
    EXPECT_FALSE(PathExists(Info("empty")));
    EXPECT_TRUE(PathExists(Info("full/kept")));
    EXPECT_TRUE(PathExists("/etc/passwd"));
    EXPECT_TRUE(PathExists(m_dir / "outside"));
}

TEST_F(MonitorTest, ConstructionCreatesAMissingInfoDirectoryWithMode0755)
{
    const mode_t savedMask = umask(022);
    Build();
    umask(savedMask);
    struct stat info {};
    ASSERT_EQ(0, stat(Info("").c_str(), &info));
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(0755u, info.st_mode & 07777);
}

TEST_F(MonitorTest, AnInfoDirectoryThatCannotBeMadeIsReportedAndTheMonitorCarriesOn)
{
    WriteFile(m_dir / "Settings.ini", "TRVMountdDEVPath=" + (m_dir / "missing/info") + "\n");
    testing::internal::CaptureStderr();
    TestMonitor& monitor = Build({"-v"});
    EXPECT_EQ("Error(2) opening " + (m_dir / "missing/info") + "\n", testing::internal::GetCapturedStderr());
    EXPECT_NE("", Pass({Device("Zentrix", "TRV4", "/media/usb0")}));
    EXPECT_EQ("/media/usb0", CFunctionHelper::ReadLink(TRV()));
    EXPECT_EQ(1u, monitor.known().size());
}

int g_calls = 0;
int g_lastArgument = 0;
void RecordCall(int argument)
{
    ++g_calls;
    g_lastArgument = argument;
}

TEST(ChangeNotification, HandlersCallTheCallbackOnlyForSigioAndOnlyWhenOneIsSet)
{
    g_calls = 0;
    Monitor::setCallback(nullptr);
    onIOSignal(SIGIO);
    SIGIOAction(SIGIO, nullptr, nullptr);
    EXPECT_EQ(0, g_calls);

    Monitor::setCallback(RecordCall);
    onIOSignal(SIGIO);
    EXPECT_EQ(1, g_lastArgument);
    SIGIOAction(SIGIO, nullptr, nullptr);
    EXPECT_EQ(2, g_lastArgument);
    onIOSignal(SIGUSR1);
    SIGIOAction(SIGTERM, nullptr, nullptr);
    EXPECT_EQ(2, g_calls);
    Monitor::setCallback(nullptr);
}

TEST_F(MonitorTest, TheDirectoryChangedFlagIsSetAtConstructionAndStaysSet)
{
    TestMonitor& monitor = Build();
    EXPECT_EQ(&monitor, Monitor::getInstance());
    EXPECT_TRUE(monitor.getDirChanged());
    EXPECT_TRUE(monitor.getDirChanged());
}

TEST_F(MonitorTest, AWatchedDirectoryThatCannotBeOpenedIsReported)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, OpenWatchedDirectory(m_dir / "missing", "Failed openning Elux USB dir: "));
    EXPECT_EQ("Failed openning Elux USB dir: " + (m_dir / "missing") + "\n", testing::internal::GetCapturedStderr());
}

}  // namespace
