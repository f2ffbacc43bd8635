#pragma once

#include <string>

#include "mainloop/NotifySocket.h"

// Tells systemd, when it started the daemon with a notification socket, that
// the daemon is ready (after the first pass, when the links of the devices
// present at start are in place) and, after every pass that changed it, which
// devices are linked. Without NOTIFY_SOCKET nothing is sent.
class ReadyNotification {
public:
    void AfterPass(const std::string& status);

private:
    NotifySocket m_Socket;
    bool m_bReady = false;
    std::string m_sStatus;
};
