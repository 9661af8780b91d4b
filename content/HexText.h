#pragma once
// Keys and identifiers typed or shown as hexadecimal text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Two upper-case digits per byte, first to last (last to first when reversed),
// a blank after each byte when spaced; trailing blanks are removed.
void BytesToHexText(const uint8_t* buffer, size_t length, std::string& text, bool reversed, bool spaced);

// Blank-separated groups, each giving its digit pairs in order ("01 02 0A", "01020A"
// and "0102 0A" are the same three bytes); a lone digit, or a group's odd last digit,
// is a byte of its own. At most size bytes are written; a text containing "Error"
// gives nothing. Answers the count written.
size_t HexTextToBytes(std::string_view text, uint8_t* buffer, size_t size);

// The value of a hex digit (0-9, A-F, a-f), -1 for any other character.
int HexDigitValue(char c);
// Two digits: high and low nibble; one digit: its value; any other length: 0.
// A character that is no hex digit counts as 0.
uint8_t HexPairToByte(std::string_view text);

// Not empty, only 0-9, A-F, a-f and blanks, and every blank-separated group a lone
// digit or an even number of digits (so that it reads one way only).
bool IsHexText(std::string_view text);
