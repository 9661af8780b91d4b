// The reader port's exchange over a pty with a scripted reader: what the simulator
// cannot show (a lying length byte, frames refused before sending, the hooks of the
// wait, nested exchanges, late data). Answers of every shape per protocol type are
// shown against the simulator.
#include "TestSupport.h"
#include "kqlmx.h"
#include "reader/sdk/ReaderCommands.h"
#include "reader/transport/KQ_LMX_Port.h"

#include <gtest/gtest.h>

using kqtest::Hex;
using kqtest::ToHex;

namespace {

class PortExchange : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.Serial().Open(reader.SlavePath(), kq::platform::LineSettings{}));
        ASSERT_TRUE(port.Serial().StartMonitoring());
        port.timeoutMs = 200;
    }
    // Sends the command frame and answers whether a good answer came; its payload
    // lands in `payload`.
    bool Exchange(const std::string& commandHex) {
        const kq::Bytes command = Hex(commandHex);
        payload.clear();
        return kq::SendCommand(port, command[0], std::span(command).subspan(1), &payload);
    }

    kqtest::ScriptedReader reader;
    kq::CKQ_LMX_Port port;
    kq::Bytes payload;
};

} // namespace

// A reader that lies about the length (a frame cut short) gives a time-out, not a
// longer wait or a payload.
TEST_F(PortExchange, LyingLengthTimesOut) {
    port.timeoutMs = 60;
    reader.On("02 01 30 00 31", "02 01 00 0A 31 32 33");
    EXPECT_FALSE(Exchange("30"));
    EXPECT_EQ(port.lastError, KQLMX_ERROR_TIMEOUT);
}

// Catches a length byte that wraps around: the frame is refused and nothing is sent.
TEST_F(PortExchange, FrameLongerThan255IsNotSent) {
    port.protocolType = 2;
    const kq::Bytes data(255, 0x02); // ISO 15693 command: the mode byte makes 256
    EXPECT_FALSE(kq::SendCommand(port, 0x20, data, &payload));
    EXPECT_EQ(port.lastError, KQLMX_ERROR_DATA_TOO_LONG);
    EXPECT_TRUE(port.SendBuffer().empty());
    port.timeoutMs = 30;
    EXPECT_FALSE(Exchange("30"));
    EXPECT_EQ(port.lastError, KQLMX_ERROR_TIMEOUT) << "the port still works";
    EXPECT_TRUE(reader.Requests().empty());
}

TEST_F(PortExchange, NothingToSend) {
    port.SendBuffer().clear();
    EXPECT_FALSE(port.Transceive());
    EXPECT_EQ(port.lastError, KQLMX_ERROR_NOTHING_TO_SEND);
    EXPECT_TRUE(reader.Requests().empty());
}

TEST_F(PortExchange, SendingClearsTheLastError) {
    reader.On("02 01 F5 01 01 F4", "02 01 00 00 01");
    port.lastError = 0x20014;
    ASSERT_TRUE(Exchange("F5 01"));
    EXPECT_EQ(port.lastError, 0);
}

// Catches a wait that leaves the application's window disabled, restores it twice,
// or touches it although the wait mode says not to.
TEST_F(PortExchange, TimeOutRestoresTheWindowExactlyOnce) {
    port.timeoutMs = 30;
    {
        kqtest::CountingHooks counts;
        EXPECT_FALSE(Exchange("30"));
        EXPECT_EQ(port.lastError, KQLMX_ERROR_TIMEOUT);
        EXPECT_EQ(counts.disables, 1);
        EXPECT_EQ(counts.restores, 1);
        EXPECT_EQ(counts.restoredToken, &counts.disables);
        EXPECT_GT(counts.pumps, 0);
    }
    kqtest::CountingHooks quiet;
    port.waitMode = true;
    EXPECT_FALSE(Exchange("30"));
    EXPECT_EQ(quiet.disables, 0);
    EXPECT_EQ(quiet.restores, 0);
    EXPECT_GT(quiet.pumps, 0) << "events are pumped in every wait";
}

// Catches an answer taken only after a fixed sleep instead of when its last byte is in.
TEST_F(PortExchange, AnswerIsTakenAsSoonAsItIsComplete) {
    port.timeoutMs = 2000;
    reader.On("02 01 F5 01 01 F4", "02 01 00 00 01");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(Exchange("F5 01")) << port.lastError;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

// Catches a nested exchange (started from an event pumped by the wait) that flushes
// or overwrites the answer the outer exchange is waiting for.
TEST_F(PortExchange, NestedExchangeOnTheSamePortFailsCleanly) {
    reader.On("02 01 F0 00 F1", {{Hex("02 01 00 04 31 38 34 33 0B"), 50}});
    kqtest::CountingHooks counts;
    bool nestedResult = true;
    int nestedError = 0;
    counts.onPump = [&] {
        if (counts.pumps != 2) return;
        nestedResult = kq::SetRfFieldOnPort(port, true);
        nestedError = port.lastError;
    };
    ASSERT_TRUE(Exchange("F0")) << port.lastError;
    EXPECT_EQ(ToHex(payload), "31 38 34 33");
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(nestedError, KQLMX_ERROR_PORT_BUSY);
    EXPECT_EQ(port.lastError, 0) << "the nested refusal must not stick to the outer exchange";
    EXPECT_EQ(reader.Requests(), std::vector<std::string>{"02 01 F0 00 F1"});
}

namespace {

// A line whose device still holds a late answer to an earlier command: it shows up
// only after the next write, in front of the real answer, unless purged.
class LateDataLine : public kq::platform::SerialLine {
public:
    int PollFd() const override { return -1; }
    long Read(std::span<uint8_t> out) override {
        std::lock_guard lock(mutex);
        if (!written) return 0;
        const size_t n = std::min(out.size(), input.size());
        std::copy_n(input.begin(), n, out.begin());
        input.erase(input.begin(), input.begin() + static_cast<long>(n));
        return static_cast<long>(n);
    }
    long Write(std::span<const uint8_t> bytes) override {
        std::lock_guard lock(mutex);
        operations.push_back("write");
        written = true;
        input.insert(input.end(), answer.begin(), answer.end());
        return static_cast<long>(bytes.size());
    }
    bool Apply(const kq::platform::LineSettings&) override { return true; }
    void PurgeInput() override {
        std::lock_guard lock(mutex);
        operations.push_back("purge");
        input.clear();
    }

    std::mutex mutex;
    bool written = false;
    kq::Bytes input = Hex("02 01 00 00 01");
    kq::Bytes answer = Hex("02 01 00 04 31 38 34 33 0B");
    std::vector<std::string> operations;
};

} // namespace

TEST(PortLateData, DiscardedBeforeSending) {
    kq::CKQ_LMX_Port port;
    auto line = std::make_unique<LateDataLine>();
    LateDataLine* device = line.get();
    ASSERT_TRUE(port.Serial().Attach(std::move(line), false, kq::platform::LineSettings{}));
    ASSERT_TRUE(port.Serial().StartMonitoring());
    kq::Bytes answer;
    ASSERT_TRUE(kq::SendCommand(port, 0xF0, {}, &answer)) << port.lastError;
    EXPECT_EQ(ToHex(answer), "31 38 34 33");
    std::lock_guard lock(device->mutex);
    EXPECT_EQ(device->operations, (std::vector<std::string>{"purge", "write"}));
}
