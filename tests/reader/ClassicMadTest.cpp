// The MAD and trailer decisions of MIFARE Classic tags, on bytes written out by hand from
// the MAD application note (CRC-8 polynomial 1D preset C7 over info byte and entries;
// two bytes per sector, low byte first; MAD1 entries of sectors 1-15, MAD2 of 17-39)
// and the access condition tables of the MIFARE Classic datasheet (byte 6: ~C2 ~C1,
// byte 7: C1 ~C3, byte 8: C3 C2, one bit per block, the trailer's as bit 3).
#include "reader/tags/ClassicMad.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

using namespace kq::mad;
using Bytes = std::vector<uint8_t>;

// A MAD's blocks read as one: CRC, info byte, `entries` entries, the listed ones 03 E1
// and the others' as given.
Bytes Mad(uint8_t crc, uint8_t info, int entries, std::initializer_list<int> ndef,
          std::initializer_list<std::pair<int, std::pair<uint8_t, uint8_t>>> other = {}) {
    Bytes mad(2 + 2 * static_cast<size_t>(entries), 0x00);
    mad[0] = crc;
    mad[1] = info;
    for (int i : ndef)
        mad[2 * static_cast<size_t>(i)] = 0x03, mad[2 * static_cast<size_t>(i) + 1] = 0xE1;
    for (const auto& [i, aid] : other)
        mad[2 * static_cast<size_t>(i)] = aid.first, mad[2 * static_cast<size_t>(i) + 1] = aid.second;
    return mad;
}

struct CrcCase {
    const char* name;
    Bytes mad;
    bool right;
};

TEST(ClassicMad, CrcOverInfoAndEntries) {
    const CrcCase cases[] = {
        {"ndef_1_2_3", Mad(0x55, 0x00, 15, {1, 2, 3}), true},
        {"ndef_1_2", Mad(0xE8, 0x00, 15, {1, 2}), true},
        {"all_fifteen", Mad(0x0F, 0x00, 15, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}), true},
        {"info_byte_counts", Mad(0x14, 0x01, 15, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}), true},
        {"empty_mad2", Mad(0x16, 0x00, 23, {}), true},
        {"beside_4810", Mad(0x3E, 0x00, 15, {3, 4}, {{1, {0x10, 0x48}}, {2, {0x10, 0x48}}}), true},
        // A format cut between MAD blocks 1 and 2: the CRC of the whole update, D2, over
        // entries of which only the first block's arrived (AC).
        {"torn", Mad(0xD2, 0x00, 15, {3, 4, 5, 6, 7}, {{1, {0x10, 0x48}}, {2, {0x10, 0x48}}}), false},
        {"zero", Mad(0x00, 0x00, 15, {1}), false},
    };
    for (const CrcCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CrcRight(c.mad), c.right);
        if (c.right) {
            EXPECT_EQ(Crc(std::span(c.mad).subspan(1)), c.mad[0]);
        }
    }
    const Bytes torn = Mad(0, 0x00, 15, {3, 4, 5, 6, 7}, {{1, {0x10, 0x48}}, {2, {0x10, 0x48}}});
    EXPECT_EQ(Crc(std::span(torn).subspan(1)), 0xAC);
}

TEST(ClassicMad, EntriesAndTheirPlaces) {
    struct Case {
        int sector;
        int madSector;
        size_t index;
        int firstBlock, trailer, dataBlocks;
    };
    for (const Case& c :
         {Case{0, 0, 0, 0, 3, 0}, Case{1, 0, 2, 4, 7, 3}, Case{15, 0, 30, 60, 63, 3},
          Case{16, 16, 0, 64, 67, 0}, Case{17, 16, 2, 68, 71, 3}, Case{31, 16, 30, 124, 127, 3},
          Case{32, 16, 32, 128, 143, 15}, Case{39, 16, 46, 240, 255, 15}}) {
        SCOPED_TRACE(c.sector);
        EXPECT_EQ(MadOf(c.sector), c.madSector);
        if (c.sector != c.madSector) {
            EXPECT_EQ(EntryIndex(c.sector), c.index);
        }
        EXPECT_EQ(FirstBlock(c.sector), c.firstBlock);
        EXPECT_EQ(TrailerBlock(c.sector), c.trailer);
        EXPECT_EQ(DataBlocks(c.sector), c.dataBlocks);
    }
    // Free only when both bytes are 00; 03 E1 in this order only.
    struct Kind {
        uint8_t low, high;
        Entry entry;
    };
    for (const Kind& k :
         {Kind{0x00, 0x00, Entry::Free}, Kind{0x03, 0xE1, Entry::Ndef}, Kind{0x00, 0x01, Entry::Other},
          Kind{0x01, 0x00, Entry::Other}, Kind{0xE1, 0x03, Entry::Other}, Kind{0x03, 0x00, Entry::Other},
          Kind{0x10, 0x48, Entry::Other}}) {
        SCOPED_TRACE(testing::Message() << std::hex << int{k.low} << " " << int{k.high});
        const Bytes mad = Mad(0, 0, 15, {}, {{5, {k.low, k.high}}});
        EXPECT_EQ(EntryOf(mad, 5), k.entry);
        EXPECT_EQ(EntryOf(mad, 6), Entry::Free);
    }
}

TEST(ClassicMad, AccessBitsOfTheTrailer) {
    struct Case {
        const char* name;
        Bytes access; // bytes 6-8
        bool freeWithKeyA, writableWithKeyA, writableWithKeyB, keyBReadable, readOnly;
    };
    const Case cases[] = {
        // Transport: data 000, trailer 001.
        {"transport", {0xFF, 0x07, 0x80}, true, true, true, true, false},
        // NDEF sectors: data 000, trailer 011; MAD sectors: data 100 (key B writes).
        {"ndef", {0x7F, 0x07, 0x88}, true, true, true, false, false},
        {"mad", {0x78, 0x77, 0x88}, false, false, true, false, false},
        // Read-only: data 010, trailer 110.
        {"read_only", {0x07, 0x8F, 0x0F}, false, false, false, false, true},
        // Data 010 but trailer 011: key B may open the sector again.
        {"data_read_only_trailer_open", {0x0F, 0x07, 0x8F}, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes trailer(16, 0xFF);
        std::copy(c.access.begin(), c.access.end(), trailer.begin() + 6);
        EXPECT_EQ(DataFreeWithKeyA(trailer), c.freeWithKeyA);
        EXPECT_EQ(DataWritable(trailer, 0, false), c.writableWithKeyA);
        EXPECT_EQ(DataWritable(trailer, 0, true), c.writableWithKeyB);
        EXPECT_EQ(KeyBReadable(trailer), c.keyBReadable);
        EXPECT_EQ(ReadOnly(trailer), c.readOnly);
    }
}

// The run a format takes: per sector usable (key 0 or 1, or -1: taken as it is), not
// usable, and whether it pins the run; blocks needed and a full format or not.
TEST(ClassicMad, RunChoice) {
    struct Step {
        int sector;
        bool usable;
        bool pins = false;
    };
    struct Case {
        const char* name;
        size_t needed;
        bool all;
        std::vector<Step> steps;
        std::vector<int> chosen;
    };
    const Case cases[] = {
        {"first_two_that_hold_it", 4, false, {{1, true}, {2, true}, {3, true}}, {1, 2}},
        {"two_at_least", 1, false, {{1, true}, {2, true}, {3, true}}, {1, 2}},
        {"as_far_as_needed", 7, false, {{1, true}, {2, true}, {3, true}, {4, true}}, {1, 2, 3}},
        {"other_application_in_the_way", 6, false, {{1, false}, {2, true}, {3, true}}, {2, 3}},
        {"too_short_a_run_then_a_longer",
         7,
         false,
         {{1, true}, {2, false}, {3, true}, {4, true}, {5, true}},
         {3, 4, 5}},
        {"largest_for_a_full_format",
         1,
         true,
         {{1, true}, {2, true}, {3, false}, {4, true}, {5, true}, {6, true}},
         {4, 5, 6}},
        {"pinned_run_ends_the_search",
         1,
         true,
         {{1, true}, {2, true, true}, {3, false}, {4, true}, {5, true}, {6, true}},
         {1, 2}},
        {"nothing_usable", 1, true, {{1, false}, {2, false}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunChoice choice(c.needed, c.all);
        for (const Step& s : c.steps) {
            if (choice.Done()) break;
            if (s.usable)
                choice.Usable(s.sector, s.sector % 2, s.pins);
            else
                choice.NotUsable(s.pins);
        }
        const RunChoice::Run run = choice.Chosen();
        EXPECT_EQ(run.sectors, c.chosen);
        for (size_t i = 0; i < run.sectors.size(); ++i)
            EXPECT_EQ(run.keys[i], run.sectors[i] % 2);
        EXPECT_EQ(run.blocks, 3 * c.chosen.size());
    }
}

} // namespace
