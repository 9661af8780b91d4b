// An FTDI USB device, named by its serial number, as a serial line through D2XX.
#pragma once

#include "platform/Ftd2xx.h"
#include "platform/SerialLine.h"

#include <memory>
#include <string>

namespace kq::platform {

class FtdiDevice final : public SerialLine {
public:
    // nullptr when the library is missing or no device has that serial number.
    // Settings the device refuses do not make the open fail.
    static std::unique_ptr<FtdiDevice> Open(Ftd2xx& library, const std::string& serial,
                                            const LineSettings& settings);

    ~FtdiDevice() override;
    FtdiDevice(const FtdiDevice&) = delete;
    FtdiDevice& operator=(const FtdiDevice&) = delete;

    int PollFd() const override { return -1; } // the library offers no descriptor
    long Read(std::span<uint8_t> out) override;
    long Write(std::span<const uint8_t> bytes) override;
    bool Apply(const LineSettings& settings) override;
    void PurgeInput() override;

private:
    FtdiDevice(Ftd2xx& library, FtHandle handle) : library_(library), handle_(handle) {}
    Ftd2xx& library_;
    FtHandle handle_;
};

} // namespace kq::platform
