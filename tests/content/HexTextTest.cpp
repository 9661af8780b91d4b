// Hex text of keys and identifiers.

#include <gtest/gtest.h>

#include "content/HexText.h"

namespace {

TEST(HexText, BytesToHexTextOrderAndSpacing) {
    const uint8_t bytes[] = {0x01, 0xAB};
    struct Case {
        bool reversed, spaced;
        const char* expected;
    };
    for (const Case& c : {Case{true, true, "AB 01"}, Case{true, false, "AB01"}, Case{false, false, "01AB"},
                          Case{false, true, "01 AB"}}) {
        std::string text = "old";
        BytesToHexText(bytes, 2, text, c.reversed, c.spaced);
        EXPECT_EQ(text, c.expected) << c.reversed << c.spaced;
    }
    std::string text = "old";
    BytesToHexText(bytes, 0, text, false, true);
    EXPECT_EQ(text, "");
}

TEST(HexText, HexTextToBytesForms) {
    struct Case {
        const char* text;
        size_t size;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {"  0a 1B", 16, {0x0A, 0x1B}},
        {"  0a 1B", 1, {0x0A}},
        {"01 02 0A", 16, {0x01, 0x02, 0x0A}},
        {"01020A", 16, {0x01, 0x02, 0x0A}},
        {"ABC", 16, {0xAB, 0x0C}}, // odd packed tail: its last digit alone
        // Blanks only separate groups: each gives its pairs, an odd last digit alone.
        {"0011 2233 44", 16, {0x00, 0x11, 0x22, 0x33, 0x44}},
        {"1 2 a", 16, {0x01, 0x02, 0x0A}},
        {"123 45", 16, {0x12, 0x03, 0x45}},
        {"0011 2233", 3, {0x00, 0x11, 0x22}},
        {"01   02", 16, {0x01, 0x02}},
        {"0102 Error", 16, {}},
        {"", 16, {}},
        {"   ", 16, {}},
        {"0102030405", 3, {0x01, 0x02, 0x03}},
    };
    for (const Case& c : cases) {
        uint8_t buffer[16] = {};
        const size_t n = HexTextToBytes(c.text, buffer, c.size);
        EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + n), c.expected) << '"' << c.text << '"';
    }
}

TEST(HexText, HexPairToByteAndIsHexText) {
    EXPECT_EQ(HexPairToByte("G1"), 0x01);
    EXPECT_EQ(HexPairToByte("1G"), 0x10);
    EXPECT_EQ(HexPairToByte("f"), 0x0F);
    EXPECT_EQ(HexPairToByte("aB"), 0xAB);
    EXPECT_EQ(HexPairToByte(""), 0);
    EXPECT_EQ(HexPairToByte("123"), 0);

    EXPECT_FALSE(IsHexText(""));
    EXPECT_TRUE(IsHexText("0A 1b"));
    EXPECT_TRUE(IsHexText("  "));
    EXPECT_FALSE(IsHexText("0x1A"));
    EXPECT_FALSE(IsHexText("0A\t1B"));
    // A group reads one way only when it is a lone digit or pairs of digits.
    struct Case {
        const char* text;
        bool hex;
    };
    for (const Case& c : {Case{"0011 2233 4455", true}, Case{"1 2 a", true}, Case{" 0A1B ", true},
                          Case{"ABC", false}, Case{"0011 223 44", false}, Case{"00 112", false}})
        EXPECT_EQ(IsHexText(c.text), c.hex) << '"' << c.text << '"';
}

} // namespace
