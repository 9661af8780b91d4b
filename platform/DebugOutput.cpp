#include "platform/DebugOutput.h"

#include <atomic>

namespace kq::platform {

namespace {
std::atomic<DebugSink> g_sink{nullptr};
}

void SetDebugSink(DebugSink sink) {
    g_sink.store(sink);
}

void DebugOutput(std::string_view text) {
    if (DebugSink sink = g_sink.load()) sink(text);
}

} // namespace kq::platform
