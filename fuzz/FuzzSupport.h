#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Shared pieces of the fuzz targets: a private scratch directory per process,
// writing inputs to files, cutting an input into parts, and keeping the
// product's console output out of the fuzzer's log.
namespace fuzz {

// A fresh directory of this process, made once and removed (with everything in
// it) when the process exits normally. It lies under $TMPDIR when that is set,
// else under /dev/shm (a memory file system), else under /tmp; its name begins
// with "trv-fuzz-" and the given tag. The fuzzers never write outside it.
const std::string& ScratchDir(const char* tag);

// Creates or truncates path and writes the bytes; aborts when that fails, since
// a target that cannot write its input tests nothing.
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
void WriteFile(const std::string& path, const std::string& content);

void MakeDir(const std::string& path);
// Removes path and everything below it; a missing path is fine.
void RemoveTree(const std::string& path);

// The input cut at every line that is exactly "%%": "a\n%%\nb" gives "a" and
// "b". Parts keep their inner line ends; an input without such a line is one
// part.
std::vector<std::string> SplitParts(const uint8_t* data, size_t size);

// The first line of text (without its '\n') and the rest after it.
void SplitFirstLine(const std::string& text, std::string& first, std::string& rest);

// Points the product's std::cout and std::cerr at a sink that drops
// everything, and the process's standard output at /dev/null. libFuzzer and
// the sanitizers write to the standard error descriptor, which stays as it is.
void SilenceConsole();

// Writes message to standard error and aborts, so that libFuzzer keeps the
// input as a crash: used when a reading rule does not hold.
[[noreturn]] void Fail(const std::string& message);

}  // namespace fuzz

// Checks a reading rule of the code under test.
#define FUZZ_CHECK(condition, message)                                                                \
    do {                                                                                              \
        if (!(condition)) {                                                                           \
            ::fuzz::Fail(std::string(__FILE__) + ":" + std::to_string(__LINE__) + ": " #condition ": " + \
                         (message));                                                                  \
        }                                                                                             \
    } while (0)
