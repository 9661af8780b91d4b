// The ISO 15693 flat functions of libkqlmx against the simulator's ICODE-like tags
// (28 blocks of 4 bytes, maker code 04): inventory with collisions, system
// information, memory size, block read, write, lock and security status, and the
// maker variants. Requests are checked as the reader received them: 20, flags byte,
// ISO command, UID when addressed (least significant byte first), parameters.
#include "TagSimReader.h"
#include "kqlmx.h"
#include "sim/Iso15693Tag.h"

#include <gtest/gtest.h>

namespace kqtest {
namespace {

using kqsim::Iso15693Tag;

const Bytes kUid = Hex("78 56 34 12 00 01 04 E0"); // E0 04 01 00 12 34 56 78

// Inventory record: status 00, response flags 00, DSFID 00, UID.
Bytes Record(const Bytes& uid) {
    return Cat({Hex("00 00 00"), uid});
}

int LastError(const TagSimReader& r) {
    return KQLMX_GetLastError(r.port);
}

TEST(Iso15693FlatApi, InventoryResolvesACollisionWithTheSlotInTheMask) {
    for (int type : {0, 2}) {
        SCOPED_TRACE("protocol type " + std::to_string(type));
        TagSimReader r({.protocolType = type});
        unsigned char buf[64];
        EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, KQLMX_ISO15693_DATA_RATE), 0) << "no tag";

        // a and b share their lowest four UID bits (slot 8), c answers in slot 3.
        const Bytes a = Hex("18 00 00 00 00 01 04 E0"), b = Hex("28 00 00 00 00 01 04 E0"),
                    c = Hex("03 00 00 00 00 01 04 E0");
        for (const Bytes& uid : {a, b, c})
            r.sim.placeTag(Iso15693Tag::blank(uid));
        r.ClearLog();
        ASSERT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, KQLMX_ISO15693_DATA_RATE), 33);
        EXPECT_EQ(Bytes(buf, buf + 33), Cat({Record(c), Record(a), Record(b)}));
        // Flags 06 (inventory added), mask length 0; then mask length 4, mask 8. (Type 2
        // puts its mode byte in front.)
        const Bytes head = type == 0 ? Hex("20") : Hex("28 00");
        EXPECT_EQ(r.Commands(),
                  (std::vector<Bytes>{Cat({head, Hex("06 01 00")}), Cat({head, Hex("06 01 04 08")})}));

        EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, 30, KQLMX_ISO15693_DATA_RATE), 22)
            << "whole records only";
        EXPECT_EQ(Bytes(buf, buf + 22), Cat({Record(c), Record(a)}));
    }
}

TEST(Iso15693FlatApi, TagsThatCannotBeToldApartEndAsCollisionAtMaskLength60) {
    TagSimReader r;
    r.sim.placeTag(Iso15693Tag::blank());
    r.sim.placeTag(Iso15693Tag::blank());
    unsigned char buf[64];
    EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, KQLMX_ISO15693_DATA_RATE), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_COLLISION);
    const std::vector<Bytes> requests = r.Commands();
    ASSERT_EQ(requests.size(), 16u) << "mask lengths 0, 4, ... 60 and no further";
    // The last round: mask length 60, eight mask bytes (the UID's low 60 bits).
    EXPECT_EQ(requests.back(), Hex("20 06 01 3C 78 56 34 12 00 01 04 00"));
}

// Catches re-runs that grow sixteen-fold per mask length when a reader reports a
// collision in every slot: without a bound the call would not return.
TEST(Iso15693FlatApi, ReaderReportingCollisionsEverywhereEndsWithinTheRoundBudget) {
    TagSimReader r;
    Bytes collisions;
    for (int i = 0; i < 16; ++i)
        collisions.insert(collisions.end(), {0x01, 0x02});
    r.sim.inject(kqsim::Fault::payload(collisions).always());
    r.ClearLog();
    unsigned char buf[64];
    EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, 0), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_COLLISION);
    EXPECT_EQ(r.Commands().size(), 256u);
}

TEST(Iso15693FlatApi, InventoryAnswersOfTheReader) {
    TagSimReader r;
    unsigned char buf[64];
    // Sixteen one-byte slot records: a good answer without tags.
    Bytes empty;
    for (int i = 0; i < 16; ++i)
        empty.insert(empty.end(), {0x01, 0x00});
    r.sim.inject(kqsim::Fault::payload(empty));
    EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, 0), 0);
    // An answer that ends after three slots, and one whose record runs past its end.
    r.sim.inject(kqsim::Fault::payload(Hex("01 01 01 01 01 01")));
    EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, 0), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_BAD_INVENTORY);
    r.sim.inject(kqsim::Fault::payload(Hex("0B 00 00 00 78 56")));
    EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, 0), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_BAD_INVENTORY);
}

TEST(Iso15693FlatApi, OneSlotInventoryByProtocolType) {
    for (int type : {0, 2, 3}) {
        TagSimReader r({.protocolType = type});
        unsigned char buf[64];
        const int oneSlot = KQLMX_ISO15693_SUBCARRIER | KQLMX_ISO15693_ONE_SLOT;
        // No tag: an empty slot (type 0) or the reader's "no tag" status.
        EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, oneSlot), type == 0 ? 0 : -1) << type;
        if (type != 0) {
            EXPECT_EQ(LastError(r), KQLMX_ERROR_NO_TAG_ANSWER) << type;
        }
        r.sim.placeTag(Iso15693Tag::blank());
        ASSERT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, oneSlot), 11) << type;
        EXPECT_EQ(Bytes(buf, buf + 11), Record(kUid)) << type;
        r.sim.placeTag(Iso15693Tag::blank(Hex("11 56 34 12 00 01 04 E0")));
        EXPECT_EQ(KQLMX_Iso15693Inventory(r.port, buf, sizeof buf, oneSlot), -1) << type;
        EXPECT_EQ(LastError(r), KQLMX_ERROR_COLLISION) << type;
    }
}

TEST(Iso15693FlatApi, SystemInformationAndMemorySize) {
    TagSimReader r;
    r.sim.placeTag(Iso15693Tag::blank());
    unsigned char info[32];
    // Info flags 0F (DSFID, AFI, memory size, IC reference), UID, DSFID 00, AFI 00,
    // 1B (28 blocks), 03 (4 bytes), IC reference 01.
    const Bytes expected = Cat({{0x0F}, kUid, Hex("00 00 1B 03 01")});
    ASSERT_EQ(
        KQLMX_Iso15693GetSystemInfo(r.port, info, sizeof info, kUid.data(), 8, KQLMX_ISO15693_DATA_RATE), 14);
    EXPECT_EQ(Bytes(info, info + 14), expected);
    ASSERT_EQ(KQLMX_Iso15693GetSystemInfo(r.port, info, sizeof info, nullptr, 0, KQLMX_ISO15693_DATA_RATE),
              14);
    EXPECT_EQ(KQLMX_Iso15693GetSystemInfo(r.port, info, 10, kUid.data(), 8, 0), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(r.Commands(), (std::vector<Bytes>{Cat({Hex("20 22 2B"), kUid}), Hex("20 02 2B"),
                                                Cat({Hex("20 20 2B"), kUid})}));

    int blocks = 0, size = 0, maker = 0;
    ASSERT_EQ(KQLMX_Iso15693GetMemorySize(r.port, kUid.data(), 8, &blocks, &size, &maker, 0), 0);
    EXPECT_EQ(blocks, 28);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(maker, 0x04);
    EXPECT_EQ(KQLMX_Iso15693GetMemorySize(r.port, nullptr, 0, nullptr, nullptr, nullptr, 0), 0);

    // Maker 05 variant: built from the UID (byte 5 = 01: 128 blocks of 8 bytes), no
    // request to the tag; without a UID the one-slot inventory finds it.
    r.ClearLog();
    ASSERT_EQ(KQLMX_Iso15693GetSystemInfo(r.port, info, sizeof info, kUid.data(), 8, KQLMX_ISO15693_MAKER_05),
              12);
    EXPECT_EQ(Bytes(info, info + 12), Cat({{0x04}, kUid, Hex("7F 07 00")}));
    EXPECT_TRUE(r.Commands().empty());
    ASSERT_EQ(KQLMX_Iso15693GetSystemInfo(r.port, info, sizeof info, nullptr, 0, KQLMX_ISO15693_MAKER_05),
              12);
    EXPECT_EQ(r.Commands(), std::vector<Bytes>{Hex("20 24 01 00")});
}

TEST(Iso15693FlatApi, BlocksReadWrittenLockedAndTheirSecurity) {
    TagSimReader r;
    const kqsim::TagId id = r.sim.placeTag(Iso15693Tag::blank());
    const Bytes data = Hex("E1 40 0E 01");
    unsigned char out[32];
    const int flags = KQLMX_ISO15693_DATA_RATE;
    ASSERT_EQ(KQLMX_Iso15693WriteBlocks(r.port, 3, data.data(), 4, kUid.data(), 8, flags), 0);
    ASSERT_EQ(KQLMX_Iso15693ReadBlock(r.port, 3, out, sizeof out, kUid.data(), 8, flags), 4);
    EXPECT_EQ(Bytes(out, out + 4), data);
    ASSERT_EQ(
        KQLMX_Iso15693ReadBlock(r.port, 3, out, sizeof out, kUid.data(), 8, flags | KQLMX_ISO15693_OPTION),
        5);
    EXPECT_EQ(Bytes(out, out + 5), Cat({{0x00}, data})) << "security status first";
    ASSERT_EQ(KQLMX_Iso15693ReadBlocks(r.port, 2, 2, out, sizeof out, kUid.data(), 8, flags), 8);
    EXPECT_EQ(Bytes(out, out + 8), Cat({Hex("00 00 00 00"), data}));
    EXPECT_EQ(KQLMX_Iso15693ReadBlock(r.port, 3, out, 3, kUid.data(), 8, flags), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_BUFFER_TOO_SMALL);

    EXPECT_EQ(KQLMX_Iso15693LockBlock(r.port, 3, kUid.data(), 8, flags), 0);
    EXPECT_EQ(KQLMX_Iso15693LockBlock(r.port, 3, kUid.data(), 8, flags), 0) << "locked already counts";
    EXPECT_EQ(KQLMX_GetLastError(r.port), 0);
    EXPECT_EQ(KQLMX_Iso15693WriteBlocks(r.port, 3, data.data(), 4, kUid.data(), 8, flags), -1);
    EXPECT_EQ(LastError(r), 38) << "ISO error 12: block locked";
    ASSERT_EQ(KQLMX_Iso15693GetBlockSecurity(r.port, 2, 3, out, sizeof out, kUid.data(), 8, flags), 3);
    EXPECT_EQ(Bytes(out, out + 3), Hex("00 01 00"));
    EXPECT_EQ(KQLMX_Iso15693GetBlockSecurity(r.port, 2, 3, out, 2, kUid.data(), 8, flags), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_BUFFER_TOO_SMALL);
    r.sim.withTag(id, [](kqsim::Tag& tag) { EXPECT_TRUE(static_cast<Iso15693Tag&>(tag).blockLocked(3)); });

    // Out of range: nothing is sent.
    r.ClearLog();
    for (int count : {0, 257}) {
        EXPECT_EQ(KQLMX_Iso15693ReadBlocks(r.port, 0, count, out, sizeof out, kUid.data(), 8, flags), -1);
        EXPECT_EQ(LastError(r), KQLMX_ERROR_COUNT_RANGE);
        EXPECT_EQ(KQLMX_Iso15693GetBlockSecurity(r.port, 0, count, out, sizeof out, kUid.data(), 8, flags),
                  -1);
        EXPECT_EQ(LastError(r), KQLMX_ERROR_COUNT_RANGE);
    }
    EXPECT_EQ(KQLMX_Iso15693ReadBlock(r.port, 300, out, sizeof out, kUid.data(), 8, flags), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_DATA_TOO_LONG);
    EXPECT_EQ(
        KQLMX_Iso15693ReadBlocks(r.port, 0, 2, out, sizeof out, kUid.data(), 8, KQLMX_ISO15693_MAKER_05), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_UNEXPECTED_ANSWER);
    EXPECT_TRUE(r.Commands().empty());
}

TEST(Iso15693FlatApi, RequestsOfTheVariants) {
    TagSimReader r;
    r.sim.placeTag(Iso15693Tag::blank());
    unsigned char out[32];
    const Bytes data = Hex("01 02 03 04");
    EXPECT_EQ(
        KQLMX_Iso15693ReadBlock(r.port, 1, out, sizeof out, kUid.data(), 8, KQLMX_ISO15693_READ_MULTIPLE), 4);
    EXPECT_EQ(KQLMX_Iso15693ReadBlock(r.port, 1, out, sizeof out, kUid.data(), 8,
                                      KQLMX_ISO15693_RAW_FLAGS | KQLMX_ISO15693_DATA_RATE),
              4);
    EXPECT_EQ(KQLMX_Iso15693WriteBlocks(r.port, 1, data.data(), 4, kUid.data(), 8,
                                        KQLMX_ISO15693_WRITE_OPTION | KQLMX_ISO15693_SUBCARRIER |
                                            KQLMX_ISO15693_NO_SUBCARRIER),
              0);
    // The custom read of maker 05: a tag of another maker stays silent.
    EXPECT_EQ(KQLMX_Iso15693ReadBlock(r.port, 1, out, sizeof out, kUid.data(), 8, KQLMX_ISO15693_MAKER_05),
              -1);
    EXPECT_NE(LastError(r), 0);
    EXPECT_EQ(r.Commands(),
              (std::vector<Bytes>{Cat({Hex("20 20 23"), kUid, Hex("01 00")}), Hex("20 02 20 01"),
                                  Cat({Hex("20 60 21"), kUid, Hex("01 01 02 03 04")}),
                                  Cat({Hex("20 20 A0 05"), kUid, Hex("10 01 00")})}));
}

TEST(Iso15693FlatApi, WriteWhoseAnswerWasLostCountsWhenTheBlockReadsBackEqual) {
    TagSimReader r({.protocolType = 2});
    r.sim.placeTag(Iso15693Tag::blank());
    const Bytes data = Hex("0A 0B 0C 0D");
    // The reader reports "no tag" (C4: 21) although the tag wrote.
    r.sim.inject(kqsim::Fault::status(0xC4).forCommand(0x28));
    EXPECT_EQ(KQLMX_Iso15693WriteBlocks(r.port, 5, data.data(), 4, kUid.data(), 8, 0), 0);
    EXPECT_EQ(LastError(r), 0);
    // Again, but the block holds other bytes: the write failed.
    r.sim.inject(kqsim::Fault::status(0xC4).forCommand(0x28));
    r.sim.inject(kqsim::Fault::payload(Hex("00 00 FF FF FF FF")).forCommand(0x28).after(1));
    EXPECT_EQ(KQLMX_Iso15693WriteBlocks(r.port, 6, data.data(), 4, kUid.data(), 8, 0), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_NO_TAG_ANSWER);
}

} // namespace
} // namespace kqtest
