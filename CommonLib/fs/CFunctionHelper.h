#pragma once

#include <string>
#include <string_view>

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
// text with every control character replaced by '?' (C0, DEL, and C1 both as
// UTF-8 and as a bare byte: terminals act on them), and every byte that is not
// part of valid UTF-8 too, so a value read from a platform file can neither
// start a new line in an info file nor drive the terminal of a console reader.
std::string VisibleText(std::string_view text);
// True when text holds a control character as VisibleText sees them; bytes of
// another encoding (Latin-1 letters, say) are not controls.
bool HasControlCharacter(std::string_view text);

}  // namespace CFunctionHelper
