// A tty device (/dev/ttyUSB0, /dev/ttyACM0, /dev/pts/5) as a raw serial line.
#pragma once

#include "platform/SerialLine.h"

#include <memory>
#include <string>

namespace kq::platform {

class SerialDevice final : public SerialLine {
public:
    // Opens the tty exclusively (flock and TIOCEXCL), raw, with the given settings.
    // Fails (nullptr, `error` = errno) when the path cannot be opened, is not a tty or
    // is held by another open. Settings or modem lines the device refuses do not
    // make the open fail: the line keeps what it had.
    static std::unique_ptr<SerialDevice> Open(const std::string& path, const LineSettings& settings,
                                              int* error = nullptr);

    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    int PollFd() const override { return fd_; }
    long Read(std::span<uint8_t> out) override;
    long Write(std::span<const uint8_t> bytes) override;
    bool Apply(const LineSettings& settings) override;
    void PurgeInput() override;
    // Holds the line in the break state, or ends it; false when the device refused.
    bool SetBreak(bool on);

private:
    explicit SerialDevice(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace kq::platform
