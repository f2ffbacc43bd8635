#include <sys/stat.h>

#include "fs/CFunctionHelper.h"
#include "monitor/MonitorFixture.h"

namespace {

using CFunctionHelper::ReadLink;

std::vector<std::string> EntriesOf(const std::string& dir)
{
    std::vector<std::string> entries;
    CommonWrappers::getDir(dir, entries);
    return entries;
}

TEST_F(MonitorTest, CreateDeviceLinkUsesTheSilvenmarPathOnlyForSilvenmarDevices)
{
    TestMonitor& monitor = Build();
    EXPECT_EQ(SV(), monitor.createDeviceLink(Device("Zentrix", "Silvenmar", "/media/sv")));
    EXPECT_EQ(TRV(), monitor.createDeviceLink(Device("Zentrix", "TRV3", "/media/trv")));
    EXPECT_EQ("/media/sv", ReadLink(SV()));
    EXPECT_EQ("/media/trv", ReadLink(TRV()));
    // Anything else shares the TRV link path.
    EXPECT_EQ(TRV(), monitor.createDeviceLink(Device("Other", "Stick", "/media/other")));
    EXPECT_EQ("/media/other", ReadLink(TRV()));
    EXPECT_EQ("/media/other", monitor.linkPoint());
    EXPECT_TRUE(monitor.deviceLinked());
}

TEST_F(MonitorTest, CreateDeviceLinkReplacesAForeignFileButFailsOnADirectoryAndLeavesNothing)
{
    TestMonitor& monitor = Build();
    WriteFile(TRV(), "left from outside");
    EXPECT_EQ(TRV(), monitor.createDeviceLink(Device("Zentrix", "TRV4", "/media/usb0")));
    EXPECT_EQ("/media/usb0", ReadLink(TRV()));

    MakeDirs(SV());
    EXPECT_EQ("", monitor.createDeviceLink(Device("Zentrix", "Silvenmar", "/media/sv")));
    EXPECT_TRUE(IsDirectory(SV()));
    EXPECT_EQ("/media/usb0", monitor.linkPoint());
    EXPECT_EQ((std::vector<std::string>{"Settings.ini", "ZentrixSilvenmar", "ZentrixTRV", "cwd", "info"}),
              ListDir(m_dir.path()));
}

TEST_F(MonitorTest, DeleteDeviceLinkRemovesOnlyALink)
{
    TestMonitor& monitor = Build();
    MassStorageDeviceInfo trv = Device("Zentrix", "TRV4", "/media/usb0");
    trv.LinkPath = monitor.createDeviceLink(trv);
    EXPECT_EQ("", monitor.deleteDeviceLink(trv));
    EXPECT_FALSE(PathExists(TRV()));
    EXPECT_EQ("", monitor.linkPoint());
    EXPECT_FALSE(monitor.deviceLinked());

    WriteFile(TRV(), "someone's file");
    EXPECT_EQ("", monitor.deleteDeviceLink(trv));
    EXPECT_EQ("someone's file", ReadFile(TRV()));
}

TEST_F(MonitorTest, InvalidateDeviceLinkPointsTheLinkAtAnEmptyPlaceholder)
{
    TestMonitor& monitor = Build();
    MassStorageDeviceInfo sv = Device("Zentrix", "Silvenmar", "/media/sv");
    sv.LinkPath = monitor.createDeviceLink(sv);
    WriteFile(SV() + "_NotConnected", "stale content");

    EXPECT_EQ(SV() + "_NotConnected", monitor.InvalidateDeviceLink(sv));

    EXPECT_EQ(SV() + "_NotConnected", ReadLink(SV()));
    EXPECT_TRUE(IsRegularFile(SV() + "_NotConnected"));
    EXPECT_EQ("", ReadFile(SV() + "_NotConnected"));
    EXPECT_FALSE(monitor.deviceLinked());
}

TEST_F(MonitorTest, AnEmptyLinkPathIsNeverTouchedSoNothingAppearsInTheWorkingDirectory)
{
    TestMonitor& monitor = Build({"-k"});
    const MassStorageDeviceInfo unlinked = Device("Zentrix", "TRV4", "/media/usb0");
    EXPECT_EQ("", monitor.deleteDeviceLink(unlinked));
    EXPECT_EQ(TRV() + "_NotConnected", monitor.InvalidateDeviceLink(unlinked));
    EXPECT_TRUE(EntriesOf(Cwd()).empty());
}

TEST_F(MonitorTest, AnEmptyConfiguredLinkPathMakesNoLinkAndNoPlaceholder)
{
    TestMonitor& monitor = Build({"-l", "/", "-k"});
    monitor.createInitialDevicePath();
    EXPECT_EQ("", monitor.createDeviceLink(Device("Zentrix", "TRV4", "/media/usb0")));
    EXPECT_TRUE(EntriesOf(Cwd()).empty());
    EXPECT_EQ(SV() + "_NotConnected", ReadLink(SV()));
}

TEST_F(MonitorTest, KeepLinkStartStateMakesThePlaceholderBeforeTheLink)
{
    const mode_t savedMask = umask(022);
    Build({"-k"}).createInitialDevicePath();
    umask(savedMask);
    for (const std::string& link : {TRV(), SV()}) {
        EXPECT_EQ(link + "_NotConnected", ReadLink(link));
        EXPECT_EQ("", ReadFile(link + "_NotConnected"));
        struct stat info {};
        ASSERT_EQ(0, stat((link + "_NotConnected").c_str(), &info));
        EXPECT_EQ(0755u, info.st_mode & 07777);
    }
}

TEST_F(MonitorTest, WithoutKeepLinkTheStartStateTouchesNothing)
{
    Build().createInitialDevicePath();
    EXPECT_FALSE(PathExists(TRV()));
    EXPECT_FALSE(PathExists(SV() + "_NotConnected"));
}

}  // namespace
