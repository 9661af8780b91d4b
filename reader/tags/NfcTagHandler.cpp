#include "reader/tags/NfcTagHandler.h"

#include "content/NdefCodec.h"
#include "content/NdefTlv.h"
#include "content/RecordJsonReader.h"
#include "content/RecordJsonWriter.h"
#include "content/TagContent.h"
#include "content/TagErrorCode.h"
#include "kqlmx.h"
#include "reader/sdk/Iso14443Commands.h"
#include "reader/sdk/Iso15693Commands.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/sdk/ReaderCommands.h"
#include "reader/tags/NfcClassicTag.h"
#include "reader/tags/NfcIso15693Tag.h"
#include "reader/tags/NfcType2Tag.h"
#include "reader/tags/NfcType4Tag.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>

namespace kq {

namespace {

// An ISO 15693 answer without its flags, or an error flag without its code.
constexpr int kIso15693NoErrorCode = 42;

// A tag that did not answer the first request may answer once the RF field has been
// off long enough for it to power down.
std::atomic<int> g_fieldOffMs{50};
constexpr size_t kMaxAtsSize = 100;
constexpr int kVicinityFlags = KQLMX_ISO15693_SUBCARRIER | KQLMX_ISO15693_ONE_SLOT;

int FamilyOf(uint16_t atqa, uint8_t sak) {
    if (atqa == 0x0044 && sak == 0x00) return kNfcTagType2;
    if ((atqa == 0x0004 || atqa == 0x0044) && sak == 0x08) return kNfcTagClassic1K;
    if ((atqa == 0x0002 || atqa == 0x0042) && sak == 0x18) return kNfcTagClassic4K;
    return kNfcTagNone;
}

// ISO 14443-4 compliance as ATQA and SAK tell it; the activation decides.
bool MayBeIso14443_4(uint16_t atqa, uint8_t sak) {
    return std::popcount(static_cast<unsigned>(atqa & 0x1F)) == 1 && (sak & 0x3A) == 0x20;
}

} // namespace

// The state of one public operation: the port, found by its handle and held until the
// operation returns, and the details reset by every operation. A call that comes in
// through an event pumped during an answer wait leaves the outer one's state as it was,
// the "read on" flag of its TLV walk included.
class CNfcTagHandler::Operation {
public:
    Operation(CNfcTagHandler& handler, int port)
        : handler_(handler), savedHandle_(handler.portHandle_), savedPort_(std::move(handler.port_)),
          savedMore_(handler.more_) {
        handler.portHandle_ = port;
        handler.port_ = CKQ_LMX_SDKApp::Get().FindPort(port);
        handler.overflow_ = 0;
    }
    ~Operation() {
        // Whatever step failed, a line that has hung up (a reader unplugged) is the
        // cause the caller must hear of: error 3, as for a port that is gone, so that
        // it lets the line go and opens the port anew.
        if (handler_.port_ && handler_.port_->lastError != 0 && handler_.PortGone())
            handler_.port_->lastError = KQLMX_ERROR_NO_SUCH_PORT;
        handler_.portHandle_ = savedHandle_;
        handler_.port_ = std::move(savedPort_);
        handler_.more_ = savedMore_;
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // False when there is no such port, or when the port is waiting for another call's
    // answer (this call came from an event pumped by that wait): such a call is refused
    // at once with the port's busy code, not taken for a tag that has gone.
    explicit operator bool() const {
        if (!handler_.port_) return false;
        if (!handler_.port_->Exchanging()) return true;
        handler_.port_->lastError = KQLMX_ERROR_PORT_BUSY;
        return false;
    }

private:
    CNfcTagHandler& handler_;
    int savedHandle_;
    std::shared_ptr<CKQ_LMX_Port> savedPort_;
    bool savedMore_;
};

void CNfcTagHandler::SetFieldOffPause(int ms) {
    g_fieldOffMs = std::max(ms, 0);
}

void CNfcTagHandler::SetError(int code) {
    if (port_) port_->lastError = code;
}

// The port was closed, or its line has hung up (the reader was unplugged).
bool CNfcTagHandler::PortGone() const {
    return !CKQ_LMX_SDKApp::Get().FindPort(portHandle_) || (port_ && port_->Serial().IsLineDead());
}

bool CNfcTagHandler::TakeKey(Key& cleared, const void* key, int keyLen) {
    cleared.fill(0);
    if (!key || keyLen == 0) return true;
    if (keyLen != static_cast<int>(kKeySize)) {
        SetError(KQLMX_ERROR_KEY_LENGTH);
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(key);
    std::copy_n(bytes, kKeySize, cardKey_.begin());
    std::copy_n(bytes, kKeySize, appKey_.begin());
    return true;
}

bool CNfcTagHandler::Detect(int* type, uint8_t* uid) {
    if (type) *type = kNfcTagNone;
    if (uid) std::fill_n(uid, kUidSize, 0);
    CKQ_LMX_Port& port = *port_;
    uint16_t atqa = 0;
    if (!RequestTypeA(port, atqa)) {
        SetRfFieldOnPort(port, false);
        PumpEventsFor(g_fieldOffMs);
        SetRfFieldOnPort(port, true);
        if (!RequestTypeA(port, atqa)) {
            SetError(PortGone() ? KQLMX_ERROR_NO_SUCH_PORT : kTagErrorNoTag);
            return false;
        }
    }
    uint8_t sak = 0;
    Bytes id;
    // A select left unanswered once (a lost frame), or whose answer came late or
    // spoilt, is asked again from the request on, after the field's reset: a tag that
    // took the select is active and would ignore a request.
    const auto reselect = [&] {
        SetRfFieldOnPort(port, false);
        PumpEventsFor(g_fieldOffMs);
        SetRfFieldOnPort(port, true);
        return RequestTypeA(port, atqa) && SelectTypeA(port, kUidSize, sak, id);
    };
    if (!SelectTypeA(port, kUidSize, sak, id) && (Refused() || !reselect())) {
        SetError(PortGone() ? KQLMX_ERROR_NO_SUCH_PORT : kTagErrorNoTag);
        return false;
    }
    if (uid) std::copy(id.begin(), id.end(), uid);
    int family = FamilyOf(atqa, sak);
    if (MayBeIso14443_4(atqa, sak)) {
        Bytes ats;
        if (RequestAts(port, ats) && ats.size() <= kMaxAtsSize) {
            family = kNfcTagIso14443_4;
        } else if (NoTagAnswered(port.lastError) &&
                   (!RequestTypeA(port, atqa) || !SelectTypeA(port, kUidSize, sak, id))) {
            // Silent to the activation and to a new request: the tag has left. A tag that
            // only ignores the activation answers the request and is selected again.
            SetError(kTagErrorNoTag);
            return false;
        }
    }
    if (type) *type = family;
    return true;
}

bool CNfcTagHandler::Reactivate() {
    return Detect(nullptr, nullptr);
}

bool CNfcTagHandler::NoTagAnswered(int code) {
    return code == 1 || code == KQLMX_ERROR_NO_TAG_ANSWER;
}

bool CNfcTagHandler::Refusal(int code, bool timedOut) {
    switch (code) {
    case 0:
    case KQLMX_ERROR_ANSWER_TOO_SHORT:
    case KQLMX_ERROR_CHECK_BYTES:
    case KQLMX_ERROR_EMPTY_ANSWER:
    case kIso15693NoErrorCode:
        return false;
    default:
        return !timedOut && !NoTagAnswered(code);
    }
}

bool CNfcTagHandler::Refused() const {
    return Refusal(port_->lastError, port_->timedOut);
}

bool CNfcTagHandler::DetectVicinity() {
    Bytes records;
    // An inventory left unanswered once is asked again.
    const auto inventory = [&] {
        return Iso15693Inventory(*port_, kVicinityFlags, records) && records.size() >= kInventoryRecordSize;
    };
    if (!inventory() && !inventory()) {
        SetError(kTagErrorNoTag);
        return false;
    }
    std::copy_n(records.begin() + 3, kUidSize, vicinityUid_.begin());
    return true;
}

bool CNfcTagHandler::DetectTag(int port, int* type, uint8_t* uid) {
    Operation op(*this, port);
    return op && Detect(type, uid);
}

bool CNfcTagHandler::GetUid(int port, uint8_t* uid) {
    std::fill_n(uid, kUidSize, 0);
    Operation op(*this, port);
    if (!op) return false;
    if (Detect(nullptr, uid)) return true;
    if (PortGone() || !DetectVicinity()) return false;
    std::copy(vicinityUid_.begin(), vicinityUid_.end(), uid);
    return true;
}

bool CNfcTagHandler::ReadTag(CNdefMessageList& messages, bool stopAfterFirst) {
    messages.clear();
    if (busy_) {
        SetError(KQLMX_ERROR_PORT_BUSY);
        return false;
    }
    busy_ = true;
    struct Done {
        bool& busy;
        ~Done() { busy = false; }
    } done{busy_};

    int type = kNfcTagNone;
    if (Detect(&type, nullptr)) {
        if (type == kNfcTagType2) return CNfcType2Tag(*this).Read(messages, stopAfterFirst);
        if (type == kNfcTagClassic1K || type == kNfcTagClassic4K)
            return CNfcClassicTag(*this, type == kNfcTagClassic4K).Read(messages, stopAfterFirst);
        if (type == kNfcTagIso14443_4) return CNfcType4Tag(*this).Read(messages);
        SetError(kTagErrorTypeNotSupported);
        return false;
    }
    if (!PortGone() && DetectVicinity())
        return CNfcIso15693Tag(*this, vicinityUid_).Read(messages, stopAfterFirst);
    return false;
}

bool CNfcTagHandler::ReadJson(int port, std::string& json) {
    json.clear();
    Operation op(*this, port);
    if (!op) return false;
    CNdefMessageList messages;
    ReadTag(messages, true);
    if (messages.empty()) {
        // A tag read without any fault that still holds no message has no NDEF area.
        if (port_->lastError == 0) SetError(kTagErrorNotNfcFormatted);
        return false;
    }
    CSdkNfcTagDataList items;
    SetError(0); // a message that cannot be shown is told by the code it sets
    MessageToTagData(*this, *messages.front(), true, false, items);
    if (items.empty() && port_->lastError != 0) return false;
    if (!items.empty()) TagDataToJson(items.front().get(), json);
    return true;
}

bool CNfcTagHandler::WriteMessage(const CNdefMessage& message, bool format, int* overflow, bool lockAfter) {
    if (overflow) *overflow = 0;
    overflow_ = 0;
    const bool written = WriteArea(message, format, lockAfter);
    if (overflow) *overflow = overflow_;
    return written;
}

bool CNfcTagHandler::WriteArea(const CNdefMessage& message, bool format, bool lockAfter) {
    CMyByteArray area;
    if (!EncodeNdefTlv(message, area)) {
        // Longer than a TLV can state: no tag takes it.
        CMyByteArray bytes;
        EncodeNdefMessage(message, bytes);
        overflow_ = static_cast<int>(std::min<size_t>(bytes.size() - kMaxNdefTlvLength, INT32_MAX));
        SetError(kTagErrorMessageTooLarge);
        return false;
    }
    int type = kNfcTagNone;
    if (Detect(&type, nullptr)) {
        if (type == kNfcTagType2) {
            CNfcType2Tag tag(*this);
            return tag.Write(area) && (!lockAfter || tag.MakeReadOnly());
        }
        if (type == kNfcTagIso14443_4) {
            // Type 4 takes the plain message; an empty one formats the tag.
            CNfcType4Tag tag(*this);
            if (message.records.empty()) return tag.Format();
            CMyByteArray bytes;
            EncodeNdefMessage(message, bytes);
            return tag.Write(bytes) && (!lockAfter || tag.MakeReadOnly());
        }
        if (type == kNfcTagClassic1K || type == kNfcTagClassic4K) {
            CNfcClassicTag tag(*this, type == kNfcTagClassic4K);
            return WriteThenLock(tag, area, format, lockAfter);
        }
        SetError(kTagErrorTypeNotSupported);
        return false;
    }
    if (PortGone() || !DetectVicinity()) return false;
    CNfcIso15693Tag tag(*this, vicinityUid_);
    return WriteThenLock(tag, area, format, lockAfter);
}

// A write with the lock run again after its lock was cut short finds the tag write
// protected in part: when the tag holds this very message, the lock is finished.
template <class Tag>
bool CNfcTagHandler::WriteThenLock(Tag& tag, std::span<const uint8_t> area, bool format, bool lockAfter) {
    if (tag.Write(area, format)) return !lockAfter || tag.MakeReadOnly();
    const int code = port_->lastError;
    if (!lockAfter || (code != kTagErrorWriteProtected && code != kTagErrorNfcWriteProtection)) return false;
    CNdefMessageList messages;
    CMyByteArray held;
    if (!tag.Read(messages, true) || messages.empty() || !EncodeNdefTlv(*messages.front(), held) ||
        !std::equal(held.begin(), held.end(), area.begin(), area.end())) {
        SetError(code);
        return false;
    }
    return tag.MakeReadOnly();
}

bool CNfcTagHandler::WriteJson(int port, std::string_view json, bool lockAfter, const void* key, int keyLen,
                               int* overflow) {
    if (overflow) *overflow = 0;
    Operation op(*this, port);
    if (!op || !TakeKey(appKey_, key, keyLen)) return false;
    if (json.empty()) return WriteMessage(CNdefMessage{}, true, nullptr, false);
    CNdefMessage message;
    SetError(0); // a refusal of the text is told by the code it sets
    if (!JsonToNdefMessage(*this, json, message)) {
        // Every refusal gets a code: text that is no record JSON text at all counts as
        // one of an unknown kind.
        if (port_->lastError == 0) SetError(kTagErrorUnknownDataType);
        return false;
    }
    return WriteMessage(message, false, overflow, lockAfter);
}

bool CNfcTagHandler::Format(int port, const void* key, int keyLen) {
    Operation op(*this, port);
    return op && TakeKey(cardKey_, key, keyLen) && WriteMessage(CNdefMessage{}, true, nullptr, false);
}

bool CNfcTagHandler::MakeReadOnly(int port, const void* key, int keyLen) {
    Operation op(*this, port);
    if (!op || !TakeKey(cardKey_, key, keyLen)) return false;
    int type = kNfcTagNone;
    if (Detect(&type, nullptr)) {
        if (type == kNfcTagType2) return CNfcType2Tag(*this).MakeReadOnly();
        if (type == kNfcTagClassic1K || type == kNfcTagClassic4K)
            return CNfcClassicTag(*this, type == kNfcTagClassic4K).MakeReadOnly();
        if (type == kNfcTagIso14443_4) return CNfcType4Tag(*this).MakeReadOnly();
        SetError(kTagErrorTypeNotSupported);
        return false;
    }
    return !PortGone() && DetectVicinity() && CNfcIso15693Tag(*this, vicinityUid_).MakeReadOnly();
}

bool CNfcTagHandler::ChangeKey(int port, bool protectData, const void* currentKey, int currentKeyLen,
                               const void* newKey, int newKeyLen) {
    Operation op(*this, port);
    if (!op || !TakeKey(appKey_, currentKey, currentKeyLen)) return false;
    if (!newKey || newKeyLen != static_cast<int>(kKeySize)) {
        SetError(KQLMX_ERROR_KEY_LENGTH);
        return false;
    }
    int type = kNfcTagNone;
    if (!Detect(&type, nullptr)) return false;
    if (type == kNfcTagIso14443_4)
        return CNfcType4Tag(*this).ChangeKey(protectData,
                                             std::span(static_cast<const uint8_t*>(newKey), kKeySize));
    SetError(kTagErrorKeyChangeNotType4);
    return false;
}

} // namespace kq
