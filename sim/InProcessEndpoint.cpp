#include "InProcessEndpoint.h"

namespace kqsim {

InProcessEndpoint::InProcessEndpoint(Simulator& simulator) : simulator_(simulator) {
    simulator_.attach(this);
}

InProcessEndpoint::~InProcessEndpoint() {
    simulator_.detach(this);
}

Bytes InProcessEndpoint::send(const Bytes& bytes) {
    last_ = {};
    if (dropped_) return {};
    last_ = simulator_.receive(bytes.data(), bytes.size(), hostLine_);
    Bytes answer;
    for (const OutgoingChunk& chunk : last_.chunks)
        answer.insert(answer.end(), chunk.bytes.begin(), chunk.bytes.end());
    if (last_.dropLink) dropped_ = true;
    return answer;
}

} // namespace kqsim
