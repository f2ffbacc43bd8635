#include "platforms/PlatformFileText.h"

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
