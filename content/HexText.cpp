#include "content/HexText.h"

#include <algorithm>

namespace {

uint8_t NibbleValue(char c) {
    return static_cast<uint8_t>(std::max(HexDigitValue(c), 0));
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string_view TrimLeadingBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

} // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void BytesToHexText(const uint8_t* buffer, size_t length, std::string& text, bool reversed, bool spaced) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text.clear();
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = buffer[reversed ? length - 1 - i : i];
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
        if (spaced) text += ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
}

uint8_t HexPairToByte(std::string_view text) {
    if (text.size() == 2) return static_cast<uint8_t>((NibbleValue(text[0]) << 4) | NibbleValue(text[1]));
    if (text.size() == 1) return NibbleValue(text[0]);
    return 0;
}

size_t HexTextToBytes(std::string_view text, uint8_t* buffer, size_t size) {
    if (text.find("Error") != std::string_view::npos) return 0;
    // Blanks only separate groups; a group gives its digit pairs in order, and an odd
    // last digit (a lone digit above all) a byte of its own.
    size_t count = 0;
    text = TrimLeadingBlanks(text);
    while (count < size && !text.empty()) {
        const std::string_view group = text.substr(0, text.find(' '));
        for (size_t at = 0; at < group.size() && count < size; at += 2)
            buffer[count++] = HexPairToByte(group.substr(at, 2));
        text = TrimLeadingBlanks(text.substr(group.size()));
    }
    return count;
}

bool IsHexText(std::string_view text) {
    if (text.empty()) return false;
    size_t groupLength = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            // "123" could mean 12 03 or 01 23: a group reads one way only when it is
            // a lone digit or pairs of digits.
            if (groupLength > 1 && groupLength % 2 != 0) return false;
            groupLength = 0;
        } else if (IsHexDigit(text[i])) {
            ++groupLength;
        } else {
            return false;
        }
    }
    return true;
}
