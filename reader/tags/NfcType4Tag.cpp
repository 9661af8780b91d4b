#include "reader/tags/NfcType4Tag.h"

#include "content/HexText.h"
#include "content/NdefCodec.h"
#include "content/TagContent.h"
#include "content/TagErrorCode.h"
#include "kqlmx.h"
#include "reader/sdk/DF8Crypt.h"
#include "reader/sdk/DatenFuerDesfireInPort.h"
#include "reader/sdk/DesfireCommands.h"
#include "reader/tags/NfcTagHandler.h"

#include <algorithm>
#include <array>

namespace kq {

namespace {

constexpr uint8_t kNdefDfName[] = {0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01};
constexpr uint16_t kCcFileId = 0xE103;
constexpr uint16_t kNdefFileId = 0xE104;
constexpr uint16_t kAppFileId = 0xE110;
constexpr size_t kCcSize = 15;
constexpr size_t kMaxMessage = 10000; // the most a read takes in
constexpr size_t kDfNamesBuffer = 1000;
constexpr uint32_t kMaxAid = 0xFFFFFF;
// The NDEF application where the card lists applications only with its key: selected
// by its DF name instead of its AID.
constexpr uint32_t kAidByName = 0xFFFFFFFF;
constexpr int kAuthenticationError = kDesfireStatusBase + 0xAE;
constexpr int kSecurityStatus = kDesfireStatusBase + 0x6982;
constexpr int kAuthCodes[] = {kDesfireStatusBase + 0xAE, kTagErrorDesfireCardAuthentication,
                              kTagErrorDesfireAppAuthentication};
const char kCcTemplate[] = "00 0F 20 00 3a 00 34 04 06 E1 04 00 08 00 00";
const char kEmptyNdefFile[] = "00 03 d0 00 00";

Bytes FromHex(const char* text) {
    uint8_t buffer[32];
    const size_t n = HexTextToBytes(text, buffer, sizeof buffer);
    return Bytes(buffer, buffer + n);
}

uint16_t Be16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

// File ids no NDEF file may carry: among them the CC file's own and the master file's.
bool ReservedFileId(uint16_t id) {
    return id == 0x0000 || id == 0xE102 || id == kCcFileId || id == 0x3F00 || id == 0x3FFF || id == 0xFFFF;
}

bool AllZero(const Bytes& b) {
    return std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0; });
}

// An answer that the card gave with a status: its word on what it holds. Everything
// else (lost, late, cut or spoilt answers, a CMAC or CRC that fails) is not.
bool CardSaid(int code) {
    static constexpr int kNativeErrors[] = {0x0C, 0x0E, 0x1C, 0x1E, 0x40, 0x7E, 0x9D, 0x9E, 0xA0, 0xA1,
                                            0xAE, 0xAF, 0xBE, 0xC1, 0xCA, 0xCD, 0xDE, 0xEE, 0xF0, 0xF1};
    const int status = code - kDesfireStatusBase;
    if (status >= 0x6200 && status <= 0x6FFF) return true; // ISO status words
    return std::find(std::begin(kNativeErrors), std::end(kNativeErrors), status) != std::end(kNativeErrors);
}
// An error that tells nothing: neither the card's word nor one of the tag layer.
bool Spoilt(int code) {
    return code != 0 && !CardSaid(code) && !(code >= 0x20000 && code < 0x30000);
}

} // namespace

CNfcType4Tag::CNfcType4Tag(CNfcTagHandler& handler) : handler_(handler) {
    // The tag was just detected and activated: the card holds no session.
    CDatenFuerDesfireInPort& session = DesfireSession(handler_.Port());
    session.ResetSession();
    session.selectedAid = 0;
}

bool CNfcType4Tag::Gone() {
    const int code = handler_.Port().lastError;
    return CNfcTagHandler::NoTagAnswered(code) || code == kTagErrorNoTag;
}

bool CNfcType4Tag::Fail(int code) {
    // A card that left the field is told as gone, whichever step it left in.
    handler_.SetError(Gone() ? kTagErrorNoTag : code);
    return false;
}

bool CNfcType4Tag::FailIfCardSaid(int code) {
    return Fail(Spoilt(handler_.Port().lastError) ? handler_.Port().lastError.load() : code);
}

bool CNfcType4Tag::Done(bool ok) {
    if (!ok && Gone()) handler_.SetError(kTagErrorNoTag);
    return ok;
}

bool CNfcType4Tag::ByteInFile(uint16_t id, uint32_t offset, bool& inside) {
    Bytes b;
    inside = ReadIsoFile(id, offset, 1, b) && b.size() == 1;
    if (inside) return true;
    // The card refuses an offset past the end with an ISO status word; a missing key or
    // a card that left tells nothing about the size.
    const int code = handler_.Port().lastError;
    return code > kDesfireStatusBase + 0x6000 && code <= kDesfireStatusBase + 0x6FFF &&
           code != kDesfireStatusBase + 0x6982;
}

bool CNfcType4Tag::FileSize(uint16_t id, uint16_t& size) {
    // READ BINARY of one byte tells inside or past the end: halve [0, 0x8000] on it.
    uint32_t low = 0, high = 0x8000;
    while (low < high) {
        const uint32_t mid = (low + high + 1) / 2;
        bool inside = false;
        if (!ByteInFile(id, mid - 1, inside)) return false;
        if (inside)
            low = mid;
        else
            high = mid - 1;
    }
    // The CC states the size in two bytes, and ISO offsets end at 0x7FFF.
    size = static_cast<uint16_t>(std::min<uint32_t>(low, 0x7FFF));
    return true;
}

bool CNfcType4Tag::SetMode(int mode) {
    if (mode_ != kUnknown && mode_ != mode) {
        // The card is found and activated anew before the other command form is used.
        if (!handler_.Reactivate()) return false;
        DesfireSession(handler_.Port()).ResetSession();
        selectedApp_ = 0;
        selectedFile_ = -1;
        ResetAuth();
    }
    mode_ = mode;
    return DesfireSetIsoWrapping(handler_.Port(), mode == kIso);
}

bool CNfcType4Tag::SelectNdefApp() {
    selectedApp_ = -1;
    selectedFile_ = -1;
    ResetAuth();
    if (!SetMode(kIso) || !IsoSelectByName(handler_.Port(), kNdefDfName)) return false;
    selectedApp_ = 1;
    return true;
}

bool CNfcType4Tag::EnsureNdefApp() {
    if (!SetMode(kIso)) return false;
    return selectedApp_ == 1 || SelectNdefApp();
}

bool CNfcType4Tag::SelectFile(uint16_t id) {
    if (!SetMode(kIso)) return false;
    if (!IsoSelectFile(handler_.Port(), id)) {
        selectedFile_ = -1;
        ResetAuth();
        return false;
    }
    selectedFile_ = id;
    return true;
}

bool CNfcType4Tag::SelectCardLevel() {
    if (selectedApp_ == 0) return true;
    const bool ok = DesfireSelectApplication(handler_.Port(), 0);
    selectedApp_ = ok ? 0 : -1;
    selectedFile_ = -1;
    ResetAuth();
    return ok;
}

bool CNfcType4Tag::SelectAid(uint32_t aid) {
    ResetAuth();
    selectedFile_ = -1;
    // The native commands that follow go wrapped in ISO mode.
    if (aid == kAidByName) return SetMode(kIso) && SelectNdefApp();
    if (!DesfireSelectApplication(handler_.Port(), aid)) {
        selectedApp_ = -1;
        return false;
    }
    selectedApp_ = 1;
    return true;
}

bool CNfcType4Tag::Authenticate(bool app, int keyNo, std::span<const uint8_t> key) {
    for (bool aes : {false, true}) {
        if (DesfireAuthenticate(handler_.Port(), aes, keyNo, key)) {
            authKind_ = aes ? 3 : 2;
            authKeyNo_ = keyNo;
            return true;
        }
    }
    ResetAuth();
    return Fail(app ? kTagErrorDesfireAppAuthentication : kTagErrorDesfireCardAuthentication);
}

bool CNfcType4Tag::AuthenticateDefaultThenKey(bool app, std::span<const uint8_t> also) {
    const std::array<uint8_t, 16> zeros{};
    return Authenticate(app, 0, zeros) ||
           Authenticate(app, 0, app ? handler_.AppKey() : handler_.CardKey()) ||
           (!also.empty() && Authenticate(app, 0, also));
}

bool CNfcType4Tag::OpenKnownKey(bool app, std::span<const uint8_t> also) {
    return AuthenticateDefaultThenKey(app, also) || Fail(kTagErrorDesfireKeyChange);
}

bool CNfcType4Tag::KeyKnown(bool app, std::span<const uint8_t> also, bool& known) {
    // A spoilt answer in an authentication looks like a wrong key.
    for (int round = 0; round < 2; ++round) {
        if (AuthenticateDefaultThenKey(app, also)) return known = true;
        if (Gone()) return false;
    }
    known = false;
    return true;
}

bool CNfcType4Tag::FindNdefAid(uint32_t& aid) {
    if (!SelectCardLevel()) return false;
    Bytes entries;
    if (!DesfireGetDfNames(handler_.Port(), entries)) {
        ResetAuth();
        if (handler_.Port().lastError != kAuthenticationError) return false;
        // Listed only with the card key (and then not by DF name): the application
        // is found by its name.
        if (!SetMode(kIso) || !SelectNdefApp())
            return handler_.Port().lastError == kDesfireStatusBase + 0x6A82 ? Fail(kTagErrorNdefAppNotFound)
                                                                            : false;
        aid = kAidByName;
        return true;
    }
    if (entries.size() > kDfNamesBuffer) entries.resize(kDfNamesBuffer / kDfNameEntrySize * kDfNameEntrySize);
    for (size_t at = 0; at + kDfNameEntrySize <= entries.size(); at += kDfNameEntrySize) {
        const auto entry = std::span(entries).subspan(at, kDfNameEntrySize);
        if (entry[21] == sizeof kNdefDfName &&
            std::equal(std::begin(kNdefDfName), std::end(kNdefDfName), entry.begin() + 5)) {
            aid = entry[0] | entry[1] << 8 | static_cast<uint32_t>(entry[2]) << 16;
            return true;
        }
    }
    return Fail(kTagErrorNdefAppNotFound);
}

bool CNfcType4Tag::FindAndSelectNdefApp(uint32_t& aid) {
    if (!FindNdefAid(aid)) return false;
    return SelectAid(aid) || Fail(kTagErrorNotNfcFormatted);
}

bool CNfcType4Tag::ReadIsoFile(uint16_t id, uint32_t offset, size_t length, Bytes& out) {
    if (offset > 0x7FFF || !SetMode(kIso) || !EnsureNdefApp()) return false;
    if (selectedFile_ != id && !SelectFile(id)) return false;
    if (!IsoReadBinary(handler_.Port(), offset, length, out)) {
        ResetAuth();
        return false;
    }
    return true;
}

bool CNfcType4Tag::WriteIsoFile(uint16_t id, std::span<const uint8_t> data, uint32_t offset) {
    if (offset > 0x7FFF || !SetMode(kIso) || !EnsureNdefApp() || !SelectFile(id)) return false;
    if (IsoUpdateBinary(handler_.Port(), offset, data)) return true;
    ResetAuth();
    if (handler_.Port().lastError != kSecurityStatus) return false;
    // The file wants a key: authenticate in the application and try once more.
    uint32_t aid = 0;
    if (!FindNdefAid(aid) || !EnsureNdefApp() || !AuthenticateDefaultThenKey(true) || !SelectFile(id))
        return false;
    if (IsoUpdateBinary(handler_.Port(), offset, data)) return true;
    ResetAuth();
    // Refused with the application's master key too: the file takes no data with any
    // key we could be given.
    return handler_.Port().lastError == kSecurityStatus ? Fail(kTagErrorWriteProtected) : false;
}

bool CNfcType4Tag::ReadCc(Cc& cc, Bytes* raw) {
    Bytes b;
    ccRaw_.clear();
    ccGood_ = false;
    if (!ReadIsoFile(kCcFileId, 0, kCcSize, b)) return FailIfCardSaid(kTagErrorNotNfcFormatted);
    // The card sends what was asked for or a status: anything else was cut on the way.
    if (b.size() != kCcSize) return Fail(KQLMX_ERROR_ANSWER_TOO_SHORT);
    ccRaw_ = b;
    if (raw) *raw = b;
    // The file as the card made it, never written: a format was cut short.
    if (AllZero(b)) return Fail(kTagErrorNotNfcFormatted);
    const uint16_t ccLen = Be16(b, 0);
    if (ccLen < kCcSize || ccLen == 0xFFFF) return Fail(kTagErrorNfcData);
    if (b[2] < 0x20) return Fail(kTagErrorMappingVersionOlder);
    if (b[2] >= 0x30) return Fail(kTagErrorMappingVersionNewer);
    cc.mle = Be16(b, 3);
    if (cc.mle < 15) cc.mle = 0;
    cc.mlc = Be16(b, 5);
    if (b[7] != 0x04 || b[8] != 0x06) return Fail(kTagErrorNfcData);
    // An NDEF file said to be the CC file would have NLEN written over the CC.
    if (ReservedFileId(Be16(b, 9))) return Fail(kTagErrorNfcData);
    cc.fileId = Be16(b, 9);
    cc.maxSize = Be16(b, 11);
    if (b[13] != 0x00) return Fail(kTagErrorNfcReadProtection);
    if (b[14] != 0x00 && b[14] != 0xFF) return Fail(kTagErrorNfcData);
    cc.writable = b[14] == 0x00;
    ccGood_ = true;
    return true;
}

bool CNfcType4Tag::ReadCcAndNlen(Cc& cc, uint16_t& nlen) {
    if (!EnsureNdefApp()) return FailIfCardSaid(kTagErrorNotNfcFormatted);
    if (!ReadCc(cc)) return false;
    Bytes b;
    if (!ReadIsoFile(cc.fileId, 0, 2, b)) return FailIfCardSaid(kTagErrorNotNfcFormatted);
    if (b.size() != 2) return Fail(KQLMX_ERROR_ANSWER_TOO_SHORT);
    nlen = Be16(b, 0);
    return true;
}

bool CNfcType4Tag::DoRead(CNdefMessageList& messages) {
    messages.clear();
    Cc cc;
    uint16_t nlen = 0;
    if (!ReadCcAndNlen(cc, nlen)) return false;
    if (nlen == 0) {
        // An NDEF file without a message: the tag reads as empty.
        messages.push_back(std::make_unique<CNdefMessage>());
        return true;
    }
    // NLEN beyond the file's room is no message of this tag.
    if (nlen > cc.maxSize - std::min<uint16_t>(cc.maxSize, 2)) return Fail(kTagErrorNfcData);
    Bytes bytes;
    if (!ReadIsoFile(cc.fileId, 2, std::min<size_t>(nlen, kMaxMessage), bytes))
        return FailIfCardSaid(kTagErrorNotNfcFormatted);
    auto message = DecodeNdefMessage(handler_, bytes);
    if (!message) return Fail(kTagErrorNfcData);
    messages.push_back(std::move(message));
    return true;
}

bool CNfcType4Tag::HasContent(const Cc& cc, uint16_t nlen) {
    Bytes bytes;
    if (nlen > 0) {
        // A message that did not arrive tells nothing about what the tag holds.
        if (!ReadIsoFile(cc.fileId, 2, std::min<size_t>(nlen, kMaxMessage), bytes))
            return FailIfCardSaid(kTagErrorFormattedWithoutContent);
        if (auto message = DecodeNdefMessage(handler_, bytes)) {
            CSdkNfcTagDataList items;
            MessageToTagData(handler_, *message, true, false, items);
            if (!items.empty()) return true;
        }
    }
    return Fail(kTagErrorFormattedWithoutContent);
}

bool CNfcType4Tag::SomeFileWritable() {
    uint32_t aid = 0;
    if (!SetMode(kNative) || !FindAndSelectNdefApp(aid)) return Fail(kTagErrorNotNfcFormatted);
    Bytes ids;
    if (!DesfireGetFileIds(handler_.Port(), ids)) {
        ResetAuth();
        if (handler_.Port().lastError != kDesfireStatusBase + 0xAE ||
            !Authenticate(true, 0, handler_.AppKey()) || !DesfireGetFileIds(handler_.Port(), ids))
            return false;
    }
    for (uint8_t id : ids) {
        Bytes settings;
        if (!DesfireGetFileSettings(handler_.Port(), id, settings) || settings.size() < 4) {
            ResetAuth();
            return false;
        }
        if (DesfireFileTakesData(static_cast<uint16_t>(settings[2] | settings[3] << 8))) return SetMode(kIso);
    }
    return Fail(kTagErrorWriteProtected);
}

bool CNfcType4Tag::DoWrite(std::span<const uint8_t> message) {
    Cc cc;
    uint16_t nlen = 0;
    if (!ReadCcAndNlen(cc, nlen)) {
        // A lost or spoilt answer says nothing about the CC: nothing is formatted on it.
        if (Gone() || Spoilt(handler_.Port().lastError)) return false;
        // A CC that another program wrote and that fails our checks is not ours to
        // rewrite: the write answers as the read does. A card without the NDEF
        // application, its files or a CC written (a format cut short leaves the file as
        // the card made it, all zeros) is formatted first.
        if (ccRaw_.size() == kCcSize && !AllZero(ccRaw_) && !ccGood_) return false;
        if (!DoFormat() || !ReadCcAndNlen(cc, nlen)) return false;
    }
    if (!cc.writable && !SomeFileWritable()) return false;
    // The file's room holds NLEN too. A CC may claim more room than the file has: the
    // last byte the message takes (or, for a message longer than the CC's room, the
    // CC's last byte) must lie inside the file, else the file's own size is the room.
    uint16_t room = std::min<uint16_t>(cc.maxSize, 0x7FFF);
    const bool fitsCc = message.size() + 2 <= room;
    bool inside = false;
    if (room > 0 &&
        !ByteInFile(cc.fileId, static_cast<uint32_t>(fitsCc ? message.size() + 1 : room - 1u), inside))
        return Fail(kTagErrorNotNfcFormatted);
    if (room > 0 && !inside && !FileSize(cc.fileId, room)) return Fail(kTagErrorNotNfcFormatted);
    if (message.size() + 2 > room) {
        handler_.SetOverflow(static_cast<int>(message.size() + 2 - room));
        return Fail(kTagErrorMessageTooLarge);
    }
    const uint8_t empty[] = {0x00, 0x00};
    const uint8_t length[] = {static_cast<uint8_t>(message.size() >> 8),
                              static_cast<uint8_t>(message.size())};
    // NLEN last: a write cut short leaves an empty tag, never half a message.
    return WriteIsoFile(cc.fileId, empty, 0) && WriteIsoFile(cc.fileId, message, 2) &&
           WriteIsoFile(cc.fileId, length, 0);
}

bool CNfcType4Tag::FindFreeAid(uint32_t& aid) {
    Bytes aids;
    if (!DesfireGetApplicationIds(handler_.Port(), aids)) {
        const int code = handler_.Port().lastError;
        // Refused without the card master key: the native form says 0x100AE.
        if ((code != kDesfireStatusBase + 0x6982 && code != kDesfireStatusBase + 0xAE) ||
            !Authenticate(false, 0, handler_.CardKey()) || !DesfireGetApplicationIds(handler_.Port(), aids))
            return false;
    }
    for (aid = 1; aid <= kMaxAid; ++aid) {
        bool used = false;
        for (size_t at = 0; at + 3 <= aids.size() && !used; at += 3)
            used = (aids[at] | aids[at + 1] << 8 | static_cast<uint32_t>(aids[at + 2]) << 16) == aid;
        if (!used) return true;
    }
    return false;
}

bool CNfcType4Tag::CreateNdefApp(uint32_t& aid) {
    if (!SetMode(kNative)) return Fail(kTagErrorFormat);
    if (!FindFreeAid(aid)) {
        const int code = handler_.Port().lastError;
        if (std::find(std::begin(kAuthCodes), std::end(kAuthCodes), code) == std::end(kAuthCodes))
            Fail(kTagErrorFormat);
        return false;
    }
    if (!SelectCardLevel()) return Fail(kTagErrorFormat);
    Bytes isoData{static_cast<uint8_t>(kAppFileId), static_cast<uint8_t>(kAppFileId >> 8)};
    isoData.insert(isoData.end(), std::begin(kNdefDfName), std::end(kNdefDfName));
    auto create = [&] {
        return DesfireCreateApplication(handler_.Port(), aid, 0, 1, true, 0, 0x0F, isoData);
    };
    if (create()) return true;
    ResetAuth();
    if (handler_.Port().lastError != kDesfireStatusBase + 0xAE || !AuthenticateDefaultThenKey(false))
        return false;
    return create();
}

bool CNfcType4Tag::DoFormat() {
    // Only the card's word makes a missing application, file or bad CC: a lost or
    // spoilt answer ends the format before anything is written.
    const auto spoilt = [this] { return Gone() || Spoilt(handler_.Port().lastError); };
    const bool appExists = EnsureNdefApp();
    if (spoilt()) return Fail(handler_.Port().lastError);
    bool ccExists = false, ccBad = false, ndefExists = false;
    Cc cc;
    Bytes oldCc;
    if (appExists) {
        ccExists = SelectFile(kCcFileId);
        if (!ccExists && spoilt()) return Fail(handler_.Port().lastError);
        if (ccExists) ccBad = !ReadCc(cc, &oldCc);
        if (ccBad && spoilt()) return Fail(handler_.Port().lastError);
        // A CC that fails the checks may still name its NDEF file.
        if (ccBad && oldCc.size() == kCcSize && oldCc[7] == 0x04 && oldCc[8] == 0x06 &&
            !ReservedFileId(Be16(oldCc, 9)))
            cc.fileId = Be16(oldCc, 9);
        ndefExists = SelectFile(cc.fileId);
        if (!ndefExists && spoilt()) return Fail(handler_.Port().lastError);
        // A CC that names a file the application lacks, beside the NDEF file a format
        // creates (another program's, or a format cut short before the CC was written):
        // that file is taken with its own size and the CC written anew.
        if (!ndefExists && cc.fileId != kNdefFileId && SelectFile(kNdefFileId)) {
            cc.fileId = kNdefFileId;
            ndefExists = ccBad = true;
        }
        if (spoilt()) return Fail(handler_.Port().lastError);
    }
    // A card made read-only answers so, rather than asking for a key that nobody knows.
    if (ccExists && !ccBad && ndefExists && !cc.writable && !SomeFileWritable()) return false;
    // A CC to be written anew states the size of the file as the card has it, never what
    // a CC that failed the checks claimed.
    uint16_t ndefSize = 0;
    if (ndefExists && (!ccExists || ccBad) && !FileSize(cc.fileId, ndefSize)) return Fail(kTagErrorFormat);
    if (!(ndefExists && ccExists)) {
        uint32_t aid = 0;
        if (!appExists) {
            if (!CreateNdefApp(aid)) return false;
        } else if (!SetMode(kNative) || !FindNdefAid(aid)) {
            return Fail(kTagErrorFormat);
        }
        if (!SetMode(kNative) || !SelectAid(aid)) return Fail(kTagErrorFormat);
        if (!ccExists && !DesfireCreateDataFile(handler_.Port(), 1, kCcFileId, kCcSize, 0, 0xEEEE))
            return Fail(kTagErrorFormat);
        if (!ndefExists) {
            uint32_t free = 0;
            if (!DesfireGetFreeMemory(handler_.Port(), free) || !SelectAid(aid)) return Fail(kTagErrorFormat);
            // The CC states the size in two bytes, and ISO offsets end at 0x7FFF.
            free = std::min<uint32_t>(free, 0x7FFF);
            if (!DesfireCreateDataFile(handler_.Port(), 2, kNdefFileId, free, 0, 0xEEEE))
                return Fail(kTagErrorFormat);
            cc.fileId = kNdefFileId;
            ndefSize = static_cast<uint16_t>(free);
        }
    }
    if (!ccExists || ccBad || !ndefExists) {
        Bytes fresh = FromHex(kCcTemplate);
        fresh[3] = 0x00, fresh[4] = 0x3A, fresh[5] = 0x00, fresh[6] = 0x34;
        fresh[9] = static_cast<uint8_t>(cc.fileId >> 8), fresh[10] = static_cast<uint8_t>(cc.fileId);
        fresh[11] = static_cast<uint8_t>(ndefSize >> 8), fresh[12] = static_cast<uint8_t>(ndefSize);
        fresh[13] = 0x00, fresh[14] = 0x00;
        if (!EnsureNdefApp()) return Fail(kTagErrorFormat);
        if (!WriteIsoFile(kCcFileId, fresh, 0)) return false;
    }
    if (!EnsureNdefApp()) return Fail(kTagErrorFormat);
    return WriteIsoFile(cc.fileId, FromHex(kEmptyNdefFile), 0);
}

bool CNfcType4Tag::FindNdefAidNative(Bytes& ccBytes, uint32_t& aid) {
    ccBytes = ccRaw_;
    if (!SetMode(kNative)) return false;
    if (!FindNdefAid(aid)) return FailIfCardSaid(kTagErrorNotNfcFormatted);
    return true;
}

bool CNfcType4Tag::ReadLevel(DesfireLevelState& level) {
    uint8_t settings = 0, keys = 0, keyCountByte = 0;
    if (DesfireGetKeySettings(handler_.Port(), settings, keys, &keyCountByte)) {
        level.settings = settings;
        level.keyType = DesfireKeyTypeOf(keyCountByte);
        return true;
    }
    ResetAuth();
    // Without the key the card may keep its settings to itself.
    return !level.keyKnown && handler_.Port().lastError == kAuthenticationError;
}

bool CNfcType4Tag::ReadLockInput(uint32_t aid, const Bytes& ccBytes, std::span<const uint8_t> also,
                                 DesfireLockInput& in, std::vector<uint8_t>& fileIds) {
    CKQ_LMX_Port& port = handler_.Port();
    in.ccWriteAccess = ccBytes[14];
    if (!SelectCardLevel() || !KeyKnown(false, also, in.card.keyKnown) || !ReadLevel(in.card)) return false;
    if (!SelectAid(aid) || !KeyKnown(true, also, in.app.keyKnown) || !ReadLevel(in.app)) return false;
    Bytes ids;
    if (!DesfireGetFileIds(port, ids)) {
        ResetAuth();
        return !in.app.keyKnown && port.lastError == kAuthenticationError;
    }
    in.filesListed = true;
    for (uint8_t id : ids) {
        Bytes settings, head;
        if (!DesfireGetFileSettings(port, id, settings) || settings.size() < 7) {
            ResetAuth();
            return false;
        }
        DesfireFileState file;
        file.rights = static_cast<uint16_t>(settings[2] | settings[3] << 8);
        const uint32_t size = settings[4] | settings[5] << 8 | static_cast<uint32_t>(settings[6]) << 16;
        // The CC file is the one holding the CC as read through its ISO id.
        if (size >= kCcSize) {
            if (DesfireReadData(port, id, 0, 0, kCcSize, head)) {
                file.isCc = head == ccBytes;
            } else {
                ResetAuth();
                if (!CardSaid(port.lastError)) return false;
                // A file read with a key only: the session it ended is made anew.
                if (in.app.keyKnown && !AuthenticateDefaultThenKey(true, also)) return false;
            }
        }
        in.files.push_back(file);
        fileIds.push_back(id);
    }
    return true;
}

bool CNfcType4Tag::DoChangeKey(bool protectData, std::span<const uint8_t> newKey) {
    Cc cc;
    uint16_t nlen = 0;
    Bytes ccBytes;
    uint32_t aid = 0;
    if (!ReadCcAndNlen(cc, nlen)) return FailIfCardSaid(kTagErrorNotNfcFormatted);
    if (protectData && !HasContent(cc, nlen)) return false;
    if (!FindNdefAidNative(ccBytes, aid)) return false;
    // Everything is read and decided before the first change: a protection that cannot
    // finish leaves the card as it was. The new key counts as known: a protection cut
    // short may have given it already.
    DesfireLockInput in;
    std::vector<uint8_t> ids;
    if (!ReadLockInput(aid, ccBytes, newKey, in, ids)) return false;
    const DesfireLockPlan plan = PlanDesfireProtection(in, protectData);
    if (plan.refusal) return Fail(plan.refusal);
    CKQ_LMX_Port& port = handler_.Port();

    if (!SelectAid(aid) || !OpenKnownKey(true, newKey)) return false;
    const int keyType = authKind_ == 3 ? kKeyTypeAes : 0;
    if (plan.appSettings && !DesfireChangeKeySettings(port, *plan.appSettings))
        return Fail(kTagErrorDesfireSettingsChange);
    if (!DesfireChangeKey(port, 0, newKey, 0, {}, keyType)) return Fail(kTagErrorDesfireKeyChange);
    ResetAuth();
    if (!Authenticate(true, 0, newKey)) return Fail(kTagErrorDesfireKeyChange);
    std::copy(newKey.begin(), newKey.end(), handler_.AppKey().begin());
    int ccFile = -1;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (in.files[i].isCc) ccFile = ids[i];
        if (!DesfireChangeFileSettings(port, ids[i], 0, *plan.fileRights[i],
                                       (in.files[i].rights & 0xF) == 0xE))
            return Fail(kTagErrorDesfireSettingsChange);
    }

    if (!SelectCardLevel() || !OpenKnownKey(false, newKey)) return false;
    const int cardKeyType = authKind_ == 3 ? kKeyTypeAes : 0;
    if (plan.cardSettings && !DesfireChangeKeySettings(port, *plan.cardSettings))
        return Fail(kTagErrorDesfireSettingsChange);
    if (!DesfireChangeKey(port, 0, newKey, 0, {}, cardKeyType)) return Fail(kTagErrorDesfireKeyChange);
    ResetAuth();
    std::copy(newKey.begin(), newKey.end(), handler_.CardKey().begin());

    if (plan.ccWriteAccess) {
        const uint8_t access[] = {*plan.ccWriteAccess};
        if (!SelectAid(aid) || !Authenticate(true, 0, newKey) ||
            !DesfireWriteData(port, ccFile, 0, 14, access))
            return Fail(kTagErrorDesfireFileWrite);
    }
    return true;
}

bool CNfcType4Tag::DoMakeReadOnly() {
    Cc cc;
    uint16_t nlen = 0;
    Bytes ccBytes;
    uint32_t aid = 0;
    if (!ReadCcAndNlen(cc, nlen)) return FailIfCardSaid(kTagErrorNotNfcFormatted);
    if (!HasContent(cc, nlen)) return false;
    // A key nobody knows, never stored.
    std::array<uint8_t, 16> randomKey{};
    if (!DesfireRandom::Get().Fill(randomKey)) return Fail(kTagErrorDesfireKeyChange);
    if (!FindNdefAidNative(ccBytes, aid)) return false;
    // Both keys, the settings and the file rights are read and the steps decided before
    // the first change: a lock that cannot finish leaves the card as it was, and a lock
    // cut short finishes with the keys still known.
    DesfireLockInput in;
    std::vector<uint8_t> ids;
    if (!ReadLockInput(aid, ccBytes, {}, in, ids)) return false;
    const DesfireLockPlan plan = PlanDesfireLock(in);
    if (plan.refusal) return Fail(plan.refusal);
    if (plan.done) return true;
    CKQ_LMX_Port& port = handler_.Port();

    if (plan.appSteps) {
        if (!SelectAid(aid) || !OpenKnownKey(true)) return false;
        const auto ccAt =
            std::find_if(in.files.begin(), in.files.end(), [](const auto& f) { return f.isCc; });
        if (ccAt == in.files.end()) return Fail(kTagErrorDesfireFileWrite);
        const int ccFile = ids[static_cast<size_t>(ccAt - in.files.begin())];
        // The CC says read-only first, and must say so before anything else changes.
        const uint8_t readOnly[] = {0xFF};
        Bytes check;
        if ((plan.ccWriteAccess && !DesfireWriteData(port, ccFile, 0, 14, readOnly)) ||
            !DesfireReadData(port, ccFile, 0, 14, 1, check) || check != Bytes{0xFF})
            return Fail(kTagErrorDesfireFileWrite);
        for (size_t i = 0; i < ids.size(); ++i) {
            if (plan.fileRights[i] && !DesfireChangeFileSettings(port, ids[i], 0, *plan.fileRights[i],
                                                                 (in.files[i].rights & 0xF) == 0xE))
                return Fail(kTagErrorDesfireSettingsChange);
        }
        if (plan.appSettings && !DesfireChangeKeySettings(port, *plan.appSettings))
            return Fail(kTagErrorDesfireSettingsChange);
        if (!DesfireChangeKey(port, 0, randomKey, 0, {}, authKind_ == 3 ? kKeyTypeAes : 0))
            return Fail(kTagErrorDesfireKeyChange);
        ResetAuth();
    }
    if (!SelectCardLevel() || !OpenKnownKey(false)) return false;
    const int cardKeyType = authKind_ == 3 ? kKeyTypeAes : 0;
    if (plan.cardSettings && !DesfireChangeKeySettings(port, *plan.cardSettings))
        return Fail(kTagErrorDesfireSettingsChange);
    if (!DesfireChangeKey(port, 0, randomKey, 0, {}, cardKeyType)) return Fail(kTagErrorDesfireKeyChange);
    ResetAuth();
    return true;
}

} // namespace kq
