#include "platforms/PlatformText.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool NextLine(std::string_view& text, std::string_view& line)
{
    if (text.empty()) {
        return false;
    }
    const size_t end = text.find('\n');
    line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return true;
}

bool NextWord(std::string_view& text, std::string_view& word)
{
    size_t start = 0;
    while (start < text.size() && IsSpace(text[start])) {
        ++start;
    }
    size_t end = start;
    while (end < text.size() && !IsSpace(text[end])) {
        ++end;
    }
    word = text.substr(start, end - start);
    text.remove_prefix(end);
    return !word.empty();
}

std::string_view QuotedValue(std::string_view line)
{
    const size_t open = line.find('"');
    if (open == std::string_view::npos) {
        return line;
    }
    const size_t close = line.find('"', open + 1);
    return line.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
}
