// TEXT record JSON of n characters and the bytes its TLV area takes on a Type 2 tag
// (NDEF Message TLV and Terminator), written out from the NDEF and TLV layouts: record
// D1 01 len 54 02 'en' text while the payload takes one length byte, else C1 01 with
// four; the TLV length in 1 byte below 255, else FF and two bytes.
#pragma once

#include <cstddef>
#include <string>

namespace kqtest {

inline std::string TextJson(size_t n) {
    return R"({"TEXT" : {"TITLE" : ")" + std::string(n, 'x') + R"("}})";
}

inline size_t TextAreaSize(size_t n) {
    const size_t message = n + 3 <= 255 ? n + 7 : n + 10;
    return message + (message < 255 ? 3 : 5);
}

// The longest text whose area fits `room`.
inline size_t LongestFitting(size_t room) {
    size_t n = 0;
    while (TextAreaSize(n + 1) <= room)
        ++n;
    return n;
}

} // namespace kqtest
