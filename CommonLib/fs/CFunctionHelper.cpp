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

std::string VisibleText(std::string text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

}  // namespace CFunctionHelper
