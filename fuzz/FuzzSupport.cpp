#include "FuzzSupport.h"

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace fuzz {

namespace {

std::string g_scratch;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    ::remove(path);
    return 0;
}

void RemoveScratch()
{
    if (!g_scratch.empty()) {
        RemoveTree(g_scratch);
    }
}

bool UsableBase(const char* base) { return base != nullptr && *base != '\0' && access(base, W_OK | X_OK) == 0; }

// Accepts every character and keeps none.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace

const std::string& ScratchDir(const char* tag)
{
    if (!g_scratch.empty()) {
        return g_scratch;
    }
    const char* base = std::getenv("TMPDIR");
    if (!UsableBase(base)) {
        base = UsableBase("/dev/shm") ? "/dev/shm" : "/tmp";
    }
    std::string name = std::string(base) + "/trv-fuzz-" + tag + "-XXXXXX";
    if (mkdtemp(name.data()) == nullptr) {
        Fail("cannot make a scratch directory under " + std::string(base) + ": " + std::strerror(errno));
    }
    g_scratch = name;
    std::atexit(RemoveScratch);
    return g_scratch;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("cannot write " + path + ": " + std::strerror(errno));
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("cannot write " + path + ": " + std::strerror(errno));
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
}

void WriteFile(const std::string& path, const std::string& content)
{
    WriteFile(path, reinterpret_cast<const uint8_t*>(content.data()), content.size());
}

void MakeDir(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        Fail("cannot make " + path + ": " + std::strerror(errno));
    }
}

void RemoveTree(const std::string& path)
{
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> SplitParts(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        // A separator line: "%%" at the very start followed by a line end, or
        // "\n%%" followed by a line end or the end of the input.
        size_t at = std::string::npos;
        size_t next = 0;
        for (size_t pos = start; pos < text.size(); ++pos) {
            const bool lineStart = pos == 0 || text[pos - 1] == '\n';
            if (lineStart && text.compare(pos, 2, "%%") == 0 && (pos + 2 == text.size() || text[pos + 2] == '\n')) {
                at = pos;
                next = pos + 2 < text.size() ? pos + 3 : text.size();
                break;
            }
        }
        if (at == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        // The line end before the separator belongs to the separator.
        size_t end = at;
        if (end > start && text[end - 1] == '\n') {
            --end;
        }
        parts.push_back(text.substr(start, end - start));
        start = next;
    }
}

void SplitFirstLine(const std::string& text, std::string& first, std::string& rest)
{
    const size_t end = text.find('\n');
    if (end == std::string::npos) {
        first = text;
        rest.clear();
    } else {
        first = text.substr(0, end);
        rest = text.substr(end + 1);
    }
}

void SilenceConsole()
{
    static NullBuffer sink;
    std::cout.rdbuf(&sink);
    std::cerr.rdbuf(&sink);
    std::clog.rdbuf(&sink);
    std::fflush(stdout);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull >= 0) {
        dup2(devNull, STDOUT_FILENO);
        close(devNull);
    }
}

void Fail(const std::string& message)
{
    std::fprintf(stderr, "\nFUZZ CHECK FAILED: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz
