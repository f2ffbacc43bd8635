#pragma once

#include <cstddef>
#include <string>

// Reading rules shared by the platform files.

bool StartsWith(const std::string& text, const std::string& prefix);
bool EndsWith(const std::string& text, const std::string& suffix);

// The value of a line such as KEY="value": the text after the first double
// quote up to the next one; the rest of the line when there is no closing
// quote; the whole line when there is no quote at all.
std::string QuotedValue(const std::string& line);

// A platform file read word by word or line by line, with the same open and
// read calls that std::ifstream makes and the same results as its >> and
// std::getline, but without building a stream (and its locale) per file:
// every pass reads a few files per device, and that construction used to cost
// more than the reading. Once a read has failed, every later one fails too.
class PlatformFile {
public:
    explicit PlatformFile(const std::string& path);
    ~PlatformFile();
    PlatformFile(const PlatformFile&) = delete;
    PlatformFile& operator=(const PlatformFile&) = delete;

    // As `stream >> word`: skips white space (blank, tab, line feed, vertical
    // tab, form feed, carriage return), then takes everything up to the next
    // white space or the end of the file. False, with word left as it was, at
    // the end of the file or when the file cannot be read.
    bool ReadWord(std::string& word);
    // As std::getline: the text up to the next line feed, which is dropped,
    // or up to the end of the file. False at the end of the file with nothing
    // read, or when the file cannot be read.
    bool ReadLine(std::string& line);

private:
    // Reads the next piece of the file into the buffer; false at its end.
    bool Fill();

    int m_fd;
    bool m_failed = false;  // a read found nothing or hit an error: every later one fails
    bool m_atEnd = false;   // the end of the file was reached
    size_t m_position = 0;
    size_t m_end = 0;
    char m_buffer[8192];
};
