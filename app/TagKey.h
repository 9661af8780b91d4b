#pragma once

#include <array>
#include <cstdint>

// A tag key as the reader library takes it: 16 bytes (DESFire keys, MIFARE keys
// padded with zeros).
using TagKey = std::array<std::uint8_t, 16>;
