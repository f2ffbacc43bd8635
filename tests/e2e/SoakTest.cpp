// Soak: 10,000 connect/disconnect cycles of a TRV and a Silvenmar stick in
// mode 1, then the daemon must hold as many descriptors and about as much
// resident memory as before, and have left no temporary names behind. Not part
// of the default test run: `cmake --build <plain build> --target soak`.
#include <dirent.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/DaemonTest.h"
#include "e2e/FakePlatforms.h"

namespace {

int OpenDescriptors(pid_t pid)
{
    int count = 0;
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    while (dir != nullptr && readdir(dir) != nullptr) {
        ++count;
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return count - 2;  // "." and ".."
}

long ResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

class Soak : public DaemonTest {
protected:
    void Cycle(FakeEluxNG& elux, int i)
    {
        const std::string trvMount = "/media/trv" + std::to_string(i % 7);
        const std::string svMount = "/media/sv" + std::to_string(i % 5);
        elux.Plug("trv", "Zentrix", "TRV4", trvMount);
        elux.Plug("sv", "Zentrix", "Silvenmar", svMount);
        ASSERT_TRUE(LinkedTo(kTRV, trvMount)) << "cycle " << i;
        ASSERT_TRUE(LinkedTo(kSV, svMount)) << "cycle " << i;
        elux.Unplug("trv");
        elux.Unplug("sv");
        ASSERT_TRUE(Gone(kTRV)) << "cycle " << i;
        ASSERT_TRUE(Gone(kSV)) << "cycle " << i;
    }
};

TEST_F(Soak, TenThousandCyclesLeaveDescriptorsMemoryAndNamesAsTheyWere)
{
#ifdef TRV_SANITIZED_BUILD
    GTEST_SKIP() << "sanitizer quarantines make memory figures meaningless; run the soak in a plain build";
#endif
    const int kCycles = 10000;
    FakeEluxNG elux(root);
    StartDaemon(1, {"-e", elux.Dir()});
    for (int i = 0; i < 100; ++i) {
        ASSERT_NO_FATAL_FAILURE(Cycle(elux, i));
    }
    const int descriptorsBefore = OpenDescriptors(root.Pid());
    const long residentBefore = ResidentKiB(root.Pid());
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kCycles; ++i) {
        ASSERT_NO_FATAL_FAILURE(Cycle(elux, i));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int descriptorsAfter = OpenDescriptors(root.Pid());
    const long residentAfter = ResidentKiB(root.Pid());

    elux.Plug("trv", "Zentrix", "TRV4", "/media/final");
    ASSERT_TRUE(LinkedTo(kTRV, "/media/final"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));

    std::cout << kCycles << " cycles in " << seconds << " s (" << 1000 * seconds / kCycles << " ms per cycle)\n"
              << "open descriptors: " << descriptorsBefore << " before, " << descriptorsAfter << " after\n"
              << "VmRSS: " << residentBefore << " KiB before, " << residentAfter << " KiB after" << std::endl;
    RecordProperty("descriptors_before", descriptorsBefore);
    RecordProperty("descriptors_after", descriptorsAfter);
    RecordProperty("rss_kib_before", static_cast<int>(residentBefore));
    RecordProperty("rss_kib_after", static_cast<int>(residentAfter));

    EXPECT_EQ(descriptorsBefore, descriptorsAfter);
    EXPECT_LE(residentAfter, residentBefore + 16) << "resident memory grew";
    EXPECT_EQ((std::vector<std::string>{".VKTMassStorageInfo", "ZentrixTRV"}), root.List("/tmp"));
    EXPECT_EQ(std::vector<std::string>{".VKT__0"}, root.List(kInfoDir));
    EXPECT_FALSE(root.Exists(kSV));
    EXPECT_TRUE(root.Running());
    EXPECT_EQ(SIGTERM, root.Stop());
}

}  // namespace
