#include "platforms/PlatformFileText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string QuotedValue(const std::string& line)
{
    const size_t open = line.find('"');
    if (open == std::string::npos) {
        return line;
    }
    const size_t close = line.find('"', open + 1);
    return close == std::string::npos ? line.substr(open + 1) : line.substr(open + 1, close - open - 1);
}

namespace {

// White space as the C locale classifies it.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

PlatformFile::PlatformFile(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY))
{
    // A file that cannot be opened fails every read, and touches no argument.
    m_failed = m_fd < 0;
}

PlatformFile::~PlatformFile()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool PlatformFile::Fill()
{
    if (m_atEnd || m_fd < 0) {
        m_atEnd = true;
        return false;
    }
    ssize_t length = 0;
    do {
        // One byte short of the buffer, as the stream's buffer reads.
        length = read(m_fd, m_buffer, sizeof(m_buffer) - 1);
    } while (length < 0 && errno == EINTR);
    if (length <= 0) {
        // A read error fails the stream for good, as the end of the file
        // does not.
        m_failed = m_failed || length < 0;
        m_atEnd = true;
        return false;
    }
    m_position = 0;
    m_end = static_cast<size_t>(length);
    return true;
}

bool PlatformFile::ReadWord(std::string& word)
{
    // A stream at its end fails before it looks for anything.
    if (m_failed || (m_atEnd && m_position == m_end)) {
        m_failed = true;
        return false;
    }
    for (;;) {
        if (m_position == m_end && !Fill()) {
            m_failed = true;
            return false;
        }
        if (!IsSpace(m_buffer[m_position])) {
            break;
        }
        ++m_position;
    }
    word.clear();
    for (;;) {
        const size_t start = m_position;
        while (m_position < m_end && !IsSpace(m_buffer[m_position])) {
            ++m_position;
        }
        word.append(m_buffer + start, m_position - start);
        // The white space that ends the word stays unread.
        if (m_position < m_end || !Fill()) {
            return !m_failed;
        }
    }
}

bool PlatformFile::ReadLine(std::string& line)
{
    if (m_failed || (m_atEnd && m_position == m_end)) {
        m_failed = true;
        return false;
    }
    line.clear();
    bool extracted = false;
    for (;;) {
        if (m_position == m_end && !Fill()) {
            m_failed = m_failed || !extracted;
            return !m_failed;
        }
        const char* start = m_buffer + m_position;
        const void* lineFeed = std::memchr(start, '\n', m_end - m_position);
        if (lineFeed != nullptr) {
            line.append(start, static_cast<const char*>(lineFeed) - start);
            m_position += static_cast<const char*>(lineFeed) - start + 1;
            return true;
        }
        line.append(start, m_end - m_position);
        m_position = m_end;
        extracted = true;
    }
}
