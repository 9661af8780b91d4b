// The terminal settings of a raw serial line. A pty keeps neither parity nor the
// character size (its driver clears them), so what the line asks for is worked out
// here, apart from the device, where it can be checked as it is.
//
// termios2 (any rate through BOTHER) comes from the kernel headers, which clash with
// <termios.h>: includers use the kernel's definitions only.
#pragma once

#include "platform/SerialLine.h"

#include <asm/termbits.h>

namespace kq::platform {

// `current` changed into a raw line (no echo, no signals, no translation, no flow
// control, reads that never block) with the rate, parity, data and stop bits of
// `settings`; whatever `current` said about them before is replaced.
struct termios2 RawLineTermios(const struct termios2& current, const LineSettings& settings);

} // namespace kq::platform
