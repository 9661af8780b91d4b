// The simulated DESFire EV1 card on its own, byte for byte: plain native commands,
// their ISO 7816-4 wrapping, the ISO file commands with their status words, frame
// limits and the key settings' listing right. Each row is a command and the card's
// answer as the public command descriptions give them.
#include "sim/DesfireCard.h"

#include <gtest/gtest.h>

namespace kqsim {
namespace {

Bytes H(const std::string& text) {
    return parseHex(text).value();
}

struct Step {
    const char* command;
    const char* answer;
};

void run(DesfireCard& card, std::initializer_list<Step> steps) {
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        EXPECT_EQ(toHex(card.processApdu(H(s.command))), toHex(H(s.answer)));
    }
}

TEST(SimDesfire, BlankCardNativeWrappedAndIso) {
    DesfireCard card;
    run(card, {
                  {"45", "00 0F 01"},                // key settings 0x0F, one DES key
                  {"90 45 00 00 00", "0F 01 91 00"}, // the same, wrapped
                  {"6A", "00"},                      // no applications
                  {"6E", "00 00 20 00"},             // 8192 bytes free
                  {"90 6A 01 00 00", "67 00"},       // wrapped with P1 other than 0
                  {"FF", "1C"},                      // no such command
                  {"5A 01 00 00", "A0"},             // no such application
                  {"00 A4 04 00 07 D2 76 00 00 85 01 01 00", "6A 82"},
                  {"00 B0 00 00 10", "69 85"}, // no file selected
                  {"00 20 00 00", "6D 00"},
                  // An ISO application with file id E110 and the NDEF DF name.
                  {"CA 01 00 00 0F 21 10 E1 D2 76 00 00 85 01 01", "00"},
                  {"CA 01 00 00 0F 21 11 E1 D2", "DE"},
                  {"6D", "00 01 00 00 10 E1 D2 76 00 00 85 01 01"},
                  {"5A 01 00 00", "00"},
                  {"CD 01 03 E1 00 EE EE 0F 00 00", "00"}, // standard file 1, id E103, 15 bytes
                  {"CD 02 04 E1 00 EE EE 64 00 00", "00"}, // file 2, id E104, 100 bytes
                  {"6F", "00 01 02"},
                  {"F5 01", "00 00 00 EE EE 0F 00 00"},
                  {"F5 07", "F0"},
                  {"00 A4 04 00 07 D2 76 00 00 85 01 01 00", "90 00"},
                  {"00 A4 00 0C 02 E1 03", "90 00"},
                  {"00 D6 00 00 03 01 02 03", "90 00"},
                  {"00 B0 00 00 03", "01 02 03 90 00"},
                  {"00 B0 00 0E 02", "69 85"}, // runs past the end of the file
                  {"00 A4 00 0C 02 E1 05", "6A 82"},
                  {"BD 01 00 00 00 03 00 00", "00 01 02 03"},
                  {"BD 01 0E 00 00 02 00 00", "BE"}, // boundary error
              });
}

TEST(SimDesfire, FramesOfTheCardsSize) {
    DesfireCard card;
    run(card, {{"CA 02 00 00 0F 01", "00"}, {"5A 02 00 00", "00"}, {"CD 01 00 EE EE 64 00 00", "00"}});
    Bytes first = H("3D 01 00 00 00 64 00 00");
    for (int i = 0; i < 52; ++i)
        first.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(card.processApdu(first), H("AF")) << "header and 52 bytes: more to come";
    Bytes second{0xAF};
    for (int i = 52; i < 100; ++i)
        second.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(card.processApdu(second), H("00"));
    Bytes tooLong = first;
    tooLong.push_back(0);
    EXPECT_EQ(card.processApdu(tooLong), H("7E")) << "61 bytes are more than one frame";

    Bytes answer = card.processApdu(H("BD 01 00 00 00 64 00 00"));
    ASSERT_EQ(answer.size(), 60u);
    EXPECT_EQ(answer[0], 0xAF);
    Bytes rest = card.processApdu(H("AF"));
    ASSERT_EQ(rest.size(), 42u);
    EXPECT_EQ(rest[0], 0x00);
    Bytes data(answer.begin() + 1, answer.end());
    data.insert(data.end(), rest.begin() + 1, rest.end());
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(data[i], i);
    EXPECT_EQ(card.processApdu(H("AF")), H("1C")) << "nothing left to continue";
}

TEST(SimDesfire, ListingNeedsTheMasterKeyWithoutTheFreeListingBit) {
    DesfireCard card;
    card.card().settings = 0x09;
    run(card, {{"6A", "AE"},
               {"6D", "AE"},
               {"45", "AE"},
               {"CA 03 00 00 0F 01", "AE"},
               {"54 00", "AE"},
               {"C4 00", "AE"}});
    card.card().settings = 0x0F;
    run(card, {{"6A", "00"},
               {"CA 03 00 00 0F 01", "00"},
               {"CA 04 00 00 0F 4E", "9E"} /* three-key DES, 14 keys */});
}

} // namespace
} // namespace kqsim
