#pragma once
// The byte buffer shared by the content, tag and reader code, and the plain
// byte <-> 8-bit text copies used by the record codec.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CMyByteArray : public std::vector<uint8_t> {
public:
    using std::vector<uint8_t>::vector;
    CMyByteArray() = default;
    CMyByteArray(const uint8_t* buffer, size_t count) : std::vector<uint8_t>(buffer, buffer + count) {}
    explicit CMyByteArray(std::span<const uint8_t> bytes)
        : std::vector<uint8_t>(bytes.begin(), bytes.end()) {}

    // Same length and the same bytes in the same order (two empty arrays are equal).
    bool IsEqual(const CMyByteArray& other) const { return *this == other; }
    void AppendArray(std::span<const uint8_t> other) { insert(end(), other.begin(), other.end()); }
    // The array becomes exactly the count bytes of the buffer.
    void SetBytes(const uint8_t* buffer, size_t count) { assign(buffer, buffer + count); }
};

// Lists of blocks and keys.
class CMyByteArrayArray : public std::vector<CMyByteArray> {
public:
    void Add(const CMyByteArray& array) { push_back(array); }
};

// One character per byte, zero bytes kept; no code-page conversion.
void BytesToText(std::span<const uint8_t> bytes, std::string& text);
// One byte per character; answers the length.
size_t TextToBytes(std::string_view text, CMyByteArray& bytes);
