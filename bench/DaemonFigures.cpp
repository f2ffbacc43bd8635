// Figures of the real daemon (the release binary of the same build tree) in a
// fake root, as the end-to-end tests run it:
//
//   TRVMountDaemonFigures reaction [--trials=N]
//       the time from a device appearing to its link being in place: a device
//       file renamed into the watched directory (modes 1 and 3), a mount
//       table line published for a stick whose sysfs entry is already there
//       (mode 2); N trials each (default 50), median and 95th percentile.
//   TRVMountDaemonFigures memory [--passes=N]
//       VmRSS and Private_Dirty of the daemon in mode 2 with two of the
//       maker's sticks connected, after N passes (default 1,000).
//   TRVMountDaemonFigures syscalls
//       the system calls of one steady-state pass in mode 2 with the same two
//       sticks, from strace.
//
// TRV_BENCH_DAEMON may name another daemon binary to measure (for example a
// copy kept from before a change). Needs root, like the end-to-end tests.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/FakePlatforms.h"
#include "e2e/FakeRoot.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kTRV[] = "/tmp/ZentrixTRV";
const char kSV[] = "/tmp/ZentrixSilvenmar";
const char kDaemonInside[] = "/opt/trvmountd/TRVMountd";

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// "figure <key> <value>" lines, printed after the tables for people; they are
// what bench/run-all.sh collects over several runs.
std::vector<std::string> g_figures;

void Figure(const std::string& key, double value)
{
    char line[256];
    std::snprintf(line, sizeof(line), "figure %s %.4g", key.c_str(), value);
    g_figures.emplace_back(line);
}

void PrintFigures()
{
    std::printf("\n");
    for (const std::string& line : g_figures) {
        std::printf("%s\n", line.c_str());
    }
}

void SleepMicroseconds(long us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

// Puts the daemon binary to measure into the root, when another one is named.
void UseDaemonFromEnvironment(FakeRoot& root)
{
    if (const char* daemon = std::getenv("TRV_BENCH_DAEMON")) {
        std::filesystem::copy_file(daemon, root.Host(kDaemonInside), std::filesystem::copy_options::overwrite_existing);
        std::printf("daemon: %s\n", daemon);
    }
}

std::string LinkTarget(const FakeRoot& root, const char* link)
{
    char buffer[4096];
    const ssize_t length = readlink(root.Host(link).c_str(), buffer, sizeof(buffer));
    return length < 0 ? std::string() : std::string(buffer, static_cast<size_t>(length));
}

// Polls every 100 microseconds; the time when condition first held, or
// nothing after `seconds`.
bool PollUntil(const std::function<bool()>& condition, Clock::time_point& when, double seconds = 5)
{
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (condition()) {
            when = Clock::now();
            return true;
        }
        if (Clock::now() > deadline) {
            return false;
        }
        SleepMicroseconds(100);
    }
}

// Starts the daemon and waits until it has set itself up: its info directory
// exists, and a little later its watch is armed.
bool StartDaemon(FakeRoot& root, const std::vector<std::string>& args)
{
    UseDaemonFromEnvironment(root);
    // The binary was copied just now: until its pages are written back they
    // are dirty page cache, and smaps would count them as the daemon's own
    // dirty memory. An installed daemon's binary is long written.
    const int binary = open(root.Host(kDaemonInside).c_str(), O_RDONLY);
    if (binary >= 0) {
        fsync(binary);
        close(binary);
    }
    root.Start(args);
    Clock::time_point when;
    if (!PollUntil([&] { return root.IsDir("/tmp/.VKTMassStorageInfo"); }, when)) {
        std::cerr << "the daemon did not start: " << root.Err() << std::endl;
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return root.Running();
}

// ------------------------------------------------------------- reaction --

struct Stats {
    double median = 0;
    double p95 = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
};

Stats Summarise(std::vector<double> values)
{
    Stats stats;
    if (values.empty()) {
        return stats;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    stats.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    // Nearest rank: the smallest value with at least 95% of them at or below it.
    stats.p95 = values[static_cast<size_t>(std::ceil(0.95 * n)) - 1];
    stats.min = values.front();
    stats.max = values.back();
    for (double v : values) {
        stats.mean += v / n;
    }
    return stats;
}

void PrintStats(const std::string& key, const std::string& what, const std::vector<double>& values)
{
    const Stats s = Summarise(values);
    std::printf("%-58s n=%zu  median %8.2f ms  p95 %8.2f ms  (min %.2f, mean %.2f, max %.2f)\n", what.c_str(),
                values.size(), s.median, s.p95, s.min, s.mean, s.max);
    Figure("reaction." + key + ".median_ms", s.median);
    Figure("reaction." + key + ".p95_ms", s.p95);
}

std::mt19937& Random()
{
    static std::mt19937 generator(20261206);
    return generator;
}

// A pause of up to maxMilliseconds, so that devices arrive at every point of
// the daemon's one-second cycle.
void RandomPause(int maxMilliseconds)
{
    std::uniform_int_distribution<int> pause(0, maxMilliseconds * 1000);
    SleepMicroseconds(pause(Random()));
}

// Modes 1 and 3: the device file is written beside the watched directory and
// renamed into it, as the platforms publish them; the clock starts at the
// rename.
std::vector<double> DeviceFileReactions(int mode, int trials)
{
    FakeRoot root;
    const std::string dir = mode == 1 ? "/elux/usb" : "/etc/hotplug/usb-storage";
    root.MakeDir(dir);
    std::vector<std::string> args{"-m", std::to_string(mode)};
    if (mode == 1) {
        args.insert(args.end(), {"-e", dir});
    }
    if (!StartDaemon(root, args)) {
        return {};
    }
    std::vector<double> reactions;
    for (int trial = 0; trial < trials; ++trial) {
        const std::string mountPoint = "/media/usb" + std::to_string(trial);
        const std::string content =
            mode == 1 ? "Zentrix TRV4\n" + mountPoint + "\n"
                      : "DEVICES=\"sdb1\"\nManufacturer=\"Zentrix\"\nDeviceName=\"TRV4\"\nSERIAL=\"0123456789\"\n"
                        "AUTOMOUNT_DIR=\"" + mountPoint + "\"\n";
        RandomPause(250);
        root.Write("/staging/stick", content);
        const auto start = Clock::now();
        if (std::rename(root.Host("/staging/stick").c_str(), root.Host(dir + "/stick").c_str()) != 0) {
            std::perror("rename");
            break;
        }
        Clock::time_point linked;
        if (!PollUntil([&] { return LinkTarget(root, kTRV) == mountPoint; }, linked)) {
            std::cerr << "mode " << mode << ", trial " << trial << ": no link after 5 s" << std::endl;
            break;
        }
        reactions.push_back(Milliseconds(linked - start));
        root.Remove(dir + "/stick");
        Clock::time_point gone;
        if (!PollUntil([&] { return !root.Exists(kTRV); }, gone)) {
            std::cerr << "mode " << mode << ", trial " << trial << ": link still there after 5 s" << std::endl;
            break;
        }
    }
    root.Stop();
    return reactions;
}

// Mounts a tmpfs with the given source name at inside in the daemon's mount
// namespace and returns when the kernel reports the mount, as it reports it
// to the daemon (to a reader of that namespace's table): the time the mount
// command takes to start is not the daemon's.
bool MountAsThePlatformDoes(FakeRoot& root, const std::string& source, const std::string& inside,
                            Clock::time_point& reported)
{
    root.MakeDir(inside);
    const int table = open(("/proc/" + std::to_string(root.Pid()) + "/mounts").c_str(), O_RDONLY | O_CLOEXEC);
    const std::string target = std::to_string(root.Pid());
    const std::string at = root.Host(inside);
    const char* argv[] = {"/usr/bin/nsenter", "--target", target.c_str(), "--mount", "--", "/bin/mount", "-t",
                          "tmpfs", source.c_str(), at.c_str(), nullptr};
    pid_t mount = -1;
    const bool started = table >= 0 && posix_spawn(&mount, argv[0], nullptr, nullptr, const_cast<char* const*>(argv),
                                                   environ) == 0;
    pollfd change{table, POLLPRI, 0};
    const bool seen = started && poll(&change, 1, 5000) == 1;
    reported = Clock::now();
    int status = 0;
    if (started) {
        waitpid(mount, &status, 0);
    }
    if (table >= 0) {
        close(table);
    }
    return seen && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Mode 2: the stick's sysfs entry appears, then after a random delay (the
// automounter at work) it is mounted; the clock starts at the mount. With the
// kernel's table, /etc/mtab links to /proc/self/mounts and the stick is a
// tmpfs mounted in the daemon's mount namespace; otherwise /etc/mtab is a
// regular file that gets the line.
void Linux26Reactions(int trials, bool kernelTable, std::vector<double>& fromMount, std::vector<double>& fromPlug)
{
    FakeRoot root;
    FakeSysfs sysfs(root);
    FakeMountTable mtab(root);
    sysfs.AddInternalDisks();
    if (kernelTable) {
        root.Remove("/etc/mtab");
        root.Symlink("/proc/self/mounts", "/etc/mtab");
    }
    if (!StartDaemon(root, {"-m", "2"})) {
        return;
    }
    const UsbStick stick;  // sdb, a TRV stick on a root port
    for (int trial = 0; trial < trials; ++trial) {
        const std::string mountPoint = "/media/sdb1-" + std::to_string(trial);
        root.MakeDir(mountPoint);
        const auto plugged = Clock::now();
        sysfs.Plug(stick);
        RandomPause(1000);
        auto mounted = Clock::now();
        if (kernelTable) {
            if (!MountAsThePlatformDoes(root, "/dev/sdb1", mountPoint, mounted)) {
                std::cerr << "mode 2, trial " << trial << ": the mount was not reported" << std::endl;
                break;
            }
        } else {
            mtab.Mount("/dev/sdb1", mountPoint);
        }
        Clock::time_point linked;
        if (!PollUntil([&] { return LinkTarget(root, kTRV) == mountPoint; }, linked)) {
            std::cerr << "mode 2, trial " << trial << ": no link after 5 s" << std::endl;
            break;
        }
        fromMount.push_back(Milliseconds(linked - mounted));
        fromPlug.push_back(Milliseconds(linked - plugged));
        sysfs.Unplug(stick);
        if (kernelTable) {
            root.UnmountInside(mountPoint);
        } else {
            mtab.Unmount("/dev/sdb1");
        }
        Clock::time_point gone;
        if (!PollUntil([&] { return !root.Exists(kTRV); }, gone)) {
            std::cerr << "mode 2, trial " << trial << ": link still there after 5 s" << std::endl;
            break;
        }
    }
    root.Stop();
}

int Reaction(int trials)
{
    std::printf("Reaction time of the real daemon in a fake root, %d trials per mode\n", trials);
    const auto mode1 = DeviceFileReactions(1, trials);
    const auto mode3 = DeviceFileReactions(3, trials);
    std::vector<double> kernelMount, kernelPlug, fileMount, filePlug;
    Linux26Reactions(trials, true, kernelMount, kernelPlug);
    Linux26Reactions(trials, false, fileMount, filePlug);
    std::printf("\n");
    PrintStats("mode1", "mode 1: device file renamed in -> link", mode1);
    PrintStats("mode3", "mode 3: device file renamed in -> link", mode3);
    PrintStats("mode2", "mode 2, kernel's table: stick mounted -> link", kernelMount);
    PrintStats("mode2_from_plug", "mode 2, kernel's table: sysfs entry -> link (mount 0-1 s later)", kernelPlug);
    PrintStats("mode2_mtab_file", "mode 2, /etc/mtab a file: line published -> link", fileMount);
    const bool complete = static_cast<int>(mode1.size()) == trials && static_cast<int>(mode3.size()) == trials &&
                          static_cast<int>(kernelMount.size()) == trials && static_cast<int>(fileMount.size()) == trials;
    const Stats kernel = Summarise(kernelMount);
    std::printf("\nTargets:\n");
    for (const auto& [mode, values] : {std::pair<int, const std::vector<double>*>{1, &mode1}, {3, &mode3}}) {
        const double median = Summarise(*values).median;
        std::printf("  mode %d reaction below 20 ms at the median: %.2f ms, %s\n", mode, median,
                    !values->empty() && median < 20 ? "met" : "MISSED");
    }
    std::printf("  mode 2 mount -> link at most 10 ms median, 30 ms p95: %.2f ms, %.2f ms, %s\n", kernel.median,
                kernel.p95, !kernelMount.empty() && kernel.median <= 10 && kernel.p95 <= 30 ? "met" : "MISSED");
    PrintFigures();
    return complete ? 0 : 1;
}

// --------------------------------------------------------------- memory --

// The fields of a /proc file of the form "Name:   value kB".
std::map<std::string, long> ProcFields(const std::string& path)
{
    std::map<std::string, long> fields;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        fields[line.substr(0, colon)] = std::atol(line.c_str() + colon + 1);
    }
    return fields;
}

long VoluntarySwitches(pid_t pid)
{
    return ProcFields("/proc/" + std::to_string(pid) + "/status")["voluntary_ctxt_switches"];
}

// The plain setup of a thin client with two of the maker's sticks plugged and
// mounted: a TRV stick on a root port, a Silvenmar stick behind a hub.
void PlugTwoSticks(FakeSysfs& sysfs, FakeMountTable& mtab)
{
    sysfs.AddInternalDisks();
    sysfs.Plug(UsbStick{});
    sysfs.Plug(SilvenmarBehindAHub());
    mtab.Mount("/dev/sdb1", "/media/sdb1");
    mtab.Mount("/dev/sdc", "/media/sdc");
}

bool BothLinked(FakeRoot& root)
{
    Clock::time_point when;
    return PollUntil(
        [&] { return LinkTarget(root, kTRV) == "/media/sdb1" && LinkTarget(root, kSV) == "/media/sdc"; }, when);
}

void PrintMemory(const char* when, pid_t pid, const std::string& key)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    auto status = ProcFields(proc + "/status");
    auto rollup = ProcFields(proc + "/smaps_rollup");
    std::printf("%-28s VmRSS %5ld KiB (anon %ld, file %ld)  Private_Dirty %4ld KiB  Private_Clean %4ld KiB  "
                "Pss %4ld KiB  VmHWM %ld KiB\n",
                when, status["VmRSS"], status["RssAnon"], status["RssFile"], rollup["Private_Dirty"],
                rollup["Private_Clean"], rollup["Pss"], status["VmHWM"]);
    Figure("memory." + key + ".vmrss_kib", status["VmRSS"]);
    Figure("memory." + key + ".private_dirty_kib", rollup["Private_Dirty"]);
    Figure("memory." + key + ".private_clean_kib", rollup["Private_Clean"]);
    Figure("memory." + key + ".pss_kib", rollup["Pss"]);
}

int Memory(int passes)
{
    FakeRoot root;
    FakeSysfs sysfs(root);
    FakeMountTable mtab(root);
    PlugTwoSticks(sysfs, mtab);
    if (!StartDaemon(root, {"-m", "2"}) || !BothLinked(root)) {
        std::cerr << "the daemon did not link both sticks" << std::endl;
        return 1;
    }
    const pid_t pid = root.Pid();
    {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string name;
        comm >> name;
        if (name != "TRVMountd") {
            std::cerr << "process " << pid << " is " << name << ", not the daemon" << std::endl;
            return 1;
        }
    }
    std::printf("Memory of the daemon in mode 2 with two sticks connected (pid %d)\n", pid);
    PrintMemory("after connecting:", pid, "connected");

    // Each change in /sys/block cuts the daemon's pause short, so the passes
    // need not wait a second each. Every pass ends in the pause, which is a
    // voluntary context switch (a pass itself never blocks: everything it
    // reads is cached), so the switches count the passes.
    const long switchesBefore = VoluntarySwitches(pid);
    const auto started = Clock::now();
    const std::string trigger = root.Host("/sys/block/loop9");
    for (int pass = 0; pass < passes; ++pass) {
        const long before = VoluntarySwitches(pid);
        if (pass % 2 == 0) {
            symlink("../devices/virtual/block/loop9", trigger.c_str());
        } else {
            unlink(trigger.c_str());
        }
        Clock::time_point when;
        if (!PollUntil([&] { return VoluntarySwitches(pid) > before; }, when)) {
            std::cerr << "the daemon made no pass after a change" << std::endl;
            return 1;
        }
    }
    unlink(trigger.c_str());
    const long counted = VoluntarySwitches(pid) - switchesBefore;
    std::printf("%ld passes in %.1f s\n", counted,
                std::chrono::duration<double>(Clock::now() - started).count());
    if (!BothLinked(root)) {
        std::cerr << "the links changed during the passes" << std::endl;
        return 1;
    }
    PrintMemory(("after " + std::to_string(counted) + " more passes:").c_str(), pid, "after_passes");
    Figure("memory.passes", counted);
    const long privateDirty = ProcFields("/proc/" + std::to_string(pid) + "/smaps_rollup")["Private_Dirty"];
    std::printf("\nTargets:\n  private memory below 1 MiB: Private_Dirty %ld KiB, %s\n", privateDirty,
                privateDirty < 1024 ? "met" : "MISSED");
    root.Stop();
    PrintFigures();
    return 0;
}

// ------------------------------------------------------------- syscalls --

// The pid of the only child of pid, or -1.
pid_t ChildOf(pid_t pid)
{
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t child = -1;
    children >> child;
    return children ? child : -1;
}

int Syscalls()
{
    FakeRoot root;
    FakeSysfs sysfs(root);
    FakeMountTable mtab(root);
    PlugTwoSticks(sysfs, mtab);
    root.SetLauncher({"/usr/bin/strace", "-o", "/tmp/strace.txt"});
    if (!StartDaemon(root, {"-m", "2"}) || !BothLinked(root)) {
        std::cerr << "the daemon did not link both sticks" << std::endl;
        return 1;
    }
    // Three passes after the one that connected the sticks.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    // strace leaves its tracee running when it is ended: end the daemon.
    const pid_t daemon = ChildOf(root.Pid());
    if (daemon > 0) {
        kill(daemon, SIGTERM);
    }
    root.WaitForExit();
    root.Stop();

    // The system calls between the second and the third pause.
    std::ifstream trace(root.Host("/tmp/strace.txt"));
    std::vector<std::string> pass;
    int pauses = 0;
    for (std::string line; std::getline(trace, line) && pauses < 3;) {
        if (line.find("ppoll") != std::string::npos) {
            ++pauses;
            continue;
        }
        if (pauses == 2) {
            pass.push_back(line);
        }
    }
    std::map<std::string, int> calls;
    int mountTableOpens = 0;
    for (const std::string& line : pass) {
        const size_t paren = line.find('(');
        if (paren == std::string::npos) {
            continue;
        }
        ++calls[line.substr(0, paren)];
        if (line.compare(0, 6, "openat") == 0 && line.find("\"/etc/mtab\"") != std::string::npos) {
            ++mountTableOpens;
        }
    }
    std::printf("System calls of one steady-state pass in mode 2 (5 block devices, 2 of the maker's):\n");
    int total = 0;
    for (const auto& [name, count] : calls) {
        std::printf("  %-16s %4d\n", name.c_str(), count);
        Figure("syscalls." + name, count);
        total += count;
    }
    std::printf("  %-16s %4d   (/etc/mtab opened %d times)\n", "total", total, mountTableOpens);
    Figure("syscalls.total", total);
    Figure("syscalls.mtab_opens", mountTableOpens);
    PrintFigures();
    return pass.empty() ? 1 : 0;
}

// ------------------------------------------------------------ wake-ups --

// Voluntary context switches of the daemon per second over `seconds`: every
// wait between passes is one, and a pass itself never blocks.
double SwitchesPerSecond(pid_t pid, int seconds)
{
    const long before = VoluntarySwitches(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return static_cast<double>(VoluntarySwitches(pid) - before) / seconds;
}

// An idle daemon (mode 2, the kernel's mount table, two sticks linked), and
// one whose link path lies in its watched directory with a directory in the
// way, so that every pass retries the link and raises a notification.
int Wakeups(int seconds)
{
    FakeRoot idle;
    FakeSysfs sysfs(idle);
    sysfs.AddInternalDisks();
    sysfs.Plug(UsbStick{});
    sysfs.Plug(SilvenmarBehindAHub());
    idle.Symlink("/proc/self/mounts", "/etc/mtab");
    if (!StartDaemon(idle, {"-m", "2"})) {
        return 1;
    }
    idle.MountInside("/dev/sdb1", "/media/sdb1");
    idle.MountInside("/dev/sdc", "/media/sdc");
    if (!BothLinked(idle)) {
        std::cerr << "the daemon did not link both sticks" << std::endl;
        return 1;
    }
    const double idleRate = SwitchesPerSecond(idle.Pid(), seconds);
    idle.Stop();

    FakeRoot storm;
    storm.MakeDir("/elux/usb/ZentrixTRV");
    storm.Write("/elux/usb/trv", "Zentrix TRV4 /media/usb0\n");
    if (!StartDaemon(storm, {"-m", "1", "-e", "/elux/usb", "-l", "/elux/usb/ZentrixTRV"})) {
        return 1;
    }
    const double stormRate = SwitchesPerSecond(storm.Pid(), std::min(seconds, 10));
    storm.Stop();

    std::printf("Wake-ups of the daemon (voluntary context switches per second)\n");
    std::printf("  idle, mode 2, kernel's mount table, %d s:            %.2f\n", seconds, idleRate);
    std::printf("  a failing link retried inside the watched directory: %.2f\n", stormRate);
    Figure("wakeups.idle_per_s", idleRate);
    Figure("wakeups.own_writes_per_s", stormRate);
    PrintFigures();
    return 0;
}

int Option(int argc, char** argv, const char* name, int fallback)
{
    const size_t length = std::strlen(name);
    for (int i = 2; i < argc; ++i) {
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') {
            return std::atoi(argv[i] + length + 1);
        }
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string unavailable = FakeRoot::Unavailable();
    if (!unavailable.empty()) {
        std::cerr << "cannot measure the daemon here: " << unavailable << std::endl;
        return 1;
    }
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "reaction") {
        return Reaction(std::max(1, Option(argc, argv, "--trials", 50)));
    }
    if (what == "memory") {
        return Memory(std::max(1, Option(argc, argv, "--passes", 1000)));
    }
    if (what == "syscalls") {
        return Syscalls();
    }
    if (what == "wakeups") {
        return Wakeups(std::max(1, Option(argc, argv, "--seconds", 60)));
    }
    std::cerr << "usage: " << argv[0] << " reaction [--trials=N] | memory [--passes=N] | syscalls | wakeups [--seconds=N]"
              << std::endl;
    return 2;
}
