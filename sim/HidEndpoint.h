// Serves a simulated reader as a USB HID device. There is no uhid here, so the device
// is a UNIX SOCK_SEQPACKET socket bound at the path a hidraw node would have
// (<root>/dev/hidrawN under the reader library's KQLMX_SYSFS_ROOT): one datagram per
// report, exactly as hidraw reads and writes them, and closing the socket is pulling
// the plug.
//
//   output data report (host -> reader):  ID, n, n frame bytes, zero padding
//   output control report:                ID, 82, 10, m (logged, not answered)
//   input report (reader -> host):        [ID,] n, n answer bytes, zero padding
// The input report carries its ID byte only when the device numbers its reports
// (hidraw leaves the byte out otherwise). The descriptor that tells the host the report
// lengths comes from reportDescriptor().
//
//   kqsim::Simulator reader;
//   kqsim::HidEndpoint hid(reader, root + "/dev/hidraw0", {.inputLength = 9, .outputLength = 9});
#pragma once

#include "ByteService.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kqsim {

class HidEndpoint : public LinkControl {
public:
    struct Options {
        std::size_t inputLength = 9; // with the ID byte, as the host counts it
        std::size_t outputLength = 9;
        bool numbered = false; // reports carry ID 1
    };

    HidEndpoint(ByteService& reader, const std::string& socketPath, const Options& options);
    ~HidEndpoint() override; // unplugs
    HidEndpoint(const HidEndpoint&) = delete;
    HidEndpoint& operator=(const HidEndpoint&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // A vendor-defined report descriptor with these report lengths.
    static Bytes reportDescriptor(const Options& options);

    // --- faults -----------------------------------------------------------------------
    // Before the next answer, a report shorter than the input length goes out, full of
    // bytes that would spoil the answer if the host took them.
    void injectShortReport();
    // The next input report is not sent.
    void dropNextReport();
    // Closes the connection and the socket: the device is gone.
    void unplug();
    void dropLink() override { unplug(); }

    // --- log --------------------------------------------------------------------------
    std::vector<Bytes> outputReports() const; // every report the host wrote, as written
    std::vector<int> controlModes() const;    // m of every control report, in order

private:
    void run();
    void serve(const Bytes& report);
    bool sendInput(const std::uint8_t* data, std::size_t size);
    void closeAll();

    ByteService& reader_;
    const Options options_;
    std::string path_;
    std::string error_;
    int listen_ = -1;
    int conn_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> unplug_{false};
    mutable std::mutex mutex_;
    std::vector<Bytes> outputs_;
    std::vector<int> modes_;
    bool shortReport_ = false;
    bool dropReport_ = false;
    std::thread thread_;
};

} // namespace kqsim
