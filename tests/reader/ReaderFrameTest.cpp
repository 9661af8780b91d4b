// The frame layer without a link: request frames, answer scanning and answer checks.
// Every expected byte is written out from the frame layouts, check bytes included.
#include "reader/transport/ReaderFrame.h"
#include "TestSupport.h"
#include "kqlmx.h"

#include <gtest/gtest.h>

using kqtest::Hex;
using kqtest::ToHex;

namespace {

std::string Build(int type, const std::string& commandHex, uint8_t address = 1, uint8_t* expected = nullptr) {
    kq::Bytes buffer = Hex(commandHex);
    uint8_t answerByte = 0;
    EXPECT_EQ(kq::BuildFrame(buffer, type, address, &answerByte), 0);
    if (expected) *expected = answerByte;
    return ToHex(buffer);
}

} // namespace

TEST(Checks, Crc16ModbusCheckValue) {
    const std::string text = "123456789";
    EXPECT_EQ(kq::Crc16Modbus(kq::Bytes(text.begin(), text.end())), 0x4B37);
}

TEST(Checks, XorOfBytes) {
    EXPECT_EQ(kq::XorCheck(Hex("01 30 00")), 0x31);
}

struct RequestCase {
    int type;
    const char* command;
    uint8_t address;
    const char* wire;
    uint8_t expectedAnswer;
};

// Catches wrong headers, check bytes, and command translations of types 2 and 3.
TEST(BuildFrame, RequestsPerProtocolType) {
    const RequestCase cases[] = {
        {0, "30", 1, "02 01 30 00 31", 0x30},
        {0, "F0", 2, "02 02 F0 00 F2", 0xF0},
        {0, "F5 01", 1, "02 01 F5 01 01 F4", 0xF5},
        {1, "F0", 1, "01 F0 00 64 00", 0xF0},
        {1, "30", 1, "01 30 00 34 00", 0x30},
        {1, "F0", 7, "07 F0 00 84 01", 0xF0},
        {2, "F5 00", 1, "1E 0D 00", 0x0D},
        {2, "F5 01", 1, "1E 0C 00", 0x0C},
        {3, "F5 00", 1, "1E 0D 00", 0x0D},
        {2, "F0", 1, "1E 0B 00", 0x0B},
        {2, "F0 46 56", 1, "1E 0B 02 46 56", 0x0B},
        {3, "F0", 1, "1E 60 00", 0x60},
        {3, "20 02 2B", 1, "1E 21 03 04 02 2B", 0x21},
        {3, "20 02 21 05", 1, "1E 21 04 08 02 21 05", 0x21},
        {2, "20 02 22", 1, "1E 28 03 01 02 22", 0x28},
        {2, "20 02 2B", 1, "1E 28 03 00 02 2B", 0x28},
        {2, "21 AA", 1, "1E 29 01 AA", 0x29},
        {3, "21", 1, "1E 29 00", 0x29},
        {2, "F6 10 10", 1, "1E 07 02 10 10", 0x07},
        {3, "F7", 1, "1E 07 00", 0x07},
        {2, "F9", 1, "1E 0E 00", 0x0E},
        {3, "FA", 1, "1E FA 00", 0xFA},
        {2, "FF 02", 1, "1E 0F 01 02", 0x0F},
        {3, "FF 02", 1, "1E FF 01 02", 0xFF},
        {2, "30", 1, "1E 30 00", 0x30},
    };
    for (const RequestCase& c : cases) {
        uint8_t expected = 0;
        EXPECT_EQ(Build(c.type, c.command, c.address, &expected), c.wire)
            << "type " << c.type << ": " << c.command;
        EXPECT_EQ(expected, c.expectedAnswer) << c.command;
    }
}

// Catches a translation that reads a data byte the frame does not have.
TEST(BuildFrame, TranslationOfShortCommandsReadsMissingDataAsZero) {
    EXPECT_EQ(Build(2, "F5"), "1E 0D 00");
    EXPECT_EQ(Build(3, "20"), "1E 21 01 04");
    EXPECT_EQ(Build(2, "20 02"), "1E 28 02 00 02");
}

// Catches a length byte that wraps: 255 data bytes fit, one more is refused (15) and
// the frame is not touched.
TEST(BuildFrame, DataLongerThan255IsRefused) {
    kq::Bytes fits(256, 0x11);
    fits[0] = 0x35;
    uint8_t expected = 0;
    ASSERT_EQ(kq::BuildFrame(fits, 0, 1, &expected), 0);
    EXPECT_EQ(fits.size(), 255u + 5);
    EXPECT_EQ(fits[3], 0xFF);

    kq::Bytes tooLong(257, 0x11);
    tooLong[0] = 0x35;
    EXPECT_EQ(kq::BuildFrame(tooLong, 0, 1, &expected), KQLMX_ERROR_DATA_TOO_LONG);
    EXPECT_EQ(tooLong.size(), 257u);

    // An ISO 15693 command with 255 data bytes grows by the mode byte on types 2/3.
    kq::Bytes iso(256, 0x02);
    iso[0] = 0x20;
    kq::Bytes isoCopy = iso;
    EXPECT_EQ(kq::BuildFrame(iso, 2, 1, &expected), KQLMX_ERROR_DATA_TOO_LONG);
    EXPECT_EQ(kq::BuildFrame(isoCopy, 0, 1, &expected), 0);
}

struct ScanCase {
    int type;
    const char* received;
    size_t complete; // 0: still incomplete
};

// Catches wrong total lengths, chains taken too early, and 250/252 read as chains.
TEST(AnswerScan, CompleteLengthPerType) {
    const ScanCase cases[] = {
        {0, "02 01 00", 0},
        {0, "02 01 00 04 31 38 34 33", 0},
        {0, "02 01 00 04 31 38 34 33 0B", 9},
        {0, "02 01 00 04 31 38 34 33 0B 02 01", 9},
        {1, "01 00 04 31 38 34 33 23", 0},
        {1, "01 00 04 31 38 34 33 23 E4", 9},
        {2, "1E 0B", 0},
        {2, "1E 0B 04 04 05 31", 0},
        {2, "1E 0B 04 04 05 31 35", 7},
        {3, "1E 60 00", 3},
        {0, "02 01 00 FF 02 AA BB 01 CC", 0},
        {0, "02 01 00 FF 02 AA BB 01 CC FF", 0},
        {0, "02 01 00 FF 02 AA BB 01 CC FF DF", 11},
        {1, "01 00 FF 02 AA BB 01 CC FF 71", 0},
        {1, "01 00 FF 02 AA BB 01 CC FF 71 F1", 11},
        {2, "1E 0B FF 01 AA FF", 6},
        {3, "1E 60 FF 00 FF", 5},
    };
    for (const ScanCase& c : cases)
        EXPECT_EQ(kq::CompleteAnswerLength(Hex(c.received), c.type), c.complete)
            << c.type << ": " << c.received;

    kq::Bytes plain250 = Hex("02 01 00 FA");
    plain250.resize(4 + 250 + 1, 0xFF); // data bytes FF everywhere: still no chain
    EXPECT_EQ(kq::CompleteAnswerLength(plain250, 0), 255u);
    plain250.pop_back();
    EXPECT_EQ(kq::CompleteAnswerLength(plain250, 0), 0u);
    kq::Bytes plain252 = Hex("1E 0B FC");
    plain252.resize(3 + 252, 0xFF);
    EXPECT_EQ(kq::CompleteAnswerLength(plain252, 2), 255u);
}

TEST(AnswerScan, NoiseBeforeTheStartByte) {
    EXPECT_EQ(kq::LeadingNoise(Hex("FF 00 13 02 01 00"), 0), 3u);
    EXPECT_EQ(kq::LeadingNoise(Hex("02 01 00"), 0), 0u);
    EXPECT_EQ(kq::LeadingNoise(Hex("00 02 1E 0B"), 2), 2u);
    EXPECT_EQ(kq::LeadingNoise(Hex("00 02 1E 0B"), 1), 0u);
    EXPECT_EQ(kq::LeadingNoise(Hex("00 00"), 3), 2u);
}

struct AnswerCase {
    int type;
    uint8_t expectedAnswer;
    const char* frame;
    bool good;
    int error; // 0: none stored
    const char* payload;
};

// Every status mapping and every strip rule of the four answer layouts.
TEST(ParseAnswer, StatusMappingAndStripping) {
    const AnswerCase cases[] = {
        {0, 0xF0, "02 01 00 04 31 38 34 33 0B", true, 0, "31 38 34 33"},
        {0, 0xF0, "02 01 00 04 31 38 34 33 0C", false, KQLMX_ERROR_CHECK_BYTES, ""},
        {0, 0x30, "02 01 20 01 AA 8A", true, KQLMX_ERROR_MORE_DATA, "AA"},
        {0, 0x30, "02 01 03 00 02", false, 23, ""},
        {0, 0x30, "02 01 19 00 18", false, 23, ""},
        {0, 0x30, "02 01 07 00 06", false, 44, ""},
        {0, 0x30, "02 01 42 00 43", false, 0x42, ""},
        {0, 0x30, "02 01 00 00 01", true, 0, ""},
        {0, 0x30, "02 01 00 FF 02 AA BB 01 CC FF DF", true, 0, "02 AA BB 01 CC"},
        {1, 0xF0, "01 00 04 31 38 34 33 23 E4", true, 0, "31 38 34 33"},
        {1, 0xF0, "01 00 04 31 38 34 33 E4 23", false, KQLMX_ERROR_CHECK_BYTES, ""},
        {1, 0x30, "01 05 00 23 50", false, 5, ""},
        {1, 0x30, "01 00 FF 02 AA BB 01 CC FF 71 F1", true, 0, "02 AA BB 01 CC"},
        {2, 0x0B, "1E 0B 04 04 05 31 35", true, 0, "04 05 31 35"},
        {3, 0x60, "1E 60 01 AA", true, 0, "AA"},
        {2, 0x0B, "1E 88 00", false, 17, ""},
        {3, 0x0B, "1E A0 00", false, 24, ""},
        {2, 0x0B, "1E A4 00", false, 20, ""},
        {2, 0x0B, "1E C4 00", false, 21, ""},
        {3, 0x0B, "1E C5 00", false, 21, ""},
        {2, 0x0B, "1E CC 00", false, 23, ""},
        {2, 0x0B, "1E 0C 00", false, KQLMX_ERROR_UNEXPECTED_ANSWER, ""},
        {2, 0x28, "1E 28 FF 02 AA BB FF", true, 0, "02 AA BB"},
        {0, 0x30, "", false, KQLMX_ERROR_EMPTY_ANSWER, ""},
        {0, 0x30, "02 01 00", false, KQLMX_ERROR_ANSWER_TOO_SHORT, ""},
        {1, 0x30, "01 00", false, KQLMX_ERROR_ANSWER_TOO_SHORT, ""},
        {2, 0x0B, "1E 0B", false, KQLMX_ERROR_ANSWER_TOO_SHORT, ""},
        {0, 0x30, "02 01 00 FF 01", false, KQLMX_ERROR_ANSWER_TOO_SHORT, ""},
    };
    for (const AnswerCase& c : cases) {
        kq::Bytes payload = Hex("EE"); // must be replaced
        const kq::AnswerVerdict verdict = kq::ParseAnswer(Hex(c.frame), c.type, c.expectedAnswer, payload);
        EXPECT_EQ(verdict.good, c.good) << c.type << ": " << c.frame;
        EXPECT_EQ(verdict.error, c.error) << c.type << ": " << c.frame;
        if (c.good) {
            EXPECT_EQ(ToHex(payload), c.payload) << c.frame;
        }
    }
}

struct IsoCase {
    int type;
    const char* payload;
    bool good;
    int error;
    const char* rest;
};

TEST(ParseIso15693, ReaderStatusAndResponseFlags) {
    const IsoCase cases[] = {
        {0, "00 AA BB", true, 0, "AA BB"},
        {2, "00 00 AA", true, 0, "AA"},
        {2, "01 00", false, 21, ""},
        {2, "02 00", false, 23, ""},
        {2, "08 00", false, KQLMX_ERROR_CHECK_BYTES, ""},
        {2, "00", false, KQLMX_ERROR_ANSWER_TOO_SHORT, ""},
        {1, "", false, 42, ""},
        {0, "01", false, 42, ""},
        {0, "01 01", false, 32, ""},
        {0, "01 02", false, 33, ""},
        {0, "01 03", false, 34, ""},
        {0, "01 0F", false, 35, ""},
        {0, "01 10", false, 36, ""},
        {0, "01 11", false, 37, ""},
        {0, "01 12", false, 38, ""},
        {0, "01 13", false, 39, ""},
        {0, "01 14", false, 40, ""},
        {0, "01 A0", false, 0xA0, ""},
        {3, "01 DF", false, 0xDF, ""},
        {0, "01 E0", false, 41, ""},
        {0, "01 04", false, 41, ""},
    };
    for (const IsoCase& c : cases) {
        kq::Bytes payload = Hex(c.payload);
        const kq::AnswerVerdict verdict = kq::ParseIso15693Payload(payload, c.type);
        EXPECT_EQ(verdict.good, c.good) << c.type << ": " << c.payload;
        EXPECT_EQ(verdict.error, c.error) << c.type << ": " << c.payload;
        if (c.good) {
            EXPECT_EQ(ToHex(payload), c.rest) << c.payload;
        }
    }
}
