// The seam between the simulated reader and whatever carries its bytes. A transport (a
// pty, a TCP connection, HID reports, a Bluetooth module's packets) hands the bytes the
// host sent to a ByteService and sends back what it answers; the Simulator is the
// service, so one simulated reader can sit behind any of them.
#pragma once

#include "Bytes.h"
#include "ReaderConfig.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kqsim {

// Bytes a transport has to send after it handed received bytes to the service: each
// chunk after its pause, written no faster than `paceBaud` (0: at once).
struct OutgoingChunk {
    std::chrono::microseconds delay{0};
    Bytes bytes;
};

struct Outgoing {
    std::vector<OutgoingChunk> chunks;
    int paceBaud = 0;
    bool dropLink = false; // take the link down (after sending the chunks)
};

// Implemented by transports so that the service can take their link down.
class LinkControl {
public:
    virtual ~LinkControl() = default;
    virtual void dropLink() = 0;
};

class ByteService {
public:
    virtual ~ByteService() = default;
    // Hands received bytes to the reader. `line` is how the host has set up a serial
    // line; without it (a network or USB transport) the line is taken to match.
    virtual Outgoing receive(const std::uint8_t* data, std::size_t size,
                             const std::optional<LineSettings>& line) = 0;
    // A transport registers while it serves, so that a link drop reaches it.
    virtual void attach(LinkControl* link) = 0;
    virtual void detach(LinkControl* link) = 0;
};

// Sends an answer chunk by chunk, each after its pause, paced at `paceBaud` when set;
// the answer cannot begin before `rxSeconds` (the request's own wire time) have
// passed. `waitFor` pauses (false: stop, the rest is not sent); `write` sends bytes
// (false: the link is gone). False when the answer was not sent whole.
bool sendOutgoing(const Outgoing& out, double rxSeconds, const std::function<bool(double seconds)>& waitFor,
                  const std::function<bool(const std::uint8_t*, std::size_t)>& write);

} // namespace kqsim
