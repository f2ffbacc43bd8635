#pragma once

#include <unistd.h>

#include <memory>
#include <type_traits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/Registry.h"
#include "monitor/Monitor.h"
#include "support/TempDir.h"

// A monitor whose platform is the test itself: scans are handed in directly.
class TestMonitor : public Monitor {
public:
    explicit TestMonitor(Settings& settings) : Monitor(settings)
    {
        pInstance = this;
        getInstance()->DirChanged();
    }
    void Start() override {}
    void HandleChanges() override {}
    const std::set<MassStorageDeviceInfo>& known() const { return m_MassStorageDevices; }
    const std::string& infoDirectory() const { return _strTRVMountdDevPath; }
    const std::string& linkPoint() const { return m_sLinkPoint; }
    bool deviceLinked() const { return m_bDeviceLinked; }
};

// A temp dir holding the link paths (TRV, SV), the info directory (info/,
// named by a registry file) and the working directory (cwd/), with the
// process's working directory moved there for the test.
class MonitorTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_savedRegistryFile = Registry::RegistryFile;
        m_registryFile = m_dir / "Settings.ini";
        Registry::RegistryFile = m_registryFile.c_str();
        WriteFile(m_registryFile, "TRVMountdDEVPath=" + (m_dir / "info/") + "\n");
        MakeDirs(m_dir / "cwd");
        m_savedCwd = getcwd(nullptr, 0);
        ASSERT_EQ(0, chdir((m_dir / "cwd").c_str()));
    }

    void TearDown() override
    {
        Registry::RegistryFile = m_savedRegistryFile;
        ASSERT_EQ(0, chdir(m_savedCwd));
        free(m_savedCwd);
    }

    // Builds the settings (link paths in the temp dir plus the given options)
    // and the monitor over them.
    TestMonitor& Build(std::vector<std::string> options = {}) { return BuildAs<TestMonitor>(std::move(options)); }

    // The same for a platform monitor.
    template <class MonitorType>
    MonitorType& BuildAs(std::vector<std::string> options = {})
    {
        std::vector<std::string> args{"TRVMountd", "-l", TRV(), "-s", SV()};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        testing::internal::CaptureStdout();
        m_settings = std::make_unique<Settings>(static_cast<int>(args.size()), argv.data());
        testing::internal::GetCapturedStdout();
        auto monitor = std::make_shared<MonitorType>(*m_settings);
        m_anyMonitor = monitor;  // destroyed as a MonitorType
        if constexpr (std::is_same_v<MonitorType, TestMonitor>) {
            m_monitor = monitor.get();
        }
        return *monitor;
    }

    // Hands one scan to the reconciliation and returns what it printed.
    std::string Pass(const std::vector<MassStorageDeviceInfo>& scan)
    {
        testing::internal::CaptureStdout();
        m_monitor->HandleMassStorageDeviceChanges(scan);
        return testing::internal::GetCapturedStdout();
    }

    MassStorageDeviceInfo Device(const char* vendor, const char* product, const char* mountPoint,
                                 const char* device = "sdb1", int number = 0) const
    {
        MassStorageDeviceInfo r(!m_settings->getUseRealUSBIds());
        r.Vendor = vendor;
        r.Product = product;
        r.MountPoint = mountPoint;
        r.Device = device;
        r.setDeviceNumber(number);
        return r;
    }

    std::string TRV() const { return m_dir / "ZentrixTRV"; }
    std::string SV() const { return m_dir / "ZentrixSilvenmar"; }
    std::string Info(const std::string& name) const { return m_dir / ("info/" + name); }
    std::string Cwd() const { return m_dir / "cwd"; }

    TempDir m_dir;
    std::unique_ptr<Settings> m_settings;
    TestMonitor* m_monitor = nullptr;
    std::shared_ptr<void> m_anyMonitor;

private:
    std::string m_registryFile;
    const char* m_savedRegistryFile = nullptr;
    char* m_savedCwd = nullptr;
};
