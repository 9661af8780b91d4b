// The tag handler's detection and the APDU exchange, against the simulator, through
// the reader library's insides.
#include "TagSimReader.h"
#include "kqlmx.h"
#include "reader/sdk/Iso14443Commands.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/tags/NfcTagHandler.h"
#include "sim/IsoDepTag.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kqtest {
namespace {

struct DetectionCase {
    uint16_t atqa;
    uint8_t sak;
    bool answersActivation;
    int type;
};

class Detection : public testing::TestWithParam<DetectionCase> {};

TEST_P(Detection, FamilyByAtqaAndSak) {
    const DetectionCase& c = GetParam();
    TagSimReader r;
    r.sim.placeTag(std::make_unique<PlainTypeATag>(Hex("04 11 22 33 44 55 66"), c.atqa, c.sak, c.answersActivation));
    int type = -1;
    uint8_t uid[8];
    ASSERT_TRUE(kq::CKQ_LMX_SDKApp::Get().TagHandler().DetectTag(r.port, &type, uid));
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(Bytes(uid, uid + 8), Hex("04 11 22 33 44 55 66 00"));
    // The activation is tried only where ATQA and SAK allow ISO 14443-4.
    const bool tried = !r.Commands(0x41).empty();
    EXPECT_EQ(tried, (c.sak & 0x3A) == 0x20 && __builtin_popcount(c.atqa & 0x1F) == 1);
}

INSTANTIATE_TEST_SUITE_P(TagHandler, Detection,
                         testing::Values(DetectionCase{0x0044, 0x00, false, kq::kNfcTagType2},
                                         DetectionCase{0x0044, 0x08, false, kq::kNfcTagClassic1K},
                                         DetectionCase{0x0004, 0x08, false, kq::kNfcTagClassic1K},
                                         DetectionCase{0x0042, 0x18, false, kq::kNfcTagClassic4K},
                                         DetectionCase{0x0002, 0x18, false, kq::kNfcTagClassic4K},
                                         DetectionCase{0x0344, 0x20, true, kq::kNfcTagIso14443_4},
                                         DetectionCase{0x0344, 0x20, false, kq::kNfcTagNone},
                                         // The ISO 14443-4 test runs last and overrides.
                                         DetectionCase{0x0044, 0x28, true, kq::kNfcTagNone},
                                         DetectionCase{0x0004, 0x20, true, kq::kNfcTagIso14443_4},
                                         DetectionCase{0x0003, 0x20, true, kq::kNfcTagNone},
                                         DetectionCase{0x0004, 0x09, false, kq::kNfcTagNone},
                                         DetectionCase{0x0044, 0x18, false, kq::kNfcTagNone},
                                         DetectionCase{0x0400, 0x00, false, kq::kNfcTagNone}),
                         [](const auto& info) {
                             char name[32];
                             std::snprintf(name, sizeof name, "atqa%04X_sak%02X%s", info.param.atqa, info.param.sak,
                                           info.param.answersActivation ? "_ats" : "");
                             return std::string(name);
                         });

// A card that answers every APDU with `size` counting bytes and 90 00.
struct CountingCard : kqsim::CardModel {
    explicit CountingCard(size_t size) : size(size) {}
    std::string kind() const override { return "counting"; }
    Bytes processApdu(const Bytes&) override {
        Bytes answer(size);
        for (size_t i = 0; i < size; ++i) answer[i] = static_cast<uint8_t>(i);
        answer.insert(answer.end(), {0x90, 0x00});
        return answer;
    }
    size_t size;
};

class ApduExchange : public testing::Test {
protected:
    ApduExchange() : r({.apduPartSize = 100}) {
        r.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Hex("04 01 02 03 04 05 06"), std::make_unique<CountingCard>(598)));
        port = kq::CKQ_LMX_SDKApp::Get().FindPort(r.port);
        uint16_t atqa = 0;
        uint8_t sak = 0;
        Bytes uid, ats;
        EXPECT_TRUE(kq::RequestTypeA(*port, atqa));
        EXPECT_TRUE(kq::SelectTypeA(*port, 8, sak, uid));
        EXPECT_TRUE(kq::RequestAts(*port, ats));
        r.ClearLog();
    }
    TagSimReader r;
    std::shared_ptr<kq::CKQ_LMX_Port> port;
    const Bytes apdu = Hex("90 60 00 00 00");
};

TEST_F(ApduExchange, AnswerCollectedFromItsParts) {
    Bytes answer;
    ASSERT_TRUE(kq::ExchangeApdu(*port, apdu, 1000, answer));
    ASSERT_EQ(answer.size(), 600u);
    EXPECT_EQ(answer[0], 0x00);
    EXPECT_EQ(answer[597], static_cast<uint8_t>(597));
    EXPECT_EQ(Bytes(answer.end() - 2, answer.end()), Hex("90 00"));
    const std::vector<Bytes> commands = r.Commands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0], Hex("45 90 60 00 00 00"));
    for (size_t i = 1; i < commands.size(); ++i) EXPECT_EQ(commands[i], Hex("46"));
}

TEST_F(ApduExchange, StopsAsSoonAsTheAnswerOutgrowsTheBuffer) {
    Bytes answer;
    EXPECT_FALSE(kq::ExchangeApdu(*port, apdu, 250, answer));
    EXPECT_EQ(port->lastError, KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(r.Commands().size(), 3u) << "100 + 100 bytes taken, the third part would not fit";
}

TEST_F(ApduExchange, EndlessContinuationEnds) {
    // A reader that keeps saying "more data", with 250 bytes each time.
    r.sim.inject(kqsim::Fault::status(0x20).forCommand(0x46).always());
    r.sim.inject(kqsim::Fault::payload(Bytes(250, 0xAA)).forCommand(0x46).always());
    Bytes answer;
    EXPECT_FALSE(kq::ExchangeApdu(*port, apdu, SIZE_MAX, answer));
    EXPECT_EQ(port->lastError, KQLMX_ERROR_BUFFER_TOO_SMALL) << "the fixed maximum";
    EXPECT_LE(answer.size(), kq::kMaxApduAnswer);

    // ... or with nothing at all.
    r.sim.clearFaults();
    r.sim.inject(kqsim::Fault::status(0x20).forCommand(0x46).always());
    r.sim.inject(kqsim::Fault::payload({}).forCommand(0x46).always());
    r.ClearLog();
    EXPECT_FALSE(kq::ExchangeApdu(*port, apdu, SIZE_MAX, answer));
    EXPECT_EQ(port->lastError, KQLMX_ERROR_UNEXPECTED_ANSWER);
    EXPECT_EQ(r.Commands().size(), static_cast<size_t>(kq::kMaxApduParts));
}

} // namespace
} // namespace kqtest
