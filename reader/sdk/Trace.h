// The trace of the reader library: open and close calls and diagnostics, to the
// sink installed with KQLMX_SetTraceSink and, when KQLMX_TRACE names a file, there.
#pragma once

#include "kqlmx.h"

#include <string_view>

namespace kq {

void SetTraceSink(KQLMX_TraceSink sink, void* user);

void Trace(std::string_view text);

// printf-style.
void TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace kq
