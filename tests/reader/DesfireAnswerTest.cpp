// The DESFire layer's answer parsers on hand-made answers: status and data of native
// and wrapped answers, GetDfNames frames to their 22-byte entries, and the payload of
// deciphered ReadData with its CRC32 and either padding a card may use.
#include "reader/sdk/DF8Crypt.h"
#include "reader/sdk/DesfireCommands.h"

#include <gtest/gtest.h>

namespace kq {
namespace {

TEST(DesfireAnswer, NativeAndWrappedStatus) {
    struct Row {
        Bytes answer;
        bool wrapped, ok;
        uint8_t status;
        Bytes data;
    } rows[] = {
        {{0x00, 0x01, 0x02}, false, true, 0x00, {0x01, 0x02}}, {{0xAF}, false, true, 0xAF, {}},
        {{}, false, false, 0, {}},                               {{0x01, 0x02, 0x91, 0xAE}, true, true, 0xAE, {0x01, 0x02}},
        {{0x91, 0x00}, true, true, 0x00, {}},                    {{0x6A, 0x82}, true, false, 0, {}},
        {{0x91}, true, false, 0, {}},
    };
    for (const Row& r : rows) {
        uint8_t status = 0xFF;
        Bytes data;
        ASSERT_EQ(SplitNativeAnswer(r.answer, r.wrapped, status, data), r.ok);
        if (!r.ok) continue;
        EXPECT_EQ(status, r.status);
        EXPECT_EQ(data, r.data);
    }
}

TEST(DesfireAnswer, DfNameFramesToEntries) {
    Bytes entry;
    bool malformed = true;
    ASSERT_TRUE(DfNameEntryFromFrame(Bytes{0xAF, 0x01, 0x02, 0x03, 0x10, 0xE1, 0xD2, 0x76}, entry, malformed));
    EXPECT_FALSE(malformed);
    Bytes expected{0x01, 0x02, 0x03, 0x10, 0xE1, 0xD2, 0x76};
    expected.resize(21, 0);
    expected.push_back(2);
    EXPECT_EQ(entry, expected);
    EXPECT_FALSE(DfNameEntryFromFrame(Bytes{0x00, 0x01, 0x02, 0x03, 0x10}, entry, malformed)) << "ends the list";
    EXPECT_FALSE(malformed);
    Bytes long17{0xAF, 1, 2, 3, 4, 5};
    long17.resize(6 + 17, 0x41);
    EXPECT_FALSE(DfNameEntryFromFrame(long17, entry, malformed));
    EXPECT_TRUE(malformed);
}

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
