#pragma once
// The TLV area in which Type 2, MIFARE Classic and ISO 15693 tags keep their NDEF
// message (NFC Forum Type 2 Tag layout): written as one NDEF Message TLV and a
// Terminator TLV; read by walking the TLVs and decoding every NDEF Message TLV.

#include <cstdint>
#include <span>

#include "content/MyByteArray.h"
#include "content/NdefContext.h"
#include "content/NdefMessage.h"

// The longest NDEF message that a TLV length field can state.
inline constexpr size_t kMaxNdefTlvLength = 0xFFFF;

// 03, the length (one byte up to 254, else FF and two bytes), the message, FE.
// False, with nothing written, for a message longer than kMaxNdefTlvLength.
bool EncodeNdefTlv(const CNdefMessage& message, CMyByteArray& bytes);

// Walks the TLVs of bytes[0 .. limit] (limit -1: to the end) and appends every
// NDEF message that decodes to messages (emptied first). The context's "more" flag
// is cleared first and set when a TLV runs past the bytes or the limit, or when a
// walk with a limit reaches the end of the bytes before a Terminator, so that the
// tag reader reads further blocks and walks again. stopAfterFirst ends the walk
// after the first NDEF Message TLV; locateOnly ends it as soon as that TLV is met.
// offset receives the index of the type byte of the NDEF Message TLV the walk was
// at (-1 when none). A Lock or Memory Control TLV whose length is not 3 sets
// kTagErrorNfcData and ends the walk.
void ParseNdefTlvs(INdefContext& context, std::span<const uint8_t> bytes, int64_t limit, bool stopAfterFirst,
                   CNdefMessageList& messages, bool locateOnly = false, int64_t* offset = nullptr);
