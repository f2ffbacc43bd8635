// The figures of PERFORMANCE.md (root only): TRVMountBench WHAT, WHAT being
//   passes [TREE...]        a pass against its syscall floor, and the shell loops
//   instructions [TREE...]  the instructions of one pass, counted by callgrind
//   reaction [TRIALS]   wakeups [SECONDS]   memory [CYCLES]   syscalls
//   all [RUNS]              all of them, the timed ones RUNS times, then the medians
// TREE is the start of tree names (mode2/64, mode3). A pass reads fixed paths (/sys/block,
// /etc/mtab, ...), so its cost is measured by a copy of this program chrooted into a fake root
// that holds the tree, as the end-to-end tests run the daemon.
#include <dirent.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <variant>

#include "Bench.h"
#include "e2e/FakePlatforms.h"
#include "fs/CFunctionHelper.h"
#include "platforms/elux/MonitorEluxNG.h"
#include "platforms/igellx/MonitorIgelLX.h"
#include "platforms/linux26/MonitorL26.h"
#include "platforms/linux26/UsbDeviceDirectory.h"

// A profiler run with --toggle-collect=CountedPasses(* counts only these.
[[gnu::noinline]] void CountedPasses(Monitor& monitor, int passes)
{
    for (int pass = 0; pass < passes; ++pass) {
        monitor.HandleChanges();
    }
}

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
const char* const kLinks[] = {"/tmp/ZentrixTRV", "/tmp/ZentrixSilvenmar"};
const char kInside[] = "/opt/bench/TRVMountBench";
const char kMarker[] = "/.trvmount-bench";  // only a fake root of this program has it
std::map<std::string, std::vector<double>> g_figures;
volatile long g_sink;  // what a floor read, so that none of it is left out

// A platform tree that the cost of a pass is measured on.
struct Tree {
    int mode;    // as -m: 1 eLux NG device files, 2 /sys/block and /etc/mtab, 3 IGEL LX device files
    int size;    // block devices or device files
    int makers;  // how many of them are the maker's sticks
    std::string Name() const { return "mode" + std::to_string(mode) + "/" + std::to_string(size) + (mode == 2 ? "/" + std::to_string(makers) : ""); }
};

// The trees that prefixes name (mode2/64, mode3), all for none.
std::vector<Tree> Trees(const std::vector<std::string>& prefixes)
{
    std::vector<Tree> trees;
    for (const Tree& tree : {Tree{2, 8, 0}, {2, 8, 1}, {2, 8, 2}, {2, 64, 0}, {2, 64, 1}, {2, 64, 2}, {2, 512, 0}, {2, 512, 1},
                             {2, 512, 2}, {1, 1, 1}, {1, 16, 2}, {1, 256, 2}, {3, 1, 1}, {3, 16, 2}, {3, 256, 2}}) {
        const std::string name = tree.Name();
        if (prefixes.empty() || std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
                return name == prefix || name.rfind(prefix + "/", 0) == 0;
            })) {
            trees.push_back(tree);
        }
    }
    return trees;
}

// 0 for the TRV stick a third of the way down the listing, 1 for the
// Silvenmar stick two thirds of the way, -1 for another maker's stick.
int MakerKind(const Tree& tree, int index)
{
    const int kind = index == tree.size / 3 ? 0 : index == 2 * tree.size / 3 ? 1 : -1;
    return kind < tree.makers ? kind : -1;
}

std::string BlockName(int index)
{
    std::string letters;  // a base-26 number with letters for digits: sda .. sdz, sdaa ...
    for (int n = index + 1; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('a' + (n - 1) % 26));
    }
    return "sd" + letters;
}

// The captured stick as the index-th disk of a machine with many: block device, SCSI host, USB bus
// (16 root ports each, on a controller of its own) and root port renumbered, files as captured.
void CopyStick(FakeRoot& root, const std::string& fixture, int index)
{
    const fs::path from = std::string(FIXTURES_DIR) + "/sysfs/" + fixture + "/sys";
    const std::string bus = std::to_string(index / 16 + 1), host = std::to_string(index + 2);
    char controller[32];
    std::snprintf(controller, sizeof(controller), "/0000:00:%02x.0", index / 16 + 1);
    const std::pair<std::regex, std::string> renames[] = {
        {std::regex("/0000:00:[^/]+(?=/|$)"), controller},
        {std::regex("/usb[0-9]+(?=/|$)"), "/usb" + bus},
        {std::regex("/[0-9]+-[0-9]+"), "/" + bus + "-" + std::to_string(index % 16 + 1)},  // hubs keep their ports after it
        {std::regex("/host[0-9]+(?=/|$)"), "/host" + host},
        {std::regex("/target[0-9]+:"), "/target" + host + ":"},
        {std::regex("/[0-9]+:0:0:0"), "/" + host + ":0:0:0"},
        {std::regex("/sd[a-z]+"), "/" + BlockName(index)}};
    auto renumber = [&](std::string path) {
        for (const auto& [was, is] : renames) {
            path = std::regex_replace(path, was, is);
        }
        return path;
    };
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
        const std::string to = root.Host(renumber("/" + entry.path().lexically_relative(from.parent_path()).string()));
        if (entry.is_symlink()) {
            fs::create_symlink(renumber(fs::read_symlink(entry.path())), to);
        } else if (entry.is_directory()) {
            MakeDirs(to);
        } else {
            WriteFile(to, entry.path().filename() == "busnum" ? bus + "\n" : ReadFile(entry.path()));
        }
    }
}

// Mode 2: a sysfs tree of copied sticks and a 30-line mount table with the
// maker's sticks mounted last. Modes 1 and 3: a directory of device files.
void Build(FakeRoot& root, const Tree& tree)
{
    std::istringstream system(ReadFile(BENCH_DIR "/thin-client-mtab"));
    std::string table;
    for (std::string line; std::count(table.begin(), table.end(), '\n') < 30 - tree.makers && std::getline(system, line);) {
        table += line + "\n";
    }
    root.MakeDir(ListedDir(tree.mode));
    for (int index = 0; index < tree.size; ++index) {
        const int kind = MakerKind(tree, index);
        // A TRV stick is mounted from its first partition, a Silvenmar stick whole.
        const std::string device = BlockName(tree.mode == 2 ? index : index + 1) + (kind == 1 ? "" : "1");
        const std::string file = "/usb-" + std::to_string(10000 + index).substr(1);
        if (tree.mode != 2) {
            root.Write(ListedDir(tree.mode) + file, DeviceFile(tree.mode, kind < 0 ? "Acme" : "Zentrix",
                                                               kind < 0 ? "Stick" : kind ? "Silvenmar" : "TRV4", device, "/media/" + device));
        } else {
            CopyStick(root, kind < 0 ? "unpartitioned" : kind ? "behind-hub" : "root-port", index);
            table += kind < 0 ? "" : "/dev/" + device + " /media/" + device + " vfat rw,nosuid,nodev,relatime,fmask=0022,dmask=0022 0 0\n";
        }
    }
    if (tree.mode == 2) {
        root.Write("/etc/mtab", table);
    }
}

struct Times {
    double wall = 0, cpu = 0;  // microseconds a call; cpu is user + system time
};

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// This process's and its waited-for children's (the shell loops').
double CpuSeconds()
{
    double seconds = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage usage {};
        getrusage(who, &usage);
        seconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }
    return seconds;
}

// Calls each in turn, so that the machine's changing speed hits them all alike, in batches of a
// millisecond or more, so that reading the clocks hardly counts; the median of the batches.
std::vector<Times> Interleaved(const std::vector<std::function<void()>>& calls)
{
    std::vector<std::vector<double>> wall(calls.size()), cpu(calls.size());
    for (const auto start = Clock::now(); Since(start) < 0.5 * calls.size();) {
        for (size_t i = 0; i < calls.size(); ++i) {
            const auto began = Clock::now();
            const double cpuBegan = CpuSeconds();
            long n = 0;
            for (; n == 0 || Since(began) < 0.001; ++n) {
                calls[i]();
            }
            wall[i].push_back(1e6 * Since(began) / n);
            cpu[i].push_back(1e6 * (CpuSeconds() - cpuBegan) / n);
        }
    }
    std::vector<Times> medians;
    for (size_t i = 0; i < calls.size(); ++i) {
        medians.push_back({Median(wall[i]), Median(cpu[i])});
    }
    return medians;
}

Times operator/(Times over, Times under) { return {over.wall / under.wall, over.cpu / under.cpu}; }

void Report(const std::string& key, Times times, const std::string& unit = "_us")
{
    Figure(key + "_wall" + unit, times.wall);
    Figure(key + "_cpu" + unit, times.cpu);
}

int Links()
{
    struct stat info {};
    return (lstat(kLinks[0], &info) == 0 && S_ISLNK(info.st_mode)) + (lstat(kLinks[1], &info) == 0 && S_ISLNK(info.st_mode));
}

// Runs body on the tree's monitor, made as main makes it, once a first pass linked the maker's sticks.
bool WithMonitor(const Tree& tree, const std::function<void(Monitor&)>& body)
{
    std::string words[] = {"TRVMountd", "-m", std::to_string(tree.mode), "-e", ListedDir(1)};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), words[4].data(), nullptr};
    Settings settings(tree.mode == 1 ? 5 : 3, argv);
    unlink(kLinks[0]);
    unlink(kLinks[1]);
    std::variant<std::monostate, MonitorEluxNG, MonitorL26, MonitorIgelLX> monitors;
    Monitor& monitor = tree.mode == 1   ? static_cast<Monitor&>(monitors.emplace<MonitorEluxNG>(settings))
                       : tree.mode == 2 ? static_cast<Monitor&>(monitors.emplace<MonitorL26>(settings))
                                        : monitors.emplace<MonitorIgelLX>(settings);
    monitor.HandleChanges();
    if (Links() != tree.makers) {
        std::fprintf(stderr, "%s: the first pass linked %d devices\n", tree.Name().c_str(), Links());
        return false;
    }
    body(monitor);
    return true;
}

// The syscall floor: the listing, then the calls a pass cannot do without, planned with the daemon's
// own path rules. Mode 2: each entry's device/vendor and device/model; for a maker's stick also the
// mount table (once), its link, the deeper USB directory's devnum (stat) and the five USB attribute
// files. Modes 1 and 3: each device file; paused, after the 200 microseconds that mode 3 waits.
enum Call { kRead, kReadLink, kStat, kPause };
using Floor = std::vector<std::pair<Call, std::string>>;

Floor PlanFloor(const Tree& tree, bool paused)
{
    Floor floor;
    const std::string dir = ListedDir(tree.mode) + "/";
    for (const std::string& name : ListDir(dir)) {
        if (paused) {
            floor.emplace_back(kPause, "");
        }
        if (tree.mode != 2) {
            floor.emplace_back(kRead, dir + name);
            continue;
        }
        floor.insert(floor.end(), {{kRead, dir + name + "/device/vendor"}, {kRead, dir + name + "/device/model"}});
        if (ReadFile(dir + name + "/device/vendor").rfind("Zentrix", 0) != 0) {
            continue;
        }
        if (std::find(floor.begin(), floor.end(), std::pair{kRead, std::string("/etc/mtab")}) == floor.end()) {
            floor.emplace_back(kRead, "/etc/mtab");
        }
        const UsbDevicePaths usb = CutUsbDevicePaths(dir, CFunctionHelper::ReadLink(dir + name));
        floor.insert(floor.end(), {{kReadLink, dir + name}, {kStat, usb.secondLevel + "devnum"}});
        for (const char* file : {"devnum", "busnum", "idProduct", "idVendor", "product"}) {
            floor.emplace_back(kRead, ChooseUsbDeviceDirectory(usb) + file);
        }
    }
    return floor;
}

// Checked as every platform file is read: the open does not block, and only a regular file is read.
long ReadOnce(const char* path, bool checked)
{
    const int fd = open(path, checked ? O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC : O_RDONLY);
    if (fd < 0) {
        return 0;
    }
    struct stat info {};
    char buffer[4096];
    const long length = !checked || (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) ? read(fd, buffer, sizeof(buffer)) : 0;
    close(fd);
    return length;
}

long RunFloor(const Tree& tree, const Floor& floor, bool checked = true)
{
    long bytes = 0;
    if (DIR* listing = opendir(ListedDir(tree.mode).c_str())) {
        while (readdir(listing) != nullptr) {
            ++bytes;
        }
        closedir(listing);
    }
    char target[1024];
    struct stat info {};
    for (const auto& [call, path] : floor) {
        bytes += call == kRead       ? ReadOnce(path.c_str(), checked)
                 : call == kReadLink ? readlink(path.c_str(), target, sizeof(target))
                 : call == kStat     ? stat(path.c_str(), &info)
                                     : usleep(200);
    }
    return bytes;
}

int MeasurePasses(const Tree& tree)
{
    const std::string name = tree.Name();
    const Floor floor = PlanFloor(tree, false), third = PlanFloor(tree, tree.mode == 3);
    std::vector<Times> took;  // the pass, the floor, then the floor paused (mode 3) or unchecked
    const bool connected = WithMonitor(tree, [&](Monitor& monitor) {
        took = Interleaved({[&] { monitor.HandleChanges(); }, [&] { g_sink = RunFloor(tree, floor); },
                            [&] { g_sink = RunFloor(tree, third, tree.mode == 3); }});
    });
    if (!connected) {
        return 1;
    }
    Report(name + "/pass", took[0]);
    Report(name + "/floor", took[1]);
    Report(name + "/pass_over_floor", took[0] / took[1], "");
    if (tree.mode != 3) {
        Report(name + "/floor_over_unchecked_floor", took[1] / took[2], "");
    } else {
        const Times pause = Interleaved({[] { usleep(200); }})[0];  // what mode 3 waits before each file
        Report("usleep200", pause);
        Report(name + "/paused_floor", took[2]);
        Report(name + "/pass_over_paused_floor", took[0] / took[2], "");
        Report(name + "/pause_share", Times{tree.size * pause.wall, tree.size * pause.cpu} / took[0], "");
    }
    if (tree.mode != 2 || tree.makers != 2) {
        return 0;
    }
    // The shell loops, several passes a call so that starting the shell hardly counts.
    const int passes = std::max(1, 40 / tree.size);
    const std::string count = std::to_string(passes);
    int failed = 0;
    auto loop = [&](const char* variant) {
        return [&, variant] {
            const char* argv[] = {"/bin/sh", "/opt/bench/trvmount-loop.sh", variant, count.c_str(), nullptr};
            const char* envp[] = {"PATH=/usr/bin:/bin", "LC_ALL=C", nullptr};
            pid_t pid = -1;
            int status = -1;
            failed += posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), const_cast<char**>(envp)) != 0 ||
                      waitpid(pid, &status, 0) != pid || status != 0;
        };
    };
    const std::vector<Times> loops = Interleaved({loop("obvious"), loop("careful")});
    for (const int i : {0, 1}) {
        const std::string key = name + (i ? "/careful" : "/obvious");
        Report(key + "_loop", loops[i] / Times{1.0 * passes, 1.0 * passes});
        Report(key + "_loop_over_pass", loops[i] / Times{1.0 * passes, 1.0 * passes} / took[0], "");
    }
    return failed + (Links() != tree.makers);
}

// Runs this program's copy in a fresh fake root of the tree; takes in the figures it printed and
// gives what it wrote on standard error.
std::string RunInside(const Tree& tree, const std::vector<std::string>& args, std::vector<std::string> launcher, int& status)
{
    const auto started = Clock::now();
    FakeRoot root;
    Build(root, tree);
    root.MakeDir("/dev");
    mknod(root.Host("/dev/null").c_str(), S_IFCHR | 0666, makedev(1, 3));  // for the shell loops
    root.Write(kMarker, "");
    root.Write("/opt/bench/trvmount-loop.sh", ReadFile(BENCH_DIR "/trvmount-loop.sh"));
    fs::copy_file("/proc/self/exe", root.Host(kInside));
    std::fprintf(stderr, "%s: built in %.1f s\n", tree.Name().c_str(), Since(started));
    // Started as the daemon's launcher, the copy finds the daemon's path first among its arguments.
    launcher.insert(launcher.end(), {kInside, "inside"});
    root.SetLauncher(launcher);
    root.Start(args);
    FakeRoot::WaitFor([&] { return !root.Running(); }, 3600);
    std::fputs(root.Out().c_str(), stdout);
    std::istringstream figures(root.Out());
    for (std::string key; figures >> key;) {
        figures >> g_figures[key].emplace_back();
    }
    status = root.ExitStatus();
    return root.Err();
}

int Passes(const std::vector<std::string>& prefixes)
{
    int failed = 0;
    for (const Tree& tree : Trees(prefixes)) {
        int status = 0;
        std::fputs(RunInside(tree, {tree.Name()}, {}, status).c_str(), stderr);
        failed += status != 0;
    }
    return failed;
}

// Each under callgrind, counting only the passes of CountedPasses.
int Instructions(const std::vector<std::string>& prefixes)
{
    constexpr int kPasses = 10;
    for (const Tree& tree : Trees(prefixes.empty() ? std::vector<std::string>{"mode2/64/2", "mode2/64/0", "mode2/8/2", "mode1/16", "mode3/16"} : prefixes)) {
        int status = 0;
        const std::string err = RunInside(tree, {tree.Name(), std::to_string(kPasses)},
                                          {"/usr/bin/valgrind", "--tool=callgrind", "--collect-atstart=no",
                                           "--toggle-collect=CountedPasses(*", "--callgrind-out-file=/tmp/callgrind.out"},
                                          status);
        const size_t collected = err.rfind("Collected : ");
        if (status != 0 || collected == std::string::npos) {
            std::fputs(err.c_str(), stderr);
            return 1;
        }
        Figure(tree.Name() + "/instructions_per_pass", std::atof(err.c_str() + collected + 12) / kPasses);
    }
    return 0;
}

int All(int runs)
{
    int failed = 0;
    for (int run = 1; run <= runs; ++run) {
        std::fprintf(stderr, "==== run %d of %d\n", run, runs);
        failed += Passes({}) + Reaction(50) + Memory(1000);
    }
    failed += Wakeups(60) + Syscalls() + Instructions({});
    std::printf("\n==== medians of %d runs\n", runs);
    for (const auto& [key, values] : g_figures) {
        std::printf("%-48s %12.6g  (%zu)\n", key.c_str(), Median(values), values.size());
    }
    return failed;
}

}  // namespace

std::string ListedDir(int mode) { return mode == 1 ? "/elux/usb" : mode == 2 ? "/sys/block" : "/etc/hotplug/usb-storage"; }

std::string DeviceFile(int mode, const std::string& vendor, const std::string& product, const std::string& device,
                       const std::string& mountPoint)
{
    return mode == 1 ? vendor + " " + product + "\n" + mountPoint + "\n"
                     : "DEVICES=\"" + device + "\"\nManufacturer=\"" + vendor + "\"\nDeviceName=\"" + product +
                           "\"\nSERIAL=\"0123456789\"\nAUTOMOUNT_DIR=\"" + mountPoint + "\"\n";
}

void Figure(const std::string& key, double value)
{
    std::printf("%-48s %12.6g\n", key.c_str(), value);
    g_figures[key].push_back(value);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures show as they come, also in a log
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "inside") {  // inside, the daemon's path, TREE and N passes to count
        if (access(kMarker, F_OK) != 0) {
            std::fprintf(stderr, "inside is only for the copy of this program in its fake root\n");
            return 2;
        }
        const Tree tree = Trees({args[2]}).at(0);
        return args.size() > 3 ? !WithMonitor(tree, [&](Monitor& monitor) { CountedPasses(monitor, std::stoi(args[3])); })
                               : MeasurePasses(tree);
    }
    const std::string what = args.empty() ? "" : args[0], why = FakeRoot::Unavailable();
    const std::vector<std::string> rest(args.begin() + !args.empty(), args.end());
    auto number = [&](int fallback) { return rest.empty() ? fallback : std::max(1, std::stoi(rest[0])); };
    return !why.empty()             ? (std::fprintf(stderr, "%s\n", why.c_str()), 2)
           : what == "passes"       ? Passes(rest)
           : what == "instructions" ? Instructions(rest)
           : what == "reaction"     ? Reaction(number(50))
           : what == "wakeups"      ? Wakeups(number(60))
           : what == "memory"       ? Memory(number(1000))
           : what == "syscalls"     ? Syscalls()
           : what == "all"          ? All(number(3))
                                    : (std::fprintf(stderr, "usage: see the top of bench/main.cpp\n"), 2);
}
