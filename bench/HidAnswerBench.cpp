// How long a reader port takes to collect one long answer from a USB HID reader once
// all of its input reports are queued: a 255-byte answer frame (250 payload bytes,
// protocol type 0) comes back from a simulated HID endpoint in 9-byte reports (7 frame
// bytes each, 37 reports) and in 65-byte reports (63 each, 5 reports). The answer wait
// reads one report per step on the waiting thread; if it paused between steps, the
// time would grow by that pause per report. Prints per report size the report count,
// the median time of an exchange and the time per report.
//
//   kqlmx-hid-answer-bench [runs]      (default 50)
#include "FakeSysfs.h"
#include "reader/sdk/ReaderCommands.h"
#include "reader/transport/KQ_LMX_Port.h"
#include "sim/HidEndpoint.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

constexpr size_t kAnswerBytes = 255;

// A reader that answers every request with the same long frame, all at once.
class LongAnswer final : public kqsim::ByteService {
public:
    LongAnswer() {
        const size_t payload = kAnswerBytes - 5;
        frame_ = {0x02, 0x01, 0x00, static_cast<uint8_t>(payload)};
        for (size_t i = 0; i < payload; ++i)
            frame_.push_back(static_cast<uint8_t>(i));
        uint8_t check = 0;
        for (size_t i = 1; i < frame_.size(); ++i)
            check ^= frame_[i];
        frame_.push_back(check);
    }
    kqsim::Outgoing receive(const std::uint8_t*, std::size_t,
                            const std::optional<kqsim::LineSettings>&) override {
        kqsim::Outgoing out;
        out.chunks.push_back({std::chrono::microseconds(0), frame_});
        return out;
    }
    void attach(kqsim::LinkControl*) override {}
    void detach(kqsim::LinkControl*) override {}

private:
    kqsim::Bytes frame_;
};

int Measure(size_t reportLength, int runs) {
    kqtest::FakeSysfs sysfs;
    setenv("KQLMX_SYSFS_ROOT", sysfs.Root().c_str(), 1);
    const kqsim::HidEndpoint::Options options{.inputLength = reportLength, .outputLength = reportLength};
    sysfs.AddHidraw("hidraw0", "1-2", 0x1C40, 0x05AF, "1460-0001");
    sysfs.AddHidReportDescriptor("hidraw0", kqsim::HidEndpoint::reportDescriptor(options));
    std::filesystem::create_directories(sysfs.Root() + "/dev");
    LongAnswer reader;
    kqsim::HidEndpoint endpoint(reader, sysfs.Root() + "/dev/hidraw0", options);
    kq::CKQ_LMX_Port port;
    port.waitMode = true;
    port.timeoutMs = 1000;
    if (!endpoint.ok() || !port.Hid().Open("1460-0001 HID")) {
        std::fprintf(stderr, "no HID link: %s\n", endpoint.error().c_str());
        return 1;
    }
    const size_t perReport = reportLength - 2;
    const size_t reports = (kAnswerBytes + perReport - 1) / perReport;
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        kq::Bytes answer;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = kq::SendCommand(port, 0xF0, {}, &answer);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (!ok || answer.size() != kAnswerBytes - 5) {
            std::fprintf(stderr, "exchange %d failed (error %d)\n", run, port.lastError.load());
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("HID %2zu-byte reports: %zu-byte answer in %2zu reports: median %6.2f ms, %.3f ms per report "
                "(fastest %.2f ms, slowest %.2f ms)\n",
                reportLength, kAnswerBytes, reports, median, median / static_cast<double>(reports),
                ms.front(), ms.back());
    port.Close();
    unsetenv("KQLMX_SYSFS_ROOT");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    int result = 0;
    for (const size_t length : {size_t{9}, size_t{65}})
        result |= Measure(length, runs);
    return result;
}
