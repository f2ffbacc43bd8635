#include "platforms/linux26/ChangeWatches.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace {

// Closes the descriptor when the last copy of its wake source goes.
std::shared_ptr<int> Owned(int fd)
{
    return std::shared_ptr<int>(new int(fd), [](int* owned) {
        close(*owned);
        delete owned;
    });
}

}  // namespace

WakeSource WatchMountTable(const std::string& mountTable)
{
    char resolved[PATH_MAX];
    if (realpath(mountTable.c_str(), resolved) == nullptr) {
        return WakeSource();
    }
    if (std::strncmp(resolved, "/proc/", 6) != 0) {
        const std::string path(resolved);
        const size_t slash = path.rfind('/');
        return WatchDirectory(slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1));
    }
    // The kernel's table polls POLLPRI (with POLLERR) once after each mount and
    // unmount; the poll that reports it also takes it, so that report alone
    // is the change (proc(5)).
    const int fd = open(resolved, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return WakeSource();
    }
    const std::shared_ptr<int> owned = Owned(fd);
    return WakeSource{fd, [owned] { return true; }, POLLPRI};
}

WakeSource WatchDirectory(const std::string& dir, const std::string& name)
{
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return WakeSource();
    }
    const std::shared_ptr<int> owned = Owned(fd);
    const uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE;
    if (inotify_add_watch(fd, dir.c_str(), events | IN_ONLYDIR) < 0) {
        return WakeSource();
    }
    return WakeSource{fd, [owned, name] {
                          bool changed = false;
                          alignas(inotify_event) char buffer[4096];
                          ssize_t length;
                          while ((length = read(*owned, buffer, sizeof(buffer))) > 0) {
                              for (ssize_t at = 0; at < length;) {
                                  const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                                  changed = changed || name.empty() || (event->len > 0 && name == event->name);
                                  at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                              }
                          }
                          return changed;
                      }};
}
