// The DESFire command layer through the flat API against the simulated DESFire EV1
// card, with repeatable random numbers: authentication with DES, two-key triple DES
// and AES keys and the session it opens (CMAC on answers, enciphered settings and
// keys), applications and their DF names, files, data in the three communication
// modes and their frames, ISO wrapping of exactly the seven commands that take it,
// and the ISO 7816-4 file commands. Expected bytes are written out from the card's
// public command descriptions.
#include "DesfireSupport.h"
#include "kqlmx.h"
#include "sim/IsoDepTag.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kqtest {
namespace {

using kqsim::DesfireCard;

const Bytes kZeros(16, 0);

struct KeyRow {
    const char* name;
    bool aes;
    int crypto; // of the application: 0 DES / two-key triple DES, 2 AES
    const char* key;
    const char* sessionKey; // from RndA = A0 A1 ... and RndB = B0 B1 ...
};

const KeyRow kKeyRows[] = {
    {"DES (equal halves)", false, 0, "00 11 22 33 44 55 66 77 00 11 22 33 44 55 66 77",
     "A0 A1 A2 A3 B0 B1 B2 B3 A0 A1 A2 A3 B0 B1 B2 B3"},
    {"two-key triple DES", false, 0, "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF",
     "A0 A1 A2 A3 B0 B1 B2 B3 A4 A5 A6 A7 B4 B5 B6 B7"},
    {"AES", true, 2, "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
     "A0 A1 A2 A3 B0 B1 B2 B3 AC AD AE AF BC BD BE BF"},
};

// Calls whose answer only matters by its result.
int Aids(int port) {
    unsigned char b[64];
    return KQLMX_DesfireGetApplicationIds(port, b, sizeof b);
}

int DfNames(int port) {
    unsigned char b[64];
    return KQLMX_DesfireGetDfNames(port, b, sizeof b);
}

int ReadBinary8(int port) {
    unsigned char b[8];
    return KQLMX_IsoReadBinary(port, 0, 8, b, sizeof b);
}

int Authenticate(int port, bool aes, int keyNo, const Bytes& key) {
    return aes ? KQLMX_DesfireAuthenticateAes(port, keyNo, key.data(), static_cast<int>(key.size()))
               : KQLMX_DesfireAuthenticateIso(port, keyNo, key.data(), static_cast<int>(key.size()));
}

TEST(DesfireFlatApi, SessionWithEachKeyKind) {
    for (const KeyRow& row : kKeyRows) {
        SCOPED_TRACE(row.name);
        DesfireReader d;
        const int p = d.port;
        const Bytes key = Hex(row.key);
        const Bytes other = Hex("F0 E1 D2 C3 B4 A5 96 87 78 69 5A 4B 3C 2D 1E 0F");
        const Bytes data = Hex("10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F");
        const int keyType = row.aes ? 2 : 0;
        unsigned char buf[32] = {};
        ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x112233, row.crypto, 2, 0, 0, 0x0F, nullptr, 0), 0);
        ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 0x112233), 0);
        ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 1, 0, 32, 0, 0x0000), 0); // every access with key 0
        EXPECT_EQ(KQLMX_DesfireWriteData(p, 1, 0, 0, data.data(), 16), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), 0x100AE) << "the card wants key 0";

        // No key is the default key of 16 zero bytes.
        ASSERT_EQ(row.aes ? KQLMX_DesfireAuthenticateAes(p, 0, nullptr, 0)
                          : KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0),
                  0);
        ASSERT_EQ(KQLMX_DesfireWriteData(p, 1, 0, 0, data.data(), 16), 0);
        ASSERT_EQ(KQLMX_DesfireReadData(p, 1, 0, 0, 16, buf, sizeof buf), 16);
        EXPECT_EQ(Bytes(buf, buf + 16), data);

        ASSERT_EQ(KQLMX_DesfireChangeKeySettings(p, 0x0B), 0);
        ASSERT_EQ(KQLMX_DesfireChangeKey(p, 1, other.data(), 16, 0x01, kZeros.data(), 16, keyType), 0);
        d.Card([&](DesfireCard& c) {
            EXPECT_EQ(c.application(0x112233)->settings, 0x0B);
            EXPECT_EQ(c.application(0x112233)->keys[1].value, other);
        });
        ASSERT_EQ(KQLMX_DesfireReadData(p, 1, 1, 0, 16, buf, sizeof buf), 16)
            << "the CMAC chain is still in step";

        // Changing the session's own key: the card answers a bare 00 and ends the session.
        ASSERT_EQ(KQLMX_DesfireChangeKey(p, 0, key.data(), 16, 0x02, nullptr, 0, keyType), 0);
        d.Card([&](DesfireCard& c) {
            EXPECT_EQ(c.application(0x112233)->keys[0].value, key);
            EXPECT_EQ(c.authenticatedKey(), -1);
        });
        d.r.ClearLog();
        EXPECT_EQ(KQLMX_DesfireReadData(p, 1, 1, 0, 16, buf, sizeof buf), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_NO_SESSION);
        EXPECT_TRUE(d.Apdus().empty());

        ASSERT_EQ(Authenticate(p, row.aes, 0, key), 0);
        d.Card([&](DesfireCard& c) { EXPECT_EQ(c.sessionKey(), Hex(row.sessionKey)); });
        ASSERT_EQ(KQLMX_DesfireReadData(p, 1, 0, 0, 16, buf, sizeof buf), 16);
        EXPECT_EQ(Bytes(buf, buf + 16), data);

        // A wrong key: the card's error, and the session is gone.
        EXPECT_EQ(Authenticate(p, row.aes, 0, kZeros), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), 0x100AE);
        EXPECT_EQ(KQLMX_DesfireReadData(p, 1, 1, 0, 16, buf, sizeof buf), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_NO_SESSION);

        // An answer whose CMAC does not fit, and enciphered data whose CRC32 does not.
        ASSERT_EQ(Authenticate(p, row.aes, 0, key), 0);
        d.Card([](DesfireCard& c) { c.corruptNextAnswer(); });
        EXPECT_EQ(KQLMX_DesfireReadData(p, 1, 0, 0, 16, buf, sizeof buf), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_MAC);
        EXPECT_EQ(KQLMX_DesfireReadData(p, 1, 1, 0, 16, buf, sizeof buf), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_NO_SESSION);
        ASSERT_EQ(Authenticate(p, row.aes, 0, key), 0);
        ASSERT_EQ(KQLMX_DesfireChangeFileSettings(p, 1, 3, 0x0000, 0), 0);
        d.Card([](DesfireCard& c) {
            EXPECT_EQ(c.application(0x112233)->file(1)->comm, 3);
            c.corruptNextAnswer();
        });
        EXPECT_EQ(KQLMX_DesfireReadData(p, 1, 3, 0, 16, buf, sizeof buf), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_CRC);
    }
}

TEST(DesfireFlatApi, CardMasterKeyBecomesAesWithTheKeyNumberFlag) {
    DesfireReader d;
    const int p = d.port;
    const Bytes aesKey = Hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    ASSERT_EQ(KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0), 0);
    d.r.ClearLog();
    ASSERT_EQ(KQLMX_DesfireChangeKey(p, 0, aesKey.data(), 16, 0x10, nullptr, 0, 2), 0);
    const auto apdus = d.Apdus();
    ASSERT_EQ(apdus.size(), 1u);
    // C4, key number 0 | 0x80 (the new card master key is AES), 24 enciphered bytes of
    // the DES session: key 16 + version 1 + CRC32 4, padded.
    EXPECT_EQ(Bytes(apdus[0].begin(), apdus[0].begin() + 2), Hex("C4 80"));
    EXPECT_EQ(apdus[0].size(), 2u + 24u);
    d.Card([&](DesfireCard& c) {
        EXPECT_TRUE(c.card().aes());
        EXPECT_EQ(c.card().keys[0].value, aesKey);
        EXPECT_EQ(c.card().keys[0].version, 0x10);
    });
    EXPECT_EQ(KQLMX_DesfireAuthenticateIso(p, 0, aesKey.data(), 16), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), 0x100AE);
    ASSERT_EQ(KQLMX_DesfireAuthenticateAes(p, 0, aesKey.data(), 16), 0);
    int settings = 0, keys = 0;
    ASSERT_EQ(KQLMX_DesfireGetKeySettings(p, &settings, &keys), 0) << "answer CMAC of an AES session";
    EXPECT_EQ(settings, 0x0F);
    // In an AES session the card master key stays AES, version included, whatever type is given.
    const Bytes aesKey2 = Hex("10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F");
    ASSERT_EQ(KQLMX_DesfireChangeKey(p, 0, aesKey2.data(), 16, 0x11, nullptr, 0, 0), 0);
    d.Card([&](DesfireCard& c) {
        EXPECT_TRUE(c.card().aes());
        EXPECT_EQ(c.card().keys[0].value, aesKey2);
        EXPECT_EQ(c.card().keys[0].version, 0x11);
    });
    ASSERT_EQ(KQLMX_DesfireAuthenticateAes(p, 0, aesKey2.data(), 16), 0);

    // The layer's own codes, before anything goes to the card.
    d.r.ClearLog();
    const Bytes shortKey = Hex("01 02 03 04 05");
    EXPECT_EQ(KQLMX_DesfireAuthenticateAes(p, 0, shortKey.data(), 5), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_KEY_LENGTH);
    ASSERT_EQ(KQLMX_DesfireAuthenticateAes(p, 0, aesKey2.data(), 16), 0);
    d.r.ClearLog();
    EXPECT_EQ(KQLMX_DesfireChangeKey(p, 1, aesKey.data(), 16, 0, nullptr, 0, 2), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_OLD_KEY);
    EXPECT_EQ(KQLMX_DesfireChangeKey(p, 0, shortKey.data(), 5, 0, nullptr, 0, 2), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_KEY_LENGTH);
    EXPECT_TRUE(d.Apdus().empty());
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 0), 0);
    EXPECT_EQ(KQLMX_DesfireChangeKeySettings(p, 0x0F), -1) << "a selection ends the session";
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_NO_SESSION);
}

// RndA comes from the system's random source: two authentications in the same second
// against a card whose RndB never changes still give two different session keys (a
// generator seeded with the time in seconds would give the same one twice).
TEST(DesfireFlatApi, RndAComesFromTheSystemRandomSource) {
    DesfireReader d;
    kq::DesfireRandom::Install(nullptr);
    Bytes first, second;
    ASSERT_EQ(KQLMX_DesfireAuthenticateIso(d.port, 0, nullptr, 0), 0);
    d.Card([&](DesfireCard& c) { first = c.sessionKey(); });
    ASSERT_EQ(KQLMX_DesfireAuthenticateIso(d.port, 0, nullptr, 0), 0);
    d.Card([&](DesfireCard& c) { second = c.sessionKey(); });
    EXPECT_EQ(Bytes(first.begin() + 4, first.begin() + 8), Hex("B0 B1 B2 B3"));
    EXPECT_NE(Bytes(first.begin(), first.begin() + 4), Bytes(second.begin(), second.begin() + 4));
}

TEST(DesfireFlatApi, ApplicationIdsAndDfNames) {
    DesfireReader d;
    const int p = d.port;
    const Bytes ndef = Hex("10 E1 D2 76 00 00 85 01 01"); // ISO file id E110, low byte first; DF name
    const Bytes other = Hex("05 E2 A0 00 00 00 01");
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000001, 0, 1, 1, 0, 0x0F, ndef.data(), 9), 0);
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000002, 2, 3, 0, 0xE, 0x0B, nullptr, 0), 0);
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x0A0B0C, 0, 1, 1, 0, 0x0F, other.data(), 7), 0);
    d.Card([](DesfireCard& c) {
        EXPECT_EQ(c.application(0x000001)->settings2, 0x21);
        EXPECT_EQ(c.application(0x000002)->settings, 0xEB);
        EXPECT_EQ(c.application(0x000002)->settings2, 0x83);
        EXPECT_EQ(c.application(0x0A0B0C)->isoId, 0xE205);
    });
    // GetKeySettings answers the settings and the key count byte, whose top bits name
    // the crypto (0x83: AES, 3 keys): the number of keys is its low nibble.
    for (const auto& [aid, settings, keys] : {std::tuple{1, 0x0F, 1}, std::tuple{2, 0xEB, 3}}) {
        int gotSettings = 0, gotKeys = 0;
        ASSERT_EQ(KQLMX_DesfireSelectApplication(p, aid), 0);
        ASSERT_EQ(KQLMX_DesfireGetKeySettings(p, &gotSettings, &gotKeys), 0);
        EXPECT_EQ(gotSettings, settings) << aid;
        EXPECT_EQ(gotKeys, keys) << aid;
    }
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 0), 0);

    unsigned char buf[100];
    ASSERT_EQ(KQLMX_DesfireGetApplicationIds(p, buf, sizeof buf), 9);
    EXPECT_EQ(Bytes(buf, buf + 9), Hex("01 00 00 02 00 00 0C 0B 0A"));
    const Bytes entries = Hex("01 00 00 10 E1 D2 76 00 00 85 01 01 00 00 00 00 00 00 00 00 00 07"
                              "0C 0B 0A 05 E2 A0 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 05");
    for (int wrapped = 0; wrapped < 2; ++wrapped) {
        SCOPED_TRACE(wrapped ? "wrapped" : "native");
        ASSERT_EQ(KQLMX_DesfireSetIsoWrapping(p, wrapped), 0);
        d.r.ClearLog();
        ASSERT_EQ(KQLMX_DesfireGetDfNames(p, buf, sizeof buf), 44);
        EXPECT_EQ(Bytes(buf, buf + 44), entries);
        // One entry per answer frame: the second comes with a continuation.
        EXPECT_EQ(d.Apdus(), wrapped ? (std::vector<Bytes>{Hex("90 6D 00 00 00"), Hex("90 AF 00 00 00")})
                                     : (std::vector<Bytes>{Hex("6D"), Hex("AF")}));
        std::fill(std::begin(buf), std::end(buf), 0x5A);
        EXPECT_EQ(KQLMX_DesfireGetDfNames(p, buf, 43), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_LIST_SIZE);
        EXPECT_EQ(buf[0], 0x5A) << "nothing handed out";
        EXPECT_EQ(KQLMX_DesfireGetApplicationIds(p, buf, 8), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_LIST_SIZE);
    }
    ASSERT_EQ(KQLMX_DesfireSetIsoWrapping(p, 0), 0);

    // Listing DF names is refused in an ISO or an AES session, before anything is sent.
    for (bool aes : {false, true}) {
        if (aes) {
            d.Card([](DesfireCard& c) { c.card().settings2 = 0x81; });
        }
        ASSERT_EQ(Authenticate(p, aes, 0, kZeros), 0);
        d.r.ClearLog();
        EXPECT_EQ(KQLMX_DesfireGetDfNames(p, buf, sizeof buf), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_DF_NAMES);
        EXPECT_TRUE(d.Apdus().empty());
        ASSERT_EQ(KQLMX_DesfireGetApplicationIds(p, buf, sizeof buf), 9) << "with the answer's CMAC checked";
    }
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000001, 0, 1, 0, 0, 0x0F, nullptr, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), 0x100DE) << "the card's duplicate error";
}

TEST(DesfireFlatApi, FilesAndTheirSettings) {
    DesfireReader d;
    const int p = d.port;
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000005, 0, 2, 1, 0, 0x0F, Hex("20 E1 D2 76").data(), 4), 0);
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 5), 0);
    ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 1, 0xE103, 15, 0, 0xEEEE), 0);
    ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 2, 0xE104, 0x123, 1, 0x1230), 0);
    unsigned char buf[16];
    ASSERT_EQ(KQLMX_DesfireGetFileIds(p, buf, sizeof buf), 2);
    EXPECT_EQ(Bytes(buf, buf + 2), Hex("01 02"));
    EXPECT_EQ(KQLMX_DesfireGetFileIds(p, buf, 1), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_BUFFER_TOO_SMALL);
    // Type, communication settings, access rights low byte first, size.
    ASSERT_EQ(KQLMX_DesfireGetFileSettings(p, 2, buf, sizeof buf), 7);
    EXPECT_EQ(Bytes(buf, buf + 7), Hex("00 01 30 12 23 01 00"));
    ASSERT_EQ(KQLMX_DesfireGetFileSettings(p, 2, buf, 4), 4);
    EXPECT_EQ(KQLMX_DesfireGetFileSettings(p, 9, buf, 4), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), 0x100F0);

    // File 1: change access free, sent plain. File 2: change with key 0, enciphered.
    ASSERT_EQ(KQLMX_DesfireChangeFileSettings(p, 1, 0, 0xE000, 1), 0);
    EXPECT_EQ(KQLMX_DesfireChangeFileSettings(p, 2, 0, 0xEEE0, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_NO_SESSION);
    ASSERT_EQ(KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0), 0);
    ASSERT_EQ(KQLMX_DesfireChangeFileSettings(p, 2, 3, 0xEEE0, 0), 0);
    d.Card([](DesfireCard& c) {
        EXPECT_EQ(c.application(5)->file(1)->access, 0xE000);
        EXPECT_EQ(c.application(5)->file(2)->access, 0xEEE0);
        EXPECT_EQ(c.application(5)->file(2)->comm, 3);
    });
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 5), 0);
    EXPECT_EQ(KQLMX_DesfireChangeFileSettings(p, 1, 0, 0xEEEE, 1), -1) << "change access is key 0 now";
    EXPECT_EQ(KQLMX_GetLastError(p), 0x100AE);
    EXPECT_GT(KQLMX_DesfireGetFreeMemory(p), 0);
    EXPECT_EQ(KQLMX_DesfireGetFreeMemory(p), static_cast<int>(DesfireCard::kMemory) - 32 - 0x140);
}

TEST(DesfireFlatApi, DataInEachModeAndItsFrames) {
    DesfireReader d;
    const int p = d.port;
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000007, 0, 1, 0, 0, 0x0F, nullptr, 0), 0);
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 7), 0);
    for (int mode : {0, 1, 3})
        ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, mode, 0, 64, mode, 0x0000), 0);
    ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 4, 0, 7700, 0, 0x0000), 0);
    ASSERT_EQ(
        KQLMX_DesfireAuthenticateIso(p, 0, Hex("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF").data(), 16),
        -1)
        << "key 0 is still the zero key";
    EXPECT_EQ(KQLMX_DesfireWriteData(p, 3, 3, 0, kZeros.data(), 16), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_DESFIRE_NO_SESSION);
    ASSERT_EQ(KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0), 0);

    Bytes data(60);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 1);
    struct Row {
        int mode;
        size_t secondFrame; // 0xAF and the rest: 8 data bytes; + 8 CMAC bytes; + CRC32 and padding
    } rows[] = {{0, 1 + 8}, {1, 1 + 16}, {3, 1 + 12}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        d.r.ClearLog();
        ASSERT_EQ(KQLMX_DesfireWriteData(p, row.mode, row.mode, 2, data.data(), 60), 0);
        const auto apdus = d.Apdus();
        ASSERT_EQ(apdus.size(), 2u);
        EXPECT_EQ(Bytes(apdus[0].begin(), apdus[0].begin() + 8),
                  Cat({Hex("3D"), {static_cast<uint8_t>(row.mode)}, Hex("02 00 00 3C 00 00")}));
        EXPECT_EQ(apdus[0].size(), 60u) << "header and 52 data bytes";
        EXPECT_EQ(apdus[1][0], 0xAF);
        EXPECT_EQ(apdus[1].size(), row.secondFrame);
        if (row.mode != 3) {
            EXPECT_EQ(Bytes(apdus[0].begin() + 8, apdus[0].end()), Bytes(data.begin(), data.begin() + 52));
        }
        unsigned char buf[64];
        ASSERT_EQ(KQLMX_DesfireReadData(p, row.mode, row.mode, 2, 60, buf, sizeof buf), 60);
        EXPECT_EQ(Bytes(buf, buf + 60), data);
        d.Card([&](DesfireCard& c) {
            const Bytes& stored = c.application(7)->file(static_cast<uint8_t>(row.mode))->data;
            EXPECT_EQ(Bytes(stored.begin() + 2, stored.begin() + 62), data);
        });
    }

    // 7700 bytes go as pieces of 7600 and 100, each in frames of the card's size.
    Bytes big(7700);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 13 + i / 256);
    d.r.ClearLog();
    ASSERT_EQ(KQLMX_DesfireWriteData(p, 4, 0, 0, big.data(), 7700), 0);
    // Header and 7600 bytes: 60, then 127 full frames (AF and 59 bytes) and AF with the
    // last 55; header and 100 bytes: 60, then AF and 48.
    std::vector<Bytes> headers;
    std::vector<size_t> sizes;
    for (const Bytes& a : d.Apdus()) {
        sizes.push_back(a.size());
        if (a[0] == 0x3D) headers.emplace_back(a.begin(), a.begin() + 8);
    }
    std::vector<size_t> expected(129, 60);
    expected.back() = 56;
    expected.insert(expected.end(), {60, 49});
    EXPECT_EQ(sizes, expected);
    EXPECT_EQ(headers, (std::vector<Bytes>{Hex("3D 04 00 00 00 B0 1D 00"), Hex("3D 04 B0 1D 00 64 00 00")}));
    std::vector<unsigned char> back(7700);
    d.r.ClearLog();
    ASSERT_EQ(KQLMX_DesfireReadData(p, 4, 0, 0, 7700, back.data(), 7700), 7700);
    EXPECT_EQ(Bytes(back.begin(), back.end()), big);
    headers.clear();
    for (const Bytes& a : d.Apdus())
        if (a[0] == 0xBD) headers.push_back(a);
    EXPECT_EQ(headers, (std::vector<Bytes>{Hex("BD 04 00 00 00 B0 1D 00"), Hex("BD 04 B0 1D 00 64 00 00")}));
    EXPECT_EQ(KQLMX_DesfireReadData(p, 4, 0, 0, 7700, back.data(), 7699), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(KQLMX_DesfireReadData(p, 1, 0, 60, 8, back.data(), 64), -1);
    EXPECT_EQ(KQLMX_GetLastError(p), 0x100BE) << "beyond the file: the card's boundary error";
}

// Each command with wrapping on and off: the seven wrapped ones go as 90 cmd 00 00 ...,
// every other one in native form whatever the option says.
TEST(DesfireFlatApi, IsoWrappingOnlyForTheSevenCommands) {
    const Bytes key = kZeros;
    struct Row {
        const char* name;
        uint8_t code;
        bool wrapped;
        bool session; // authenticate first
        int (*call)(int port);
    } rows[] = {
        {"AuthenticateIso", 0x1A, true, false,
         [](int p) { return KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0); }},
        {"AuthenticateAes", 0xAA, true, false,
         [](int p) { return KQLMX_DesfireAuthenticateAes(p, 0, nullptr, 0); }},
        {"ChangeKey", 0xC4, true, true,
         [](int p) { return KQLMX_DesfireChangeKey(p, 0, kZeros.data(), 16, 0, nullptr, 0, 0); }},
        {"GetDfNames", 0x6D, true, false, &DfNames},
        {"GetFreeMemory", 0x6E, true, false,
         [](int p) { return KQLMX_DesfireGetFreeMemory(p) >= 0 ? 0 : -1; }},
        {"GetKeySettings", 0x45, true, true,
         [](int p) { return KQLMX_DesfireGetKeySettings(p, nullptr, nullptr); }},
        {"SelectApplication", 0x5A, true, false, [](int p) { return KQLMX_DesfireSelectApplication(p, 0); }},
        {"GetApplicationIds", 0x6A, false, true, [](int p) { return Aids(p) >= 0 ? 0 : -1; }},
        {"CreateApplication", 0xCA, false, true,
         [](int p) { return KQLMX_DesfireCreateApplication(p, 0x000009, 0, 1, 0, 0, 0x0F, nullptr, 0); }},
        {"ChangeKeySettings", 0x54, false, true,
         [](int p) { return KQLMX_DesfireChangeKeySettings(p, 0x0F); }},
    };
    for (const Row& row : rows) {
        for (int wrapping = 0; wrapping < 2; ++wrapping) {
            SCOPED_TRACE(std::string(row.name) + (wrapping ? " wrapped" : " native"));
            DesfireReader d;
            ASSERT_EQ(KQLMX_DesfireSetIsoWrapping(d.port, wrapping), 0);
            if (row.session) {
                ASSERT_EQ(KQLMX_DesfireAuthenticateIso(d.port, 0, key.data(), 16), 0);
            }
            d.r.ClearLog();
            EXPECT_EQ(row.call(d.port), row.code == 0xAA ? -1 : 0) << "the card's key is DES";
            const auto apdus = d.Apdus();
            ASSERT_FALSE(apdus.empty());
            if (wrapping && row.wrapped) {
                EXPECT_EQ(Bytes(apdus[0].begin(), apdus[0].begin() + 4),
                          Cat({Hex("90"), {row.code}, Hex("00 00")}));
            } else {
                EXPECT_EQ(apdus[0][0], row.code);
            }
        }
    }
}

TEST(DesfireFlatApi, IsoFileCommands) {
    DesfireReader d;
    const int p = d.port;
    ASSERT_EQ(KQLMX_DesfireCreateApplication(p, 0x000001, 0, 1, 1, 0, 0x0F,
                                             Hex("10 E1 D2 76 00 00 85 01 01").data(), 9),
              0);
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 1), 0);
    ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 2, 0xE104, 200, 0, 0xEEEE), 0);
    ASSERT_EQ(KQLMX_DesfireCreateDataFile(p, 3, 0xE105, 16, 0, 0x0000), 0);
    ASSERT_EQ(KQLMX_DesfireSelectApplication(p, 0), 0);

    const Bytes name = Hex("D2 76 00 00 85 01 01");
    ASSERT_EQ(KQLMX_IsoSelectByName(p, name.data(), 7), 0);
    ASSERT_EQ(KQLMX_IsoSelectFile(p, 0xE104), 0);
    Bytes data(130);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(0x40 + i);
    d.r.ClearLog();
    ASSERT_EQ(KQLMX_IsoUpdateBinary(p, 3, data.data(), 130), 0);
    std::vector<Bytes> heads;
    for (const Bytes& a : d.Apdus())
        heads.emplace_back(a.begin(), a.begin() + 5);
    EXPECT_EQ(heads,
              (std::vector<Bytes>{Hex("00 D6 00 03 3A"), Hex("00 D6 00 3D 3A"), Hex("00 D6 00 77 0E")}));
    d.r.ClearLog();
    unsigned char buf[200];
    ASSERT_EQ(KQLMX_IsoReadBinary(p, 3, 100, buf, sizeof buf), 100);
    EXPECT_EQ(Bytes(buf, buf + 100), Bytes(data.begin(), data.begin() + 100));
    EXPECT_EQ(d.Apdus(), (std::vector<Bytes>{Hex("00 B0 00 03 50"), Hex("00 B0 00 53 14")}));
    ASSERT_EQ(KQLMX_IsoReadBinary(p, 3, 130, buf, 10), 10) << "cut to the buffer";

    struct Row {
        const char* name;
        int (*call)(int port, unsigned char* buf);
        int code;
    } failures[] = {
        {"runs past the end after data",
         [](int q, unsigned char* b) { return KQLMX_IsoReadBinary(q, 100, 120, b, 200); },
         KQLMX_ERROR_ISO_END_OF_FILE},
        {"past the end at once",
         [](int q, unsigned char* b) { return KQLMX_IsoReadBinary(q, 190, 20, b, 200); }, 0x16985},
        {"offset beyond 0x7FFF",
         [](int q, unsigned char* b) { return KQLMX_IsoReadBinary(q, 0x8000, 1, b, 200); },
         KQLMX_ERROR_DATA_TOO_LONG},
        {"update beyond 0x7FFF",
         [](int q, unsigned char* b) { return KQLMX_IsoUpdateBinary(q, 0x8000, b, 1); },
         KQLMX_ERROR_DATA_TOO_LONG},
        {"unknown file", [](int q, unsigned char*) { return KQLMX_IsoSelectFile(q, 0xE1FF); }, 0x16A82},
        {"file that wants key 0",
         [](int q, unsigned char* b) {
             return KQLMX_IsoSelectFile(q, 0xE105) == 0 ? KQLMX_IsoReadBinary(q, 0, 4, b, 200) : -2;
         },
         0x16982},
        {"unknown DF name",
         [](int q, unsigned char*) {
             const unsigned char n[] = {0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x02};
             return KQLMX_IsoSelectByName(q, n, 7);
         },
         0x16A82},
    };
    for (const Row& row : failures) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(KQLMX_IsoSelectByName(p, name.data(), 7), 0);
        ASSERT_EQ(KQLMX_IsoSelectFile(p, 0xE104), 0);
        EXPECT_EQ(row.call(p, buf), -1);
        EXPECT_EQ(KQLMX_GetLastError(p), row.code);
    }
    // With key 0 the protected file is readable through ISO READ BINARY.
    ASSERT_EQ(KQLMX_IsoSelectByName(p, name.data(), 7), 0);
    ASSERT_EQ(KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0), 0);
    ASSERT_EQ(KQLMX_IsoSelectFile(p, 0xE105), 0);
    EXPECT_EQ(KQLMX_IsoReadBinary(p, 0, 4, buf, sizeof buf), 4);
}

// A card that answers whatever the test says: malformed answers end in a clear code,
// never a crash or an endless exchange.
struct ScriptedCard : kqsim::CardModel {
    std::function<Bytes(const Bytes&)> reply;
    std::string kind() const override { return "scripted"; }
    Bytes processApdu(const Bytes& apdu) override { return reply(apdu); }
};

TEST(DesfireFlatApi, HostileAnswersGiveClearCodes) {
    struct Row {
        const char* name;
        std::function<Bytes(const Bytes&)> reply;
        int (*call)(int port);
        int code;
    } rows[] = {
        {"empty native answer", [](const Bytes&) { return Bytes{}; },
         [](int p) { return KQLMX_DesfireGetFreeMemory(p); }, KQLMX_ERROR_DESFIRE_NO_STATUS},
        {"free memory of 2 bytes", [](const Bytes&) { return Hex("00 01 02"); },
         [](int p) { return KQLMX_DesfireGetFreeMemory(p); }, KQLMX_ERROR_UNEXPECTED_ANSWER},
        {"wrapped answer with an ISO status", [](const Bytes&) { return Hex("6A 82"); },
         [](int p) { return KQLMX_DesfireSetIsoWrapping(p, 1) == 0 ? KQLMX_DesfireGetFreeMemory(p) : -2; },
         0x16A82},
        {"RndB of 7 bytes", [](const Bytes&) { return Hex("AF 01 02 03 04 05 06 07"); },
         [](int p) { return KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0); }, KQLMX_ERROR_UNEXPECTED_ANSWER},
        // A card that takes our RndB answer but proves a RndA that is not ours does
        // not know the key: an authentication error, never a failure without a code.
        {"wrong RndA proof",
         [](const Bytes& apdu) {
             return apdu[0] == 0x1A ? Hex("AF 01 02 03 04 05 06 07 08") : Hex("00 11 12 13 14 15 16 17 18");
         },
         [](int p) { return KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0); }, 0x100AE},
        {"authentication refused", [](const Bytes&) { return Hex("AE"); },
         [](int p) { return KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0); }, 0x100AE},
        {"AID list that is no multiple of 3", [](const Bytes&) { return Hex("00 01 02 03 04"); }, &Aids,
         KQLMX_ERROR_UNEXPECTED_ANSWER},
        {"more frames for ever", [](const Bytes&) { return Hex("AF 01 02 03"); }, &Aids,
         KQLMX_ERROR_UNEXPECTED_ANSWER},
        {"DF name of 17 bytes",
         [](const Bytes&) {
             return Cat({Hex("00 01 00 00 10 E1"), Bytes(17, 0x41)});
         },
         &DfNames, KQLMX_ERROR_UNEXPECTED_ANSWER},
        {"ISO answer of one byte", [](const Bytes&) { return Hex("90"); }, &ReadBinary8,
         KQLMX_ERROR_DESFIRE_NO_STATUS},
        {"READ BINARY without data", [](const Bytes&) { return Hex("90 00"); }, &ReadBinary8,
         KQLMX_ERROR_UNEXPECTED_ANSWER},
        {"card ends a command before its last frame", [](const Bytes&) { return Hex("00"); },
         [](int p) {
             const Bytes data(100, 0x11);
             return KQLMX_DesfireWriteData(p, 1, 0, 0, data.data(), 100);
         },
         KQLMX_ERROR_UNEXPECTED_ANSWER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TagSimReader r;
        auto card = std::make_unique<ScriptedCard>();
        card->reply = row.reply;
        r.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Hex("04 01 02 03 04 05 06"), std::move(card)));
        short atqa = 0;
        unsigned char uid[10], ats[16];
        char sak = 0;
        ASSERT_EQ(KQLMX_RequestTag(r.port, &atqa), 0);
        ASSERT_EQ(KQLMX_SelectTag(r.port, uid, sizeof uid, &sak), 7);
        ASSERT_GT(KQLMX_RequestAts(r.port, ats, sizeof ats), 0);
        EXPECT_EQ(row.call(r.port), -1);
        EXPECT_EQ(KQLMX_GetLastError(r.port), row.code);
    }
}

} // namespace
} // namespace kqtest
