#include "reader/sdk/MultiString.h"

#include <cstring>

namespace kq {

int WriteMultiString(const std::vector<std::string>& entries, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    size_t used = 0;
    const auto capacity = static_cast<size_t>(size);
    for (const std::string& entry : entries) {
        if (used + entry.size() + 2 > capacity) break;
        std::memcpy(buffer + used, entry.c_str(), entry.size() + 1);
        used += entry.size() + 1;
    }
    buffer[used] = '\0';
    return static_cast<int>(used + 1);
}

} // namespace kq
