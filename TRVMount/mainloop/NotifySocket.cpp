#include "mainloop/NotifySocket.h"

#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

NotifySocket::NotifySocket()
{
    const char* name = std::getenv("NOTIFY_SOCKET");
    const size_t length = name == nullptr ? 0 : std::strlen(name);
    if (length < 2 || (name[0] != '/' && name[0] != '@')) {
        return;
    }
    // A path needs its terminating NUL in sun_path; an abstract name has none.
    if (length + (name[0] == '/' ? 1 : 0) > sizeof(m_Address.sun_path)) {
        return;
    }
    m_Address.sun_family = AF_UNIX;
    std::memcpy(m_Address.sun_path, name, length);
    if (name[0] == '@') {
        m_Address.sun_path[0] = '\0';
    }
    m_Length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + (name[0] == '/' ? 1 : 0));
}

bool NotifySocket::Send(const std::string& message) const
{
    if (!Available()) {
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool sent = sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&m_Address), m_Length) ==
                      static_cast<ssize_t>(message.size());
    close(fd);
    return sent;
}
