#include "mainloop/ReadyNotification.h"

void ReadyNotification::AfterPass(const std::string& status)
{
    if (m_bReady && status == m_sStatus) {
        return;
    }
    m_Socket.Send(std::string(m_bReady ? "" : "READY=1\n") + "STATUS=" + status);
    m_bReady = true;
    m_sStatus = status;
}
