// The serial line between libkqlmx.so and the simulated reader on a real pty: the
// baud-rate change switches both sides, and the simulator paces its answers at the
// line's rate.
#include "ReaderE2eSupport.h"

#include <gtest/gtest.h>

namespace kqe2e {
namespace {

class ReaderBaudE2E : public ::testing::TestWithParam<int> {};

// Catches a baud-rate command the reader does not take, a host line that does not
// follow the reader (or follows a rate other than the one the reader switched to),
// and a host line changed although the reader refused.
TEST_P(ReaderBaudE2E, BaudChangeSwitchesReaderAndLine) {
    const int type = GetParam();
    PtyReader reader(Reader(type));
    OpenedPort port(reader.Path(), 19200, 500);
    ASSERT_EQ(port.Handle(), 1);
    const Bytes version = Version(port.Handle());
    ASSERT_EQ(version.size(), 4u);

    struct Change {
        int baud;
        int mode;
        int readerBaud;
        int readerLine;
    };
    const Change changes[] = {
        {115200, 0, 115200, kqsim::kLine8N1},   {57600, 3, 57600, kqsim::kLine8N2},
        {14400, 0, 19200, kqsim::kLine8N1}, // a rate without a code of its own: 19200
        {1382400, 0, 1382400, kqsim::kLine8N1}, {9600, 1, 9600, kqsim::kLine8E1},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(std::to_string(c.baud) + " mode " + std::to_string(c.mode));
        EXPECT_EQ(KQLMX_SetBaudRate(port.Handle(), c.baud, c.mode), 0);
        EXPECT_EQ(reader.sim.readerState().baud, c.readerBaud);
        EXPECT_EQ(reader.sim.readerState().lineMode, c.readerLine);
        reader.sim.clearLog();
        // The reader understands only bytes sent at its own rate and stop bits.
        EXPECT_EQ(Version(port.Handle()), version);
        EXPECT_TRUE(reader.sim.log(kqsim::LogKind::Discarded).empty());
    }

    // Line mode 5 does not exist: the reader refuses and both sides stay at 9600 8E1.
    EXPECT_EQ(KQLMX_SetBaudRate(port.Handle(), 38400, 5), -1);
    EXPECT_EQ(KQLMX_GetLastError(port.Handle()), type <= 1 ? 11 : 24);
    EXPECT_EQ(reader.sim.readerState().baud, 9600);
    EXPECT_EQ(Version(port.Handle()), version);
}

INSTANTIATE_TEST_SUITE_P(ProtocolTypes, ReaderBaudE2E, ::testing::Values(0, 1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Type" + std::to_string(info.param);
                         });

// Catches a simulator that sends its answers faster than the line's rate (or counts
// fewer than 10 bits a byte, or keeps its power-up rate after a switch), so that the wire time of an
// operation can be measured against it. The request of 5 bytes and the answer of 255 bytes take 2600 bits;
// the upper bound leaves room for a loaded machine.
TEST(ReaderPacingE2E, AnswersTakeTheirWireTime) {
    struct Case {
        int openBaud; // the reader's rate at power-up
        int baud;     // the rate of the measured exchange (switched to by the host)
        bool pacing;
    };
    const Case cases[] = {{2400, 2400, true}, {9600, 9600, true}, {19200, 2400, true}, {2400, 2400, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.openBaud) + " -> " + std::to_string(c.baud) +
                     (c.pacing ? " paced" : " not paced"));
        kqsim::ReaderConfig config = Reader(0);
        config.baud = c.openBaud;
        config.pacing = c.pacing;
        PtyReader reader(config);
        OpenedPort port(reader.Path(), c.openBaud, 3000);
        ASSERT_EQ(port.Handle(), 1);
        if (c.baud != c.openBaud) {
            ASSERT_EQ(KQLMX_SetBaudRate(port.Handle(), c.baud, 0), 0);
        }
        const auto wireTime = std::chrono::microseconds(2600LL * 1000000 / c.baud);

        reader.sim.inject(kqsim::Fault::maxLength(0x5A));
        Stopwatch watch;
        EXPECT_EQ(Version(port.Handle(), 300).size(), 250u) << "the version filled up to the longest answer";
        const auto elapsed = watch.Elapsed();
        if (c.pacing) {
            EXPECT_GE(elapsed, std::chrono::duration_cast<std::chrono::milliseconds>(wireTime));
            EXPECT_LT(elapsed, wireTime + 3000ms);
        } else {
            EXPECT_LT(elapsed, wireTime / 2);
        }
    }
}

} // namespace
} // namespace kqe2e
