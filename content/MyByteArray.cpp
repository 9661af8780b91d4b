#include "content/MyByteArray.h"

void BytesToText(std::span<const uint8_t> bytes, std::string& text) {
    text.assign(bytes.begin(), bytes.end());
}

size_t TextToBytes(std::string_view text, CMyByteArray& bytes) {
    bytes.assign(text.begin(), text.end());
    return bytes.size();
}
