#pragma once

#include <string>

// Reading rules shared by the platform files.

bool StartsWith(const std::string& text, const std::string& prefix);
bool EndsWith(const std::string& text, const std::string& suffix);

// The value of a line such as KEY="value": the text after the first double
// quote up to the next one; the rest of the line when there is no closing
// quote; the whole line when there is no quote at all.
std::string QuotedValue(const std::string& line);
