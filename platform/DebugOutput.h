// Diagnostic text that nobody is shown: what a debugger would print. The reader
// library routes it into its trace sink; without a sink it goes nowhere.
#pragma once

#include <string_view>

namespace kq::platform {

using DebugSink = void (*)(std::string_view text);

// Replaces the process-wide sink (nullptr: drop the text).
void SetDebugSink(DebugSink sink);

void DebugOutput(std::string_view text);

} // namespace kq::platform
