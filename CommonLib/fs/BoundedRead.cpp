#include "fs/BoundedRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

bool ReadBoundedFile(const std::string& path, size_t cap, std::string& bytes)
{
    bytes.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    char chunk[4096];
    while (regular && bytes.size() < cap) {
        const size_t wanted = std::min(sizeof(chunk), cap - bytes.size());
        const ssize_t length = read(fd, chunk, wanted);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(length));
        // A file with a size (sysfs attributes come whole in one read) ends at
        // a short read; /proc tables have none and are read to the end.
        if (info.st_size > 0 && static_cast<size_t>(length) < wanted) {
            break;
        }
    }
    close(fd);
    return regular;
}
