// NFC Forum Type 2 tags at the tag level: memory as shipped, READ with roll-over,
// WRITE with OTP bits and lock bits, NAK and re-selection, sectors. Expected bytes
// are written out by hand from the tag datasheets (UID 04 11 22 33 44 55 66 gives
// BCC0 = 88^04^11^22 = BF and BCC1 = 33^44^55^66 = 44).
#include "sim/TagFactory.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

namespace kqsim {
namespace {

using Model = Type2Tag::Model;
const Bytes kUid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kPage0 = {0x04, 0x11, 0x22, 0xBF};
const Bytes kPage1 = {0x33, 0x44, 0x55, 0x66};
const Bytes kPage2 = {0x44, 0x48, 0x00, 0x00};
const Bytes kZero = {0x00, 0x00, 0x00, 0x00};

// A tag brought to the ACTIVE state as the reader does: WUPA, anticollision, select.
std::unique_ptr<Type2Tag> activeTag(Model model, int pages = 0) {
    auto tag = Type2Tag::blank(model, kUid, pages);
    EXPECT_EQ(tag->request(true), std::optional<std::uint16_t>(0x0044));
    EXPECT_EQ(tag->anticollision(1), (std::optional<Bytes>(Bytes{0x88, 0x04, 0x11, 0x22, 0xBF})));
    EXPECT_EQ(tag->select(1, {0x88, 0x04, 0x11, 0x22, 0xBF}), std::optional<std::uint8_t>(0x04));
    EXPECT_EQ(tag->anticollision(2), (std::optional<Bytes>(Bytes{0x33, 0x44, 0x55, 0x66, 0x44})));
    EXPECT_EQ(tag->select(2, {0x33, 0x44, 0x55, 0x66, 0x44}), std::optional<std::uint8_t>(0x00));
    EXPECT_EQ(tag->state(), TypeATag::State::Active);
    return tag;
}

TagReply read(Type2Tag& tag, std::uint8_t page) {
    return tag.transceive({0x30, page});
}
TagReply write(Type2Tag& tag, std::uint8_t page, const Bytes& data) {
    Bytes frame{0xA2, page};
    frame.insert(frame.end(), data.begin(), data.end());
    return tag.transceive(frame);
}

struct ReadCase {
    const char* name;
    Model model;
    std::uint8_t page;
    Bytes data; // empty: NAK
};

class SimType2Read : public testing::TestWithParam<ReadCase> {};

TEST_P(SimType2Read, ReadsFourPagesAsShipped) {
    const ReadCase& c = GetParam();
    auto tag = activeTag(c.model);
    TagReply r = read(*tag, c.page);
    if (c.data.empty()) {
        EXPECT_EQ(r.kind, TagReply::Kind::Nak);
    } else {
        EXPECT_EQ(r.kind, TagReply::Kind::Data);
        EXPECT_EQ(r.data, c.data);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Type2, SimType2Read,
    testing::Values(
        ReadCase{"ultralight_head", Model::Ultralight, 0x00, cat({kPage0, kPage1, kPage2, kZero})},
        ReadCase{"ultralight_user", Model::Ultralight, 0x04,
                 cat({{0xFF, 0xFF, 0xFF, 0xFF}, kZero, kZero, kZero})},
        ReadCase{"ultralight_rollover", Model::Ultralight, 0x0E, cat({kZero, kZero, kPage0, kPage1})},
        ReadCase{"ultralight_beyond", Model::Ultralight, 0x10, {}},
        ReadCase{
            "ultralightc_blank_layout",
            Model::UltralightC,
            0x04,
            {0x02, 0x00, 0x00, 0x10, 0x00, 0x06, 0x01, 0x10, 0x11, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        // Datasheet example: reading from 29h returns 29h, 2Ah, 2Bh and 00h.
        ReadCase{"ultralightc_rollover", Model::UltralightC, 0x29,
                 cat({kZero, {0x30, 0x00, 0x00, 0x00}, kZero, kPage0})},
        ReadCase{"ultralightc_key_unreadable", Model::UltralightC, 0x2C, {}},
        ReadCase{
            "ntag213_cc_and_lock_control_tlv",
            Model::Ntag213,
            0x03,
            {0xE1, 0x10, 0x12, 0x00, 0x01, 0x03, 0xA0, 0x0C, 0x34, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x00, 0x00}},
        ReadCase{"ntag213_config_password_reads_zero", Model::Ntag213, 0x28,
                 cat({kZero, {0x04, 0x00, 0x00, 0xFF}, {0x00, 0x05, 0x00, 0x00}, kZero})},
        ReadCase{"ntag213_rollover", Model::Ntag213, 0x2C, cat({kZero, kPage0, kPage1, kPage2})},
        ReadCase{"ntag215_cc", Model::Ntag215, 0x03,
                 cat({{0xE1, 0x10, 0x3E, 0x00}, {0x03, 0x00, 0xFE, 0x00}, kZero, kZero})},
        ReadCase{"ntag216_cc", Model::Ntag216, 0x03,
                 cat({{0xE1, 0x10, 0x6D, 0x00}, {0x03, 0x00, 0xFE, 0x00}, kZero, kZero})},
        ReadCase{"ntag216_beyond", Model::Ntag216, 0xE7, {}}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST(SimType2, NakSendsTagBackToIdleUntilSelectedAgain) {
    auto tag = activeTag(Model::Ultralight);
    EXPECT_EQ(write(*tag, 0x00, {0x01, 0x02, 0x03, 0x04}).kind, TagReply::Kind::Nak); // UID page
    EXPECT_EQ(tag->state(), TypeATag::State::Idle);
    EXPECT_EQ(read(*tag, 0x04).kind, TagReply::Kind::Silent);
    tag = activeTag(Model::Ultralight);
    EXPECT_EQ(read(*tag, 0x04).kind, TagReply::Kind::Data);
}

TEST(SimType2, OtpAndCapabilityContainerBitsAreOredIn) {
    auto tag = activeTag(Model::Ultralight);
    EXPECT_EQ(write(*tag, 0x03, {0xE1, 0x10, 0x06, 0x00}).kind, TagReply::Kind::Ack);
    EXPECT_EQ(write(*tag, 0x03, {0x00, 0x00, 0x00, 0x0F}).kind, TagReply::Kind::Ack);
    EXPECT_EQ(write(*tag, 0x03, {0x00, 0x00, 0x00, 0x00}).kind, TagReply::Kind::Ack); // cannot clear bits
    EXPECT_EQ(tag->page(3), (Bytes{0xE1, 0x10, 0x06, 0x0F}));
    EXPECT_EQ(write(*tag, 0x05, {0xDE, 0xAD, 0xBE, 0xEF}).kind, TagReply::Kind::Ack);
    EXPECT_EQ(write(*tag, 0x05, {0x00, 0x00, 0x00, 0x01}).kind,
              TagReply::Kind::Ack); // data pages are replaced
    EXPECT_EQ(tag->page(5), (Bytes{0x00, 0x00, 0x00, 0x01}));
}

TEST(SimType2, StaticLockBitsLockPagesThreeToFifteen) {
    auto tag = activeTag(Model::Ultralight);
    // Page 2 as a host writes it back: BCC1 and internal byte stay, lock bits F8 FF.
    EXPECT_EQ(write(*tag, 0x02, {0x00, 0x00, 0xF8, 0xFF}).kind, TagReply::Kind::Ack);
    EXPECT_EQ(tag->page(2), (Bytes{0x44, 0x48, 0xF8, 0xFF}));
    for (std::uint8_t p = 3; p <= 15; ++p) {
        tag = activeTag(Model::Ultralight);
        // (a fresh tag each round: the NAK leaves it idle)
        write(*tag, 0x02, {0x00, 0x00, 0xF8, 0xFF});
        EXPECT_EQ(write(*tag, p, {0x01, 0x01, 0x01, 0x01}).kind, TagReply::Kind::Nak) << int(p);
    }
    // Locking twice is accepted: the lock bytes are OTP bits.
    tag = activeTag(Model::Ultralight);
    write(*tag, 0x02, {0x00, 0x00, 0xFF, 0xFF});
    EXPECT_EQ(write(*tag, 0x02, {0x00, 0x00, 0xFF, 0xFF}).kind, TagReply::Kind::Ack);
}

TEST(SimType2, BlockLockingBitsFreezeLockBits) {
    auto tag = activeTag(Model::Ultralight);
    write(*tag, 0x02, {0x00, 0x00, 0x02, 0x00}); // BL 9-4
    write(*tag, 0x02, {0x00, 0x00, 0xF0, 0xFF}); // L4..L9 frozen, L10..L15 still free
    EXPECT_EQ(tag->page(2), (Bytes{0x44, 0x48, 0x02, 0xFC}));
    EXPECT_EQ(write(*tag, 0x04, {0x01, 0x02, 0x03, 0x04}).kind, TagReply::Kind::Ack);
}

TEST(SimType2, DynamicLockBits) {
    // NTAG213: bit 0 of byte 0 at 28h locks pages 16-17, bit 1 pages 18-19, ...
    auto tag = activeTag(Model::Ntag213);
    EXPECT_EQ(write(*tag, 0x28, {0x03, 0x00, 0x00, 0x00}).kind, TagReply::Kind::Ack);
    EXPECT_TRUE(tag->pageLocked(16));
    EXPECT_TRUE(tag->pageLocked(19));
    EXPECT_FALSE(tag->pageLocked(20));
    EXPECT_EQ(write(*tag, 0x14, {0x01, 0x02, 0x03, 0x04}).kind, TagReply::Kind::Ack);
    EXPECT_EQ(write(*tag, 0x10, {0x01, 0x02, 0x03, 0x04}).kind, TagReply::Kind::Nak);
    // Byte 0 = FF as the 144-byte make-read-only writes it: pages 16-31, not 32-39.
    tag = activeTag(Model::Ntag213);
    write(*tag, 0x28, {0xFF, 0x00, 0x00, 0x00});
    EXPECT_TRUE(tag->pageLocked(31));
    EXPECT_FALSE(tag->pageLocked(32));
    // Ultralight C: byte 0 = FF locks 16-39 in groups of four and its block-locking bits.
    tag = activeTag(Model::UltralightC);
    write(*tag, 0x28, {0xFF, 0x00, 0x00, 0x00});
    EXPECT_TRUE(tag->pageLocked(16));
    EXPECT_TRUE(tag->pageLocked(39));
    EXPECT_FALSE(tag->pageLocked(0x29));
}

TEST(SimType2, CompatibilityWriteStoresFirstFourBytes) {
    auto tag = activeTag(Model::Ntag213);
    Bytes frame{0xA0, 0x06, 0xCA, 0xFE, 0xBA, 0xBE};
    frame.resize(18, 0x77);
    EXPECT_EQ(tag->transceive(frame).kind, TagReply::Kind::Ack);
    EXPECT_EQ(tag->page(6), (Bytes{0xCA, 0xFE, 0xBA, 0xBE}));
    EXPECT_EQ(tag->page(7), kZero);
}

TEST(SimType2, SectorSelectOnLargeGenericTag) {
    auto tag = activeTag(Model::Generic, 300);
    EXPECT_EQ(tag->transceive({0xC2, 0xFF}).kind, TagReply::Kind::Ack);
    EXPECT_EQ(tag->transceive({0x01, 0x00, 0x00, 0x00}).kind, TagReply::Kind::Silent); // passive ACK
    EXPECT_EQ(write(*tag, 0x2B, {0x12, 0x34, 0x56, 0x78}).kind, TagReply::Kind::Ack);  // page 299
    EXPECT_EQ(tag->page(299), (Bytes{0x12, 0x34, 0x56, 0x78}));
    // Sector 1 holds pages 256-299: reading 2Bh rolls over to page 256.
    EXPECT_EQ(read(*tag, 0x2B).data, cat({{0x12, 0x34, 0x56, 0x78}, kZero, kZero, kZero}));
    EXPECT_EQ(read(*tag, 0x2C).kind, TagReply::Kind::Nak);
    auto small = activeTag(Model::Ntag216);
    EXPECT_EQ(small->transceive({0xC2, 0xFF}).kind, TagReply::Kind::Nak);
}

TEST(SimType2, ImageRoundTripKeepsMemoryAndUid) {
    auto tag = activeTag(Model::Ntag213);
    write(*tag, 0x06, {0xD1, 0x01, 0x0A, 0x55});
    TagImage image;
    tag->save(image);
    std::string error;
    auto parsed = TagImage::parse(image.text(), error);
    ASSERT_TRUE(parsed) << error;
    auto copy = loadTag(*parsed, error);
    ASSERT_TRUE(copy) << error;
    EXPECT_EQ(copy->kind(), "ntag213");
    EXPECT_EQ(copy->uid(), kUid);
    EXPECT_EQ(copy->memory(), tag->memory());
    EXPECT_NE(image.text().find("page 6: D1 01 0A 55"), std::string::npos);
}

TEST(SimType2, ImagePagesCannotChangeTheUid) {
    std::string error;
    auto image = TagImage::parse(
        "kind: ultralight\nuid: 04 11 22 33 44 55 66\npage 0: 00 00 00 00\npage 7: 01 02 03 04\n", error);
    ASSERT_TRUE(image) << error;
    auto tag = loadTag(*image, error);
    ASSERT_TRUE(tag) << error;
    auto* t2 = static_cast<Type2Tag*>(tag.get());
    EXPECT_EQ(t2->page(0), kPage0);
    EXPECT_EQ(t2->page(7), (Bytes{0x01, 0x02, 0x03, 0x04}));
}

struct BadImage {
    const char* name;
    const char* text;
};

class SimTagImageRefused : public testing::TestWithParam<BadImage> {};

TEST_P(SimTagImageRefused, GivesAnErrorAndNoTag) {
    std::string error;
    auto image = TagImage::parse(GetParam().text, error);
    std::unique_ptr<Tag> tag;
    if (image) tag = loadTag(*image, error);
    EXPECT_EQ(tag, nullptr);
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Images, SimTagImageRefused,
    testing::Values(BadImage{"no_kind", "uid: 04 11 22 33 44 55 66\n"},
                    BadImage{"unknown_kind", "kind: floppy\n"}, BadImage{"no_colon", "kind ntag213\n"},
                    BadImage{"short_uid", "kind: ntag213\nuid: 04 11 22\n"},
                    BadImage{"odd_hex", "kind: ntag213\npage 4: 0\n"},
                    BadImage{"page_beyond_memory", "kind: ultralight\npage 16: 00 00 00 00\n"},
                    BadImage{"page_not_four_bytes", "kind: ultralight\npage 4: 00 00 00\n"},
                    BadImage{"generic_without_pages", "kind: type2\n"},
                    BadImage{"icode_uid_without_e0", "kind: icode\nuid: 01 02 03 04 05 06 07 08\n"},
                    BadImage{"icode_locked_beyond", "kind: icode\nlocked: 28\n"},
                    BadImage{"negative_row", "kind: icode\nblock -1: 00 00 00 00\n"}),
    [](const testing::TestParamInfo<BadImage>& info) { return info.param.name; });

TEST(SimTagFactory, MakesTagsFromSpecifications) {
    std::string error;
    auto tag = makeTag("type2,uid=04AABBCCDDEEFF,pages=64", error);
    ASSERT_TRUE(tag) << error;
    EXPECT_EQ(tag->memory().size(), 256u);
    EXPECT_EQ(tag->uid(), (Bytes{0x04, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
    auto vicinity = makeTag("icode,uid=E0:04:01:00:00:00:00:2A", error);
    ASSERT_TRUE(vicinity) << error;
    EXPECT_EQ(vicinity->uid(), (Bytes{0x2A, 0x00, 0x00, 0x00, 0x00, 0x01, 0x04, 0xE0}));
    EXPECT_EQ(makeTag("ntag213,colour=red", error), nullptr);
    EXPECT_EQ(makeTag("", error), nullptr);
    for (const std::string& kind : tagKinds()) {
        EXPECT_TRUE(makeTag(kind == "type2" ? kind + ",pages=16" : kind, error)) << kind << ": " << error;
    }
}

} // namespace
} // namespace kqsim
