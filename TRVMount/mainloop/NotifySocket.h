#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

// The service manager's notification socket, spoken directly as sd_notify(3)
// describes it: one datagram per message to the AF_UNIX address in
// $NOTIFY_SOCKET, a path or, after "@", an abstract name. Without the variable
// (no service manager waits for the daemon) nothing is sent.
class NotifySocket {
public:
    NotifySocket();

    bool Available() const { return m_Length != 0; }
    // Sends message ("READY=1\nSTATUS=..."); false when it could not be sent.
    bool Send(const std::string& message) const;

private:
    sockaddr_un m_Address{};
    socklen_t m_Length = 0;
};
