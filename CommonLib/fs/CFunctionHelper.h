#pragma once

#include <string>

// Small helpers around C library calls that take and give std::string.
namespace CFunctionHelper {

// Content of the symbolic link at path (at most 1023 bytes), or "" when path
// is not a readable link.
std::string ReadLink(const std::string& path);
// POSIX basename of a copy of path: "/" for "/", "." for "".
std::string BaseName(const std::string& path);
std::string itoa(long value);
bool CharacterDeviceFileExists(const std::string& path);
// The leading decimal number of text as atoi() reads it (blanks, one sign,
// digits; 0 without digits), without atoi's undefined behaviour on overflow:
// the value wraps to int exactly as glibc's atoi does.
int toInt(const std::string& text);
// text with every control character (below 0x20, and 0x7F) replaced by '?',
// so a value read from a platform file cannot start a new line in an info
// file or on the console.
std::string VisibleText(std::string text);

}  // namespace CFunctionHelper
