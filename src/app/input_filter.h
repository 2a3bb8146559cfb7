// The number fields' rule, for every front end: they take digits and one decimal point.
#pragma once

#include <string_view>

// Where the first character of text stands that a number field refuses (anything but a digit,
// and a decimal point after the first), or -1 when it takes them all. Only the first
// FILTER_TEXT_LIMIT characters are looked at, as the fields hold no more.
constexpr int FILTER_TEXT_LIMIT = 31;
int FindRefusedNumberChar(std::string_view text);
