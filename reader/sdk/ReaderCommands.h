// The reader commands of the reader layer on one port. Each empties the send buffer,
// puts in the command byte and its data, exchanges the frame and reads the answer;
// on failure the port's lastError tells why.
//   F0 version ("FV" asks a type 2 reader for its firmware text), F2 baud rate,
//   F5 RF field, F6 outputs, FF USB mode.
#pragma once

#include "reader/transport/KQ_LMX_Port.h"

#include <span>

namespace kq {

inline constexpr uint8_t kCmdVersion = 0xF0;
inline constexpr uint8_t kCmdBaudRate = 0xF2;
inline constexpr uint8_t kCmdRfField = 0xF5;
inline constexpr uint8_t kCmdOutputs = 0xF6;
inline constexpr uint8_t kCmdUsbMode = 0xFF;

// With `answer` the payload is read into it; without, only a good answer counts.
bool SendCommand(CKQ_LMX_Port& port, uint8_t command, std::span<const uint8_t> data, Bytes* answer);

// The reader's 4-character version answer ("1843": type code 0x184, version digit 3).
// Type 2 readers answering 04 05 31 35 are asked "FV"; their code reads 0x171 and
// type 3 readers' 0x117 unless their answer says otherwise.
bool QueryVersion(CKQ_LMX_Port& port, Bytes& answer);

bool SetRfFieldOnPort(CKQ_LMX_Port& port, bool on);

// Reader baud code: 2400 0, 4800 1, 9600 2, 38400 4, 57600 5, 115200 6, 230400 7,
// 460800 8, 921600 9, 1382400 10, anything else 3 (19200).
uint8_t BaudCode(int baud);

// Switches the reader to the rate and line mode (0 8N1, 1 8E1, 2 8O1, 3 8N2), then the
// serial device to what the reader now uses. Only a tty port can follow (else 14).
bool SetBaudRateOnPort(CKQ_LMX_Port& port, int baud, int mode);

} // namespace kq
