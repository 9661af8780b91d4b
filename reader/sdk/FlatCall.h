// What the flat KQLMX_ functions share: the reader layer object and the conversions
// of their arguments and results.
#pragma once

#include "reader/sdk/KQ_LMX_SDKApp.h"

#include <span>

namespace kq {

inline CKQ_LMX_SDKApp& App() {
    return CKQ_LMX_SDKApp::Get();
}

// true/false -> 0/-1.
inline int Result(bool ok) {
    return ok ? 0 : -1;
}

// A caller's byte argument; a null pointer or a length of 0 or below is no bytes.
std::span<const uint8_t> BytesArg(const void* bytes, int len);

// Copies the answer into the caller's buffer and answers its length; a buffer too
// small (or null for a non-empty answer): error 5, -1, nothing copied.
int CopyAnswer(CKQ_LMX_Port& port, const Bytes& answer, unsigned char* out, int outLen);

} // namespace kq
