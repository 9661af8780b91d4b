// The link to a reader with a USB HID interface. It finds the reader by its name (the
// serial-number string followed by " HID"), carries the port's reader frames in output
// reports and hands back the bytes of input reports when the port polls it:
//   output data report:    00, n, n frame bytes, zeros up to the output report length
//   output control report: 00, 82, 10, m, zeros (m = 0 after opening, 1 before closing)
//   input report:          ID, n, n payload bytes, anything behind them ignored
// The link has no thread: the port's answer wait polls it. A device that goes away
// closes the link by itself, which then holds no handle number any more.
#pragma once

#include "platform/HidDevice.h"
#include "reader/transport/ReaderLink.h"
#include "reader/transport/ReceiveSink.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kq {

class CHidReaderLink final : public ReaderLink {
public:
    explicit CHidReaderLink(ReceiveSink& owner) : owner_(owner) {}
    ~CHidReaderLink() override { Close(); }
    CHidReaderLink(const CHidReaderLink&) = delete;
    CHidReaderLink& operator=(const CHidReaderLink&) = delete;

    // Opens the first attached reader whose name equals `name` exactly and takes a
    // number from the HID handle registry.
    bool Open(const std::string& name);
    // The control report with mode byte m; false when the device did not take it
    // within 50 ms or the link is closed.
    bool SendControlReport(uint8_t m);
    // Sends the bytes in output data reports of at most output length - 2 bytes each.
    bool WriteData(std::span<const uint8_t> bytes);
    // The payload of one input report, at most `size` bytes, waiting at most 1 ms; 0
    // when none came, the report was short, or the device went away (the link is then
    // closed).
    size_t ReadInput(uint8_t* buffer, size_t size);

    // The port's link: frames go out in data reports; the poll step hands up to 100
    // received bytes to the port; the discard reads away waiting reports first; the
    // close sends the control report 1 before it closes the device.
    bool IsOpen() const override { return device_ != nullptr; }
    // The handle number (10001 and up), 0 when closed.
    int Handle() const override { return handle_; }
    void Send(std::span<const uint8_t> frame) override { WriteData(frame); }
    bool Poll() override;
    // A device that went away has closed the link.
    bool Lost() const override { return device_ == nullptr; }
    void Discard() override;
    void Close() override;

    const std::string& Name() const { return name_; }
    size_t InputReportLength() const { return device_ ? device_->InputReportLength() : 0; }
    size_t OutputReportLength() const { return device_ ? device_->OutputReportLength() : 0; }

private:
    bool WriteReport(std::span<const uint8_t> report);
    void CloseDevice();

    ReceiveSink& owner_;
    std::string name_;
    int handle_ = 0;
    std::unique_ptr<platform::HidDevice> device_;
};

} // namespace kq
