#include "reader/sdk/DesfireCommands.h"

#include "kqlmx.h"
#include "reader/sdk/DatenFuerDesfireInPort.h"
#include "reader/sdk/Iso14443Commands.h"

#include <algorithm>

namespace kq {

namespace {

constexpr uint8_t kAdditionalFrame = 0xAF;
constexpr size_t kFirstFrame = 60;    // command code, header and data of the first frame
constexpr size_t kNextFrameData = 59; // data after 0xAF in each further frame
constexpr int kMaxFrames = 512;       // a card that keeps asking for more is cut off
constexpr size_t kMaxGathered = kDataPiece + 64;
constexpr size_t kMaxIsoOffset = 0x7FFF;

enum class CommandMac { Computed, Appended, None };

struct Options {
    bool wrappable = false; // one of the commands that ISO wrapping sends as APDU
    CommandMac commandMac = CommandMac::Computed;
    bool answerMac = true;                // a good answer in a session ends in a CMAC
    std::vector<Bytes>* frames = nullptr; // each answer frame's data, when wanted
};

bool Fail(CKQ_LMX_Port& port, CDatenFuerDesfireInPort& s, int code) {
    port.lastError = code;
    s.ResetSession();
    return false;
}

void Put3(Bytes& out, uint32_t value) {
    for (int i = 0; i < 3; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes RotateLeft(std::span<const uint8_t> in) {
    Bytes out(in.begin() + 1, in.end());
    out.push_back(in[0]);
    return out;
}

// One frame to the card and its status and data.
bool Transmit(CKQ_LMX_Port& port, CDatenFuerDesfireInPort& s, bool wrap, std::span<const uint8_t> frame,
              uint8_t& status, Bytes& data) {
    Bytes apdu;
    if (wrap) {
        apdu = {0x90, frame[0], 0x00, 0x00};
        if (frame.size() > 1) {
            apdu.push_back(static_cast<uint8_t>(frame.size() - 1));
            apdu.insert(apdu.end(), frame.begin() + 1, frame.end());
        }
        apdu.push_back(0x00);
    } else {
        apdu.assign(frame.begin(), frame.end());
    }
    Bytes answer;
    if (!ExchangeApdu(port, apdu, kMaxApduAnswer, answer)) {
        s.ResetSession();
        return false;
    }
    if (!SplitNativeAnswer(answer, wrap, status, data)) {
        const int code = answer.size() >= 2
                             ? kDesfireStatusBase + (answer[answer.size() - 2] << 8 | answer.back())
                             : kDesfireNoStatus;
        return Fail(port, s, code);
    }
    return true;
}

// One native command: `command` is the code with all its parameters as the CMAC sees
// them; it goes in frames of the card's size, and the answer's 0xAF frames are
// gathered. `answer` is the data with the status 0x00 and the CMAC checked and taken
// off.
bool Command(CKQ_LMX_Port& port, CDatenFuerDesfireInPort& s, Bytes command, Bytes& answer, Options o = {}) {
    answer.clear();
    const bool session = s.Authenticated();
    if (session && o.commandMac != CommandMac::None) {
        Bytes mac;
        if (!s.crypto.Cmac(command, mac)) return Fail(port, s, kDesfireMacWrong);
        if (o.commandMac == CommandMac::Appended) command.insert(command.end(), mac.begin(), mac.end());
    }
    const bool wrap = o.wrappable && s.isoWrapping;
    size_t sent = std::min(command.size(), kFirstFrame);
    uint8_t status = 0;
    Bytes data;
    if (!Transmit(port, s, wrap, std::span(command).first(sent), status, data)) return false;
    for (int frames = 1;; ++frames) {
        if (status != 0x00 && status != kAdditionalFrame) return Fail(port, s, kDesfireStatusBase + status);
        if (sent == command.size()) {
            if (o.frames) o.frames->push_back(data);
            answer.insert(answer.end(), data.begin(), data.end());
        } else if (!data.empty() || status == 0x00) {
            return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER); // the card ended before the command did
        }
        if (answer.size() > kMaxGathered || frames > kMaxFrames)
            return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
        if (status == 0x00) break;
        Bytes next{kAdditionalFrame};
        const size_t n = std::min(command.size() - sent, kNextFrameData);
        next.insert(next.end(), command.begin() + static_cast<std::ptrdiff_t>(sent),
                    command.begin() + static_cast<std::ptrdiff_t>(sent + n));
        sent += n;
        if (!Transmit(port, s, wrap, next, status, data)) return false;
    }
    if (session && o.answerMac && s.Authenticated()) {
        if (answer.size() < 8) return Fail(port, s, kDesfireMacWrong);
        Bytes covered(answer.begin(), answer.end() - 8);
        covered.push_back(0x00);
        Bytes mac;
        if (!s.crypto.Cmac(covered, mac) || !std::equal(mac.begin(), mac.end(), answer.end() - 8))
            return Fail(port, s, kDesfireMacWrong);
        answer.resize(answer.size() - 8);
    }
    return true;
}

bool NeedSession(CKQ_LMX_Port& port, CDatenFuerDesfireInPort& s) {
    if (s.Authenticated()) return true;
    port.lastError = kDesfireNoSession;
    return false;
}

bool CheckKey(CKQ_LMX_Port& port, std::span<const uint8_t> key) {
    if (key.size() == 16) return true;
    port.lastError = kDesfireKeyLength;
    return false;
}

// An ISO 7816-4 command; `data` is the answer without its status word 90 00.
bool IsoCommand(CKQ_LMX_Port& port, CDatenFuerDesfireInPort& s, std::span<const uint8_t> apdu, Bytes& data) {
    Bytes answer;
    if (!ExchangeApdu(port, apdu, kMaxApduAnswer, answer)) {
        s.ResetSession();
        return false;
    }
    if (answer.size() < 2) return Fail(port, s, kDesfireNoStatus);
    const int sw = answer[answer.size() - 2] << 8 | answer.back();
    if (sw != 0x9000) return Fail(port, s, kDesfireStatusBase + sw);
    data.assign(answer.begin(), answer.end() - 2);
    return true;
}

bool CheckIsoOffset(CKQ_LMX_Port& port, uint32_t offset) {
    if (offset <= kMaxIsoOffset) return true;
    port.lastError = KQLMX_ERROR_DATA_TOO_LONG;
    return false;
}

} // namespace

CDatenFuerDesfireInPort& DesfireSession(CKQ_LMX_Port& port) {
    if (!port.desfire) port.desfire = std::make_shared<CDatenFuerDesfireInPort>();
    return *port.desfire;
}

bool SplitNativeAnswer(std::span<const uint8_t> answer, bool wrapped, uint8_t& status, Bytes& data) {
    if (wrapped) {
        if (answer.size() < 2 || answer[answer.size() - 2] != 0x91) return false;
        status = answer.back();
        data.assign(answer.begin(), answer.end() - 2);
        return true;
    }
    if (answer.empty()) return false;
    status = answer[0];
    data.assign(answer.begin() + 1, answer.end());
    return true;
}

bool DfNameEntryFromFrame(std::span<const uint8_t> frame, Bytes& entry, bool& malformed) {
    malformed = false;
    if (frame.size() < 6) return false;
    const size_t nameLen = frame.size() - 6;
    if (nameLen > 16) {
        malformed = true;
        return false;
    }
    entry.assign(frame.begin() + 1, frame.begin() + 6);
    entry.insert(entry.end(), frame.begin() + 6, frame.end());
    entry.resize(kDfNameEntrySize - 1, 0);
    entry.push_back(static_cast<uint8_t>(nameLen));
    return true;
}

bool PayloadOfDeciphered(std::span<const uint8_t> plain, size_t length, Bytes& payload) {
    if (plain.size() < length + 4) return false;
    Bytes covered(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(length));
    covered.push_back(0x00);
    const uint32_t crc = DesfireCrc32(covered);
    for (size_t i = 0; i < 4; ++i)
        if (plain[length + i] != static_cast<uint8_t>(crc >> (8 * i))) return false;
    // The padding: zeros, or 0x80 and zeros.
    for (size_t i = length + 4; i < plain.size(); ++i)
        if (plain[i] != 0x00 && !(plain[i] == 0x80 && i == length + 4)) return false;
    payload.assign(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(length));
    return true;
}

bool DesfireSetIsoWrapping(CKQ_LMX_Port& port, bool on) {
    DesfireSession(port).isoWrapping = on;
    return true;
}

bool DesfireAuthenticate(CKQ_LMX_Port& port, bool aes, int keyNo, std::span<const uint8_t> key) {
    const Bytes zeros(16, 0);
    if (key.empty()) key = zeros;
    if (!CheckKey(port, key)) return false;
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    s.ResetSession();
    const uint8_t cipher = aes ? kCipherAes : kCipherTdes;
    const size_t block = BlockSizeOf(cipher);
    const uint8_t first[] = {static_cast<uint8_t>(aes ? 0xAA : 0x1A), static_cast<uint8_t>(keyNo)};
    uint8_t status = 0;
    Bytes encRndB;
    if (!Transmit(port, s, s.isoWrapping, first, status, encRndB)) return false;
    if (status != kAdditionalFrame) return Fail(port, s, kDesfireStatusBase + status);
    if (encRndB.size() != block) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    uint8_t iv[16] = {};
    Bytes rndB;
    Bytes rndA(block, 0);
    if (!CbcDecipher(cipher, key, std::span(iv, block), encRndB, rndB) || !DesfireRandom::Get().Fill(rndA))
        return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    Bytes token = rndA;
    const Bytes rotatedB = RotateLeft(rndB);
    token.insert(token.end(), rotatedB.begin(), rotatedB.end());
    Bytes second{kAdditionalFrame};
    Bytes enciphered;
    if (!CbcEncipher(cipher, key, std::span(iv, block), token, enciphered))
        return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    second.insert(second.end(), enciphered.begin(), enciphered.end());
    Bytes encRndA;
    if (!Transmit(port, s, s.isoWrapping, second, status, encRndA)) return false;
    if (status != 0x00) return Fail(port, s, kDesfireStatusBase + status);
    Bytes proof;
    if (encRndA.size() != block || !CbcDecipher(cipher, key, std::span(iv, block), encRndA, proof) ||
        proof != RotateLeft(rndA))
        return Fail(port, s, kDesfireStatusBase + 0xAE); // the card does not know the key it claims
    Bytes sessionKey;
    auto take = [&sessionKey](const Bytes& from, size_t at) {
        sessionKey.insert(sessionKey.end(), from.begin() + static_cast<std::ptrdiff_t>(at),
                          from.begin() + static_cast<std::ptrdiff_t>(at + 4));
    };
    if (aes) {
        take(rndA, 0), take(rndB, 0), take(rndA, 12), take(rndB, 12);
    } else if (std::equal(key.begin(), key.begin() + 8, key.begin() + 8,
                          // The parity bits carry the key's version: a single DES key
                          // stored with one is still a single DES key.
                          [](uint8_t a, uint8_t b) { return ((a ^ b) & 0xFE) == 0; })) {
        take(rndA, 0), take(rndB, 0), take(rndA, 0), take(rndB, 0);
    } else {
        take(rndA, 0), take(rndB, 0), take(rndA, 4), take(rndB, 4);
    }
    if (!s.crypto.Start(cipher, sessionKey)) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    s.authKind = aes ? kAuthAes : kAuthIso;
    s.authKeyNo = static_cast<uint8_t>(keyNo);
    return true;
}

bool DesfireSelectApplication(CKQ_LMX_Port& port, uint32_t aid) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    s.ResetSession();
    Bytes command{0x5A};
    Put3(command, aid);
    Bytes answer;
    if (!Command(port, s, command, answer, {.wrappable = true})) return false;
    s.selectedAid = static_cast<int>(aid & 0xFFFFFF);
    return true;
}

bool DesfireGetApplicationIds(CKQ_LMX_Port& port, Bytes& aids) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    if (!Command(port, s, {0x6A}, aids)) return false;
    if (aids.size() % 3 != 0) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    return true;
}

bool DesfireGetDfNames(CKQ_LMX_Port& port, Bytes& entries) {
    entries.clear();
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    if (s.authKind == kAuthIso || s.authKind == kAuthAes) {
        port.lastError = kDesfireDfNamesInSession;
        return false;
    }
    std::vector<Bytes> frames;
    Bytes all;
    if (!Command(port, s, {0x6D}, all, {.wrappable = true, .frames = &frames})) return false;
    for (const Bytes& data : frames) {
        Bytes frame{0x00};
        frame.insert(frame.end(), data.begin(), data.end());
        Bytes entry;
        bool malformed = false;
        if (!DfNameEntryFromFrame(frame, entry, malformed)) {
            if (malformed) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
            break;
        }
        entries.insert(entries.end(), entry.begin(), entry.end());
    }
    return true;
}

bool DesfireGetFreeMemory(CKQ_LMX_Port& port, uint32_t& bytes) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    Bytes answer;
    if (!Command(port, s, {0x6E}, answer, {.wrappable = true})) return false;
    if (answer.size() != 3) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    bytes = answer[0] | answer[1] << 8 | static_cast<uint32_t>(answer[2]) << 16;
    return true;
}

bool DesfireGetKeySettings(CKQ_LMX_Port& port, uint8_t& settings, uint8_t& keyCount, uint8_t* keyCountByte) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    Bytes answer;
    if (!Command(port, s, {0x45}, answer, {.wrappable = true})) return false;
    if (answer.size() != 2) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    settings = answer[0];
    // The second byte carries the application's crypto in its top bits: the keys are the
    // low nibble.
    keyCount = answer[1] & 0x0F;
    if (keyCountByte) *keyCountByte = answer[1];
    return true;
}

bool DesfireChangeKeySettings(CKQ_LMX_Port& port, uint8_t settings) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    if (!NeedSession(port, s)) return false;
    // The card takes the settings only with the CRC32 of command and settings behind them.
    Bytes plain{settings};
    const uint8_t covered[] = {0x54, settings};
    AppendCrc32(plain, covered);
    Bytes command{0x54};
    Bytes enciphered;
    if (!s.crypto.Encipher(plain, enciphered)) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    command.insert(command.end(), enciphered.begin(), enciphered.end());
    Bytes answer;
    return Command(port, s, command, answer, {.commandMac = CommandMac::None});
}

bool DesfireChangeKey(CKQ_LMX_Port& port, int keyNo, std::span<const uint8_t> newKey, uint8_t keyVersion,
                      std::span<const uint8_t> oldKey, int keyType) {
    if (!CheckKey(port, newKey)) return false;
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    if (!NeedSession(port, s)) return false;
    const bool sameKey = (keyNo & 0x3F) == (s.authKeyNo & 0x3F);
    if (!sameKey && oldKey.size() != 16) {
        port.lastError = kDesfireOldKeyMissing;
        return false;
    }
    const bool aesKey = keyType == kKeyTypeAes || s.authKind == kAuthAes;
    uint8_t keyByte = static_cast<uint8_t>(keyNo);
    if (s.selectedAid == 0) keyByte = static_cast<uint8_t>((keyNo & 0x3F) | (aesKey ? 0x80 : 0x00));
    Bytes plain(newKey.begin(), newKey.end());
    if (!sameKey)
        for (size_t i = 0; i < 16; ++i)
            plain[i] ^= oldKey[i];
    if (aesKey) plain.push_back(keyVersion); // an AES key carries its version
    Bytes covered{0xC4, keyByte};
    covered.insert(covered.end(), plain.begin(), plain.end());
    AppendCrc32(plain, covered);
    if (!sameKey) AppendCrc32(plain, newKey);
    plain.resize(s.crypto.BlockSize() == 16 ? 32 : 24, 0);
    Bytes command{0xC4, keyByte};
    Bytes enciphered;
    if (!s.crypto.Encipher(plain, enciphered)) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    command.insert(command.end(), enciphered.begin(), enciphered.end());
    Bytes answer;
    // The card ends the session when its own key changes and sends no CMAC then.
    if (!Command(port, s, command, answer,
                 {.wrappable = true, .commandMac = CommandMac::None, .answerMac = !sameKey}))
        return false;
    if (sameKey) s.ResetSession();
    return true;
}

bool DesfireCreateApplication(CKQ_LMX_Port& port, uint32_t aid, int crypto, int keyCount, bool iso,
                              int changeKeyAccess, int keySettings, std::span<const uint8_t> isoData) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    Bytes command{0xCA};
    Put3(command, aid);
    command.push_back(static_cast<uint8_t>((keySettings & 0x0F) | (changeKeyAccess & 0x0F) << 4));
    command.push_back(static_cast<uint8_t>((crypto & 0x03) << 6 | (keyCount & 0x0F) | (iso ? 0x20 : 0x00)));
    if (isoData.size() > 2) command.insert(command.end(), isoData.begin(), isoData.end());
    Bytes answer;
    return Command(port, s, command, answer);
}

bool DesfireCreateDataFile(CKQ_LMX_Port& port, int fileNo, int isoFileId, uint32_t size, int commSettings,
                           int accessRights) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    Bytes command{0xCD, static_cast<uint8_t>(fileNo)};
    if (isoFileId != 0) {
        command.push_back(static_cast<uint8_t>(isoFileId));
        command.push_back(static_cast<uint8_t>(isoFileId >> 8));
    }
    command.push_back(static_cast<uint8_t>(commSettings));
    command.push_back(static_cast<uint8_t>(accessRights));
    command.push_back(static_cast<uint8_t>(accessRights >> 8));
    Put3(command, size);
    Bytes answer;
    return Command(port, s, command, answer);
}

bool DesfireGetFileIds(CKQ_LMX_Port& port, Bytes& ids) {
    return Command(port, DesfireSession(port), {0x6F}, ids);
}

bool DesfireGetFileSettings(CKQ_LMX_Port& port, int fileNo, Bytes& settings) {
    return Command(port, DesfireSession(port), {0xF5, static_cast<uint8_t>(fileNo)}, settings);
}

bool DesfireChangeFileSettings(CKQ_LMX_Port& port, int fileNo, int commSettings, int accessRights,
                               bool plain) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    Bytes command{0x5F, static_cast<uint8_t>(fileNo)};
    const Bytes settings{static_cast<uint8_t>(commSettings), static_cast<uint8_t>(accessRights),
                         static_cast<uint8_t>(accessRights >> 8)};
    Bytes answer;
    if (plain) {
        command.insert(command.end(), settings.begin(), settings.end());
        return Command(port, s, command, answer);
    }
    if (!NeedSession(port, s)) return false;
    // As with the key settings, the card wants the CRC32 of command, file and settings.
    Bytes covered = command;
    covered.insert(covered.end(), settings.begin(), settings.end());
    Bytes data = settings;
    AppendCrc32(data, covered);
    Bytes enciphered;
    if (!s.crypto.Encipher(data, enciphered)) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
    command.insert(command.end(), enciphered.begin(), enciphered.end());
    return Command(port, s, command, answer, {.commandMac = CommandMac::None});
}

bool DesfireReadData(CKQ_LMX_Port& port, int fileNo, int commMode, uint32_t offset, uint32_t length,
                     Bytes& data) {
    data.clear();
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    if (commMode != 0 && !NeedSession(port, s)) return false;
    if (length == 0 || offset + length > 0xFFFFFF) {
        port.lastError = KQLMX_ERROR_COUNT_RANGE;
        return false;
    }
    for (uint32_t done = 0; done < length;) {
        const uint32_t n = std::min<uint32_t>(length - done, kDataPiece);
        Bytes command{0xBD, static_cast<uint8_t>(fileNo)};
        Put3(command, offset + done);
        Put3(command, n);
        Bytes answer;
        if (commMode != 3) {
            if (!Command(port, s, command, answer)) return false;
        } else {
            Bytes plain;
            Bytes payload;
            if (!Command(port, s, command, answer, {.answerMac = false})) return false;
            if (answer.empty() || answer.size() % s.crypto.BlockSize() != 0 ||
                !s.crypto.Decipher(answer, plain) || !PayloadOfDeciphered(plain, n, payload))
                return Fail(port, s, kDesfireCrcWrong);
            answer = std::move(payload);
        }
        if (answer.size() != n) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
        data.insert(data.end(), answer.begin(), answer.end());
        done += n;
    }
    return true;
}

bool DesfireWriteData(CKQ_LMX_Port& port, int fileNo, int commMode, uint32_t offset,
                      std::span<const uint8_t> data) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    if (commMode != 0 && !NeedSession(port, s)) return false;
    if (data.empty() || offset + data.size() > 0xFFFFFF) {
        port.lastError = KQLMX_ERROR_COUNT_RANGE;
        return false;
    }
    for (size_t done = 0; done < data.size();) {
        const size_t n = std::min(data.size() - done, kDataPiece);
        const auto piece = data.subspan(done, n);
        Bytes command{0x3D, static_cast<uint8_t>(fileNo)};
        Put3(command, static_cast<uint32_t>(offset + done));
        Put3(command, static_cast<uint32_t>(n));
        Options o;
        if (commMode == 3) {
            Bytes plain(piece.begin(), piece.end());
            Bytes covered = command;
            covered.insert(covered.end(), piece.begin(), piece.end());
            AppendCrc32(plain, covered);
            Bytes enciphered;
            if (!s.crypto.Encipher(plain, enciphered)) return Fail(port, s, KQLMX_ERROR_UNEXPECTED_ANSWER);
            command.insert(command.end(), enciphered.begin(), enciphered.end());
            o.commandMac = CommandMac::None;
        } else {
            command.insert(command.end(), piece.begin(), piece.end());
            if (commMode == 1) o.commandMac = CommandMac::Appended;
        }
        Bytes answer;
        if (!Command(port, s, command, answer, o)) return false;
        done += n;
    }
    return true;
}

bool IsoSelectByName(CKQ_LMX_Port& port, std::span<const uint8_t> name) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    if (name.empty() || name.size() > 16) {
        port.lastError = KQLMX_ERROR_DATA_TOO_LONG;
        return false;
    }
    Bytes apdu{0x00, 0xA4, 0x04, 0x00, static_cast<uint8_t>(name.size())};
    apdu.insert(apdu.end(), name.begin(), name.end());
    apdu.push_back(0x00);
    Bytes data;
    s.ResetSession();
    if (!IsoCommand(port, s, apdu, data)) return false;
    s.selectedAid = 0;
    return true;
}

bool IsoSelectFile(CKQ_LMX_Port& port, uint16_t fileId) {
    const uint8_t apdu[] = {
        0x00, 0xA4, 0x00, 0x0C, 0x02, static_cast<uint8_t>(fileId >> 8), static_cast<uint8_t>(fileId)};
    Bytes data;
    return IsoCommand(port, DesfireSession(port), apdu, data);
}

bool IsoReadBinary(CKQ_LMX_Port& port, uint32_t offset, size_t length, Bytes& data, size_t limit) {
    data.clear();
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    const size_t piece = std::clamp<size_t>(limit, 1, kIsoReadPiece);
    while (data.size() < length) {
        const uint32_t at = offset + static_cast<uint32_t>(data.size());
        if (!CheckIsoOffset(port, at)) return false;
        const size_t want = std::min(length - data.size(), piece);
        const uint8_t apdu[] = {0x00, 0xB0, static_cast<uint8_t>((at >> 8) & 0x7F), static_cast<uint8_t>(at),
                                static_cast<uint8_t>(want)};
        Bytes answer;
        if (!IsoCommand(port, s, apdu, answer)) {
            if (!data.empty() && port.lastError == kDesfireStatusBase + 0x6985)
                port.lastError = kIsoEndOfFile;
            return false;
        }
        if (answer.empty() || answer.size() > want) {
            port.lastError = KQLMX_ERROR_UNEXPECTED_ANSWER;
            return false;
        }
        data.insert(data.end(), answer.begin(), answer.end());
    }
    return true;
}

bool IsoUpdateBinary(CKQ_LMX_Port& port, uint32_t offset, std::span<const uint8_t> data, size_t limit) {
    CDatenFuerDesfireInPort& s = DesfireSession(port);
    const size_t piece = std::clamp<size_t>(limit, 1, kIsoUpdatePiece);
    for (size_t done = 0; done < data.size();) {
        const uint32_t at = offset + static_cast<uint32_t>(done);
        if (!CheckIsoOffset(port, at)) return false;
        const size_t n = std::min(data.size() - done, piece);
        Bytes apdu{0x00, 0xD6, static_cast<uint8_t>((at >> 8) & 0x7F), static_cast<uint8_t>(at),
                   static_cast<uint8_t>(n)};
        apdu.insert(apdu.end(), data.begin() + static_cast<std::ptrdiff_t>(done),
                    data.begin() + static_cast<std::ptrdiff_t>(done + n));
        Bytes answer;
        if (!IsoCommand(port, s, apdu, answer)) return false;
        done += n;
    }
    return true;
}

} // namespace kq
