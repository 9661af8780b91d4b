// Tags taken away after every single tag command of an operation: MIFARE Classic 1K and
// 4K, ISO 15693 and Type 2, through the flat API, against the simulator in the same process (no
// air time, no answer waits), so that every step of an operation can be torn. The count
// of tag commands comes from the simulator; the tag is put back as the operation left
// it, must read as holding the old message, none or the new one, and the same operation
// run again must complete.
#include "FuzzSimReader.h"
#include "TagSimReader.h"
#include "Type2RawWrite.h"
#include "kqlmx.h"
#include "sim/ClassicTag.h"
#include "sim/Iso15693Tag.h"
#include "sim/TagFactory.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <functional>

namespace kqtest {
namespace {

using kqsim::ClassicTag;
using kqsim::Iso15693Tag;
using kqsim::TagId;

constexpr int kTagNoTag = 0x20001;

// The in-process reader; detection's field-off pause is 0 while it is open.
struct FastReader : FuzzSimReader {
    ~FastReader() { kq::CNfcTagHandler::SetFieldOffPause(50); }
    std::string Read() const {
        std::string text(8192, '\0');
        const int n = KQLMX_ReadTag(port, text.data(), static_cast<int>(text.size()));
        return n < 0 ? "<none>" : text.substr(0, static_cast<size_t>(n));
    }
    int Write(const std::string& json) const {
        return KQLMX_WriteTag(port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0);
    }
    int LastError() const { return KQLMX_GetLastError(port); }
};

std::string TextJson(size_t n) {
    return R"({"TEXT" : {"TITLE" : ")" + std::string(n, 'x') + R"("}})";
}

struct RemovalCase {
    const char* name;
    std::function<std::unique_ptr<kqsim::Tag>()> blank;
    std::string old; // the message on the tag before; empty: a blank tag
    std::function<int(const FastReader&)> op;
    std::string now; // the message after the operation; "": the empty one
    // After a lock: a raw write to the tag is refused (true: it was).
    std::function<bool(const FastReader&)> rawWriteRefused;
};

void PrintTo(const RemovalCase& c, std::ostream* os) {
    *os << c.name;
}

class Removal : public testing::TestWithParam<RemovalCase> {};

// The tag before the operation, and what the untorn run makes of it: its count of tag
// commands and the memory it leaves.
struct Untorn {
    kqsim::TagImage before;
    int commands = 0;
    int requests = 0; // reader requests
    kqsim::Bytes done;
};

void RunUntorn(FastReader& r, const RemovalCase& c, Untorn& u) {
    const TagId first = r.sim.placeTag(c.blank());
    if (!c.old.empty()) {
        ASSERT_EQ(r.Write(c.old), 0);
    }
    r.sim.withTag(first, [&](kqsim::Tag& tag) { tag.save(u.before); });
    r.sim.removeAllTags();
    std::string error;
    const TagId id = r.sim.placeTag(kqsim::loadTag(u.before, error));
    r.sim.clearLog();
    ASSERT_EQ(c.op(r), 0) << std::hex << r.LastError();
    u.commands = r.sim.tagCommandCount();
    u.requests = static_cast<int>(r.sim.log(kqsim::LogKind::Received).size());
    u.done = *r.sim.tagMemory(id);
    r.sim.removeAllTags();
}

// After a failed run: the tag holds the old message, none or the new one, and the same
// operation run again completes, with the outcome it promises.
void RunAgain(const FastReader& r, const RemovalCase& c) {
    const std::string read = r.Read();
    EXPECT_TRUE(read == (c.old.empty() ? "<none>" : c.old) || read == "<none>" || read == "" || read == c.now)
        << read;
    ASSERT_EQ(c.op(r), 0) << "run again: " << std::hex << r.LastError();
}

void ExpectOutcome(const FastReader& r, const RemovalCase& c) {
    EXPECT_EQ(r.Read(), c.now);
    if (c.rawWriteRefused) {
        EXPECT_TRUE(c.rawWriteRefused(r));
    }
}

TEST_P(Removal, RunAgainCompletesAndNothingIsMixed) {
    const RemovalCase& c = GetParam();
    FastReader r;
    Untorn u;
    ASSERT_NO_FATAL_FAILURE(RunUntorn(r, c, u));
    const kqsim::TagImage& before = u.before;
    const int commands = u.commands;
    EXPECT_GT(commands, 5);
    std::string error;

    for (int n = 0; n < commands; ++n) {
        SCOPED_TRACE("taken away after " + std::to_string(n) + " of " + std::to_string(commands) +
                     " tag commands");
        TagId id = r.sim.placeTag(kqsim::loadTag(before, error));
        r.sim.removeTagAfter(id, n);
        EXPECT_NE(c.op(r), 0);
        EXPECT_EQ(r.LastError(), kTagNoTag) << std::hex << r.LastError();
        std::unique_ptr<kqsim::Tag> tag = r.sim.takeVanished(id);
        ASSERT_TRUE(tag) << "the tag did not leave";
        id = r.sim.placeTag(std::move(tag));
        ASSERT_NO_FATAL_FAILURE(RunAgain(r, c));
        ExpectOutcome(r, c);
        r.sim.withTag(id, [&](kqsim::Tag& t) {
            if (auto* classic = dynamic_cast<ClassicTag*>(&t)) {
                EXPECT_TRUE(classic->refusedTrailers().empty());
            }
        });
        r.sim.removeAllTags();
    }
}

// One run with a fault set up on the tag as it was before: it either completes as the
// untorn run did (the same memory, byte for byte: message, MAD and CRC, trailers, lock
// bits), or fails without claiming the tag gone, and runs again to the end.
void RunWithFault(FastReader& r, const RemovalCase& c, const Untorn& u,
                  const std::function<void(TagId)>& fault) {
    std::string error;
    const TagId id = r.sim.placeTag(kqsim::loadTag(u.before, error));
    fault(id);
    if (c.op(r) == 0) {
        EXPECT_EQ(*r.sim.tagMemory(id), u.done);
    } else {
        EXPECT_NE(r.LastError(), kTagNoTag) << "the tag is there";
        r.sim.clearFaults();
        ASSERT_NO_FATAL_FAILURE(RunAgain(r, c));
    }
    r.sim.clearFaults();
    ExpectOutcome(r, c);
    r.sim.removeAllTags();
}

// The same tables with a tag that misses one command at step n and is back, unpowered,
// for the next: a lost answer, not a removal; never success on a tag that holds
// something else.
TEST_P(Removal, OneMissedAnswerIsNoRemoval) {
    const RemovalCase& c = GetParam();
    FastReader r;
    Untorn u;
    ASSERT_NO_FATAL_FAILURE(RunUntorn(r, c, u));
    for (int n = 0; n < u.commands; ++n) {
        SCOPED_TRACE("one answer missed after " + std::to_string(n) + " of " + std::to_string(u.commands));
        ASSERT_NO_FATAL_FAILURE(RunWithFault(r, c, u, [&](TagId id) { r.sim.blipTagAfter(id, n); }));
    }
}

// The same with the reader's answer to request n withheld (the reader did the work; the
// host's wait ran out) or spoilt (a wrong check byte): a late or spoilt answer is no
// refusal either, and a failed authentication after it is no evidence about a sector.
TEST_P(Removal, OneLateOrSpoiltAnswerIsNoVerdict) {
    const RemovalCase& c = GetParam();
    FastReader r;
    Untorn u;
    ASSERT_NO_FATAL_FAILURE(RunUntorn(r, c, u));
    for (const kqsim::Fault& fault : {kqsim::Fault::silence(), kqsim::Fault::badCheck()}) {
        for (int n = 0; n < u.requests; ++n) {
            const bool late = fault.kind == kqsim::Fault::Kind::Silence;
            SCOPED_TRACE(std::string(late ? "answer withheld" : "answer spoilt") + " at request " +
                         std::to_string(n) + " of " + std::to_string(u.requests));
            kqsim::Fault f = fault;
            ASSERT_NO_FATAL_FAILURE(RunWithFault(r, c, u, [&](TagId) { r.sim.inject(f.after(n)); }));
        }
    }
}

int Format(const FastReader& r) {
    return KQLMX_FormatTag(r.port, nullptr, 0);
}
int Lock(const FastReader& r) {
    return KQLMX_LockTag(r.port, nullptr, 0);
}
std::function<int(const FastReader&)> Write(size_t n) {
    return [n](const FastReader& r) { return r.Write(TextJson(n)); };
}
// A read that gives the message: 0, else -1.
std::function<int(const FastReader&)> ReadBack(size_t n) {
    return [n](const FastReader& r) { return r.Read() == TextJson(n) ? 0 : -1; };
}
std::function<int(const FastReader&)> WriteLocked(size_t n) {
    return [n](const FastReader& r) {
        const std::string json = TextJson(n);
        return KQLMX_WriteTag(r.port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 1);
    };
}

// A raw write of block 4 (the first NDEF data block) with the NFC key as key A and with
// the transport key as key B, as another program would try it.
bool ClassicRefusesRawWrites(const FastReader& r) {
    const uint8_t nfcKey[6] = {0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7},
                  transport[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t bytes[16] = {0x5A};
    for (const auto& [type, key] : {std::pair{0, nfcKey}, std::pair{1, transport}}) {
        short atqa = 0;
        unsigned char uid[10];
        char sak = 0;
        if (KQLMX_RequestTag(r.port, &atqa) != 0 || KQLMX_SelectTag(r.port, uid, sizeof uid, &sak) < 0)
            return false;
        if (KQLMX_AuthenticateBlock(r.port, nullptr, 0, type, key, 6, 4) == 0 &&
            KQLMX_WriteBlock(r.port, 4, bytes, 16) == 0)
            return false;
    }
    return true;
}

bool VicinityRefusesRawWrites(const FastReader& r) {
    const uint8_t bytes[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    for (int block : {0, 1, 27})
        if (KQLMX_Iso15693WriteBlocks(r.port, block, bytes, 4, nullptr, 0, 0) == 0) return false;
    return true;
}

std::unique_ptr<kqsim::Tag> Classic1K() {
    return ClassicTag::blank(ClassicTag::Model::Classic1K);
}
std::unique_ptr<kqsim::Tag> Classic4K() {
    return ClassicTag::blank(ClassicTag::Model::Classic4K);
}
std::unique_ptr<kqsim::Tag> Icode() {
    return Iso15693Tag::blank("icode");
}
// What a lock cut short leaves (or another program): MAD sector locked, NDEF sectors 1-2
// not, "xxxxx" in sector 1 (MAD CRC E8 over the entries of sectors 1 and 2).
std::unique_ptr<kqsim::Tag> MadLocked1K() {
    kqsim::TagImage image;
    image.set("kind", "classic1k");
    const kqsim::Bytes ndefTrailer = {0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7, 0x7F, 0x07,
                                      0x88, 0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    image.setRow("block", 1, {0xE8, 0x00, 0x03, 0xE1, 0x03, 0xE1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    image.setRow(
        "block", 3,
        {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0x07, 0x8F, 0x0F, 0xC1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    // 03 0C D1 01 08 54 02 65 6E and "xxxxx", FE.
    image.setRow("block", 4,
                 {0x03, 0x0C, 0xD1, 0x01, 0x08, 0x54, 0x02, 0x65, 0x6E, 'x', 'x', 'x', 'x', 'x', 0xFE, 0});
    image.setRow("block", 7, ndefTrailer);
    image.setRow("block", 11, ndefTrailer);
    std::string error;
    return ClassicTag::load(image, error);
}

std::function<std::unique_ptr<kqsim::Tag>()> Vicinity(const char* kind) {
    return [kind] { return std::unique_ptr<kqsim::Tag>(Iso15693Tag::blank(kind)); };
}

// A write with the lock cut short, run again with a message one byte apart: the lock is
// finished only for the very message on the tag, so this run either writes and locks its
// own message or leaves the tag as the cut left it.
TEST(WriteWithLockCut, RunWithAnotherMessageLocksNothingForIt) {
    for (const auto& blank : {std::function<std::unique_ptr<kqsim::Tag>()>(Classic1K), Vicinity("icode")}) {
        const RemovalCase c{"write_with_lock", blank, TextJson(5), WriteLocked(40), TextJson(40), nullptr};
        FastReader r;
        Untorn u;
        ASSERT_NO_FATAL_FAILURE(RunUntorn(r, c, u));
        std::string other = TextJson(40), error;
        other[other.size() - 4] = 'y';
        for (int n = 0; n < u.commands; ++n) {
            SCOPED_TRACE("taken away after " + std::to_string(n));
            TagId id = r.sim.placeTag(kqsim::loadTag(u.before, error));
            r.sim.removeTagAfter(id, n);
            EXPECT_NE(c.op(r), 0);
            id = r.sim.placeTag(r.sim.takeVanished(id));
            const kqsim::Bytes torn = *r.sim.tagMemory(id);
            if (KQLMX_WriteTag(r.port, other.c_str(), static_cast<int>(other.size()), nullptr, 0, 1) == 0) {
                EXPECT_EQ(r.Read(), other);
            } else {
                EXPECT_EQ(*r.sim.tagMemory(id), torn);
            }
            r.sim.removeAllTags();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Classic1K, Removal,
    testing::Values(RemovalCase{"write", Classic1K, TextJson(5), Write(20), TextJson(20), nullptr},
                    // 215 bytes of TLV area: sectors 3-5 join the two of the short message.
                    RemovalCase{"write_growing", Classic1K, TextJson(5), Write(200), TextJson(200), nullptr},
                    RemovalCase{"write_on_blank", Classic1K, "", Write(20), TextJson(20), nullptr},
                    // The format on the way takes sectors 1-5.
                    RemovalCase{"write_growing_on_blank", Classic1K, "", Write(200), TextJson(200), nullptr},
                    RemovalCase{"format", Classic1K, "", Format, "", nullptr},
                    RemovalCase{"lock", Classic1K, TextJson(5), Lock, TextJson(5), ClassicRefusesRawWrites},
                    RemovalCase{"write_with_lock", Classic1K, TextJson(5), WriteLocked(100), TextJson(100),
                                ClassicRefusesRawWrites},
                    RemovalCase{"lock_after_mad_locked", MadLocked1K, "", Lock, TextJson(5),
                                ClassicRefusesRawWrites},
                    RemovalCase{"read", Classic1K, TextJson(200), ReadBack(200), TextJson(200), nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Classic4K, Removal,
    testing::Values(RemovalCase{"write", Classic4K, TextJson(5), Write(20), TextJson(20), nullptr},
                    // 755 bytes: sectors 3-15 and 17, entered in both MADs.
                    RemovalCase{"write_growing", Classic4K, TextJson(5), Write(740), TextJson(740), nullptr},
                    RemovalCase{"format", Classic4K, "", Format, "", nullptr},
                    RemovalCase{"lock", Classic4K, TextJson(5), Lock, TextJson(5), ClassicRefusesRawWrites},
                    RemovalCase{"write_with_lock", Classic4K, TextJson(5), WriteLocked(100), TextJson(100),
                                ClassicRefusesRawWrites}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Iso15693, Removal,
    testing::Values(RemovalCase{"write", Icode, TextJson(5), Write(40), TextJson(40), nullptr},
                    RemovalCase{"write_on_blank", Icode, "", Write(40), TextJson(40), nullptr},
                    RemovalCase{"format", Icode, "", Format, "", nullptr},
                    RemovalCase{"lock", Icode, TextJson(5), Lock, TextJson(5), VicinityRefusesRawWrites},
                    RemovalCase{"write_with_lock", Icode, TextJson(5), WriteLocked(40), TextJson(40),
                                VicinityRefusesRawWrites},
                    // 8- and 32-byte blocks, and 16-byte blocks behind an 8-byte CC.
                    RemovalCase{"write_8_byte_blocks", Vicinity("iso15693-8noinfo"), TextJson(5), Write(40),
                                TextJson(40), nullptr},
                    RemovalCase{"write_32_byte_blocks", Vicinity("iso15693-32"), TextJson(5), Write(100),
                                TextJson(100), nullptr},
                    RemovalCase{"format_long_cc", Vicinity("iso15693-4k"), "", Format, "", nullptr},
                    RemovalCase{"write_long_cc", Vicinity("iso15693-4k"), TextJson(5), Write(40),
                                TextJson(40), nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// Raw writes of the first, a middle and the last user page of an NTAG213 / Ultralight C.
bool Type2RefusesRawWrites(const FastReader& r) {
    bool refused = true;
    for (kqsim::TagId id : r.sim.tagIds())
        const_cast<FastReader&>(r).sim.withTag(id, [&](kqsim::Tag& t) {
            for (int page : {4, 0x10, 0x27})
                refused = refused && RawType2WriteRefused(dynamic_cast<kqsim::Type2Tag&>(t), page);
        });
    return refused;
}

std::unique_ptr<kqsim::Tag> Ntag213() {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213);
}
std::unique_ptr<kqsim::Tag> Ultralight() {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ultralight);
}
std::unique_ptr<kqsim::Tag> UltralightC() {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::UltralightC);
}

const auto kType2Cases = testing::Values(
    RemovalCase{"write", Ntag213, TextJson(5), Write(20), TextJson(20), nullptr},
    RemovalCase{"write_growing", Ntag213, TextJson(5), Write(120), TextJson(120), nullptr},
    RemovalCase{"write_on_blank", Ultralight, "", Write(20), TextJson(20), nullptr},
    RemovalCase{"format", Ntag213, "", Format, "", nullptr},
    RemovalCase{"lock", Ntag213, TextJson(5), Lock, TextJson(5), Type2RefusesRawWrites},
    RemovalCase{"lock_ultralight_c", UltralightC, TextJson(5), Lock, TextJson(5), Type2RefusesRawWrites});
INSTANTIATE_TEST_SUITE_P(Type2, Removal, kType2Cases,
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kqtest
