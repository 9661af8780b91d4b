// One kind of link under a reader port (serial line, TCP connection, USB HID, Bluetooth
// module). The port looks for the open one in a fixed order and uses it for every
// step of an exchange; a link delivers what it receives to the port's ReceiveSink,
// from its own thread or from the wait's poll step.
#pragma once

#include <cstdint>
#include <span>

namespace kq {

class ReaderLink {
public:
    virtual ~ReaderLink() = default;

    // The open test: the port sends over the first open link.
    virtual bool IsOpen() const = 0;
    // The link's port handle, 0 when it holds none.
    virtual int Handle() const = 0;
    // Sends one frame. A frame the link cannot send is dropped: the wait runs into its
    // time-out.
    virtual void Send(std::span<const uint8_t> frame) = 0;
    // One step of the answer wait: a link without a thread of its own reads here. True
    // when bytes went to the port, so that the wait takes the next step at once.
    virtual bool Poll() { return false; }
    // The exchange ended without its answer: a frame of it still waiting to go out
    // (held back by a reconnect) must never be sent after it.
    virtual void DropUnsent() {}
    // Drops input not yet taken, at the device and in the port's receive buffer, before
    // a request goes out.
    virtual void Discard() = 0;
    // A link that has failed for good (a line that hung up): an exchange on it fails at
    // once instead of waiting out its time-out.
    virtual bool IsDead() const { return false; }
    // The link went away while an exchange waited on it (a line that hung up, a device
    // unplugged, a connection the reader closed, a radio link lost): the wait ends at
    // once, told as the reader being gone, whichever kind of link it was.
    virtual bool Lost() const { return IsDead(); }
    // Closes the link and gives its handle number back; nothing when it is not open.
    virtual void Close() = 0;
};

} // namespace kq
