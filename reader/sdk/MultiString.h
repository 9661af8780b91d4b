// A caller's buffer filled with zero-terminated names one after the other, closed
// by one more zero byte.
#pragma once

#include <string>
#include <vector>

namespace kq {

// Writes the entries that fit (an entry, its zero and the closing zero); the first
// entry that does not fit ends the list. Answers the bytes used, closing zero
// included; a null buffer or a size of 0 or below: nothing written, 0.
int WriteMultiString(const std::vector<std::string>& entries, char* buffer, int size);

} // namespace kq
