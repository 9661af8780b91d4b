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
        {"ABC", 16, {0xAB, 0x0C}},    // odd packed tail: its last digit alone
        {"123 45", 16, {0x00, 0x45}}, // a token of three digits gives 0
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
}

} // namespace
