// The ISO 14443 type A flat functions of libkqlmx against the simulator's tags: request,
// select, activation, authentication, block read and write and the block bank. The
// commands are checked as the reader received them ([command, data...]).
#include "TagSimReader.h"
#include "kqlmx.h"
#include "sim/IsoDepTag.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

namespace kqtest {
namespace {

using kqsim::TagId;
using kqsim::Type2Tag;

struct NoCard : kqsim::CardModel {
    std::string kind() const override { return "card"; }
    Bytes processApdu(const Bytes&) override { return {0x90, 0x00}; }
};

TEST(Iso14443FlatApi, RequestSelectReadAndWriteBlocks) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213));
    short atqa = 0;
    ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
    EXPECT_EQ(atqa, 0x0044);
    unsigned char uid[10] = {};
    char sak = 1;
    ASSERT_EQ(KQLMX_SelectTag(r.port, uid, sizeof uid, &sak), 7);
    EXPECT_EQ(sak, 0);
    EXPECT_EQ(Bytes(uid, uid + 7), Hex("04 A1 B2 C3 D4 E5 F6"));

    unsigned char buf[16];
    ASSERT_EQ(KQLMX_ReadBlock(r.port, 3, buf, 16), 16);
    EXPECT_EQ(Bytes(buf, buf + 16), Hex("E1 10 12 00 01 03 A0 0C 34 03 00 FE 00 00 00 00"));
    EXPECT_EQ(KQLMX_ReadBlock(r.port, 3, buf, 4), 4) << "cut to the buffer, no error";
    EXPECT_EQ(KQLMX_GetLastError(r.port), 0);
    const Bytes page = Hex("DE AD BE EF");
    ASSERT_EQ(KQLMX_WriteBlock(r.port, 6, page.data(), 4), 0);
    EXPECT_EQ(r.Pages(id, 6, 1), page);
    EXPECT_EQ(KQLMX_WriteBlock(r.port, 0, page.data(), 4), -1) << "the UID page is refused";

    // Numbers that no block bank reaches: nothing is sent.
    r.ClearLog();
    EXPECT_EQ(KQLMX_ReadBlock(r.port, -1, buf, 16), -1);
    EXPECT_EQ(KQLMX_GetLastError(r.port), KQLMX_ERROR_DATA_TOO_LONG);
    EXPECT_EQ(KQLMX_WriteBlock(r.port, 0x10000, page.data(), 4), -1);
    EXPECT_EQ(KQLMX_GetLastError(r.port), KQLMX_ERROR_DATA_TOO_LONG);
    EXPECT_TRUE(r.Commands().empty());

    ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
    EXPECT_EQ(KQLMX_SelectTag(r.port, uid, 6, &sak), -1) << "a UID longer than the buffer";
    EXPECT_EQ(sak, 0);
}

// A tag's refusal (its NAK) reaches the caller as a code of its own on every protocol
// type, never as one that means something else (5: the caller's buffer is too small).
TEST(Iso14443FlatApi, RefusedWriteGivesTheSameCodeOnEveryProtocolType) {
    for (int type = 0; type <= 3; ++type) {
        SCOPED_TRACE(type);
        kqsim::ReaderConfig config;
        config.protocolType = type;
        TagSimReader r(config);
        r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight));
        short atqa = 0;
        unsigned char uid[10] = {};
        char sak = 1;
        ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
        ASSERT_EQ(KQLMX_SelectTag(r.port, uid, sizeof uid, &sak), 7);
        const Bytes page = Hex("DE AD BE EF");
        EXPECT_EQ(KQLMX_WriteBlock(r.port, 1, page.data(), 4), -1) << "the UID page";
        EXPECT_EQ(KQLMX_GetLastError(r.port), 17);
    }
}

TEST(Iso14443FlatApi, ActivationAndAuthentication) {
    TagSimReader r;
    TagId id = r.sim.placeTag(
        std::make_unique<kqsim::IsoDepTag>(Hex("04 01 02 03 04 05 06"), std::make_unique<NoCard>()));
    short atqa = 0;
    unsigned char uid[8];
    char sak = 0;
    ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
    EXPECT_EQ(atqa, 0x0344);
    ASSERT_EQ(KQLMX_SelectTag(r.port, uid, 8, &sak), 7);
    EXPECT_EQ(static_cast<uint8_t>(sak), 0x20);
    unsigned char ats[16];
    ASSERT_EQ(KQLMX_RequestAts(r.port, ats, sizeof ats), 5);
    EXPECT_EQ(Bytes(ats, ats + 5), Hex("05 78 80 70 00"));
    KQLMX_RequestTag(r.port, &atqa);
    KQLMX_SelectTag(r.port, uid, 8, &sak);
    EXPECT_EQ(KQLMX_RequestAts(r.port, ats, 4), -1);
    EXPECT_EQ(KQLMX_GetLastError(r.port), KQLMX_ERROR_BUFFER_TOO_SMALL);
    r.sim.removeTag(id);

    id = r.sim.placeTag(std::make_unique<PlainTypeATag>(Hex("11 22 33 44"), 0x0004, 0x08));
    ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
    ASSERT_EQ(KQLMX_SelectTag(r.port, uid, 8, &sak), 4);
    EXPECT_EQ(Bytes(uid, uid + 4), Hex("11 22 33 44"));
    const Bytes key = Hex("FF FF FF FF FF FF");
    r.ClearLog();
    EXPECT_EQ(KQLMX_AuthenticateBlock(r.port, nullptr, 0, 0, key.data(), 6, 4), 0);
    EXPECT_EQ(KQLMX_AuthenticateBlock(r.port, nullptr, 0, 1, key.data(), 6, 0x107), 0);
    const Bytes wrong = Hex("A0 A1 A2 A3 A4 A5");
    EXPECT_EQ(KQLMX_AuthenticateBlock(r.port, nullptr, 0, 0, wrong.data(), 6, 4), -1);
    // 33, prefix length 0, block (low byte), key type | 2, key.
    EXPECT_EQ(r.Commands(),
              (std::vector<Bytes>{Hex("33 00 04 02 FF FF FF FF FF FF"), Hex("33 00 07 03 FF FF FF FF FF FF"),
                                  Hex("33 00 04 02 A0 A1 A2 A3 A4 A5")}));
}

TEST(Iso14443FlatApi, BlocksAbove255SelectTheirBankOnlyWhenItChanges) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Generic, {}, 400));
    short atqa = 0;
    unsigned char uid[8];
    char sak = 0;
    unsigned char buf[16];
    const Bytes page = Hex("01 02 03 04");
    ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
    ASSERT_EQ(KQLMX_SelectTag(r.port, uid, 8, &sak), 7);
    EXPECT_EQ(KQLMX_ReadBlock(r.port, 300, buf, 16), 16);
    EXPECT_EQ(KQLMX_ReadBlock(r.port, 301, buf, 16), 16);
    EXPECT_EQ(KQLMX_WriteBlock(r.port, 302, page.data(), 4), 0);
    EXPECT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
    EXPECT_EQ(KQLMX_SelectTag(r.port, uid, 8, &sak), 7);
    EXPECT_EQ(KQLMX_ReadBlock(r.port, 300, buf, 16), 16);
    EXPECT_EQ(Bytes(buf + 8, buf + 12), page);
    EXPECT_EQ(KQLMX_ReadBlock(r.port, 16, buf, 16), 16);
    EXPECT_EQ(r.Commands(), (std::vector<Bytes>{Hex("30"), Hex("31"), Hex("3A 01"), Hex("34 2C"),
                                                Hex("34 2D"), Hex("35 2E 01 02 03 04"), Hex("30"), Hex("31"),
                                                Hex("3A 01"), Hex("34 2C"), Hex("3A 00"), Hex("34 10")}));
    EXPECT_EQ(r.Pages(id, 302, 1), page);
}

} // namespace
} // namespace kqtest
