// The simulated reader driven in-process: what the reader library never asks for
// (unknown commands and baud codes, half frames), how faults are counted and split
// into phases, and the frame log. Requests and answers are written out by hand from
// the frame layouts. Versions, addresses, rates, reader settings and the answer
// faults are shown end to end against the reader library.
#include "sim/InProcessEndpoint.h"
#include "sim/Simulator.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <thread>

namespace kqsim {
namespace {

const Bytes kVersion0 = {0x02, 0x01, 0xF0, 0x00, 0xF1};
const Bytes kVersionAnswer0 = {0x02, 0x01, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0x0C};

TEST(SimReader, FirmwareDigitIsBase62) {
  Simulator sim({.typeCode = 0xA1B, .firmwareDigit = 36});
  InProcessEndpoint host(sim);
  Bytes answer = host.send(kVersion0);
  ASSERT_EQ(answer.size(), 9u);
  EXPECT_EQ(Bytes(answer.begin() + 4, answer.begin() + 8), (Bytes{'A', '1', 'B', 'a'}));
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

TEST(SimReader, UnknownCommandAndEmptyField) {
  Simulator sim;
  InProcessEndpoint host(sim);
  EXPECT_EQ(host.send({0x02, 0x01, 0x77, 0x00, 0x76}), (Bytes{0x02, 0x01, 0x0A, 0x00, 0x0B}));
  EXPECT_EQ(host.send({0x02, 0x01, 0x30, 0x00, 0x31}), (Bytes{0x02, 0x01, 0x01, 0x00, 0x00}));  // no tag
  Simulator type2({.protocolType = 2});
  InProcessEndpoint host2(type2);
  EXPECT_EQ(host2.send({0x1E, 0x29, 0x00}), (Bytes{0x1E, 0xA0, 0x00}));  // not a command of this reader
}

TEST(SimReader, HalfFrameIsGivenUpAfterAPause) {
  Simulator sim;
  InProcessEndpoint host(sim);
  EXPECT_TRUE(host.send({0x02, 0x01, 0xF0}).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(host.send(kVersion0), kVersionAnswer0);
}

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

// Each answer waits for what the tags take: the frames on the air at 106 kbit/s (ISO/IEC
// 14443-2: 128/fc = 9.4395 us a bit, 9 bits a byte, 2 bits of start and end, the frame
// delay time (9 x 128 + 84)/fc = 91.15 us before an answer) and an NTAG21x's EEPROM
// write time of 4.1 ms. The microseconds are worked out by hand:
//   WUPA 9 bits, ATQA 20 bits: 29 x 9.4395 + 91.15 = 365
//   per cascade level ANTICOLLISION 20 + 47 bits = 724, SELECT 83 + 29 bits = 1148,
//     twice for a 7-byte UID = 3744
//   READ 38 + 164 bits = 1998; WRITE 74 bits + ACK 6 bits = 846, + 4100 programming
//   = 4946; a WRITE beyond the memory gets a NAK without programming = 846.
TEST(SimReaderTiming, AnswersWaitForTheTagsDatasheetTimes) {
  Simulator sim;
  InProcessEndpoint host(sim);
  sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213));
  struct Step {
    const char* what;
    std::uint8_t command;
    Bytes data;
    long micros;
  };
  const Step steps[] = {
      {"version: no tag involved", 0xF0, {}, 0},
      {"request", 0x30, {}, 365},
      {"select", 0x31, {}, 3744},
      {"read page 4", 0x34, {0x04}, 1998},
      {"write page 4", 0x35, {0x04, 0x03, 0x00, 0xFE, 0x00}, 4946},
      {"write beyond the memory", 0x35, {0x50, 0x00, 0x00, 0x00, 0x00}, 846},
  };
  long total = 0;
  for (const Step& step : steps) {
    Bytes frame{0x02, 0x01, step.command, static_cast<std::uint8_t>(step.data.size())};
    frame.insert(frame.end(), step.data.begin(), step.data.end());
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < frame.size(); ++i) check ^= frame[i];
    frame.push_back(check);
    EXPECT_FALSE(host.send(frame).empty()) << step.what;
    ASSERT_FALSE(host.lastOutgoing().chunks.empty()) << step.what;
    EXPECT_EQ(host.lastOutgoing().chunks[0].delay, std::chrono::microseconds(step.micros)) << step.what;
    total += step.micros;
  }
  EXPECT_EQ(sim.tagTime(), std::chrono::microseconds(total));
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
