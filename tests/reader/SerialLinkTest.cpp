// The tty line and the communication thread of the serial link, over a pty.
#include "TestSupport.h"
#include "platform/SerialDevice.h"
#include "reader/transport/USBSerialPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <unistd.h>

using kq::platform::LineSettings;
using kq::platform::Parity;
using kq::platform::SerialDevice;
using kqtest::Hex;

namespace {

class CollectingSink : public kq::ReceiveSink {
public:
    void OnReceive(std::span<const uint8_t> bytes) override {
        std::lock_guard lock(mutex_);
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        arrived_.notify_all();
    }
    void DiscardReceived() override {
        std::lock_guard lock(mutex_);
        bytes_.clear();
    }
    kqtest::Bytes WaitFor(size_t count) {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return bytes_.size() >= count; });
        return bytes_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    kqtest::Bytes bytes_;
};

} // namespace

// Catches a line left at another rate or stop bits, and rates without a classic
// speed code refused. (A pty keeps no parity: the kernel clears it on every change;
// the parity bits reach FTDI devices, see the FTDI tests.)
TEST(SerialDevice, AppliesRateAndStopBits) {
    kqtest::ScriptedReader pty;
    auto device = SerialDevice::Open(pty.SlavePath(), LineSettings{115200, Parity::Even, 8, 2});
    ASSERT_TRUE(device);
    auto line = pty.SlaveLine();
    EXPECT_EQ(line.rate, 115200u);
    EXPECT_TRUE(kqtest::HasTwoStopBits(line.cflag));

    ASSERT_TRUE(device->Apply(LineSettings{250000, Parity::Odd, 8, 1}));
    line = pty.SlaveLine();
    EXPECT_EQ(line.rate, 250000u);
    EXPECT_FALSE(kqtest::HasTwoStopBits(line.cflag));

    EXPECT_FALSE(device->Apply(LineSettings{0, Parity::None, 8, 1})) << "rate 0 would hang the line up";
    EXPECT_EQ(pty.SlaveLine().rate, 250000u);
}

// Catches two programs (or two ports) writing frames into the same reader, and
// frames written into something that is no serial line.
TEST(SerialDevice, OpensOnlyFreeTtys) {
    kqtest::ScriptedReader pty;
    auto first = SerialDevice::Open(pty.SlavePath(), LineSettings{});
    ASSERT_TRUE(first);
    int error = 0;
    EXPECT_FALSE(SerialDevice::Open(pty.SlavePath(), LineSettings{}, &error));
    EXPECT_NE(error, 0);
    first.reset();
    EXPECT_TRUE(SerialDevice::Open(pty.SlavePath(), LineSettings{})) << "closing frees the device";

    EXPECT_FALSE(SerialDevice::Open("/dev/null", LineSettings{}, &error));
    EXPECT_EQ(error, ENOTTY);
    EXPECT_FALSE(SerialDevice::Open("/dev/kqlmx-no-such-device", LineSettings{}, &error));
    EXPECT_EQ(error, ENOENT);
}

TEST(SerialLink, ThreadMovesBytesBothWays) {
    kqtest::ScriptedReader pty;
    pty.On("02 01 F0 00 F1", "02 01 00 04 31 38 34 33 0B");
    CollectingSink sink;
    kq::CUSBSerialPort link(sink);
    ASSERT_TRUE(link.Open(pty.SlavePath(), LineSettings{38400}));
    EXPECT_FALSE(link.IsFtdi());
    ASSERT_TRUE(link.StartMonitoring());
    EXPECT_FALSE(link.StartMonitoring()) << "one thread per line";

    ASSERT_TRUE(link.QueueWrite(Hex("02 01 F0 00 F1")));
    EXPECT_EQ(sink.WaitFor(9), Hex("02 01 00 04 31 38 34 33 0B"));
    EXPECT_EQ(pty.Requests(), std::vector<std::string>{"02 01 F0 00 F1"});
    link.StopMonitoring();
    EXPECT_FALSE(link.IsOpen());
}

// A block that does not fit the rest of the 512-byte write buffer is dropped whole;
// one that fills it exactly is queued. (No thread runs, so nothing drains.)
TEST(SerialLink, WriteBufferTakesWholeBlocksOnly) {
    kqtest::ScriptedReader pty;
    CollectingSink sink;
    kq::CUSBSerialPort link(sink);
    ASSERT_TRUE(link.Open(pty.SlavePath(), LineSettings{}, 512));
    EXPECT_TRUE(link.QueueWrite(kqtest::Bytes(500, 0x55)));
    EXPECT_FALSE(link.QueueWrite(kqtest::Bytes(13, 0x66)));
    EXPECT_TRUE(link.QueueWrite(kqtest::Bytes(12, 0x77)));
    EXPECT_FALSE(link.QueueWrite(kqtest::Bytes(1, 0x88)));
}

// Catches the thread closing the device when the line hangs up: the number would be
// free, the next open would get it, and the owner's close would then close that.
TEST(SerialLink, HangUpMarksTheLineDeadAndOnlyTheOwnerCloses) {
    auto pty = std::make_unique<kqtest::ScriptedReader>();
    CollectingSink sink;
    kq::CUSBSerialPort link(sink);
    ASSERT_TRUE(link.Open(pty->SlavePath(), LineSettings{}));
    ASSERT_TRUE(link.StartMonitoring());
    pty.reset(); // the reader's side goes away: the line hangs up
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!link.IsLineDead() && std::chrono::steady_clock::now() < end)
        usleep(1000);
    ASSERT_TRUE(link.IsLineDead());
    EXPECT_TRUE(link.IsOpen()) << "the owner still holds the line";
    EXPECT_TRUE(link.QueueWrite(Hex("02 01 F0 00 F1"))) << "queued, never sent";

    const int other = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    link.StopMonitoring();
    EXPECT_NE(fcntl(other, F_GETFD), -1) << "the owner closed a descriptor that was not its own";
    close(other);
}
