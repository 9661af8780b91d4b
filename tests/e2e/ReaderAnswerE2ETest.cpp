// Answers of every shape the simulated reader can give, taken by libkqlmx.so over a
// real pty, per protocol type: trailing bytes, noise, split answers, chains, the
// longest plain answers, wrong check bytes, reader status, silence; and the reader
// settings commands reaching the reader.
#include "ReaderE2eSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kqe2e {
namespace {

using kqsim::Fault;

// What each protocol type looks like on the wire, written out by hand.
struct TypeWire {
    int type;
    Bytes version;     // the version the library reports for the simulated KQ-LM90
    Bytes plainAnswer; // the payload of the reader's answer to the plain version command
    Bytes staleAnswer; // a complete version answer "9990" in this type's layout
    Bytes chained;     // that payload sent in chain blocks of 3, as the library hands it on
    size_t longest;    // payload of the longest plain answer
    bool checkBytes;   // BCC or CRC
    uint8_t status;    // a reader status ...
    int statusError;   // ... and the last error it gives
    int moreDataError; // the last error of status 20 (type 0: more data, the answer is good)
};

const TypeWire kTypes[] = {
    {0,
     {'1', '8', '4', '4'},
     {'1', '8', '4', '4'},
     {0x02, 0x01, 0x00, 0x04, '9', '9', '9', '0', 0x0C},
     {0x03, '1', '8', '4', 0x01, '4'},
     250,
     true,
     0x07,
     44,
     KQLMX_ERROR_MORE_DATA},
    {1,
     {'1', '8', '4', '4'},
     {'1', '8', '4', '4'},
     {0x01, 0x00, 0x04, '9', '9', '9', '0', 0x34, 0xD5},
     {0x03, '1', '8', '4', 0x01, '4'},
     250,
     true,
     0x05,
     5,
     0x20},
    // Type 2: the plain version answer is 04 05 "15", then "FV" brings "1844"; an answer
    // of another length than 4 is handed on as it is, without "FV".
    {2,
     {'1', '8', '4', '4'},
     {0x04, 0x05, '1', '5'},
     {0x1E, 0x0B, 0x04, '9', '9', '9', '0'},
     {0x03, 0x04, 0x05, '1', 0x01, '5'},
     252,
     false,
     0xC4,
     21,
     KQLMX_ERROR_UNEXPECTED_ANSWER},
    // Type 3: 9 bytes "KQ" 03 01 "1844" 00, reported as "117" and the fourth character;
    // an answer of another length is handed on as it is.
    {3,
     {'1', '1', '7', '4'},
     {'K', 'Q', 0x03, 0x01, '1', '8', '4', '4', 0x00},
     {0x1E, 0x60, 0x09, 'K', 'Q', 0x03, 0x01, '9', '9', '9', '0', 0x00},
     {0x03, 'K', 'Q', 0x03, 0x03, 0x01, '1', '8', 0x03, '4', '4', 0x00},
     252,
     false,
     0xCC,
     23,
     KQLMX_ERROR_UNEXPECTED_ANSWER},
};

class ReaderAnswerE2E : public ::testing::TestWithParam<int> {
protected:
    static const TypeWire& Wire() { return kTypes[GetParam()]; }
    void SetUp() override {
        ASSERT_TRUE(reader.pty.ok()) << reader.pty.error();
        ASSERT_EQ(port.Handle(), 1);
    }
    // The next version answer shaped by `fault`; the version read (empty on failure).
    Bytes Ask(Fault fault, int capacity = 16) {
        reader.sim.inject(fault.forCommand(VersionCommand(GetParam())));
        return Version(port.Handle(), capacity);
    }
    // Nothing of the answer before is left to be taken for this one.
    void ExpectCleanExchange(const char* after) {
        EXPECT_EQ(Version(port.Handle()), Wire().version) << "after " << after;
    }

    PtyReader reader{Reader(GetParam())};
    // Each phase of an answer gets the whole time-out; pauses of 1200 ms leave a busy
    // machine 800 ms to spare.
    OpenedPort port{reader.Path(), 19200, 2000};
};

// Catches bytes after an answer appended to its payload, failing its check, or taken
// as the next answer (also as the answer to the type 2 "FV" follow-up).
TEST_P(ReaderAnswerE2E, TrailingBytesStayForTheNextFlush) {
    EXPECT_EQ(Ask(Fault::trailing(Wire().staleAnswer)), Wire().version);
    EXPECT_EQ(KQLMX_GetLastError(port.Handle()), KQLMX_ERROR_NONE);
    ExpectCleanExchange("trailing bytes");
    EXPECT_EQ(Ask(Fault::trailing({0x99})), Wire().version);
    ExpectCleanExchange("a trailing byte");
}

// Catches noise before the start byte not dropped, and an answer cut into pieces by
// pauses not waited for (every phase of the wait has the full time-out).
TEST_P(ReaderAnswerE2E, NoiseAndPausesInsideTheAnswer) {
    if (GetParam() != 1) {
        // Type 1 has no start byte to find the frame by.
        EXPECT_EQ(Ask(Fault::noise({0x55, 0xAA, 0x00, 0xFF, 0x99})), Wire().version);
        ExpectCleanExchange("noise");
        // Noise enough for a header, then the frame: 3600 ms in all, at most 1200 ms a phase.
        reader.sim.inject(
            Fault::noise({0x55, 0xAA, 0x00, 0xFF, 0x99}).forCommand(VersionCommand(GetParam())));
        EXPECT_EQ(Ask(Fault::delay({.beforeAnswer = 1200ms, .beforeFrame = 1200ms, .afterHeader = 1200ms})),
                  Wire().version);
        ExpectCleanExchange("noise and pauses");
    }
    // 2400 ms in all against the port's 2000 ms, but each phase gets its 2000 ms.
    EXPECT_EQ(Ask(Fault::delay({.beforeAnswer = 1200ms, .afterHeader = 1200ms})), Wire().version);
    ExpectCleanExchange("a split answer");
}

// Catches a chain not recognised by its FF length byte, its block counts dropped, its
// ending FF or check bytes kept, a chain cut at 255 bytes, and a length byte of
// 250/252 taken for a chain.
TEST_P(ReaderAnswerE2E, ChainsAndTheLongestPlainAnswers) {
    EXPECT_EQ(Ask(Fault::chain(3)), Wire().chained);
    EXPECT_EQ(KQLMX_GetLastError(port.Handle()), KQLMX_ERROR_NONE);
    ExpectCleanExchange("a chained answer");
    // Filled up with FF, which a chain would read as its end.
    Bytes longest = Wire().plainAnswer;
    longest.resize(Wire().longest, 0xFF);
    EXPECT_EQ(Ask(Fault::maxLength(0xFF), 300), longest);
    ExpectCleanExchange("the longest plain answer");

    // The same payload in blocks of 100: a frame longer than 255 bytes, FF inside blocks.
    Bytes blocks;
    for (size_t at = 0; at < longest.size(); at += 100) {
        const size_t n = std::min<size_t>(100, longest.size() - at);
        blocks.push_back(static_cast<uint8_t>(n));
        blocks.insert(blocks.end(), longest.begin() + static_cast<long>(at),
                      longest.begin() + static_cast<long>(at + n));
    }
    reader.sim.inject(Fault::maxLength(0xFF).forCommand(VersionCommand(GetParam())));
    EXPECT_EQ(Ask(Fault::chain(100), 300), blocks);
    ExpectCleanExchange("a chain longer than a plain frame");
}

// Catches a wrong BCC or CRC accepted, a reader status read at the wrong place or
// mapped wrongly (status 20 is a good answer of type 0 only), and silence reported
// as anything but a time-out.
TEST_P(ReaderAnswerE2E, FailedAnswersGiveTheirErrors) {
    if (Wire().checkBytes) {
        EXPECT_TRUE(Ask(Fault::badCheck()).empty());
        EXPECT_EQ(KQLMX_GetLastError(port.Handle()), KQLMX_ERROR_CHECK_BYTES);
        ExpectCleanExchange("wrong check bytes");
    }
    EXPECT_TRUE(Ask(Fault::status(Wire().status)).empty());
    EXPECT_EQ(KQLMX_GetLastError(port.Handle()), Wire().statusError);
    ExpectCleanExchange("a reader status");
    const Bytes moreData = Ask(Fault::status(0x20));
    EXPECT_EQ(KQLMX_GetLastError(port.Handle()), Wire().moreDataError);
    EXPECT_EQ(moreData, GetParam() == 0 ? Wire().plainAnswer : Bytes{});
    ExpectCleanExchange("status 20");
    EXPECT_TRUE(Ask(Fault::silence()).empty());
    EXPECT_EQ(KQLMX_GetLastError(port.Handle()), KQLMX_ERROR_TIMEOUT);
    ExpectCleanExchange("silence");
}

// Catches a command translation of types 2/3 (RF field 0C/0D, outputs 07, USB mode
// 0F or FF) that the reader does not understand, and an acknowledgement not taken.
TEST_P(ReaderAnswerE2E, ReaderSettingsReachTheReader) {
    const int handle = port.Handle();
    EXPECT_EQ(KQLMX_SetRfField(handle, 0), 0);
    EXPECT_FALSE(reader.sim.readerState().rfField);
    EXPECT_EQ(KQLMX_SetRfField(handle, 7), 0);
    EXPECT_TRUE(reader.sim.readerState().rfField);
    EXPECT_EQ(KQLMX_SetOutputs(handle, 0x30, 0x10), 0);
    EXPECT_EQ(KQLMX_SetOutputs(handle, 0x01, 0xFF), 0);
    EXPECT_EQ(reader.sim.readerState().outputs, 0x11);
    const auto history = reader.sim.outputHistory();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].mask, 0x30);
    EXPECT_EQ(history[0].value, 0x10);
    EXPECT_LE(history[0].time, history[1].time) << "outputs logged with their time";
    EXPECT_EQ(KQLMX_SetUsbMode(handle, 2), 0);
    EXPECT_EQ(reader.sim.readerState().usbMode, 2);
    EXPECT_EQ(KQLMX_SetUsbMode(handle, 1), 0);
    EXPECT_EQ(reader.sim.readerState().usbMode, 1);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_NONE);
}

INSTANTIATE_TEST_SUITE_P(ProtocolTypes, ReaderAnswerE2E, ::testing::Values(0, 1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Type" + std::to_string(info.param);
                         });

} // namespace
} // namespace kqe2e
