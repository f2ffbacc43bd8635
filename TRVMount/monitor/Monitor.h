#pragma once

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "device/MassStorageDevice.h"
#include "device/MassStorageDeviceInfo.h"
#include "fs/CommonWrappers.h"
#include "monitor/InfoDirectory.h"
#include "monitor/LinkKeeper.h"
#include "monitor/WakeSource.h"
#include "settings/Settings.h"

// The platform-independent part of every platform monitor: the set of devices
// known from earlier passes, the device links and the info directory. A
// platform monitor scans its sources into records and hands them to
// HandleMassStorageDeviceChanges once per pass. What a pass could not do (a
// link, a placeholder, an info file) is tried again on every later pass.
class Monitor {
public:
    // Reads the info directory from the registry file, makes sure it is the
    // daemon's own and removes every entry in it.
    explicit Monitor(Settings& settings);

    virtual void Start() = 0;
    virtual void HandleChanges() = 0;

    static void setCallback(void (*callback)(int));
    void DirChanged();
    bool getDirChanged() const;
    static Monitor* getInstance();

    // Reconciles one complete scan with the known devices: disappeared
    // devices lose their info file and link first (a link stays while another
    // device of its line is connected), then new devices get theirs. Of
    // several records with one effective number the first wins.
    void HandleMassStorageDeviceChanges(std::vector<MassStorageDeviceInfo> devices);
    void HandleMassStorageDeviceChanges(std::set<MassStorageDeviceInfo> devices);
    std::set<MassStorageDeviceInfo> FilterZentrixDevices(std::set<MassStorageDeviceInfo> devices);

    // What besides the watched directory starts the next pass at once.
    const std::vector<WakeSource>& WakeSources() const { return m_WakeSources; }
    // The linked devices, for the service manager: "<link path> -> <mount
    // point>" for each, or "no device linked".
    std::string LinkStatus() const;

    // Keep-link start state: both link paths point at their placeholders.
    void createInitialDevicePath();
    // Says once, on standard error, when a local user may put a link at a
    // link path that programs would follow while no device is connected.
    void WarnOfPlantableLinks() const;
    // The link path of the device's product line when the link was made, ""
    // when it could not be made yet.
    std::string createDeviceLink(MassStorageDeviceInfo info);
    // Removes the link of the device's line; returns "".
    std::string deleteDeviceLink(MassStorageDeviceInfo info);
    // Points the link of the device's line at its placeholder file; returns
    // the placeholder's path.
    std::string InvalidateDeviceLink(MassStorageDeviceInfo info);

protected:
    // The monitor lives for the whole process and is never destroyed through
    // this base.
    ~Monitor() = default;

    // Lists dir and turns each entry into a record with parseEntry; the
    // records of the maker's devices go to complete (which may add what one
    // look at a shared source gives all of them), and the mounted ones then
    // to the reconciliation, also when there are none. A listing that fails
    // says nothing about the devices: they stay as they are.
    template <class ParseEntry, class Complete>
    void ScanDirectory(const std::string& dir, ParseEntry parseEntry, Complete complete);
    template <class ParseEntry>
    void ScanDirectory(const std::string& dir, ParseEntry parseEntry)
    {
        ScanDirectory(dir, parseEntry, [](std::vector<MassStorageDeviceInfo>&) {});
    }
    // Tries again what earlier passes could not do: links and placeholders,
    // info files, and a device's LinkPath once its link is made.
    void RetryPending();

    const Settings& m_ProgramSettings;
    static Monitor* pInstance;
    std::atomic<bool> m_bDirChanged;  // written by the SIGIO handler
    static_assert(std::atomic<bool>::is_always_lock_free, "the SIGIO handler writes the flag");
    bool m_bDeviceMounted;
    bool m_bDeviceLinked;
    std::string m_sLinkPoint;
    std::set<MassStorageDeviceInfo> m_MassStorageDevices;
    std::string _strTRVMountdDevPath;
    std::vector<WakeSource> m_WakeSources;

private:
    LinkKeeper::Line lineOf(const MassStorageDeviceInfo& info) const;
    std::string linkAfterDeparture(const MassStorageDeviceInfo& departed);
    void writeInfoFile(const MassStorageDeviceInfo& device);

    InfoDirectory m_InfoDirectory;
    LinkKeeper m_Links;
    // Known devices whose info files could not be written yet.
    std::set<MassStorageDeviceInfo> m_InfoFilesPending;
};

// The SIGIO handlers that directory notification raises; both only call the
// change callback.
void onIOSignal(int sig);
void SIGIOAction(int sig, siginfo_t* info, void* context);

// Opens dir as the watched directory and arms directory notification on it
// (create, delete and rename, repeatedly) with the handlers above. When dir
// cannot be opened, writes failureMessage and dir on standard error and
// returns -1; scanning still works then, since every pass rescans.
int OpenWatchedDirectory(const std::string& dir, const char* failureMessage);

template <class ParseEntry, class Complete>
void Monitor::ScanDirectory(const std::string& dir, ParseEntry parseEntry, Complete complete)
{
    std::vector<std::string> entries;
    if (CommonWrappers::getDir(dir, entries) != 0) {
        RetryPending();
        return;
    }
    std::vector<MassStorageDeviceInfo> devices;
    for (const std::string& entry : entries) {
        MassStorageDeviceInfo record = parseEntry(entry);
        if (MassStorageDevice::isZentrixDevice(record.Vendor, record.Product)) {
            devices.push_back(std::move(record));
        }
    }
    complete(devices);
    const auto unmounted = [](const MassStorageDeviceInfo& record) { return record.MountPoint.empty(); };
    devices.erase(std::remove_if(devices.begin(), devices.end(), unmounted), devices.end());
    HandleMassStorageDeviceChanges(devices);
}
