// The tag handler's detection and the APDU exchange, against the simulator, through
// the reader library's insides.
#include "TagSimReader.h"
#include "kqlmx.h"
#include "reader/sdk/Iso14443Commands.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/tags/ClassicMad.h"
#include "reader/tags/NfcTagHandler.h"
#include "sim/IsoDepTag.h"
#include "sim/TagImage.h"
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
    r.sim.placeTag(
        std::make_unique<PlainTypeATag>(Hex("04 11 22 33 44 55 66"), c.atqa, c.sak, c.answersActivation));
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
                             std::snprintf(name, sizeof name, "atqa%04X_sak%02X%s", info.param.atqa,
                                           info.param.sak, info.param.answersActivation ? "_ats" : "");
                             return std::string(name);
                         });

// Catches an operation on another reader, run from an event pumped during this read's
// answer wait, that leaves its own "read on" flag behind: the read would stop before
// the last bytes of its message and find none.
TEST(TagHandler, NestedWriteOnAnotherReaderLeavesTheOuterReadWhole) {
    // 88 bytes of TLV area (CC 0B): five four-page reads, then pages 24 and 25 one by
    // one; the text record's TLV runs to byte 84, into those last two pages.
    const std::string text(75, 'a');
    const Bytes tlv = Cat({Hex("03 52 D1 01 4E 54 02 65 6E"), Ascii(text), Hex("FE 00 00 00")});
    kqsim::TagImage image;
    image.set("kind", "type2");
    image.set("pages", "32");
    image.setRow("page", 3, Hex("E1 10 0B 00"));
    for (size_t i = 0; i < tlv.size() / 4; ++i)
        image.setRow(
            "page", 4 + static_cast<int>(i),
            Bytes(tlv.begin() + static_cast<long>(4 * i), tlv.begin() + static_cast<long>(4 * i + 4)));
    std::string error;
    TagSimReader outer, other;
    outer.sim.placeTag(kqsim::Type2Tag::load(image, error));
    const kqsim::TagId otherTag = other.sim.placeTag(kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213));

    struct Nesting {
        TagSimReader* outer;
        TagSimReader* other;
        bool done;
        bool written;
    } nesting{&outer, &other, false, false};
    KQLMX_UiHooks hooks{};
    hooks.user = &nesting;
    hooks.pumpEvents = [](void* user) {
        auto& n = *static_cast<Nesting*>(user);
        // While the outer read waits for page 24 (its seventh read), the first single page.
        if (n.done || n.outer->Commands(0x34).size() < 7) return;
        n.done = true;
        int overflow = 0;
        n.written = kq::CKQ_LMX_SDKApp::Get().TagHandler().WriteJson(
            n.other->port, R"({"TEXT" : {"TITLE" : "b"}})", false, nullptr, 0, &overflow);
    };
    KQLMX_SetUiHooks(&hooks);
    outer.ClearLog();
    std::string json;
    const bool read = kq::CKQ_LMX_SDKApp::Get().TagHandler().ReadJson(outer.port, json);
    KQLMX_SetUiHooks(nullptr);
    ASSERT_TRUE(nesting.done);
    EXPECT_TRUE(nesting.written);
    // 03 08, then the text record "b" behind the NTAG213's Lock Control TLV.
    EXPECT_EQ(other.Pages(otherTag, 5, 2), Hex("34 03 08 D1 01 04 54 02"));
    EXPECT_TRUE(read) << std::hex << KQLMX_GetLastError(outer.port);
    EXPECT_EQ(json, R"({"TEXT" : {"TITLE" : ")" + text + R"("}})");
}

// A card that answers every APDU with `size` counting bytes and 90 00.
struct CountingCard : kqsim::CardModel {
    explicit CountingCard(size_t size) : size(size) {}
    std::string kind() const override { return "counting"; }
    Bytes processApdu(const Bytes&) override {
        Bytes answer(size);
        for (size_t i = 0; i < size; ++i)
            answer[i] = static_cast<uint8_t>(i);
        answer.insert(answer.end(), {0x90, 0x00});
        return answer;
    }
    size_t size;
};

class ApduExchange : public testing::Test {
protected:
    ApduExchange() : r({.apduPartSize = 100}) {
        r.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Hex("04 01 02 03 04 05 06"),
                                                          std::make_unique<CountingCard>(598)));
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
    for (size_t i = 1; i < commands.size(); ++i)
        EXPECT_EQ(commands[i], Hex("46"));
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

// The MAD CRC-8 (polynomial 1D, preset C7) over the info byte and fifteen entries
// 03 E1: the check values the MAD application note's definition gives.
TEST(TagHandler, MadCrcCheckValues) {
    Bytes entries;
    for (int i = 0; i < 15; ++i)
        entries.insert(entries.end(), {0x03, 0xE1});
    EXPECT_EQ(kq::mad::Crc(Cat({{0x01}, entries})), 0x14);
    EXPECT_EQ(kq::mad::Crc(Cat({{0x00}, entries})), 0x0F);
}

} // namespace
} // namespace kqtest
