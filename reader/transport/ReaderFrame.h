// The bytes of a ReaderFrame on the wire, by ReaderProtocolType:
//   0: 02, address, cmd/status, len, data..., BCC (XOR of address .. last data byte)
//   1: address, cmd/status, len, data..., CRC-16/MODBUS low, high
//   2, 3: 1E, cmd/status, len, data...  (no check bytes; translated command codes)
// An answer whose length byte is FF carries a chain of blocks (count byte c, then c
// bytes) ended by a count byte FF, followed by the frame's check bytes.
// These functions hold no state: the port feeds them its buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kq {

using Bytes = std::vector<uint8_t>;

uint16_t Crc16Modbus(std::span<const uint8_t> bytes);
uint8_t XorCheck(std::span<const uint8_t> bytes);

// Turns the command frame in `buffer` ([cmd, data...], not empty) into the request
// frame of `type` in place and gives the (translated) command byte that a type 2/3
// answer repeats as its status. A frame whose length byte would exceed 255 is
// refused with KQLMX_ERROR_DATA_TOO_LONG and the buffer is left alone; 0 otherwise.
int BuildFrame(Bytes& buffer, int type, uint8_t address, uint8_t* expectedAnswer);

// Bytes an answer needs before its length byte can be read.
size_t AnswerHeaderMinimum(int type);

// Bytes in front of the answer's start byte (0x02 for type 0, 0x1E for types 2/3),
// which the wait drops as line noise. Type 1 has no start byte: always 0.
size_t LeadingNoise(std::span<const uint8_t> received, int type);

// The length of the complete answer frame at the front of `received` (which begins
// with the start byte), or 0 while bytes are missing. Bytes past it belong to no answer.
size_t CompleteAnswerLength(std::span<const uint8_t> received, int type);

struct AnswerVerdict {
    bool good = false;
    int error = 0; // last error to store; 0: leave it as it is
};

// Checks one answer frame (check bytes, status) and strips it to its payload. A
// chained answer keeps its block count bytes; the ending FF is removed.
AnswerVerdict ParseAnswer(std::span<const uint8_t> frame, int type, uint8_t expectedAnswer, Bytes& payload);

// Reads the reader status (type 2 only) and the ISO 15693 response flags in front of
// a good answer's payload, removing them; an error flag maps its error code.
AnswerVerdict ParseIso15693Payload(Bytes& payload, int type);

} // namespace kq
