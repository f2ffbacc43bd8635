#include "fs/CFunctionHelper.h"

#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace CFunctionHelper {

std::string ReadLink(const std::string& path)
{
    char buffer[1024];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof(buffer) - 1);
    if (length < 0) {
        return std::string();
    }
    return std::string(buffer, static_cast<size_t>(length));
}

std::string BaseName(const std::string& path)
{
    // basename() may write into its argument, so it gets a private copy.
    std::vector<char> copy(path.begin(), path.end());
    copy.push_back('\0');
    return std::string(basename(copy.data()));
}

std::string itoa(long value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

bool CharacterDeviceFileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

int toInt(const std::string& text)
{
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

namespace {

// The length of the valid UTF-8 sequence text begins with; 0 when it begins
// with a byte that starts none (a stray continuation byte, an overlong form, a
// surrogate, a value beyond U+10FFFF, a cut sequence).
size_t Utf8Length(std::string_view text)
{
    const auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = byte(0);
    const auto tail = [&](size_t i, unsigned low, unsigned high) { return byte(i) >= low && byte(i) <= high; };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return tail(1, 0x80, 0xBF) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        // No overlong form (E0), no surrogate (ED).
        const bool second = lead == 0xE0   ? tail(1, 0xA0, 0xBF)
                            : lead == 0xED ? tail(1, 0x80, 0x9F)
                                           : tail(1, 0x80, 0xBF);
        return second && tail(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        // No overlong form (F0), nothing beyond U+10FFFF (F4).
        const bool second = lead == 0xF0   ? tail(1, 0x90, 0xBF)
                            : lead == 0xF4 ? tail(1, 0x80, 0x8F)
                                           : tail(1, 0x80, 0xBF);
        return second && tail(2, 0x80, 0xBF) && tail(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// A C0 control or DEL (one byte), or a C1 control (U+0080 to U+009F).
bool IsControl(std::string_view character)
{
    const auto lead = static_cast<unsigned char>(character[0]);
    return character.size() == 1 ? lead < 0x20 || lead == 0x7F
                                 : lead == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
}

}  // namespace

std::string VisibleText(std::string_view text)
{
    std::string visible;
    visible.reserve(text.size());
    while (!text.empty()) {
        const size_t length = Utf8Length(text);
        const bool shown = length != 0 && !IsControl(text.substr(0, length));
        visible.append(shown ? text.substr(0, length) : "?");
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return visible;
}

bool HasControlCharacter(std::string_view text)
{
    while (!text.empty()) {
        const size_t length = Utf8Length(text);
        const auto lead = static_cast<unsigned char>(text[0]);
        // A bare byte of the C1 range is a control to a terminal in eight-bit mode.
        if (length == 0 ? lead >= 0x80 && lead <= 0x9F : IsControl(text.substr(0, length))) {
            return true;
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return false;
}

}  // namespace CFunctionHelper
