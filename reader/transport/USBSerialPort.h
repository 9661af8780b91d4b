// The serial line under a reader port: a tty (device path or COM name) or an FTDI
// device named by its serial number. One communication thread per open line moves
// received bytes to the owner and writes queued output; it waits on the line's
// descriptor and a wake event (an FTDI device without descriptor is asked every
// millisecond). The thread never closes the line: when the line fails it marks it
// dead and ends; only StopMonitoring (the owner) closes it, once.
#pragma once

#include "platform/SerialLine.h"
#include "platform/WakeEvent.h"
#include "reader/transport/ReceiveSink.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace kq {

class CUSBSerialPort {
public:
    explicit CUSBSerialPort(ReceiveSink& owner) : owner_(owner) {}
    ~CUSBSerialPort() { StopMonitoring(); }
    CUSBSerialPort(const CUSBSerialPort&) = delete;
    CUSBSerialPort& operator=(const CUSBSerialPort&) = delete;

    // Opens the line (closing one still open); false when the device cannot be opened.
    bool Open(const std::string& name, const platform::LineSettings& settings, size_t writeBufferSize = 512);
    // Takes a line opened elsewhere.
    bool Attach(std::unique_ptr<platform::SerialLine> line, bool ftdi, const platform::LineSettings& settings,
                size_t writeBufferSize = 512);

    // Starts the communication thread; false when it runs already or no line is open.
    bool StartMonitoring();
    // Stops the thread, then closes the line.
    void StopMonitoring();

    // Queues bytes for the thread. A block that does not fit the rest of the write
    // buffer is dropped whole (false).
    bool QueueWrite(std::span<const uint8_t> bytes);

    bool SetLineSettings(const platform::LineSettings& settings);
    const platform::LineSettings& LineSettings() const { return settings_; }

    // Drops input waiting at the device and every byte delivered to the owner, with
    // no delivery in between.
    void DiscardInput();

    bool IsOpen() const { return line_ != nullptr; }
    bool IsFtdi() const { return ftdi_; }
    bool IsLineDead() const { return dead_.load(); }

private:
    void Run();
    bool ReadAvailable();
    bool WritePending();

    ReceiveSink& owner_;
    std::unique_ptr<platform::SerialLine> line_;
    bool ftdi_ = false;
    platform::LineSettings settings_;
    std::mutex ioMutex_; // one read-and-deliver, or one discard, at a time
    std::mutex writeMutex_;
    std::vector<uint8_t> writeBuffer_;
    size_t writeBufferSize_ = 512;
    platform::WakeEvent wake_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dead_{false};
    std::thread thread_;
};

} // namespace kq
