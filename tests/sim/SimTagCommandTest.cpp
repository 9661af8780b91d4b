// The reader's tag commands against tags in its field, in-process, where the reader
// library's end-to-end tests do not reach: type A commands in type 2 frames,
// anticollision between two tags, swapped tags, the RF field, APDU parts and the
// ISO 15693 error answers. Frames are written out by hand (type 2/3 frames carry no
// check bytes).
#include "sim/CardModel.h"
#include "sim/InProcessEndpoint.h"
#include "sim/Iso15693Tag.h"
#include "sim/IsoDepTag.h"
#include "sim/Simulator.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

namespace kqsim {
namespace {

const Bytes kUid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const Bytes kRequest2 = {0x1E, 0x30, 0x00};
const Bytes kSelect2 = {0x1E, 0x31, 0x00};
const Bytes kSelected2 = {0x1E, 0x31, 0x08, 0x00, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const Bytes kNoTag2 = {0x1E, 0xC4, 0x00};

struct Reader {
    explicit Reader(int type, ReaderConfig config = {})
        : sim((config.protocolType = type, config)), host(sim) {}
    Simulator sim;
    InProcessEndpoint host;
};

TEST(SimTypeA, RequestSelectReadWriteOverTheReader) {
    Reader r(2);
    EXPECT_EQ(r.host.send(kRequest2), kNoTag2); // empty field
    r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight, kUid));
    EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
    EXPECT_EQ(r.host.send(kSelect2), kSelected2);
    EXPECT_EQ(r.host.send({0x1E, 0x35, 0x05, 0x05, 0xDE, 0xAD, 0xBE, 0xEF}), (Bytes{0x1E, 0x35, 0x00}));
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x04}), (Bytes{0x1E, 0x34, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xDE,
                                                            0xAD, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 0}));
    // The tag refuses a write to its UID page (88: refused); it is idle afterwards.
    EXPECT_EQ(r.host.send({0x1E, 0x35, 0x05, 0x00, 0x01, 0x02, 0x03, 0x04}), (Bytes{0x1E, 0x88, 0x00}));
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x04}), kNoTag2);
    // A new request and select find it again without taking it off the reader.
    EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
    EXPECT_EQ(r.host.send(kSelect2), kSelected2);
    EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00})); // also straight after a select
    // Not a MIFARE Classic tag: authentication refused.
    EXPECT_EQ(r.host.send({0x1E, 0x31, 0x00}), kSelected2);
    EXPECT_EQ(r.host.send({0x1E, 0x33, 0x09, 0x00, 0x04, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
              (Bytes{0x1E, 0xA4, 0x00}));
}

TEST(SimTypeA, SelectPicksOneOfTwoTagsByAnticollision) {
    Reader r(2);
    // CL1 88 04 11 22 / 88 04 12 22: the first differing bit is bit 0 of the third
    // byte, where the tag with 11 sends a 1.
    r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight, {0x04, 0x12, 0x22, 0x33, 0x44, 0x55, 0x66}));
    r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight, kUid));
    EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
    EXPECT_EQ(r.host.send(kSelect2), kSelected2);
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x00}).size(), 19u); // only the selected tag answers
}

TEST(SimTypeA, SwappedTagIsNotSelected) {
    Reader r(2);
    TagId id = r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213, kUid));
    r.host.send(kRequest2);
    r.host.send(kSelect2);
    std::unique_ptr<Tag> old;
    TagId next = r.sim.swapTag(id, Type2Tag::blank(Type2Tag::Model::Ntag215), &old);
    EXPECT_NE(next, 0);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->kind(), "ntag213");
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}), kNoTag2);
    EXPECT_EQ(r.sim.swapTag(id, Type2Tag::blank(Type2Tag::Model::Ntag215)), 0); // gone already
}

TEST(SimTypeA, ABlippedTagMissesOneCommandAndAnswersOnceReactivated) {
    Reader r(2);
    TagId id = r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213, kUid));
    r.host.send(kRequest2);
    r.host.send(kSelect2);
    ASSERT_TRUE(r.sim.blipTagAfter(id, 1));
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}).size(), 19u); // one more answered
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}), kNoTag2);    // missed
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}), kNoTag2);    // halted, not selected
    EXPECT_EQ(r.sim.tagIds(), std::vector<TagId>{id});            // still in the field
    EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
    EXPECT_EQ(r.host.send(kSelect2), kSelected2);
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}).size(), 19u); // and only once
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}).size(), 19u);
}

TEST(SimTypeA, RfFieldOffPowersTagsDown) {
    Reader r(2);
    r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213, kUid));
    r.host.send(kRequest2);
    r.host.send(kSelect2);
    EXPECT_EQ(r.host.send({0x1E, 0x0D, 0x00}), (Bytes{0x1E, 0x0D, 0x00}));
    EXPECT_EQ(r.host.send(kRequest2), kNoTag2);
    EXPECT_EQ(r.host.send({0x1E, 0x0C, 0x00}), (Bytes{0x1E, 0x0C, 0x00}));
    EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}), kNoTag2); // selection lost with the power
    EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
}

// A card answering READ BINARY (00 B0 .. Le) with Le counting bytes and 90 00.
class CountingCard : public CardModel {
public:
    std::string kind() const override { return "counting"; }
    Bytes processApdu(const Bytes& apdu) override {
        Bytes r;
        for (int i = 0; i < apdu.back(); ++i)
            r.push_back(static_cast<std::uint8_t>(i));
        r.insert(r.end(), {0x90, 0x00});
        return r;
    }
};

TEST(SimIsoDep, ActivationAndApduInPartsForType0) {
    Reader r(0, {.apduPartSize = 8});
    r.sim.placeTag(std::make_unique<IsoDepTag>(kUid, std::make_unique<CountingCard>()));
    const Bytes apdu = {0x02, 0x01, 0x45, 0x05, 0x00, 0xB0, 0x00, 0x00, 0x14, 0xE5};
    EXPECT_EQ(r.host.send({0x02, 0x01, 0x30, 0x00, 0x31}), (Bytes{0x02, 0x01, 0x00, 0x02, 0x44, 0x03, 0x44}));
    r.host.send({0x02, 0x01, 0x31, 0x00, 0x30});
    EXPECT_EQ(r.host.send(apdu), (Bytes{0x02, 0x01, 0x01, 0x00, 0x00})); // not activated yet: no answer
    r.host.send({0x02, 0x01, 0x30, 0x00, 0x31});
    r.host.send({0x02, 0x01, 0x31, 0x00, 0x30});
    EXPECT_EQ(r.host.send({0x02, 0x01, 0x41, 0x00, 0x40}),
              (Bytes{0x02, 0x01, 0x00, 0x05, 0x05, 0x78, 0x80, 0x70, 0x00, 0x89}));
    EXPECT_EQ(r.host.send(apdu), (Bytes{0x02, 0x01, 0x20, 0x08, 0, 1, 2, 3, 4, 5, 6, 7, 0x29}));
    EXPECT_EQ(r.host.send({0x02, 0x01, 0x46, 0x00, 0x47}),
              (Bytes{0x02, 0x01, 0x20, 0x08, 8, 9, 10, 11, 12, 13, 14, 15, 0x29}));
    EXPECT_EQ(r.host.send({0x02, 0x01, 0x46, 0x00, 0x47}),
              (Bytes{0x02, 0x01, 0x00, 0x06, 16, 17, 18, 19, 0x90, 0x00, 0x97}));
    EXPECT_EQ(r.host.send({0x02, 0x01, 0x46, 0x00, 0x47}),
              (Bytes{0x02, 0x01, 0x0B, 0x00, 0x0A})); // nothing left
}

TEST(SimIsoDep, OtherTypesCannotSplitAResponse) {
    Reader r(2, {.apduPartSize = 8});
    r.sim.placeTag(std::make_unique<IsoDepTag>(kUid, std::make_unique<CountingCard>()));
    r.host.send(kRequest2);
    r.host.send(kSelect2);
    EXPECT_EQ(r.host.send({0x1E, 0x41, 0x00}), (Bytes{0x1E, 0x41, 0x05, 0x05, 0x78, 0x80, 0x70, 0x00}));
    EXPECT_EQ(r.host.send({0x1E, 0x45, 0x05, 0x00, 0xB0, 0x00, 0x00, 0x04}),
              (Bytes{0x1E, 0x45, 0x06, 0x00, 0x01, 0x02, 0x03, 0x90, 0x00}));
    EXPECT_EQ(r.host.send({0x1E, 0x45, 0x05, 0x00, 0xB0, 0x00, 0x00, 0x14}), (Bytes{0x1E, 0xA0, 0x00}));
}

// --- ISO 15693 ---------------------------------------------------------------------

const Bytes kVicinityUid = {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0}; // E0 04 01 00 12 34 56 78

Bytes withUid(Bytes head, const Bytes& uid, Bytes tail = {}) {
    head.insert(head.end(), uid.begin(), uid.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// What the reader library's ISO 15693 tests do not reach: the tag's answers to a
// second lock, an unknown block, an unsupported command and another UID, in the
// type 2 frame (reader status 00 before the ISO response).
TEST(SimVicinity, ErrorAnswersOfTheTag) {
    Reader r(2);
    r.sim.placeTag(Iso15693Tag::blank());
    auto send = [&](Bytes iso) {
        Bytes frame = {0x1E, 0x28, static_cast<std::uint8_t>(iso.size() + 1), 0x00};
        frame.insert(frame.end(), iso.begin(), iso.end());
        Bytes a = r.host.send(frame);
        return a.size() >= 4 ? Bytes(a.begin() + 3, a.end()) : a;
    };
    EXPECT_EQ(send(withUid({0x22, 0x22}, kVicinityUid, {0x03})), (Bytes{0x00, 0x00}));
    EXPECT_EQ(send(withUid({0x22, 0x22}, kVicinityUid, {0x03})), (Bytes{0x00, 0x01, 0x11})); // already locked
    EXPECT_EQ(send(withUid({0x22, 0x20}, kVicinityUid, {28})), (Bytes{0x00, 0x01, 0x10}));   // no block 28
    EXPECT_EQ(send(withUid({0x22, 0xA5}, kVicinityUid)), (Bytes{0x00, 0x01, 0x01}));         // not supported
    EXPECT_EQ(send(withUid({0x22, 0x20}, {1, 2, 3, 4, 5, 6, 7, 0xE0}, {0x00})), Bytes{0x01}); // no such tag
}

} // namespace
} // namespace kqsim
