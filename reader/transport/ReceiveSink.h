// Where a link delivers the bytes it receives: the owning reader port.
#pragma once

#include <cstdint>
#include <span>

namespace kq {

class ReceiveSink {
public:
    // Called from the link's thread.
    virtual void OnReceive(std::span<const uint8_t> bytes) = 0;
    // Forgets every byte received so far.
    virtual void DiscardReceived() = 0;

protected:
    ~ReceiveSink() = default;
};

} // namespace kq
