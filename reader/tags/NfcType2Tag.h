// NFC Forum Type 2 tags (4-byte pages) for the tag handler. Page 3 is the capability
// container (E1, mapping version, data area size / 8, access nibbles: read high,
// write low, F = read-only); the TLV area begins at page 4. All access goes through
// the reader's block read (four pages) and block write (one page).
//
// Reading walks the TLV area while it comes in and stops once the first message is
// complete. Writing keeps the TLVs in front of the NDEF Message TLV (Lock and Memory
// Control), formats a blank tag (CC from its memory size) and refuses a message that
// does not fit before anything is written; a blank tag of a known layout gets its user
// memory only. Locking sets the CC's write access to read-only, the static lock bytes
// and every dynamic lock bit (from the Lock Control TLVs, else from the layout of a
// known tag). Every failure sets a TagErrorCode.
#pragma once

#include "content/NdefMessage.h"
#include "reader/transport/ReaderFrame.h"

#include <span>

namespace kq {

class CNfcTagHandler;

class CNfcType2Tag {
public:
    explicit CNfcType2Tag(CNfcTagHandler& handler) : handler_(handler) {}

    // The messages decoded (the first only with stopAfterFirst). A read that fails
    // keeps the messages decoded before it.
    bool Read(CNdefMessageList& messages, bool stopAfterFirst);
    // Writes a TLV area (NDEF Message TLV and Terminator).
    bool Write(std::span<const uint8_t> area);
    bool MakeReadOnly();

private:
    // The data area of a tag without CC: by its blank layout, else by probing.
    int BlankMemorySize();
    bool LocateNdefTlv(size_t room, Bytes& existing, int64_t& offset);
    bool FormatBlank(size_t room);
    bool WriteArea(int startPage, const Bytes& bytes, size_t tlvIndex);
    bool SetLockBits(size_t address, int bits);
    // `count` bytes (4: one page, 16: four pages) from `page` on; false when the read
    // fails or answers less.
    bool ReadPages(int page, size_t count, Bytes& out);
    bool WritePage(int page, std::span<const uint8_t> bytes);
    bool Fail(int code);

    CNfcTagHandler& handler_;
};

} // namespace kq
