#include "TestSupport.h"

#include <cstdlib>
#include <stdexcept>

CMyByteArray Bytes(std::string_view hex) {
    CMyByteArray out;
    for (size_t i = 0; i < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= hex.size()) throw std::invalid_argument("odd hex literal");
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
        i += 2;
    }
    return out;
}

CMyByteArray TextBytes(std::string_view text) {
    return CMyByteArray(text.begin(), text.end());
}

namespace {

// A recursive-descent checker of the RFC 8259 grammar.
class CStrictJson {
public:
    explicit CStrictJson(std::string_view text) : m_text(text) {}

    bool Document() {
        SkipSpace();
        if (!Value(0)) return false;
        SkipSpace();
        return m_pos == m_text.size();
    }

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    bool Take(char c) {
        if (Peek() != c || AtEnd()) return false;
        ++m_pos;
        return true;
    }
    void SkipSpace() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
            ++m_pos;
    }
    bool Literal(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word) return false;
        m_pos += word.size();
        return true;
    }

    bool Value(int depth) {
        if (depth > 64) return false;
        switch (Peek()) {
        case '{':
            return Object(depth);
        case '[':
            return Array(depth);
        case '"':
            return String();
        case 't':
            return Literal("true");
        case 'f':
            return Literal("false");
        case 'n':
            return Literal("null");
        default:
            return Number();
        }
    }

    bool Object(int depth) {
        Take('{');
        SkipSpace();
        if (Take('}')) return true;
        for (;;) {
            SkipSpace();
            if (!String()) return false;
            SkipSpace();
            if (!Take(':')) return false;
            SkipSpace();
            if (!Value(depth + 1)) return false;
            SkipSpace();
            if (Take('}')) return true;
            if (!Take(',')) return false;
        }
    }

    bool Array(int depth) {
        Take('[');
        SkipSpace();
        if (Take(']')) return true;
        for (;;) {
            SkipSpace();
            if (!Value(depth + 1)) return false;
            SkipSpace();
            if (Take(']')) return true;
            if (!Take(',')) return false;
        }
    }

    bool Digits() {
        const size_t start = m_pos;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9')
            ++m_pos;
        return m_pos > start;
    }

    bool Number() {
        Take('-');
        if (Take('0')) {
        } else if (!Digits()) {
            return false;
        }
        if (Take('.') && !Digits()) return false;
        if (Peek() == 'e' || Peek() == 'E') {
            ++m_pos;
            if (!Take('+')) Take('-');
            if (!Digits()) return false;
        }
        return true;
    }

    bool Hex4(unsigned& unit) {
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = Peek();
            unsigned v;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            else
                return false;
            unit = unit * 16 + v;
            ++m_pos;
        }
        return true;
    }

    bool String() {
        if (!Take('"')) return false;
        for (;;) {
            if (AtEnd()) return false;
            const auto c = static_cast<uint8_t>(m_text[m_pos]);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                ++m_pos;
                const char e = Peek();
                ++m_pos;
                if (e == 'u') {
                    unsigned unit;
                    if (!Hex4(unit)) return false;
                    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
                    if (unit >= 0xD800 && unit <= 0xDBFF) {
                        unsigned low;
                        if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                            return false;
                    }
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos || e == '\0') {
                    return false;
                }
                continue;
            }
            if (c < 0x80) {
                ++m_pos;
                continue;
            }
            if (!Utf8Sequence()) return false;
        }
    }

    // One well-formed multi-byte UTF-8 sequence (Unicode table 3-7).
    bool Utf8Sequence() {
        const auto b0 = static_cast<uint8_t>(m_text[m_pos]);
        int need;
        uint8_t lo = 0x80, hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2;
            lo = b0 == 0xE0 ? 0xA0 : 0x80;
            hi = b0 == 0xED ? 0x9F : 0xBF;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3;
            lo = b0 == 0xF0 ? 0x90 : 0x80;
            hi = b0 == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        ++m_pos;
        for (int k = 0; k < need; ++k, lo = 0x80, hi = 0xBF) {
            if (AtEnd()) return false;
            const auto b = static_cast<uint8_t>(m_text[m_pos++]);
            if (b < lo || b > hi) return false;
        }
        return true;
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

} // namespace

bool IsStrictJson(std::string_view text) {
    return CStrictJson(text).Document();
}
