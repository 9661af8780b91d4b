// ISO 15693 tags as NFC Forum Type 5 tags through the flat API of libkqlmx, over a pty,
// against the simulator's ISO 15693 profiles. Expected memory is written out by hand
// from the NFC Forum Type 5 Tag layout: CC E1, version 1.0 and access (40; 43 read-only),
// data size / 8 (at most FF), byte 3 bit 0 "Read multiple blocks supported"; the TLV
// area follows the CC: in block 1 on 4-byte blocks, inside block 0 on larger ones.
#include "TagSimReader.h"
#include "kqlmx.h"
#include "sim/Iso15693Tag.h"
#include "sim/TagImage.h"

#include <gtest/gtest.h>

namespace kqtest {
namespace {

using kqsim::Iso15693Tag;
using kqsim::TagId;

constexpr int kTagNoTag = 0x20001;
constexpr int kTagNotFormatted = 0x20004;
constexpr int kTagFormat = 0x2000B;
constexpr int kTagNewer = 0x2000C;
constexpr int kTagOlder = 0x2000D;
constexpr int kTagWriteProtected = 0x2000E;
constexpr int kTagNfcWriteProtection = 0x20010;
constexpr int kTagWithoutContent = 0x20016;

constexpr uint8_t kReadSingle = 0x20, kWriteSingle = 0x21, kLock = 0x22, kReadMultiple = 0x23;

// Text record "Hallo" (UTF-8, "en") in an NDEF Message TLV, then the Terminator.
const Bytes kHalloTlv = Hex("03 0C D1 01 08 54 02 65 6E 48 61 6C 6C 6F FE");
const std::string kHallo = R"({"TEXT" : {"TITLE" : "Hallo"}})";

std::string TextJson(const std::string& text) {
    return R"({"TEXT" : {"TITLE" : ")" + text + R"("}})";
}

// The ISO 15693 command codes the reader sent, in order.
std::vector<uint8_t> IsoCommands(const TagSimReader& r) {
    std::vector<uint8_t> codes;
    for (const Bytes& c : r.Commands(0x20))
        if (c.size() > 2) codes.push_back(c[2]);
    return codes;
}

size_t Count(const std::vector<uint8_t>& codes, uint8_t code) {
    return std::count(codes.begin(), codes.end(), code);
}

std::vector<bool> LockedBlocks(TagSimReader& r, TagId id) {
    std::vector<bool> locked;
    r.sim.withTag(id, [&](kqsim::Tag& tag) {
        const Iso15693Tag& t = *tag.asIso15693();
        for (int b = 0; b < t.blockCount(); ++b)
            locked.push_back(t.blockLocked(b));
    });
    return locked;
}

std::unique_ptr<Iso15693Tag> TagWithBlocks(const char* kind, const std::vector<std::pair<int, Bytes>>& blocks,
                                           const char* locked = "") {
    kqsim::TagImage image;
    image.set("kind", kind);
    image.set("locked", locked);
    for (const auto& [index, bytes] : blocks)
        image.setRow("block", index, bytes);
    std::string error;
    auto tag = Iso15693Tag::load(image, error);
    EXPECT_TRUE(tag) << error;
    return tag;
}

// --- every profile: format on the way, read back, lock, lock again -------------------

struct ProfileCase {
    const char* kind;
    Bytes cc; // what formatting writes
    int blockSize;
    int lockedBlocks;  // the blocks that hold the data area
    bool readsGrouped; // the CC says the tag takes Read multiple blocks
};

class Iso15693Profile : public testing::TestWithParam<ProfileCase> {};

TEST_P(Iso15693Profile, WritesReadsAndLocksTwice) {
    const ProfileCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(Iso15693Tag::blank(c.kind));
    ASSERT_NE(id, 0u);
    ASSERT_EQ(r.WriteJson(kHallo), 0) << std::hex << r.LastError();
    // The CC, then the TLV area right behind it, whatever the block size.
    const Bytes memory = *r.sim.tagMemory(id);
    Bytes expected = Cat({c.cc, kHalloTlv});
    expected.resize((expected.size() + c.blockSize - 1) / c.blockSize * c.blockSize, 0x00);
    ASSERT_GE(memory.size(), expected.size());
    EXPECT_EQ(Bytes(memory.begin(), memory.begin() + static_cast<long>(expected.size())), expected);

    r.ClearLog();
    EXPECT_EQ(r.ReadJson(), kHallo);
    EXPECT_EQ(Count(IsoCommands(r), kReadMultiple) > 0, c.readsGrouped);

    ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << std::hex << r.LastError();
    EXPECT_EQ((*r.sim.tagMemory(id))[1], 0x43) << "CC write access 11: read-only";
    const std::vector<bool> locked = LockedBlocks(r, id);
    for (size_t b = 0; b < locked.size(); ++b)
        EXPECT_EQ(locked[b], static_cast<int>(b) < c.lockedBlocks) << "block " << b;

    r.ClearLog();
    EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << "locked before";
    EXPECT_EQ(Count(IsoCommands(r), kLock), 0u);
    EXPECT_EQ(r.WriteJson(TextJson("neu")), -1);
    EXPECT_EQ(r.LastError(), kTagNfcWriteProtection);
    EXPECT_EQ(r.ReadJson(), kHallo);
}

// Data sizes: 28 x 4 = 112 (0E), 8 x 4 assumed by the host for the tag without system
// information and for the one without memory size (04), 32 x 8 = 256 (20), 32 x 4 = 128
// (10), 64 x 32 = 2048 bytes, of which the size byte states 2040 (FF), in all 64 blocks.
INSTANTIATE_TEST_SUITE_P(Iso15693, Iso15693Profile,
                         testing::Values(ProfileCase{"icode", Hex("E1 40 0E 01"), 4, 28, true},
                                         ProfileCase{"iso15693-ti", Hex("E1 40 04 01"), 4, 8, true},
                                         ProfileCase{"iso15693-custom", Hex("E1 40 20 00"), 8, 32, false},
                                         ProfileCase{"iso15693-multi", Hex("E1 40 10 01"), 4, 32, true},
                                         ProfileCase{"iso15693-32", Hex("E1 40 FF 01"), 32, 64, true},
                                         ProfileCase{"iso15693-nomulti", Hex("E1 40 0E 00"), 4, 28, false},
                                         ProfileCase{"iso15693-noinfo", Hex("E1 40 04 01"), 4, 8, true},
                                         ProfileCase{"iso15693-lossy", Hex("E1 40 0E 01"), 4, 28, true},
                                         // No system information: 8-byte blocks as block 0 reads, 8 assumed.
                                         ProfileCase{"iso15693-8noinfo", Hex("E1 40 08 01"), 8, 8, true}),
                         [](const auto& info) {
                             std::string name = info.param.kind;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The 8-byte CC another program wrote (byte 2 00, the size / 8 in bytes 6-7): read, and
// written behind without a change to the CC, with the whole room it states. "Hallo"
// lies right behind the CC: in block 0 of a 16-byte block tag, from block 2 on a tag
// of 4-byte blocks (CC E1 40 00 01 / 00 00 00 0D: 13 x 8 = 104 bytes behind it).
struct LongCcCase {
    const char* name;
    const char* kind;
    std::vector<std::pair<int, Bytes>> blocks;
    size_t written; // characters of the text written afterwards
};

class Iso15693LongCc : public testing::TestWithParam<LongCcCase> {};

TEST_P(Iso15693LongCc, ReadAndWrittenWithTheRoomItStates) {
    const LongCcCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(TagWithBlocks(c.kind, c.blocks));
    auto ccNow = [&] {
        const Bytes memory = *r.sim.tagMemory(id);
        return Bytes(memory.begin(), memory.begin() + 8);
    };
    const Bytes cc = ccNow();
    EXPECT_EQ(r.ReadJson(), kHallo) << std::hex << r.LastError();
    const std::string json = TextJson(std::string(c.written, 'x'));
    ASSERT_EQ(r.WriteJson(json), 0) << std::hex << r.LastError();
    EXPECT_EQ(ccNow(), cc);
    EXPECT_EQ(r.ReadJson(), json);
}

INSTANTIATE_TEST_SUITE_P(
    Iso15693, Iso15693LongCc,
    testing::Values(LongCcCase{"blocks_of_16",
                               "iso15693-4k",
                               {{0, Cat({Hex("E1 40 00 01 00 00 01 FF"),
                                         Bytes(kHalloTlv.begin(), kHalloTlv.begin() + 8)})},
                                {1, Cat({Bytes(kHalloTlv.begin() + 8, kHalloTlv.end()), Bytes(9, 0x00)})}},
                               2100},
                    LongCcCase{"blocks_of_4",
                               "icode",
                               {{0, Hex("E1 40 00 01")},
                                {1, Hex("00 00 00 0D")},
                                {2, Hex("03 0C D1 01")},
                                {3, Hex("08 54 02 65")},
                                {4, Hex("6E 48 61 6C")},
                                {5, Hex("6C 6F FE 00")}},
                               80}),
    [](const auto& info) { return std::string(info.param.name); });

// --- what a write finds on the tag ---------------------------------------------------

struct FoundCase {
    const char* name;
    Bytes block0;
    bool format; // the format call instead of a write
    int code;    // 0: written
};

class Iso15693Found : public testing::TestWithParam<FoundCase> {};

// A write formats only a tag without NFC format; a tag of another mapping version is
// left as it is, unless the user asks for a format.
TEST_P(Iso15693Found, FormatsOnlyWhatIsNotFormatted) {
    const FoundCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(TagWithBlocks("icode", {{0, c.block0}}));
    const Bytes before = *r.sim.tagMemory(id);
    const int result = c.format ? KQLMX_FormatTag(r.port, nullptr, 0) : r.WriteJson(kHallo);
    if (c.code != 0) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(r.LastError(), c.code);
        EXPECT_EQ(*r.sim.tagMemory(id), before);
        EXPECT_EQ(Count(IsoCommands(r), kWriteSingle), 0u);
        return;
    }
    ASSERT_EQ(result, 0) << std::hex << r.LastError();
    EXPECT_EQ(r.Pages(id, 0, 1), Hex("E1 40 0E 01"));
    EXPECT_EQ(r.Pages(id, 1, 1), c.format ? Hex("03 03 D0 00") : Hex("03 0C D1 01"));
}

INSTANTIATE_TEST_SUITE_P(
    Iso15693, Iso15693Found,
    testing::Values(FoundCase{"blank", Hex("00 00 00 00"), false, 0},
                    FoundCase{"cc_without_ndef_tlv", Hex("E1 40 0E 01"), false, 0},
                    // Another program's CC that keeps reading to itself: Format alone rewrites it.
                    FoundCase{"read_access_not_free", Hex("E1 44 0E 01"), false, 0x2000F},
                    FoundCase{"read_access_not_free_formatted", Hex("E1 44 0E 01"), true, 0},
                    FoundCase{"newer_version", Hex("E1 80 0E 01"), false, kTagNewer},
                    FoundCase{"older_version", Hex("E1 30 0E 01"), false, kTagOlder},
                    FoundCase{"newer_version_formatted", Hex("E1 80 0E 01"), true, 0},
                    FoundCase{"older_version_formatted", Hex("E1 30 0E 01"), true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A locked block in the way: on a formatted tag the write is refused before anything is
// written; on a blank tag whose block 0 is locked the format fails, and the message is
// not written without its CC either.
TEST(Iso15693Write, LockedBlockIsFoundBeforeAnythingIsWritten) {
    struct Case {
        std::vector<std::pair<int, Bytes>> blocks;
        const char* locked;
        int code;
    };
    for (const Case& c : {Case{{{0, Hex("E1 40 0E 01")}, {1, Hex("03 00 FE 00")}}, "3", kTagWriteProtected},
                          Case{{}, "0", kTagFormat}}) {
        TagSimReader r;
        const TagId id = r.sim.placeTag(TagWithBlocks("icode", c.blocks, c.locked));
        const Bytes before = *r.sim.tagMemory(id);
        EXPECT_EQ(r.WriteJson(kHallo), -1);
        EXPECT_EQ(r.LastError(), c.code);
        EXPECT_EQ(*r.sim.tagMemory(id), before);
        EXPECT_EQ(Count(IsoCommands(r), kWriteSingle), 0u);
    }
}

// Room: 112 bytes less the CC on 4-byte blocks; 2040 bytes (the size byte's most) less
// the CC on the 32-byte one, whose area starts inside block 0. A text of n characters
// takes 10 + n bytes of TLV area (15 + n from 248 on: three length bytes and a long
// record header).
TEST(Iso15693Write, MessageThatDoesNotFitIsRefusedWithItsExcess) {
    struct Case {
        const char* kind;
        int fits;
    };
    for (const Case& c : {Case{"icode", 98}, Case{"iso15693-32", 2021}}) {
        SCOPED_TRACE(c.kind);
        TagSimReader r;
        const TagId id = r.sim.placeTag(Iso15693Tag::blank(c.kind));
        ASSERT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), 0);
        const Bytes formatted = *r.sim.tagMemory(id);
        EXPECT_EQ(r.WriteJson(TextJson(std::string(static_cast<size_t>(c.fits) + 3, 'x'))), -3);
        EXPECT_EQ(r.LastError(), KQLMX_ERROR_MESSAGE_TOO_LARGE);
        EXPECT_EQ(*r.sim.tagMemory(id), formatted);
        const std::string json = TextJson(std::string(static_cast<size_t>(c.fits), 'x'));
        ASSERT_EQ(r.WriteJson(json), 0) << std::hex << r.LastError();
        EXPECT_EQ(r.ReadJson(), json);
    }
    // A CC that claims 256 bytes on a tag of 112: the tag's own size counts, and the
    // message that would run off its end is refused before anything is written.
    TagSimReader r;
    const TagId id =
        r.sim.placeTag(TagWithBlocks("icode", {{0, Hex("E1 40 20 01")}, {1, Hex("03 00 FE 00")}}));
    EXPECT_EQ(r.WriteJson(TextJson(std::string(101, 'x'))), -3) << std::hex << r.LastError();
    EXPECT_EQ(r.LastError(), KQLMX_ERROR_MESSAGE_TOO_LARGE);
    EXPECT_EQ(r.Pages(id, 1, 1), Hex("03 00 FE 00"));
}

// Groups of eight blocks from block 1; a tag whose CC promises Read multiple blocks
// that it then refuses is read again block by block, and its message is found once.
TEST(Iso15693Read, GroupsOfEightAndTheSingleBlockFallback) {
    const std::string json = TextJson(std::string(60, 'y')); // 70 bytes of TLV area: blocks 1-18
    {
        TagSimReader r;
        r.sim.placeTag(Iso15693Tag::blank("icode"));
        ASSERT_EQ(r.WriteJson(json), 0);
        r.ClearLog();
        EXPECT_EQ(r.ReadJson(), json);
        std::vector<Bytes> groups;
        for (const Bytes& c : r.Commands(0x20))
            if (c[2] == kReadMultiple) groups.emplace_back(c.end() - 2, c.end());
        EXPECT_EQ(groups, (std::vector<Bytes>{Hex("01 07"), Hex("09 07"), Hex("11 07")}));
    }
    TagSimReader r;
    r.sim.placeTag(Iso15693Tag::blank("iso15693-nomulti"));
    ASSERT_EQ(r.WriteJson(json), 0);
    // The CC now says the tag takes Read multiple blocks, which it does not.
    ASSERT_EQ(KQLMX_Iso15693WriteBlocks(r.port, 0, Hex("E1 40 0E 01").data(), 4, nullptr, 0, 0), 0);
    r.ClearLog();
    char text[256] = {};
    ASSERT_EQ(KQLMX_ReadTag(r.port, text, sizeof text), static_cast<int>(json.size()));
    EXPECT_EQ(std::string(text), json);
    const std::vector<uint8_t> codes = IsoCommands(r);
    EXPECT_EQ(Count(codes, kReadMultiple), 1u);
    EXPECT_GE(Count(codes, kReadSingle), 18u);
}

// The tag answers the first block write of a longer message, then no more (it still
// wrote the second block): it holds no message, not the new message's head on the old
// one's tail. A dry run on a copy of the tag finds where the second write goes out.
TEST(Iso15693Write, HalfWrittenTagReadsAsHoldingNoMessage) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Iso15693Tag::blank("icode"));
    ASSERT_EQ(r.WriteJson(TextJson(std::string(30, 'a'))), 0);
    kqsim::TagImage image;
    r.sim.withTag(id, [&](kqsim::Tag& tag) { tag.save(image); });
    const std::string json = TextJson(std::string(40, 'b'));
    r.ClearLog();
    ASSERT_EQ(r.WriteJson(json), 0);
    int secondWrite = -1, writes = 0, n = 0;
    for (const Bytes& c : r.Commands(0x20)) {
        if (c.size() > 2 && c[2] == kWriteSingle && ++writes == 2) secondWrite = n;
        if (secondWrite < 0) ++n;
    }
    ASSERT_GT(secondWrite, 0);
    std::string error;
    const TagId copy = r.sim.swapTag(id, Iso15693Tag::load(image, error));
    r.sim.inject(kqsim::Fault::status(0x01).forCommand(0x20).after(secondWrite).always());
    EXPECT_EQ(r.WriteJson(json), -1);
    r.sim.clearFaults();
    EXPECT_EQ(r.Pages(copy, 1, 1)[0], 0xFE) << "a Terminator where the NDEF Message TLV begins";
    EXPECT_EQ(r.ReadJson(), "");
}

// A CC that states 32 bytes on a tag of 28 blocks: making it read-only locks all 28,
// not only the eight the CC names.
TEST(Iso15693Lock, EveryBlockOfTheTagBehindASmallCc) {
    TagSimReader r;
    const TagId id =
        r.sim.placeTag(TagWithBlocks("icode", {{0, Hex("E1 40 04 01")}, {1, Hex("03 00 FE 00")}}));
    ASSERT_EQ(r.WriteJson(kHallo), 0) << std::hex << r.LastError();
    ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << std::hex << r.LastError();
    const std::vector<bool> locked = LockedBlocks(r, id);
    EXPECT_EQ(std::count(locked.begin(), locked.end(), true), 28);
    EXPECT_EQ(r.Pages(id, 0, 1), Hex("E1 43 04 01"));
    EXPECT_EQ(r.ReadJson(), kHallo);
}

TEST(Iso15693Lock, EmptyTagAndARefusedLock) {
    {
        TagSimReader r;
        const TagId id = r.sim.placeTag(Iso15693Tag::blank("icode"));
        ASSERT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), 0);
        EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), -1);
        EXPECT_EQ(r.LastError(), kTagWithoutContent);
        EXPECT_EQ(r.Pages(id, 0, 1), Hex("E1 40 0E 01"));
        const std::vector<bool> locked = LockedBlocks(r, id);
        EXPECT_EQ(std::count(locked.begin(), locked.end(), true), 0);
    }
    {
        TagSimReader r;
        EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), -1) << "no tag";
        r.sim.placeTag(Iso15693Tag::blank("icode"));
        EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), -1);
        EXPECT_EQ(r.LastError(), kTagNotFormatted);
    }
    // The tag is taken away after the lock of block 4: the lock of block 5 fails, and
    // the tag is told as gone.
    TagSimReader r;
    const TagId id = r.sim.placeTag(Iso15693Tag::blank("icode"));
    ASSERT_EQ(r.WriteJson(kHallo), 0);
    r.ClearLog();
    ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0);
    // The tag commands up to the first lock (type A request first, then the ISO ones).
    int beforeLock = 0;
    for (const Bytes& c : r.Commands()) {
        if (c[0] == 0x20 && c[2] == kLock) break;
        if (c[0] == 0x20 || c[0] == 0x30 || c[0] == 0x31) ++beforeLock;
    }
    r.sim.removeTag(id);
    const TagId other = r.sim.placeTag(Iso15693Tag::blank("icode"));
    ASSERT_EQ(r.WriteJson(kHallo), 0);
    r.sim.removeTagAfter(other, beforeLock + 5);
    EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), -1);
    EXPECT_EQ(r.LastError(), kTagNoTag);
}

// --- tags written by other programs ---------------------------------------------------

struct HostileCase {
    const char* name;
    std::vector<std::pair<int, Bytes>> blocks;
    const char* locked;
    std::string json; // written
    int result;
    int code;                                   // when result != 0
    std::vector<std::pair<int, Bytes>> written; // blocks as they must be afterwards (all others as before)
    std::string read;                           // "<none>": no message
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class Iso15693Hostile : public testing::TestWithParam<HostileCase> {};

// Only the blocks of the message change; a write that cannot finish changes nothing and
// leaves the old message readable.
TEST_P(Iso15693Hostile, OnlyTheMessageBlocksChange) {
    const HostileCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(TagWithBlocks("icode", c.blocks, c.locked));
    const Bytes before = *r.sim.tagMemory(id);
    EXPECT_EQ(r.WriteJson(c.json), c.result);
    if (c.result != 0) {
        EXPECT_EQ(r.LastError(), c.code) << std::hex << r.LastError();
    }
    for (int b = 0; b < 28; ++b) {
        const auto w =
            std::find_if(c.written.begin(), c.written.end(), [&](const auto& e) { return e.first == b; });
        EXPECT_EQ(r.Pages(id, b, 1), w != c.written.end()
                                         ? w->second
                                         : Bytes(before.begin() + 4 * b, before.begin() + 4 * b + 4))
            << "block " << b;
    }
    EXPECT_EQ(Reading(r), c.read);
}

// "Hallo" in blocks 1-4 behind a CC of 112 bytes.
std::vector<std::pair<int, Bytes>> HalloTag(const Bytes& cc) {
    return {{0, cc},
            {1, Hex("03 0C D1 01")},
            {2, Hex("08 54 02 65")},
            {3, Hex("6E 48 61 6C")},
            {4, Hex("6C 6F FE 00")},
            {5, Hex("A5 A5 A5 A5")},
            {9, Hex("A6 A6 A6 A6")},
            {27, Hex("A7 A7 A7 A7")}};
}

INSTANTIATE_TEST_SUITE_P(
    Iso15693, Iso15693Hostile,
    testing::Values(
        // A CC that states 32 bytes (04) on a tag of 112: the blocks behind it are not
        // the NDEF area. "Hi" (03 09 D1 01 05 54 02 65 6E 48 69 FE) takes blocks 1-3.
        HostileCase{"cc_smaller_than_the_tag",
                    HalloTag(Hex("E1 40 04 01")),
                    "",
                    TextJson("Hi"),
                    0,
                    0,
                    {{1, Hex("03 09 D1 01")}, {2, Hex("05 54 02 65")}, {3, Hex("6E 48 69 FE")}},
                    TextJson("Hi")},
        // ... and 30 bytes of TLV area do not fit in its 28: refused, nothing written.
        HostileCase{"message_longer_than_the_cc_says",
                    HalloTag(Hex("E1 40 04 01")),
                    "",
                    TextJson(std::string(20, 'x')),
                    -2,
                    0x20014,
                    {},
                    kHallo},
        // Block 6 locked in the middle of the area: a message that would reach it is
        // refused before its first block; one that ends before it is written.
        HostileCase{"locked_block_in_the_way",
                    HalloTag(Hex("E1 40 0E 01")),
                    "6",
                    TextJson(std::string(20, 'x')),
                    -1,
                    kTagWriteProtected,
                    {},
                    kHallo},
        HostileCase{"locked_block_behind_the_message",
                    HalloTag(Hex("E1 40 0E 01")),
                    "6",
                    TextJson("Hi"),
                    0,
                    0,
                    {{1, Hex("03 09 D1 01")}, {2, Hex("05 54 02 65")}, {3, Hex("6E 48 69 FE")}},
                    TextJson("Hi")},
        // A Lock Control TLV (01 03 A0 10 44) in front of the NDEF Message TLV stays; the
        // message follows it from byte 1 of block 2.
        HostileCase{"lock_control_tlv_in_front",
                    {{0, Hex("E1 40 0E 01")},
                     {1, Hex("01 03 A0 10")},
                     {2, Hex("44 03 0C D1")},
                     {3, Hex("01 08 54 02")},
                     {4, Hex("65 6E 48 61")},
                     {5, Hex("6C 6C 6F FE")}},
                    "",
                    TextJson("xyz"),
                    0,
                    0,
                    {{2, Hex("44 03 0A D1")},
                     {3, Hex("01 06 54 02")},
                     {4, Hex("65 6E 78 79")},
                     {5, Hex("7A FE 00 00")}},
                    TextJson("xyz")},
        // A blank tag and a message longer than its 108 bytes of area: refused before the
        // CC is written, so that the tag stays blank.
        HostileCase{"blank_tag_message_too_long",
                    {},
                    "",
                    TextJson(std::string(120, 'x')),
                    -22,
                    0x20014,
                    {},
                    "<none>"},
        // A CC that claims 2040 bytes (FF) on a tag of 112: a message longer than the
        // tag's 108 bytes of area is refused before its first block.
        HostileCase{"cc_larger_than_the_tag",
                    HalloTag(Hex("E1 40 FF 01")),
                    "",
                    TextJson(std::string(120, 'x')),
                    -22,
                    0x20014,
                    {},
                    kHallo},
        // A CC that marks the tag read-only (43): nothing is written.
        HostileCase{"read_only_cc",
                    HalloTag(Hex("E1 43 0E 01")),
                    "",
                    TextJson("Hi"),
                    -1,
                    kTagNfcWriteProtection,
                    {},
                    kHallo},
        // ... or keeps writing to another program's means (10, proprietary).
        HostileCase{"proprietary_write_access",
                    HalloTag(Hex("E1 42 0E 01")),
                    "",
                    TextJson("Hi"),
                    -1,
                    kTagNfcWriteProtection,
                    {},
                    kHallo}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kqtest
