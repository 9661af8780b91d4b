// Frame layer of the simulated reader: requests cut out of the byte stream, also out of
// noise and broken frames no host library sends. Expected bytes are written out by
// hand from the frame layouts (BCC = XOR from the address on; CRC-16/MODBUS low byte
// first). The answers' layouts are shown end to end, where the reader library checks
// them byte for byte.
#include "sim/Checksum.h"
#include "sim/ReaderFrame.h"

#include <gtest/gtest.h>

namespace kqsim {
namespace {

TEST(SimChecksum, CheckValues) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16Modbus(digits, 9), 0x4B37); // the catalogued check value
    const std::uint8_t request[] = {0x01, 0x30, 0x00};
    EXPECT_EQ(xorCheck(request, 3), 0x31);
}

struct ParseCase {
    const char* name;
    int type;
    int address;
    Bytes stream;
    std::vector<Bytes> frames; // raw frames expected, in order
    std::vector<std::uint8_t> commands;
    std::vector<Bytes> data;
    std::size_t discardedBytes;
};

class SimRequestParse : public testing::TestWithParam<ParseCase> {};

TEST_P(SimRequestParse, CutsRequests) {
    const ParseCase& c = GetParam();
    RequestParser parser(c.type, c.address);
    std::vector<Request> requests;
    std::vector<Discarded> discarded;
    // Byte by byte: a frame may arrive in pieces.
    for (std::uint8_t b : c.stream)
        parser.feed(&b, 1, requests, discarded);
    ASSERT_EQ(requests.size(), c.frames.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].raw, c.frames[i]) << i;
        EXPECT_EQ(requests[i].command, c.commands[i]) << i;
        EXPECT_EQ(requests[i].data, c.data[i]) << i;
    }
    std::size_t dropped = 0;
    for (const Discarded& d : discarded)
        dropped += d.bytes.size();
    EXPECT_EQ(dropped, c.discardedBytes);
    EXPECT_FALSE(parser.hasPartial());
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SimRequestParse,
    testing::Values(ParseCase{"type0_request",
                              0,
                              1,
                              {0x02, 0x01, 0x30, 0x00, 0x31},
                              {{0x02, 0x01, 0x30, 0x00, 0x31}},
                              {0x30},
                              {{}},
                              0},
                    ParseCase{"type0_noise_then_frame",
                              0,
                              1,
                              {0x55, 0xAA, 0x02, 0x01, 0xF5, 0x01, 0x00, 0xF5},
                              {{0x02, 0x01, 0xF5, 0x01, 0x00, 0xF5}},
                              {0xF5},
                              {{0x00}},
                              2},
                    ParseCase{"type0_wrong_bcc_dropped",
                              0,
                              1,
                              {0x02, 0x01, 0x30, 0x00, 0x32, 0x02, 0x01, 0x30, 0x00, 0x31},
                              {{0x02, 0x01, 0x30, 0x00, 0x31}},
                              {0x30},
                              {{}},
                              5},
                    ParseCase{"type0_other_address", 0, 1, {0x02, 0x02, 0xF0, 0x00, 0xF2}, {}, {}, {}, 5},
                    ParseCase{"type0_address_2",
                              0,
                              2,
                              {0x02, 0x02, 0xF0, 0x00, 0xF2},
                              {{0x02, 0x02, 0xF0, 0x00, 0xF2}},
                              {0xF0},
                              {{}},
                              0},
                    ParseCase{"type1_request",
                              1,
                              1,
                              {0x01, 0xF0, 0x00, 0x64, 0x00},
                              {{0x01, 0xF0, 0x00, 0x64, 0x00}},
                              {0xF0},
                              {{}},
                              0},
                    ParseCase{"type1_garbage_skipped",
                              1,
                              1,
                              {0x33, 0x44, 0x01, 0xF2, 0x01, 0x06, 0x21, 0xB9},
                              {{0x01, 0xF2, 0x01, 0x06, 0x21, 0xB9}},
                              {0xF2},
                              {{0x06}},
                              2},
                    ParseCase{"type1_wrong_crc_resyncs",
                              1,
                              1,
                              {0x01, 0xF0, 0x00, 0x65, 0x00, 0x01, 0xF0, 0x00, 0x64, 0x00},
                              {{0x01, 0xF0, 0x00, 0x64, 0x00}},
                              {0xF0},
                              {{}},
                              5},
                    ParseCase{
                        "type2_request", 2, 1, {0x1E, 0x0D, 0x00}, {{0x1E, 0x0D, 0x00}}, {0x0D}, {{}}, 0},
                    ParseCase{"type3_iso_with_mode",
                              3,
                              1,
                              {0x00, 0x1E, 0x21, 0x03, 0x04, 0x02, 0x2B},
                              {{0x1E, 0x21, 0x03, 0x04, 0x02, 0x2B}},
                              {0x21},
                              {{0x04, 0x02, 0x2B}},
                              1}),
    [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(SimRequestParse, UnfinishedFrameWaitsAndCanBeDropped) {
    RequestParser parser(0, 1);
    std::vector<Request> requests;
    std::vector<Discarded> discarded;
    const std::uint8_t part[] = {0x02, 0x01, 0xF6, 0x02, 0x10};
    parser.feed(part, sizeof part, requests, discarded);
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(parser.hasPartial());
    parser.dropPartial(discarded);
    ASSERT_EQ(discarded.size(), 1u);
    EXPECT_EQ(discarded[0].bytes, Bytes(part, part + sizeof part));
    EXPECT_FALSE(parser.hasPartial());
}

} // namespace
} // namespace kqsim
