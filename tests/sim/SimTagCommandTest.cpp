// The reader's tag commands against tags in its field, in-process: type A request,
// select, read, write, bank, activation and APDU parts; ISO 15693 inventory with
// collisions and block commands; tags vanishing, swapped and the RF field.
// Frames are written out by hand (type 2/3 frames carry no check bytes).
#include "sim/CardModel.h"
#include "sim/InProcessEndpoint.h"
#include "sim/IsoDepTag.h"
#include "sim/Iso15693Tag.h"
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
  explicit Reader(int type, ReaderConfig config = {}) : sim((config.protocolType = type, config)), host(sim) {}
  Simulator sim;
  InProcessEndpoint host;
};

TEST(SimTypeA, RequestSelectReadWriteOverTheReader) {
  Reader r(2);
  EXPECT_EQ(r.host.send(kRequest2), kNoTag2);  // empty field
  r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight, kUid));
  EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
  EXPECT_EQ(r.host.send(kSelect2), kSelected2);
  EXPECT_EQ(r.host.send({0x1E, 0x35, 0x05, 0x05, 0xDE, 0xAD, 0xBE, 0xEF}), (Bytes{0x1E, 0x35, 0x00}));
  EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x04}),
            (Bytes{0x1E, 0x34, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 0}));
  // The tag refuses a write to its UID page (88: refused); it is idle afterwards.
  EXPECT_EQ(r.host.send({0x1E, 0x35, 0x05, 0x00, 0x01, 0x02, 0x03, 0x04}), (Bytes{0x1E, 0x88, 0x00}));
  EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x04}), kNoTag2);
  // A new request and select find it again without taking it off the reader.
  EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
  EXPECT_EQ(r.host.send(kSelect2), kSelected2);
  EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));  // also straight after a select
  // Not a MIFARE Classic tag: authentication refused.
  EXPECT_EQ(r.host.send({0x1E, 0x31, 0x00}), kSelected2);
  EXPECT_EQ(r.host.send({0x1E, 0x33, 0x09, 0x00, 0x04, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
            (Bytes{0x1E, 0xA4, 0x00}));
}

TEST(SimTypeA, Type0FramesWithBcc) {
  Reader r(0);
  r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight, kUid));
  EXPECT_EQ(r.host.send({0x02, 0x01, 0x30, 0x00, 0x31}), (Bytes{0x02, 0x01, 0x00, 0x02, 0x44, 0x00, 0x47}));
  EXPECT_EQ(r.host.send({0x02, 0x01, 0x31, 0x00, 0x30}),
            (Bytes{0x02, 0x01, 0x00, 0x08, 0x00, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x7A}));
  EXPECT_EQ(r.host.send({0x02, 0x01, 0x34, 0x01, 0x04, 0x30}),
            (Bytes{0x02, 0x01, 0x00, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11}));
}

TEST(SimTypeA, SelectPicksOneOfTwoTagsByAnticollision) {
  Reader r(2);
  // CL1 88 04 11 22 / 88 04 12 22: the first differing bit is bit 0 of the third
  // byte, where the tag with 11 sends a 1.
  r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight, {0x04, 0x12, 0x22, 0x33, 0x44, 0x55, 0x66}));
  r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ultralight, kUid));
  EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
  EXPECT_EQ(r.host.send(kSelect2), kSelected2);
  EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x00}).size(), 19u);  // only the selected tag answers
}

TEST(SimTypeA, BankSelectReachesPagesAbove255) {
  Reader r(2);
  TagId id = r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Generic, kUid, 301));
  r.host.send(kRequest2);
  r.host.send(kSelect2);
  EXPECT_EQ(r.host.send({0x1E, 0x3A, 0x01, 0x01}), (Bytes{0x1E, 0x3A, 0x00}));
  EXPECT_EQ(r.host.send({0x1E, 0x35, 0x05, 0x2C, 0x0A, 0x0B, 0x0C, 0x0D}), (Bytes{0x1E, 0x35, 0x00}));  // page 300
  Bytes memory = *r.sim.tagMemory(id);
  EXPECT_EQ(Bytes(memory.begin() + 1200, memory.end()), (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
  EXPECT_EQ(r.host.send({0x1E, 0x3A, 0x01, 0x02}), (Bytes{0x1E, 0x88, 0x00}));  // no sector 2
}

TEST(SimTypeA, TagVanishesAfterGivenCommands) {
  Reader r(2);
  TagId id = r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213, kUid));
  ASSERT_TRUE(r.sim.removeTagAfter(id, 3));
  r.host.send(kRequest2);
  r.host.send(kSelect2);
  EXPECT_EQ(r.host.send({0x1E, 0x35, 0x05, 0x04, 1, 2, 3, 4}), (Bytes{0x1E, 0x35, 0x00}));
  EXPECT_EQ(r.host.send({0x1E, 0x35, 0x05, 0x05, 1, 2, 3, 4}), kNoTag2);
  EXPECT_TRUE(r.sim.tagIds().empty());
  EXPECT_NE(r.sim.formatLog().find("vanished"), std::string::npos);
  // A fresh tag placed afterwards works from its own request on.
  r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213, kUid));
  EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
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
  EXPECT_EQ(r.sim.swapTag(id, Type2Tag::blank(Type2Tag::Model::Ntag215)), 0);  // gone already
}

TEST(SimTypeA, RfFieldOffPowersTagsDown) {
  Reader r(2);
  r.sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213, kUid));
  r.host.send(kRequest2);
  r.host.send(kSelect2);
  EXPECT_EQ(r.host.send({0x1E, 0x0D, 0x00}), (Bytes{0x1E, 0x0D, 0x00}));
  EXPECT_EQ(r.host.send(kRequest2), kNoTag2);
  EXPECT_EQ(r.host.send({0x1E, 0x0C, 0x00}), (Bytes{0x1E, 0x0C, 0x00}));
  EXPECT_EQ(r.host.send({0x1E, 0x34, 0x01, 0x03}), kNoTag2);  // selection lost with the power
  EXPECT_EQ(r.host.send(kRequest2), (Bytes{0x1E, 0x30, 0x02, 0x44, 0x00}));
}

// A card answering READ BINARY (00 B0 .. Le) with Le counting bytes and 90 00.
class CountingCard : public CardModel {
 public:
  std::string kind() const override { return "counting"; }
  Bytes processApdu(const Bytes& apdu) override {
    Bytes r;
    for (int i = 0; i < apdu.back(); ++i) r.push_back(static_cast<std::uint8_t>(i));
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
  EXPECT_EQ(r.host.send(apdu), (Bytes{0x02, 0x01, 0x01, 0x00, 0x00}));  // not activated yet: no answer
  r.host.send({0x02, 0x01, 0x30, 0x00, 0x31});
  r.host.send({0x02, 0x01, 0x31, 0x00, 0x30});
  EXPECT_EQ(r.host.send({0x02, 0x01, 0x41, 0x00, 0x40}), (Bytes{0x02, 0x01, 0x00, 0x05, 0x05, 0x78, 0x80, 0x70, 0x00, 0x89}));
  EXPECT_EQ(r.host.send(apdu), (Bytes{0x02, 0x01, 0x20, 0x08, 0, 1, 2, 3, 4, 5, 6, 7, 0x29}));
  EXPECT_EQ(r.host.send({0x02, 0x01, 0x46, 0x00, 0x47}), (Bytes{0x02, 0x01, 0x20, 0x08, 8, 9, 10, 11, 12, 13, 14, 15, 0x29}));
  EXPECT_EQ(r.host.send({0x02, 0x01, 0x46, 0x00, 0x47}),
            (Bytes{0x02, 0x01, 0x00, 0x06, 16, 17, 18, 19, 0x90, 0x00, 0x97}));
  EXPECT_EQ(r.host.send({0x02, 0x01, 0x46, 0x00, 0x47}), (Bytes{0x02, 0x01, 0x0B, 0x00, 0x0A}));  // nothing left
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

const Bytes kVicinityUid = {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0};  // E0 04 01 00 12 34 56 78

Bytes withUid(Bytes head, const Bytes& uid, Bytes tail = {}) {
  head.insert(head.end(), uid.begin(), uid.end());
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// The 16-slot answer: empty records 01 01, a record 0B 00 00 DSFID UID for a tag, and
// 01 02 (type 3: 01 CC) for a collision.
Bytes slots(const std::vector<std::pair<int, Bytes>>& found, int collisionSlot = -1, std::uint8_t collision = 0x02) {
  Bytes out;
  for (int s = 0; s < 16; ++s) {
    auto it = std::find_if(found.begin(), found.end(), [s](const auto& f) { return f.first == s; });
    if (s == collisionSlot) {
      out.insert(out.end(), {0x01, collision});
    } else if (it != found.end()) {
      out = withUid(out, {}, withUid({0x0B, 0x00, 0x00, 0x00}, it->second));
    } else {
      out.insert(out.end(), {0x01, 0x01});
    }
  }
  return out;
}

TEST(SimVicinity, OneSlotInventoryType0) {
  Reader r(0);
  const Bytes request = {0x02, 0x01, 0x20, 0x03, 0x25, 0x01, 0x00, 0x06};
  EXPECT_EQ(r.host.send(request), (Bytes{0x02, 0x01, 0x00, 0x02, 0x01, 0x01, 0x03}));  // empty slot
  r.sim.placeTag(Iso15693Tag::blank());
  EXPECT_EQ(r.host.send(request), (Bytes{0x02, 0x01, 0x00, 0x0C, 0x0B, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12,
                                          0x00, 0x01, 0x04, 0xE0, 0xEB}));
  r.sim.placeTag(Iso15693Tag::blank({0x11, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0}));
  EXPECT_EQ(r.host.send(request), (Bytes{0x02, 0x01, 0x00, 0x02, 0x01, 0x02, 0x00}));  // collision
}

TEST(SimVicinity, SixteenSlotCollisionResolvedWithMask) {
  Reader r(2);
  Bytes a = {0x18, 0, 0, 0, 0, 0x01, 0x04, 0xE0};  // low nibble 8, then 1
  Bytes b = {0x28, 0, 0, 0, 0, 0x01, 0x04, 0xE0};  // low nibble 8, then 2
  r.sim.placeTag(Iso15693Tag::blank(a));
  r.sim.placeTag(Iso15693Tag::blank(b));
  Bytes answer = {0x1E, 0x28, 32};
  Bytes s = slots({}, 8);
  answer.insert(answer.end(), s.begin(), s.end());
  EXPECT_EQ(r.host.send({0x1E, 0x28, 0x04, 0x00, 0x06, 0x01, 0x00}), answer);
  // Mask length 4, mask 8: the next four UID bits choose the slot.
  s = slots({{1, a}, {2, b}});
  answer = {0x1E, 0x28, static_cast<std::uint8_t>(s.size())};
  answer.insert(answer.end(), s.begin(), s.end());
  EXPECT_EQ(r.host.send({0x1E, 0x28, 0x05, 0x00, 0x06, 0x01, 0x04, 0x08}), answer);
}

TEST(SimVicinity, TagsWithOneUidCollideAtEveryMaskLength) {
  Reader r(0);
  r.sim.placeTag(Iso15693Tag::blank());
  r.sim.placeTag(Iso15693Tag::blank());
  // 16 slots, mask length 60 (8 mask bytes, the UID's low 60 bits): slot 0 collides.
  Bytes request = {0x02, 0x01, 0x20, 0x0B, 0x06, 0x01, 60, 0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0x00};
  std::uint8_t bcc = 0;
  for (std::size_t i = 1; i < request.size(); ++i) bcc ^= request[i];
  request.push_back(bcc);
  Bytes answer = r.host.send(request);
  // Bits 60-63 of the UID are the high nibble of E0: both tags answer in slot 14.
  Bytes expected = {0x02, 0x01, 0x00, 32};
  Bytes s = slots({}, 14);
  expected.insert(expected.end(), s.begin(), s.end());
  bcc = 0;
  for (std::size_t i = 1; i < expected.size(); ++i) bcc ^= expected[i];
  expected.push_back(bcc);
  EXPECT_EQ(answer, expected);
}

TEST(SimVicinity, Type3OneSlotAnswersBareResponse) {
  Reader r(3);
  EXPECT_EQ(r.host.send({0x1E, 0x21, 0x04, 0x04, 0x25, 0x01, 0x00}), (Bytes{0x1E, 0xC4, 0x00}));
  r.sim.placeTag(Iso15693Tag::blank());
  EXPECT_EQ(r.host.send({0x1E, 0x21, 0x04, 0x04, 0x25, 0x01, 0x00}), withUid({0x1E, 0x21, 0x0A, 0x00, 0x00}, kVicinityUid));
  r.sim.placeTag(Iso15693Tag::blank({0x11, 0, 0, 0, 0, 0x01, 0x04, 0xE0}));
  EXPECT_EQ(r.host.send({0x1E, 0x21, 0x04, 0x04, 0x25, 0x01, 0x00}), (Bytes{0x1E, 0xCC, 0x00}));
}

TEST(SimVicinity, BlockCommandsLockingAndSystemInformation) {
  Reader r(2);  // answers carry the reader status byte 00 before the ISO response
  TagId id = r.sim.placeTag(Iso15693Tag::blank());
  auto send = [&](Bytes iso) {
    Bytes frame = {0x1E, 0x28, static_cast<std::uint8_t>(iso.size() + 1), 0x00};
    frame.insert(frame.end(), iso.begin(), iso.end());
    Bytes a = r.host.send(frame);
    return a.size() >= 4 ? Bytes(a.begin() + 3, a.end()) : a;
  };
  EXPECT_EQ(send(withUid({0x22, 0x2B}, kVicinityUid)),
            withUid({0x00, 0x00, 0x0F}, kVicinityUid, {0x00, 0x00, 0x1B, 0x03, 0x01}));
  EXPECT_EQ(send(withUid({0x62, 0x21}, kVicinityUid, {0x03, 0xE1, 0x40, 0x0E, 0x01})), (Bytes{0x00, 0x00}));
  EXPECT_EQ(send(withUid({0x22, 0x22}, kVicinityUid, {0x03})), (Bytes{0x00, 0x00}));
  EXPECT_EQ(send(withUid({0x22, 0x22}, kVicinityUid, {0x03})), (Bytes{0x00, 0x01, 0x11}));  // already locked
  EXPECT_EQ(send(withUid({0x22, 0x21}, kVicinityUid, {0x03, 0, 0, 0, 0})), (Bytes{0x00, 0x01, 0x12}));
  EXPECT_EQ(send(withUid({0x62, 0x20}, kVicinityUid, {0x03})), (Bytes{0x00, 0x00, 0x01, 0xE1, 0x40, 0x0E, 0x01}));
  EXPECT_EQ(send(withUid({0x22, 0x2C}, kVicinityUid, {0x02, 0x02})), (Bytes{0x00, 0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(send(withUid({0x22, 0x23}, kVicinityUid, {0x02, 0x01})), (Bytes{0x00, 0x00, 0, 0, 0, 0, 0xE1, 0x40, 0x0E, 0x01}));
  EXPECT_EQ(send(withUid({0x22, 0x20}, kVicinityUid, {28})), (Bytes{0x00, 0x01, 0x10}));   // no block 28
  EXPECT_EQ(send(withUid({0x22, 0xA5}, kVicinityUid)), (Bytes{0x00, 0x01, 0x01}));       // not supported
  EXPECT_EQ(send(withUid({0x22, 0x20}, {1, 2, 3, 4, 5, 6, 7, 0xE0}, {0x00})), Bytes{0x01});  // no such tag
  r.sim.withTag(id, [](Tag& t) {
    auto& v = static_cast<Iso15693Tag&>(t);
    EXPECT_TRUE(v.blockLocked(3));
    EXPECT_EQ(v.block(3), (Bytes{0xE1, 0x40, 0x0E, 0x01}));
  });
}

}  // namespace
}  // namespace kqsim
