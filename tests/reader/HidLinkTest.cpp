// The HID link: report sizes from report descriptors written out by hand from the HID
// item encoding, and the link against the simulator's HID endpoint (an independent
// implementation of the report layout) behind the hidraw socket seam.
#include "FakeSysfs.h"
#include "TestSupport.h"
#include "platform/HidReportDescriptor.h"
#include "reader/transport/HidReaderLink.h"
#include "sim/HidEndpoint.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using kqtest::Bytes;
using kqtest::Hex;

namespace {

// Catches report lengths that miss the ID byte, add up the wrong items, mix up the
// reports of different IDs or read past a broken descriptor.
TEST(HidReportDescriptor, Lengths) {
    struct Case {
        const char* what;
        const char* descriptor;
        bool valid, numbered;
        size_t input, output;
    } cases[] = {
        {"8 bytes each way", "06 00 FF 09 01 A1 01 75 08 95 08 81 02 95 08 91 02 C0", true, false, 9, 9},
        {"64 in, 64 out", "06 00 FF 09 01 A1 01 75 08 95 40 81 02 09 01 95 40 91 02 C0", true, false, 65, 65},
        {"two numbered input reports: the longer counts",
         "A1 01 85 01 75 08 95 08 81 02 85 02 95 10 81 02 85 01 95 04 91 02 C0", true, true, 17, 5},
        {"bits filled up to bytes", "A1 01 75 01 95 0C 81 02 75 08 95 02 91 02 C0", true, false, 3, 3},
        {"push keeps the size for after the pop", "75 08 A4 75 01 95 03 81 02 B4 95 02 81 02 C0", true, false,
         4, 0},
        {"a long item is skipped", "FE 02 10 AA BB 75 08 95 07 81 02 91 02", true, false, 8, 8},
        {"a 4-byte count", "75 08 97 10 00 00 00 81 02", true, false, 17, 0},
        {"an item cut short", "75 08 95", false, false, 0, 0},
        {"a long item cut short", "FE 05 10 AA", false, false, 0, 0},
        {"a pop without a push", "75 08 B4 81 02", false, false, 0, 0},
    };
    for (const Case& c : cases) {
        const Bytes bytes = Hex(c.descriptor);
        const kq::platform::HidReportLengths got = kq::platform::ParseHidReportDescriptor(bytes);
        EXPECT_EQ(got.valid, c.valid) << c.what;
        if (!c.valid) continue;
        EXPECT_EQ(got.numbered, c.numbered) << c.what;
        EXPECT_EQ(got.input, c.input) << c.what;
        EXPECT_EQ(got.output, c.output) << c.what;
    }
}

// Collects what the link hands up, as the port would.
struct Sink : kq::ReceiveSink {
    void OnReceive(std::span<const uint8_t> bytes) override {
        received.insert(received.end(), bytes.begin(), bytes.end());
    }
    void DiscardReceived() override { received.clear(); }
    Bytes received;
};

// A simulated reader on hidraw0 of a fake sysfs tree.
class HidLink : public ::testing::Test {
protected:
    void Plug(const kqsim::HidEndpoint::Options& options, const std::string& uniq = "1460-0042",
              const std::string& node = "hidraw0") {
        sysfs.AddHidraw(node, "1-2", 0x16C0, 0x2913, uniq);
        sysfs.AddHidReportDescriptor(node, kqsim::HidEndpoint::reportDescriptor(options));
        std::filesystem::create_directories(sysfs.Root() + "/dev");
        endpoint = std::make_unique<kqsim::HidEndpoint>(reader, sysfs.Root() + "/dev/" + node, options);
        ASSERT_TRUE(endpoint->ok()) << endpoint->error();
    }
    void SetUp() override { setenv("KQLMX_SYSFS_ROOT", sysfs.Root().c_str(), 1); }
    void TearDown() override {
        link.Close();
        endpoint.reset();
        unsetenv("KQLMX_SYSFS_ROOT");
    }
    // Polls until `count` bytes are in, 2 s at most.
    bool PollFor(size_t count) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (sink.received.size() < count && std::chrono::steady_clock::now() < until)
            link.Poll();
        return sink.received.size() >= count;
    }

    kqtest::FakeSysfs sysfs;
    kqsim::Simulator reader{{.typeCode = 0x184, .protocolType = 0}};
    std::unique_ptr<kqsim::HidEndpoint> endpoint;
    Sink sink;
    kq::CHidReaderLink link{sink};
};

// Catches chunks that are too long for the report, a count byte that is off, or a
// report not padded to the output length.
TEST_F(HidLink, FrameGoesOutInReportsOfTheOutputLength) {
    Plug({.inputLength = 9, .outputLength = 9});
    ASSERT_TRUE(link.Open("1460-0042 HID"));
    Bytes frame;
    for (uint8_t i = 1; i <= 20; ++i)
        frame.push_back(i);
    link.Send(frame);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (endpoint->outputReports().size() < 3 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<std::string> reports;
    for (const Bytes& report : endpoint->outputReports())
        reports.push_back(kqtest::ToHex(report));
    EXPECT_EQ(reports, (std::vector<std::string>{"00 07 01 02 03 04 05 06 07", "00 07 08 09 0A 0B 0C 0D 0E",
                                                 "00 06 0F 10 11 12 13 14 00"}));
}

// Catches reports of a device without report IDs read with the first payload byte
// taken for the ID, answers cut at report borders, and short reports taken as data.
TEST_F(HidLink, AnswersComeBackWholeFromInputReports) {
    struct Case {
        kqsim::HidEndpoint::Options options;
        bool shortReportFirst;
    } cases[] = {
        {{.inputLength = 9, .outputLength = 9}, false},
        {{.inputLength = 9, .outputLength = 9}, true},
        {{.inputLength = 65, .outputLength = 65, .numbered = true}, true},
        {{.inputLength = 5, .outputLength = 33, .numbered = false}, false},
    };
    int node = 0;
    for (const Case& c : cases) {
        const std::string uniq = "1460-010" + std::to_string(node);
        Plug(c.options, uniq, "hidraw" + std::to_string(node++));
        ASSERT_TRUE(link.Open(uniq + " HID"));
        EXPECT_EQ(link.InputReportLength(), c.options.inputLength);
        if (c.shortReportFirst) endpoint->injectShortReport();
        sink.received.clear();
        link.Send(Hex("02 01 F0 00 F1")); // type 0 version request
        ASSERT_TRUE(PollFor(9)) << c.options.inputLength;
        // 02 01 status 00, length 4, "184x", BCC
        EXPECT_EQ(kqtest::ToHex(Bytes(sink.received.begin(), sink.received.begin() + 7)),
                  "02 01 00 04 31 38 34")
            << c.options.inputLength << (c.shortReportFirst ? " after a short report" : "");
        link.Close();
        endpoint.reset();
    }
}

// Catches a missing start or stop report, a link that keeps its number after its
// device went away, and a crash on the gone device.
TEST_F(HidLink, ControlReportsAndUnplug) {
    Plug({.inputLength = 9, .outputLength = 9}, "");
    EXPECT_FALSE(link.Open("1460-0042 HID"));
    ASSERT_TRUE(link.Open("1319-???? HID"));
    EXPECT_EQ(link.Handle(), 10001);
    ASSERT_TRUE(link.SendControlReport(0));
    link.Close();
    EXPECT_EQ(link.Handle(), 0);
    ASSERT_TRUE(link.Open("1319-???? HID"));
    EXPECT_EQ(link.Handle(), 10001) << "the number is given again";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (endpoint->controlModes().size() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(endpoint->outputReports().size(), 2u);
    EXPECT_EQ(kqtest::ToHex(endpoint->outputReports()[0]), "00 82 10 00 00 00 00 00 00");
    EXPECT_EQ(kqtest::ToHex(endpoint->outputReports()[1]), "00 82 10 01 00 00 00 00 00");

    endpoint->unplug();
    const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (link.IsOpen() && std::chrono::steady_clock::now() < gone)
        link.Poll();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.Handle(), 0);
    link.Send(Hex("02 01 F0 00 F1")); // nothing to send on: no crash
    EXPECT_FALSE(link.SendControlReport(1));
}

} // namespace
