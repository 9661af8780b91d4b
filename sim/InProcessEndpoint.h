// A transport for unit tests: the host's bytes go straight into the simulator and the
// answer comes straight back, without a thread or a device.
//
//   kqsim::Simulator sim;
//   kqsim::InProcessEndpoint host(sim);
//   kqsim::Bytes answer = host.send({0x02, 0x01, 0xF0, 0x00, 0xF1});
#pragma once

#include "Simulator.h"

#include <atomic>

namespace kqsim {

class InProcessEndpoint : public LinkControl {
public:
    explicit InProcessEndpoint(Simulator& simulator);
    ~InProcessEndpoint() override;
    InProcessEndpoint(const InProcessEndpoint&) = delete;
    InProcessEndpoint& operator=(const InProcessEndpoint&) = delete;

    // The host's line settings; without them (the default) the line always matches.
    void setHostLine(const std::optional<LineSettings>& line) { hostLine_ = line; }

    // Sends bytes and returns every answer byte they caused, in order. Pauses of delay
    // faults are not waited out (see lastOutgoing()). After a link drop nothing gets
    // through and nothing comes back.
    Bytes send(const Bytes& bytes);

    // Chunks, pauses and pacing of the answer to the last send().
    const Outgoing& lastOutgoing() const { return last_; }
    bool linkUp() const { return !dropped_; }
    void dropLink() override { dropped_ = true; }

private:
    Simulator& simulator_;
    std::optional<LineSettings> hostLine_;
    Outgoing last_;
    std::atomic<bool> dropped_{false};
};

} // namespace kqsim
