#include "FrameLog.h"

#include <cstdio>

namespace kqsim {

void FrameLog::add(LogKind kind, Bytes bytes, std::string note, Clock::time_point time) {
    entries_.push_back({time, kind, std::move(bytes), std::move(note)});
}

std::string FrameLog::format(const LogEntry& entry) const {
    double ms = std::chrono::duration<double, std::milli>(entry.time - origin_).count();
    const char* arrow = "  ";
    switch (entry.kind) {
    case LogKind::Received:
        arrow = "<-";
        break;
    case LogKind::Sent:
        arrow = "->";
        break;
    case LogKind::Discarded:
        arrow = "x ";
        break;
    case LogKind::Event:
        arrow = "**";
        break;
    }
    char head[48];
    std::snprintf(head, sizeof head, "%10.3f ms %s ", ms, arrow);
    std::string line = head;
    line += toHex(entry.bytes);
    if (!entry.note.empty()) {
        if (!entry.bytes.empty()) line += "  ";
        line += entry.note;
    }
    return line;
}

} // namespace kqsim
