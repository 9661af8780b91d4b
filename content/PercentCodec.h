#pragma once
// The percent codec of the e-mail, SMS and telephone URIs.

#include <cstdint>
#include <string>
#include <string_view>

// The bytes that PercentEncode keeps as they are.
bool IsPercentUnreserved(uint8_t c);

// Keeps A-Z a-z 0-9 - . _ ~ ' ( ) *; an LF becomes "%0D%0A"; every other byte "%XX".
std::string PercentEncode(std::string_view bytes);

// "%XX" with two hex digits becomes the byte; anything else is copied ("+" stays
// "+"); then CR LF and lone CR become LF.
std::string PercentDecode(std::string_view bytes);
// As PercentDecode, keeping the decoded text up to its first NUL byte.
void PercentDecodeInPlace(std::string& text);

// CR LF and lone CR become LF.
std::string UnifyLineEnds(std::string_view text);
// Every occurrence of from becomes to, scanning left to right.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
