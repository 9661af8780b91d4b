#include "content/TextEncoding.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kIllFormed = 0x110000; // beyond every code point

} // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t Cp1252CodePoint(uint8_t byte) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char32_t(byte);
}

namespace {

// Decodes the code point at pos and advances pos. An ill-formed sequence gives
// kIllFormed and consumes its maximal well-formed prefix (at least one byte), the
// practice that the Unicode standard recommends.
char32_t NextCodePoint(std::string_view s, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t b0 = byte(pos++);
    if (b0 < 0x80) return b0;
    int need = 0;
    uint8_t lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return kIllFormed;
    }
    for (int k = 0; k < need; ++k) {
        if (pos >= s.size()) return kIllFormed;
        const uint8_t b = byte(pos);
        if (b < lo || b > hi) return kIllFormed;
        cp = (cp << 6) | (b & 0x3F);
        ++pos;
        lo = 0x80;
        hi = 0xBF;
    }
    return cp;
}

void CutAtNulAndValidate(std::string& text) {
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    text = SanitizeUtf8(text);
}

} // namespace

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        if (NextCodePoint(text, pos) == kIllFormed)
            AppendUtf8(out, kReplacement);
        else
            out.append(text.substr(start, pos - start));
    }
    return out;
}

void AnsiToUtf8(std::string& text) {
    CutAtNulAndValidate(text);
}

std::string AnsiToUtf8Copy(std::string_view text) {
    std::string copy(text);
    AnsiToUtf8(copy);
    return copy;
}

void Utf8ToAnsi(std::string& text) {
    CutAtNulAndValidate(text);
}

void AnsiToUtf16BeBytes(std::string_view text, CMyByteArray& bytes) {
    bytes.clear();
    text = text.substr(0, text.find('\0'));
    const auto put = [&](char32_t unit) {
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    };
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = NextCodePoint(text, pos);
        if (cp == kIllFormed) cp = kReplacement;
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
}

void Utf16BytesToAnsi(std::span<const uint8_t> bytes, bool bigEndian, bool honourMark, std::string& text) {
    text.clear();
    if (honourMark && bytes.size() >= 2) {
        if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
            bytes = bytes.subspan(2);
            bigEndian = true;
        }
        if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
            bytes = bytes.subspan(2);
            bigEndian = false;
        }
    }
    const size_t count = (bytes.size() + 1) / 2;
    const auto unitAt = [&](size_t i) -> char32_t {
        const uint8_t first = bytes[2 * i];
        const uint8_t second = 2 * i + 1 < bytes.size() ? bytes[2 * i + 1] : 0;
        return bigEndian ? (char32_t{first} << 8) | second : (char32_t{second} << 8) | first;
    };
    for (size_t i = 0; i < count; ++i) {
        const char32_t unit = unitAt(i);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            const char32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(text, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacement : unit);
    }
}
