// The serial line of a reader port (a tty or an FTDI device) as one of its links. The
// serial handle is taken only after the line is open and the reader layer accepts it.
#pragma once

#include "reader/transport/ReaderLink.h"
#include "reader/transport/USBSerialPort.h"

namespace kq {

class SerialReaderLink final : public ReaderLink {
public:
    explicit SerialReaderLink(ReceiveSink& owner) : line_(owner) {}
    ~SerialReaderLink() override { Close(); }

    CUSBSerialPort& Line() { return line_; }
    const CUSBSerialPort& Line() const { return line_; }
    // Takes a number from the serial handle registry for the open line.
    int AllocateHandle();

    bool IsOpen() const override { return line_.IsOpen(); }
    int Handle() const override { return handle_; }
    void Send(std::span<const uint8_t> frame) override { line_.QueueWrite(frame); }
    void Discard() override { line_.DiscardInput(); }
    bool IsDead() const override { return line_.IsLineDead(); }
    void Close() override;

private:
    int handle_ = 0;
    CUSBSerialPort line_;
};

} // namespace kq
