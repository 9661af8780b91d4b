#include "content/HexText.h"

namespace {

uint8_t NibbleValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    return 0;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string_view TrimLeadingBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

} // namespace

void BytesToHexText(const uint8_t* buffer, size_t length, std::string& text, bool reversed, bool spaced) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text.clear();
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = buffer[reversed ? length - 1 - i : i];
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
        if (spaced)
            text += ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
}

uint8_t HexPairToByte(std::string_view text) {
    if (text.size() == 2)
        return static_cast<uint8_t>((NibbleValue(text[0]) << 4) | NibbleValue(text[1]));
    if (text.size() == 1)
        return NibbleValue(text[0]);
    return 0;
}

size_t HexTextToBytes(std::string_view text, uint8_t* buffer, size_t size) {
    if (text.find("Error") != std::string_view::npos)
        return 0;
    text = TrimLeadingBlanks(text);
    size_t count = 0;
    while (count < size && !text.empty()) {
        const size_t blank = text.find(' ');
        if (blank != std::string_view::npos) {
            buffer[count++] = HexPairToByte(text.substr(0, blank));
            text = TrimLeadingBlanks(text.substr(blank + 1));
        } else if (text.size() <= 2) {
            buffer[count++] = HexPairToByte(text);
            break;
        } else {
            buffer[count++] = HexPairToByte(text.substr(0, 2));
            text.remove_prefix(2);
        }
    }
    return count;
}

bool IsHexText(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c != ' ' && !IsHexDigit(c))
            return false;
    return true;
}
