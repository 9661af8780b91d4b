// Text validation and the UTF-16 of text records.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/TextEncoding.h"

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(TextEncoding, Utf8PassesUnchanged) {
    std::string text = "K\xC3\xA4se \xE2\x82\xAC \xF0\x9F\x98\x80"; // "Käse € 😀"
    const std::string original = text;
    AnsiToUtf8(text);
    EXPECT_EQ(text, original);
    Utf8ToAnsi(text);
    EXPECT_EQ(text, original);
    EXPECT_EQ(AnsiToUtf8Copy("\xC3\xA4").size(), 2u); // an umlaut is two bytes
}

TEST(TextEncoding, IllFormedSequencesBecomeReplacementCharacters) {
    // Replacement of maximal subparts, as in the examples of the Unicode standard (ch. 3.9).
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"\xFF", kFffd},
        {"a\xC3", "a" + kFffd},                              // cut sequence at the end
        {"\xE2\x82x", kFffd + "x"},                          // one U+FFFD for a cut 3-byte sequence
        {"\xC0\xAF", kFffd + kFffd},                         // overlong
        {"\xE0\x80\x80", kFffd + kFffd + kFffd},             // overlong
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},             // encoded surrogate
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd}, // beyond U+10FFFF
        {"\x80z", kFffd + "z"},                              // lone continuation byte
        {kFffd, kFffd},                                      // a real U+FFFD stays one
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        Utf8ToAnsi(text);
        EXPECT_EQ(text, c.out);
        EXPECT_EQ(SanitizeUtf8(c.in), c.out);
    }
}

TEST(TextEncoding, ConversionEndsAtFirstNul) {
    std::string text("ab\0cd", 5);
    AnsiToUtf8(text);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(SanitizeUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextEncoding, Utf16BigEndianWithSurrogatePairs) {
    CMyByteArray bytes{0x99};
    AnsiToUtf16BeBytes("A\xE2\x82\xAC\xF0\x9F\x98\x80", bytes); // "A€😀"
    EXPECT_EQ(bytes, Bytes("00 41 20 AC D8 3D DE 00"));
}

TEST(TextEncoding, Utf16BytesToText) {
    struct Case {
        const char* bytes;
        bool bigEndian, honourMark;
        std::string expected;
    };
    const Case cases[] = {
        {"00 41 00 42", true, true, "AB"},
        {"FF FE 41 00", true, true, "A"},   // little-endian mark
        {"FE FF 00 41", false, true, "A"},  // big-endian mark
        {"41 00 42 00", false, true, "AB"}, // no mark: little-endian given
        {"FE FF 00 41", true, false,
         "\xEF\xBB\xBF"
         "A"},                                           // mark not honoured: U+FEFF kept
        {"00 41 42", true, true, "A\xE4\x88\x80"},       // odd byte: high byte of U+4200
        {"41 00 42", false, true, "AB"},                 // odd byte: low byte
        {"D8 3D DE 00", true, true, "\xF0\x9F\x98\x80"}, // surrogate pair
        {"D8 3D 00 41", true, true, kFffd + "A"},        // unpaired high surrogate
        {"DE 00 00 41", true, true, kFffd + "A"},        // unpaired low surrogate
        {"D8 3D", true, true, kFffd},                    // high surrogate at the end
        {"00 41 00 00 00 42", true, true, "A"},          // ends before code unit 0
        {"", true, true, ""},
    };
    for (const Case& c : cases) {
        std::string text = "old";
        Utf16BytesToAnsi(Bytes(c.bytes), c.bigEndian, c.honourMark, text);
        EXPECT_EQ(text, c.expected) << c.bytes;
    }
}

} // namespace
