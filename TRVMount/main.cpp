#include <signal.h>
#include <unistd.h>

#include <iostream>

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
    Settings settings(argc, argv);
    Monitor* monitor = CreateMonitor(settings);
    if (monitor == nullptr) {
        std::cout << "Invalid mode" << std::endl;
        return 1;
    }
    g_pTRVMonitor = monitor;
    // Registered before Start arms notification, so a signal never finds it unset.
    Monitor::setCallback(dirchangecallback);
    g_pTRVMonitor->Start();
    // SIGIO is held back while a pass runs: the handler would only set the
    // flag, which is set already, but it would break off a console write that
    // is blocked on a full pipe and leave the stream failed for good. A
    // notification that arrived during the pass is delivered before the pause.
    sigset_t notification;
    sigemptyset(&notification);
    sigaddset(&notification, SIGIO);
    for (;;) {
        sigprocmask(SIG_BLOCK, &notification, nullptr);
        g_pTRVMonitor->HandleChanges();
        sigprocmask(SIG_UNBLOCK, &notification, nullptr);
        // A directory notification ends the pause early.
        sleep(1);
    }
}
