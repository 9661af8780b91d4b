// The reader's ISO/IEC 14443 type A commands on one port: request and
// anticollision/select, ISO 14443-4 activation, MIFARE authentication, block read and
// write, and the APDU exchange. Blocks above 255 are reached through the reader's block
// bank (0x3A), which the port remembers so that it is selected only when it changes;
// request and select set it back to 0. Each function answers true/false and leaves the
// reason of a failure in the port's lastError.
#pragma once

#include "reader/transport/KQ_LMX_Port.h"

#include <span>

namespace kq {

inline constexpr uint8_t kCmdRequestA = 0x30;
inline constexpr uint8_t kCmdSelectA = 0x31;
inline constexpr uint8_t kCmdAuthenticate = 0x33;
inline constexpr uint8_t kCmdReadBlock = 0x34;
inline constexpr uint8_t kCmdWriteBlock = 0x35;
inline constexpr uint8_t kCmdBlockBank = 0x3A;
inline constexpr uint8_t kCmdRequestAts = 0x41;
inline constexpr uint8_t kCmdApdu = 0x45;
inline constexpr uint8_t kCmdApduNext = 0x46;

// Bounds of one APDU exchange: the most answer bytes collected from its parts, and the
// most parts fetched (a reader that keeps announcing more data must not hold the
// caller forever).
inline constexpr size_t kMaxApduAnswer = 65538; // 65536 data bytes and the status word
inline constexpr int kMaxApduParts = 1024;

// The ATQA, first answer byte in the low half. An answer that is not 2 bytes: 9.
bool RequestTypeA(CKQ_LMX_Port& port, uint16_t& atqa);
// SAK and UID of the tag the reader selected. An empty answer or a UID longer than
// maxUid fails without a code of its own.
bool SelectTypeA(CKQ_LMX_Port& port, size_t maxUid, uint8_t& sak, Bytes& uid);
// The answer to select of the ISO 14443-4 activation.
bool RequestAts(CKQ_LMX_Port& port, Bytes& ats);
// MIFARE Classic authentication of the sector holding `block` with a six-byte key;
// keyType 0 is key A, 1 key B. A prefix longer than 255 bytes: 15, nothing sent.
bool AuthenticateBlock(CKQ_LMX_Port& port, std::span<const uint8_t> prefix, int keyType,
                       std::span<const uint8_t> key, int block);
// The tag's answer to a read of `block` (four pages for Type 2, one block for MIFARE
// Classic). Blocks 0..65535; any other number: 15, nothing sent.
bool ReadBlock(CKQ_LMX_Port& port, int block, Bytes& data);
bool WriteBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> data);
// One APDU and its whole answer, fetched part by part (0x46) while the reader says
// that more data follows. An answer that would grow beyond `capacity` or
// kMaxApduAnswer stops with 5, one of more than kMaxApduParts parts with 16; no
// further part is asked for then.
bool ExchangeApdu(CKQ_LMX_Port& port, std::span<const uint8_t> apdu, size_t capacity, Bytes& answer);

} // namespace kq
