// The simulated reader driven in-process: what the reader library never asks for
// (unknown commands and baud codes, half frames), how faults are counted and split
// into phases, and the frame log. Requests and answers are written out by hand from
// the frame layouts. Versions, addresses, rates, reader settings and the answer
// faults are shown end to end against the reader library.
#include "sim/InProcessEndpoint.h"
#include "sim/Iso15693Tag.h"
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
    EXPECT_EQ(host.send({0x02, 0x01, 0x30, 0x00, 0x31}), (Bytes{0x02, 0x01, 0x01, 0x00, 0x00})); // no tag
    Simulator type2({.protocolType = 2});
    InProcessEndpoint host2(type2);
    EXPECT_EQ(host2.send({0x1E, 0x29, 0x00}), (Bytes{0x1E, 0xA0, 0x00})); // not a command of this reader
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
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(host.send(kVersion0).size(), kVersionAnswer0.size() + 1);
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
    EXPECT_EQ(out.chunks[1].bytes, (Bytes{0x02, 0x01, 0x00, 0x04})); // header through the length byte
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
// ISO 15693 (ISO/IEC 15693-2, fc = 13.56 MHz): a request byte at 1 out of 4 is 4 x
// 75.52 = 302.07 us, SOF 75.52, EOF 37.76; an answer after t1 = 318.58 with SOF and EOF
// of 151.04 each and 8 x 37.76 = 302.07 us a byte; a write or lock answers 20 ms after
// the request (the latest the write-alone rule allows), with the option flag t1 after
// the reader's EOF sent at that time. Lengths count the CRC:
//   inventory of 16 slots, 5 bytes: 1623.6, 15 slot EOFs 566.4, two tags in two slots
//     answering 12 bytes: 2 x 4245.4 = 10681
//   addressed read single block, 13 bytes 4040.1 + answer of 7 bytes 2735.1 = 6775
//   addressed write single block, 17 bytes 5248.4 + 20000 + answer frame of 3 bytes
//     1208.3 = 26457; the tag that wants the option flag: + 37.76 + 318.58 = 26813,
//     without it silent = 5248; lock block, 13 bytes 4040.1 + 20000 + 1208.3 = 25248;
//   a write refused for the locked block: 5248.4 + 318.58 + 4 bytes 1510.3 = 7077.
TEST(SimReaderTiming, AnswersWaitForTheTagsDatasheetTimes) {
    Simulator sim;
    InProcessEndpoint host(sim);
    sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213));
    const Bytes icode = {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0}; // inventory slot 8
    const Bytes ti = {0x79, 0x56, 0x34, 0x12, 0x00, 0xC4, 0x07, 0xE0};    // slot 9
    sim.placeTag(Iso15693Tag::blank("icode", icode));
    sim.placeTag(Iso15693Tag::blank("iso15693-ti", ti));
    auto vicinity = [](Bytes head, const Bytes& uid, Bytes tail) {
        head.insert(head.end(), uid.begin(), uid.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
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
        {"inventory of 16 slots", 0x20, {0x06, 0x01, 0x00}, 10681},
        {"read single block", 0x20, vicinity({0x22, 0x20}, icode, {0x01}), 6775},
        {"write single block", 0x20, vicinity({0x22, 0x21}, icode, {0x01, 1, 2, 3, 4}), 26457},
        {"write with the option flag", 0x20, vicinity({0x62, 0x21}, ti, {0x01, 1, 2, 3, 4}), 26813},
        {"write without it: silence", 0x20, vicinity({0x22, 0x21}, ti, {0x01, 1, 2, 3, 4}), 5248},
        {"lock block", 0x20, vicinity({0x22, 0x22}, icode, {0x02}), 25248},
        {"write to the locked block", 0x20, vicinity({0x22, 0x21}, icode, {0x02, 1, 2, 3, 4}), 7077},
    };
    long total = 0;
    for (const Step& step : steps) {
        Bytes frame{0x02, 0x01, step.command, static_cast<std::uint8_t>(step.data.size())};
        frame.insert(frame.end(), step.data.begin(), step.data.end());
        std::uint8_t check = 0;
        for (std::size_t i = 1; i < frame.size(); ++i)
            check ^= frame[i];
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

} // namespace
} // namespace kqsim
