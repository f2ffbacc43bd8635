#include "fs/BoundedRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

const size_t kChunk = 4096;

// A descriptor of path when it is a regular file, else -1 (nothing is left open).
int OpenRegularFile(const std::string& path, struct stat& info)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
        return -1;
    }
    return fd;
}

// read(2) that goes on after a signal.
ssize_t ReadChunk(int fd, char* chunk, size_t wanted)
{
    ssize_t length;
    while ((length = read(fd, chunk, wanted)) < 0 && errno == EINTR) {
    }
    return length;
}

}  // namespace

bool ReadBoundedFile(const std::string& path, size_t cap, std::string& bytes)
{
    bytes.clear();
    struct stat info {};
    const int fd = OpenRegularFile(path, info);
    if (fd < 0) {
        return false;
    }
    char chunk[kChunk];
    while (bytes.size() < cap) {
        const size_t wanted = std::min(sizeof(chunk), cap - bytes.size());
        const ssize_t length = ReadChunk(fd, chunk, wanted);
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
    return true;
}

bool LineSplitter::Feed(std::string_view bytes)
{
    while (!m_bDone && !bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        const bool lineEnds = end != std::string_view::npos;
        if (m_bSkipping || m_Pending.size() + piece.size() > m_Cap) {
            m_Pending.clear();
            m_bSkipping = !lineEnds;
        } else if (!lineEnds) {
            m_Pending.append(piece);
        } else if (m_Pending.empty()) {
            m_bDone = m_OnLine(piece);
        } else {
            m_Pending.append(piece);
            m_bDone = m_OnLine(m_Pending);
            m_Pending.clear();
        }
    }
    return !m_bDone;
}

bool LineSplitter::Finish()
{
    if (!m_bDone && !m_bSkipping && !m_Pending.empty()) {
        m_bDone = m_OnLine(m_Pending);
    }
    m_Pending.clear();
    return !m_bDone;
}

bool ReadLines(const std::string& path, size_t lineCap, const LineSplitter::OnLine& onLine)
{
    struct stat info {};
    const int fd = OpenRegularFile(path, info);
    if (fd < 0) {
        return false;
    }
    LineSplitter lines(lineCap, onLine);
    char chunk[kChunk];
    ssize_t length;
    while ((length = ReadChunk(fd, chunk, sizeof(chunk))) > 0 && lines.Feed(std::string_view(chunk, length))) {
    }
    // A read that failed half-way leaves no last line to trust.
    if (length == 0) {
        lines.Finish();
    }
    close(fd);
    return true;
}
