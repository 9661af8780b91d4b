#pragma once
// Text conversions for what goes onto tags and comes back.
//
// Inside the program every 8-bit text is UTF-8, so the "ANSI" side of these
// conversions is UTF-8 too: converting between "ANSI" and UTF-8 is a validation
// step that reads the text up to its first NUL byte and replaces every ill-formed
// byte sequence by U+FFFD. Text records in UTF-16 are decoded properly.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "content/MyByteArray.h"

// In place: the text up to its first NUL byte, ill-formed sequences as U+FFFD.
void AnsiToUtf8(std::string& text);
std::string AnsiToUtf8Copy(std::string_view text);
void Utf8ToAnsi(std::string& text);

// The text as UTF-16 code units, high byte first, no byte-order mark.
void AnsiToUtf16BeBytes(std::string_view text, CMyByteArray& bytes);

// UTF-16 bytes to text. With honourMark a leading FE FF selects big-endian and a
// leading FF FE little-endian (the mark is dropped); otherwise bigEndian decides.
// An odd last byte forms a code unit of its own; the text ends before the first
// code unit 0; an unpaired surrogate becomes U+FFFD.
void Utf16BytesToAnsi(std::span<const uint8_t> bytes, bool bigEndian, bool honourMark, std::string& text);

// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// The code point a Windows-1252 byte stands for. It differs from Latin-1 only in
// 0x80..0x9F; the five unassigned bytes keep their C1 control code, as the Windows
// conversion does.
char32_t Cp1252CodePoint(uint8_t byte);

// The whole text (NUL bytes kept) with every ill-formed sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view text);
