// ISO 15693 vicinity tags laid out as NFC Forum Type 5 tags, for the tag handler. Block
// 0 begins with the capability container (E1, version and access, data size / 8,
// bit 0 of byte 3: the tag answers Read multiple blocks; 8 bytes on tags of more than
// 2040 bytes: byte 2 00 and the size / 8 in bytes 6-7); the TLV area follows right
// behind it. A request the tag leaves unanswered is sent once more.
// Every request is addressed to the UID that the handler's inventory found.
//
// Reading locates the NDEF Message TLV block by block, then reads the area in groups
// of eight blocks where the tag takes that (block by block otherwise, or when a group
// fails). Writing formats only a tag that is not formatted (or on an explicit format),
// checks the blocks' security first and keeps the TLVs in front of the NDEF Message
// TLV; a block whose write was reported as failed counts when it reads back right.
// Locking marks the CC read-only and locks every block of the data area. Every
// failure sets a TagErrorCode.
#pragma once

#include "content/NdefMessage.h"
#include "reader/transport/ReaderFrame.h"

#include <functional>
#include <optional>
#include <span>

namespace kq {

class CNfcTagHandler;

class CNfcIso15693Tag {
public:
    CNfcIso15693Tag(CNfcTagHandler& handler, std::span<const uint8_t> uid) : handler_(handler), uid_(uid) {}

    bool Read(CNdefMessageList& messages, bool stopAfterFirst);
    // Writes a TLV area (NDEF Message TLV and Terminator); `format` formats the tag
    // also when its CC cannot be read for another reason than a missing format.
    bool Write(std::span<const uint8_t> area, bool format);
    bool MakeReadOnly();

    struct Layout {
        int blockSize = 4;
        int dataSize = 32;  // bytes, CC block included
        int firstBlock = 1; // where the area read begins
        int ccSize = 4;     // 8 where byte 2 is 00 and bytes 6-7 state the size
        int64_t offset = 0; // of the NDEF Message TLV, from the start of the first block
        bool readOnly = false;
        bool multiRead = false;
        int blocks = 0; // the tag's own block count; 0 when it tells none
        Bytes cc;       // block 0 as read
    };

private:
    bool ReadCc(Layout& layout);
    bool FormatLayout(Layout& layout);
    bool MemorySize(int& blocks, int& blockSize);
    bool BlockSize(int& blocks, int& blockSize, Bytes& block0);
    bool Again(const std::function<bool()>& command);
    bool SecurityStatus(int first, int count, Bytes& status);
    // tlvIndex: where the NDEF Message TLV begins in the bytes, when they hold one.
    bool WriteBlocks(int first, int blockSize, Bytes bytes, std::optional<size_t> tlvIndex = std::nullopt);
    bool ReadBlock(int block, int blockSize, Bytes& data);
    bool Fail(int code);
    bool FailCommand(int code);

    CNfcTagHandler& handler_;
    std::span<const uint8_t> uid_;
    bool lost_ = false; // the tag has left the field
};

} // namespace kq
