#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// How much of each kind of platform file is read: more than the platform ever
// writes, little enough that a planted /dev/zero or a huge file costs nothing.
constexpr size_t kSysfsAttributeCap = 4 * 1024;
constexpr size_t kDeviceFileCap = 64 * 1024;
// A table is read whole, however long, line by line; only a line is capped,
// far above what the kernel writes (a mount point is at most 4 KiB, escaped
// four times that).
constexpr size_t kTableLineCap = 64 * 1024;

// Reads a file that others may have put in place: it is opened without
// blocking (a FIFO or a device node never stalls the caller), read only when
// it is a regular file (sysfs attributes and /proc tables are), and read up to
// cap bytes; the rest of a longer file is ignored. False, with bytes empty,
// when the file cannot be opened or is not a regular file.
bool ReadBoundedFile(const std::string& path, size_t cap, std::string& bytes);

// Cuts bytes that come in chunks of any size into lines, without their line
// feed, in memory bounded by lineCap: a longer line is skipped whole. A last
// line without a line feed still counts.
class LineSplitter {
public:
    // Takes one line; true when it has had enough.
    using OnLine = std::function<bool(std::string_view)>;

    LineSplitter(size_t lineCap, OnLine onLine) : m_Cap(lineCap), m_OnLine(std::move(onLine)) {}
    // False once onLine has had enough.
    bool Feed(std::string_view bytes);
    // At the end of the bytes: hands on the last line if it had no line feed.
    bool Finish();

private:
    size_t m_Cap;
    OnLine m_OnLine;
    std::string m_Pending;  // the start of a line that the next chunk goes on with
    bool m_bSkipping = false;
    bool m_bDone = false;
};

// Reads a file that others may have put in place (as ReadBoundedFile does) in
// fixed chunks, whatever its length, and hands each line to onLine until it
// has had enough. False when the file cannot be opened or is not regular.
bool ReadLines(const std::string& path, size_t lineCap, const LineSplitter::OnLine& onLine);
