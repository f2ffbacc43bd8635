#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/FakeRoot.h"

// Base of the end-to-end tests: a fake root per test and the waits that the
// scenarios are written in.
class DaemonTest : public testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_FAKE_ROOT(); }

    // Starts the daemon verbose in the given mode and waits for its settings
    // summary: by then it has emptied its info directory.
    void StartDaemon(int mode, const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args{"-m", std::to_string(mode), "-v"};
        args.insert(args.end(), extra.begin(), extra.end());
        root.Start(args);
        ASSERT_TRUE(root.WaitForOut("ForceRemove: ", m_wait)) << root.Err();
    }

    bool LinkedTo(const std::string& link, const std::string& target)
    {
        return FakeRoot::WaitFor([&] { return root.LinkTarget(link) == target; }, m_wait);
    }
    bool Gone(const std::string& path)
    {
        return FakeRoot::WaitFor([&] { return !root.Exists(path); }, m_wait);
    }

    FakeRoot root;
    double m_wait = 5;  // seconds; longer where the daemon runs slowed down
};

inline const std::string kInfoDir = "/tmp/.VKTMassStorageInfo/";
inline const std::string kTRV = "/tmp/ZentrixTRV";
inline const std::string kSV = "/tmp/ZentrixSilvenmar";
