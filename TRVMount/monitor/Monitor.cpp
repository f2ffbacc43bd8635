#include "monitor/Monitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "config/Registry.h"
#include "fs/CFunctionHelper.h"

Monitor* Monitor::pInstance = nullptr;

namespace {

void (*trv_event)(int) = nullptr;

}  // namespace

void onIOSignal(int sig)
{
    if (sig == SIGIO && trv_event != nullptr) {
        trv_event(1);
    }
}

void SIGIOAction(int sig, siginfo_t*, void*)
{
    if (sig == SIGIO && trv_event != nullptr) {
        trv_event(2);
    }
}

namespace {

std::string InfoDirectoryPath()
{
    Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
    return registry.GetString("TRVMountdDEVPath", "/tmp/.VKTMassStorageInfo/");
}

}  // namespace

Monitor::Monitor(Settings& settings)
    : m_ProgramSettings(settings),
      m_bDirChanged(false),
      m_bDeviceMounted(false),
      m_bDeviceLinked(false),
      _strTRVMountdDevPath(InfoDirectoryPath()),
      m_InfoDirectory(_strTRVMountdDevPath),
      m_Links(settings.getLinkPath_TRV(), settings.getLinkPath_SV())
{
    m_InfoDirectory.Acquire();
}

void Monitor::setCallback(void (*callback)(int)) { trv_event = callback; }

std::string Monitor::LinkStatus() const
{
    std::string status;
    for (const MassStorageDeviceInfo& device : m_MassStorageDevices) {
        if (!device.LinkPath.empty()) {
            status += (status.empty() ? "" : ", ") + device.LinkPath + " -> " + device.MountPoint;
        }
    }
    return status.empty() ? "no device linked" : CFunctionHelper::VisibleText(status);
}

void Monitor::DirChanged() { m_bDirChanged = true; }

bool Monitor::getDirChanged() const { return m_bDirChanged; }

Monitor* Monitor::getInstance() { return pInstance; }

int OpenWatchedDirectory(const std::string& dir, const char* failureMessage)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd == -1) {
        std::cerr << failureMessage << dir << std::endl;
        return -1;
    }
    signal(SIGIO, onIOSignal);
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_sigaction = SIGIOAction;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGIO, &action, nullptr);
    // Without F_SETSIG the kernel reports with SIGIO.
    fcntl(fd, F_NOTIFY, DN_CREATE | DN_DELETE | DN_RENAME | DN_MULTISHOT);
    return fd;
}
