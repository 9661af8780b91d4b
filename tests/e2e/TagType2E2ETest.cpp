// NFC Forum Type 2 tags through the flat API of libkqlmx, over a pty, against the
// reader simulator's tags. Expected tag memory is written out by hand from the NFC
// Forum Type 2 Tag layout (CC E1 10 size/8 access, TLVs 01 Lock Control, 03 NDEF
// Message, FE Terminator), the NDEF record layout (header MB|ME|SR|TNF, type length,
// payload length, type, payload) and the Ultralight / NTAG datasheets (lock bytes in
// page 2 bytes 2-3, dynamic lock bytes of NTAG213 in page 28h).
#include "LinkFromC.h"
#include "TagSimReader.h"
#include "Type2RawWrite.h"
#include "kqlmx.h"
#include "sim/Iso15693Tag.h"
#include "sim/IsoDepTag.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

namespace kqtest {
namespace {

using kqsim::TagId;
using kqsim::Type2Tag;
using Model = Type2Tag::Model;

constexpr int kTagNoTag = 0x20001;
constexpr int kTagNotFormatted = 0x20004;
constexpr int kTagNfcWriteProtection = 0x20010;
constexpr int kTagBlockRead = 0x20011;
constexpr int kTagBlockWrite = 0x20012;
constexpr int kTagNfcData = 0x20017;
constexpr int kTagUriFormat = 0x20018;
constexpr int kTagMimeFormat = 0x20019;
constexpr int kTagUnknownDataType = 0x2001B;

// NTAG213 as shipped: pages 4-5 hold 01 03 A0 0C 34 (Lock Control TLV: dynamic lock
// bits at page 28h, 12 bits) and an empty NDEF Message TLV 03 00 FE.
const Bytes kNtag213LockControl = Hex("01 03 A0 0C 34");

// 03 L value FE for a value shorter than 255 bytes.
Bytes NdefTlv(const Bytes& message) {
    return Cat({{0x03, static_cast<uint8_t>(message.size())}, message, {0xFE}});
}

// A short record that is the whole message: MB ME SR and the TNF.
Bytes ShortRecord(uint8_t tnf, const std::string& type, const Bytes& payload) {
    return Cat({{static_cast<uint8_t>(0xD0 | tnf), static_cast<uint8_t>(type.size()),
                 static_cast<uint8_t>(payload.size())},
                Ascii(type),
                payload});
}

Bytes PaddedToPages(Bytes bytes) {
    bytes.resize((bytes.size() + 3) / 4 * 4, 0x00);
    return bytes;
}

int LastError(const TagSimReader& r) {
    return KQLMX_GetLastError(r.port);
}

using Pages = std::vector<std::pair<int, Bytes>>;

// A Type 2 tag of `kind` as shipped (a generic one of `pageCount` pages), with these
// pages written over.
std::unique_ptr<Type2Tag> TagWithPages(const char* kind, const Pages& pages, int pageCount = 0) {
    kqsim::TagImage image;
    image.set("kind", kind);
    if (pageCount) image.set("pages", std::to_string(pageCount));
    for (const auto& [page, bytes] : pages)
        image.setRow("page", page, bytes);
    std::string error;
    auto tag = Type2Tag::load(image, error);
    EXPECT_TRUE(tag) << error;
    return tag;
}

std::string ReadJson(const TagSimReader& r, int* result = nullptr) {
    char text[2048] = {};
    const int n = KQLMX_ReadTag(r.port, text, sizeof text);
    if (result) *result = n;
    return n >= 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

int WriteJson(const TagSimReader& r, const std::string& json, int lockAfter = 0) {
    return KQLMX_WriteTag(r.port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, lockAfter);
}

// --- formatting --------------------------------------------------------------------

struct FormatCase {
    const char* name;
    Model model;
    int pages;   // of a generic tag
    Bytes cc;    // page 3 after formatting
    Bytes page6; // page 6 is not written
};

class FormatBlank : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatBlank, GetsTheCcOfItsSizeAndAnEmptyMessage) {
    const FormatCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(c.model, {}, c.pages));
    ASSERT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), 0) << LastError(r);
    // Empty NDEF record D0 00 00 in an NDEF Message TLV, then the Terminator.
    EXPECT_EQ(r.Pages(id, 3, 4), Cat({c.cc, Hex("03 03 D0 00"), Hex("00 FE 00 00"), c.page6}));
    int result = -1;
    EXPECT_EQ(ReadJson(r, &result), "");
    EXPECT_EQ(result, 0) << "a formatted tag without a record reads as an empty text";
}

// Data area = pages x 4 - 16; the CC says size / 8, at most FF (2040 bytes) even for a
// room of 2048 bytes or more. Tags other than the Ultralights are sized by probing.
INSTANTIATE_TEST_SUITE_P(
    Type2, FormatBlank,
    testing::Values(FormatCase{"ultralight", Model::Ultralight, 0, Hex("E1 10 06 00"), Hex("00 00 00 00")},
                    // 48 pages: 144 bytes (pages 4-27h); the shipped page 6 stays.
                    FormatCase{"ultralight_c", Model::UltralightC, 0, Hex("E1 10 12 00"), Hex("11 FF 00 00")},
                    FormatCase{"pages64", Model::Generic, 64, Hex("E1 10 1E 00"), Hex("00 00 00 00")},
                    FormatCase{"pages528", Model::Generic, 528, Hex("E1 10 FF 00"), Hex("00 00 00 00")},
                    FormatCase{"pages600", Model::Generic, 600, Hex("E1 10 FF 00"), Hex("00 00 00 00")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Type2Format, EmptyJsonTextFormatsLikeTheFormatCall) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ultralight));
    ASSERT_EQ(KQLMX_WriteTag(r.port, "", 0, nullptr, 0, 0), 0);
    EXPECT_EQ(r.Pages(id, 3, 3), Hex("E1 10 06 00 03 03 D0 00 00 FE 00 00"));
}

// --- writing and reading records ---------------------------------------------------

struct RecordCase {
    const char* name;
    std::string json; // as the library's JSON writer spells it, so it reads back equal
    Bytes record;
};

class WriteAndRead : public testing::TestWithParam<RecordCase> {};

TEST_P(WriteAndRead, KeepsTheLockControlTlvAndReadsBack) {
    const RecordCase& c = GetParam();
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    const Bytes before = *r.sim.tagMemory(id);
    ASSERT_EQ(WriteJson(r, c.json), 0) << LastError(r);
    // The Lock Control TLV stays; the NDEF Message TLV after it is replaced.
    const Bytes area = PaddedToPages(Cat({kNtag213LockControl, NdefTlv(c.record)}));
    EXPECT_EQ(r.Pages(id, 4, static_cast<int>(area.size() / 4)), area);
    EXPECT_EQ(r.Pages(id, 0, 4), Bytes(before.begin(), before.begin() + 16))
        << "UID, lock bytes and CC untouched";
    EXPECT_EQ(ReadJson(r), c.json);
}

// URI identifier code 04 is "https://"; "sms:" has no code (00). The text record's
// status byte 02 says UTF-8 with a two-byte language code. The contact is vCard 2.1
// text in a MIME record (TNF 2) of type "text/x-vCard".
INSTANTIATE_TEST_SUITE_P(
    Type2, WriteAndRead,
    testing::Values(
        RecordCase{"url", R"({"BOOKMARK" : {"URL" : "https://example.com/a","TITLE" : ""}})",
                   Hex("D1 01 0E 55 04 65 78 61 6D 70 6C 65 2E 63 6F 6D 2F 61")},
        RecordCase{"text", R"({"TEXT" : {"TITLE" : "Hallo"}})",
                   ShortRecord(0x01, "T", Cat({{0x02}, Ascii("enHallo")}))},
        RecordCase{
            "contact", R"({"VCARD" : {"FIRSTNAME" : "Anna","SURNAME" : "Berg","ORGANISATION" : ""}})",
            ShortRecord(0x02, "text/x-vCard",
                        Ascii("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Anna Berg\r\nN:Berg;Anna\r\nEND:VCARD"))},
        RecordCase{"sms", R"({"SMS" : {"ADDRESS" : "+491234","MESSAGE" : "Hi there","TITLE" : ""}})",
                   ShortRecord(0x01, "U", Cat({{0x00}, Ascii("sms:%2B491234?body=Hi%20there")}))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Type2Write, CountedTerminatorAndLockAfterWriting) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    const char json[] = R"({"TEXT" : {"TITLE" : "Hallo"}})";
    ASSERT_EQ(KQLMX_WriteTag(r.port, json, sizeof json, nullptr, 0, 1), 0)
        << "length with the zero, lock after";
    EXPECT_EQ(ReadJson(r), json);
    EXPECT_EQ(r.Pages(id, 3, 1), Hex("E1 10 12 0F"));
}

TEST(Type2Write, MessageThatDoesNotFitIsRefusedBeforeAnyWrite) {
    // NTAG213: 144 bytes of data area; the NDEF TLV starts at byte 5 behind the Lock
    // Control TLV, so writing starts at page 5 with one kept byte: 140 bytes of room.
    // A text of n characters takes 1 + (03 L D1 01 L' 54 02 "en" text FE) = 11 + n.
    for (int excess : {1, 3, 20}) {
        TagSimReader r;
        const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
        const Bytes before = *r.sim.tagMemory(id);
        const std::string json = R"({"TEXT" : {"TITLE" : ")" + std::string(129 + excess, 'x') + R"("}})";
        EXPECT_EQ(WriteJson(r, json), -excess);
        EXPECT_EQ(LastError(r), KQLMX_ERROR_MESSAGE_TOO_LARGE);
        EXPECT_EQ(*r.sim.tagMemory(id), before);
        EXPECT_TRUE(r.Commands(0x35).empty()) << "nothing written";
    }
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    const std::string fits = R"({"TEXT" : {"TITLE" : ")" + std::string(129, 'x') + R"("}})";
    ASSERT_EQ(WriteJson(r, fits), 0) << "exactly the room";
    EXPECT_EQ(r.Pages(id, 39, 1), Hex("78 78 78 FE"));
    EXPECT_EQ(ReadJson(r), fits);
}

TEST(Type2Write, MessageBeyondAnyTlvLengthIsTooLargeNeverSuccess) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag216));
    const Bytes before = *r.sim.tagMemory(id);
    const std::string json = R"({"TEXT" : {"TITLE" : ")" + std::string(70000, 'x') + R"("}})";
    const int result = WriteJson(r, json);
    EXPECT_LT(result, 0);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_MESSAGE_TOO_LARGE);
    EXPECT_EQ(*r.sim.tagMemory(id), before);
}

TEST(Type2Write, RecordTextThatBuildsNoRecordGetsACode) {
    struct Case {
        std::string json;
        int code;
    };
    for (const Case& c :
         {Case{"not json", kTagUnknownDataType}, Case{R"({"TEXT" : 5})", kTagUnknownDataType},
          Case{R"({"PICTURE" : {"URL" : "x"}})", kTagUnknownDataType},
          Case{R"({"VCARD" : {"FIRSTNAME" : "","SURNAME" : "","ORGANISATION" : "Kiel"}})", kTagMimeFormat},
          // Without number or address the URI would read back otherwise.
          Case{R"({"SMS" : {"ADDRESS" : "","MESSAGE" : "hi","TITLE" : ""}})", kTagUriFormat},
          Case{R"({"SMS" : {"ADDRESS" : "","MESSAGE" : "","TITLE" : "T"}})", kTagUriFormat},
          Case{R"({"MAIL" : {"ADDRESS" : "","SUBJECT" : "S","MESSAGE" : "x","TITLE" : ""}})", kTagUriFormat},
          // Text ends at a NUL byte: nothing of the number, address or name is left.
          Case{R"({"SMS" : {"ADDRESS" : "\u0000123","MESSAGE" : "hi","TITLE" : ""}})", kTagUriFormat},
          Case{R"({"MAIL" : {"ADDRESS" : "\u0000a@b","SUBJECT" : "S","MESSAGE" : "","TITLE" : ""}})",
               kTagUriFormat},
          Case{R"({"VCARD" : {"FIRSTNAME" : "\u0000Anna","SURNAME" : "","ORGANISATION" : "Kiel"}})",
               kTagMimeFormat},
          // A text would hold only what stands before the zero.
          Case{R"({"TEXT" : {"TITLE" : "a\u0000b"}})", kTagUnknownDataType}}) {
        TagSimReader r;
        const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
        const Bytes before = *r.sim.tagMemory(id);
        EXPECT_EQ(WriteJson(r, c.json), -1) << c.json;
        EXPECT_EQ(LastError(r), c.code) << c.json;
        EXPECT_EQ(*r.sim.tagMemory(id), before);
        EXPECT_TRUE(r.Commands().empty()) << "the tag is not even looked for";
    }
}

// A length that cannot be, or no text for a positive length, must not format the tag
// (erasing the user's data) and report success.
TEST(Type2Write, ImpossibleTextLengthIsRefusedBeforeTheTagIsTouched) {
    const char json[] = R"({"TEXT" : {"TITLE" : "x"}})";
    struct Case {
        const char* text;
        int length;
    };
    for (const Case& c :
         {Case{json, -1}, Case{json, -1000}, Case{"", -1}, Case{nullptr, 5}, Case{nullptr, -1}}) {
        TagSimReader r;
        const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
        ASSERT_EQ(WriteJson(r, json), 0);
        const Bytes before = *r.sim.tagMemory(id);
        r.ClearLog();
        EXPECT_EQ(KQLMX_WriteTag(r.port, c.text, c.length, nullptr, 0, 0), -1) << c.length;
        EXPECT_EQ(LastError(r), KQLMX_ERROR_BAD_TEXT_LENGTH) << c.length;
        EXPECT_EQ(*r.sim.tagMemory(id), before) << c.length;
        EXPECT_TRUE(r.Commands().empty()) << "the tag is not even looked for";
    }
}

TEST(Type2Write, TlvsThatFillWholeReadsInFrontOfTheMessageStay) {
    // A Lock Control TLV padded with NULL TLVs to page 6, and one with a Memory Control
    // TLV padded to the end of the first four-page read (page 8).
    struct Case {
        Pages pages;
        int ndefPage;
    };
    const std::string old = R"({"TEXT" : {"TITLE" : "alt"}})";
    const Bytes oldTlv = NdefTlv(ShortRecord(0x01, "T", Cat({{0x02}, Ascii("enalt")})));
    for (const Case& c :
         {Case{{{4, Hex("01 03 A0 0C")}, {5, Hex("34 00 00 00")}}, 6}, Case{{{4, Hex("01 03 A0 0C")},
                                                                             {5, Hex("34 02 03 B0")},
                                                                             {6, Hex("04 01 00 00")},
                                                                             {7, Hex("00 00 00 00")}},
                                                                            8}}) {
        Pages pages = c.pages;
        const Bytes padded = PaddedToPages(oldTlv);
        for (size_t i = 0; i < padded.size() / 4; ++i)
            pages.emplace_back(c.ndefPage + static_cast<int>(i),
                               Bytes(padded.begin() + static_cast<long>(i * 4),
                                     padded.begin() + static_cast<long>(i * 4 + 4)));
        TagSimReader r;
        const TagId id = r.sim.placeTag(TagWithPages("ntag213", pages));
        EXPECT_EQ(ReadJson(r), old) << c.ndefPage;
        const Bytes head = r.Pages(id, 4, c.ndefPage - 4);
        const std::string json = R"({"TEXT" : {"TITLE" : "neu"}})";
        ASSERT_EQ(WriteJson(r, json), 0) << LastError(r);
        EXPECT_EQ(r.Pages(id, 4, c.ndefPage - 4), head) << "the TLVs in front stay";
        EXPECT_EQ(r.Pages(id, c.ndefPage, 1), Hex("03 0A D1 01"));
        EXPECT_EQ(ReadJson(r), json);
    }
}

TEST(Type2Write, NdefTlvFarIntoALargeAreaIsFoundAndReplaced) {
    // 600 pages, a CC of 2040 bytes, NULL TLVs up to byte 1200 (page 304, beyond the
    // first 256 pages), then an empty NDEF Message TLV.
    kqsim::TagImage image;
    image.set("kind", "type2");
    image.set("pages", "600");
    image.setRow("page", 3, Hex("E1 10 FF 00"));
    image.setRow("page", 304, Hex("03 00 FE 00"));
    std::string error;
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::load(image, error));
    int result = -1;
    EXPECT_EQ(ReadJson(r, &result), "");
    EXPECT_EQ(result, 0);
    const std::string json = R"({"TEXT" : {"TITLE" : "weit hinten"}})";
    ASSERT_EQ(WriteJson(r, json), 0) << LastError(r);
    EXPECT_EQ(r.Pages(id, 304, 2), Hex("03 12 D1 01 0E 54 02 65"));
    EXPECT_EQ(r.Pages(id, 4, 300), Bytes(1200, 0x00));
    EXPECT_EQ(ReadJson(r), json);
}

// A tag whose area holds control TLVs but no NDEF Message TLV yet: they stay, and the
// message goes behind them.
TEST(Type2Write, ControlTlvsWithoutAMessageStay) {
    const std::string json = R"({"TEXT" : {"TITLE" : "neu"}})";
    const Bytes tlv = NdefTlv(ShortRecord(0x01, "T", Cat({{0x02}, Ascii("enneu")})));
    for (const Bytes& controls : {Hex("01 03 A0 0C 34"), Hex("00 01 03 A0 0C 34 02 03 B0 04 01")}) {
        SCOPED_TRACE(testing::PrintToString(controls));
        const Bytes area = PaddedToPages(Cat({controls, {0xFE}}));
        Pages pages;
        for (size_t i = 0; i < area.size() / 4; ++i)
            pages.emplace_back(4 + static_cast<int>(i), Bytes(area.begin() + static_cast<long>(i * 4),
                                                              area.begin() + static_cast<long>(i * 4 + 4)));
        TagSimReader r;
        const TagId id = r.sim.placeTag(TagWithPages("ntag213", pages));
        ASSERT_EQ(WriteJson(r, json), 0) << LastError(r);
        const Bytes expected = PaddedToPages(Cat({controls, tlv}));
        EXPECT_EQ(r.Pages(id, 4, static_cast<int>(expected.size() / 4)), expected);
        EXPECT_EQ(ReadJson(r), json);
    }
}

// A blank CC with readable pages behind the user memory (dynamic lock bytes,
// configuration pages with AUTH0, ACCESS, PWD): the message gets the user memory of
// the tag's datasheet layout, no more, and no page behind it is written.
TEST(Type2Write, BlankTagOfAKnownLayoutGetsItsUserMemoryOnly) {
    struct Case {
        const char* kind;
        int pages;     // of a generic tag (maker 04)
        int userBytes; // pages 4 .. 4 + userBytes / 4 - 1
    };
    const Case cases[] = {
        {"ntag213", 0, 144}, {"ntag215", 0, 504},
        {"ntag216", 0, 888}, {"type2", 20, 48}, // Ultralight EV1 MF0UL11, NTAG210
        {"type2", 41, 128},                     // Ultralight EV1 MF0UL21, NTAG212
    };
    // A text of n characters in its TLV: 03 L D1 01 L' 54 02 "en" text FE (10 + n bytes
    // up to n = 247); for longer ones (used here from n = 253 on) the TLV length takes
    // FF and two bytes and the record a four-byte payload length: C1 01 00 00 L' 54 ...
    // (15 + n).
    const auto textFor = [](int areaBytes) {
        const int n = areaBytes <= 257 ? areaBytes - 10 : areaBytes - 15;
        return R"({"TEXT" : {"TITLE" : ")" + std::string(static_cast<size_t>(n), 'x') + R"("}})";
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.pages));
        kqsim::TagImage image;
        image.set("kind", c.kind);
        if (c.pages) image.set("pages", std::to_string(c.pages));
        image.setRow("page", 3, Hex("00 00 00 00"));
        image.setRow("page", 4, Hex("00 00 00 00"));
        image.setRow("page", 5, Hex("00 00 00 00"));
        std::string error;
        TagSimReader r;
        const TagId id = r.sim.placeTag(Type2Tag::load(image, error));
        const Bytes before = *r.sim.tagMemory(id);
        const size_t behind = 16 + static_cast<size_t>(c.userBytes);

        EXPECT_EQ(WriteJson(r, textFor(c.userBytes + 1)), -1) << "one byte more than the user memory";
        EXPECT_EQ(LastError(r), KQLMX_ERROR_MESSAGE_TOO_LARGE);
        EXPECT_EQ(*r.sim.tagMemory(id), before);

        ASSERT_EQ(WriteJson(r, textFor(c.userBytes)), 0) << LastError(r);
        const Bytes after = *r.sim.tagMemory(id);
        EXPECT_EQ(r.Pages(id, 3, 1), Cat({Hex("E1 10"), {static_cast<uint8_t>(c.userBytes / 8)}, {0x00}}));
        EXPECT_EQ(after[behind - 1], 0xFE) << "the message fills the user memory";
        EXPECT_EQ(Bytes(after.begin() + static_cast<long>(behind), after.end()),
                  Bytes(before.begin() + static_cast<long>(behind), before.end()))
            << "nothing written behind the user memory";
    }
}

TEST(Type2Write, NothingIsWrittenWhenTheAreaCannotBeReadOrFormatted) {
    struct Case {
        const char* name;
        const char* kind;
        Pages pages;
        int code;
    };
    for (const Case& c :
         {// The look-up of the NDEF TLV fails (its first page read is refused): the
          // Lock Control TLV is not written over blindly.
          Case{"lookup_fails",
               "ultralight",
               {{3, Hex("E1 10 06 00")}, {4, Hex("01 03 A0 0C")}, {5, Hex("34 00 00 00")}},
               kTagBlockRead},
          // A blank tag whose one-time programmable CC page has a bit set already:
          // the CC it gets is not E1 10 06 00, so formatting fails.
          Case{"otp_cc_spoilt", "ultralight", {{3, Hex("02 00 00 00")}, {4, Hex("FF FF FF FF")}}, 0x2000B}}) {
        TagSimReader r;
        const TagId id = r.sim.placeTag(TagWithPages(c.kind, c.pages));
        const Bytes before = *r.sim.tagMemory(id);
        // The look-up's first read: after pages 0-3, the last page of an NTAG210 (which a
        // CC of 48 bytes names too) refused, and the two reads that confirm the end of a
        // 16-page tag (its last page, the page behind it).
        if (std::string(c.name) == "lookup_fails")
            r.sim.inject(kqsim::Fault::status(0x01).forCommand(0x34).after(4));
        EXPECT_EQ(WriteJson(r, R"({"TEXT" : {"TITLE" : "x"}})"), -1) << c.name;
        EXPECT_EQ(LastError(r), c.code) << c.name;
        const Bytes after = *r.sim.tagMemory(id);
        EXPECT_EQ(Bytes(after.begin() + 16, after.end()), Bytes(before.begin() + 16, before.end())) << c.name;
    }
}

// --- locking -----------------------------------------------------------------------

// After a lock every user page refuses a write: the static lock bytes, and every
// dynamic lock bit the tag has, from its Lock Control TLV (NTAG213 as shipped: 12 bits
// at 28h) or from its datasheet layout (the CC of NTAG215/216 under-reports the data
// area; the Ultralight C and a formatted NTAG213 have no TLV).
TEST(Type2Lock, EveryUserPageRefusesARawWriteAfterALock) {
    struct Case {
        const char* name;
        Model model;
        Pages pages;  // written over the tag as shipped
        int lastUser; // last user page
        int lockPage; // page of the dynamic lock bytes, -1 none
        Bytes lockBytes;
    };
    const Case cases[] = {
        {"ultralight", Model::Ultralight, {}, 0x0F, -1, {}},
        // Byte 0 of page 28h covers pages 16-39; byte 1 covers pages behind the user
        // memory (counter, authentication configuration and key), which stay open.
        {"ultralight_c", Model::UltralightC, {}, 0x27, 0x28, Hex("FF 00 00 00")},
        {"ntag213", Model::Ntag213, {}, 0x27, 0x28, Hex("FF 0F 00 00")},
        {"ntag213_without_tlv",
         Model::Ntag213,
         {{4, Hex("03 00 FE 00")}, {5, Hex("00 00 00 00")}},
         0x27,
         0x28,
         Hex("FF 0F 00 00")},
        {"ntag215", Model::Ntag215, {}, 0x81, 0x82, Hex("FF 00 00 00")},
        {"ntag216", Model::Ntag216, {}, 0xE1, 0xE2, Hex("FF 3F 00 00")},
    };
    const std::string json = R"({"TEXT" : {"TITLE" : "fest"}})";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TagSimReader r;
        auto shipped = Type2Tag::blank(c.model);
        kqsim::TagImage image;
        shipped->save(image);
        for (const auto& [page, bytes] : c.pages)
            image.setRow("page", page, bytes);
        std::string error;
        const TagId id = r.sim.placeTag(Type2Tag::load(image, error));
        ASSERT_EQ(WriteJson(r, json), 0) << LastError(r);
        ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << LastError(r);
        const Bytes page2 = r.Pages(id, 2, 1);
        EXPECT_EQ(Bytes(page2.begin() + 2, page2.end()), Hex("FF FF")) << "static lock bytes";
        EXPECT_EQ(r.Pages(id, 3, 1)[3], 0x0F) << "CC write access: read-only";
        if (c.lockPage >= 0) {
            EXPECT_EQ(r.Pages(id, c.lockPage, 1), c.lockBytes);
        }
        EXPECT_EQ(ReadJson(r), json) << "a locked tag still reads";

        std::unique_ptr<kqsim::Tag> removed = r.sim.removeTag(id);
        auto* tag = dynamic_cast<Type2Tag*>(removed.get());
        ASSERT_TRUE(tag);
        for (int page : {4, 0x10, c.lastUser})
            EXPECT_TRUE(RawType2WriteRefused(*tag, page)) << "page " << page;
    }
}

TEST(Type2Lock, LockedTagRefusesWritesAndLocksAgain) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    const std::string json = R"({"TEXT" : {"TITLE" : "fest"}})";
    ASSERT_EQ(WriteJson(r, json), 0);
    ASSERT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << LastError(r);
    // Static lock bytes FF FF, CC write access F (read-only).
    // (Page 2 bytes 0-1: BCC1 = C3^D4^E5^F6 = 04 and the internal byte 48.)
    EXPECT_EQ(r.Pages(id, 2, 2), Hex("04 48 FF FF E1 10 12 0F"));

    const Bytes locked = *r.sim.tagMemory(id);
    r.ClearLog();
    EXPECT_EQ(WriteJson(r, R"({"TEXT" : {"TITLE" : "neu"}})"), -1);
    EXPECT_EQ(LastError(r), kTagNfcWriteProtection);
    EXPECT_TRUE(r.Commands(0x35).empty()) << "refused before any write";
    EXPECT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), -1);
    EXPECT_EQ(LastError(r), kTagNfcWriteProtection);
    EXPECT_EQ(*r.sim.tagMemory(id), locked);

    EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), 0) << "locking twice succeeds";
    EXPECT_EQ(*r.sim.tagMemory(id), locked);
}

// Catches a lock begun on a tag it cannot finish: an unformatted tag, static lock bits
// frozen open by their block-locking bit, and, on a tag
// of no known layout (64 pages), a Lock Control TLV whose bits lie beyond the memory
// (page Fh x 32 bytes = byte 480 of 256).
TEST(Type2Lock, TagThatCannotBeLockedIsLeftAsItWas) {
    struct Case {
        const char* kind;
        Pages pages;
        int code;
    };
    for (const Case& c : {Case{"ultralight", {}, kTagNotFormatted},
                          // Block-locking bit BL9-4 set while the lock bits of pages 4-9 are clear.
                          Case{"ntag213", {{2, Hex("00 00 02 00")}}, 0x2000E},
                          Case{"type2",
                               {{3, Hex("E1 10 12 00")}, {4, Hex("01 03 F0 0C")}, {5, Hex("35 03 00 FE")}},
                               kTagNfcData}}) {
        TagSimReader r;
        const TagId id =
            r.sim.placeTag(TagWithPages(c.kind, c.pages, std::string(c.kind) == "type2" ? 64 : 0));
        const Bytes before = *r.sim.tagMemory(id);
        EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), -1) << c.kind;
        EXPECT_EQ(LastError(r), c.code) << c.kind;
        EXPECT_EQ(*r.sim.tagMemory(id), before) << c.kind;
    }
}

// --- tags that go away -------------------------------------------------------------

TEST(Type2Write, TagRemovedMidWriteFailsAndTheNextTagIsWritten) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    // Request, select, the CC with the TLV area's start, the NTAG213's last page (the
    // READ rolls over to pages 0-2), its lock bytes and configuration, then three of the
    // page writes. The write that no tag answers is told as the tag gone.
    r.sim.removeTagAfter(id, 8);
    const std::string json = R"({"BOOKMARK" : {"URL" : "https://example.com/a","TITLE" : ""}})";
    EXPECT_EQ(WriteJson(r, json), -1);
    EXPECT_EQ(LastError(r), kTagNoTag);
    EXPECT_EQ(r.Commands(0x35).size(), 4u) << "three page writes taken, the fourth not answered";
    EXPECT_TRUE(r.sim.tagIds().empty());

    EXPECT_EQ(WriteJson(r, json), -1);
    EXPECT_EQ(LastError(r), kTagNoTag) << "an empty field";

    r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    EXPECT_EQ(WriteJson(r, json), 0) << LastError(r);
    EXPECT_EQ(ReadJson(r), json);
}

TEST(Type2Write, HalfWrittenTagReadsAsAnEmptyFormattedTag) {
    TagSimReader r;
    const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    ASSERT_EQ(WriteJson(r, R"({"TEXT" : {"TITLE" : "alt"}})"), 0);
    // The tag answers the first three page writes of the next message, then is gone
    // for the reader (it still wrote the third).
    r.sim.inject(kqsim::Fault::status(0x01).forCommand(0x35).after(3));
    EXPECT_EQ(WriteJson(r, R"({"TEXT" : {"TITLE" : "eine deutlich laengere Nachricht"}})"), -1);
    EXPECT_EQ(LastError(r), kTagBlockWrite);
    // Page 5 still carries a Terminator where the NDEF Message TLV begins: the CC is
    // valid, so the tag reads as formatted and empty, not as one to format.
    EXPECT_EQ(r.Pages(id, 5, 1), Hex("34 FE 27 D1"));
    int result = -1;
    EXPECT_EQ(ReadJson(r, &result), "");
    EXPECT_EQ(result, 0) << std::hex << LastError(r);
}

// --- what the field holds ----------------------------------------------------------

TEST(TagCalls, EmptyFieldUidsAndFamiliesNotSupported) {
    TagSimReader r;
    unsigned char uid[8];
    EXPECT_EQ(KQLMX_GetTagUid(r.port, uid, 8), -1);
    EXPECT_EQ(LastError(r), kTagNoTag);
    EXPECT_EQ(ReadJson(r), "");
    EXPECT_EQ(LastError(r), kTagNoTag);

    TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    EXPECT_EQ(KQLMX_GetTagUid(r.port, uid, 8), 8);
    EXPECT_EQ(Bytes(uid, uid + 8), Hex("04 A1 B2 C3 D4 E5 F6 00"));
    r.sim.removeTag(id);
    id = r.sim.placeTag(std::make_unique<PlainTypeATag>(Hex("A1 B2 C3 D4"), 0x0004, 0x08));
    EXPECT_EQ(KQLMX_GetTagUid(r.port, uid, 8), 8);
    EXPECT_EQ(Bytes(uid, uid + 8), Hex("A1 B2 C3 D4 00 00 00 00")) << "a short UID padded with zeros";
    r.sim.removeTag(id);

    // An ISO 15693 tag: its UID as sent (least significant byte first); blank, it holds
    // no NDEF yet.
    id = r.sim.placeTag(kqsim::Iso15693Tag::blank());
    EXPECT_EQ(KQLMX_GetTagUid(r.port, uid, 8), 8);
    EXPECT_EQ(Bytes(uid, uid + 8), Hex("78 56 34 12 00 01 04 E0"));
    EXPECT_EQ(ReadJson(r), "");
    EXPECT_EQ(LastError(r), kTagNotFormatted);
    r.sim.removeTag(id);

    // An ISO 14443-4 card without the NDEF application (it knows no file at all): not
    // NFC formatted.
    struct Card : kqsim::CardModel {
        std::string kind() const override { return "card"; }
        Bytes processApdu(const Bytes&) override { return {0x6A, 0x82}; }
    };
    r.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Hex("04 01 02 03 04 05 06"), std::make_unique<Card>()));
    EXPECT_EQ(ReadJson(r), "");
    EXPECT_EQ(LastError(r), 0x20004);
    EXPECT_EQ(KQLMX_LockTag(r.port, nullptr, 0), -1);
    EXPECT_EQ(LastError(r), 0x20004);
    const unsigned char key[16] = {};
    EXPECT_EQ(KQLMX_ChangeTagKey(r.port, 0, key, 16, key, 16), -1);
    EXPECT_EQ(LastError(r), 0x20004);
}

TEST(TagCalls, KeyChangeAsksForAType4Tag) {
    TagSimReader r;
    r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    const unsigned char key[16] = {};
    EXPECT_EQ(KQLMX_ChangeTagKey(r.port, 1, nullptr, 0, key, 16), -1);
    EXPECT_EQ(LastError(r), 0x20003);
}

// Catches a key of a length other than 0 or 16, or a buffer too small for the answer,
// found out only after the tag was looked for (or written).
TEST(TagCalls, BadArgumentsAreRefusedBeforeAnyReaderTraffic) {
    TagSimReader r;
    r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    const unsigned char key[24] = {};
    for (int length : {8, 24, -1}) {
        EXPECT_EQ(KQLMX_FormatTag(r.port, key, length), -1);
        EXPECT_EQ(LastError(r), KQLMX_ERROR_KEY_LENGTH);
        EXPECT_EQ(KQLMX_LockTag(r.port, key, length), -1);
        EXPECT_EQ(LastError(r), KQLMX_ERROR_KEY_LENGTH);
        EXPECT_EQ(KQLMX_WriteTag(r.port, "", 0, key, length, 0), -1);
        EXPECT_EQ(LastError(r), KQLMX_ERROR_KEY_LENGTH);
        EXPECT_EQ(KQLMX_ChangeTagKey(r.port, 0, key, length, key, 16), -1);
        EXPECT_EQ(LastError(r), KQLMX_ERROR_KEY_LENGTH);
        EXPECT_EQ(KQLMX_ChangeTagKey(r.port, 0, key, 16, key, length), -1) << "the new key as well";
        EXPECT_EQ(LastError(r), KQLMX_ERROR_KEY_LENGTH);
    }
    unsigned char uid[8];
    EXPECT_EQ(KQLMX_GetTagUid(r.port, uid, 7), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(KQLMX_GetTagUid(r.port, nullptr, 8), -1);
    EXPECT_EQ(KQLMX_ReadTag(r.port, nullptr, 100), -1);
    EXPECT_EQ(LastError(r), KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_TRUE(r.Commands().empty());
    EXPECT_EQ(KQLMX_FormatTag(55, nullptr, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(55), KQLMX_ERROR_NO_SUCH_PORT);
    EXPECT_EQ(KQLMX_FormatTag(r.port, key, 16), 0) << "a 16-byte key is taken (and unused by Type 2 tags)";
}

TEST(TagCalls, TagFoundAfterTheFieldWasOffForAMoment) {
    TagSimReader r;
    r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    r.sim.inject(kqsim::Fault::status(0x01).forCommand(0x30)); // no answer to the first request
    unsigned char uid[8];
    EXPECT_EQ(KQLMX_GetTagUid(r.port, uid, 8), 8);
    const std::vector<Bytes> commands = r.Commands();
    ASSERT_GE(commands.size(), 5u);
    EXPECT_EQ(commands[0], Hex("30"));
    EXPECT_EQ(commands[1], Hex("F5 00"));
    EXPECT_EQ(commands[2], Hex("F5 01"));
    EXPECT_EQ(commands[3], Hex("30"));
    EXPECT_EQ(commands[4], Hex("31"));
}

// --- contacts of other writers ----------------------------------------------------

// A folded line: vCard 2.1 folds before a blank of the value, which stays; 3.0
// inserts the blank, which goes.
TEST(Type2Read, FoldedContactLinesUnfoldAsTheirVersionSays) {
    struct Case {
        std::string card;
        std::string firstName;
    };
    for (const Case& c : {Case{"VERSION:2.1\r\nN:Berg;Anna\r\n Maria", "Anna Maria"},
                          Case{"N:Berg;Anna\r\n\tMaria", "Anna\\tMaria"}, // 2.1 without a VERSION line
                          Case{"VERSION:3.0\r\nN:Berg;Anna\r\n Maria", "AnnaMaria"},
                          Case{"VERSION:4.0\r\nN:Berg;An\r\n na", "Anna"}}) {
        const Bytes record =
            ShortRecord(0x02, "text/vcard", Ascii("BEGIN:VCARD\r\n" + c.card + "\r\nEND:VCARD"));
        const Bytes area = PaddedToPages(Cat({kNtag213LockControl, NdefTlv(record)}));
        Pages pages;
        for (size_t at = 0; at < area.size(); at += 4)
            pages.emplace_back(4 + static_cast<int>(at / 4), Bytes(area.begin() + at, area.begin() + at + 4));
        TagSimReader r;
        r.sim.placeTag(TagWithPages("ntag213", pages));
        EXPECT_EQ(ReadJson(r), R"({"VCARD" : {"FIRSTNAME" : ")" + c.firstName +
                                   R"(","SURNAME" : "Berg","ORGANISATION" : ""}})")
            << c.card;
    }
}

// --- calls from C that call the library back ----------------------------------------

// A zero before the end of a text of positive length is refused before the tag is
// touched; only a text with nothing before its terminator formats the tag.
TEST(TagCalls, ZeroInsideTheTextIsRefusedBeforeTheTagIsTouched) {
    struct Case {
        const char* name;
        std::string text;
        int result;
    };
    for (const Case& c :
         {Case{"zero_first", std::string("\0abc", 4), -1},
          Case{"zero_inside", std::string(R"({"TEXT" : {"TITLE" : "a)") + '\0' + R"(b"}})", -1},
          Case{"two_terminators", std::string(R"({"TEXT" : {"TITLE" : "ab"}})") + '\0' + '\0', -1},
          Case{"terminator_alone", std::string(1, '\0'), 0}}) {
        TagSimReader r;
        const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
        ASSERT_EQ(WriteJson(r, R"({"TEXT" : {"TITLE" : "alt"}})"), 0);
        const Bytes before = *r.sim.tagMemory(id);
        r.ClearLog();
        EXPECT_EQ(KQLMX_WriteTag(r.port, c.text.data(), static_cast<int>(c.text.size()), nullptr, 0, 0),
                  c.result)
            << c.name;
        if (c.result < 0) {
            EXPECT_EQ(LastError(r), KQLMX_ERROR_BAD_TEXT_LENGTH) << c.name;
            EXPECT_TRUE(r.Commands().empty()) << c.name;
            EXPECT_EQ(*r.sim.tagMemory(id), before) << c.name;
            EXPECT_EQ(ReadJson(r), R"({"TEXT" : {"TITLE" : "alt"}})") << c.name;
        }
    }
}

// A tag call from the pump hook during a write's answer wait is refused at once with
// the port's busy code, and the write goes on.
TEST(TagCalls, TagCallDuringAnotherCallsWaitIsRefusedAsBusy) {
    TagSimReader r;
    r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
    const std::string json = R"({"TEXT" : {"TITLE" : "neu"}})";
    int nestedResult = 0, nestedError = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LinkFromC_TagCallDuringWrite(r.port, json.c_str(), static_cast<int>(json.size()), &nestedResult,
                                           &nestedError),
              0)
        << LastError(r);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(nestedResult, -1);
    EXPECT_EQ(nestedError, KQLMX_ERROR_PORT_BUSY);
    EXPECT_EQ(ReadJson(r), json);
}

// Runs `body` on a thread of its own and tells whether it answered true within
// `limit`. A body that hangs (a deadlock) cannot be stopped: the test process then
// ends at once with a failure instead of hanging the suite. (Not a forked child: a
// child of a process with threads may hang on a lock another thread held.)
bool EndsWellWithin(std::chrono::seconds limit, const std::function<bool()>& body) {
    std::packaged_task<bool()> task(body);
    std::future<bool> result = task.get_future();
    std::thread(std::move(task)).detach();
    if (result.wait_for(limit) == std::future_status::ready) return result.get();
    std::fprintf(stderr, "the call did not end within %lld s\n", static_cast<long long>(limit.count()));
    std::_Exit(1);
}

// A trace sink may call any function of the library: one that removes itself, one
// that opens and closes a port, each from its first text.
TEST(TraceSink, SinkThatCallsTheLibraryDoesNotHangIt) {
    kqsim::Simulator sim;
    kqsim::PtyTransport pty(sim);
    ASSERT_TRUE(pty.ok());
    const std::string name = pty.slavePath();
    EXPECT_TRUE(EndsWellWithin(std::chrono::seconds(5), [&] {
        return LinkFromC_SinkRemovesItself(name.c_str()) == 1;
    })) << "a sink that removes itself";
    EXPECT_TRUE(EndsWellWithin(std::chrono::seconds(5), [&] {
        return LinkFromC_SinkOpensAPort(name.c_str()) > 0;
    })) << "a sink that opens and closes a port";
}

// --- hostile tag memory ------------------------------------------------------------

struct HostileCase {
    const char* name;
    const char* kind;
    Pages pages;
    int code; // the error of the read
};

class HostileMemory : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileMemory, ReadGivesItsErrorCode) {
    const HostileCase& c = GetParam();
    TagSimReader r;
    r.sim.placeTag(TagWithPages(c.kind, c.pages));
    int result = 0;
    EXPECT_EQ(ReadJson(r, &result), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(LastError(r), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Type2, HostileMemory,
    testing::Values(HostileCase{"no_cc", "ultralight", {}, kTagNotFormatted},
                    HostileCase{"cc_of_size_zero", "ultralight", {{3, Hex("E1 10 00 00")}}, kTagNotFormatted},
                    HostileCase{"garbage_area",
                                "ultralight",
                                {{3, Hex("E1 10 06 00")}, {4, Hex("FF FF FF FF")}},
                                kTagNotFormatted},
                    // The NDEF TLV says 65535 bytes: it runs past the area.
                    HostileCase{"tlv_past_the_area", "ntag213", {{4, Hex("03 FF FF FF")}}, kTagNfcData},
                    HostileCase{"tlv_ends_one_byte_late",
                                "ultralight",
                                {{3, Hex("E1 10 01 00")}, {4, Hex("03 07 D0 00")}},
                                kTagNfcData},
                    HostileCase{
                        "lock_control_of_bad_length", "ntag213", {{4, Hex("01 02 A0 0C")}}, kTagNfcData},
                    // A CC that claims 2040 bytes on a tag of 16 pages (NULL TLVs): the read stops
                    // at the end of the user memory, where it has found no NDEF TLV.
                    HostileCase{"cc_larger_than_the_tag",
                                "ultralight",
                                {{3, Hex("E1 10 FF 00")}, {4, Hex("00 00 00 00")}},
                                kTagNotFormatted}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kqtest
