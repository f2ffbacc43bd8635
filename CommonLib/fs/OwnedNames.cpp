#include "fs/OwnedNames.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace OwnedNames {

namespace {

// Attempts at a fresh random name before giving up: a clash is already
// unlikely once.
const int kAttempts = 16;

bool IsOwnFile(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() && info.st_nlink == 1;
}

// Only what can hold nothing of anybody's may be removed: links, FIFOs,
// sockets, device nodes, and an empty file the daemon's user made.
bool HoldsNothing(const struct stat& info)
{
    return S_ISREG(info.st_mode) ? info.st_uid == geteuid() && info.st_size == 0 && info.st_nlink == 1
                                 : !S_ISDIR(info.st_mode);
}

// Frees entry: removed when it holds nothing, else renamed, unopened, to
// base + ".moved-" + a random suffix. True when entry is free.
bool Dispose(int dirFd, const std::string& entry, const std::string& base)
{
    struct stat info {};
    if (fstatat(dirFd, entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (HoldsNothing(info)) {
        return unlinkat(dirFd, entry.c_str(), 0) == 0 || errno == ENOENT;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string aside = base + ".moved-" + RandomSuffix();
        int moved = renameat2(dirFd, entry.c_str(), dirFd, aside.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && (errno == ENOSYS || errno == EINVAL)) {
            // Kernels before 3.15, or file systems without the flag: the
            // random name is as good as free.
            moved = renameat(dirFd, entry.c_str(), dirFd, aside.c_str());
        }
        if (moved == 0) {
            return true;
        }
        if (errno != EEXIST) {
            return errno == ENOENT;
        }
    }
    return false;
}

bool NoExchange(int error) { return error == ENOSYS || error == EINVAL; }

}  // namespace

std::string RandomSuffix()
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof(bytes), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(bytes))) {
        // Early in boot the pool may not be ready; the clock still gives a
        // name that is hard to hit.
        unsigned long long seed = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        for (unsigned char& byte : bytes) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(seed >> 33);
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes) {
        suffix.push_back(kAlphabet[byte % (sizeof(kAlphabet) - 1)]);
    }
    return suffix;
}

bool ClearName(int dirFd, const std::string& name) { return Dispose(dirFd, name, name); }

bool PutInPlace(int dirFd, const std::string& temporary, const std::string& name)
{
    const char* from = temporary.c_str();
    const char* to = name.c_str();
    bool exchange = true;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (exchange) {
            if (renameat2(dirFd, from, dirFd, to, RENAME_EXCHANGE) == 0) {
                // What stood at name now stands at the temporary name.
                Dispose(dirFd, temporary, name);
                return true;
            }
            // Nothing stood there: taken unless somebody took it meanwhile.
            if (errno == ENOENT && renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0) {
                return true;
            }
            if (errno == EEXIST) {
                continue;
            }
            if (!NoExchange(errno)) {
                return false;
            }
            exchange = false;
        }
        // Without the exchange, renameat replaces a link or a file in one step
        // (the link path is never free), a directory only an empty one: what
        // holds data, and whatever stands where a directory is to go, is
        // cleared first. A name made meanwhile is tried again.
        struct stat ours {}, there {};
        const bool directory = fstatat(dirFd, from, &ours, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(ours.st_mode);
        if (fstatat(dirFd, to, &there, AT_SYMLINK_NOFOLLOW) == 0 && (directory || !HoldsNothing(there)) &&
            !ClearName(dirFd, name)) {
            return false;
        }
        if (renameat(dirFd, from, dirFd, to) == 0) {
            return true;
        }
        if (errno != EEXIST && errno != ENOTEMPTY && errno != EISDIR && errno != ENOTDIR) {
            return false;
        }
    }
    return false;
}

bool PlaceNewFile(int dirFd, const std::string& name, unsigned int mode, struct stat& made)
{
    const std::string temporary = name + ".tmp" + RandomSuffix();
    const int fd = CreateExclusive(dirFd, temporary, mode);
    if (fd < 0) {
        return false;
    }
    const bool known = fstat(fd, &made) == 0;
    close(fd);
    if (known && PutInPlace(dirFd, temporary, name)) {
        return true;
    }
    unlinkat(dirFd, temporary.c_str(), 0);
    return false;
}

int PlaceNewDirectory(int dirFd, const std::string& name, unsigned int mode)
{
    std::string temporary;
    int made = -1;
    for (int attempt = 0; made != 0 && attempt < kAttempts; ++attempt) {
        temporary = name + ".tmp" + RandomSuffix();
        made = mkdirat(dirFd, temporary.c_str(), static_cast<mode_t>(mode));
        if (made != 0 && errno != EEXIST) {
            return -1;
        }
    }
    // Held open from the start: the descriptor follows the directory onto its name.
    const int fd = made == 0 ? openat(dirFd, temporary.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (fd >= 0 && PutInPlace(dirFd, temporary, name)) {
        return fd;
    }
    const int error = errno;
    if (fd >= 0) {
        close(fd);
    }
    if (made == 0) {
        unlinkat(dirFd, temporary.c_str(), AT_REMOVEDIR);
    }
    errno = error;
    return -1;
}

int CreateExclusive(int dirFd, const std::string& name, unsigned int mode)
{
    const int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                          static_cast<mode_t>(mode));
    if (fd >= 0 && !IsOwnFile(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool WriteReplacing(int dirFd, const std::string& prefix, const std::string& name, const std::string& text)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string temporary = prefix + RandomSuffix();
        const int fd = CreateExclusive(dirFd, temporary, 0644);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        size_t written = 0;
        while (written < text.size()) {
            const ssize_t length = write(fd, text.data() + written, text.size() - written);
            if (length < 0 && errno == EINTR) {
                continue;
            }
            if (length <= 0) {
                break;
            }
            written += static_cast<size_t>(length);
        }
        // A short file (a full file system) is never published.
        const bool complete = close(fd) == 0 && written == text.size();
        if (complete && renameat(dirFd, temporary.c_str(), dirFd, name.c_str()) == 0) {
            return true;
        }
        unlinkat(dirFd, temporary.c_str(), 0);
        return false;
    }
    return false;
}

}  // namespace OwnedNames
