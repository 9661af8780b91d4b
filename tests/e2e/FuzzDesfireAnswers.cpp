// Fuzz target: hostile DESFire card answers to the DESFire layer. A simulated card
// first answers truly (so that a session can be opened with the zero key), then every
// further APDU gets the next answer of the input. The first input byte picks the
// command: authentication, the DF name list, the AID list, ReadData in its three
// modes (the answer frames gathered, their CMAC checked, deciphered), ChangeKey and
// READ BINARY. The input after it is a list of answers, each a length byte and bytes.
//
// With bit 7 of the first byte set, the input instead spoils a true card image and runs
// a tag operation on it: bits 0-1 pick write, format, lock or protect with a key, bit 2
// takes the card away after a number of tag commands (the next byte) and puts it back,
// bit 3 gives the ops the card's key, bit 4 protects the data too; two bytes give the
// message length, and a mask byte picks which spoils follow (see Spoil). Checked as
// properties: the other application, the card level (on write and format) and a file
// beside the NDEF files stay as they were; a refused write, a lock and a protection
// leave the message that was readable before; a torn write leaves the old message,
// none or the new one; a lock that answers 0 leaves a CC that says read-only, an NDEF
// file that takes no raw write, and no way to change or delete the NDEF file or
// application with the zero DES or AES key; a protection of the data that answers 0
// refuses a write without the new key; no call leaves a key the caller was not given.
#include "FuzzSimReader.h"
#include "kqlmx.h"
#include "reader/sdk/DF8Crypt.h"
#include "sim/DesfireCard.h"
#include "sim/IsoDepTag.h"
#include "sim/SharedCard.h"
#include "sim/Simulator.h"

#include <openssl/rand.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>

namespace {

struct FixedRandom final : kq::DesfireRandom {
    bool Fill(std::span<uint8_t> out) override {
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<uint8_t>(0x11 * i);
        return true;
    }
};

// True answers until `scripted` is set, then the input's answers (empty when used up).
struct FuzzCard : kqsim::CardModel {
    std::string kind() const override { return "fuzz"; }
    kqsim::Bytes processApdu(const kqsim::Bytes& apdu) override {
        if (!scripted) return real.processApdu(apdu);
        if (script.empty()) return {};
        kqsim::Bytes next = script.front();
        script.pop_front();
        return next;
    }
    kqsim::DesfireCard real;
    std::deque<kqsim::Bytes> script;
    bool scripted = false;
};

struct Reader {
    Reader() {
        kq::DesfireRandom::Install(&random);
        // OpenSSL builds its cipher tables and random generator on first use and keeps
        // them; doing that here keeps those allocations out of the per-input leak check.
        for (uint8_t cipher : {kq::kCipherTdes, kq::kCipherAes}) {
            kq::DF8Crypt crypt;
            crypt.Start(cipher, kq::Bytes(16, 1));
            kqsim::DesfireCipher(cipher == kq::kCipherAes ? kqsim::DesfireCipher::Kind::Aes
                                                          : kqsim::DesfireCipher::Kind::Tdes,
                                 kqsim::Bytes(16, 1));
        }
        uint8_t warm[8];
        RAND_bytes(warm, sizeof warm);
    }
    kqtest::FuzzSimReader link;
    kqsim::Simulator& sim = link.sim;
    const int port = link.port;
    FixedRandom random;
};

using kqsim::Bytes;
using kqsim::DesfireCard;

const Bytes kKey(16, 0x5A);
const Bytes kNewKey(16, 0xC3);

std::string Text(size_t n) {
    return R"({"TEXT" : {"TITLE" : ")" + std::string(n, 'x') + R"("}})";
}

kqsim::TagId Place(kqsim::Simulator& sim, const std::shared_ptr<DesfireCard>& card) {
    card->reset();
    return sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Bytes{4, 1, 2, 3, 4, 5, 6},
                                                           std::make_unique<kqsim::SharedCard>(card)));
}

struct Input {
    const uint8_t* at;
    size_t left;
    uint8_t Byte() {
        if (!left) return 0;
        --left;
        return *at++;
    }
};

// The mask's bits: 0 XOR 15 bytes into the CC; 1 the NDEF file's size (2 bytes); 2 the
// CC and NDEF files' access rights (2 bytes each); 3 the NDEF application's key
// settings; 4 a third file (E105) beside them, its rights (2 bytes); 5 a card master key
// that is not the default; 6 XOR 16 bytes into the NDEF file's head; 7 the card's key
// settings and the key types (2 bytes: settings; bits 0-1 the application's crypto,
// DES, three-key triple DES or AES, bit 2 an AES card master key).
void Spoil(DesfireCard& c, Input& in) {
    const uint8_t mask = in.Byte();
    DesfireCard::Application* app = c.application(2);
    if (!app) return;
    DesfireCard::File& cc = *app->file(1);
    DesfireCard::File& ndef = *app->file(2);
    if (mask & 0x01)
        for (uint8_t& b : cc.data)
            b ^= in.Byte();
    if (mask & 0x02) ndef.data.resize((in.Byte() << 8 | in.Byte()) % (ndef.data.size() + 1));
    if (mask & 0x04) {
        cc.access = static_cast<uint16_t>(in.Byte() << 8 | in.Byte());
        ndef.access = static_cast<uint16_t>(in.Byte() << 8 | in.Byte());
    }
    if (mask & 0x08) app->settings = in.Byte();
    if (mask & 0x20) c.card().keys[0].value = kKey;
    if (mask & 0x80) {
        c.card().settings = in.Byte();
        const uint8_t types = in.Byte();
        static constexpr uint8_t kCrypto[] = {0x00, 0x40, 0x80, 0x00};
        app->settings2 = static_cast<uint8_t>((app->settings2 & 0x3F) | kCrypto[types & 0x03]);
        if (types & 0x04) c.card().settings2 = static_cast<uint8_t>((c.card().settings2 & 0x3F) | 0x80);
    }
    if (mask & 0x40)
        for (size_t i = 0; i < 16 && i < ndef.data.size(); ++i)
            ndef.data[i] ^= in.Byte();
    if (mask & 0x10) { // last: it moves the files
        DesfireCard::File extra;
        extra.no = 3;
        extra.isoId = 0xE105;
        extra.access = static_cast<uint16_t>(in.Byte() << 8 | in.Byte());
        extra.data = Bytes(32, 0x33);
        app->files.push_back(extra);
    }
}

std::string ReadText(int port, int& n) {
    static char text[16384];
    n = KQLMX_ReadTag(port, text, sizeof text);
    return n >= 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

void Require(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\n", rule);
    std::abort();
}

// Ways into the NDEF application for anyone with the default keys: key 0 of the card
// or of the application opened with the zero DES or AES key, the NDEF file deleted
// or its rights changed without a key.
bool OpenToDefaultKeys(int port, const DesfireCard& card) {
    const Bytes zero(16, 0x00);
    for (int aid : {0, 2}) {
        for (bool aes : {false, true}) {
            if (KQLMX_DesfireSelectApplication(port, aid) != 0) continue;
            if ((aes ? KQLMX_DesfireAuthenticateAes(port, 0, zero.data(), 16)
                     : KQLMX_DesfireAuthenticateIso(port, 0, zero.data(), 16)) == 0)
                return true;
        }
    }
    DesfireCard copy = card;
    copy.reset();
    if (copy.processApdu({0x5A, 0x02, 0x00, 0x00}) != Bytes{0x00}) return false;
    return copy.processApdu({0xDF, 0x02}) == Bytes{0x00} ||
           (copy.application(2)->file(2) && copy.application(2)->file(2)->change() == 0xE);
}

// Each key as it was, one the caller gave, or (lock) the one drawn that nobody knows.
bool KeysFromTheCaller(DesfireCard before, DesfireCard& after, const Bytes& drawn) {
    for (uint32_t aid : {0u, 2u}) {
        const DesfireCard::Application* was = before.application(aid);
        const DesfireCard::Application* is = after.application(aid);
        if (!was || !is) continue;
        for (size_t k = 0; k < is->keys.size() && k < was->keys.size(); ++k) {
            const Bytes& key = is->keys[k].value;
            if (key != was->keys[k].value && key != kKey && key != kNewKey && key != drawn) return false;
        }
    }
    return true;
}

void Check(int port, int result, int capacity) {
    if (result < -1 || result > capacity) std::abort();
    if (result == -1 && KQLMX_GetLastError(port) == 0) std::abort(); // a failure always has a reason
}

// The true card: another application (AID 1, a file holding 4D 45 49 4E) and the NDEF
// application (AID 2) holding a short text, made by the product itself.
const DesfireCard& TrueCard(Reader& reader) {
    static const std::shared_ptr<DesfireCard> card = [&reader] {
        auto made = std::make_shared<DesfireCard>();
        const kqsim::TagId id = Place(reader.sim, made);
        const int p = reader.port;
        short atqa = 0;
        unsigned char uid[10], ats[32];
        char sak = 0;
        const Bytes mine{0x4D, 0x45, 0x49, 0x4E};
        const std::string text = Text(3);
        if (KQLMX_RequestTag(p, &atqa) != 0 || KQLMX_SelectTag(p, uid, sizeof uid, &sak) != 7 ||
            KQLMX_RequestAts(p, ats, sizeof ats) <= 0 ||
            KQLMX_DesfireCreateApplication(p, 1, 0, 1, 0, 0, 0x0F, nullptr, 0) != 0 ||
            KQLMX_DesfireSelectApplication(p, 1) != 0 ||
            KQLMX_DesfireCreateDataFile(p, 5, 0, 32, 0, 0xEEEE) != 0 ||
            KQLMX_DesfireWriteData(p, 5, 0, 0, mine.data(), 4) != 0 || KQLMX_FormatTag(p, nullptr, 0) != 0 ||
            KQLMX_WriteTag(p, text.data(), static_cast<int>(text.size()), nullptr, 0, 0) != 0 ||
            !made->application(2))
            std::abort();
        reader.sim.removeTag(id);
        return made;
    }();
    return *card;
}

void TagOperation(Reader& reader, const uint8_t* data, size_t size) {
    const int op = data[0] & 0x03;
    const bool tear = data[0] & 0x04, withKey = data[0] & 0x08, protectData = data[0] & 0x10;
    Input in{data + 1, size - 1};
    const int tearAfter = tear ? in.Byte() : 0;
    const size_t length = (in.Byte() << 8 | in.Byte()) % 8192;
    auto card = std::make_shared<DesfireCard>(TrueCard(reader));
    Spoil(*card, in);
    const DesfireCard start = *card;
    const Bytes other = card->image(1), cardLevel = card->image(0);
    const bool namesExtra =
        card->application(2)->file(1)->data[9] == 0xE1 && card->application(2)->file(1)->data[10] == 0x05;
    const int p = reader.port;
    kqsim::TagId id = Place(reader.sim, card);
    int before = 0, after = 0;
    const std::string old = ReadText(p, before);
    const std::string json = Text(length);
    const uint8_t* key = withKey ? kKey.data() : nullptr;
    const int keyLen = withKey ? 16 : 0;
    if (tear) reader.sim.removeTagAfter(id, tearAfter);
    int result = 0;
    switch (op) {
    case 0:
        result = KQLMX_WriteTag(p, json.data(), static_cast<int>(json.size()), key, keyLen, 0);
        break;
    case 1:
        result = KQLMX_FormatTag(p, key, keyLen);
        break;
    case 2:
        result = KQLMX_LockTag(p, key, keyLen);
        break;
    default:
        result = KQLMX_ChangeTagKey(p, protectData, key, keyLen, kNewKey.data(), 16);
        break;
    }
    Require(result == 0 || KQLMX_GetLastError(p) != 0, "a failure has a reason");
    // Taken out and put back in any case: a removal the operation did not reach is void.
    const bool gone = reader.sim.tagIds().empty();
    reader.sim.removeTag(id);
    id = Place(reader.sim, card);
    const std::string now = ReadText(p, after);
    Require(card->image(1) == other, "the other application is unchanged");
    Bytes drawn(16);
    for (size_t i = 0; i < drawn.size(); ++i)
        drawn[i] = static_cast<uint8_t>(0x11 * i);
    Require(KeysFromTheCaller(start, *card, op == 2 ? drawn : kNewKey), "no key the caller was not given");
    if (op <= 1) Require(card->image(0) == cardLevel, "the card level is unchanged");
    if (const DesfireCard::File* extra = card->application(2)->file(3); extra && !namesExtra)
        Require(extra->data == Bytes(32, 0x33), "a file beside the NDEF files is unchanged");
    if (before >= 0) {
        if (op == 0 && gone)
            Require(after >= 0 && (now == old || now.empty() || now == json),
                    "a torn write: old, none or new");
        else if (op == 0 && result != 0)
            Require(after >= 0 && now == old, "a refused write keeps the message");
        else if (op >= 2)
            Require(after >= 0 && now == old, "lock and protect keep the message");
    }
    if (op == 2 && result == 0 && !gone) {
        // Locked: the CC says so, and the card refuses a raw write of the NDEF file.
        const DesfireCard::File& cc = *card->application(2)->file(1);
        Require(cc.data.size() >= 15 && cc.data[14] == 0xFF, "a lock leaves a read-only CC");
        const uint8_t name[] = {0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01}, zeros[2] = {};
        Require(KQLMX_IsoSelectByName(p, name, sizeof name) == 0, "a locked card keeps its NDEF application");
        if (KQLMX_IsoSelectFile(p, cc.data[9] << 8 | cc.data[10]) == 0)
            Require(KQLMX_IsoUpdateBinary(p, 0, zeros, 2) != 0, "a locked card takes no raw write");
        Require(!OpenToDefaultKeys(p, *card), "a locked card is closed to the default keys");
    }
    if (op == 3 && protectData && result == 0 && !gone) {
        const std::string probe = Text(4);
        Require(KQLMX_WriteTag(p, probe.data(), static_cast<int>(probe.size()), nullptr, 0, 0) != 0,
                "protected data takes no write without the key");
        Require(!OpenToDefaultKeys(p, *card), "a protected card is closed to the default keys");
    }
    reader.sim.removeTag(id);
    reader.sim.clearLog();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Reader reader;
    if (size < 1) return 0;
    if (data[0] & 0x80) {
        TagOperation(reader, data, size);
        return 0;
    }
    const int op = data[0] % 9;
    auto card = std::make_unique<FuzzCard>();
    FuzzCard* fuzz = card.get();
    for (size_t at = 1; at < size;) {
        const size_t n = std::min<size_t>(data[at], size - at - 1);
        fuzz->script.emplace_back(data + at + 1, data + at + 1 + n);
        at += 1 + n;
    }
    fuzz->real.card().keys.resize(1);
    const kqsim::TagId id = reader.sim.placeTag(
        std::make_unique<kqsim::IsoDepTag>(kqsim::Bytes{4, 1, 2, 3, 4, 5, 6}, std::move(card)));
    const int p = reader.port;
    short atqa = 0;
    unsigned char uid[10], buf[8192];
    char sak = 0;
    if (KQLMX_RequestTag(p, &atqa) != 0 || KQLMX_SelectTag(p, uid, sizeof uid, &sak) != 7 ||
        KQLMX_RequestAts(p, buf, sizeof buf) <= 0)
        std::abort();
    KQLMX_DesfireSetIsoWrapping(p, op == 1);
    // Modes 1 and 3, ChangeKey: a true session first, then hostile answers inside it.
    const bool session = op >= 4 && op <= 6;
    if (session && KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0) != 0) std::abort();
    reader.sim.withTag(id, [fuzz](kqsim::Tag&) { fuzz->scripted = true; });
    int result = 0;
    switch (op) {
    case 0:
    case 1:
        result = KQLMX_DesfireAuthenticateIso(p, 0, nullptr, 0);
        break;
    case 2:
        result = KQLMX_DesfireGetDfNames(p, buf, sizeof buf);
        break;
    case 3:
        result = KQLMX_DesfireReadData(p, 1, 0, 0, 200, buf, sizeof buf);
        break;
    case 4:
        result = KQLMX_DesfireReadData(p, 1, 1, 0, 100, buf, sizeof buf);
        break;
    case 5:
        result = KQLMX_DesfireReadData(p, 1, 3, 0, 100, buf, sizeof buf);
        break;
    case 6:
        result = KQLMX_DesfireChangeKey(p, 1, buf, 16, 0, buf, 16, 0);
        break;
    case 7:
        result = KQLMX_DesfireGetApplicationIds(p, buf, sizeof buf);
        break;
    default:
        result = KQLMX_IsoReadBinary(p, 0, 300, buf, sizeof buf);
        break;
    }
    Check(p, result, static_cast<int>(sizeof buf));
    reader.sim.removeTag(id);
    reader.sim.clearLog();
    return 0;
}
