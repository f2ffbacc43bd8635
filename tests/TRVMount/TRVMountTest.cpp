// The daemon below its main loop, as the tables of cases.txt: the reading rules
// of each platform file, the comparison of scans, the scheduling of passes and
// the change watches. What the monitors, the links, the info directory and the
// readiness notification do is told by the end-to-end scenarios.
#include <dirent.h>

#include <future>
#include <sched.h>
#include <sys/mount.h>

#include "fs/BoundedRead.h"
#include "mainloop/PassScheduler.h"
#include "monitor/Reconciliation.h"
#include "platforms/elux/MonitorEluxNG.h"
#include "platforms/igellx/MonitorIgelLX.h"
#include "platforms/linux26/ChangeWatches.h"
#include "platforms/linux26/IgelUD3Storage.h"
#include "platforms/linux26/MountTable.h"
#include "platforms/linux26/UsbDeviceDirectory.h"
#include "support/TestSupport.h"

namespace {

// Files named by words from w[from] on, with the words after them as contents, in dir.
void WriteFiles(const TempDir& dir, const std::vector<std::string>& w, size_t from)
{
    for (size_t i = from; i + 1 < w.size(); i += 2) WriteFile(dir / w[i], w[i + 1]);
}

// A device file's Vendor|Product|Device|MountPoint, as parse reads them.
std::string Fields(void (*parse)(std::string_view, MassStorageDeviceInfo&), const std::string& file)
{
    MassStorageDeviceInfo r(true);
    parse(file, r);
    return r.Vendor + "|" + r.Product + "|" + r.Device + "|" + r.MountPoint;
}

CASES(ReadingRules, elux) { EXPECT_EQ(w[2], Fields(ParseEluxNGInfoFile, w[1])); }
CASES(ReadingRules, igellx) { EXPECT_EQ(w[2], Fields(ParseIgelLXInfoFile, w[1])); }
CASES(ReadingRules, mtab)  // the search ends at the first line that gives a mount point
{
    std::string found;
    LineSplitter table(kTableLineCap, [&](std::string_view line) { return MountPointOfLine(line, w[2], found); });
    EXPECT_EQ(w[3], table.Feed(w[1]) && table.Finish() ? "" : found);
}

CASES(ReadingRules, ud3)
{
    TempDir dir;
    WriteFiles(dir, w, 3);
    EXPECT_EQ(w[2], FindIgelUD3MountPoint(dir.path() + "/", w[1], "/media/"));
}

CASES(ReadingRules, cut)
{
    const UsbDevicePaths paths = CutUsbDevicePaths("/sys/block/", w[1]);
    EXPECT_EQ(w[2] + "|" + w[3], paths.firstLevel + "|" + paths.secondLevel);
}

CASES(ReadingRules, usb)
{
    TempDir dir;
    WriteFiles(dir, w, 2);
    MassStorageDeviceInfo r(false), busOne(false);
    r.setDeviceNumber(-7);  // what an unreadable devnum leaves
    ReadUsbAttributes(dir.path() + "/", r);
    busOne.setDeviceNumber(r.getDeviceNumber());
    busOne.setBusNumber(1);
    EXPECT_EQ(w[1], std::to_string(r.getDeviceNumber()) + (r < busOne ? "|<|" : busOne < r ? "|>|" : "|=|") +
                        std::to_string(r.VendorID) + "|" + std::to_string(r.ProductID));
}

TEST(ReadingRules, TheStorageTreeIsSearchedTwoHundredEntriesADirectoryAtMost)
{
    TempDir dir;
    for (int i = 0; i < 250; ++i) MakeDirs(dir / ("usb_device" + std::to_string(i)));
    std::vector<std::string> order;  // readdir's order, "." and ".." counted
    DIR* handle = opendir(dir.path().c_str());
    while (const dirent* entry = readdir(handle)) order.emplace_back(entry->d_name);
    closedir(handle);
    WriteFile(dir / (order[200] + "/storage0/volume_part0"), "DEVICE=\"/dev/sdb1\"\nLABEL=\"FAR\"\n");
    WriteFile(dir / (order[199] + "/storage0/volume_part0"), "DEVICE=\"/dev/sdc1\"\nLABEL=\"LAST\"\n");
    EXPECT_EQ("", FindIgelUD3MountPoint(dir.path() + "/", "sdb1", "/media/"));
    EXPECT_EQ("/media/LAST", FindIgelUD3MountPoint(dir.path() + "/", "sdc1", "/media/"));
}

// "fake Zentrix TRV4 0 0 real - TRV3 5 1": records, each of the fake or real
// numbers, vendor ("-" for none), product, stored number and bus.
std::set<MassStorageDeviceInfo> Records(const std::string& text)
{
    std::set<MassStorageDeviceInfo> records;
    std::istringstream in(text);
    int number = 0, bus = 0;
    for (std::string kind, vendor, product; in >> kind >> vendor >> product >> number >> bus;) {
        MassStorageDeviceInfo r(kind == "fake");
        r.Vendor = vendor == "-" ? "" : vendor, r.Product = product == "-" ? "" : product;
        r.setDeviceNumber(number), r.setBusNumber(bus);
        records.insert(r);
    }
    return records;
}

std::string Names(const std::vector<MassStorageDeviceInfo>& records)
{
    std::string names;
    for (const MassStorageDeviceInfo& r : records) names += r.Product + ":" + std::to_string(r.getDeviceNumber()) + " ";
    return names;
}

CASES(Reconciliation, compare)
{
    const ScanChanges changes = CompareScan(Records(w[1]), Records(w[2]));
    EXPECT_EQ(w[3] + "|" + w[4], Names(changes.departures) + "|" + Names(changes.arrivals));
}

CASES(PassScheduler, schedule)
{
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_NONBLOCK | O_CLOEXEC));
    // "y" is a change that matters, any other byte is not.
    WakeSource source{fds[0], [fd = fds[0]] {
                          char bytes[64];
                          const ssize_t length = read(fd, bytes, sizeof(bytes));
                          return length > 0 && std::string_view(bytes, length).find('y') != std::string_view::npos;
                      }};
    signal(SIGIO, [](int) {});
    PassScheduler::HoldNotification();
    PassScheduler scheduler({source}, std::chrono::milliseconds(100));
    std::istringstream events(w[1]), wakes(w[2]);
    const pthread_t waiter = pthread_self();
    for (std::string event, wake; std::getline(events, event, ',') && std::getline(wakes, wake, ',');) {
        auto report = [&, event] {
            event.find("sigio") != std::string::npos ? pthread_kill(waiter, SIGIO) : write(fds[1], event.find("change") != std::string::npos ? "y" : "n", 1);
        };
        const bool waiting = event.rfind("wait-", 0) == 0;
        if (!waiting && event != "nothing") report();
        auto whileWaiting = std::async(std::launch::async, [&] { waiting ? std::this_thread::sleep_for(std::chrono::milliseconds(20)), report() : void(); });
        const PassScheduler::Wake why = scheduler.WaitForNextPass();
        EXPECT_EQ(wake, why == PassScheduler::Wake::kPeriod ? "period" : why == PassScheduler::Wake::kChange ? "change" : "during");
    }
    close(fds[0]), close(fds[1]);
}

CASES(ChangeWatches, watch)
{
    TempDir dir;
    const bool kernels = w[1][0] == '/';
    if (kernels && geteuid() != 0) return;  // a mount needs root
    WriteFile(dir / "mtab", "");
    MakeDirs(dir / "sub");
    ASSERT_EQ(0, RunInChild(dir.path(), [&] {
        ASSERT_TRUE(!kernels || (unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0));
        const WakeSource source = WatchMountTable(kernels ? w[1] : dir / w[1]);
        ASSERT_GE(source.fd, 0);
        ASSERT_EQ(0, std::system(w[2].c_str()));
        pollfd woken{source.fd, source.events, 0};
        EXPECT_EQ(w[3] == "1", poll(&woken, 1, 1000) == 1 && source.drain());
    }));
}

}  // namespace
