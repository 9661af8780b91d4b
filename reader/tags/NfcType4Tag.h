// NFC Forum Type 4 tags on DESFire cards for the tag handler. The NDEF data lives in
// the DESFire application with the NDEF DF name D2 76 00 00 85 01 01: a capability
// container file (ISO id E103) and the NDEF file (id from the CC; E104 when we make
// it), NLEN (2 bytes) and the message. Reading and writing go through ISO SELECT,
// READ BINARY and UPDATE BINARY; formatting, protecting with a key and making
// read-only through native DESFire commands. The card level is reached with the
// handler's card key, the NDEF application with its application key.
//
// One object per handler operation: the mode (ISO wrapping on or off), the selection
// and the authentication it tracks start anew with every operation, as the tag was
// just detected. Every failure sets a TagErrorCode or leaves the DESFire layer's code.
#pragma once

#include "content/NdefMessage.h"
#include "reader/tags/DesfireLockPlan.h"
#include "reader/transport/ReaderFrame.h"

#include <cstdint>
#include <span>

namespace kq {

class CNfcTagHandler;

class CNfcType4Tag {
public:
    explicit CNfcType4Tag(CNfcTagHandler& handler);

    // A card that left the field during any of these answers 0x20001.
    bool Read(CNdefMessageList& messages) { return Done(DoRead(messages)); }
    // Writes the plain NDEF message bytes, formatting first a card without the NDEF
    // application, its files or a written CC. A CC that fails the checks is refused as
    // the read refuses it. A message that does not fit the file with its NLEN: 0x20014,
    // nothing written.
    bool Write(std::span<const uint8_t> message) { return Done(DoWrite(message)); }
    bool Format() { return Done(DoFormat()); }
    // Succeeds only where no key anyone knows opens the card any more and the CC says
    // read-only; a lock cut short completes when run again, and a card a lock left so
    // (or the same card locked again) answers success.
    bool MakeReadOnly() { return Done(DoMakeReadOnly()); }
    // Protects the CC file (and with protectData every file) with newKey as key 0 of
    // the NDEF application and the card; the CC says read-only exactly with protectData.
    // What a lock or protection may do is decided before the first change
    // (DesfireLockPlan); a card it cannot finish on is refused untouched.
    bool ChangeKey(bool protectData, std::span<const uint8_t> newKey) {
        return Done(DoChangeKey(protectData, newKey));
    }

private:
    struct Cc {
        uint16_t fileId = 0xE104;
        bool writable = false;
        uint16_t mle = 0, mlc = 0, maxSize = 0;
    };
    enum Mode { kUnknown = -1, kIso = 0, kNative = 1 };

    bool Fail(int code);
    // As Fail, unless the card gave no answer to judge by (lost, cut or spoilt): then
    // that error stands, since it says nothing about what the card holds.
    bool FailIfCardSaid(int code);
    // The reader said no tag answered: the card left the field.
    bool Gone();
    bool Done(bool ok);
    bool DoRead(CNdefMessageList& messages);
    bool DoWrite(std::span<const uint8_t> message);
    bool DoFormat();
    bool DoMakeReadOnly();
    bool DoChangeKey(bool protectData, std::span<const uint8_t> newKey);
    // Whether the byte at offset lies inside the ISO file: false when the card did not say.
    bool ByteInFile(uint16_t id, uint32_t offset, bool& inside);
    // The file's size as the card has it (at most 0x7FFF), found with READ BINARY.
    bool FileSize(uint16_t id, uint16_t& size);
    bool SetMode(int mode);
    void ResetAuth() { authKind_ = 0; }
    bool SelectNdefApp();
    bool EnsureNdefApp();
    bool SelectFile(uint16_t id);
    bool SelectCardLevel();
    bool SelectAid(uint32_t aid);
    // DES / two-key triple DES first, then AES; 0x20006 or 0x20007 when neither works.
    bool Authenticate(bool app, int keyNo, std::span<const uint8_t> key);
    // Key 0 with the zero key first, then with the handler's key, then with `also`.
    bool AuthenticateDefaultThenKey(bool app, std::span<const uint8_t> also = {});
    // As AuthenticateDefaultThenKey where the key was found to open key 0 before: a
    // refusal now is an answer lost or spoilt, told as the key change failing, never as
    // a key that is wanted.
    bool OpenKnownKey(bool app, std::span<const uint8_t> also = {});
    // Whether one of those keys opens key 0: a refusal is believed when a second round
    // meets it too. False with `known` unset when the card left.
    bool KeyKnown(bool app, std::span<const uint8_t> also, bool& known);
    // The key settings and key type of the selected level; settings none when the card
    // wants a key for them.
    bool ReadLevel(DesfireLevelState& level);
    // What a lock or protection is decided from; nothing is changed.
    bool ReadLockInput(uint32_t aid, const Bytes& ccBytes, std::span<const uint8_t> also,
                       DesfireLockInput& in, std::vector<uint8_t>& fileIds);
    bool FindNdefAid(uint32_t& aid);
    bool FindAndSelectNdefApp(uint32_t& aid);
    // After a CC read: its bytes, and the NDEF application's AID in native mode.
    bool FindNdefAidNative(Bytes& ccBytes, uint32_t& aid);
    bool ReadIsoFile(uint16_t id, uint32_t offset, size_t length, Bytes& out);
    bool WriteIsoFile(uint16_t id, std::span<const uint8_t> data, uint32_t offset);
    bool ReadCc(Cc& cc, Bytes* raw = nullptr);
    bool ReadCcAndNlen(Cc& cc, uint16_t& nlen);
    // The message as read, when it gives at least one content item.
    bool HasContent(const Cc& cc, uint16_t nlen);
    // Native: some file of the application still has a write key; else 0x2000E.
    bool SomeFileWritable();
    bool FindFreeAid(uint32_t& aid);
    bool CreateNdefApp(uint32_t& aid);

    CNfcTagHandler& handler_;
    int mode_ = kUnknown;
    int selectedApp_ = 0; // -1 unknown, 0 card level, 1 NDEF application
    int selectedFile_ = -1;
    int authKind_ = 0; // 0 none, 2 DES / triple DES, 3 AES
    int authKeyNo_ = 0xFF;
    // The last CC read, and whether it passed the checks.
    Bytes ccRaw_;
    bool ccGood_ = false;
};

} // namespace kq
