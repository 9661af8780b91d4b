// The reader layer's NFC tag logic behind the flat tag functions. For each call it is
// told the port, finds the tag in the reader's field (a type A request and select
// first, then a one-slot ISO 15693 inventory), checks the key argument, hands the work
// to the routines of the tag's family and turns record JSON text into NDEF messages
// and back. A failure is told by the result and kept as the port's last error: a
// TagErrorCode, or the code of the reader command that failed.
//
// One handler per process, owned by CKQ_LMX_SDKApp and used on the caller's thread
// only. Of its state only the two keys carry meaning from one call to the next.
#pragma once

#include "content/NdefContext.h"
#include "content/NdefMessage.h"
#include "reader/transport/KQ_LMX_Port.h"

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kq {

// The tag family found by DetectTag, decided by ATQA and SAK.
enum NfcTagType : int {
    kNfcTagNone = 0,       // none, or a family not known
    kNfcTagType2 = 1,      // NFC Forum Type 2: ATQA 0044, SAK 00
    kNfcTagClassic1K = 2,  // MIFARE Classic 1K: ATQA 0004 or 0044, SAK 08
    kNfcTagClassic4K = 3,  // MIFARE Classic 4K: ATQA 0002 or 0042, SAK 18
    kNfcTagIso14443_4 = 4, // one ATQA bit in 1F, SAK & 3A == 20 and the activation answered
};

class CNfcTagHandler final : public INdefContext {
public:
    static constexpr size_t kUidSize = 8;
    static constexpr size_t kKeySize = 16;

    CNfcTagHandler() = default;
    CNfcTagHandler(const CNfcTagHandler&) = delete;
    CNfcTagHandler& operator=(const CNfcTagHandler&) = delete;

    // Operations of the flat API. Each begins by finding the port (none: false, and
    // KQLMX_GetLastError answers 3).

    // The family (NfcTagType) and UID (8 bytes, zero-filled after a shorter one) of the
    // type A tag in the field; either output may be null. True also for a family that
    // is not known (type 0); false with 0x20001 when no type A tag answers.
    bool DetectTag(int port, int* type, uint8_t* uid);
    // The UID of the type A tag in the field, else of the ISO 15693 tag (as sent, least
    // significant byte first); zeros and false when there is none.
    bool GetUid(int port, uint8_t* uid);
    // The first record of the tag as record JSON text; an empty text for a message
    // without a record of a known kind. False when the tag holds no message.
    bool ReadJson(int port, std::string& json);
    // Writes the record JSON text (an empty text formats the tag). *overflow receives
    // the excess in bytes when the message does not fit (0x20014).
    bool WriteJson(int port, std::string_view json, bool lockAfter, const void* key, int keyLen,
                   int* overflow);
    // An empty NDEF message, formatting the tag first where it is blank.
    bool Format(int port, const void* key, int keyLen);
    bool MakeReadOnly(int port, const void* key, int keyLen);
    bool ChangeKey(int port, bool protectData, const void* currentKey, int currentKeyLen, const void* newKey,
                   int newKeyLen);

    // How long detection leaves the RF field off before asking a silent tag once more
    // (50 ms). Test equipment whose simulated tags power down at once sets 0.
    static void SetFieldOffPause(int ms);

    // INdefContext: the TLV walker's "more" flag and the port's last error.
    bool GetMore() const override { return more_; }
    void SetMore(bool more) override { more_ = more; }
    void SetError(int code) override;

    // For the family routines, during an operation.
    CKQ_LMX_Port& Port() { return *port_; }
    void SetOverflow(int bytes) { overflow_ = bytes; }
    // Finds the tag again after a failed command has made it fall silent.
    bool Reactivate();
    // The reader's word that no tag answered (status 1 of the serial protocols, 21 of
    // the others): the tag has left the field.
    static bool NoTagAnswered(int code);
    // Whether a failed command's code is an answer that refused it (a reader or tag
    // status), the only failure that says something about the tag: no tag answering,
    // an answer that came too late (timedOut) or spoilt is no verdict.
    static bool Refusal(int code, bool timedOut);
    bool Refused() const;
    // The DESFire keys of the card level and of the NDEF application.
    std::array<uint8_t, kKeySize>& CardKey() { return cardKey_; }
    std::array<uint8_t, kKeySize>& AppKey() { return appKey_; }

private:
    using Key = std::array<uint8_t, kKeySize>;
    class Operation;

    bool Detect(int* type, uint8_t* uid);
    bool DetectVicinity();
    bool PortGone() const;
    bool TakeKey(Key& cleared, const void* key, int keyLen);
    bool ReadTag(CNdefMessageList& messages, bool stopAfterFirst);
    // `format` formats the tag where it is not formatted as wanted (Format's empty
    // message: every sector of a MIFARE Classic tag).
    bool WriteMessage(const CNdefMessage& message, bool format, int* overflow, bool lockAfter);
    bool WriteArea(const CNdefMessage& message, bool format, bool lockAfter);
    template <class Tag>
    bool WriteThenLock(Tag& tag, std::span<const uint8_t> area, bool format, bool lockAfter);

    int portHandle_ = 0;
    std::shared_ptr<CKQ_LMX_Port> port_; // held for the length of an operation
    bool busy_ = false;                  // a read is running
    bool more_ = false;
    int overflow_ = 0;
    Key cardKey_{}; // DESFire card level key
    Key appKey_{};  // DESFire NDEF application key
    std::array<uint8_t, kUidSize> vicinityUid_{};
};

} // namespace kq
