// The simulated reader's own commands and its fault injection, driven in-process.
// Requests and answers are written out by hand from the frame layouts.
#include "sim/InProcessEndpoint.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <thread>

namespace kqsim {
namespace {

const Bytes kVersion0 = {0x02, 0x01, 0xF0, 0x00, 0xF1};
const Bytes kVersionAnswer0 = {0x02, 0x01, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0x0C};

struct VersionCase {
  const char* name;
  int type;
  Bytes request;
  Bytes answer;
};

class SimReaderVersion : public testing::TestWithParam<VersionCase> {};

TEST_P(SimReaderVersion, AnswersVersionOfItsProtocolType) {
  const VersionCase& c = GetParam();
  Simulator sim({.typeCode = 0x184, .firmwareDigit = 4, .protocolType = c.type});
  InProcessEndpoint host(sim);
  EXPECT_EQ(host.send(c.request), c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, SimReaderVersion,
    testing::Values(
        VersionCase{"type0", 0, kVersion0, kVersionAnswer0},
        VersionCase{"type1", 1, {0x01, 0xF0, 0x00, 0x64, 0x00}, {0x01, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0x62, 0x26}},
        // Plain version: the fixed short identification; "FV": the version text.
        VersionCase{"type2_plain", 2, {0x1E, 0x0B, 0x00}, {0x1E, 0x0B, 0x04, 0x04, 0x05, 0x31, 0x35}},
        VersionCase{"type2_fv", 2, {0x1E, 0x0B, 0x02, 'F', 'V'}, {0x1E, 0x0B, 0x04, 0x31, 0x38, 0x34, 0x34}},
        VersionCase{"type3_nine_bytes", 3, {0x1E, 0x60, 0x00},
                    {0x1E, 0x60, 0x09, 'K', 'Q', 0x03, 0x01, 0x31, 0x38, 0x34, 0x34, 0x00}},
        // A frame of another protocol type is not understood at all.
        VersionCase{"type2_ignores_type0_frame", 2, kVersion0, {}},
        VersionCase{"type0_ignores_type1_frame", 0, {0x01, 0xF0, 0x00, 0x64, 0x00}, {}}),
    [](const testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST(SimReader, FirmwareDigitIsBase62) {
  Simulator sim({.typeCode = 0xA1B, .firmwareDigit = 36});
  InProcessEndpoint host(sim);
  Bytes answer = host.send(kVersion0);
  ASSERT_EQ(answer.size(), 9u);
  EXPECT_EQ(Bytes(answer.begin() + 4, answer.begin() + 8), (Bytes{'A', '1', 'B', 'a'}));
}

TEST(SimReader, AnswersOnlyAtItsOwnAddress) {
  Simulator sim({.address = 2});
  InProcessEndpoint host(sim);
  EXPECT_TRUE(host.send(kVersion0).empty());
  EXPECT_EQ(host.send({0x02, 0x02, 0xF0, 0x00, 0xF2}), (Bytes{0x02, 0x02, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0x0F}));
}

TEST(SimReader, BaudChangeAcknowledgedAtOldRateThenOnlyNewRateUnderstood) {
  Simulator sim;
  InProcessEndpoint host(sim);
  host.setHostLine(LineSettings{19200, kLine8N1, true});
  // F2 with code 6 (115200), line mode 3 (two stop bits).
  EXPECT_EQ(host.send({0x02, 0x01, 0xF2, 0x01, 0x36, 0xC4}), (Bytes{0x02, 0x01, 0x00, 0x00, 0x01}));
  EXPECT_EQ(sim.readerState().baud, 115200);
  EXPECT_EQ(sim.readerState().lineMode, kLine8N2);
  EXPECT_TRUE(host.send(kVersion0).empty());  // still at 19200 on the host side
  host.setHostLine(LineSettings{115200, kLine8N1, true});
  EXPECT_TRUE(host.send(kVersion0).empty());  // one stop bit too few
  host.setHostLine(LineSettings{115200, kLine8N2, true});
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);
  auto discarded = sim.log(LogKind::Discarded);
  ASSERT_EQ(discarded.size(), 2u);
  EXPECT_EQ(discarded[0].bytes, kVersion0);
}

TEST(SimReader, PtyLineWithoutParityMatchesAnyParity) {
  EXPECT_TRUE(lineMatches(9600, kLine8E1, LineSettings{9600, kLine8N1, false}));
  EXPECT_FALSE(lineMatches(9600, kLine8E1, LineSettings{9600, kLine8N1, true}));
  EXPECT_FALSE(lineMatches(9600, kLine8N2, LineSettings{9600, kLine8N1, false}));
}

TEST(SimReader, RefusesUnknownBaudCode) {
  Simulator sim;
  InProcessEndpoint host(sim);
  EXPECT_EQ(host.send({0x02, 0x01, 0xF2, 0x01, 0x0B, 0xF9}), (Bytes{0x02, 0x01, 0x0B, 0x00, 0x0A}));
  EXPECT_EQ(sim.readerState().baud, 19200);
}

TEST(SimReader, RfFieldOutputsAndUsbMode) {
  Simulator sim;
  InProcessEndpoint host(sim);
  const Bytes ack = {0x02, 0x01, 0x00, 0x00, 0x01};
  EXPECT_EQ(host.send({0x02, 0x01, 0xF5, 0x01, 0x00, 0xF5}), ack);
  EXPECT_FALSE(sim.readerState().rfField);
  EXPECT_EQ(host.send({0x02, 0x01, 0xF6, 0x02, 0x10, 0x10, 0xF5}), ack);
  EXPECT_EQ(host.send({0x02, 0x01, 0xF6, 0x02, 0x30, 0x20, 0xE5}), ack);
  EXPECT_EQ(sim.readerState().outputs, 0x20);
  auto history = sim.outputHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].outputs, 0x10);
  EXPECT_EQ(history[1].mask, 0x30);
  EXPECT_EQ(history[1].value, 0x20);
  EXPECT_LE(history[0].time, history[1].time);
  EXPECT_EQ(host.send({0x02, 0x01, 0xFF, 0x01, 0x02, 0xFD}), ack);
  EXPECT_EQ(sim.readerState().usbMode, 2);
}

TEST(SimReader, Type2TranslatedCodesAnswerWithTheirOwnStatus) {
  Simulator sim({.protocolType = 2});
  InProcessEndpoint host(sim);
  EXPECT_EQ(host.send({0x1E, 0x0D, 0x00}), (Bytes{0x1E, 0x0D, 0x00}));
  EXPECT_FALSE(sim.readerState().rfField);
  EXPECT_EQ(host.send({0x1E, 0x0C, 0x00}), (Bytes{0x1E, 0x0C, 0x00}));
  EXPECT_TRUE(sim.readerState().rfField);
  EXPECT_EQ(host.send({0x1E, 0x07, 0x02, 0x01, 0x01}), (Bytes{0x1E, 0x07, 0x00}));
  EXPECT_EQ(sim.readerState().outputs, 0x01);
  EXPECT_EQ(host.send({0x1E, 0x0F, 0x01, 0x01}), (Bytes{0x1E, 0x0F, 0x00}));
  EXPECT_EQ(sim.readerState().usbMode, 1);
  EXPECT_EQ(host.send({0x1E, 0x29, 0x00}), (Bytes{0x1E, 0xA0, 0x00}));  // not a command of this reader
}

TEST(SimReader, UnknownCommandAndEmptyField) {
  Simulator sim;
  InProcessEndpoint host(sim);
  EXPECT_EQ(host.send({0x02, 0x01, 0x77, 0x00, 0x76}), (Bytes{0x02, 0x01, 0x0A, 0x00, 0x0B}));
  EXPECT_EQ(host.send({0x02, 0x01, 0x30, 0x00, 0x31}), (Bytes{0x02, 0x01, 0x01, 0x00, 0x00}));  // no tag
}

TEST(SimReader, HalfFrameIsGivenUpAfterAPause) {
  Simulator sim;
  InProcessEndpoint host(sim);
  EXPECT_TRUE(host.send({0x02, 0x01, 0xF0}).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);
}

struct FaultCase {
  const char* name;
  Fault fault;
  Bytes answer;
};

class SimReaderFault : public testing::TestWithParam<FaultCase> {};

TEST_P(SimReaderFault, ShapesNextAnswerOnly) {
  const FaultCase& c = GetParam();
  Simulator sim;
  InProcessEndpoint host(sim);
  sim.inject(c.fault);
  EXPECT_EQ(host.send(kVersion0), c.answer);
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);  // a one-time fault is used up
}

// The version text, then zeros up to 250 payload bytes: length byte FA, no chain.
Bytes maxLengthAnswer() {
  Bytes b = {0x02, 0x01, 0x00, 0xFA, 0x31, 0x38, 0x34, 0x34};
  b.resize(4 + 250, 0x00);
  b.push_back(0xF2);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimReaderFault,
    testing::Values(
        FaultCase{"silence", Fault::silence(), {}},
        FaultCase{"noise", Fault::noise({0x55, 0xAA}),
                  {0x55, 0xAA, 0x02, 0x01, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0x0C}},
        FaultCase{"trailing", Fault::trailing({0x99}), {0x02, 0x01, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0x0C, 0x99}},
        FaultCase{"bad_check", Fault::badCheck(), {0x02, 0x01, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0xF3}},
        FaultCase{"status", Fault::status(0x20), {0x02, 0x01, 0x20, 0x04, 0x31, 0x38, 0x34, 0x34, 0x2C}},
        FaultCase{"chain", Fault::chain(2), {0x02, 0x01, 0x00, 0xFF, 0x02, 0x31, 0x38, 0x02, 0x34, 0x34, 0xFF, 0x08}},
        FaultCase{"payload", Fault::payload({0xAB, 0xCD}), {0x02, 0x01, 0x00, 0x02, 0xAB, 0xCD, 0x65}},
        FaultCase{"max_length_not_chain", Fault::maxLength(), maxLengthAnswer()},
        FaultCase{"only_for_other_command", Fault::silence().forCommand(0x30), kVersionAnswer0}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST(SimReaderFault, CountsAnswersWithAfterAndTimes) {
  Simulator sim;
  InProcessEndpoint host(sim);
  sim.inject(Fault::silence().after(1).times(2));
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);
  EXPECT_TRUE(host.send(kVersion0).empty());
  EXPECT_TRUE(host.send(kVersion0).empty());
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);
  sim.inject(Fault::trailing({0x00}).always());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(host.send(kVersion0).size(), kVersionAnswer0.size() + 1);
  sim.clearFaults();
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);
}

TEST(SimReaderFault, DelaysSplitAnswerByPhase) {
  Simulator sim;
  InProcessEndpoint host(sim);
  using ms = std::chrono::milliseconds;
  sim.inject(Fault::delay({ms(10), ms(20), ms(30)}));
  sim.inject(Fault::noise({0x55}));
  EXPECT_EQ(host.send(kVersion0).size(), 10u);
  const Outgoing& out = host.lastOutgoing();
  ASSERT_EQ(out.chunks.size(), 3u);
  EXPECT_EQ(out.chunks[0].delay, ms(10));
  EXPECT_EQ(out.chunks[0].bytes, Bytes{0x55});
  EXPECT_EQ(out.chunks[1].delay, ms(20));
  EXPECT_EQ(out.chunks[1].bytes, (Bytes{0x02, 0x01, 0x00, 0x04}));  // header through the length byte
  EXPECT_EQ(out.chunks[2].delay, ms(30));
  EXPECT_EQ(out.chunks[2].bytes, (Bytes{0x31, 0x38, 0x34, 0x34, 0x0C}));
}

// A type 1 host reads on by the length byte only once 4 bytes are in (no answer is
// shorter than 5): a pause at the length byte would fall into its first phase.
TEST(SimReaderFault, Type1HeaderPauseFollowsTheFourthByte) {
  ReaderConfig config;
  config.protocolType = 1;
  Simulator sim(config);
  InProcessEndpoint host(sim);
  using ms = std::chrono::milliseconds;
  sim.inject(Fault::delay({ms(0), ms(0), ms(30)}));
  EXPECT_EQ(host.send({0x01, 0xF0, 0x00, 0x64, 0x00}).size(), 9u);
  const Outgoing& out = host.lastOutgoing();
  ASSERT_EQ(out.chunks.size(), 2u);
  EXPECT_EQ(out.chunks[0].bytes, (Bytes{0x01, 0x00, 0x04, 0x31}));
  EXPECT_EQ(out.chunks[1].delay, ms(30));
  EXPECT_EQ(out.chunks[1].bytes, (Bytes{0x38, 0x34, 0x34, 0x62, 0x26}));
}

TEST(SimReaderFault, LinkDropInsteadOfAnswer) {
  Simulator sim;
  InProcessEndpoint host(sim);
  sim.inject(Fault::dropLink().after(1));
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);
  EXPECT_TRUE(host.linkUp());
  EXPECT_TRUE(host.send(kVersion0).empty());
  EXPECT_FALSE(host.linkUp());
  EXPECT_TRUE(host.send(kVersion0).empty());
}

TEST(SimReaderFault, DropLinkOnCommand) {
  Simulator sim;
  InProcessEndpoint host(sim);
  sim.dropLink();
  EXPECT_FALSE(host.linkUp());
}

TEST(SimReaderLog, RecordsFramesBothWaysAndDiscardedBytes) {
  Simulator sim;
  InProcessEndpoint host(sim);
  sim.inject(Fault::noise({0x55}));
  host.send({0xEE, 0x02, 0x01, 0xF0, 0x00, 0xF1});
  auto log = sim.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].kind, LogKind::Discarded);
  EXPECT_EQ(log[0].bytes, Bytes{0xEE});
  EXPECT_EQ(log[1].kind, LogKind::Received);
  EXPECT_EQ(log[1].bytes, kVersion0);
  EXPECT_EQ(log[2].kind, LogKind::Sent);
  Bytes sent = {0x55};
  sent.insert(sent.end(), kVersionAnswer0.begin(), kVersionAnswer0.end());
  EXPECT_EQ(log[2].bytes, sent);
  EXPECT_NE(log[2].note.find("noise"), std::string::npos);
  EXPECT_LE(log[1].time, log[2].time);
  EXPECT_NE(sim.formatLog().find("<- 02 01 F0 00 F1"), std::string::npos);
  sim.clearLog();
  EXPECT_TRUE(sim.log().empty());
}

}  // namespace
}  // namespace kqsim
