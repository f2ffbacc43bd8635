#include <algorithm>
#include "fs/CFunctionHelper.h"
#include "monitor/MonitorFixture.h"

namespace {

using CFunctionHelper::ReadLink;

std::string Line(const char* event, const char* vendor, const char* product, const std::string& mountPoint,
                 const std::string& link, int number, int real = 0)
{
    return std::string(event) + ": Vendor: " + vendor + " Product: " + product + " MountPoint: " + mountPoint +
           " LinkPath: " + link + " USBDeviceNumber: " + std::to_string(number) +
           " RealUSBDeviceNumber: " + std::to_string(real) + " VendorID: 0 ProductID: 0\n";
}

TEST_F(MonitorTest, ANewDeviceGetsItsLinkAndInfoFileAndAConnectedLine)
{
    Build({"-v"});
    const std::string out = Pass({Device("Zentrix", "TRV4", "/media/usb0", "sdb1", 3)});

    EXPECT_EQ(Line("Connected", "Zentrix", "TRV4", "/media/usb0", TRV(), 0, 3), out);
    EXPECT_EQ("/media/usb0", ReadLink(TRV()));
    // The directory value ends in "/", so the name holds a doubled slash.
    EXPECT_EQ("Vendor = Zentrix\nProduct = TRV4\nMountPoint = /media/usb0\nLinkPath = " + TRV() +
                  "\nUSBDeviceNumber = 0\nRealUSBDeviceNumber = 3\nConnected = yes\nVendorID = 0\nProductID = 0\n",
              ReadFile(m_dir / "info//.VKT_sdb1_0"));
    EXPECT_FALSE(PathExists(Info(".tmp_VKT_sdb1_0")));
}

TEST_F(MonitorTest, DisappearedDevicesGoFirstInNumberOrderAndLoseFileAndLink)
{
    Build({"-v"});
    Pass({Device("Zentrix", "Silvenmar", "/media/sv", "sdc"), Device("Zentrix", "TRV4", "/media/usb0", "sdb1")});
    ASSERT_TRUE(PathExists(Info(".VKT_sdc_1")));

    const std::string out = Pass({});

    EXPECT_EQ(Line("Disconnected", "Zentrix", "TRV4", "/media/usb0", "", 0) +
                  Line("Disconnected", "Zentrix", "Silvenmar", "/media/sv", "", 1),
              out);
    EXPECT_FALSE(PathExists(TRV()));
    EXPECT_FALSE(PathExists(SV()));
    EXPECT_FALSE(PathExists(Info(".VKT_sdb1_0")));
    EXPECT_FALSE(PathExists(Info(".VKT_sdc_1")));
}

TEST_F(MonitorTest, KeepLinkPointsADepartedDevicesLinkAtItsPlaceholderAndSaysSo)
{
    Build({"-v", "-k"});
    Pass({Device("Zentrix", "TRV4", "/media/usb0")});
    EXPECT_EQ(Line("Disconnected", "Zentrix", "TRV4", "/media/usb0", TRV() + "_NotConnected", 0), Pass({}));
    EXPECT_EQ(TRV() + "_NotConnected", ReadLink(TRV()));
    EXPECT_TRUE(IsRegularFile(TRV() + "_NotConnected"));
}

TEST_F(MonitorTest, TheSameScanAgainDoesNothingAndADeviceThatStaysIsNeverTouched)
{
    TestMonitor& monitor = Build({"-v"});
    Pass({Device("Zentrix", "TRV4", "/media/usb0")});
    EXPECT_EQ("", Pass({Device("Zentrix", "TRV4", "/media/usb0")}));
    // Another mount point, another TRV model: the stored record stays.
    EXPECT_EQ("", Pass({Device("Zentrix", "TRV3", "/media/elsewhere", "sdc1")}));
    EXPECT_EQ("/media/usb0", ReadLink(TRV()));
    EXPECT_EQ("/media/usb0", monitor.known().begin()->MountPoint);
    EXPECT_TRUE(PathExists(Info(".VKT_sdb1_0")));
    EXPECT_FALSE(PathExists(Info(".VKT_sdc1_0")));
}

TEST_F(MonitorTest, FakeNumbersMakeTheFirstTRVDeviceOfAScanTheOnlyOne)
{
    Build({"-v"});
    const std::string out =
        Pass({Device("Zentrix", "TRV4", "/media/first", "sdb1"), Device("Zentrix", "TRV3", "/media/second", "sdc1")});
    EXPECT_EQ(Line("Connected", "Zentrix", "TRV4", "/media/first", TRV(), 0), out);
    EXPECT_EQ("/media/first", ReadLink(TRV()));

    // The linked one is unplugged, the other stays: the scan still holds number
    // 0, so the link keeps pointing at the unplugged device's mount point.
    EXPECT_EQ("", Pass({Device("Zentrix", "TRV3", "/media/second", "sdc1")}));
    EXPECT_EQ("/media/first", ReadLink(TRV()));
    EXPECT_TRUE(PathExists(Info(".VKT_sdb1_0")));
}

TEST_F(MonitorTest, RealNumbersLinkEveryArrivalAndKeepTheSharedLinkWhileADeviceOfTheLineStays)
{
    TestMonitor& monitor = Build({"-v", "-d"});
    const std::string out = Pass({Device("Zentrix", "TRV4", "/media/seven", "sdc1", 7),
                                  Device("Zentrix", "TRV4", "/media/five", "sdb1", 5)});
    EXPECT_EQ(Line("Connected", "Zentrix", "TRV4", "/media/five", TRV(), 5, 5) +
                  Line("Connected", "Zentrix", "TRV4", "/media/seven", TRV(), 7, 7),
              out);
    EXPECT_EQ("/media/seven", ReadLink(TRV()));
    for (const MassStorageDeviceInfo& known : monitor.known()) {
        EXPECT_EQ(TRV(), known.LinkPath);
    }

    // The device the link points at leaves: the link goes to the one that stays.
    EXPECT_EQ(Line("Disconnected", "Zentrix", "TRV4", "/media/seven", "", 7, 7),
              Pass({Device("Zentrix", "TRV4", "/media/five", "sdb1", 5)}));
    EXPECT_EQ("/media/five", ReadLink(TRV()));
    EXPECT_TRUE(PathExists(Info(".VKT_sdb1_5")));
    EXPECT_FALSE(PathExists(Info(".VKT_sdc1_7")));
}

TEST_F(MonitorTest, RealNumbersADepartureAndAnArrivalInOnePassLeaveTheLinkAtTheNewDevice)
{
    Build({"-d"});
    Pass({Device("Zentrix", "TRV4", "/media/five", "sdb1", 5)});
    Pass({Device("Zentrix", "TRV4", "/media/seven", "sdc1", 7)});
    EXPECT_EQ("/media/seven", ReadLink(TRV()));
}

TEST_F(MonitorTest, ForeignRecordsNeverReachTheKnownSet)
{
    TestMonitor& monitor = Build({"-v", "-d"});
    EXPECT_EQ("", Pass({Device("Kingston", "DataTraveler", "/media/stick", "sdd1", 4)}));
    EXPECT_TRUE(monitor.known().empty());
    EXPECT_FALSE(PathExists(TRV()));
    std::vector<std::string> infoFiles;
    CommonWrappers::getDir(Info(""), infoFiles);
    EXPECT_TRUE(infoFiles.empty());
}

TEST_F(MonitorTest, ALinkThatCannotBeMadeIsTriedAgainOnEveryPassAndTheInfoFileFollows)
{
    TestMonitor& monitor = Build({"-v", "-k"});
    MakeDirs(TRV());
    EXPECT_EQ(Line("Connected", "Zentrix", "TRV4", "/media/usb0", "", 0), Pass({Device("Zentrix", "TRV4", "/media/usb0")}));
    EXPECT_NE(std::string::npos, ReadFile(Info(".VKT_sdb1_0")).find("LinkPath = \n"));
    EXPECT_EQ("", Pass({Device("Zentrix", "TRV4", "/media/usb0")}));
    EXPECT_TRUE(IsDirectory(TRV()));

    ASSERT_EQ(0, rmdir(TRV().c_str()));
    EXPECT_EQ("", Pass({Device("Zentrix", "TRV4", "/media/usb0")}));
    EXPECT_EQ("/media/usb0", ReadLink(TRV()));
    EXPECT_NE(std::string::npos, ReadFile(Info(".VKT_sdb1_0")).find("LinkPath = " + TRV() + "\n"));
    ASSERT_EQ(1u, monitor.known().size());
    EXPECT_EQ(TRV(), monitor.known().begin()->LinkPath);

    EXPECT_EQ(Line("Disconnected", "Zentrix", "TRV4", "/media/usb0", TRV() + "_NotConnected", 0), Pass({}));
    EXPECT_EQ(TRV() + "_NotConnected", ReadLink(TRV()));
    EXPECT_TRUE(ListDir(Cwd()).empty());
}

TEST_F(MonitorTest, ALinkPlantedAtTheOldTemporaryInfoNameIsNeitherFollowedNorInTheWay)
{
    Build();
    WriteFile(m_dir / "victim", "precious");
    ASSERT_EQ(0, symlink((m_dir / "victim").c_str(), Info(".tmp_VKT_sdb1_0").c_str()));
    Pass({Device("Zentrix", "TRV4", "/media/usb0")});
    EXPECT_EQ("precious", ReadFile(m_dir / "victim"));
    EXPECT_EQ(m_dir / "victim", ReadLink(Info(".tmp_VKT_sdb1_0")));
    EXPECT_NE(std::string::npos, ReadFile(Info(".VKT_sdb1_0")).find("MountPoint = /media/usb0\n"));
    EXPECT_EQ("/media/usb0", ReadLink(TRV()));
}

TEST_F(MonitorTest, AnInfoDirectoryReplacedBehindTheDaemonsBackIsMadeAnewAndTheInfoFileWrittenThere)
{
    TestMonitor& monitor = Build({"-v"});
    ASSERT_EQ(0, rmdir(Info("").c_str()));
    WriteFile(m_dir / "info", "a file where the directory was");
    Pass({Device("Zentrix", "TRV4", "/media/usb0")});
    EXPECT_EQ("/media/usb0", ReadLink(TRV()));
    EXPECT_EQ(1u, monitor.known().size());

    Pass({Device("Zentrix", "TRV4", "/media/usb0")});
    EXPECT_NE(std::string::npos, ReadFile(Info(".VKT_sdb1_0")).find("MountPoint = /media/usb0\n"));
    const std::vector<std::string> names = ListDir(m_dir.path());
    const auto aside = std::find_if(names.begin(), names.end(),
                                    [](const std::string& name) { return name.rfind("info.moved-", 0) == 0; });
    ASSERT_NE(names.end(), aside);
    EXPECT_EQ("a file where the directory was", ReadFile(m_dir / *aside));
}

}  // namespace
