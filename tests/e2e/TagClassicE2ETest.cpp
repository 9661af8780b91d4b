// MIFARE Classic 1K and 4K as NFC Forum tags through the flat API of libkqlmx, over a
// pty, against the simulator's Classic tags. Expected memory is written out by hand from
// the MAD application note (MAD1 in blocks 1-2: CRC, info byte, two bytes per sector;
// MAD2 in blocks 64-66; CRC-8 polynomial 1D preset C7 over the info byte and the
// entries; MAD sector key A A0A1A2A3A4A5, access 78 77 88, GPB C1 / C2) and the NFC on
// MIFARE Classic application note (NDEF application id E103 stored 03 E1; NDEF sector
// key A D3F7D3F7D3F7, access 7F 07 88, GPB 40; read-only access 07 8F 0F, GPB 43).
// The CRCs below were worked out by hand from that definition.
#include "TagSimReader.h"
#include "kqlmx.h"
#include "sim/ClassicTag.h"
#include "sim/TagImage.h"

#include <gtest/gtest.h>

#include <functional>

namespace kqtest {
namespace {

using kqsim::ClassicTag;
using kqsim::TagId;
using Model = ClassicTag::Model;

constexpr int kTagNoTag = 0x20001;
constexpr int kTagNotFormatted = 0x20004;
constexpr int kTagNewer = 0x2000C;
constexpr int kTagWriteProtected = 0x2000E;
constexpr int kTagBlockWrite = 0x20012;

const Bytes kTransport = Hex("FF FF FF FF FF FF");
const Bytes kNfcKey = Hex("D3 F7 D3 F7 D3 F7");
const Bytes kTransportTrailer = Hex("FF FF FF FF FF FF FF 07 80 69 FF FF FF FF FF FF");
const Bytes kNdefTrailer = Hex("D3 F7 D3 F7 D3 F7 7F 07 88 40 FF FF FF FF FF FF");
const Bytes kNdefLocked = Hex("D3 F7 D3 F7 D3 F7 07 8F 0F 43 FF FF FF FF FF FF");
const Bytes kMad1Trailer = Hex("A0 A1 A2 A3 A4 A5 78 77 88 C1 FF FF FF FF FF FF");
const Bytes kMad2Trailer = Hex("A0 A1 A2 A3 A4 A5 78 77 88 C2 FF FF FF FF FF FF");
const Bytes kMad1Locked = Hex("A0 A1 A2 A3 A4 A5 07 8F 0F C1 FF FF FF FF FF FF");
const Bytes kZeros(16, 0x00);

int Trailer(int sector) {
    return sector < 32 ? 4 * sector + 3 : 128 + 16 * (sector - 32) + 15;
}

Bytes Block(const TagSimReader& r, TagId id, int block) {
    const Bytes m = r.sim.tagMemory(id).value_or(Bytes{});
    return Bytes(m.begin() + block * 16, m.begin() + block * 16 + 16);
}

// The data blocks of sectors 1.. in order (3 per sector below 32).
Bytes DataArea(const TagSimReader& r, TagId id, std::initializer_list<int> sectors) {
    Bytes area;
    for (int s : sectors)
        for (int b = 0; b < 3; ++b) {
            const Bytes block = Block(r, id, 4 * s + b);
            area.insert(area.end(), block.begin(), block.end());
        }
    return area;
}

// MAD1 blocks 1 and 2: CRC, info, entries of sectors 1-15 (03 E1 for the listed).
Bytes Mad(uint8_t crc, uint8_t info, std::initializer_list<int> listed, int entries) {
    Bytes mad(2 + 2 * static_cast<size_t>(entries), 0x00);
    mad[0] = crc;
    mad[1] = info;
    for (int s : listed) {
        mad[2 * static_cast<size_t>(s)] = 0x03;
        mad[2 * static_cast<size_t>(s) + 1] = 0xE1;
    }
    return mad;
}

std::string TextJson(size_t n) {
    return R"({"TEXT" : {"TITLE" : ")" + std::string(n, 'x') + R"("}})";
}

// A URI record of 100 bytes: D1 01 60 55, code 04 ("https://") and 95 characters.
std::string UrlJson() {
    return R"({"BOOKMARK" : {"URL" : "https://example.com/)" + std::string(83, 'a') + R"(","TITLE" : ""}})";
}
Bytes UrlTlv() {
    return Cat({Hex("03 64 D1 01 60 55 04"), Ascii("example.com/" + std::string(83, 'a')), Hex("FE")});
}

// A raw block write as another program would try it: select, authenticate, write.
// -2 when the authentication is refused.
int RawWrite(const TagSimReader& r, int block, int keyType, const Bytes& key) {
    short atqa = 0;
    unsigned char uid[10];
    char sak = 0;
    if (KQLMX_RequestTag(r.port, &atqa) != 0 || KQLMX_SelectTag(r.port, uid, sizeof uid, &sak) < 0) return -3;
    if (KQLMX_AuthenticateBlock(r.port, nullptr, 0, keyType, key.data(), 6, block) != 0) return -2;
    return KQLMX_WriteBlock(r.port, block, Bytes(16, 0x5A).data(), 16);
}

std::unique_ptr<ClassicTag> TagWithBlocks(const char* kind,
                                          const std::vector<std::pair<int, Bytes>>& blocks) {
    kqsim::TagImage image;
    image.set("kind", kind);
    for (const auto& [index, bytes] : blocks)
        image.setRow("block", index, bytes);
    std::string error;
    auto tag = ClassicTag::load(image, error);
    EXPECT_TRUE(tag) << error;
    return tag;
}

std::vector<std::string> RefusedTrailers(TagSimReader& r, TagId id) {
    std::vector<std::string> refused;
    r.sim.withTag(id, [&](kqsim::Tag& tag) { refused = static_cast<ClassicTag&>(tag).refusedTrailers(); });
    return refused;
}

TEST(Classic1K, BlankTagWrittenReadLockedTwice) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(ClassicTag::blank(Model::Classic1K));
    const Bytes block0 = Block(r, id, 0);
    ASSERT_EQ(r.WriteJson(UrlJson()), 0) << std::hex << r.LastError();

    // 103 bytes of TLV area: sectors 1-3 (48 bytes each); MAD CRC over info 00 and
    // 03 E1 for sectors 1-3: 55.
    EXPECT_EQ(Cat({Block(r, id, 1), Block(r, id, 2)}), Mad(0x55, 0x00, {1, 2, 3}, 15));
    EXPECT_EQ(Block(r, id, 3), kMad1Trailer);
    Bytes area = UrlTlv();
    area.resize(144, 0x00);
    EXPECT_EQ(DataArea(r, id, {1, 2, 3}), area);
    for (int s = 1; s < 16; ++s)
        EXPECT_EQ(Block(r, id, Trailer(s)), s <= 3 ? kNdefTrailer : kTransportTrailer) << s;
    EXPECT_EQ(Block(r, id, 0), block0);
    EXPECT_EQ(r.ReadJson(), UrlJson());

    ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << std::hex << r.LastError();
    EXPECT_EQ(Block(r, id, 3), Hex("A0 A1 A2 A3 A4 A5 07 8F 0F C1 FF FF FF FF FF FF")) << "MAD GPB kept";
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(Block(r, id, Trailer(s)), kNdefLocked) << s;
    EXPECT_EQ(r.ReadJson(), UrlJson());

    r.ClearLog();
    EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << "nothing left to lock";
    EXPECT_TRUE(r.Commands(0x35).empty());
    const Bytes locked = *r.sim.tagMemory(id);
    EXPECT_EQ(r.WriteJson(TextJson(3)), -1);
    EXPECT_EQ(r.LastError(), kTagWriteProtected);
    // Another program's raw writes are refused by the tag itself, with either key.
    EXPECT_EQ(RawWrite(r, 4, 0, kNfcKey), -1);
    EXPECT_EQ(RawWrite(r, 4, 1, kTransport), -1);
    EXPECT_EQ(RawWrite(r, 7, 1, kTransport), -1) << "trailer";
    EXPECT_EQ(*r.sim.tagMemory(id), locked);
    EXPECT_TRUE(RefusedTrailers(r, id).empty());
}

// A blank 4K gets MAD2 in sector 16 with the first write, however short, so it reads
// back; a longer message later adds sectors 3-15 and 17, passing over sector 16, and
// enters them in both MADs with their CRCs.
TEST(Classic4K, ShortMessageThenCapacityIntoMad2) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(ClassicTag::blank(Model::Classic4K));
    const std::string shortJson = TextJson(5);
    ASSERT_EQ(r.WriteJson(shortJson), 0) << std::hex << r.LastError();
    EXPECT_EQ(Cat({Block(r, id, 1), Block(r, id, 2)}), Mad(0xE8, 0x00, {1, 2}, 15));
    EXPECT_EQ(Block(r, id, 3), kMad2Trailer) << "GPB C2: MAD version 2";
    EXPECT_EQ(Cat({Block(r, id, 64), Block(r, id, 65), Block(r, id, 66)}), Mad(0x16, 0x00, {}, 23));
    EXPECT_EQ(Block(r, id, 67), kMad2Trailer);
    EXPECT_EQ(Block(r, id, Trailer(3)), kTransportTrailer);
    EXPECT_EQ(r.ReadJson(), shortJson);

    // 15 + 740 bytes of TLV area: 720 in sectors 1-15, the rest in sector 17.
    const std::string longJson = TextJson(740);
    ASSERT_EQ(r.WriteJson(longJson), 0) << std::hex << r.LastError();
    EXPECT_EQ(Cat({Block(r, id, 1), Block(r, id, 2)}),
              Mad(0x0F, 0x00, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 15));
    EXPECT_EQ(Cat({Block(r, id, 64), Block(r, id, 65), Block(r, id, 66)}), Mad(0x05, 0x00, {1}, 23))
        << "sector 17 is entry 1 of MAD2";
    EXPECT_EQ(Block(r, id, 67), kMad2Trailer);
    EXPECT_EQ(Block(r, id, Trailer(17)), kNdefTrailer);
    EXPECT_EQ(Block(r, id, Trailer(18)), kTransportTrailer);
    EXPECT_EQ(r.ReadJson(), longJson);

    ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0);
    const Bytes madLocked = Hex("A0 A1 A2 A3 A4 A5 07 8F 0F C2 FF FF FF FF FF FF");
    EXPECT_EQ(Block(r, id, 3), madLocked);
    EXPECT_EQ(Block(r, id, 67), madLocked);
    EXPECT_EQ(Block(r, id, Trailer(17)), kNdefLocked);
    EXPECT_TRUE(RefusedTrailers(r, id).empty());
}

// A formatted 4K takes 3360 bytes: 30 sectors of 48 and sectors 32-39 of 240 (15 data
// blocks each). A text of 3000 'x' makes 3015 bytes of TLV area (03 FF 0B C2: a record
// of 3010 bytes, header C1 01 00 00 0B BB 54 for a payload of 3003: 02 "en" and the
// text; then FE): byte 1440 opens sector 32
// (block 128), the Terminator is byte 3014, byte 134 of sector 38 (block 232, byte 6).
TEST(Classic4K, LongMessageFillsTheSixteenBlockSectors) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(ClassicTag::blank(Model::Classic4K));
    ASSERT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), 0);
    const std::string json = TextJson(3000);
    ASSERT_EQ(r.WriteJson(json), 0) << std::hex << r.LastError();
    EXPECT_EQ(Block(r, id, 4), Cat({Hex("03 FF 0B C2 C1 01 00 00 0B BB 54 02 65 6E 78 78")}));
    EXPECT_EQ(Block(r, id, 128), Bytes(16, 'x'));
    EXPECT_EQ(Block(r, id, 232), Cat({Bytes(6, 'x'), Hex("FE"), Bytes(9, 0x00)}));
    EXPECT_EQ(r.ReadJson(), json);
}

// Capacity extension on a tag whose MAD info byte is 01: kept, and the CRC over it and
// fifteen entries is 14. The message that fits nowhere is told with its excess.
TEST(Classic1K, CapacityKeepsTheInfoByteAndTellsTheExcess) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(ClassicTag::blank(Model::Classic1K));
    ASSERT_EQ(r.WriteJson(TextJson(5)), 0);
    // The MAD's info byte set to 01, as a card holder sector pointer would.
    Bytes mad1 = Block(r, id, 1);
    mad1[1] = 0x01;
    short atqa = 0;
    unsigned char uid[10];
    char sak = 0;
    ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
    ASSERT_GT(KQLMX_SelectTag(r.port, uid, sizeof uid, &sak), 0);
    ASSERT_EQ(KQLMX_AuthenticateBlock(r.port, nullptr, 0, 1, kTransport.data(), 6, 1), 0);
    ASSERT_EQ(KQLMX_WriteBlock(r.port, 1, mad1.data(), 16), 0);

    const std::string json = TextJson(700); // 715 bytes: sectors 1-15
    ASSERT_EQ(r.WriteJson(json), 0) << std::hex << r.LastError();
    EXPECT_EQ(Cat({Block(r, id, 1), Block(r, id, 2)}),
              Mad(0x14, 0x01, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 15));
    EXPECT_EQ(r.ReadJson(), json);
    const Bytes before = *r.sim.tagMemory(id);
    EXPECT_EQ(r.WriteJson(TextJson(710)), -5) << "725 bytes for 720";
    EXPECT_EQ(r.LastError(), KQLMX_ERROR_MESSAGE_TOO_LARGE);
    EXPECT_EQ(*r.sim.tagMemory(id), before);
}

// Format on tags in other states: every sector but the MAD's becomes an NDEF sector,
// also on tags whose trailers only key B may write (formatted before).
struct FormatCase {
    const char* name;
    std::function<std::unique_ptr<ClassicTag>()> tag;
    bool is4K;
};

class ClassicFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(ClassicFormat, EverySectorAndTheMadWithItsCrc) {
    const FormatCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(c.tag());
    ASSERT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), 0) << std::hex << r.LastError();
    EXPECT_EQ(Cat({Block(r, id, 1), Block(r, id, 2)}),
              Mad(0x0F, 0x00, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 15));
    EXPECT_EQ(Block(r, id, 3), c.is4K ? kMad2Trailer : kMad1Trailer);
    const int sectors = c.is4K ? 40 : 16;
    for (int s = 1; s < sectors; ++s) {
        if (s == 16) continue;
        EXPECT_EQ(Block(r, id, Trailer(s)), kNdefTrailer) << s;
    }
    if (c.is4K) {
        EXPECT_EQ(Cat({Block(r, id, 64), Block(r, id, 65), Block(r, id, 66)}),
                  Mad(0x9E, 0x00,
                      {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23},
                      23));
        EXPECT_EQ(Block(r, id, 67), kMad2Trailer);
    }
    // An empty NDEF record in the first sector.
    EXPECT_EQ(Block(r, id, 4), Cat({Hex("03 03 D0 00 00 FE"), Bytes(10, 0x00)}));
    int result = -1;
    EXPECT_EQ(r.ReadJson(&result), "");
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(RefusedTrailers(r, id).empty());
}

// A 1K that this library formatted, whose MAD entries were then cleared: its trailers
// are 78 77 88 / 7F 07 88 with the transport key as key B.
std::unique_ptr<ClassicTag> FormattedWithoutMad() {
    std::vector<std::pair<int, Bytes>> blocks{{1, kZeros}, {3, kMad1Trailer}};
    for (int s = 1; s <= 3; ++s)
        blocks.emplace_back(Trailer(s), kNdefTrailer);
    return TagWithBlocks("classic1k", blocks);
}

INSTANTIATE_TEST_SUITE_P(
    Classic, ClassicFormat,
    testing::Values(FormatCase{"blank_1k", [] { return ClassicTag::blank(Model::Classic1K); }, false},
                    FormatCase{"blank_4k", [] { return ClassicTag::blank(Model::Classic4K); }, true},
                    FormatCase{"key_b_layout", [] { return ClassicTag::blank(Model::Classic1KKeyB); }, false},
                    FormatCase{"formatted_without_mad", FormattedWithoutMad, false}),
    [](const auto& info) { return std::string(info.param.name); });

// What the MAD walk makes of hand-made tags: the first listed sector that checks as
// NDEF starts the run, a gap in the listing ends it, sector 16 is passed over.
struct WalkCase {
    const char* name;
    const char* kind;
    std::vector<std::pair<int, Bytes>> blocks;
    std::string json; // empty: no message
    int code;         // after a read without message
    int unusedBlock;  // a block the read must not authenticate (-1: none)
};

class ClassicMadWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(ClassicMadWalk, FindsTheNdefSectors) {
    const WalkCase& c = GetParam();
    TagSimReader r;
    r.sim.placeTag(TagWithBlocks(c.kind, c.blocks));
    int result = 0;
    const std::string json = r.ReadJson(&result);
    if (c.json.empty()) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(r.LastError(), c.code);
    } else {
        EXPECT_EQ(json, c.json);
    }
    for (const Bytes& auth : r.Commands(0x33))
        EXPECT_NE(auth[2], c.unusedBlock);
}

// "Hallo" as a text record: 03 0C D1 01 08 54 02 65 6E 48 61 6C 6C 6F FE.
const Bytes kHalloBlock = Cat({Hex("03 0C D1 01 08 54 02 65 6E 48 61 6C 6C 6F FE"), Hex("00")});
const std::string kHallo = R"({"TEXT" : {"TITLE" : "Hallo"}})";
// A text record of 50 'x' in a TLV of 60 bytes, split as 48 + 12 bytes.
const Bytes kLongTlv = Cat({Hex("03 39 D1 01 35 54 02 65 6E"), Ascii(std::string(50, 'x')), Hex("FE")});
Bytes Part(const Bytes& b, size_t from, size_t n) {
    Bytes out(16, 0x00);
    for (size_t i = 0; i < n && from + i < b.size(); ++i)
        out[i] = b[from + i];
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Classic, ClassicMadWalk,
    testing::Values(WalkCase{"first_listed_sector_invalid",
                             "classic1k",
                             {{1, Mad(0, 0, {1, 2}, 7)},
                              {3, kMad1Trailer},
                              {7, Hex("D3 F7 D3 F7 D3 F7 7F 07 88 05 FF FF FF FF FF FF")},
                              {8, kHalloBlock},
                              {11, kNdefTrailer}},
                             kHallo,
                             0,
                             -1},
                    WalkCase{"gap_ends_the_run",
                             "classic1k",
                             {{1, Mad(0, 0, {1, 3}, 7)},
                              {3, kMad1Trailer},
                              {4, Part(kLongTlv, 0, 16)},
                              {5, Part(kLongTlv, 16, 16)},
                              {6, Part(kLongTlv, 32, 16)},
                              {7, kNdefTrailer},
                              {12, Part(kLongTlv, 48, 16)},
                              {15, kNdefTrailer}},
                             "",
                             kTagNotFormatted,
                             12},
                    WalkCase{"sector_16_passed_over",
                             "classic4k",
                             {{2, Part(Mad(0, 0, {15}, 15), 16, 16)},
                              {3, kMad2Trailer},
                              {60, Part(kLongTlv, 0, 16)},
                              {61, Part(kLongTlv, 16, 16)},
                              {62, Part(kLongTlv, 32, 16)},
                              {63, kNdefTrailer},
                              {64, Mad(0, 0, {1}, 7)},
                              {67, kMad2Trailer},
                              {68, Part(kLongTlv, 48, 16)},
                              {71, kNdefTrailer}},
                             R"({"TEXT" : {"TITLE" : ")" + std::string(50, 'x') + R"("}})",
                             0,
                             -1},
                    WalkCase{"newer_mapping_version",
                             "classic1k",
                             {{1, Mad(0, 0, {1}, 7)},
                              {3, kMad1Trailer},
                              {4, kHalloBlock},
                              {7, Hex("D3 F7 D3 F7 D3 F7 7F 07 88 80 FF FF FF FF FF FF")}},
                             "",
                             kTagNewer,
                             -1}),
    [](const auto& info) { return std::string(info.param.name); });

// TLVs in front of the NDEF Message TLV stay: NULL TLVs (00) up to byte 3 of block 4,
// or up to byte 4 of block 5 (20 bytes in); writing begins in the block that holds it.
TEST(Classic1K, TlvsInFrontOfTheMessageStay) {
    for (int offset : {3, 20}) {
        Bytes area(static_cast<size_t>(offset), 0x00);
        area.insert(area.end(), kHalloBlock.begin(), kHalloBlock.end());
        area.resize(48, 0x00);
        TagSimReader r;
        const TagId id = r.sim.placeTag(TagWithBlocks("classic1k", {{1, Mad(0xDB, 0, {1}, 7)},
                                                                    {3, kMad1Trailer},
                                                                    {4, Part(area, 0, 16)},
                                                                    {5, Part(area, 16, 16)},
                                                                    {6, Part(area, 32, 16)},
                                                                    {7, kNdefTrailer}}));
        ASSERT_EQ(r.WriteJson(TextJson(3)), 0) << std::hex << r.LastError();
        const Bytes written = DataArea(r, id, {1});
        EXPECT_EQ(Bytes(written.begin(), written.begin() + offset), Bytes(static_cast<size_t>(offset), 0x00));
        EXPECT_EQ(Bytes(written.begin() + offset, written.begin() + offset + 13),
                  Hex("03 0A D1 01 06 54 02 65 6E 78 78 78 FE"));
        EXPECT_EQ(r.ReadJson(), TextJson(3));
    }
}

// A first NDEF sector marked read-only (GPB 43), or one of a newer mapping version (GPB
// 80): the write leaves the tag as it is.
TEST(Classic1K, WriteRefusedOnReadOnlyOrNewerSectors) {
    for (const auto& [trailer, code] :
         {std::pair{kNdefLocked, kTagWriteProtected},
          std::pair{Hex("D3 F7 D3 F7 D3 F7 7F 07 88 80 FF FF FF FF FF FF"), kTagNewer}}) {
        TagSimReader r;
        const TagId id = r.sim.placeTag(TagWithBlocks(
            "classic1k", {{1, Mad(0xDB, 0, {1}, 7)}, {3, kMad1Trailer}, {4, kHalloBlock}, {7, trailer}}));
        const Bytes before = *r.sim.tagMemory(id);
        EXPECT_EQ(r.WriteJson(TextJson(3)), -1);
        EXPECT_EQ(r.LastError(), code);
        EXPECT_EQ(*r.sim.tagMemory(id), before);
    }
}

// A message longer than the NDEF sectors does not take the next sector when the MAD
// gives it to another application (entry 08 01): its trailer, data and entry stay.
TEST(Classic1K, CapacityStopsAtAnotherApplicationsSector) {
    Bytes mad = Mad(0x88, 0x00, {1}, 15); // CRC over the entry 08 01 as well
    mad[4] = 0x08, mad[5] = 0x01;
    TagSimReader r;
    const TagId id = r.sim.placeTag(TagWithBlocks("classic1k", {{1, Part(mad, 0, 16)},
                                                                {2, Part(mad, 16, 16)},
                                                                {3, kMad1Trailer},
                                                                {4, kHalloBlock},
                                                                {7, kNdefTrailer},
                                                                {8, Bytes(16, 0xA5)}}));
    const Bytes before = *r.sim.tagMemory(id);
    EXPECT_EQ(r.WriteJson(TextJson(60)), -22) << "70 bytes of TLV area, 48 of room";
    EXPECT_EQ(r.LastError(), 0x20014);
    EXPECT_EQ(*r.sim.tagMemory(id), before);
}

// A tag formatted in full and made read-only: every NDEF sector the MAD lists is locked,
// not only the one the message uses, so raw writes to the last sector are refused too.
TEST(Classic1K, ReadOnlyLocksEveryListedSector) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(ClassicTag::blank(Model::Classic1K));
    ASSERT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), 0);
    ASSERT_EQ(r.WriteJson(TextJson(3)), 0) << std::hex << r.LastError();
    ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << std::hex << r.LastError();
    for (int s = 1; s < 16; ++s)
        EXPECT_EQ(Block(r, id, Trailer(s)), kNdefLocked) << s;
    for (int block : {4, 8, 60, 62}) {
        EXPECT_EQ(RawWrite(r, block, 0, kNfcKey), -1) << block;
        EXPECT_EQ(RawWrite(r, block, 1, kTransport), -1) << block;
    }
    EXPECT_EQ(r.ReadJson(), TextJson(3));
}

// The tag answers the first block write of a longer message, then is gone for the
// reader (it still wrote the second block): it holds no message, not the new message's
// head on the old one's tail.
TEST(Classic1K, HalfWrittenTagReadsAsHoldingNoMessage) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(ClassicTag::blank(Model::Classic1K));
    ASSERT_EQ(r.WriteJson(TextJson(3)), 0);
    r.sim.inject(kqsim::Fault::status(0x01).forCommand(0x35).after(1).always());
    EXPECT_EQ(r.WriteJson(TextJson(40)), -1);
    EXPECT_EQ(Block(r, id, 4)[0], 0xFE) << "a Terminator where the NDEF Message TLV begins";
    EXPECT_EQ(r.ReadJson(), "");
    r.sim.clearFaults();
    ASSERT_EQ(r.WriteJson(TextJson(40)), 0);
    EXPECT_EQ(r.ReadJson(), TextJson(40));
}

// A tag taken away at any point of a write or a format is told as gone, or as the
// block write it cut short; never as a tag too small for the message, and never
// formatted anew on the way.
TEST(Classic1K, ATagTakenAwayIsToldAsGone) {
    TagSimReader r;
    for (int commands = 1; commands <= 16; ++commands) {
        for (const bool format : {false, true}) {
            r.sim.removeAllTags();
            const TagId id = r.sim.placeTag(ClassicTag::blank(Model::Classic1K));
            ASSERT_EQ(r.WriteJson(TextJson(5)), 0);
            ASSERT_TRUE(r.sim.removeTagAfter(id, commands));
            const int result = format ? KQLMX_FormatTag(r.port, nullptr, 0) : r.WriteJson(TextJson(100));
            if (result == 0) continue;
            EXPECT_TRUE(r.LastError() == kTagNoTag || r.LastError() == kTagBlockWrite)
                << commands << (format ? " format: " : " write: ") << std::hex << r.LastError();
        }
    }
}

// --- tags written by other programs ---------------------------------------------------

// MAD1 blocks 1 and 2 with entries of another application (4810, stored 10 48) besides
// the NDEF ones; CRC worked out by hand as above.
Bytes MadWith(uint8_t crc, std::initializer_list<int> ndef, std::initializer_list<int> other) {
    Bytes mad = Mad(crc, 0x00, ndef, 15);
    for (int s : other) {
        mad[2 * static_cast<size_t>(s)] = 0x10;
        mad[2 * static_cast<size_t>(s) + 1] = 0x48;
    }
    return mad;
}

std::vector<std::pair<int, Bytes>> MadBlocks(const Bytes& mad, const Bytes& trailer) {
    return {{1, Part(mad, 0, 16)}, {2, Part(mad, 16, 16)}, {3, trailer}};
}

std::vector<std::pair<int, Bytes>> Join(std::vector<std::pair<int, Bytes>> a,
                                        const std::vector<std::pair<int, Bytes>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The other application's sectors 1 and 2: its data, and trailers with the transport
// key (which a careless format would take) or keys of its own.
std::vector<std::pair<int, Bytes>> OtherApplication(const Bytes& trailer) {
    return {{4, Bytes(16, 0xA5)}, {5, Bytes(16, 0xA6)}, {7, trailer}, {8, Bytes(16, 0xA7)}, {11, trailer}};
}
const Bytes kOwnKeysTrailer = Hex("11 11 11 11 11 11 78 77 88 00 22 22 22 22 22 22");
// The MAD sector as the MAD application note lays it out, with key B FF x6.
const Bytes kMadSector = kMad1Trailer;

struct HostileCase {
    const char* name;
    const char* kind;
    std::vector<std::pair<int, Bytes>> blocks;
    std::function<int(TagSimReader&)> op;
    int result;
    int code; // when result != 0
    // Blocks outside the data area as they must be afterwards (all others as before).
    std::vector<std::pair<int, Bytes>> written;
    std::vector<int> dataSectors; // sectors whose data blocks the message may take
    std::string read;             // "<none>": no message
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class ClassicHostile : public testing::TestWithParam<HostileCase> {};

// Nothing of another application and nothing outside the NDEF area changes; a write that
// cannot finish changes nothing at all.
TEST_P(ClassicHostile, OnlyTheNdefAreaChanges) {
    const HostileCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(TagWithBlocks(c.kind, c.blocks));
    const Bytes before = *r.sim.tagMemory(id);
    EXPECT_EQ(c.op(r), c.result);
    if (c.result != 0) {
        EXPECT_EQ(r.LastError(), c.code) << std::hex << r.LastError();
    }
    const Bytes after = *r.sim.tagMemory(id);
    for (int b = 0; b < static_cast<int>(before.size() / 16); ++b) {
        const int sector = b < 128 ? b / 4 : 32 + (b - 128) / 16;
        const bool data = b != Trailer(sector) && std::find(c.dataSectors.begin(), c.dataSectors.end(),
                                                            sector) != c.dataSectors.end();
        const auto w =
            std::find_if(c.written.begin(), c.written.end(), [&](const auto& e) { return e.first == b; });
        if (w != c.written.end()) {
            EXPECT_EQ(Block(r, id, b), w->second) << "block " << b;
        } else if (!data) {
            EXPECT_EQ(Bytes(after.begin() + b * 16, after.begin() + b * 16 + 16),
                      Bytes(before.begin() + b * 16, before.begin() + b * 16 + 16))
                << "block " << b;
        }
    }
    EXPECT_EQ(Reading(r), c.read);
    EXPECT_TRUE(RefusedTrailers(r, id).empty());
}

std::vector<std::pair<int, Bytes>> HalloIn(int sector, const Bytes& trailer) {
    return {{4 * sector, kHalloBlock}, {Trailer(sector), trailer}};
}

INSTANTIATE_TEST_SUITE_P(
    Classic, ClassicHostile,
    testing::Values(
        // Sectors 1-2 belong to application 4810 and have the transport key: the write
        // formats sectors 3-4 only and enters them beside the 4810 entries (CRC 3E).
        HostileCase{
            "other_application_with_transport_keys",
            "classic1k",
            Join(MadBlocks(MadWith(0x35, {}, {1, 2}), kMadSector), OtherApplication(kTransportTrailer)),
            [](TagSimReader& r) { return r.WriteJson(TextJson(5)); },
            0,
            0,
            Join(MadBlocks(MadWith(0x3E, {3, 4}, {1, 2}), kMad1Trailer),
                 {{Trailer(3), kNdefTrailer}, {Trailer(4), kNdefTrailer}}),
            {3, 4},
            TextJson(5)},
        // The same with keys of its own: Format takes sectors 3-15 (CRC D2).
        HostileCase{"format_beside_other_application",
                    "classic1k",
                    Join(MadBlocks(MadWith(0x35, {}, {1, 2}), kMadSector), OtherApplication(kOwnKeysTrailer)),
                    [](TagSimReader& r) { return KQLMX_FormatTag(r.port, nullptr, 0); },
                    0,
                    0,
                    Join(MadBlocks(MadWith(0xD2, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {1, 2}),
                                   kMad1Trailer),
                         {{Trailer(3), kNdefTrailer},
                          {Trailer(4), kNdefTrailer},
                          {Trailer(5), kNdefTrailer},
                          {Trailer(6), kNdefTrailer},
                          {Trailer(7), kNdefTrailer},
                          {Trailer(8), kNdefTrailer},
                          {Trailer(9), kNdefTrailer},
                          {Trailer(10), kNdefTrailer},
                          {Trailer(11), kNdefTrailer},
                          {Trailer(12), kNdefTrailer},
                          {Trailer(13), kNdefTrailer},
                          {Trailer(14), kNdefTrailer},
                          {Trailer(15), kNdefTrailer}}),
                    {3},
                    ""},
        // Sectors 1-14 are the other application's (CRC BB): sector 15 alone holds 48
        // of the 70 bytes, and the write is refused before anything is written.
        HostileCase{"too_little_room_beside_other_application",
                    "classic1k",
                    MadBlocks(MadWith(0xBB, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}), kMadSector),
                    [](TagSimReader& r) { return r.WriteJson(TextJson(60)); },
                    -22,
                    0x20014,
                    {},
                    {},
                    "<none>"},
        // Sector 2 read-only in the middle of the NDEF sectors (CRC E8): 48 bytes of
        // room before it, none behind it; the old message stays.
        HostileCase{"read_only_sector_in_the_middle",
                    "classic1k",
                    Join(Join(MadBlocks(Mad(0xE8, 0x00, {1, 2}, 15), kMad1Trailer), HalloIn(1, kNdefTrailer)),
                         {{Trailer(2), kNdefLocked}}),
                    [](TagSimReader& r) { return r.WriteJson(TextJson(60)); },
                    -22,
                    0x20014,
                    {},
                    {},
                    kHallo},
        // NULL TLVs fill sector 1; the message lies in sector 2, which is read-only: the
        // write is refused as write-protected, before anything is written.
        HostileCase{"message_sector_read_only",
                    "classic1k",
                    Join(Join(MadBlocks(Mad(0xE8, 0x00, {1, 2}, 15), kMad1Trailer), HalloIn(2, kNdefLocked)),
                         {{Trailer(1), kNdefTrailer}}),
                    [](TagSimReader& r) { return r.WriteJson(TextJson(3)); },
                    -1,
                    kTagWriteProtected,
                    {},
                    {},
                    kHallo},
        // Sector 3 was given the NFC key by a write that was cut short before the MAD
        // listed it: the next write takes it (CRC 55).
        HostileCase{"keyed_sector_the_mad_does_not_list",
                    "classic1k",
                    Join(Join(MadBlocks(Mad(0xE8, 0x00, {1, 2}, 15), kMad1Trailer), HalloIn(1, kNdefTrailer)),
                         {{Trailer(2), kNdefTrailer}, {Trailer(3), kNdefTrailer}}),
                    [](TagSimReader& r) { return r.WriteJson(TextJson(100)); },
                    0,
                    0,
                    MadBlocks(Mad(0x55, 0x00, {1, 2, 3}, 15), kMad1Trailer),
                    {1, 2, 3},
                    TextJson(100)},
        // A 4K with MAD1 only (GPB C1; CRC DB): read from sector 1, grown into sector 2
        // (CRC E8); sector 16, not described by any MAD, stays as it is.
        HostileCase{"4k_with_mad1_only",
                    "classic4k",
                    Join(Join(MadBlocks(Mad(0xDB, 0x00, {1}, 15), kMad1Trailer), HalloIn(1, kNdefTrailer)),
                         {{64, Bytes(16, 0xA5)}}),
                    [](TagSimReader& r) { return r.WriteJson(TextJson(60)); },
                    0,
                    0,
                    Join(MadBlocks(Mad(0xE8, 0x00, {1, 2}, 15), kMad1Trailer), {{Trailer(2), kNdefTrailer}}),
                    {1, 2},
                    TextJson(60)},
        // NDEF sectors with a key B of another program, or with access bits that make
        // key B readable (and so no key): the lock is refused, as one that key B cannot
        // do, before the MAD sector is locked.
        HostileCase{"lock_beside_foreign_key_b",
                    "classic1k",
                    Join(Join(MadBlocks(Mad(0xE8, 0x00, {1, 2}, 15), kMad1Trailer),
                              HalloIn(1, Hex("D3 F7 D3 F7 D3 F7 7F 07 88 40 12 34 56 78 9A BC"))),
                         {{Trailer(2), Hex("D3 F7 D3 F7 D3 F7 7F 07 88 40 12 34 56 78 9A BC")}}),
                    [](TagSimReader& r) { return KQLMX_LockTag(r.port, nullptr, 0); },
                    -1,
                    0x20005,
                    {},
                    {},
                    kHallo},
        HostileCase{"lock_beside_readable_key_b",
                    "classic1k",
                    Join(Join(MadBlocks(Mad(0xE8, 0x00, {1, 2}, 15), kMad1Trailer),
                              HalloIn(1, Hex("D3 F7 D3 F7 D3 F7 FF 07 80 40 FF FF FF FF FF FF"))),
                         {{Trailer(2), Hex("D3 F7 D3 F7 D3 F7 FF 07 80 40 FF FF FF FF FF FF")}}),
                    [](TagSimReader& r) { return KQLMX_LockTag(r.port, nullptr, 0); },
                    -1,
                    0x20005,
                    {},
                    {},
                    kHallo},
        // Sector 3 alone lies between sectors of application 4810 (1-2, 4): the 110
        // bytes go to the free sectors 5-7 behind (CRC 1D); sector 3 stays free.
        HostileCase{
            "free_run_behind_other_application",
            "classic1k",
            Join(MadBlocks(MadWith(0x8F, {}, {1, 2, 4}), kMad1Trailer), OtherApplication(kTransportTrailer)),
            [](TagSimReader& r) { return r.WriteJson(TextJson(100)); },
            0,
            0,
            Join(MadBlocks(MadWith(0x1D, {5, 6, 7}, {1, 2, 4}), kMad1Trailer),
                 {{Trailer(5), kNdefTrailer}, {Trailer(6), kNdefTrailer}, {Trailer(7), kNdefTrailer}}),
            {5, 6, 7},
            TextJson(100)},
        // A 4K with MAD1 only stays one: a format takes the free sector 15 (CRC C0) and
        // neither writes a MAD2 over sector 16 nor takes sectors behind it; a sector 16
        // with keys of another program does not stand in the way of a write (CRC 02).
        HostileCase{
            "4k_with_mad1_only_formatted",
            "classic4k",
            Join(MadBlocks(MadWith(0xBB, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}), kMad1Trailer),
                 {{64, Bytes(16, 0xA5)}}),
            [](TagSimReader& r) { return KQLMX_FormatTag(r.port, nullptr, 0); },
            0,
            0,
            Join(MadBlocks(MadWith(0xC0, {15}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}),
                           kMad1Trailer),
                 {{Trailer(15), kNdefTrailer}}),
            {15},
            ""},
        HostileCase{
            "4k_with_mad1_only_and_a_foreign_sector_16",
            "classic4k",
            Join(MadBlocks(MadWith(0x35, {}, {1, 2}), kMad1Trailer),
                 {{64, Bytes(16, 0xA5)}, {67, kOwnKeysTrailer}}),
            [](TagSimReader& r) { return r.WriteJson(TextJson(100)); },
            0,
            0,
            Join(MadBlocks(MadWith(0x02, {3, 4, 5}, {1, 2}), kMad1Trailer),
                 {{Trailer(3), kNdefTrailer}, {Trailer(4), kNdefTrailer}, {Trailer(5), kNdefTrailer}}),
            {3, 4, 5},
            TextJson(100)},
        // Sector 0 without the MAD flag (GPB 69) holds another program's bytes, not a
        // directory: the MAD written over them names sectors 1-2 and leaves the others
        // free (info byte 00, CRC E8).
        HostileCase{"tag_without_mad",
                    "classic1k",
                    {{1, Hex("11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 10")},
                     {2, Hex("21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30")}},
                    [](TagSimReader& r) { return r.WriteJson(TextJson(20)); },
                    0,
                    0,
                    Join(MadBlocks(Mad(0xE8, 0x00, {1, 2}, 15), kMad1Trailer),
                         {{Trailer(1), kNdefTrailer}, {Trailer(2), kNdefTrailer}}),
                    {1, 2},
                    TextJson(20)},
        // Sector 1 read-only by its GPB (43) alone, its access bits still 7F 07 88: the
        // lock locks it for the tag's sake (CRC DB over the entry of sector 1).
        HostileCase{"lock_sector_read_only_by_gpb_only",
                    "classic1k",
                    Join(MadBlocks(Mad(0xDB, 0x00, {1}, 15), kMad1Trailer),
                         HalloIn(1, Hex("D3 F7 D3 F7 D3 F7 7F 07 88 43 FF FF FF FF FF FF"))),
                    [](TagSimReader& r) { return KQLMX_LockTag(r.port, nullptr, 0); },
                    0,
                    0,
                    {{3, kMad1Locked}, {Trailer(1), kNdefLocked}},
                    {},
                    kHallo},
        // NDEF sectors 1-2 and 4-5 around application 4810 in sector 3 (CRC A8): all
        // four are locked, sector 3 stays as it is.
        HostileCase{
            "lock_ndef_around_other_application",
            "classic1k",
            Join(Join(MadBlocks(MadWith(0xA8, {1, 2, 4, 5}, {3}), kMad1Trailer), HalloIn(1, kNdefTrailer)),
                 {{Trailer(2), kNdefTrailer},
                  {12, Bytes(16, 0xA5)},
                  {Trailer(3), kOwnKeysTrailer},
                  {Trailer(4), kNdefTrailer},
                  {Trailer(5), kNdefTrailer}}),
            [](TagSimReader& r) { return KQLMX_LockTag(r.port, nullptr, 0); },
            0,
            0,
            {{3, kMad1Locked},
             {Trailer(1), kNdefLocked},
             {Trailer(2), kNdefLocked},
             {Trailer(4), kNdefLocked},
             {Trailer(5), kNdefLocked}},
            {},
            kHallo},
        // A format beside application 4810 cut between MAD blocks 1 and 2: block 1 lists
        // sectors 3-7 under the CRC of the whole update (D2), block 2 is still empty,
        // sectors 8-15 have the NFC key. Run again, the format completes the MAD.
        HostileCase{
            "torn_mad_format_run_again",
            "classic1k",
            Join(Join(MadBlocks(Part(MadWith(0xD2, {3, 4, 5, 6, 7}, {1, 2}), 0, 16), kMad1Trailer),
                      OtherApplication(kOwnKeysTrailer)),
                 {{Trailer(3), kNdefTrailer},
                  {Trailer(4), kNdefTrailer},
                  {Trailer(5), kNdefTrailer},
                  {Trailer(6), kNdefTrailer},
                  {Trailer(7), kNdefTrailer},
                  {Trailer(8), kNdefTrailer},
                  {Trailer(9), kNdefTrailer},
                  {Trailer(10), kNdefTrailer},
                  {Trailer(11), kNdefTrailer},
                  {Trailer(12), kNdefTrailer},
                  {Trailer(13), kNdefTrailer},
                  {Trailer(14), kNdefTrailer},
                  {Trailer(15), kNdefTrailer}}),
            [](TagSimReader& r) { return KQLMX_FormatTag(r.port, nullptr, 0); },
            0,
            0,
            MadBlocks(MadWith(0xD2, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {1, 2}), kMad1Trailer),
            {3},
            ""},
        // A 4K whose MAD2 sector has a key B of another program: the message may still
        // grow through the MAD1's sectors, and the excess is counted against them (815
        // bytes of TLV area for 720).
        HostileCase{"4k_with_foreign_mad2_key_b",
                    "classic4k",
                    Join(Join(MadBlocks(Mad(0xDB, 0x00, {1}, 15), kMad2Trailer), HalloIn(1, kNdefTrailer)),
                         {{64, Part(Mad(0x16, 0x00, {}, 23), 0, 16)},
                          {67, Hex("A0 A1 A2 A3 A4 A5 78 77 88 C2 22 22 22 22 22 22")}}),
                    [](TagSimReader& r) { return r.WriteJson(TextJson(800)); },
                    -95,
                    0x20014,
                    {},
                    {},
                    kHallo},
        // ... and a message longer than its sectors 1-15 (720 bytes) is refused.
        HostileCase{"4k_with_mad1_only_too_long",
                    "classic4k",
                    Join(MadBlocks(Mad(0xDB, 0x00, {1}, 15), kMad1Trailer), HalloIn(1, kNdefTrailer)),
                    [](TagSimReader& r) { return r.WriteJson(TextJson(800)); },
                    -95,
                    0x20014,
                    {},
                    {},
                    kHallo}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kqtest
