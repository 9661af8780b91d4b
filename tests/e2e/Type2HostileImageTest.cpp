// Type 2 tags whose memory was formatted wrongly by someone else, written, locked,
// formatted and read through the flat API against the simulator in the same process.
// The layouts are written out by hand from the Ultralight, Ultralight C and
// NTAG213/215/216 datasheets; the control TLVs from the NFC Forum Type 2 Tag rules
// (position byte: page address high nibble, byte offset low nibble; the last value
// byte's low nibble: page size 2^n bytes).
#include "FuzzSimReader.h"
#include "TagSimReader.h"
#include "Type2RawWrite.h"
#include "Type2Texts.h"
#include "kqlmx.h"
#include "reader/tags/NfcTagHandler.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <string>

namespace kqtest {
namespace {

using kqsim::Type2Tag;

struct Kind {
    const char* kind;
    int pages;         // all of them
    int lastUserPage;  // user memory: pages 4 to this one
    uint8_t shippedCc; // CC byte 2 as shipped (0: a blank Ultralight / Ultralight C)
    int lockPage;      // dynamic lock bytes, -1: none
    Bytes lockBits;    // what a lock sets there
    int behindPage;    // a configuration page behind the lock bytes (NTAG: CFG0 with AUTH0)
    uint8_t otherCc;   // CC byte 2 of another kind: of a larger one, for the NTAG216 a smaller one (honoured)
};

const Kind kKinds[] = {
    {"ultralight", 16, 0x0F, 0x06, -1, {}, 17, 0x12},                      // 48 bytes, nothing behind
    {"ultralightc", 48, 0x27, 0x12, 0x28, Hex("FF 00 00 00"), 0x2A, 0x3E}, // AUTH0 at 2Ah
    {"ntag213", 45, 0x27, 0x12, 0x28, Hex("FF 0F 00 00"), 0x29, 0x3E},
    {"ntag215", 135, 0x81, 0x3E, 0x82, Hex("FF 00 00 00"), 0x83, 0x6D},
    {"ntag216", 231, 0xE1, 0x6D, 0xE2, Hex("FF 3F 00 00"), 0xE3, 0x3E},
};

size_t UserBytes(const Kind& k) {
    return static_cast<size_t>(k.lastUserPage - 3) * 4;
}

// A control TLV (01 Lock Control, 02 Memory Control) for byte `address` of the tag.
Bytes ControlTlv(uint8_t type, size_t address, uint8_t count) {
    for (uint8_t n = 2; n < 16; ++n) {
        const size_t page = address >> n, offset = address & ((size_t{1} << n) - 1);
        if (page < 16 && offset < 16)
            return {type, 0x03, static_cast<uint8_t>(page << 4 | offset), count,
                    static_cast<uint8_t>(0x30 | n)};
    }
    ADD_FAILURE() << "no position byte for " << address;
    return {};
}

enum class Row {
    CcFF,
    CcOneBlockMore,
    CcOfOtherKind,
    LockTlvAtConfig,
    LockTlvAtCc,
    LockTlvInData,
    MemoryTlvInData,
    Version2
};
const char* const kRowNames[] = {
    "cc_ff",          "cc_one_block_more", "cc_of_other_kind",   "lock_tlv_at_config",
    "lock_tlv_at_cc", "lock_tlv_in_data",  "memory_tlv_in_data", "version_2"};

// Made on first use; it sets detection's field-off pause to 0 for its tags.
FuzzSimReader& Reader() {
    static FuzzSimReader reader;
    return reader;
}

class HostileImage {
public:
    HostileImage(const Kind& k, Row row) : kind(k), row(row) {
        const Bytes old = Cat({{0x03, 0x0A, 0xD1, 0x01, 0x06, 0x54, 0x02}, Ascii("enalt"), {0xFE}});
        Bytes cc = {0xE1, 0x10, k.shippedCc, 0x00};
        Bytes area;
        switch (row) {
        case Row::CcFF:
            cc[2] = 0xFF;
            break;
        case Row::CcOneBlockMore:
            cc[2] = static_cast<uint8_t>(UserBytes(k) / 8 + 1);
            break;
        case Row::CcOfOtherKind:
            cc[2] = k.otherCc;
            break;
        case Row::LockTlvAtConfig:
            area = ControlTlv(0x01, static_cast<size_t>(k.behindPage) * 4, 12);
            break;
        case Row::LockTlvAtCc:
            area = ControlTlv(0x01, 12, 12);
            break;
        case Row::LockTlvInData:
            area = ControlTlv(0x01, 48, 12);
            break; // page 12: 2 bytes set aside
        case Row::MemoryTlvInData:
            area = ControlTlv(0x02, 48, 4);
            break; // page 12: 4 bytes set aside
        case Row::Version2:
            cc[1] = 0x20;
            break;
        }
        messageOffset = area.size();
        area = Cat({area, old});
        // Usable room for the TLV area: to the end of the user memory, or to the page
        // of the bytes set aside; what lies in front of the message stays.
        const size_t end = row == Row::LockTlvInData || row == Row::MemoryTlvInData
                               ? 32
                               : std::min<size_t>(cc[2] * 8, UserBytes(k));
        room = end - messageOffset;
        kqsim::TagImage image;
        image.set("kind", k.kind);
        image.setRow("page", 3, cc);
        area.resize((area.size() + 3) / 4 * 4, 0x00);
        for (size_t i = 0; i < area.size() / 4; ++i)
            image.setRow(
                "page", 4 + static_cast<int>(i),
                Bytes(area.begin() + static_cast<long>(i * 4), area.begin() + static_cast<long>(i * 4 + 4)));
        // Marks in the bytes set aside, and in the first bytes behind the user memory.
        image.setRow("page", 12, Hex("5A 5A 5A 5A"));
        std::string error;
        auto tag = Type2Tag::load(image, error);
        EXPECT_TRUE(tag) << error;
        id = Reader().sim.placeTag(std::move(tag));
        before = Memory();
    }
    ~HostileImage() { Reader().sim.removeTag(id); }

    Bytes Memory() const { return Reader().sim.tagMemory(id).value_or(Bytes{}); }
    // Bytes from `from` to the end, as now and as before.
    Bytes Now(size_t from) const {
        const Bytes now = Memory();
        return Bytes(now.begin() + static_cast<long>(from), now.end());
    }
    Bytes Span(size_t from, size_t to) const {
        const Bytes now = Memory();
        return Bytes(now.begin() + static_cast<long>(from), now.begin() + static_cast<long>(to));
    }
    Bytes Before(size_t from) const { return Bytes(before.begin() + static_cast<long>(from), before.end()); }
    std::string Read(int* result) const {
        char text[4096] = {};
        *result = KQLMX_ReadTag(Reader().port, text, sizeof text);
        return *result >= 0 ? std::string(text, static_cast<size_t>(*result)) : std::string();
    }
    int Write(size_t n) const {
        const std::string json = TextJson(n);
        return KQLMX_WriteTag(Reader().port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0);
    }
    int Error() const { return KQLMX_GetLastError(Reader().port); }
    bool RawWriteRefused(int page) {
        bool refused = false;
        Reader().sim.withTag(
            id, [&](kqsim::Tag& t) { refused = RawType2WriteRefused(dynamic_cast<Type2Tag&>(t), page); });
        return refused;
    }

    const Kind& kind;
    Row row;
    kqsim::TagId id = 0;
    size_t messageOffset = 0; // of the old NDEF TLV in the data area
    size_t room = 0;          // for the new TLV area
    Bytes before;
};

constexpr int kNewerVersion = 0x2000C;
constexpr int kTooLarge = 0x20014;
const std::string kOld = R"({"TEXT" : {"TITLE" : "alt"}})";

// Every row over every kind: writes that fit, are one byte over and far over, a lock,
// a format and a read. No byte outside the message area changes unless the operation
// answered success and the datasheet lets it (a lock's bits); a refused write leaves
// the old message readable; after a lock that answered success the first, a middle
// and the last user page refuse a raw write, and an NTAG21x's configuration is locked.
TEST(Type2HostileImage, WriteLockFormatAndReadKeepWhatLiesOutsideTheMessage) {
    Reader();
    for (const Kind& k : kKinds) {
        for (int r = 0; r <= static_cast<int>(Row::Version2); ++r) {
            const Row row = static_cast<Row>(r);
            SCOPED_TRACE(std::string(k.kind) + " " + kRowNames[r]);
            const bool newer = row == Row::Version2;
            const size_t behind = 16 + UserBytes(k);
            int result = 0;
            {
                HostileImage t(k, row);
                EXPECT_EQ(t.Read(&result), newer ? "" : kOld);
                if (newer) {
                    EXPECT_EQ(t.Error(), kNewerVersion);
                }
                // Over by one byte (or as little as a text can be) and far over.
                const size_t fits = LongestFitting(t.room);
                for (size_t n : {fits + 1, UserBytes(k) + 300}) {
                    const int written = t.Write(n);
                    EXPECT_EQ(t.Error(), newer ? kNewerVersion : kTooLarge) << n;
                    if (!newer) {
                        EXPECT_EQ(written, -static_cast<int>(TextAreaSize(n) - t.room)) << n;
                    }
                    EXPECT_EQ(t.Memory(), t.before) << "a refused write changes nothing: " << n;
                    EXPECT_EQ(t.Read(&result), newer ? "" : kOld) << n;
                }
                const int written = t.Write(fits);
                EXPECT_EQ(written, newer ? -1 : 0) << t.Error();
                if (newer) {
                    EXPECT_EQ(t.Memory(), t.before);
                }
                EXPECT_EQ(t.Span(0, 16 + t.messageOffset),
                          Bytes(t.before.begin(), t.before.begin() + 16 + static_cast<long>(t.messageOffset)))
                    << "UID, lock bytes, CC and control TLVs";
                EXPECT_EQ(t.Now(behind), t.Before(behind)) << "behind the user memory";
                if (row == Row::LockTlvInData || row == Row::MemoryTlvInData) {
                    EXPECT_EQ(t.Span(48, 52), Hex("5A 5A 5A 5A"));
                }
                if (!newer) {
                    EXPECT_EQ(t.Read(&result), TextJson(fits));
                }

                const Bytes written_ = t.Memory();
                // The CC of a larger chip: its pages may be guarded by a password from
                // here on, its lock bytes lie elsewhere, so the lock is refused.
                const bool largerCc = row == Row::CcOfOtherKind && std::string(k.kind) != "ntag216";
                const int locked = KQLMX_LockTag(Reader().port, nullptr, 0);
                EXPECT_EQ(locked, newer || largerCc ? -1 : 0) << t.Error();
                if (locked == 0) {
                    // CC read-only, static lock bytes FF FF, the datasheet's dynamic
                    // lock bits; every other byte as it was.
                    Bytes expected = written_;
                    expected[15] |= 0x0F;
                    expected[10] = expected[11] = 0xFF;
                    if (k.lockPage >= 0)
                        for (size_t i = 0; i < 4; ++i)
                            expected[static_cast<size_t>(k.lockPage) * 4 + i] |= k.lockBits[i];
                    // NTAG21x without a password in use: CFGLCK (CFG1 byte 0 bit 6) too.
                    if (std::string(k.kind).starts_with("ntag"))
                        expected[static_cast<size_t>(k.behindPage + 1) * 4] |= 0x40;
                    EXPECT_EQ(t.Memory(), expected);
                    for (int page : {4, (4 + k.lastUserPage) / 2, k.lastUserPage})
                        EXPECT_TRUE(t.RawWriteRefused(page)) << "page " << page;
                } else {
                    EXPECT_EQ(t.Error(), largerCc ? 0x20017 : kNewerVersion);
                    EXPECT_EQ(t.Memory(), written_);
                }
            }
            {
                HostileImage t(k, row);
                const int formatted = KQLMX_FormatTag(Reader().port, nullptr, 0);
                // Page 3 is one-time programmable: a newer version cannot go back to
                // 1.0, and the user is told the tag holds a newer version.
                EXPECT_EQ(formatted, newer ? -1 : 0) << t.Error();
                if (newer) {
                    EXPECT_EQ(t.Error(), kNewerVersion);
                    EXPECT_EQ(t.Memory(), t.before);
                } else {
                    // An NDEF Message TLV holding one empty record (D0 00 00).
                    EXPECT_EQ(t.Span(16 + t.messageOffset, 22 + t.messageOffset), Hex("03 03 D0 00 00 FE"));
                    EXPECT_EQ(t.Now(behind), t.Before(behind)) << "behind the user memory";
                }
            }
        }
    }
    kq::CNfcTagHandler::SetFieldOffPause(50);
}

// NTAG21x guarded by a password (CFG0 byte 3 AUTH0, CFG1 bit 7 PROT; the datasheet
// defaults FF and 0): pages from AUTH0 on take no write without the password, so a
// write or a lock that would reach them is refused before its first byte. With PROT
// set the READs of those pages fail too, and the guarded pages are not counted as
// memory: what would reach them does not fit.
TEST(Type2HostileImage, PasswordGuardedPagesAreNeverWrittenHalfway) {
    Reader();
    kq::CNfcTagHandler::SetFieldOffPause(0);
    struct Case {
        const char* kind;
        int configPage;
        uint8_t auth0;
        bool prot;
        size_t text; // characters of the text written
        int written; // 0, or the error code of a refused write
        int locked;  // likewise for the lock
    };
    for (const Case& c : {
             Case{"ntag213", 0x29, 0x10, false, 100, 0x2000E, 0x2000E}, // the write would reach page 10h
             Case{"ntag213", 0x29, 0x20, false, 10, 0, 0x2000E},        // the lock bytes 28h are guarded
             Case{"ntag213", 0x29, 0x29, false, 100, 0, 0},             // only the configuration is guarded
             Case{"ntag215", 0x83, 0x30, false, 200, 0x2000E, 0x2000E},
             Case{"ntag216", 0xE3, 0xE2, false, 10, 0, 0x2000E},
             Case{"ntag213", 0x29, 0x20, true, 120, 0x20014, 0x20017}, // 28 readable user pages
             Case{"ntag215", 0x83, 0x20, true, 10, 0, 0x20017},
             // READs end where an NTAG213's end: its lock bytes would be user memory.
             Case{"ntag215", 0x83, 0x2D, true, 10, 0, 0x20017},
         }) {
        SCOPED_TRACE(std::string(c.kind) + " AUTH0 " + std::to_string(c.auth0) + (c.prot ? " PROT" : ""));
        kqsim::TagImage image;
        image.set("kind", c.kind);
        image.setRow("page", 4, Hex("03 0A D1 01"));
        image.setRow("page", 5, Hex("06 54 02 65"));
        image.setRow("page", 6, Hex("6E 61 6C 74"));
        image.setRow("page", 7, Hex("FE 00 00 00"));
        image.setRow("page", 0x29, Hex("78 78 78 FF")); // user memory: where an NTAG213 has its AUTH0
        image.setRow("page", c.configPage, {0x04, 0x00, 0x00, c.auth0});
        image.setRow("page", c.configPage + 1,
                     {static_cast<uint8_t>(c.prot ? 0x80 : 0x00), 0x05, 0x00, 0x00});
        std::string error;
        auto tag = Type2Tag::load(image, error);
        ASSERT_TRUE(tag) << error;
        const kqsim::TagId id = Reader().sim.placeTag(std::move(tag));
        const Bytes before = *Reader().sim.tagMemory(id);
        char text[4096] = {};
        const std::string json = TextJson(c.text);
        const int written =
            KQLMX_WriteTag(Reader().port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0);
        EXPECT_EQ(written == 0 ? 0 : KQLMX_GetLastError(Reader().port), c.written);
        const int read = KQLMX_ReadTag(Reader().port, text, sizeof text);
        EXPECT_EQ(std::string(text, static_cast<size_t>(std::max(read, 0))), c.written == 0 ? json : kOld);
        if (c.written != 0) {
            EXPECT_EQ(*Reader().sim.tagMemory(id), before) << "a refused write changes nothing";
        }
        const Bytes unlocked = *Reader().sim.tagMemory(id);
        const int locked = KQLMX_LockTag(Reader().port, nullptr, 0);
        EXPECT_EQ(locked == 0 ? 0 : KQLMX_GetLastError(Reader().port), c.locked);
        if (c.locked != 0) {
            EXPECT_EQ(*Reader().sim.tagMemory(id), unlocked) << "a refused lock changes nothing";
        }
        Reader().sim.removeTag(id);
    }
    kq::CNfcTagHandler::SetFieldOffPause(50);
}

} // namespace
} // namespace kqtest
