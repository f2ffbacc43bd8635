#include <signal.h>
#include <sys/stat.h>

#include <iostream>

#include "mainloop/PassScheduler.h"
#include "mainloop/ReadyNotification.h"
#include "platforms/elux/MonitorEluxNG.h"
#include "platforms/igellx/MonitorIgelLX.h"
#include "platforms/linux26/MonitorL26.h"
#include "settings/Settings.h"

// The process's one monitor, for the change callback.
Monitor* g_pTRVMonitor = nullptr;

// Runs inside the SIGIO handler: it only sets the monitor's changed flag.
void dirchangecallback(int) { g_pTRVMonitor->DirChanged(); }

namespace {

Monitor* CreateMonitor(Settings& settings)
{
    switch (settings.getMode()) {
    case 1: return new MonitorEluxNG(settings);
    case 2: return new MonitorL26(settings);
    case 3: return new MonitorIgelLX(settings);
    default: return nullptr;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // A console write to a pipe whose reader has gone fails; it must not end
    // the daemon.
    signal(SIGPIPE, SIG_IGN);
    // Info files, placeholders and the info directory get the modes other
    // programs expect (0644, 0755), whatever umask the daemon was started with.
    umask(022);
    Settings settings(argc, argv);
    Monitor* monitor = CreateMonitor(settings);
    if (monitor == nullptr) {
        std::cout << "Invalid mode" << std::endl;
        return 1;
    }
    g_pTRVMonitor = monitor;
    // Registered before Start arms notification, so a signal never finds it unset.
    Monitor::setCallback(dirchangecallback);
    // SIGIO gets through only while the loop waits: it never breaks into a
    // pass (or a console write blocked on a full pipe), and one that comes
    // during a pass ends the wait that follows.
    PassScheduler::HoldNotification();
    g_pTRVMonitor->Start();
    g_pTRVMonitor->WarnOfPlantableLinks();
    PassScheduler scheduler(g_pTRVMonitor->WakeSources());
    ReadyNotification ready;
    for (;;) {
        g_pTRVMonitor->HandleChanges();
        ready.AfterPass(g_pTRVMonitor->LinkStatus());
        scheduler.WaitForNextPass();
    }
}
