// Figures of the real daemon chrooted into fake roots, as the end-to-end tests run it.
#include <cmath>
#include <cstdio>
#include <future>
#include <optional>
#include <random>

#include "Bench.h"
#include "e2e/FakePlatforms.h"

namespace {

using Clock = std::chrono::steady_clock;
using As = FakeRoot::As;
const char kTRV[] = "/tmp/ZentrixTRV";
const char kSV[] = "/tmp/ZentrixSilvenmar";
const std::string kTRVDevice = "/dev/" + FakeSysfs::Name("root-port") + "1", kSVDevice = "/dev/" + FakeSysfs::Name("behind-hub");

// Polled every 100 microseconds: FakeRoot::WaitFor's 2 ms would blur reactions of a millisecond.
std::optional<Clock::time_point> When(const std::function<bool()>& condition)
{
    for (const auto deadline = Clock::now() + std::chrono::seconds(5); Clock::now() < deadline;) {
        if (condition()) {
            return Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return std::nullopt;
}

// Its watches are armed a little after its info directory is made.
bool Start(FakeRoot& root, const std::vector<std::string>& args)
{
    sync();  // else smaps counts the pages of the binary copied in just now as the daemon's own dirty memory
    root.Start(args);
    const bool started = When([&] { return root.Exists("/tmp/.VKTMassStorageInfo"); }).has_value();
    usleep(300000);
    if (!started || !root.Running()) {
        std::fprintf(stderr, "the daemon did not start: %s\n", root.Err().c_str());
        return false;
    }
    return true;
}

// The thin client's own block devices: the internal disk and two loop devices.
void InternalDisks(FakeRoot& root)
{
    const std::string sda = "/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
    root.Write("/sys" + sda + "/vendor", "ATA     \n");
    root.Write("/sys" + sda + "/model", "QEMU HARDDISK   \n");
    root.MakeDir("/sys" + sda + "/block/sda");
    symlink("../../../0:0:0:0", root.Host("/sys" + sda + "/block/sda/device").c_str());
    symlink((".." + sda + "/block/sda").c_str(), root.Host("/sys/block/sda").c_str());
    for (const std::string loop : {"loop0", "loop1"}) {
        root.MakeDir("/sys/devices/virtual/block/" + loop);
        symlink(("../devices/virtual/block/" + loop).c_str(), root.Host("/sys/block/" + loop).c_str());
    }
}

// The daemon in mode 2 with a TRV stick at a root port and a Silvenmar stick behind a hub linked,
// mounted in its namespace for the kernel's table, else listed in a regular /etc/mtab.
bool BothLinked(FakeRoot& root, bool kernelTable)
{
    FakeSysfs sysfs(root);
    InternalDisks(root);
    sysfs.Plug("root-port");
    sysfs.Plug("behind-hub");
    if (kernelTable) {
        symlink("/proc/self/mounts", root.Host("/etc/mtab").c_str());
    } else {
        FakeMountTable mtab(root);
        mtab.Mount(kTRVDevice, "/media/trv");
        mtab.Mount(kSVDevice, "/media/sv");
    }
    bool linked = Start(root, {"-m", "2"});
    for (const auto& [device, at] : {std::pair{kTRVDevice, "media/trv"}, {kSVDevice, "media/sv"}}) {
        root.MakeDir("/" + std::string(at));
        linked = linked && (!kernelTable || root.Shell("mount -t tmpfs " + device + " " + at, As::kDaemonsNamespace) == 0);
    }
    if (!linked || !When([&] { return root.LinkTarget(kTRV) == "/media/trv" && root.LinkTarget(kSV) == "/media/sv"; })) {
        std::fprintf(stderr, "the daemon did not link both sticks: %s\n", root.Err().c_str());
        return false;
    }
    return true;
}

std::map<std::string, long> ProcFields(pid_t pid, const char* file)
{
    std::map<std::string, long> fields;
    std::istringstream lines(ReadFile("/proc/" + std::to_string(pid) + "/" + file));
    for (std::string line; std::getline(lines, line);) {
        fields[line.substr(0, line.find(':'))] = std::atol(line.c_str() + line.find(':') + 1);
    }
    return fields;
}

// Each wait between two passes is one; a pass itself never blocks.
long VoluntarySwitches(pid_t pid) { return ProcFields(pid, "status")["voluntary_ctxt_switches"]; }

// Up to most milliseconds, so that changes come at every point of the daemon's one-second cycle.
void RandomPause(int most)
{
    static std::mt19937 random(20261206);
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, most * 1000)(random)));
}

// arrive makes a stick come at the trial's mount point and tells when the clock starts; the median
// and 95th percentile (nearest rank) of the times to the link, with fromStart also from each trial's start.
bool Trials(FakeRoot& root, int trials, const std::string& key, bool fromStart,
            const std::function<std::optional<Clock::time_point>(const std::string&)>& arrive,
            const std::function<void(const std::string&)>& leave)
{
    std::vector<double> times[2];
    for (int trial = 0; trial < trials; ++trial) {
        const std::string mountPoint = "/media/usb" + std::to_string(trial);
        root.MakeDir(mountPoint);
        RandomPause(250);
        const auto start = Clock::now();
        const auto arrived = arrive(mountPoint);
        const auto linked = When([&] { return root.LinkTarget(kTRV) == mountPoint; });
        leave(mountPoint);
        const bool gone = When([&] { return !root.Exists(kTRV); }).has_value();
        if (!arrived || !linked || !gone) {
            std::fprintf(stderr, "%s, trial %d: %s\n", key.c_str(), trial, !arrived ? "not mounted" : !linked ? "no link" : "the link stayed");
            break;
        }
        times[0].push_back(std::chrono::duration<double, std::milli>(*linked - *arrived).count());
        times[1].push_back(std::chrono::duration<double, std::milli>(*linked - start).count());
    }
    for (int from = 0; from <= fromStart; ++from) {
        std::sort(times[from].begin(), times[from].end());
        const std::string what = "reaction/" + key + (from ? "_from_start" : "");
        Figure(what + "/median_ms", Median(times[from]));
        Figure(what + "/p95_ms", times[from].empty() ? 0 : times[from][static_cast<size_t>(std::ceil(0.95 * times[from].size())) - 1]);
    }
    return static_cast<int>(times[0].size()) == trials;
}

// Mounts in the daemon's namespace, in the background; when the kernel told a reader of the daemon's
// mount table, as it tells the daemon. The milliseconds that the shell, nsenter and mount take to
// start and to end are not the daemon's.
std::optional<Clock::time_point> KernelMount(FakeRoot& root, const std::string& command, std::future<int>& mount)
{
    const int table = open(("/proc/" + std::to_string(root.Pid()) + "/mounts").c_str(), O_RDONLY | O_CLOEXEC);
    mount = std::async(std::launch::async, [&root, command] { return root.Shell(command, As::kDaemonsNamespace); });
    pollfd change{table, POLLPRI, 0};
    const bool reported = poll(&change, 1, 5000) == 1;
    close(table);
    return reported ? std::optional(Clock::now()) : std::nullopt;
}

}  // namespace

// Modes 1 and 3: a device file written beside the watched directory and
// renamed in, as the platforms publish them; timed from the rename. Mode 2:
// the stick's sysfs entry, then after up to a second (the automounter at work)
// its mount, in the kernel's table (/etc/mtab a link to /proc/self/mounts) or
// as a line of a regular /etc/mtab; timed from the mount and from the start.
int Reaction(int trials)
{
    int incomplete = 0;
    for (const int mode : {1, 3}) {
        FakeRoot root;
        const std::string dir = ListedDir(mode);
        root.MakeDir(dir);
        auto arrive = [&](const std::string& mountPoint) {
            root.Write("/staging/stick", DeviceFile(mode, "Zentrix", "TRV4", "sdb1", mountPoint));
            const auto renamed = std::optional(Clock::now());
            std::rename(root.Host("/staging/stick").c_str(), root.Host(dir + "/stick").c_str());
            return renamed;
        };
        auto leave = [&](const std::string&) { root.Remove(dir + "/stick"); };
        const std::vector<std::string> args = mode == 1 ? std::vector<std::string>{"-m", "1", "-e", dir} : std::vector<std::string>{"-m", "3"};
        incomplete += !Start(root, args) || !Trials(root, trials, "mode" + std::to_string(mode), false, arrive, leave);
    }
    for (const bool kernelTable : {true, false}) {
        FakeRoot root;
        FakeSysfs sysfs(root);
        InternalDisks(root);
        std::optional<FakeMountTable> mtab;
        std::future<int> mount;
        if (kernelTable) {
            symlink("/proc/self/mounts", root.Host("/etc/mtab").c_str());
        } else {
            mtab.emplace(root);
        }
        auto arrive = [&](const std::string& mountPoint) {
            sysfs.Plug("root-port");
            RandomPause(1000);
            const auto mounted = std::optional(Clock::now());
            if (kernelTable) {
                return KernelMount(root, "mount -t tmpfs " + kTRVDevice + " ." + mountPoint, mount);
            }
            mtab->Mount(kTRVDevice, mountPoint);
            return mounted;
        };
        auto leave = [&](const std::string& mountPoint) {
            sysfs.Unplug("root-port");
            if (kernelTable && mount.get() == 0) {
                root.Shell("umount ." + mountPoint, As::kDaemonsNamespace);
            } else if (!kernelTable) {
                mtab->Unmount(kTRVDevice);
            }
        };
        incomplete += !Start(root, {"-m", "2"}) || !Trials(root, trials, kernelTable ? "mode2_kernel_table" : "mode2_mtab_file", true, arrive, leave);
    }
    return incomplete;
}

// Idle, and with a link path inside the watched directory and a directory in its way, so that
// every pass tries the link again and so raises a notification.
int Wakeups(int seconds)
{
    FakeRoot idle, storm;
    storm.MakeDir("/elux/usb/ZentrixTRV");
    storm.Write("/elux/usb/trv", "Zentrix TRV4 /media/usb0\n");
    if (!BothLinked(idle, true) || !Start(storm, {"-m", "1", "-e", "/elux/usb", "-l", "/elux/usb/ZentrixTRV"})) {
        return 1;
    }
    for (auto [root, key, lasting] : {std::tuple{&idle, "idle", seconds}, {&storm, "own_writes", std::min(seconds, 10)}}) {
        const long before = VoluntarySwitches(root->Pid());
        std::this_thread::sleep_for(std::chrono::seconds(lasting));
        Figure(std::string("wakeups/") + key + "_per_s", static_cast<double>(VoluntarySwitches(root->Pid()) - before) / lasting);
    }
    return 0;
}

// The soak: the TRV stick pulled and plugged back CYCLES times, each time until the
// link has followed; memory, descriptors and info files before and after.
int Memory(int cycles)
{
    FakeRoot root;
    if (!BothLinked(root, false)) {
        return 1;
    }
    const pid_t pid = root.Pid();
    auto report = [&](const std::string& when) {
        usleep(300000);  // the passes the last change started are over
        auto status = ProcFields(pid, "status"), rollup = ProcFields(pid, "smaps_rollup");
        Figure("memory/" + when + "/VmRSS_kib", status["VmRSS"]);
        for (const char* field : {"Private_Dirty", "Private_Clean", "Pss"}) {
            Figure("memory/" + when + "/" + field + "_kib", rollup[field]);
        }
        Figure("memory/" + when + "/open_descriptors", ListDir("/proc/" + std::to_string(pid) + "/fd").size());
        Figure("memory/" + when + "/info_files", ListDir(root.Host("/tmp/.VKTMassStorageInfo")).size());
    };
    report("connected");
    FakeSysfs sysfs(root);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        sysfs.Unplug("root-port");
        const bool gone = When([&] { return root.LinkTarget(kTRV).empty(); }).has_value();
        sysfs.Plug("root-port");
        if (!gone || !When([&] { return root.LinkTarget(kTRV) == "/media/trv"; })) {
            std::fprintf(stderr, "cycle %d: the link did not follow the stick\n", cycle);
            return 1;
        }
    }
    report("after_" + std::to_string(cycles) + "_cycles");
    // A user's 1,000 FUSE mounts with 4 KB mount points before the sticks' lines: 4.3 MB read every pass.
    std::string table;
    for (int i = 0; i < 1000; ++i) table += "eve@host:/" + std::string(200, '0') + "/sdb1 /tmp/" + std::string(4090, 'x') + " fuse.sshfs rw 0 0\n";
    root.Publish("/etc/mtab", table + root.Read("/etc/mtab"));
    usleep(2500000);
    report("reading_a_4mb_fuse_prefix");
    return root.LinkTarget(kSV) == "/media/sv" && root.LinkTarget(kTRV) == "/media/trv" && root.Running() ? 0 : 1;
}

// The calls between the daemon's second and third waits after it linked both sticks.
int Syscalls()
{
    FakeRoot root;
    root.SetLauncher({"/usr/bin/strace", "-o", "/tmp/strace.txt"});
    if (!BothLinked(root, false)) {
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    const std::string strace = std::to_string(root.Pid());
    const pid_t daemon = std::atoi(ReadFile("/proc/" + strace + "/task/" + strace + "/children").c_str());
    if (daemon > 0) {
        kill(daemon, SIGTERM);  // strace would leave it running
    }
    FakeRoot::WaitFor([&] { return !root.Running(); });
    std::istringstream trace(root.Read("/tmp/strace.txt"));
    std::map<std::string, int> calls;
    int waits = 0;
    for (std::string line; std::getline(trace, line) && waits < 3;) {
        waits += line.rfind("ppoll(", 0) == 0;
        if (waits == 2 && line.rfind("ppoll(", 0) != 0 && line.find('(') != std::string::npos) {
            ++calls[line.substr(0, line.find('('))];
            ++calls["total"];
            calls["mtab_opens"] += line.rfind("openat(", 0) == 0 && line.find("\"/etc/mtab\"") != std::string::npos;
        }
    }
    for (const auto& [call, count] : calls) {
        Figure("syscalls/" + call, count);
    }
    return calls.empty() ? 1 : 0;
}
