// The packets between the PC and its Bluetooth module, both directions (numbers low
// byte first):
//   02, kind, command, length low, length high, check, payload..., 03
// kind 'R' in requests, 'C' (confirmation) or 'i' (indication) from the module; the
// check byte is the 8-bit sum of kind, command and the two length bytes. A packet from
// the module is named by its code: command * 256 + kind (0x0B69 is the indication of
// command 0x0B).
#pragma once

#include "reader/transport/ReaderFrame.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kq {

inline constexpr uint8_t kModulePacketStart = 0x02;
inline constexpr uint8_t kModulePacketEnd = 0x03;
inline constexpr uint8_t kModuleRequest = 'R';
inline constexpr size_t kModulePacketOverhead = 7; // header, check and end byte
// The module's raw input and the reader bytes waiting for the port hold this much.
inline constexpr size_t kModuleBufferSize = 1000;

// A request packet of `command` with `payload`.
Bytes BuildModuleRequest(uint8_t command, std::span<const uint8_t> payload);

// The data request that carries a reader frame: command 0x0F with 02, length, frame.
Bytes BuildModuleDataPacket(std::span<const uint8_t> frame);

struct ModulePacket {
    uint16_t code = 0; // command * 256 + kind
    Bytes payload;
};

// The check byte of a packet header (its first five bytes at least).
uint8_t ModuleHeaderCheck(std::span<const uint8_t> header);

// Takes the first complete packet from the front of `raw` (removing it and any bytes
// before its start byte). Nothing while the packet is incomplete. A header with a
// wrong check byte, one that announces more than kModuleBufferSize can ever hold, or
// a packet without its end byte is no packet: its start byte is dropped and the
// search goes on at the next 0x02.
std::optional<ModulePacket> TakeModulePacket(Bytes& raw);

} // namespace kq
