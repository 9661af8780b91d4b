// Type 2 chips of every layout the handler knows, with their configuration bits set as
// another program may have left them (a password's AUTH0 with and without PROT or
// AUTH1 = 0, a dynamic lock bit, a block-locking bit), written, locked, formatted and
// read through the flat API against the simulator in the same process. Layouts from
// the NTAG203, NTAG210/212, NTAG213/215/216, Ultralight, Ultralight EV1 and
// Ultralight C datasheets, written out by hand.
#include "FuzzSimReader.h"
#include "TagSimReader.h"
#include "Type2RawWrite.h"
#include "Type2Texts.h"
#include "kqlmx.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <map>

namespace kqtest {
namespace {

using kqsim::Type2Tag;

constexpr int kWriteProtected = 0x2000E;
constexpr int kTooLarge = 0x20014;
constexpr int kNfcData = 0x20017;

struct Chip {
    const char* kind;
    int lastUserPage; // user memory: pages 4 to this one
    int authPage;     // NTAG21x, Ultralight EV1: CFG0 (AUTH0 byte 3); Ultralight C: AUTH0 (byte 0); -1: none
    bool ultralightC; // reads guarded by AUTH1 = 0 (page 2Bh bit 0), not by PROT (CFG1 byte 0 bit 7)
    int lockPage;     // dynamic lock bytes, -1: none
    Bytes lockBits;   // what a lock sets there
    bool ultralightCBits; // lock page byte 0: bit 0 block-locks bits 1-3, bit 1 locks pages 16-19
};

const Chip kChips[] = {
    {"ultralight", 0x0F, -1, false, -1, {}, false},
    {"ntag203", 0x27, -1, false, 0x28, Hex("FF FF 00 00"), true}, // as its Lock Control TLV 01 03 A0 10 44
    {"ntag210", 0x0F, 0x10, false, -1, {}, false},
    {"mf0ul11", 0x0F, 0x10, false, -1, {}, false},
    {"ntag212", 0x23, 0x25, false, 0x24, Hex("FF 03 00 00"), false},
    {"mf0ul21", 0x23, 0x25, false, 0x24, Hex("FF 03 00 00"), false},
    {"ntag213", 0x27, 0x29, false, 0x28, Hex("FF 0F 00 00"), false},
    {"ntag215", 0x81, 0x83, false, 0x82, Hex("FF 00 00 00"), false},
    {"ntag216", 0xE1, 0xE3, false, 0xE2, Hex("FF 3F 00 00"), false},
    {"ultralightc", 0x27, 0x2A, true, 0x28, Hex("FF 00 00 00"), true},
};

enum class Config {
    None,
    AuthAtConfig,
    AuthAtConfigProt,
    AuthInUser,
    AuthInUserProt,
    DynamicLockBit,
    BlockLockingBit
};
const char* const kConfigNames[] = {"none",
                                    "auth0_at_config",
                                    "auth0_at_config_prot",
                                    "auth0_in_user",
                                    "auth0_in_user_prot",
                                    "dynamic_lock_bit",
                                    "block_locking_bit"};
constexpr uint8_t kAuth0InUser = 0x08;

size_t UserBytes(const Chip& c) {
    return static_cast<size_t>(c.lastUserPage - 3) * 4;
}
bool HasAuth(const Config config) {
    return config >= Config::AuthAtConfig && config <= Config::AuthInUserProt;
}
bool Ntag(const Chip& c) {
    return c.authPage >= 0 && !c.ultralightC;
}

// What the handler can know of each, and so must do.
struct Expected {
    size_t room; // for the TLV area from page 4 on
    int written; // a write that fills the room: 0 or its error
    int locked;
    Bytes lockBits;  // what a lock that answers 0 sets in the lock page
    bool configLock; // and whether it sets CFGLCK (CFG1 byte 0 bit 6)
};

Expected ExpectedFor(const Chip& c, Config config) {
    const std::string kind = c.kind;
    Expected e{UserBytes(c), 0, 0, c.lockBits, Ntag(c)};
    switch (config) {
    case Config::None:
        break;
    case Config::AuthAtConfig:
        e.configLock = false;
        break; // a password guards the configuration
    case Config::AuthAtConfigProt:
        e.configLock = false;
        // Reads end at AUTH0. NTAG213: where an NTAG212's end, whose lock bytes and
        // configuration lie in the NTAG213's user memory. NTAG212 / MF0UL21 and NTAG215
        // may be larger chips stopped there: their lock bytes lie elsewhere. Ultralight
        // C: reads end like an NTAG203's; both have their lock bytes at 28h, and the
        // lock sets the bits of both.
        if (kind == "ntag213") e.room = 128;
        if (kind == "ntag213" || kind == "ntag212" || kind == "mf0ul21" || kind == "ntag215")
            e.locked = kNfcData;
        if (kind == "ultralightc") e.lockBits = Hex("FF FF 00 00");
        break;
    case Config::AuthInUser:
        e.written = kWriteProtected; // the message would reach AUTH0
        e.locked = c.lockPage >= 0 ? kWriteProtected : 0;
        e.configLock = false;
        break;
    case Config::AuthInUserProt:
        e.room = (kAuth0InUser - 4) * 4; // all that reads reach
        e.locked = kNfcData;             // any chip with a password may be stopped there
        break;
    case Config::DynamicLockBit:
        e.written = kWriteProtected;
        break; // pages 16 and on
    case Config::BlockLockingBit:
        e.locked = kWriteProtected;
        break;
    }
    return e;
}

FuzzSimReader& Reader() {
    static FuzzSimReader reader;
    return reader;
}

const Bytes kOldArea =
    Cat({{0x03, 0x0A, 0xD1, 0x01, 0x06, 0x54, 0x02}, Ascii("enalt"), {0xFE, 0x00, 0x00, 0x00}});
const std::string kOld = R"({"TEXT" : {"TITLE" : "alt"}})";

// The chip as shipped, formatted for its user memory and holding "alt", with `config`.
class ConfiguredTag {
public:
    ConfiguredTag(const Chip& c, Config config) {
        const auto model = Type2Tag::modelFor(c.kind);
        EXPECT_TRUE(model);
        std::unique_ptr<Type2Tag> shipped = Type2Tag::blank(*model);
        std::map<int, Bytes> pages;
        const auto set = [&](int p, size_t byte, uint8_t value) {
            if (!pages.count(p)) pages[p] = shipped->page(p);
            pages[p][byte] = value;
        };
        pages[3] = {0xE1, 0x10, static_cast<uint8_t>(UserBytes(c) / 8), 0x00};
        for (int i = 0; i < 4; ++i)
            pages[4 + i] = Bytes(kOldArea.begin() + i * 4, kOldArea.begin() + i * 4 + 4);
        if (HasAuth(config)) {
            const bool inUser = config == Config::AuthInUser || config == Config::AuthInUserProt;
            const bool prot = config == Config::AuthAtConfigProt || config == Config::AuthInUserProt;
            const uint8_t auth0 = inUser ? kAuth0InUser : static_cast<uint8_t>(c.authPage);
            if (c.ultralightC) {
                set(c.authPage, 0, auth0);
                set(c.authPage + 1, 0, prot ? 0x00 : 0x01);
            } else {
                set(c.authPage, 3, auth0);
                set(c.authPage + 1, 0, prot ? 0x80 : 0x00);
            }
        }
        if (config == Config::DynamicLockBit) set(c.lockPage, 0, c.ultralightCBits ? 0x02 : 0x01);
        if (config == Config::BlockLockingBit) {
            if (c.lockPage < 0)
                set(2, 2, 0x02); // BL 9-4 over clear lock bits of pages 4-9
            else if (c.ultralightCBits)
                set(c.lockPage, 0, 0x01); // over those of pages 16-27
            else
                set(c.lockPage, 2, 0x01); // over those of the first 2 lock bits
        }
        kqsim::TagImage image;
        shipped->save(image);
        for (const auto& [p, bytes] : pages)
            image.setRow("page", p, bytes);
        std::string error;
        auto tag = Type2Tag::load(image, error);
        EXPECT_TRUE(tag) << error;
        id = Reader().sim.placeTag(std::move(tag));
        before = Memory();
    }
    ~ConfiguredTag() { Reader().sim.removeTag(id); }
    ConfiguredTag(const ConfiguredTag&) = delete;
    ConfiguredTag& operator=(const ConfiguredTag&) = delete;

    Bytes Memory() const { return Reader().sim.tagMemory(id).value_or(Bytes{}); }
    std::string Read() const {
        char text[4096] = {};
        const int n = KQLMX_ReadTag(Reader().port, text, sizeof text);
        return n >= 0 ? std::string(text, static_cast<size_t>(n)) : "<none>";
    }
    // 0, or the error of a failed call.
    static int Outcome(int result) { return result == 0 ? 0 : KQLMX_GetLastError(Reader().port); }
    int Write(size_t n) const {
        const std::string json = TextJson(n);
        const int result =
            KQLMX_WriteTag(Reader().port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0);
        return Outcome(result < 0 ? -1 : 0);
    }
    bool RawWriteRefused(int page) {
        bool refused = false;
        Reader().sim.withTag(
            id, [&](kqsim::Tag& t) { refused = RawType2WriteRefused(dynamic_cast<Type2Tag&>(t), page); });
        return refused;
    }
    Bytes From(const Bytes& memory, size_t byte) const {
        return Bytes(memory.begin() + static_cast<long>(byte), memory.end());
    }

    kqsim::TagId id = 0;
    Bytes before;
};

TEST(Type2Config, EveryChipWithItsConfigurationBitsIsWrittenLockedFormattedAndReadAsItsLayoutAllows) {
    Reader();
    for (const Chip& c : kChips) {
        for (int i = 0; i <= static_cast<int>(Config::BlockLockingBit); ++i) {
            const Config config = static_cast<Config>(i);
            if ((HasAuth(config) && c.authPage < 0) || (config == Config::DynamicLockBit && c.lockPage < 0))
                continue;
            SCOPED_TRACE(std::string(c.kind) + " " + kConfigNames[i]);
            const Expected e = ExpectedFor(c, config);
            const size_t fits = LongestFitting(e.room);
            {
                ConfiguredTag t(c, config);
                EXPECT_EQ(t.Read(), kOld);
                EXPECT_EQ(t.Write(fits + 1), kTooLarge) << "one over the room";
                EXPECT_EQ(t.Memory(), t.before);
                EXPECT_EQ(t.Write(fits), e.written) << "the room filled";
                if (e.written == 0) {
                    EXPECT_EQ(t.Read(), TextJson(fits));
                    const Bytes now = t.Memory();
                    EXPECT_EQ(t.From(now, 16 + e.room), t.From(t.before, 16 + e.room)) << "behind the room";
                    EXPECT_EQ(Bytes(now.begin(), now.begin() + 16),
                              Bytes(t.before.begin(), t.before.begin() + 16));
                } else {
                    EXPECT_EQ(t.Memory(), t.before) << "refused before the first byte";
                    EXPECT_EQ(t.Read(), kOld);
                }
            }
            {
                ConfiguredTag t(c, config);
                EXPECT_EQ(ConfiguredTag::Outcome(KQLMX_LockTag(Reader().port, nullptr, 0)), e.locked);
                Bytes expected = t.before;
                if (e.locked == 0) {
                    expected[15] |= 0x0F;
                    expected[10] = expected[11] = 0xFF;
                    for (size_t b = 0; b < e.lockBits.size(); ++b)
                        expected[static_cast<size_t>(c.lockPage) * 4 + b] |= e.lockBits[b];
                    if (e.configLock) expected[static_cast<size_t>(c.authPage + 1) * 4] |= 0x40;
                }
                EXPECT_EQ(t.Memory(), expected);
                if (e.locked == 0) {
                    EXPECT_EQ(t.Read(), kOld);
                    for (int page : {4, c.lastUserPage})
                        EXPECT_TRUE(t.RawWriteRefused(page)) << page;
                }
            }
            {
                ConfiguredTag t(c, config);
                EXPECT_EQ(ConfiguredTag::Outcome(KQLMX_FormatTag(Reader().port, nullptr, 0)), 0);
                // An NDEF Message TLV holding one empty record (D0 00 00), then the Terminator.
                const Bytes now = t.Memory();
                EXPECT_EQ(Bytes(now.begin() + 16, now.begin() + 24), Hex("03 03 D0 00 00 FE 00 00"));
                EXPECT_EQ(t.From(now, 24), t.From(t.before, 24));
            }
        }
    }
    kq::CNfcTagHandler::SetFieldOffPause(50);
}

// Tags a review left in these states: the operation refused before its first write
// (nothing changes) or done with its outcome holding.
TEST(Type2Config, StatesThatOnceLedToWritesIntoConfigurationOrLocksThatDidNotLock) {
    Reader();
    struct Case {
        const char* name;
        const char* kind;
        std::map<int, Bytes> pages; // over the chip as shipped
        int op;                     // 0: write `text` characters, 1: lock
        size_t text;
        int outcome;
    };
    const Case cases[] = {
        // CC of 2040 bytes, AUTH0 2Ah with PROT: reads end like an NTAG203's, whose 144
        // bytes the 142 characters (152 bytes) do not fit; never into 28h or CFG0.
        {"ntag213_cc_ff_prot_2a",
         "ntag213",
         {{3, Hex("E1 10 FF 00")}, {0x29, Hex("04 00 00 2A")}, {0x2A, Hex("80 05 00 00")}},
         0,
         142,
         kTooLarge},
        // AUTH0 2Ch with PROT reads like an Ultralight C: both have their lock bytes at
        // 28h, and the lock sets the bits of both (byte 1 too: pages 32-39).
        {"ntag213_prot_2c", "ntag213", {{0x29, Hex("04 00 00 2C")}, {0x2A, Hex("80 05 00 00")}}, 1, 0, 0},
        // Ultralight C whose AUTH0 28h guards writes of its lock bytes.
        {"ultralightc_auth0_28",
         "ultralightc",
         {{3, Hex("E1 10 12 00")}, {0x2A, Hex("28 00 00 00")}, {0x2B, Hex("01 00 00 00")}},
         1,
         0,
         kWriteProtected},
        // NTAG213 with a dynamic block-locking bit over clear lock bits of pages 16-19.
        {"ntag213_block_locking", "ntag213", {{0x28, Hex("00 00 01 BD")}}, 1, 0, kWriteProtected},
        // NTAG213 with AUTH0 08h and PROT holding "ab": 8 readable pages are not 16.
        {"ntag213_prot_08",
         "ntag213",
         {{4, Hex("03 09 D1 01")},
          {5, Hex("05 54 02 65")},
          {6, Hex("6E 61 62 FE")},
          {0x29, Hex("04 00 00 08")},
          {0x2A, Hex("80 05 00 00")}},
         0,
         20,
         kTooLarge},
        // NTAG212 / Ultralight EV1 with a dynamic lock bit of pages 16-17 set.
        {"ntag212_lock_bit", "ntag212", {{0x24, Hex("01 00 00 BD")}}, 0, 60, kWriteProtected},
        {"mf0ul21_lock_bit",
         "mf0ul21",
         {{3, Hex("E1 10 10 00")}, {4, Hex("03 00 FE 00")}, {0x24, Hex("01 00 00 BD")}},
         0,
         60,
         kWriteProtected},
        // NTAG213 whose CFGLCK another program set: its configuration pages take no
        // write, and the lock does not try one.
        {"ntag213_cfglck_set", "ntag213", {{0x2A, Hex("40 05 00 00")}}, 1, 0, 0},
        // NTAG203: locked by its Lock Control TLV's bytes.
        {"ntag203", "ntag203", {}, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto shipped = Type2Tag::blank(*Type2Tag::modelFor(c.kind));
        kqsim::TagImage image;
        shipped->save(image);
        for (const auto& [p, bytes] : c.pages)
            image.setRow("page", p, bytes);
        std::string error;
        const kqsim::TagId id = Reader().sim.placeTag(Type2Tag::load(image, error));
        const Bytes before = *Reader().sim.tagMemory(id);
        const std::string json = TextJson(c.text);
        const int result = c.op == 0 ? KQLMX_WriteTag(Reader().port, json.c_str(),
                                                      static_cast<int>(json.size()), nullptr, 0, 0)
                                     : KQLMX_LockTag(Reader().port, nullptr, 0);
        EXPECT_EQ(ConfiguredTag::Outcome(result < 0 ? -1 : 0), c.outcome);
        if (c.outcome != 0) {
            EXPECT_EQ(*Reader().sim.tagMemory(id), before);
        } else {
            bool refused = true;
            Reader().sim.withTag(id, [&](kqsim::Tag& t) {
                for (int page = 4; page <= 0x27; ++page)
                    refused = refused && RawType2WriteRefused(dynamic_cast<Type2Tag&>(t), page);
            });
            EXPECT_TRUE(refused) << "every user page refuses a raw write";
        }
        Reader().sim.removeTag(id);
    }
    kq::CNfcTagHandler::SetFieldOffPause(50);
}

// A larger chip formatted with a smaller chip's CC whose user memory holds, behind the
// smaller chip's last page, a copy of pages 0-2 (as a READ that rolls over there would
// bring): its lock still sets its own lock bits, never those of the smaller layout.
TEST(Type2Config, LargerChipHoldingACopyOfPages0To2WhereASmallerOneRollsOverIsLockedWhole) {
    Reader();
    struct Case {
        const char* kind;
        uint8_t cc; // the smaller chip's data area / 8
        int copyAt; // the page behind the smaller chip's last readable one
        int lastUser;
    };
    const Case cases[] = {
        {"ntag215", 0x12, 0x2D, 0x81}, {"ntag216", 0x3E, 0x87, 0xE1}, {"ntag216", 0x12, 0x2D, 0xE1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        auto shipped = Type2Tag::blank(*Type2Tag::modelFor(c.kind));
        kqsim::TagImage image;
        shipped->save(image);
        image.setRow("page", 3, {0xE1, 0x10, c.cc, 0x00});
        for (int p = 0; p < 3; ++p)
            image.setRow("page", c.copyAt + p, shipped->page(p));
        image.setRow("page", c.copyAt - 4,
                     {0x00, 0x00, 0x00, 0xFF}); // where the smaller one's AUTH0 would be
        std::string error;
        const kqsim::TagId id = Reader().sim.placeTag(Type2Tag::load(image, error));
        EXPECT_EQ(ConfiguredTag::Outcome(KQLMX_LockTag(Reader().port, nullptr, 0)), 0);
        bool refused = true;
        Reader().sim.withTag(id, [&](kqsim::Tag& t) {
            for (int page = 4; page <= c.lastUser; ++page)
                refused = refused && RawType2WriteRefused(dynamic_cast<Type2Tag&>(t), page);
        });
        EXPECT_TRUE(refused) << "every user page refuses a raw write";
        Reader().sim.removeTag(id);
    }
    kq::CNfcTagHandler::SetFieldOffPause(50);
}

// After a lock without a password in use, CFG0 and CFG1 of an NTAG21x take no write
// (CFGLCK): nobody can set AUTH0 and PROT and make the locked tag unreadable.
TEST(Type2Config, LockedNtagKeepsItsConfiguration) {
    Reader();
    for (const Chip& c : kChips) {
        if (!Ntag(c)) continue;
        SCOPED_TRACE(c.kind);
        ConfiguredTag t(c, Config::None);
        ASSERT_EQ(KQLMX_LockTag(Reader().port, nullptr, 0), 0);
        EXPECT_TRUE(t.RawWriteRefused(c.authPage)) << "CFG0";
        EXPECT_TRUE(t.RawWriteRefused(c.authPage + 1)) << "CFG1";
    }
    kq::CNfcTagHandler::SetFieldOffPause(50);
}

} // namespace
} // namespace kqtest
