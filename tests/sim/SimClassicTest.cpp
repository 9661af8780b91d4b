// The simulator's MIFARE Classic tag against the access conditions of the MIFARE
// Classic 1K datasheet: which key may read and write data blocks and the trailer, what
// a trailer read shows, and that a refusal leaves the tag to be selected again. The
// trailers are written out by hand: key A, access bytes 6-8, GPB, key B.
#include "sim/ClassicTag.h"
#include "sim/TagImage.h"

#include <gtest/gtest.h>

namespace kqsim {
namespace {

const Bytes kFF(6, 0xFF);
const Bytes kNfc = {0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7};

Bytes TrailerOf(const Bytes& keyA, std::initializer_list<std::uint8_t> access, const Bytes& keyB) {
    Bytes t = keyA;
    t.insert(t.end(), access);
    t.insert(t.end(), keyB.begin(), keyB.end());
    return t;
}

std::unique_ptr<ClassicTag> TagWithTrailer(const Bytes& trailer) {
    TagImage image;
    image.set("kind", "classic1k");
    image.setRow("block", 7, trailer); // sector 1
    std::string error;
    auto tag = ClassicTag::load(image, error);
    EXPECT_TRUE(tag) << error;
    return tag;
}

// HLTA when selected, then WUPA and select, as the reader does.
void Activate(ClassicTag& tag) {
    if (tag.state() == TypeATag::State::Active) tag.halt();
    ASSERT_TRUE(tag.request(true));
    auto cl1 = tag.anticollision(1);
    ASSERT_TRUE(cl1);
    ASSERT_TRUE(tag.select(1, *cl1));
}

Bytes WriteFrame(int block, const Bytes& data) {
    Bytes f{0xA0, static_cast<std::uint8_t>(block)};
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

// A block write takes what the datasheet gives a write block, about 5.5 ms: 1866 us of
// frames on the air (20 bytes with the CRC: 182 bits x 9.4395 us, 91 us frame delay,
// a 4-bit ACK) and 3.6 ms of EEPROM; a refused write no programming, a read none.
TEST(SimClassicTiming, AWriteTakesItsDatasheetTime) {
    auto tag = TagWithTrailer(TrailerOf(kFF, {0xFF, 0x07, 0x80, 0x69}, kFF));
    Activate(*tag);
    ASSERT_EQ(tag->authenticate(4, false, kFF).kind, TagReply::Kind::Ack);
    const Bytes write = WriteFrame(4, Bytes(16, 0x11));
    const TagReply ack = tag->transceive(write);
    ASSERT_EQ(ack.kind, TagReply::Kind::Ack);
    EXPECT_EQ(tag->exchangeTime(write, ack), std::chrono::microseconds(1866 + 3600));
    EXPECT_EQ(tag->exchangeTime(write, TagReply::refuse()), std::chrono::microseconds(1866));
}

struct AccessCase {
    const char* name;
    Bytes trailer; // of sector 1
    bool keyB;
    Bytes key;
    int block;  // 4-6 data, 7 trailer
    bool write; // else read
    bool allowed;
};

class SimClassicAccess : public testing::TestWithParam<AccessCase> {};

TEST_P(SimClassicAccess, AsTheAccessBitsSay) {
    const AccessCase& c = GetParam();
    auto tag = TagWithTrailer(c.trailer);
    Activate(*tag);
    ASSERT_EQ(tag->authenticate(4, c.keyB, c.key).kind, TagReply::Kind::Ack);
    const Bytes before = tag->memory();
    // A trailer write keeps the access bytes and keys as they are.
    TagReply reply = c.write
                         ? tag->transceive(WriteFrame(c.block, c.block == 7 ? c.trailer : Bytes(16, 0x5A)))
                         : tag->transceive({0x30, static_cast<std::uint8_t>(c.block)});
    EXPECT_EQ(reply.kind != TagReply::Kind::Nak, c.allowed);
    if (!c.allowed) {
        EXPECT_EQ(tag->memory(), before);
        EXPECT_NE(tag->state(), TypeATag::State::Active)
            << "a refusal halts the tag until it is selected again";
        EXPECT_EQ(tag->transceive({0x30, 0x04}).kind, TagReply::Kind::Silent);
    }
}

const Bytes kTransport = TrailerOf(kFF, {0xFF, 0x07, 0x80, 0x69}, kFF);
const Bytes kNdef = TrailerOf(kNfc, {0x7F, 0x07, 0x88, 0x40}, kFF);
const Bytes kMad = TrailerOf({0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, {0x78, 0x77, 0x88, 0xC1}, kFF);
const Bytes kLocked = TrailerOf(kNfc, {0x07, 0x8F, 0x0F, 0x43}, kFF);

INSTANTIATE_TEST_SUITE_P(
    SimClassic, SimClassicAccess,
    testing::Values(
        // FF 07 80: data 000, trailer 001; key B is readable and so serves for nothing.
        AccessCase{"transport_a_writes_data", kTransport, false, kFF, 5, true, true},
        AccessCase{"transport_a_writes_trailer", kTransport, false, kFF, 7, true, true},
        AccessCase{"transport_readable_key_b_reads_nothing", kTransport, true, kFF, 4, false, false},
        // 7F 07 88: data 000, trailer 011.
        AccessCase{"ndef_a_writes_data", kNdef, false, kNfc, 4, true, true},
        AccessCase{"ndef_a_may_not_write_trailer", kNdef, false, kNfc, 7, true, false},
        AccessCase{"ndef_b_writes_trailer", kNdef, true, kFF, 7, true, true},
        // 78 77 88: data 100 (write with key B only).
        AccessCase{"mad_a_may_not_write", kMad, false, {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, 5, true, false},
        AccessCase{"mad_b_writes", kMad, true, kFF, 5, true, true},
        // 07 8F 0F: data 010, trailer 110: read-only for good.
        AccessCase{"locked_a_reads", kLocked, false, kNfc, 4, false, true},
        AccessCase{"locked_a_may_not_write", kLocked, false, kNfc, 4, true, false},
        AccessCase{"locked_b_may_not_write", kLocked, true, kFF, 4, true, false},
        AccessCase{"locked_trailer_stays", kLocked, true, kFF, 7, true, false},
        // Blocks of another sector than the one authenticated.
        AccessCase{"other_sector", kNdef, false, kNfc, 8, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimClassic, KeysRefusedBlockZeroReadOnlyTrailerReadHidesKeys) {
    auto tag = TagWithTrailer(kNdef);
    Activate(*tag);
    EXPECT_EQ(tag->authenticate(4, false, kFF).kind, TagReply::Kind::Nak) << "key A is the NFC key";
    EXPECT_EQ(tag->state(), TypeATag::State::Idle);
    Activate(*tag);
    ASSERT_EQ(tag->authenticate(4, false, kNfc).kind, TagReply::Kind::Ack);
    // Key A never, key B hidden by 011; access bytes and GPB readable.
    EXPECT_EQ(tag->transceive({0x30, 0x07}).data,
              TrailerOf(Bytes(6, 0), {0x7F, 0x07, 0x88, 0x40}, Bytes(6, 0)));
    Activate(*tag);
    ASSERT_EQ(tag->authenticate(0, false, kFF).kind, TagReply::Kind::Ack);
    const Bytes block0 = tag->block(0);
    EXPECT_EQ(tag->transceive(WriteFrame(0, Bytes(16, 0))).kind, TagReply::Kind::Nak) << "manufacturer block";
    EXPECT_EQ(tag->block(0), block0);
}

TEST(SimClassic, TrailerWithAccessBitsThatDisagreeIsRefusedAndRecorded) {
    auto tag = ClassicTag::blank(ClassicTag::Model::Classic1K);
    Activate(*tag);
    ASSERT_EQ(tag->authenticate(4, false, kFF).kind, TagReply::Kind::Ack);
    // 7F 07 89: C3 of block 0 is 1 in byte 8 but also 1 (not 0) in byte 7's inverted copy.
    EXPECT_EQ(tag->transceive(WriteFrame(7, TrailerOf(kNfc, {0x7F, 0x07, 0x89, 0x40}, kFF))).kind,
              TagReply::Kind::Nak);
    EXPECT_EQ(tag->block(7), kTransport);
    EXPECT_EQ(tag->refusedTrailers(), std::vector<std::string>{"sector 1: access bytes 7F 07 89"});
}

} // namespace
} // namespace kqsim
