#pragma once
// Letter-case helpers for keys, keywords and URI prefixes (ASCII letters only).

#include <string>
#include <string_view>

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string ToUpperAscii(std::string_view text);
