#include "reader/sdk/Trace.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace kq {

namespace {
std::mutex g_mutex;
std::condition_variable g_sinkIdle;
KQLMX_TraceSink g_sink = nullptr;
void* g_user = nullptr;
int g_sinkCalls = 0;           // calls of a sink under way, on any thread
thread_local int t_inSink = 0; // on this thread
} // namespace

void SetTraceSink(KQLMX_TraceSink sink, void* user) {
    std::unique_lock lock(g_mutex);
    g_sink = sink;
    g_user = user;
    // Once this returns, the sink replaced is called no more (its user data may go),
    // other threads' calls of it that were under way having ended. A sink that replaces
    // itself cannot wait for its own call and does not wait for others.
    if (t_inSink == 0) g_sinkIdle.wait(lock, [] { return g_sinkCalls == 0; });
}

void Trace(std::string_view text) {
    const std::string line(text);
    // The sink is called outside the lock, so that it may call any function of the
    // library, this one and SetTraceSink included; SetTraceSink waits for the call.
    KQLMX_TraceSink sink = nullptr;
    void* user = nullptr;
    {
        std::lock_guard lock(g_mutex);
        sink = g_sink;
        user = g_user;
        if (sink) ++g_sinkCalls;
    }
    if (sink) {
        ++t_inSink;
        sink(user, line.c_str());
        --t_inSink;
        std::lock_guard lock(g_mutex);
        if (--g_sinkCalls == 0) g_sinkIdle.notify_all();
    }
    std::lock_guard lock(g_mutex); // the file: one line at a time
    const char* path = std::getenv("KQLMX_TRACE");
    if (path && *path) {
        if (FILE* file = std::fopen(path, "ab")) {
            std::fwrite(line.data(), 1, line.size(), file);
            std::fclose(file);
        }
    }
}

void TraceFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    Trace(text);
}

} // namespace kq
