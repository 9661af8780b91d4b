#pragma once
// Helpers of the content tests and fuzz targets.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "content/MyByteArray.h"
#include "content/NdefContext.h"

// Stands in for the tag logic: keeps the "more" flag and every error raised.
class CStubNdefContext : public INdefContext {
public:
    bool GetMore() const override { return more; }
    void SetMore(bool value) override { more = value; }
    void SetError(int code) override { errors.push_back(code); }

    bool more = false;
    std::vector<int> errors;
};

// Fuzz targets stop at the first broken property.
inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// Bytes written out in a test as hex pairs separated by blanks ("D1 01 06").
CMyByteArray Bytes(std::string_view hex);

// The bytes of a text, one per character.
CMyByteArray TextBytes(std::string_view text);

// True when the text is one JSON value as RFC 8259 defines it: no trailing commas,
// no raw control characters in strings, well-formed UTF-8, valid escapes.
bool IsStrictJson(std::string_view text);
