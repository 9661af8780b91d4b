#include "content/PercentCodec.h"

#include "content/HexText.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

bool IsPercentUnreserved(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || (c >= 0x27 && c <= 0x2A);
}

std::string PercentEncode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const auto c = static_cast<uint8_t>(ch);
        if (c == '\n') {
            out += "%0D%0A";
        } else if (IsPercentUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0x0F];
        }
    }
    return out;
}

std::string PercentDecode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '%' && i + 2 < bytes.size()) {
            const int high = HexDigitValue(bytes[i + 1]);
            const int low = HexDigitValue(bytes[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += bytes[i];
    }
    return UnifyLineEnds(out);
}

void PercentDecodeInPlace(std::string& text) {
    text = PercentDecode(text);
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
}

std::string UnifyLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (size_t hit; !from.empty() && (hit = text.find(from, pos)) != std::string_view::npos;
         pos = hit + from.size()) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
    }
    out.append(text.substr(pos));
    return out;
}
