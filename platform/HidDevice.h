// A HID device opened through hidraw, in place of the HID class driver's report
// input and output: one report per read or write, the report-ID byte always in front.
//
// The device is <root>/dev/<name> (the root of SysfsDevices.h), its report lengths come
// from <root>/sys/class/hidraw/<name>/device/report_descriptor. hidraw hands out the
// reports of a device that numbers none without an ID byte; Read puts a 0 in front of
// those, so a report always looks the same to the caller.
//
// A node that is a UNIX socket instead of a character device is taken as a HID device
// served by a test program: the opener connects to it with SOCK_SEQPACKET, every
// datagram is one report exactly as hidraw would read or write it, and the peer
// closing its end is the device being unplugged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kq::platform {

class HidDevice {
public:
    // The longest report a reader link handles: the ID byte and 64 bytes.
    static constexpr size_t kMaxReportLength = 65;
    // The lengths used when the descriptor cannot be read.
    static constexpr size_t kDefaultReportLength = 9;

    // nullptr when the node cannot be opened or a report length is outside 3..65.
    static std::unique_ptr<HidDevice> Open(const std::string& name);
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    size_t InputReportLength() const { return inputLength_; }
    size_t OutputReportLength() const { return outputLength_; }

    enum class ReadStatus { Report, Nothing, Gone };
    // Waits at most `waitMs` for one input report. Gone: the device went away (read
    // error or hang-up); nothing more will come.
    ReadStatus Read(std::vector<uint8_t>& report, int waitMs);
    // Writes one output report (report[0] its ID, 0 for a device that numbers none).
    // False when the device has not taken all of it within `waitMs`.
    bool Write(std::span<const uint8_t> report, int waitMs);

private:
    HidDevice(int fd, bool socket, bool numbered, size_t inputLength, size_t outputLength)
        : fd_(fd), socket_(socket), numbered_(numbered), inputLength_(inputLength),
          outputLength_(outputLength) {}

    int fd_;
    bool socket_;
    bool numbered_;
    size_t inputLength_;
    size_t outputLength_;
};

} // namespace kq::platform
