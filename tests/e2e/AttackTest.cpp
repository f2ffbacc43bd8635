// A local user without privileges attacks the daemon, which runs as root and
// makes its names in the world-writable /tmp, through the names it uses and the
// platform files it reads. Whatever the user does, every file outside the
// daemon's own names stays as it was, the daemon keeps running, and after the
// next pass its links and info files are right. The protection sysctls
// (fs.protected_*) are whatever the host has; 0 is the worst case.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/DaemonOutput.h"
#include "e2e/DaemonTest.h"
#include "e2e/FakePlatforms.h"
#include "support/Process.h"

namespace {

// What the attacked daemon is to show after the next pass.
struct Outcome {
    std::string trvLink;  // target of /tmp/ZentrixTRV, "" for nothing there
    std::string svLink;
    std::vector<std::pair<std::string, std::string>> infoFiles;  // name, MountPoint line
};

struct Attack {
    const char* name;
    int mode;  // 1: TRV stick in an eLux file; 2: TRV stick in sysfs and mtab; 3: in an IGEL LX file
    std::vector<std::string> args;
    std::function<void(FakeRoot&)> setup;  // as root: the platform's part of the scene
    std::string plant;                      // as the user, before the daemon starts
    // While the daemon runs; what the user changes there is entered in the
    // snapshot taken before.
    std::function<void(FakeRoot&, pid_t, std::map<std::string, std::string>&)> during;
    Outcome outcome;
};

const std::string kPlaceholder = kTRV + "_NotConnected";
const std::string kSVPlaceholder = kSV + "_NotConnected";
const Outcome kLinked{"/media/usb0", "", {{".VKT__0", "/media/usb0"}}};
const Outcome kLinkedSdb1{"/media/sdb1", "", {{".VKT_sdb1_0", "/media/sdb1"}}};
const Outcome kPlaceholders{kPlaceholder, kSVPlaceholder, {}};

void Nothing(FakeRoot&) {}
void NothingDuring(FakeRoot&, pid_t, std::map<std::string, std::string>&) {}
void Passes(int count) { std::this_thread::sleep_for(std::chrono::milliseconds(1100 * count)); }

// Files of root's that an attack tries to reach.
void SystemFiles(FakeRoot& root)
{
    root.MakeDir("/etc/important");
    root.Write("/etc/important/a", "root's data\n");
    root.Write("/etc/important/b", "more of root's data\n");
}

// Makes a platform directory writable by everyone, as a careless platform does.
std::function<void(FakeRoot&)> OpenToUsers(const std::string& dir)
{
    return [dir](FakeRoot& root) {
        SystemFiles(root);
        chmod(root.Host(dir).c_str(), 0777);
    };
}

// Platform files a scene itself changes while the daemon runs.
bool IsPlatformsOwn(const std::string& path)
{
    for (const char* prefix : {"/sys/", "/media/", "/staging/", "/etc/mtab", "/elux/usb/sv"}) {
        if (path.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

const Attack kAttacks[] = {
    {"InfoDirectoryNameIsALinkToASystemDirectory", 1, {}, SystemFiles,
     "ln -s /etc/important tmp/.VKTMassStorageInfo", NothingDuring, kLinked},
    {"InfoDirectoryNameIsTheUsersOwnDirectoryWithAFifoAndLinksInIt", 1, {}, SystemFiles,
     "mkdir tmp/.VKTMassStorageInfo && cd tmp/.VKTMassStorageInfo && mkfifo .tmp_VKT__0 && "
     "ln -s /etc/important/a .VKT__0 && echo mine > notes",
     NothingDuring, kLinked},
    {"PlaceholderNameIsALinkToTheUsersDirectory", 2, {"-k"}, Nothing,
     "mkdir tmp/eve && ln -s /tmp/eve tmp/ZentrixTRV_NotConnected && ln -s /tmp/eve tmp/ZentrixSilvenmar_NotConnected",
     [](FakeRoot& root, pid_t, auto&) { root.Remove("/sys/block/sdb"); }, kPlaceholders},
    {"PlaceholderNameIsTheUsersDirectoryOrAFifo", 2, {"-k"}, Nothing,
     "mkdir tmp/ZentrixTRV_NotConnected && echo mine > tmp/ZentrixTRV_NotConnected/notes && "
     "mkfifo tmp/ZentrixSilvenmar_NotConnected",
     [](FakeRoot& root, pid_t, auto&) { root.Remove("/sys/block/sdb"); }, kPlaceholders},
    {"PlaceholderNameIsAHardLinkToRootsFile", 2, {"-k"},
     [](FakeRoot& root) {
         SystemFiles(root);
         // Where fs.protected_hardlinks keeps the user from making it, the
         // link is made for them: the daemon must cope with it either way.
         link(root.Host("/etc/important/a").c_str(), root.Host(kPlaceholder).c_str());
     },
     "true", [](FakeRoot& root, pid_t, auto&) { root.Remove("/sys/block/sdb"); }, kPlaceholders},
    {"TheOldTemporaryLinkNameIsTaken", 1, {}, SystemFiles,
     "ln -s /etc/important tmp/ZentrixTRV.tmp && mkdir tmp/ZentrixSilvenmar.tmp", NothingDuring, kLinked},
    {"ALinkThatFailedOnceHealsWhenTheSquatterLeaves", 1, {}, Nothing, "mkdir tmp/ZentrixTRV",
     [](FakeRoot& root, pid_t, auto& before) {
         Passes(1);
         ASSERT_EQ(0, root.AsUser("rmdir tmp/ZentrixTRV"));
         before.erase(kTRV);
     },
     kLinked},
    {"EluxDeviceFilesAreAFifoAndALinkToDevZero", 1, {}, OpenToUsers("/elux/usb"),
     "mkfifo elux/usb/fifo && ln -s /dev/zero elux/usb/zero", NothingDuring, kLinked},
    {"MountTableIsAFifoUntilThePlatformWritesIt", 2, {}, OpenToUsers("/etc"),
     "mv etc/mtab etc/mtab.real && mkfifo etc/mtab",
     [](FakeRoot& root, pid_t, auto&) {
         Passes(1);
         std::rename(root.Host("/etc/mtab.real").c_str(), root.Host("/etc/mtab").c_str());
     },
     kLinkedSdb1},
    {"ASysfsAttributeAndTheRegistryFileAreFifos", 2, {},
     [](FakeRoot& root) {
         UsbStick other;
         other.name = "sdz";
         other.port = "4";
         other.host = 9;
         FakeSysfs(root).Plug(other);
         root.MakeDir("/etc/ZentrixVivozo");
         for (const char* dir : {"/etc/ZentrixVivozo", "/sys/devices/pci0000:00/0000:00:1d.7/usb1/1-4/1-4:1.0/host9/target9:0:0/9:0:0:0"}) {
             chmod(root.Host(dir).c_str(), 0777);
         }
     },
     "mkfifo etc/ZentrixVivozo/Settings.ini && cd sys/block/sdz/device && rm vendor && mkfifo vendor", NothingDuring,
     kLinkedSdb1},
    {"UD3VolumeFileIsAFifo", 2, {"-u"},
     [](FakeRoot& root) {
         FakeIgelUD3Storage(root).AddVolume("usb_device1", "storage0", "/dev/sdb1", "sdb1");
         root.MakeDir("/config/storage/usb_device0/storage0");
         chmod(root.Host("/config/storage/usb_device0/storage0").c_str(), 01777);
     },
     "mkfifo config/storage/usb_device0/storage0/volume_part0", NothingDuring, kLinkedSdb1},
    {"AFuseMountOfTheUserPosesAsTheStick", 2, {},
     [](FakeRoot& root) {
         root.Write("/etc/mtab", "/dev/sdb1 /tmp/eve fuse.sshfs rw,user_id=1000 0 0\n/dev/sdb1 /media/sdb1 vfat rw 0 0\n");
     },
     "mkdir tmp/eve", NothingDuring, kLinkedSdb1},
    {"ACarriageReturnInAnIgelLXValueAddsNoLineToTheInfoFile", 3, {},
     [](FakeRoot& root) {
         root.Write("/etc/hotplug/usb-storage/sdb",
                    "Manufacturer=\"Zentrix\"\nDeviceName=\"TRV4\"\nDEVICES=\"sdb1\"\n"
                    "AUTOMOUNT_DIR=\"/media/sdb1\rLinkPath=/tmp/eve\"\n");
     },
     "true", NothingDuring, {"/media/sdb1\rLinkPath=/tmp/eve", "", {{".VKT_sdb1_0", "/media/sdb1?LinkPath=/tmp/eve"}}}},
    {"StandardOutputIsAPipeWhoseReaderHasGone", 1, {}, [](FakeRoot& root) { root.StdoutToAClosedPipe(); }, "true",
     [](FakeRoot& root, pid_t, auto&) { FakeEluxNG(root).Plug("sv", "Zentrix", "Silvenmar", "/media/usb1"); },
     {"/media/usb0", "/media/usb1", {{".VKT__0", "/media/usb0"}, {".VKT__1", "/media/usb1"}}}},
    {"ListingsFailForWantOfDescriptors", 1, {}, Nothing, "true",
     [](FakeRoot& root, pid_t pid, auto&) {
         ASSERT_TRUE(FakeRoot::WaitFor([&] { return root.IsLink(kTRV); }));
         const std::string daemon = "--pid=" + std::to_string(pid);
         ASSERT_EQ(0, RunProgram("/usr/bin/prlimit", {daemon, "--nofile=3:"}).exitStatus);
         ASSERT_TRUE(FakeRoot::WaitFor([&] { return root.Err().find("Error(24) opening /elux/usb") != std::string::npos; }));
         Passes(1);
         EXPECT_EQ("/media/usb0", root.LinkTarget(kTRV));
         ASSERT_EQ(0, RunProgram("/usr/bin/prlimit", {daemon, "--nofile=1024:"}).exitStatus);
     },
     kLinked},
    {"TwoSticksWithOneDeviceNumberOnTwoBuses", 2, {"-d"},
     [](FakeRoot& root) {
         UsbStick silvenmar = SilvenmarBehindAHub();
         silvenmar.devnum = "2";
         FakeSysfs(root).Plug(silvenmar);
         FakeMountTable(root).Mount("/dev/sdc", "/media/sdc");
         root.Write("/etc/mtab", root.Read("/etc/mtab") + "/dev/sdb1 /media/sdb1 vfat rw 0 0\n");
     },
     "true", NothingDuring,
     {"/media/sdb1", "/media/sdc", {{".VKT_sdb1_2", "/media/sdb1"}, {".VKT_sdc_2", "/media/sdc"}}}},
};

// The daemon's own names: what an attack leaves there may change, but what
// held data there (a file, a directory) must be found again, moved aside.
bool IsDaemonName(const std::string& path)
{
    for (const std::string& name : {kTRV, kSV, kPlaceholder, kSVPlaceholder, std::string("/tmp/.VKTMassStorageInfo")}) {
        if (path == name || path.rfind(name + "/", 0) == 0) {
            return true;
        }
    }
    return false;
}

// A path as it was before the daemon moved it aside.
std::string Unmoved(const std::string& path)
{
    const size_t moved = path.find(".moved-");
    return moved == std::string::npos ? path : path.substr(0, moved) + path.substr(moved + 13);
}

class Attacks : public DaemonTest, public testing::WithParamInterface<Attack> {};

TEST_P(Attacks, TouchNothingOutsideTheDaemonsNamesAndLeaveItRunningAndLinking)
{
    const Attack& attack = GetParam();
    root.MakeDir("/dev");
    ASSERT_EQ(0, mknod(root.Host("/dev/zero").c_str(), S_IFCHR | 0666, makedev(1, 5)));
    std::vector<std::string> args{"-m", std::to_string(attack.mode), "-v"};
    if (attack.mode == 1) {
        FakeEluxNG(root).Plug("trv", "Zentrix", "TRV4", "/media/usb0");
        args.insert(args.end(), {"-e", "/elux/usb"});
    } else if (attack.mode == 2) {
        FakeSysfs(root).Plug(UsbStick{});
        FakeMountTable(root).Mount("/dev/sdb1", "/media/sdb1");
    } else {
        root.MakeDir("/etc/hotplug/usb-storage");
    }
    args.insert(args.end(), attack.args.begin(), attack.args.end());
    attack.setup(root);
    ASSERT_EQ(0, root.AsUser(attack.plant));
    std::map<std::string, std::string> before = root.Snapshot();

    root.Start(args);
    attack.during(root, root.Pid(), before);
    Passes(2);

    ASSERT_TRUE(root.Running()) << root.Err();
    EXPECT_EQ(attack.outcome.trvLink, root.LinkTarget(kTRV));
    EXPECT_EQ(attack.outcome.svLink, root.LinkTarget(kSV));
    std::vector<std::string> infoNames;
    for (const auto& [name, mountPoint] : attack.outcome.infoFiles) {
        infoNames.push_back(name);
        const std::string info = root.Read(kInfoDir + name);
        EXPECT_NE(std::string::npos, info.find("\nMountPoint = " + mountPoint + "\n")) << info;
        EXPECT_EQ(9, std::count(info.begin(), info.end(), '\n')) << info;
    }
    std::sort(infoNames.begin(), infoNames.end());
    EXPECT_EQ(infoNames, root.List(kInfoDir));
    for (const std::string& placeholder : {kPlaceholder, kSVPlaceholder}) {
        if (root.LinkTarget(placeholder.substr(0, placeholder.size() - 13)) == placeholder) {
            EXPECT_EQ("33261 0 ", root.Snapshot()[placeholder]) << "an empty file of root's, mode 0755";
        }
    }

    std::map<std::string, std::string> after;
    for (const auto& [path, entry] : root.Snapshot()) {
        if (path.find(".moved-") != std::string::npos || !IsDaemonName(path)) {
            after[Unmoved(path)] = entry;
        }
    }
    for (const auto& [path, entry] : before) {
        const bool heldData = S_ISREG(std::stoul(entry)) || S_ISDIR(std::stoul(entry));
        if ((!IsDaemonName(path) || heldData) && !IsPlatformsOwn(path)) {
            EXPECT_EQ(entry, after[path]) << path;
        }
        after.erase(path);
    }
    for (const auto& [path, entry] : after) {
        EXPECT_TRUE(IsPlatformsOwn(path)) << "new: " << path;
    }
    EXPECT_EQ(std::string::npos, root.Out().find('\r'));
    EXPECT_EQ(SIGTERM, root.Stop());
}

INSTANTIATE_TEST_SUITE_P(ByALocalUser, Attacks, testing::ValuesIn(kAttacks),
                         [](const testing::TestParamInfo<Attack>& info) { return std::string(info.param.name); });

}  // namespace
