// Byte buffers and their hexadecimal text, as the simulator's log, console and tag
// images show them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kqsim {

using Bytes = std::vector<std::uint8_t>;

// "02 01 30 00 31": two upper-case digits per byte, separated by `separator`
// (none when it is '\0').
std::string toHex(const Bytes& bytes, char separator = ' ');

// Reads hexadecimal byte text: pairs of digits, optionally separated by spaces,
// ':' or '-'. Anything else, or an odd digit count, gives no result.
std::optional<Bytes> parseHex(std::string_view text);

} // namespace kqsim
