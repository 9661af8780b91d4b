// NFC Forum Type 2 tags (4-byte pages) for the tag handler. Page 3 is the capability
// container (E1, mapping version, data area size / 8, access nibbles: read high,
// write low, F = read-only); the TLV area begins at page 4. All access goes through
// the reader's block read (four pages) and block write (one page).
//
// The data area is what the CC states, but never more than the user memory that every
// layout the tag may have shares (Type2Layout: the known chips of maker 04 whose reads
// end where this tag's do, a password's PROT included; else every readable page).
// Reading walks the TLV area while it comes in and stops once the first message is
// complete; a Terminator before any message reads as a formatted tag without one.
// Writing keeps the TLVs in front of the NDEF Message TLV (Lock and Memory Control)
// and the bytes they set aside, formats a blank tag (CC from its memory size) and
// refuses, before anything is written, a message that does not fit or would reach a
// page a password or a lock bit guards. Locking, once nothing can keep it from being
// completed, sets the CC's write access to read-only, the static lock bytes, every
// dynamic lock bit (of a known layout from its datasheet, else from the Lock Control
// TLVs or the NFC Forum default place) and, on an NTAG21x whose password guards
// nothing, CFGLCK. A CC of a newer major version is neither read nor written. Only a
// refusal counts as one: a lost answer is asked for again or fails the step. Every
// failure sets a TagErrorCode.
#pragma once

#include "content/NdefMessage.h"
#include "reader/tags/Type2Layout.h"
#include "reader/transport/ReaderFrame.h"

#include <span>
#include <vector>

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
    // What the tag's memory is, whatever its CC says.
    struct Memory {
        int refused = 0;                         // the first page a READ refuses
        std::vector<const Type2Layout*> layouts; // those the pages read allow; empty: a chip not listed
        Type2Pages read;                         // pages 0-3 and the lock and configuration pages read
        size_t writeRoom = 0;                    // from page 4 on
        size_t readRoom = 0;
        const Type2Layout* Single() const { return layouts.size() == 1 ? layouts.front() : nullptr; }
    };
    enum class Answer { kData, kRefused, kLost };
    // `front`: the CC page and pages 4-6 as read.
    bool Survey(const Bytes& front, Memory& memory, bool endRefused = false);
    bool PagesWritable(const Memory& memory, int first, int last);
    // The data area of a tag without CC: by its blank layout, else by probing; -1 when
    // the tag has gone.
    int BlankMemorySize(const Bytes& front);
    bool LocateNdefTlv(size_t room, Bytes& existing, int64_t& offset, std::span<const uint8_t> known);
    bool FormatBlank(size_t room);
    bool WriteArea(int startPage, const Bytes& bytes, size_t tlvIndex);
    bool SetLockBits(size_t address, int bits);
    bool OrIntoPage(int page, const Type2Page& bits);
    bool LockBitsTaken(int page, std::span<const uint8_t> wanted);
    // `count` bytes (4: one page, 16: four pages) from `page` on; false when the read
    // fails or answers less.
    bool ReadPages(int page, size_t count, Bytes& out);
    // The same, telling a refusal (the tag answered no) from an answer that was lost.
    Answer ReadAnswer(int page, size_t count, Bytes& out);
    bool WritePage(int page, std::span<const uint8_t> bytes);
    bool Fail(int code);

    CNfcTagHandler& handler_;
};

} // namespace kq
