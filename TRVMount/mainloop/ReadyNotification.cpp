#include "mainloop/ReadyNotification.h"

#include <systemd/sd-daemon.h>

void ReadyNotification::AfterPass(const std::string& status)
{
    if (m_bReady && status == m_sStatus) {
        return;
    }
    sd_notifyf(0, "%sSTATUS=%s", m_bReady ? "" : "READY=1\n", status.c_str());
    m_bReady = true;
    m_sStatus = status;
}
