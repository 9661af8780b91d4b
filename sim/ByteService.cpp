#include "ByteService.h"

#include <algorithm>

namespace kqsim {

namespace {

using Clock = std::chrono::steady_clock;

Clock::duration seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

} // namespace

bool sendOutgoing(const Outgoing& out, double rxSeconds, const std::function<bool(double seconds)>& waitFor,
                  const std::function<bool(const std::uint8_t*, std::size_t)>& write) {
    double byteTime = byteSeconds(out.paceBaud);
    Clock::time_point next = Clock::now() + seconds(rxSeconds);
    for (const OutgoingChunk& chunk : out.chunks) {
        next += chunk.delay;
        if (!waitFor(std::chrono::duration<double>(next - Clock::now()).count())) return false;
        if (out.paceBaud <= 0) {
            if (!write(chunk.bytes.data(), chunk.bytes.size())) return false;
            next = Clock::now();
            continue;
        }
        // Each byte leaves when its ten bits would have gone over the line.
        Clock::time_point start = std::max(next, Clock::now());
        std::size_t sent = 0;
        while (sent < chunk.bytes.size()) {
            double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            std::size_t due = std::min(chunk.bytes.size(), static_cast<std::size_t>(elapsed / byteTime));
            if (due > sent) {
                if (!write(chunk.bytes.data() + sent, due - sent)) return false;
                sent = due;
                continue;
            }
            if (!waitFor(byteTime * static_cast<double>(sent + 1) - elapsed)) return false;
        }
        next = start + seconds(byteTime * static_cast<double>(chunk.bytes.size()));
    }
    return true;
}

} // namespace kqsim
