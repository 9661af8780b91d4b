// Check values of the reader frames: the XOR block check of protocol type 0 and the
// CRC-16/MODBUS of protocol type 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kqsim {

std::uint8_t xorCheck(const std::uint8_t* data, std::size_t size);

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
std::uint16_t crc16Modbus(const std::uint8_t* data, std::size_t size);

// The CRC32 a DESFire card puts into enciphered data: reflected polynomial 0xEDB88320,
// initial value 0xFFFFFFFF, no final XOR.
std::uint32_t crc32Desfire(const std::uint8_t* data, std::size_t size);

} // namespace kqsim
