#pragma once

#include <string_view>

// Reading rules shared by the platform files, over the bytes one bounded read
// returned (see fs/BoundedRead.h).

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// Takes the next line off the front of text: everything up to the next line
// feed, which is dropped, or up to the end. False when text is used up; a
// final line without a line feed still counts.
bool NextLine(std::string_view& text, std::string_view& line);

// Takes the next word off the front of text: white space (blank, tab, line
// feed, vertical tab, form feed, carriage return) is skipped, and the word runs
// up to the next white space. False when only white space is left.
bool NextWord(std::string_view& text, std::string_view& word);

// The value of a line such as KEY="value": the text after the first double
// quote up to the next one; the rest of the line when there is no closing
// quote; the whole line when there is no quote at all.
std::string_view QuotedValue(std::string_view line);
