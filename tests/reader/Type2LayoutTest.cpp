// The Type 2 layout rules as tables: which chips the pages read allow, the room of a
// write, the first page a password guards, the pages lock bits hold and the locks that
// cannot be completed. Pages and bits from the NTAG203, NTAG210/212, NTAG213/215/216,
// Ultralight, Ultralight EV1 and Ultralight C datasheets.
#include "reader/tags/Type2Layout.h"

#include <gtest/gtest.h>

#include <string>

namespace kq {
namespace {

std::string Names(const std::vector<const Type2Layout*>& layouts) {
    std::string names;
    for (const Type2Layout* layout : layouts)
        names += std::string(names.empty() ? "" : ",") + layout->name;
    return names;
}

// CFG0 with AUTH0 and CFG1 with ACCESS of an NTAG21x / Ultralight EV1 at `page`.
Type2Pages NtagConfig(int page, uint8_t auth0, uint8_t access) {
    return {{page, {0x04, 0x00, 0x00, auth0}}, {page + 1, {access, 0x05, 0x00, 0x00}}};
}

TEST(Type2Layout, CandidatesAreTheChipsWhoseReadsEndThere) {
    struct Case {
        const char* name;
        uint8_t maker, cc;
        int refused;
        Type2Pages read;
        const char* chips;
    };
    const Case cases[] = {
        {"plain_ntag213", 0x04, 0x12, 45, NtagConfig(0x29, 0xFF, 0x00), "NTAG213"},
        {"other_maker", 0x05, 0x12, 45, {}, ""},
        // A CC of NTAG215 on pages that end like an NTAG213's: PROT may stop it there.
        {"ntag215_cc_at_45", 0x04, 0x3E, 45, NtagConfig(0x29, 0xFF, 0x00), "NTAG213,NTAG215"},
        // Pages whose NTAG213 configuration says PROT from 20h on are no NTAG213 ending
        // at 45: a larger chip stopped there.
        {"exact_but_prot_before", 0x04, 0x12, 45, NtagConfig(0x29, 0x20, 0x80), "NTAG215,NTAG216"},
        // PROT from 83h (NTAG215 CC E1 10 40 00): an NTAG215 or NTAG216 stopped there.
        {"ntag215_prot_at_83", 0x04, 0x40, 0x83, {}, "NTAG215,NTAG216"},
        {"ntag216_prot_at_e3", 0x04, 0x70, 0xE3, {}, "NTAG216"},
        // NTAG213 with AUTH0 2Ah and PROT: ends like an NTAG203, its CC names others.
        {"ntag213_prot_at_2a", 0x04, 0xFF, 0x2A, {}, "NTAG203"},
        {"ntag203_cc_12", 0x04, 0x12, 0x2A, {}, "NTAG203,Ultralight C,NTAG213"},
        // NTAG213 with AUTH0 2Ch and PROT: its CFG0 and CFG1 are read, and say so.
        {"ntag213_prot_at_2c", 0x04, 0x12, 0x2C, NtagConfig(0x29, 0x2C, 0x80), "Ultralight C,NTAG213"},
        // An Ultralight C: page 29h is its counter, no AUTH0 of 2Ch.
        {"ultralight_c",
         0x04,
         0x12,
         0x2C,
         {{0x29, {0, 0, 0, 0}}, {0x2A, {0x30, 0, 0, 0}}, {0x2B, {0, 0, 0, 0}}},
         "Ultralight C"},
        // Ultralight C with AUTH0 10h and AUTH1 = 0: reads end at 10h.
        {"ultralight_c_auth1_0_at_10", 0x04, 0x12, 0x10, {}, "Ultralight,Ultralight C,NTAG213"},
        // NTAG213 with AUTH0 08h and PROT: every chip with a password may stop there.
        {"prot_at_08", 0x04, 0x12, 0x08, {}, "NTAG210,NTAG212,Ultralight C,NTAG213,NTAG215,NTAG216"},
        {"ntag212_cc_10", 0x04, 0x10, 41, NtagConfig(0x25, 0xFF, 0x00), "NTAG212"},
        {"ntag213_prot_at_29", 0x04, 0x12, 0x29, NtagConfig(0x25, 0x00, 0x00),
         "NTAG212,Ultralight C,NTAG213"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Names(Type2Candidates(c.maker, c.cc, c.refused, c.read)), c.chips) << c.name;
}

TEST(Type2Layout, RoomIsTheUserMemoryEveryCandidateShares) {
    const auto layouts = Type2Layouts();
    const auto by = [&](const char* name) {
        for (const Type2Layout& l : layouts)
            if (std::string(l.name) == name) return &l;
        return static_cast<const Type2Layout*>(nullptr);
    };
    struct Case {
        std::vector<const Type2Layout*> candidates;
        int refused;
        size_t write, read;
    };
    const Case cases[] = {
        {{by("NTAG213")}, 45, 144, 144},
        {{by("NTAG215"), by("NTAG216")}, 0x83, 504, 508}, // never the lock bytes at 82h
        {{by("NTAG216")}, 0xE3, 888, 888},
        {{by("NTAG212"), by("NTAG213")}, 41, 128, 144},
        {{by("NTAG213"), by("NTAG215")}, 8, 16, 16}, // pages 4-7 are all that reads reach
        {{}, 64, 240, 240},                          // a chip not listed: every readable page
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Type2WriteRoom(c.candidates, c.refused), c.write) << Names(c.candidates);
        EXPECT_EQ(Type2ReadRoom(c.candidates, c.refused), c.read) << Names(c.candidates);
    }
}

TEST(Type2Layout, PasswordGuardsFromAuth0On) {
    const auto layouts = Type2Layouts();
    const Type2Layout& ntag213 = layouts[5];
    const Type2Layout& ultralightC = layouts[4];
    const Type2Layout& ultralight = layouts[0];
    ASSERT_STREQ(ntag213.name, "NTAG213");
    ASSERT_STREQ(ultralightC.name, "Ultralight C");
    struct Case {
        const char* name;
        const Type2Layout& layout;
        Type2Pages read;
        int refused, guarded;
    };
    const Case cases[] = {
        {"ntag_auth0", ntag213, NtagConfig(0x29, 0x10, 0x00), 45, 0x10},
        {"ntag_none", ntag213, NtagConfig(0x29, 0xFF, 0x00), 45, 0xFF},
        {"ntag_not_read", ntag213, {}, 0x20, 0x20}, // its reads end at AUTH0
        {"ulc_auth0", ultralightC, {{0x2A, {0x10, 0, 0, 0}}}, 44, 0x10},
        {"ulc_auth0_2f", ultralightC, {{0x2A, {0x2F, 0, 0, 0}}}, 44, 0x2F},
        {"ulc_auth0_30", ultralightC, {{0x2A, {0x30, 0, 0, 0}}}, 44, kType2NoGuard},
        {"ulc_not_read", ultralightC, {}, 0x2A, 0x2A},
        {"no_password", ultralight, {}, 16, kType2NoGuard},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Type2FirstGuardedPage(c.layout, c.read, c.refused), c.guarded) << c.name;

    struct Stop {
        int guarded, first, last;
        bool sure, stops;
    };
    for (const Stop& s :
         {Stop{10, 4, 10, true, true}, // a message ending exactly on AUTH0's page
          Stop{11, 4, 10, true, false}, Stop{10, 4, 10, false, true}, Stop{4, 4, 10, true, true},
          Stop{4, 4, 10, false, false}, // the first page's write tells, changing nothing
          Stop{0, 5, 9, false, false}})
        EXPECT_EQ(Type2GuardStopsWrite(s.guarded, s.first, s.last, s.sure), s.stops)
            << s.guarded << " " << s.first << "-" << s.last << " " << s.sure;
}

TEST(Type2Layout, LockBitsAndBlockLockingBits) {
    const auto layouts = Type2Layouts();
    const Type2Layout* ntag212 = &layouts[2];
    const Type2Layout* ntag203 = &layouts[3];
    const Type2Layout* ultralightC = &layouts[4];
    const Type2Layout* ntag213 = &layouts[5];
    const Type2Layout* ntag215 = &layouts[6];
    struct Locked {
        const Type2Layout* layout;
        Type2Page lockPage, dynamic;
        int page;
        bool locked;
    };
    const Type2Page zero{};
    const Locked locked[] = {
        {nullptr, {0, 0, 0x08, 0}, zero, 3, true}, // L-CC
        {nullptr, {0, 0, 0x80, 0}, zero, 7, true},
        {nullptr, {0, 0, 0x00, 0x01}, zero, 8, true},
        {nullptr, {0, 0, 0x00, 0x80}, zero, 15, true},
        {nullptr, {0, 0, 0x00, 0x7F}, zero, 15, false},
        {nullptr, {0, 0, 0, 0}, {0xFF, 0xFF, 0, 0}, 16, false}, // no layout, no dynamic bits
        {ntag213, zero, {0x01, 0, 0, 0}, 17, true},
        {ntag213, zero, {0x01, 0, 0, 0}, 18, false},
        {ntag213, zero, {0, 0x08, 0, 0}, 39, true},      // bit 11: pages 38-39
        {ntag212, zero, {0, 0x02, 0, 0xBD}, 35, true},   // bit 9: pages 34-35
        {ntag215, zero, {0x02, 0, 0, 0}, 32, true},      // bit 1: pages 32-47
        {ultralightC, zero, {0x02, 0, 0, 0}, 19, true},  // bit 1: pages 16-19
        {ultralightC, zero, {0x01, 0, 0, 0}, 16, false}, // bit 0 is block-locking
        {ultralightC, zero, {0x20, 0, 0, 0}, 28, true},  // bit 5: pages 28-31
        {ntag203, zero, {0x80, 0, 0, 0}, 39, true},      // bit 7: pages 36-39
    };
    for (const Locked& l : locked)
        EXPECT_EQ(Type2PageLocked(l.layout, l.lockPage, l.dynamic, l.page), l.locked)
            << (l.layout ? l.layout->name : "static") << " page " << l.page;

    struct Frozen {
        const char* name;
        const Type2Layout* layout;
        Type2Page lockPage, dynamic;
        bool frozen;
    };
    const Frozen frozen[] = {
        {"clear", ntag213, zero, zero, false},
        {"bl_cc", nullptr, {0, 0, 0x01, 0}, zero, true},
        {"bl_cc_locked", nullptr, {0, 0, 0x09, 0}, zero, false},
        {"bl_9_4", nullptr, {0, 0, 0x02, 0}, zero, true},
        {"bl_9_4_locked", nullptr, {0, 0, 0xF2, 0x03}, zero, false},
        {"bl_15_10", nullptr, {0, 0, 0x04, 0}, zero, true},
        {"bl_15_10_locked", nullptr, {0, 0, 0x04, 0xFC}, zero, false},
        {"ntag_bl_0", ntag213, zero, {0, 0, 0x01, 0}, true},
        {"ntag_bl_0_locked", ntag213, zero, {0x03, 0, 0x01, 0}, false},
        {"ntag_bl_5", ntag213, zero, {0, 0x0F, 0x20, 0}, false}, // lock bits 10-11 set
        {"ntag_bl_5_open", ntag213, zero, {0, 0x07, 0x20, 0}, true},
        {"ntag215_bl_3", ntag215, zero, {0x3F, 0, 0x08, 0}, true}, // bits 6-7 clear
        {"ulc_bl_16_27", ultralightC, zero, {0x01, 0, 0, 0}, true},
        {"ulc_bl_16_27_locked", ultralightC, zero, {0x0F, 0, 0, 0}, false},
        {"ulc_bl_28_39", ultralightC, zero, {0x1F, 0, 0, 0}, true},
        {"ntag203_bl", ntag203, zero, {0xF1, 0, 0, 0}, true},
    };
    for (const Frozen& f : frozen)
        EXPECT_EQ(Type2LockFrozen(f.layout, f.lockPage, f.dynamic), f.frozen) << f.name;

    struct Bits {
        const Type2Layout& layout;
        Type2Page bytes;
    };
    for (const Bits& b : {Bits{layouts[2], {0xFF, 0x03, 0, 0}}, Bits{layouts[3], {0xFF, 0xFF, 0, 0}},
                          Bits{layouts[4], {0xFF, 0, 0, 0}}, Bits{layouts[5], {0xFF, 0x0F, 0, 0}},
                          Bits{layouts[6], {0xFF, 0, 0, 0}}, Bits{layouts[7], {0xFF, 0x3F, 0, 0}}})
        EXPECT_EQ(Type2DynamicLockBytes(b.layout), b.bytes) << b.layout.name;
}

TEST(Type2Layout, LockSetsCfgLckOnlyWhereNoPasswordIsInUse) {
    const auto layouts = Type2Layouts();
    struct Case {
        const Type2Layout& layout;
        int guarded;
        bool sets;
    };
    for (const Case& c :
         {Case{layouts[5], 0xFF, true}, Case{layouts[5], 0x2B, true}, // beyond CFG1 (2Ah)
          Case{layouts[5], 0x2A, false}, Case{layouts[5], 0x29, false}, Case{layouts[5], 0x10, false},
          Case{layouts[1], 0x12, true}, Case{layouts[1], 0x11, false}, // NTAG210: CFG1 11h
          Case{layouts[4], kType2NoGuard, false},                      // Ultralight C: none
          Case{layouts[0], kType2NoGuard, false}})
        EXPECT_EQ(Type2SetsConfigLock(c.layout, c.guarded), c.sets) << c.layout.name << " " << c.guarded;
}

} // namespace
} // namespace kq
