// Fuzz target: hostile DESFire card answers to the DESFire layer. A simulated card
// first answers truly (so that a session can be opened with the zero key), then every
// further APDU gets the next answer of the input. The first input byte picks the
// command: authentication, the DF name list, the AID list, ReadData in its three
// modes (the answer frames gathered, their CMAC checked, deciphered), ChangeKey and
// READ BINARY. The input after it is a list of answers, each a length byte and bytes.
#include "FuzzSimReader.h"
#include "kqlmx.h"
#include "reader/sdk/DF8Crypt.h"
#include "sim/DesfireCard.h"
#include "sim/IsoDepTag.h"
#include "sim/Simulator.h"

#include <openssl/rand.h>

#include <cstdio>
#include <cstdlib>
#include <deque>

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

void Check(int port, int result, int capacity) {
    if (result < -1 || result > capacity) std::abort();
    if (result == -1 && KQLMX_GetLastError(port) == 0) std::abort(); // a failure always has a reason
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Reader reader;
    if (size < 1) return 0;
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
