// NFC Forum Type 4 on the simulated DESFire EV1 card through the flat tag functions:
// format, write and read of each record kind, protection with a key, a keyed write,
// making read-only; the size boundary with NLEN; CCs of other mapping versions; other
// applications on the card; cards other programs or a cut-short operation left behind;
// the card taken away after every command of an operation. The application, CC and
// NDEF file contents are written out from the NFC Forum Type 4 mapping and the card's
// command descriptions.
#include "DesfireSupport.h"
#include "kqlmx.h"
#include "sim/IsoDepTag.h"

#include <gtest/gtest.h>

namespace kqtest {
namespace {

using kqsim::DesfireCard;

constexpr int kTagWriteProtected = 0x2000E;
const Bytes kNdefName = Hex("D2 76 00 00 85 01 01");
// Free memory of the 8 KB card after the 15-byte CC file (32-byte blocks).
constexpr int kNdefFileSize = 8192 - 32;

std::string Read(int port, int* result = nullptr) {
    std::vector<char> text(20000);
    const int n = KQLMX_ReadTag(port, text.data(), static_cast<int>(text.size()));
    if (result) *result = n;
    return n >= 0 ? std::string(text.data(), static_cast<size_t>(n))
                  : "error " + std::to_string(KQLMX_GetLastError(port));
}

int Write(int port, const std::string& json, const Bytes& key = {}, int lock = 0) {
    return KQLMX_WriteTag(port, json.data(), static_cast<int>(json.size()),
                          key.empty() ? nullptr : key.data(), static_cast<int>(key.size()), lock);
}

std::string Text(size_t n) {
    return R"({"TEXT" : {"TITLE" : ")" + std::string(n, 'x') + R"("}})";
}

TEST(Type4Tag, LifeCycleFromBlankToReadOnly) {
    DesfireReader d;
    const int p = d.port;
    ASSERT_EQ(KQLMX_FormatTag(p, nullptr, 0), 0) << KQLMX_GetLastError(p);
    d.Card([](DesfireCard& c) {
        DesfireCard::Application& app = *c.application(1);
        EXPECT_EQ(app.settings, 0x0F);
        EXPECT_EQ(app.settings2, 0x21) << "one DES key, ISO file ids";
        EXPECT_EQ(app.isoId, 0xE110);
        EXPECT_EQ(app.dfName, kNdefName);
        ASSERT_EQ(app.files.size(), 2u);
        EXPECT_EQ(app.file(1)->isoId, 0xE103);
        EXPECT_EQ(app.file(1)->access, 0xEEEE);
        EXPECT_EQ(app.file(1)->data, Hex("00 0F 20 00 3A 00 34 04 06 E1 04 1F E0 00 00"));
        EXPECT_EQ(app.file(2)->isoId, 0xE104);
        EXPECT_EQ(app.file(2)->access, 0xEEEE);
        EXPECT_EQ(app.file(2)->data.size(), static_cast<size_t>(kNdefFileSize));
        EXPECT_EQ(Bytes(app.file(2)->data.begin(), app.file(2)->data.begin() + 5), Hex("00 03 D0 00 00"));
    });
    EXPECT_EQ(Read(p), "") << "NLEN 3 and one empty record";

    const std::string kinds[] = {
        R"({"BOOKMARK" : {"URL" : "https://example.com/a","TITLE" : ""}})",
        R"({"BOOKMARK" : {"URL" : "https://example.com/a","TITLE" : "Titel"}})",
        R"({"TEXT" : {"TITLE" : "Hallo"}})",
        R"({"VCARD" : {"FIRSTNAME" : "Anna","SURNAME" : "Berg","ORGANISATION" : ""}})",
        R"({"SMS" : {"ADDRESS" : "+491234","MESSAGE" : "Hi there","TITLE" : ""}})",
        R"({"MAIL" : {"ADDRESS" : "a@b.de","SUBJECT" : "s","MESSAGE" : "m","TITLE" : ""}})",
        R"({"TELEPHON" : {"NUMBER" : "+491234","TITLE" : ""}})",
    };
    for (const std::string& json : kinds) {
        ASSERT_EQ(Write(p, json), 0) << json << ": " << KQLMX_GetLastError(p);
        EXPECT_EQ(Read(p), json);
    }
    // The URL record as the NDEF file holds it: NLEN, then D1 01 0E 55 04 "example.com/a".
    ASSERT_EQ(Write(p, kinds[0]), 0);
    d.Card([](DesfireCard& c) {
        const Bytes& file = c.application(1)->file(2)->data;
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 20),
                  Hex("00 12 D1 01 0E 55 04 65 78 61 6D 70 6C 65 2E 63 6F 6D 2F 61"));
    });

    // A key without data protection: the CC file and the keys are protected, the NDEF
    // file stays free to write.
    const Bytes k1 = Hex("11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 00");
    ASSERT_EQ(KQLMX_ChangeTagKey(p, 0, nullptr, 0, k1.data(), 16), 0) << KQLMX_GetLastError(p);
    d.Card([&](DesfireCard& c) {
        EXPECT_EQ(c.application(1)->keys[0].value, k1);
        EXPECT_EQ(c.card().keys[0].value, k1);
        EXPECT_EQ(c.application(1)->settings, 0x09);
        EXPECT_EQ(c.card().settings, 0x0B);
        EXPECT_EQ(c.application(1)->file(1)->access, 0xE000);
        EXPECT_EQ(c.application(1)->file(2)->access, 0xEEE0);
    });
    ASSERT_EQ(Write(p, kinds[2]), 0) << KQLMX_GetLastError(p);
    EXPECT_EQ(Read(p), kinds[2]);

    // With data protection every file wants the key and the CC says read-only.
    const Bytes k2 = Hex("A5 5A A5 5A 01 02 03 04 05 06 07 08 09 0A 0B 0C");
    ASSERT_EQ(KQLMX_ChangeTagKey(p, 1, k1.data(), 16, k2.data(), 16), 0) << KQLMX_GetLastError(p);
    d.Card([&](DesfireCard& c) {
        EXPECT_EQ(c.application(1)->keys[0].value, k2);
        EXPECT_EQ(c.card().keys[0].value, k2);
        EXPECT_EQ(c.application(1)->file(1)->access, 0xE000);
        EXPECT_EQ(c.application(1)->file(2)->access, 0xE000);
        EXPECT_EQ(c.application(1)->file(1)->data[14], 0xFF);
    });
    EXPECT_EQ(Read(p), kinds[2]) << "reading stays free";
    EXPECT_EQ(Write(p, kinds[3]), -1) << "no key: UPDATE BINARY refused, the key prompt's error";
    EXPECT_EQ(KQLMX_GetLastError(p), 0x20007);
    d.r.ClearLog();
    ASSERT_EQ(Write(p, kinds[3], k2), 0) << KQLMX_GetLastError(p);
    EXPECT_EQ(Read(p), kinds[3]);
    // The first UPDATE BINARY was refused (69 82); an authentication came before the next.
    const auto apdus = d.Apdus();
    const auto firstUpdate =
        std::find_if(apdus.begin(), apdus.end(), [](const Bytes& a) { return a.size() > 1 && a[1] == 0xD6; });
    ASSERT_NE(firstUpdate, apdus.end());
    EXPECT_NE(std::find_if(firstUpdate, apdus.end(),
                           [](const Bytes& a) { return a.size() > 1 && a[0] == 0x90 && a[1] == 0x1A; }),
              apdus.end());

    // Read-only with a key nobody knows, drawn from the system's random source.
    kq::DesfireRandom::Install(nullptr);
    ASSERT_EQ(KQLMX_LockTag(p, k2.data(), 16), 0) << KQLMX_GetLastError(p);
    EXPECT_EQ(Write(p, kinds[0], k2), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), kTagWriteProtected);
    EXPECT_EQ(KQLMX_FormatTag(p, nullptr, 0), -1) << "no key asked for";
    EXPECT_EQ(KQLMX_GetLastError(p), kTagWriteProtected);
    EXPECT_EQ(Read(p), kinds[3]);
    // Another program's raw writes to the NDEF file and the CC are refused by the card.
    for (int file : {0xE104, 0xE103}) {
        const Bytes zeros(2, 0x00);
        ASSERT_EQ(KQLMX_IsoSelectByName(p, kNdefName.data(), static_cast<int>(kNdefName.size())), 0);
        ASSERT_EQ(KQLMX_IsoSelectFile(p, file), 0);
        EXPECT_EQ(KQLMX_IsoUpdateBinary(p, 0, zeros.data(), 2), -1) << std::hex << file;
        EXPECT_EQ(KQLMX_GetLastError(p), 0x16982);
    }
    EXPECT_EQ(Read(p), kinds[3]);
    d.Card([&](DesfireCard& c) {
        for (const Bytes& known :
             {k1, k2, Bytes(16, 0), Hex("A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF")}) {
            EXPECT_NE(c.application(1)->keys[0].value, known);
            EXPECT_NE(c.card().keys[0].value, known);
        }
        EXPECT_EQ(c.application(1)->keys[0].value, c.card().keys[0].value);
        EXPECT_EQ(c.application(1)->file(1)->access, 0xEFFF);
        EXPECT_EQ(c.application(1)->file(2)->access, 0xEFFF);
        EXPECT_EQ(c.application(1)->file(1)->data[14], 0xFF);
        EXPECT_EQ(c.application(1)->settings, 0x0B) << "the file list stays readable";
    });
}

// NLEN counts against the file: a message of the CC's maximum size - 2 fits, one byte
// more overflows by 1, before anything is written.
TEST(Type4Tag, SizeBoundaryCountsNlen) {
    DesfireReader d;
    const int p = d.port;
    ASSERT_EQ(KQLMX_FormatTag(p, nullptr, 0), 0);
    ASSERT_EQ(Write(p, Text(5)), 0);
    // A long text record: C1 01, payload length (4), 54, then 02 "en" and the text: 10 + n bytes.
    const size_t fits = kNdefFileSize - 2 - 10;
    d.r.ClearLog();
    EXPECT_EQ(Write(p, Text(fits + 1)), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_MESSAGE_TOO_LARGE);
    for (const Bytes& a : d.Apdus())
        EXPECT_FALSE(a.size() > 1 && a[0] == 0x00 && a[1] == 0xD6) << "nothing written";
    EXPECT_EQ(Read(p), Text(5));
    EXPECT_EQ(Write(p, Text(fits + 3)), -3);
    ASSERT_EQ(Write(p, Text(fits)), 0) << KQLMX_GetLastError(p);
    EXPECT_EQ(Read(p), Text(fits));
    d.Card([](DesfireCard& c) {
        const Bytes& file = c.application(1)->file(2)->data;
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), Hex("1F DE C1 01"));
    });
}

// A card that takes the first UPDATE BINARY and fails every later one (as when the
// card leaves the field): the write stops with NLEN 0, and the tag reads as empty.
struct CutAfterFirstUpdate : kqsim::CardModel {
    DesfireCard card;
    bool armed = false;
    int updates = 0;
    std::string kind() const override { return "desfire"; }
    Bytes ats() const override { return card.ats(); }
    void reset() override { card.reset(); }
    Bytes processApdu(const Bytes& apdu) override {
        if (armed && apdu.size() > 1 && apdu[0] == 0x00 && apdu[1] == 0xD6 && ++updates > 1)
            return {0x65, 0x81};
        return card.processApdu(apdu);
    }
};

TEST(Type4Tag, NlenIsWrittenLast) {
    TagSimReader r;
    auto model = std::make_unique<CutAfterFirstUpdate>();
    CutAfterFirstUpdate* cut = model.get();
    const kqsim::TagId id =
        r.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Hex("04 01 02 03 04 05 06"), std::move(model)));
    ASSERT_EQ(KQLMX_FormatTag(r.port, nullptr, 0), 0);
    ASSERT_EQ(Write(r.port, Text(20)), 0);
    r.sim.withTag(id, [cut](kqsim::Tag&) { cut->armed = true; });
    EXPECT_EQ(Write(r.port, Text(200)), -1);
    EXPECT_EQ(KQLMX_GetLastError(r.port), 0x16581);
    r.sim.withTag(id, [cut](kqsim::Tag&) {
        const Bytes& file = cut->card.application(1)->file(2)->data;
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 2), Hex("00 00"));
    });
    EXPECT_EQ(Read(r.port), "");
}

TEST(Type4Tag, CapabilityContainersAndOtherApplications) {
    DesfireReader d;
    const int p = d.port;
    // Another application with a file is on the card already: it keeps both.
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000001, 0, 1, 0, 0, 0x0F, nullptr, 0), 0);
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 1), 0);
    ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 5, 0, 32, 0, 0xEEEE), 0);
    const Bytes mine = Hex("4D 45 49 4E");
    ASSERT_EQ(KQLMX_DesfireWriteData(p, 5, 0, 0, mine.data(), 4), 0);
    ASSERT_EQ(KQLMX_FormatTag(p, nullptr, 0), 0) << KQLMX_GetLastError(p);
    d.Card([&](DesfireCard& c) {
        ASSERT_NE(c.application(2), nullptr) << "the lowest free AID";
        EXPECT_EQ(c.application(2)->dfName, kNdefName);
        EXPECT_EQ(c.application(2)->file(2)->data.size(), static_cast<size_t>(8192 - 32 - 32));
        EXPECT_EQ(Bytes(c.application(1)->file(5)->data.begin(), c.application(1)->file(5)->data.begin() + 4),
                  mine);
    });
    ASSERT_EQ(Write(p, Text(3)), 0);

    // Versions of other mappings; an NDEF file id that names the CC file itself, which
    // would take NLEN and the empty message over the CC; a write access neither 00 nor
    // FF; NLEN past the room the CC gives (1FC0 bytes with NLEN). Formatting rewrites
    // the CC, or the NDEF file.
    struct Row {
        size_t at;
        Bytes bytes;
        int code;
        int file = 1;
    } rows[] = {{2, {0x30}, 0x2000C},         {2, {0x10}, 0x2000D},  {9, {0xE1, 0x03}, 0x20017},
                {14, {0x80}, 0x20017},        {14, {0x01}, 0x20017}, {0, {0x1F, 0xBF}, 0x20017, 2},
                {0, {0x1F, 0xC0}, 0x20017, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        SCOPED_TRACE(row.at);
        d.Card([&](DesfireCard& c) {
            std::copy(row.bytes.begin(), row.bytes.end(),
                      c.application(2)->file(row.file)->data.begin() + row.at);
        });
        int result = 0;
        Read(p, &result);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(KQLMX_GetLastError(p), row.code);
        ASSERT_EQ(KQLMX_FormatTag(p, nullptr, 0), 0) << KQLMX_GetLastError(p);
        d.Card([](DesfireCard& c) {
            EXPECT_EQ(c.application(2)->file(1)->data, Hex("00 0F 20 00 3A 00 34 04 06 E1 04 1F C0 00 00"));
            EXPECT_EQ(c.application(2)->files.size(), 2u) << "the files are kept";
        });
        EXPECT_EQ(Read(p), "");
    }
}

// A card whose master key is set and whose AID list is not free: the native refusal
// (0x100AE) leads to the card-level authentication and a second try.
TEST(Type4Tag, FormatWithTheCardMasterKey) {
    const Bytes key = Hex("0F 0E 0D 0C 0B 0A 09 08 07 06 05 04 03 02 01 00");
    DesfireReader d;
    d.Card([&](DesfireCard& c) {
        c.card().keys[0].value = key;
        c.card().settings = 0x09;
    });
    EXPECT_EQ(KQLMX_FormatTag(d.port, nullptr, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(d.port), 0x20006) << "the engine asks for the key";
    d.r.ClearLog();
    ASSERT_EQ(KQLMX_FormatTag(d.port, key.data(), 16), 0) << KQLMX_GetLastError(d.port);
    std::vector<Bytes> heads;
    for (const Bytes& a : d.Apdus())
        if (a[0] == 0x6A || a[0] == 0x1A) heads.emplace_back(a.begin(), a.begin() + 1);
    EXPECT_EQ(heads, (std::vector<Bytes>{Hex("6A"), Hex("1A"), Hex("6A")}));
    EXPECT_EQ(Read(d.port), "");
}

const Bytes kCardKey = Hex("0F 0E 0D 0C 0B 0A 09 08 07 06 05 04 03 02 01 00");
const Bytes kNewKey = Hex("11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 00");
const std::string kOld = R"({"TEXT" : {"TITLE" : "xxx"}})";
// Text(3) as the NDEF file holds it: NLEN 10, D1 01 06 54, 02 "en" "xxx".
const Bytes kOldFile = Hex("00 0A D1 01 06 54 02 65 6E 78 78 78");
// Our CC over the 8128-byte NDEF file of a card with one other application.
const Bytes kFreshCc = Hex("00 0F 20 00 3A 00 34 04 06 E1 04 1F C0 00 00");

// A card with another application (AID 1, a file holding "MEIN") and the NDEF
// application (AID 2) holding the message kOld.
void OldMessageBesideAnother(DesfireReader& d) {
    const int p = d.port;
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000001, 0, 1, 0, 0, 0x0F, nullptr, 0), 0);
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 1), 0);
    ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 5, 0, 32, 0, 0xEEEE), 0);
    const Bytes mine = Hex("4D 45 49 4E");
    ASSERT_EQ(KQLMX_DesfireWriteData(p, 5, 0, 0, mine.data(), 4), 0);
    ASSERT_EQ(KQLMX_FormatTag(p, nullptr, 0), 0) << KQLMX_GetLastError(p);
    ASSERT_EQ(Write(p, kOld), 0);
    d.Card([](DesfireCard& c) {
        ASSERT_NE(c.application(2), nullptr);
        ASSERT_EQ(c.application(2)->file(1)->data, kFreshCc);
        ASSERT_EQ(
            Bytes(c.application(2)->file(2)->data.begin(), c.application(2)->file(2)->data.begin() + 12),
            kOldFile);
    });
}

enum Op { kWrite, kFormat, kLock, kProtect };

// Cards other programs, or an operation cut short, left behind; raw file contents are
// checked against the NFC Forum Type 4 CC and the NDEF file written out by hand. The
// other application and the card level never change; a refused operation changes
// nothing at all.
TEST(Type4Tag, HostileImages) {
    struct Row {
        const char* name;
        std::function<void(DesfireCard&)> spoil;
        Op op;
        std::string message; // for kWrite
        Bytes key;           // for kLock; the current key for kProtect
        int result;
        int error;
        std::string read;   // "error <code>" where the read refuses
        Bytes cc;           // the CC afterwards; empty: unchanged
        Bytes ndefHead;     // the NDEF file's first bytes afterwards; empty: unchanged
        bool garbleCcReads; // every CC READ BINARY answers with its first bit flipped
    };
    auto cc = [](size_t at, Bytes bytes) {
        return [at, bytes](DesfireCard& c) {
            std::copy(bytes.begin(), bytes.end(),
                      c.application(2)->file(1)->data.begin() + static_cast<long>(at));
        };
    };
    auto zeroCc = [](DesfireCard& c) { c.application(2)->file(1)->data.assign(15, 0x00); };
    // A CC stating a maximum NDEF file size of hi lo over an NDEF file of 64 bytes.
    auto ccOverSmallFile = [](uint8_t hi, uint8_t lo) {
        return [hi, lo](DesfireCard& c) {
            c.application(2)->file(1)->data[11] = hi, c.application(2)->file(1)->data[12] = lo;
            c.application(2)->file(2)->data.resize(64);
        };
    };
    const Bytes newFile = Hex("00 0D D1 01 09 54 02 65 6E 79 79 79 79 79 79");
    const std::string newMessage = R"({"TEXT" : {"TITLE" : "yyyyyy"}})";
    const Bytes empty = Hex("00 03 D0 00 00");
    const Row rows[] = {
        // A format cut short left the CC file as the card made it: a format, and a
        // write, take the file's own size.
        {"zeroed CC, format", zeroCc, kFormat, "", {}, 0, 0, "", kFreshCc, empty, false},
        {"zeroed CC, write", zeroCc, kWrite, newMessage, {}, 0, 0, newMessage, kFreshCc, newFile, false},
        // CC 7FFF over a 64-byte file: D1 01 53 54 02 "en" and 80 bytes, 87 with NLEN 89: 25 too many.
        {"CC larger than the file",
         ccOverSmallFile(0x7F, 0xFF),
         kWrite,
         Text(80),
         {},
         -25,
         0x20014,
         kOld,
         {},
         {},
         false},
        // CC 0100 over a 64-byte file: C1 01 00 00 01 2F 54 02 "en" and 300 bytes, 312
        // with NLEN: 248 more than the file takes, not the 56 more than the CC says.
        {"CC larger than the file, a message longer than both",
         ccOverSmallFile(0x01, 0x00),
         kWrite,
         Text(300),
         {},
         -248,
         0x20014,
         kOld,
         {},
         {},
         false},
        {"CC larger than the file, a message that fits",
         ccOverSmallFile(0x7F, 0xFF),
         kWrite,
         newMessage,
         {},
         0,
         0,
         newMessage,
         Hex("00 0F 20 00 3A 00 34 04 06 E1 04 7F FF 00 00"),
         newFile,
         false},
        {"mapping version 3.0, write",
         cc(2, {0x30}),
         kWrite,
         newMessage,
         {},
         -1,
         0x2000C,
         "error 131084",
         {},
         {},
         false},
        {"read access 80, write",
         cc(13, {0x80}),
         kWrite,
         newMessage,
         {},
         -1,
         0x2000F,
         "error 131087",
         {},
         {},
         false},
        {"mapping version 3.0, format", cc(2, {0x30}), kFormat, "", {}, 0, 0, "", kFreshCc, empty, false},
        // The card master key is not the default one: without it the lock changes
        // nothing; with it the lock completes.
        {"card key unknown at lock",
         [](DesfireCard& c) { c.card().keys[0].value = kCardKey; },
         kLock,
         "",
         {},
         -1,
         0x20006,
         kOld,
         {},
         {},
         false},
        {"card key given at lock",
         [](DesfireCard& c) { c.card().keys[0].value = kCardKey; },
         kLock,
         "",
         kCardKey,
         0,
         0,
         kOld,
         Hex("00 0F 20 00 3A 00 34 04 06 E1 04 1F C0 00 FF"),
         {},
         false},
        // Rights that never change yet let anyone write: no lock can finish.
        {"NDEF file writable for good, lock",
         [](DesfireCard& c) { c.application(2)->file(2)->access = 0xEEEF; },
         kLock,
         "",
         {},
         -1,
         0x20008,
         kOld,
         {},
         {},
         false},
        // Rights that change only with key 1: the lock, holding key 0, changes nothing.
        {"NDEF file changed with key 1 only, lock",
         [](DesfireCard& c) { c.application(2)->file(2)->access = 0xEEE1; },
         kLock,
         "",
         {},
         -1,
         0x20008,
         kOld,
         {},
         {},
         false},
        // A CC naming a file the application lacks, as another program or a format cut
        // short after the NDEF file was made leaves it: E104 is taken with its own size.
        {"CC names a missing file, format",
         cc(9, {0xE1, 0x05}),
         kFormat,
         "",
         {},
         0,
         0,
         "",
         kFreshCc,
         empty,
         false},
        {"CC names a missing file, write",
         cc(9, {0xE1, 0x05}),
         kWrite,
         newMessage,
         {},
         0,
         0,
         newMessage,
         kFreshCc,
         newFile,
         false},
        // The lock cannot tell which file is the CC: it changes nothing.
        {"CC garbled on the air at lock", nullptr, kLock, "", {}, -1, 0x20013, kOld, {}, {}, true},
        // A protection that cannot finish changes nothing: a card key not given, a card
        // level whose settings never change, rights that change only with key 1.
        {"card key unknown at protect",
         [](DesfireCard& c) { c.card().keys[0].value = kCardKey; },
         kProtect,
         "",
         {},
         -1,
         0x20006,
         kOld,
         {},
         {},
         false},
        {"card settings frozen, protect",
         [](DesfireCard& c) { c.card().settings = 0x07; },
         kProtect,
         "",
         {},
         -1,
         0x20008,
         kOld,
         {},
         {},
         false},
        {"NDEF file changed with key 1 only, protect",
         [](DesfireCard& c) { c.application(2)->file(2)->access = 0xEEE1; },
         kProtect,
         "",
         {},
         -1,
         0x20008,
         kOld,
         {},
         {},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DesfireReader d(true);
        const int p = d.port;
        OldMessageBesideAnother(d);
        Bytes other, cardLevel, before;
        d.Card([&](DesfireCard& c) {
            if (row.spoil) row.spoil(c);
            other = c.image(1);
            cardLevel = c.image(0);
            before = c.image(2);
        });
        if (row.garbleCcReads) {
            auto selected = std::make_shared<int>(0);
            d.SetHook([selected, &c = *d.card](const Bytes& apdu) -> std::optional<Bytes> {
                if (apdu.size() == 7 && apdu[1] == 0xA4 && apdu[2] == 0x00)
                    *selected = apdu[5] << 8 | apdu[6];
                if (apdu.size() == 5 && apdu[1] == 0xB0 && *selected == 0xE103 && apdu[4] == 15) {
                    Bytes answer = c.processApdu(apdu);
                    answer[0] ^= 0x01;
                    return answer;
                }
                return std::nullopt;
            });
            d.Activate();
        }
        int result = 0;
        if (row.op == kWrite) result = Write(p, row.message);
        if (row.op == kFormat) result = KQLMX_FormatTag(p, nullptr, 0);
        if (row.op == kLock)
            result = KQLMX_LockTag(p, row.key.empty() ? nullptr : row.key.data(),
                                   static_cast<int>(row.key.size()));
        if (row.op == kProtect)
            result = KQLMX_ChangeTagKey(p, 1, row.key.empty() ? nullptr : row.key.data(),
                                        static_cast<int>(row.key.size()), kNewKey.data(), 16);
        EXPECT_EQ(result, row.result) << std::hex << KQLMX_GetLastError(p);
        if (row.error) {
            EXPECT_EQ(KQLMX_GetLastError(p), row.error) << std::hex << KQLMX_GetLastError(p);
        }
        d.SetHook(nullptr);
        EXPECT_EQ(Read(p), row.read);
        d.Card([&](DesfireCard& c) {
            EXPECT_EQ(c.image(1), other) << "the other application";
            if (row.op != kLock || row.result != 0) {
                EXPECT_EQ(c.image(0), cardLevel) << "the card level";
            }
            if (row.cc.empty() && row.ndefHead.empty()) {
                EXPECT_EQ(c.image(2), before) << "nothing changed";
            }
            if (!row.cc.empty()) {
                EXPECT_EQ(c.application(2)->file(1)->data, row.cc);
            }
            const Bytes& file = c.application(2)->file(2)->data;
            if (!row.ndefHead.empty()) {
                EXPECT_EQ(Bytes(file.begin(), file.begin() + static_cast<long>(row.ndefHead.size())),
                          row.ndefHead);
            }
        });
        if (row.op == kLock && row.result == 0) {
            // The user's outcome of a lock: another program's raw write is refused.
            const Bytes zeros(2, 0x00);
            ASSERT_EQ(KQLMX_IsoSelectByName(p, kNdefName.data(), static_cast<int>(kNdefName.size())), 0);
            ASSERT_EQ(KQLMX_IsoSelectFile(p, 0xE104), 0);
            EXPECT_EQ(KQLMX_IsoUpdateBinary(p, 0, zeros.data(), 2), -1);
        }
        if (row.op == kFormat) {
            EXPECT_EQ(Write(p, newMessage), 0) << "a formatted card takes a write";
        }
    }
}

// The card leaves the field after each number of tag commands an operation takes, the
// simulator's count of its own log: the card then reads as holding the old message, none
// or the new one; the same operation, run again on the card put back, answers 0; and
// the other application is never touched.
TEST(Type4Tag, RemovedAfterEveryCommand) {
    const std::string kNew = R"({"TEXT" : {"TITLE" : "a new message"}})";
    const Bytes key = Hex("11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 00");
    struct Row {
        const char* name;
        // A blank card, the old message beside another application, or that card
        // protected with `key` and its data.
        enum { kBlank, kMessage, kKeyed } start;
        std::function<int(int)> run;
        std::vector<std::string> reads; // what the card may read as after the cut
        std::string done;               // what it reads as when the operation completed
    };
    const std::string none = "error 131076"; // no NDEF application yet: not formatted
    const Row rows[] = {
        {"write over the old message",
         Row::kMessage,
         [&](int p) { return Write(p, kNew); },
         {kOld, "", kNew},
         kNew},
        {"write of a long message, in several UPDATE BINARY",
         Row::kMessage,
         [&](int p) { return Write(p, Text(300)); },
         {kOld, "", Text(300)},
         Text(300)},
        {"write on a blank card", Row::kBlank, [&](int p) { return Write(p, kNew); }, {none, "", kNew}, kNew},
        {"format", Row::kBlank, [](int p) { return KQLMX_FormatTag(p, nullptr, 0); }, {none, ""}, ""},
        {"lock", Row::kMessage, [](int p) { return KQLMX_LockTag(p, nullptr, 0); }, {kOld}, kOld},
        {"protect with a key",
         Row::kMessage,
         [&](int p) { return KQLMX_ChangeTagKey(p, 1, nullptr, 0, key.data(), 16); },
         {kOld},
         kOld},
        {"protect the keys only",
         Row::kMessage,
         [&](int p) { return KQLMX_ChangeTagKey(p, 0, nullptr, 0, key.data(), 16); },
         {kOld},
         kOld},
        {"protect again with another key",
         Row::kKeyed,
         [&](int p) { return KQLMX_ChangeTagKey(p, 1, key.data(), 16, kCardKey.data(), 16); },
         {kOld},
         kOld},
        {"lock a protected card",
         Row::kKeyed,
         [&](int p) { return KQLMX_LockTag(p, key.data(), 16); },
         {kOld},
         kOld},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DesfireReader d(true);
        if (row.start != Row::kBlank) OldMessageBesideAnother(d);
        if (row.start == Row::kKeyed) {
            ASSERT_EQ(KQLMX_ChangeTagKey(d.port, 1, nullptr, 0, key.data(), 16), 0);
        }
        const DesfireCard start = *d.card;
        // The whole operation once, to count its tag commands.
        d.r.ClearLog();
        ASSERT_EQ(row.run(d.port), 0) << std::hex << KQLMX_GetLastError(d.port);
        const int commands = d.TagCommands();
        ASSERT_GT(commands, 5);
        for (int n = 0; n < commands; ++n) {
            SCOPED_TRACE(n);
            d.Replace(start);
            const Bytes other = d.card->image(1);
            ASSERT_TRUE(d.r.sim.removeTagAfter(d.id, n));
            const int result = row.run(d.port);
            EXPECT_EQ(result, -1);
            EXPECT_EQ(KQLMX_GetLastError(d.port), 0x20001) << std::hex << KQLMX_GetLastError(d.port);
            d.PutBack();
            const std::string read = Read(d.port);
            EXPECT_TRUE(std::find(row.reads.begin(), row.reads.end(), read) != row.reads.end()) << read;
            ASSERT_EQ(row.run(d.port), 0) << "run again: " << std::hex << KQLMX_GetLastError(d.port);
            EXPECT_EQ(Read(d.port), row.done);
            if (row.start != Row::kBlank) {
                EXPECT_EQ(d.card->image(1), other);
            }
            if (row.done == kOld && row.name[0] == 'l') {
                // Locked: another program's raw write is refused.
                const Bytes zeros(2, 0x00);
                ASSERT_EQ(KQLMX_IsoSelectByName(d.port, kNdefName.data(), static_cast<int>(kNdefName.size())),
                          0);
                ASSERT_EQ(KQLMX_IsoSelectFile(d.port, 0xE104), 0);
                EXPECT_EQ(KQLMX_IsoUpdateBinary(d.port, 0, zeros.data(), 2), -1);
            }
        }
    }
}

// Ways in for anyone holding only the default keys, tried with the card's own commands
// on the card as it is: key 0 of the card level or of the NDEF application opened with
// the zero DES or AES key, the NDEF file deleted without a key, or a CC saying writable.
std::string DefaultKeyWaysIn(DesfireReader& d) {
    std::string ways;
    d.PutBack();
    const int p = d.port;
    EXPECT_TRUE(d.Activate());
    const Bytes zero(16, 0x00);
    uint32_t aid = 0;
    d.Card([&](DesfireCard& c) {
        for (uint32_t a = 1; a < 8 && !aid; ++a)
            if (c.application(a) && c.application(a)->dfName == kNdefName) aid = a;
        if (!aid) return;
        DesfireCard copy = c;
        const Bytes select{0x5A, static_cast<uint8_t>(aid), 0, 0};
        if (copy.processApdu(select) == Bytes{0x00} && copy.processApdu({0xDF, 0x02}) == Bytes{0x00})
            ways += "file deleted without a key; ";
        // Rights that anyone may change: made free for writing again.
        DesfireCard open = c;
        if (open.processApdu(select) == Bytes{0x00} &&
            open.processApdu({0x5F, 0x02, 0x00, 0xEE, 0xEE}) == Bytes{0x00})
            ways += "file rights changed without a key; ";
        if (c.application(aid)->file(1)->data[14] != 0xFF) ways += "CC writable; ";
    });
    for (uint32_t level : {0u, aid}) {
        for (bool aes : {false, true}) {
            KQLMX_DesfireSelectApplication(p, static_cast<int>(level));
            const int opened = aes ? KQLMX_DesfireAuthenticateAes(p, 0, zero.data(), 16)
                                   : KQLMX_DesfireAuthenticateIso(p, 0, zero.data(), 16);
            if (opened == 0)
                ways += std::string(level ? "application" : "card") + (aes ? " AES; " : " DES; ");
        }
    }
    d.PutBack();
    EXPECT_TRUE(d.Activate());
    return ways;
}

// The rows a review met: key settings, keys, rights and key types other programs set,
// locks and protections cut short, spoilt answers. Each is checked with raw commands
// under the default keys, not only through our own read.
TEST(Type4Tag, KeySettingsKeysAndRightsOfOtherPrograms) {
    const std::string kNew = R"({"TEXT" : {"TITLE" : "a new message"}})";
    const Bytes k2 = Hex("A5 5A A5 5A 01 02 03 04 05 06 07 08 09 0A 0B 0C");
    const Bytes kDesWithVersion = Hex("10 20 30 40 50 60 70 81 10 20 30 40 50 60 70 80");
    auto lock = [](const Bytes& key) {
        return [key](int p) {
            return KQLMX_LockTag(p, key.empty() ? nullptr : key.data(), static_cast<int>(key.size()));
        };
    };
    struct Row {
        const char* name;
        std::function<void(DesfireCard&)> set;
        // Calls in turn, each with the result and error it must give.
        std::vector<std::tuple<std::function<int(int)>, int, int>> calls;
        bool locked; // afterwards no way in with the default keys
    };
    auto ndef = [](DesfireCard& c) -> DesfireCard::Application& { return *c.application(2); };
    const Row rows[] = {
        {"application settings 0E: key 0 may not change",
         [&](DesfireCard& c) { ndef(c).settings = 0x0E; },
         {{lock({}), 0, 0}},
         true},
        {"card settings 0E", [](DesfireCard& c) { c.card().settings = 0x0E; }, {{lock({}), 0, 0}}, true},
        {"application settings 06: frozen with key 0 fixed",
         [&](DesfireCard& c) { ndef(c).settings = 0x06; },
         {{lock({}), -1, 0x20008}},
         false},
        {"lock cut short with a card master key: asks for it, then finishes",
         [&](DesfireCard& c) {
             c.card().keys[0].value = kCardKey;
             ndef(c).file(1)->data[14] = 0xFF;
             ndef(c).file(1)->access = ndef(c).file(2)->access = 0xEFFF;
         },
         {{lock({}), -1, 0x20006}, {lock(kCardKey), 0, 0}},
         true},
        {"applications listed only with the card key",
         [](DesfireCard& c) {
             c.card().keys[0].value = kCardKey;
             c.card().settings = 0x09;
         },
         {{lock({}), -1, 0x20006}, {lock(kCardKey), 0, 0}},
         true},
        {"protected while applications are listed only with the card key",
         [](DesfireCard& c) {
             c.card().keys[0].value = kCardKey;
             c.card().settings = 0x09;
         },
         {{[&](int p) { return KQLMX_ChangeTagKey(p, 1, kCardKey.data(), 16, k2.data(), 16); }, 0, 0},
          {[&](int p) { return Write(p, kNew); }, -1, 0x20007},
          {[&](int p) { return Write(p, kNew, k2); }, 0, 0}},
         false},
        {"configuration only after configuration and data",
         {},
         {{[&](int p) { return KQLMX_ChangeTagKey(p, 1, nullptr, 0, kNewKey.data(), 16); }, 0, 0},
          {[&](int p) { return KQLMX_ChangeTagKey(p, 0, kNewKey.data(), 16, k2.data(), 16); }, 0, 0},
          {[&](int p) { return Write(p, kNew); }, 0, 0}},
         false},
        {"NDEF file never writable under a writable CC",
         [&](DesfireCard& c) { ndef(c).file(2)->access = 0xEFF0; },
         {{[&](int p) { return Write(p, kNew); }, -1, 0x2000E},
          {[&](int p) { return Write(p, kNew, kCardKey); }, -1, 0x2000E},
          {[](int p) { return KQLMX_FormatTag(p, nullptr, 0); }, -1, 0x2000E}},
         false},
        {"application with three-key triple DES keys",
         [&](DesfireCard& c) { ndef(c).settings2 = 0x61; },
         {{lock({}), -1, 0x20002},
          {[&](int p) { return KQLMX_ChangeTagKey(p, 0, nullptr, 0, k2.data(), 16); }, -1, 0x20002}},
         false},
        {"locked card locked again", {}, {{lock({}), 0, 0}, {lock({}), 0, 0}, {lock(kCardKey), 0, 0}}, true},
        // Written never, but the rights free to change (or changed with key 1, the
        // default key): not a card a lock left, whatever the keys.
        {"keys nobody knows over files whose rights anyone may change",
         [&](DesfireCard& c) {
             c.card().keys[0].value = ndef(c).keys[0].value = kDesWithVersion;
             c.card().settings = 0x0B;
             ndef(c).settings = 0x0B;
             ndef(c).file(1)->data[14] = 0xFF;
             ndef(c).file(1)->access = 0xEFFF;
             ndef(c).file(2)->access = 0xEFFE;
         },
         {{lock({}), -1, 0x20007}},
         false},
        // Key version 1 in the parity bits of the first half only: still a single DES
        // key to the card, whose session key is then made as for single DES.
        {"single DES keys stored with a version",
         [&](DesfireCard& c) { c.card().keys[0].value = ndef(c).keys[0].value = kDesWithVersion; },
         {{lock({}), -1, 0x20007}, {lock(kDesWithVersion), 0, 0}},
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DesfireReader d(true);
        OldMessageBesideAnother(d);
        if (row.set) d.Card(row.set);
        d.PutBack();
        ASSERT_TRUE(d.Activate());
        const Bytes other = d.card->image(1);
        for (const auto& [call, result, error] : row.calls) {
            EXPECT_EQ(call(d.port), result);
            if (result) {
                EXPECT_EQ(KQLMX_GetLastError(d.port), error) << std::hex << KQLMX_GetLastError(d.port);
            }
        }
        EXPECT_EQ(d.card->image(1), other);
        if (row.locked) {
            EXPECT_EQ(DefaultKeyWaysIn(d), "");
        }
    }
}

// An answer lost after the card acted, at the lock's last step, and single spoilt
// answers in the CC check of a card whose CC another program wrote.
TEST(Type4Tag, LostAndSpoiltAnswersAreNoVerdict) {
    {
        DesfireReader d(true);
        OldMessageBesideAnother(d);
        auto changes = std::make_shared<int>(0);
        d.SetHook([changes, &d](const Bytes& apdu) -> std::optional<Bytes> {
            const bool changeKey = (apdu.size() > 1 && apdu[0] == 0xC4) ||
                                   (apdu.size() > 1 && apdu[0] == 0x90 && apdu[1] == 0xC4);
            if (!changeKey || ++*changes != 2) return std::nullopt;
            d.card->processApdu(apdu); // the card key changes; its answer is lost
            return Bytes{};
        });
        ASSERT_TRUE(d.Activate());
        EXPECT_EQ(KQLMX_LockTag(d.port, nullptr, 0), -1);
        d.SetHook({});
        ASSERT_TRUE(d.Activate());
        EXPECT_EQ(KQLMX_LockTag(d.port, nullptr, 0), 0) << std::hex << KQLMX_GetLastError(d.port);
        EXPECT_EQ(DefaultKeyWaysIn(d), "");
    }
    // Mapping version 3.0: every emptied or cut answer of a write or read leaves CC and
    // message as they were, and never reads as "not NFC formatted".
    const std::string kNew = R"({"TEXT" : {"TITLE" : "a new message"}})";
    DesfireReader d(true);
    OldMessageBesideAnother(d);
    d.Card([](DesfireCard& c) { c.application(2)->file(1)->data[2] = 0x30; });
    const DesfireCard start = *d.card;
    const std::function<int(int)> ops[] = {[&](int p) { return Write(p, kNew); },
                                           [](int p) {
                                               int n = 0;
                                               Read(p, &n);
                                               return n;
                                           }};
    for (const auto& op : ops) {
        d.SetHook({});
        d.Replace(start);
        d.r.ClearLog();
        ASSERT_EQ(op(d.port), -1);
        ASSERT_EQ(KQLMX_GetLastError(d.port), 0x2000C);
        const int answers = d.TagCommands();
        for (int cut : {0, 2, 3}) {
            for (int n = 0; n < answers; ++n) {
                SCOPED_TRACE(testing::Message() << "cut " << cut << " answer " << n);
                d.Replace(start);
                auto seen = std::make_shared<int>(0);
                d.SetHook([seen, n, cut, &d](const Bytes& apdu) -> std::optional<Bytes> {
                    if ((*seen)++ != n) return std::nullopt;
                    Bytes answer = d.card->processApdu(apdu);
                    answer.resize(std::min<size_t>(answer.size(), static_cast<size_t>(cut)));
                    return answer;
                });
                ASSERT_TRUE(d.Activate());
                const Bytes before = d.card->image(2);
                EXPECT_EQ(op(d.port), -1);
                EXPECT_NE(KQLMX_GetLastError(d.port), 0x20004) << "no verdict on the card's content";
                EXPECT_EQ(d.card->image(2), before);
            }
        }
    }
}

// One answer missed at each step (the card is back, powered up anew, for the command
// after) of a lock and a protection, on cards whose keys, key types and applications
// differ: the run says so or succeeds, the run again as the program makes it (without
// a key first, with the key on an authentication error) completes, and the card is
// then checked with raw commands: after a lock no way in with the default keys, after
// a protection key 0 is the new key at both levels.
TEST(Type4Tag, OneAnswerMissedAtEveryStepThenRunAgain) {
    const Bytes k2 = Hex("A5 5A A5 5A 01 02 03 04 05 06 07 08 09 0A 0B 0C");
    enum Kind { kLocks, kProtectsData, kProtectsKeys };
    struct Row {
        const char* name;
        std::function<void(DesfireReader&)> set;
        Kind kind;
        Bytes key; // the key the program holds for the card
    };
    const auto keyed = [&](const Bytes& key) {
        return [key](DesfireReader& d) {
            ASSERT_EQ(KQLMX_ChangeTagKey(d.port, 1, nullptr, 0, key.data(), 16), 0);
        };
    };
    const auto aesApplication = [](DesfireReader& d) {
        d.Card([](DesfireCard& c) { c.application(2)->settings2 |= 0x80; });
    };
    const Row rows[] = {
        {"lock", {}, kLocks, {}},
        {"protect with data", {}, kProtectsData, {}},
        {"protect the keys only", {}, kProtectsKeys, {}},
        {"protect again with another key", keyed(kNewKey), kProtectsData, kNewKey},
        {"lock a protected card", keyed(kNewKey), kLocks, kNewKey},
        {"lock with the NDEF application's key 0 an AES key", aesApplication, kLocks, {}},
        {"protect with the NDEF application's key 0 an AES key", aesApplication, kProtectsData, {}},
        {"lock beside a third application with an AES key and data",
         [](DesfireReader& d) {
             const int p = d.port;
             ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 0), 0);
             ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000003, 2, 2, 0, 0, 0x0F, nullptr, 0), 0);
             d.Card([](DesfireCard& c) {
                 DesfireCard::File mine;
                 mine.no = 1;
                 mine.data = Hex("4D 45 49 4E");
                 c.application(3)->files.push_back(mine);
             });
         },
         kLocks,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DesfireReader d(true);
        OldMessageBesideAnother(d);
        if (row.set) row.set(d);
        const DesfireCard start = *d.card;
        const auto run = [&](const Bytes& key) {
            const uint8_t* k = key.empty() ? nullptr : key.data();
            const int n = static_cast<int>(key.size());
            if (row.kind == kLocks) return KQLMX_LockTag(d.port, k, n);
            return KQLMX_ChangeTagKey(d.port, row.kind == kProtectsData, k, n, k2.data(), 16);
        };
        const auto asTheProgram = [&] {
            if (run({}) == 0) return 0;
            const int error = KQLMX_GetLastError(d.port);
            if (error != 0x100AE && error != 0x20006 && error != 0x20007) return -1;
            return run(row.key);
        };
        d.Replace(start);
        ASSERT_TRUE(d.Activate());
        d.r.ClearLog();
        ASSERT_EQ(asTheProgram(), 0) << std::hex << KQLMX_GetLastError(d.port);
        const int commands = d.TagCommands();
        for (int n = 0; n < commands; ++n) {
            SCOPED_TRACE(n);
            d.Replace(start);
            const Bytes other = d.card->image(1), third = d.card->image(3);
            ASSERT_TRUE(d.Activate());
            ASSERT_TRUE(d.r.sim.blipTagAfter(d.id, n));
            if (asTheProgram() != 0) {
                EXPECT_NE(KQLMX_GetLastError(d.port), 0) << "a failure is told";
                d.PutBack();
                ASSERT_TRUE(d.Activate());
                ASSERT_EQ(asTheProgram(), 0) << "run again: " << std::hex << KQLMX_GetLastError(d.port);
            }
            EXPECT_EQ(Read(d.port), kOld);
            EXPECT_EQ(d.card->image(1), other);
            EXPECT_EQ(d.card->image(3), third);
            if (row.kind == kLocks) {
                EXPECT_EQ(DefaultKeyWaysIn(d), "");
                EXPECT_EQ(Write(d.port, Text(4), row.key), -1);
                EXPECT_EQ(KQLMX_GetLastError(d.port), kTagWriteProtected);
            } else {
                d.Card([&](DesfireCard& c) {
                    EXPECT_EQ(c.card().keys[0].value, k2);
                    EXPECT_EQ(c.application(2)->keys[0].value, k2);
                    EXPECT_EQ(c.application(2)->file(1)->data[14], row.kind == kProtectsData ? 0xFF : 0x00);
                });
                EXPECT_EQ(Write(d.port, Text(4)), row.kind == kProtectsData ? -1 : 0);
            }
        }
    }
}

// Each answer of a lock and of a protection with data lost in turn (the card acted or
// not): the error never judges the card's content or keys, which would show "formatted
// without content" or "not NFC formatted" or ask for a key, and the run again completes.
TEST(Type4Tag, EachAnswerLostInLockAndProtectionIsNoVerdict) {
    const Bytes k2 = Hex("A5 5A A5 5A 01 02 03 04 05 06 07 08 09 0A 0B 0C");
    const std::function<int(int)> ops[] = {
        [](int p) { return KQLMX_LockTag(p, nullptr, 0); },
        [&](int p) { return KQLMX_ChangeTagKey(p, 1, nullptr, 0, k2.data(), 16); }};
    for (const auto& op : ops) {
        DesfireReader d(true);
        OldMessageBesideAnother(d);
        const DesfireCard start = *d.card;
        d.r.ClearLog();
        ASSERT_EQ(op(d.port), 0);
        const int answers = static_cast<int>(d.Apdus().size());
        for (int n = 0; n < answers; ++n) {
            SCOPED_TRACE(n);
            d.Replace(start);
            auto seen = std::make_shared<int>(0);
            d.SetHook([seen, n, &d](const Bytes& apdu) -> std::optional<Bytes> {
                if ((*seen)++ != n) return std::nullopt;
                d.card->processApdu(apdu);
                return Bytes{};
            });
            ASSERT_TRUE(d.Activate());
            if (op(d.port) != 0) {
                const int error = KQLMX_GetLastError(d.port);
                EXPECT_TRUE(error != 0x20004 && error != 0x20015 && error != 0x20016 && error != 0x20017)
                    << std::hex << error;
                // The program would ask for a key that the run had just used.
                EXPECT_TRUE(error != 0x20006 && error != 0x20007 && error != 0x100AE) << std::hex << error;
            }
            d.SetHook({});
            ASSERT_TRUE(d.Activate());
            EXPECT_EQ(op(d.port), 0) << "run again: " << std::hex << KQLMX_GetLastError(d.port);
            EXPECT_EQ(Read(d.port), kOld);
        }
    }
}

} // namespace
} // namespace kqtest
