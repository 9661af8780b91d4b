#include "reader/sdk/FlatCall.h"

#include "kqlmx.h"

#include <algorithm>

namespace kq {

std::span<const uint8_t> BytesArg(const void* bytes, int len) {
    if (!bytes || len <= 0) return {};
    return {static_cast<const uint8_t*>(bytes), static_cast<size_t>(len)};
}

int CopyAnswer(CKQ_LMX_Port& port, const Bytes& answer, unsigned char* out, int outLen) {
    const size_t capacity = out && outLen > 0 ? static_cast<size_t>(outLen) : 0;
    if (capacity < answer.size()) {
        port.lastError = KQLMX_ERROR_BUFFER_TOO_SMALL;
        return -1;
    }
    std::copy(answer.begin(), answer.end(), out);
    return static_cast<int>(answer.size());
}

} // namespace kq
