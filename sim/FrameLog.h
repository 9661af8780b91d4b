// The simulator's record of everything on the line and in the field: every frame
// received and sent (exact bytes), bytes thrown away, and events (tags placed or
// removed, RF field, baud rate, outputs, USB mode, faults, link state), time-stamped.
#pragma once

#include "Bytes.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kqsim {

using Clock = std::chrono::steady_clock;

enum class LogKind {
    Received,  // a request frame addressed to this reader
    Sent,      // answer bytes as written to the line (noise and trailing bytes included)
    Discarded, // received bytes that formed no request for this reader
    Event,     // something that happened (text only)
};

struct LogEntry {
    Clock::time_point time;
    LogKind kind = LogKind::Event;
    Bytes bytes;
    std::string note;
    // Sent: what the tags took on the air and in their memory before this answer.
    std::chrono::microseconds tagTime{0};
};

// One change of the reader's outputs.
struct OutputChange {
    Clock::time_point time;
    std::uint8_t mask = 0;
    std::uint8_t value = 0;
    std::uint8_t outputs = 0; // all outputs after the change
};

// Entries in time order. Not synchronised: the simulator guards it.
class FrameLog {
public:
    explicit FrameLog(Clock::time_point origin = Clock::now()) : origin_(origin) {}

    void add(LogKind kind, Bytes bytes, std::string note, Clock::time_point time = Clock::now());
    void event(std::string note, Clock::time_point time = Clock::now()) {
        add(LogKind::Event, {}, std::move(note), time);
    }
    const std::vector<LogEntry>& entries() const { return entries_; }
    void clear() { entries_.clear(); }
    void setLastTagTime(std::chrono::microseconds time) {
        if (!entries_.empty()) entries_.back().tagTime = time;
    }
    Clock::time_point origin() const { return origin_; }

    // One line per entry: "   12.345 ms  <- 02 01 F0 00 F1  note".
    std::string format(const LogEntry& entry) const;

private:
    Clock::time_point origin_;
    std::vector<LogEntry> entries_;
};

} // namespace kqsim
