// The cost of one pass of each platform monitor, against the syscall floor of
// the same pass and against the same job done by a shell loop, all in one run.
//
// A pass reads fixed absolute paths (/sys/block/, /etc/mtab,
// /etc/hotplug/usb-storage), so the benchmarks run chrooted into a fake root
// in a private mount namespace, as the end-to-end tests run the daemon: run
// from outside, this program builds the platform trees into a fresh fake
// root, copies itself in and starts its copy there with --inside (through
// tests/e2e/enter-fake-root.sh, which binds the host's programs read-only and
// /proc into the root). Inside, each benchmark renames the tree it needs to
// the place the monitor reads, and back when it is done. Nothing outside the
// fake root is written (the monitors' info directory and links are in it
// too), and the fake root goes when the run ends.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchTrees.h"
#include "Floor.h"
#include "config/Registry.h"
#include "platforms/elux/MonitorEluxNG.h"
#include "platforms/igellx/MonitorIgelLX.h"
#include "platforms/linux26/MonitorL26.h"
#include "settings/Settings.h"

namespace {

using BenchTrees::Linux26Variant;

constexpr double kMinTime = 0.1;  // seconds per repetition
int g_repetitions = 5;

// ---------------------------------------------------------------- helpers --

// Moves a waiting tree to where it is read, and back when it goes out of scope.
class InPlace {
public:
    InPlace(std::string from, std::string to) : m_from(std::move(from)), m_to(std::move(to))
    {
        m_ok = std::rename(m_from.c_str(), m_to.c_str()) == 0;
    }
    ~InPlace()
    {
        if (m_ok) {
            std::rename(m_to.c_str(), m_from.c_str());
        }
    }
    bool ok() const { return m_ok; }

private:
    std::string m_from;
    std::string m_to;
    bool m_ok = false;
};

// The sysfs tree and mount table of one mode-2 size at /sys and /etc/mtab.
class Linux26TreeInPlace {
public:
    Linux26TreeInPlace(int devices, int makers)
        : m_sys(BenchTrees::Linux26Variant(devices, makers) + "/sys", "/sys"),
          m_mtab(BenchTrees::Linux26Variant(devices, makers) + "/mtab", "/etc/mtab")
    {
    }
    // False, and the benchmark marked as failed, when either could not move.
    bool ok(benchmark::State& state) const
    {
        if (m_sys.ok() && m_mtab.ok()) {
            return true;
        }
        state.SkipWithError("cannot move the sysfs tree into place");
        return false;
    }

private:
    const InPlace m_sys;
    const InPlace m_mtab;
};

// A Settings object built from a command line, as main builds it.
std::unique_ptr<Settings> MakeSettings(std::vector<std::string> words)
{
    words.insert(words.begin(), "TRVMountd");
    for (const char* option : {"-l", BenchTrees::kLinkTRV, "-s", BenchTrees::kLinkSV}) {
        words.push_back(option);
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return std::make_unique<Settings>(static_cast<int>(words.size()), argv.data());
}

int LinksPresent(const char* trv, const char* sv)
{
    struct stat info {};
    return (lstat(trv, &info) == 0 && S_ISLNK(info.st_mode)) + (lstat(sv, &info) == 0 && S_ISLNK(info.st_mode));
}

void RemoveLinks(const char* trv, const char* sv)
{
    unlink(trv);
    unlink(sv);
}

// The first pass, which connects the devices; kept out of line so that a
// profile tells it from the timed passes.
[[gnu::noinline]] void ConnectDevices(Monitor& monitor) { monitor.HandleChanges(); }

// Connects the devices of the tree in place with one pass, then times the
// passes that follow: the steady state of a daemon with nothing changing.
template <class MonitorType>
void TimePasses(benchmark::State& state, const std::vector<std::string>& options, int expectedLinks)
{
    RemoveLinks(BenchTrees::kLinkTRV, BenchTrees::kLinkSV);
    auto settings = MakeSettings(options);
    MonitorType monitor(*settings);
    ConnectDevices(monitor);
    if (LinksPresent(BenchTrees::kLinkTRV, BenchTrees::kLinkSV) != expectedLinks) {
        state.SkipWithError("the first pass did not link the maker's devices");
        return;
    }
    for (auto _ : state) {
        monitor.HandleChanges();
    }
}

// --------------------------------------------------------------- mode 2 --

std::vector<std::string> MakerNames(int devices, int makers)
{
    std::vector<std::string> names;
    for (int index = 0; index < devices; ++index) {
        const UsbStick stick = BenchTrees::StickFor(devices, makers, index);
        if (BenchTrees::IsMakerStick(stick)) {
            names.push_back(stick.name);
        }
    }
    return names;
}

void Linux26Pass(benchmark::State& state, int devices, int makers)
{
    const Linux26TreeInPlace tree(devices, makers);
    if (!tree.ok(state)) {
        return;
    }
    TimePasses<MonitorL26>(state, {"-m", "2"}, makers);
}

void Linux26Floor(benchmark::State& state, int devices, int makers)
{
    const Linux26TreeInPlace tree(devices, makers);
    if (!tree.ok(state)) {
        return;
    }
    const Floor::Linux26Plan plan = Floor::PlanLinux26(MakerNames(devices, makers));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Floor::Linux26Pass(plan));
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A pass, the floor and the floor without the platform-file checks, call by
// call in turn, so that the machine's changing speed hits all three alike:
// the ratios are the medians' ratios.
void Linux26Paired(benchmark::State& state, int devices, int makers)
{
    const Linux26TreeInPlace tree(devices, makers);
    if (!tree.ok(state)) {
        return;
    }
    RemoveLinks(BenchTrees::kLinkTRV, BenchTrees::kLinkSV);
    auto settings = MakeSettings({"-m", "2"});
    MonitorL26 monitor(*settings);
    ConnectDevices(monitor);
    const Floor::Linux26Plan plan = Floor::PlanLinux26(MakerNames(devices, makers));
    std::vector<double> pass, floor, unchecked;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        monitor.HandleChanges();
        const auto passed = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(Floor::Linux26Pass(plan));
        const auto floored = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(Floor::Linux26Pass(plan, false));
        const auto end = std::chrono::steady_clock::now();
        pass.push_back(std::chrono::duration<double, std::micro>(passed - start).count());
        floor.push_back(std::chrono::duration<double, std::micro>(floored - passed).count());
        unchecked.push_back(std::chrono::duration<double, std::micro>(end - floored).count());
    }
    state.counters["pass_us"] = Median(pass);
    state.counters["floor_us"] = Median(floor);
    state.counters["pass_per_floor"] = Median(pass) / Median(floor);
    state.counters["checks_cost"] = Median(floor) / Median(unchecked);
}

struct ScriptTime {
    double wall = 0;  // seconds
    double cpu = 0;   // user + system seconds of the shell and every process it started
    bool ok = false;
};

// Runs a shell loop script for `passes` passes.
ScriptTime RunScript(const std::string& script, int passes)
{
    ScriptTime time;
    const std::string path = std::string(BenchTrees::kToolsDir) + "/" + script;
    const std::string count = std::to_string(passes);
    const char* argv[] = {"/bin/sh", path.c_str(), count.c_str(), nullptr};
    const std::string trv = std::string("TRV_LINK=") + BenchTrees::kScriptLinkTRV;
    const std::string sv = std::string("SV_LINK=") + BenchTrees::kScriptLinkSV;
    const char* envp[] = {"PATH=/usr/bin:/bin", "LC_ALL=C", trv.c_str(), sv.c_str(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv),
                    const_cast<char* const*>(envp)) != 0) {
        return time;
    }
    int status = 0;
    struct rusage usage {};
    // The shell's usage includes that of the processes it waited for.
    wait4(pid, &status, 0, &usage);
    time.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    time.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    time.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return time;
}

void ShellLoop(benchmark::State& state, const std::string& script, int devices, int makers, int passes)
{
    const Linux26TreeInPlace tree(devices, makers);
    if (!tree.ok(state)) {
        return;
    }
    RemoveLinks(BenchTrees::kScriptLinkTRV, BenchTrees::kScriptLinkSV);
    double cpu = 0;
    for (auto _ : state) {
        const ScriptTime time = RunScript(script, passes);
        if (!time.ok) {
            state.SkipWithError("the shell loop failed");
            break;
        }
        state.SetIterationTime(time.wall / passes);
        cpu += time.cpu / passes;
    }
    state.counters["cpu_us"] = benchmark::Counter(1e6 * cpu, benchmark::Counter::kAvgIterations);
    if (LinksPresent(BenchTrees::kScriptLinkTRV, BenchTrees::kScriptLinkSV) != makers) {
        state.SkipWithError("the shell loop did not link the maker's devices");
    }
}

// ----------------------------------------------------------- modes 1, 3 --

int MakerFiles(int files) { return std::min(files, 2); }

void EluxPass(benchmark::State& state, int files)
{
    TimePasses<MonitorEluxNG>(state, {"-m", "1", "-e", BenchTrees::EluxVariant(files)}, MakerFiles(files));
}

void IgelLXPass(benchmark::State& state, int files)
{
    const InPlace dir(BenchTrees::IgelLXVariant(files), BenchTrees::kIgelLXDir);
    if (!dir.ok()) {
        state.SkipWithError("cannot move the device files into place");
        return;
    }
    TimePasses<MonitorIgelLX>(state, {"-m", "3"}, MakerFiles(files));
}

void DeviceFileFloor(benchmark::State& state, std::string dir, bool pause)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(Floor::DeviceFilePass(dir.c_str(), pause));
    }
}

void IgelLXFloor(benchmark::State& state, int files, bool pause)
{
    const InPlace dir(BenchTrees::IgelLXVariant(files), BenchTrees::kIgelLXDir);
    if (!dir.ok()) {
        state.SkipWithError("cannot move the device files into place");
        return;
    }
    DeviceFileFloor(state, BenchTrees::kIgelLXDir, pause);
}

void Usleep200(benchmark::State& state)
{
    for (auto _ : state) {
        usleep(200);
    }
}

// ------------------------------------------------------------ reporting --

std::string Name(const std::string& what, int size, int makers = -1)
{
    return what + "/" + std::to_string(size) + (makers >= 0 ? "/" + std::to_string(makers) : "");
}

void Register(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Unit(benchmark::kMicrosecond)->Repetitions(g_repetitions)->DisplayAggregatesOnly(true);
}

void RegisterAll()
{
    for (int devices : BenchTrees::kBlockDeviceCounts) {
        for (int makers : BenchTrees::kMakerCounts) {
            Register(benchmark::RegisterBenchmark(Name("mode2_pass", devices, makers).c_str(), Linux26Pass, devices,
                                                  makers)
                         ->UseRealTime()
                         ->MinTime(kMinTime));
            Register(benchmark::RegisterBenchmark(Name("mode2_paired", devices, makers).c_str(), Linux26Paired,
                                                  devices, makers)
                         ->MinTime(4 * kMinTime));
            Register(benchmark::RegisterBenchmark(Name("mode2_floor", devices, makers).c_str(), Linux26Floor, devices,
                                                  makers)
                         ->UseRealTime()
                         ->MinTime(kMinTime));
        }
    }
    // The shell loops on the trees with both of the maker's devices mounted;
    // each repetition is one run of the script, timed per pass. The obvious
    // loop takes seconds a pass over 512 devices: that size runs once.
    for (int devices : BenchTrees::kBlockDeviceCounts) {
        const int passes = devices <= 8 ? 5 : devices <= 64 ? 2 : 1;
        for (const char* script : {"trvmount-loop.sh", "trvmount-loop-builtins.sh"}) {
            const std::string what = std::strstr(script, "builtins") ? "mode2_script_builtins" : "mode2_script";
            auto* benchmark = benchmark::RegisterBenchmark(Name(what, devices, 2).c_str(), ShellLoop,
                                                           std::string(script), devices, 2, passes);
            Register(benchmark->UseManualTime()->Iterations(1));
            if (devices > 64) {
                benchmark->Repetitions(1);
            }
        }
    }
    for (int files : BenchTrees::kDeviceFileCounts) {
        Register(benchmark::RegisterBenchmark(Name("mode1_pass", files).c_str(), EluxPass, files)
                     ->UseRealTime()
                     ->MinTime(kMinTime));
        Register(benchmark::RegisterBenchmark(Name("mode1_floor", files).c_str(), DeviceFileFloor,
                                              BenchTrees::EluxVariant(files), false)
                     ->UseRealTime()
                     ->MinTime(kMinTime));
        Register(benchmark::RegisterBenchmark(Name("mode3_pass", files).c_str(), IgelLXPass, files)
                     ->UseRealTime()
                     ->MinTime(kMinTime));
        Register(benchmark::RegisterBenchmark(Name("mode3_floor", files).c_str(), IgelLXFloor, files, false)
                     ->UseRealTime()
                     ->MinTime(kMinTime));
        Register(benchmark::RegisterBenchmark(Name("mode3_floor_pause", files).c_str(), IgelLXFloor, files, true)
                     ->UseRealTime()
                     ->MinTime(kMinTime));
    }
    Register(benchmark::RegisterBenchmark("usleep200", Usleep200)->UseRealTime()->MinTime(kMinTime));
}

// Keeps the median of every benchmark (the single run when there is only one
// repetition): wall and CPU time in microseconds. For the shell loops, whose
// work is done in other processes, the CPU time is their cpu_us counter.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double wall = 0;
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                m_errors.push_back(run.benchmark_name() + ": " + run.error_message);
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (median || single) {
                Times& times = m_median[run.run_name.function_name];
                times.wall = run.GetAdjustedRealTime();
                const auto counter = run.counters.find("cpu_us");
                times.cpu = counter != run.counters.end() ? counter->second.value : run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    bool Has(const std::string& name) const { return m_median.count(name) != 0; }
    Times operator[](const std::string& name) const { return Has(name) ? m_median.at(name) : Times(); }
    const std::vector<std::string>& Errors() const { return m_errors; }

private:
    std::map<std::string, Times> m_median;
    std::vector<std::string> m_errors;
};

// The figures of a run: tables for people, then one "figure <key> <value>"
// line each, which bench/run-all.sh collects over several runs.
class Summary {
public:
    void Figure(const std::string& key, double value)
    {
        char line[256];
        std::snprintf(line, sizeof(line), "figure %s %.4g", key.c_str(), value);
        m_figures.emplace_back(line);
    }
    void PrintFigures() const
    {
        for (const std::string& line : m_figures) {
            std::printf("%s\n", line.c_str());
        }
    }

private:
    std::vector<std::string> m_figures;
};

std::string Key(const std::string& what, int size, int makers = -1)
{
    return what + "." + std::to_string(size) + (makers >= 0 ? "." + std::to_string(makers) : "");
}

void PrintSummary(const MedianReporter& r)
{
    Summary summary;
    std::printf("\n==== Figures: medians of %d repetitions, microseconds per pass; cpu = user + system time ====\n",
                g_repetitions);
    std::printf("\nMode 2 pass over /sys/block, 30-line mount table, steady state:\n");
    std::printf("%8s %7s %11s %11s %9s %11s %11s %9s\n", "devices", "makers", "pass cpu", "floor cpu", "ratio",
                "pass wall", "floor wall", "ratio");
    for (int devices : BenchTrees::kBlockDeviceCounts) {
        for (int makers : BenchTrees::kMakerCounts) {
            const std::string passName = Name("mode2_pass", devices, makers);
            const std::string floorName = Name("mode2_floor", devices, makers);
            if (!r.Has(passName) || !r.Has(floorName)) {
                continue;
            }
            const auto pass = r[passName];
            const auto floor = r[floorName];
            std::printf("%8d %7d %11.1f %11.1f %9.2f %11.1f %11.1f %9.2f\n", devices, makers, pass.cpu, floor.cpu,
                        pass.cpu / floor.cpu, pass.wall, floor.wall, pass.wall / floor.wall);
            summary.Figure(Key("mode2.pass_cpu_us", devices, makers), pass.cpu);
            summary.Figure(Key("mode2.floor_cpu_us", devices, makers), floor.cpu);
            summary.Figure(Key("mode2.pass_over_floor_cpu", devices, makers), pass.cpu / floor.cpu);
            summary.Figure(Key("mode2.pass_wall_us", devices, makers), pass.wall);
            summary.Figure(Key("mode2.floor_wall_us", devices, makers), floor.wall);
            summary.Figure(Key("mode2.pass_over_floor_wall", devices, makers), pass.wall / floor.wall);
        }
    }

    std::printf("\nMode 2, the shell loops per pass against the daemon (2 of the maker's devices mounted):\n");
    std::printf("%8s %11s %11s %11s %9s %11s %9s\n", "devices", "", "daemon", "script", "ratio", "careful", "ratio");
    for (int devices : BenchTrees::kBlockDeviceCounts) {
        const std::string passName = Name("mode2_pass", devices, 2);
        const std::string scriptName = Name("mode2_script", devices, 2);
        const std::string carefulName = Name("mode2_script_builtins", devices, 2);
        if (!r.Has(passName) || !r.Has(scriptName) || !r.Has(carefulName)) {
            continue;
        }
        const auto pass = r[passName];
        const auto script = r[scriptName];
        const auto careful = r[carefulName];
        std::printf("%8d %11s %11.1f %11.0f %9.0f %11.0f %9.1f\n", devices, "cpu", pass.cpu, script.cpu,
                    script.cpu / pass.cpu, careful.cpu, careful.cpu / pass.cpu);
        std::printf("%8s %11s %11.1f %11.0f %9.0f %11.0f %9.1f\n", "", "wall", pass.wall, script.wall,
                    script.wall / pass.wall, careful.wall, careful.wall / pass.wall);
        summary.Figure(Key("mode2.script_cpu_us", devices), script.cpu);
        summary.Figure(Key("mode2.script_wall_us", devices), script.wall);
        summary.Figure(Key("mode2.script_over_daemon_cpu", devices), script.cpu / pass.cpu);
        summary.Figure(Key("mode2.script_over_daemon_wall", devices), script.wall / pass.wall);
        summary.Figure(Key("mode2.careful_script_cpu_us", devices), careful.cpu);
        summary.Figure(Key("mode2.careful_script_wall_us", devices), careful.wall);
        summary.Figure(Key("mode2.careful_script_over_daemon_cpu", devices), careful.cpu / pass.cpu);
        summary.Figure(Key("mode2.careful_script_over_daemon_wall", devices), careful.wall / pass.wall);
    }

    const auto pause = r["usleep200"];
    std::printf("\nModes 1 and 3, device files (min(files, 2) of them the maker's), steady state:\n");
    std::printf("%5s %6s %11s %11s %9s %11s %11s %9s %11s %9s\n", "mode", "files", "pass cpu", "floor cpu", "ratio",
                "pass wall", "floor wall", "ratio", "floor+pause", "ratio");
    for (int mode : {1, 3}) {
        for (int files : BenchTrees::kDeviceFileCounts) {
            const std::string prefix = "mode" + std::to_string(mode);
            const std::string passName = Name(prefix + "_pass", files);
            const std::string floorName = Name(prefix + "_floor", files);
            if (!r.Has(passName) || !r.Has(floorName)) {
                continue;
            }
            const auto pass = r[passName];
            const auto floor = r[floorName];
            std::printf("%5d %6d %11.1f %11.1f %9.2f %11.1f %11.1f %9.2f", mode, files, pass.cpu, floor.cpu,
                        pass.cpu / floor.cpu, pass.wall, floor.wall, pass.wall / floor.wall);
            summary.Figure(Key(prefix + ".pass_cpu_us", files), pass.cpu);
            summary.Figure(Key(prefix + ".floor_cpu_us", files), floor.cpu);
            summary.Figure(Key(prefix + ".pass_over_floor_cpu", files), pass.cpu / floor.cpu);
            summary.Figure(Key(prefix + ".pass_wall_us", files), pass.wall);
            summary.Figure(Key(prefix + ".floor_wall_us", files), floor.wall);
            summary.Figure(Key(prefix + ".pass_over_floor_wall", files), pass.wall / floor.wall);
            const auto paused = r[Name("mode3_floor_pause", files)];
            if (mode == 3 && paused.wall > 0) {
                std::printf(" %11.1f %9.2f", paused.wall, pass.wall / paused.wall);
                summary.Figure(Key("mode3.floor_with_pauses_wall_us", files), paused.wall);
                summary.Figure(Key("mode3.floor_with_pauses_cpu_us", files), paused.cpu);
                summary.Figure(Key("mode3.pass_over_floor_with_pauses_wall", files), pass.wall / paused.wall);
                summary.Figure(Key("mode3.pass_over_floor_with_pauses_cpu", files), pass.cpu / paused.cpu);
                // The pauses' share of a pass: files x what one usleep(200) takes.
                summary.Figure(Key("mode3.pause_share_wall", files), files * pause.wall / pass.wall);
                summary.Figure(Key("mode3.pause_share_cpu", files), files * pause.cpu / pass.cpu);
            }
            std::printf("\n");
        }
    }
    std::printf("One usleep(200) takes %.1f us of wall time and %.1f us of CPU time here; of a mode-3 pass over\n"
                "16 files the 16 pauses are %.0f%% of the wall time and %.0f%% of the CPU time.\n",
                pause.wall, pause.cpu, 100 * 16 * pause.wall / r[Name("mode3_pass", 16)].wall,
                100 * 16 * pause.cpu / r[Name("mode3_pass", 16)].cpu);
    summary.Figure("usleep200.wall_us", pause.wall);
    summary.Figure("usleep200.cpu_us", pause.cpu);

    std::printf("\nTargets:\n");
    for (int makers : BenchTrees::kMakerCounts) {
        const auto pass = r[Name("mode2_pass", 64, makers)];
        const auto floor = r[Name("mode2_floor", 64, makers)];
        const double ratio = pass.cpu / floor.cpu;
        std::printf("  mode-2 pass over 64 block devices, %d of the maker's, within 2x of the floor: "
                    "%.2fx cpu (%.2fx wall), %s\n",
                    makers, ratio, pass.wall / floor.wall, ratio <= 2 ? "met" : "MISSED");
    }
    const double script = r[Name("mode2_script", 64, 2)].cpu / r[Name("mode2_pass", 64, 2)].cpu;
    const double scriptWall = r[Name("mode2_script", 64, 2)].wall / r[Name("mode2_pass", 64, 2)].wall;
    std::printf("  shell loop at least 20x slower per pass, 64 block devices: %.0fx cpu (%.0fx wall), %s\n", script,
                scriptWall, script >= 20 ? "met" : "MISSED");
    std::printf("\n");
    summary.PrintFigures();
    for (const std::string& error : r.Errors()) {
        std::printf("ERROR %s\n", error.c_str());
    }
}

int RunInside(int argc, char** argv)
{
    if (access(BenchTrees::kMarker, F_OK) != 0) {
        std::cerr << "--inside is only for the copy of this program in its own fake root" << std::endl;
        return 2;
    }
    // Where the monitors' info directory is: the base constructor empties it.
    Registry::RegistryFile = BenchTrees::kRegistryFile;
    benchmark::Initialize(&argc, argv);
    RegisterAll();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    benchmark::Shutdown();
    return reporter.Errors().empty() ? 0 : 1;
}

// ------------------------------------------------------------- outside --

int RunOutside(int argc, char** argv)
{
    const std::string unavailable = FakeRoot::Unavailable();
    if (!unavailable.empty()) {
        std::cerr << "TRVMountBench cannot run here: " << unavailable << std::endl;
        return 1;
    }
    const auto started = std::chrono::steady_clock::now();
    FakeRoot root;
    BenchTrees::BuildAll(root);
    // The shell loops need /dev/null.
    root.MakeDir("/dev");
    if (mknod(root.Host("/dev/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        std::perror("mknod /dev/null");
        return 1;
    }
    const std::string tools = root.Host(BenchTrees::kToolsDir);
    std::filesystem::copy_file("/proc/self/exe", tools + "/TRVMountBench");
    std::filesystem::permissions(tools + "/TRVMountBench", std::filesystem::perms::owner_all);
    for (const char* script : {"trvmount-loop.sh", "trvmount-loop-builtins.sh"}) {
        std::filesystem::copy_file(std::string(BENCH_SOURCE_DIR) + "/" + script, tools + "/" + script);
    }
    std::printf("Fake root %s built in %.1f s\n", root.Host("").c_str(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    std::fflush(stdout);

    std::vector<std::string> command{"/usr/bin/unshare", "--mount", "--propagation", "private",
                                     "/bin/sh",          ENTER_FAKE_ROOT_SCRIPT, root.Host("")};
    // A profiler to run the copy inside under, for example
    // TRV_BENCH_LAUNCHER="valgrind --tool=callgrind --callgrind-out-file=/bench/out/callgrind.out"
    if (const char* launcher = std::getenv("TRV_BENCH_LAUNCHER")) {
        std::istringstream words(launcher);
        for (std::string word; words >> word;) {
            command.push_back(word);
        }
    }
    command.push_back(std::string(BenchTrees::kToolsDir) + "/TRVMountBench");
    command.push_back("--inside");
    for (int i = 1; i < argc; ++i) {
        command.push_back(argv[i]);
    }
    std::vector<char*> words;
    for (std::string& word : command) {
        words.push_back(word.data());
    }
    words.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, words[0], nullptr, nullptr, words.data(), environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    // What the run left for the caller (a profiler's output) goes to ./bench-out.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root.Host(BenchTrees::kOutDir), error)) {
        std::filesystem::create_directories("bench-out");
        std::filesystem::copy_file(entry.path(), "bench-out" / entry.path().filename(),
                                   std::filesystem::copy_options::overwrite_existing);
        std::printf("Copied %s to bench-out/\n", entry.path().filename().c_str());
    }
    std::printf("Whole run: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // --repetitions=N (default 5) is ours; everything else goes to Google Benchmark.
    std::vector<char*> rest;
    bool inside = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--inside") == 0) {
            inside = true;
            continue;
        }
        if (std::strncmp(argv[i], "--repetitions=", 14) == 0) {
            g_repetitions = std::max(1, std::atoi(argv[i] + 14));
            if (!inside) {
                rest.push_back(argv[i]);  // passed on to the copy inside
            }
            continue;
        }
        rest.push_back(argv[i]);
    }
    int count = static_cast<int>(rest.size());
    rest.push_back(nullptr);
    return inside ? RunInside(count, rest.data()) : RunOutside(count, rest.data());
}
