// The payload of deciphered ReadData on hand-made answers: its CRC32 and either padding
// a card may use (the end-to-end tests see only the simulated card's zeros).
#include "reader/sdk/DF8Crypt.h"
#include "reader/sdk/DesfireCommands.h"

#include <gtest/gtest.h>

namespace kq {
namespace {

TEST(DesfireAnswer, DecipheredPayloadWithEitherPadding) {
    const Bytes data{0x10, 0x00, 0x00};
    Bytes crc;
    AppendCrc32(crc, Bytes{0x10, 0x00, 0x00, 0x00}); // data and the status 00
    auto plain = [&](std::initializer_list<uint8_t> padding) {
        Bytes p = data;
        p.insert(p.end(), crc.begin(), crc.end());
        p.insert(p.end(), padding);
        return p;
    };
    Bytes badCrc = plain({0x80});
    badCrc[3] ^= 0x01;
    struct Row {
        const char* name;
        Bytes plain;
        bool ok;
    } rows[] = {
        {"0x80 and zeros", plain({0x80}), true},
        {"zeros only", plain({0x00}), true},
        {"no padding", plain({}), true},
        {"CRC wrong", badCrc, false},
        {"something after the padding", plain({0x80, 0x01}), false},
        {"0x80 later on", plain({0x00, 0x80}), false},
        {"shorter than data and CRC", Bytes{0x10, 0x00, 0x00, 0x01}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Bytes payload;
        ASSERT_EQ(PayloadOfDeciphered(r.plain, data.size(), payload), r.ok);
        if (r.ok) {
            EXPECT_EQ(payload, data) << "zeros at the end of the data stay data";
        }
    }
}

} // namespace
} // namespace kq
