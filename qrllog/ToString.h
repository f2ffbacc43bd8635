#pragma once

#include <sstream>
#include <string>

// The text a default-formatted string stream gives for a value: decimal
// numbers, text unchanged, a bool as "1" or "0".
template <class T>
std::string ToString(const T& value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}
