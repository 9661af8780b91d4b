// Tags taken away after every single tag command of an operation: MIFARE Classic 1K and
// 4K, ISO 15693 and Type 2, through the flat API, against the simulator in the same process (no
// air time, no answer waits), so that every step of an operation can be torn. The count
// of tag commands comes from the simulator; the tag is put back as the operation left
// it, must read as holding the old message, none or the new one, and the same operation
// run again must complete.
#include "FuzzSimReader.h"
#include "TagSimReader.h"
#include "kqlmx.h"
#include "sim/ClassicTag.h"
#include "sim/Iso15693Tag.h"
#include "sim/TagFactory.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"
#include "Type2RawWrite.h"

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

std::string TextJson(size_t n) { return R"({"TEXT" : {"TITLE" : ")" + std::string(n, 'x') + R"("}})"; }

struct RemovalCase {
    const char* name;
    std::function<std::unique_ptr<kqsim::Tag>()> blank;
    std::string old; // the message on the tag before; empty: a blank tag
    std::function<int(const FastReader&)> op;
    std::string now; // the message after the operation; "": the empty one
    // After a lock: a raw write to the tag is refused (true: it was).
    std::function<bool(const FastReader&)> rawWriteRefused;
};

void PrintTo(const RemovalCase& c, std::ostream* os) { *os << c.name; }

class Removal : public testing::TestWithParam<RemovalCase> {};

// The tag holding the old message (into `before`), and the count of the operation's tag
// commands in an untorn run of it (-1 when it failed).
int UntornRun(FastReader& r, const RemovalCase& c, kqsim::TagImage& before) {
    const TagId first = r.sim.placeTag(c.blank());
    if (!c.old.empty() && r.Write(c.old) != 0) return -1;
    r.sim.withTag(first, [&](kqsim::Tag& tag) { tag.save(before); });
    r.sim.removeAllTags();
    std::string error;
    r.sim.placeTag(kqsim::loadTag(before, error));
    r.sim.clearLog();
    const int result = c.op(r);
    const int commands = r.sim.tagCommandCount();
    r.sim.removeAllTags();
    return result == 0 ? commands : -1;
}

TEST_P(Removal, RunAgainCompletesAndNothingIsMixed) {
    const RemovalCase& c = GetParam();
    FastReader r;
    kqsim::TagImage before;
    std::string error;
    const int commands = UntornRun(r, c, before);
    ASSERT_GE(commands, 0) << std::hex << r.LastError();
    EXPECT_GT(commands, 5);

    const std::string old = c.old.empty() ? "<none>" : c.old;
    for (int n = 0; n < commands; ++n) {
        SCOPED_TRACE("taken away after " + std::to_string(n) + " of " + std::to_string(commands) + " tag commands");
        TagId id = r.sim.placeTag(kqsim::loadTag(before, error));
        r.sim.removeTagAfter(id, n);
        EXPECT_NE(c.op(r), 0);
        EXPECT_EQ(r.LastError(), kTagNoTag) << std::hex << r.LastError();
        std::unique_ptr<kqsim::Tag> tag = r.sim.takeVanished(id);
        ASSERT_TRUE(tag) << "the tag did not leave";
        id = r.sim.placeTag(std::move(tag));
        const std::string read = r.Read();
        EXPECT_TRUE(read == old || read == "<none>" || read == "" || read == c.now) << read;
        ASSERT_EQ(c.op(r), 0) << "run again: " << std::hex << r.LastError();
        EXPECT_EQ(r.Read(), c.now);
        if (c.rawWriteRefused) {
            EXPECT_TRUE(c.rawWriteRefused(r));
        }
        r.sim.withTag(id, [&](kqsim::Tag& t) {
            if (auto* classic = dynamic_cast<ClassicTag*>(&t)) {
                EXPECT_TRUE(classic->refusedTrailers().empty());
            }
        });
        r.sim.removeAllTags();
    }
}

int Format(const FastReader& r) { return KQLMX_FormatTag(r.port, nullptr, 0); }
int Lock(const FastReader& r) { return KQLMX_LockTag(r.port, nullptr, 0); }
std::function<int(const FastReader&)> Write(size_t n) {
    return [n](const FastReader& r) { return r.Write(TextJson(n)); };
}

// A raw write of block 4 (the first NDEF data block) with the NFC key as key A and with
// the transport key as key B, as another program would try it.
bool ClassicRefusesRawWrites(const FastReader& r) {
    const uint8_t nfcKey[6] = {0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7}, transport[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t bytes[16] = {0x5A};
    for (const auto& [type, key] : {std::pair{0, nfcKey}, std::pair{1, transport}}) {
        short atqa = 0;
        unsigned char uid[10];
        char sak = 0;
        if (KQLMX_RequestTag(r.port, &atqa) != 0 || KQLMX_SelectTag(r.port, uid, sizeof uid, &sak) < 0) return false;
        if (KQLMX_AuthenticateBlock(r.port, nullptr, 0, type, key, 6, 4) == 0 && KQLMX_WriteBlock(r.port, 4, bytes, 16) == 0)
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

std::unique_ptr<kqsim::Tag> Classic1K() { return ClassicTag::blank(ClassicTag::Model::Classic1K); }
std::unique_ptr<kqsim::Tag> Classic4K() { return ClassicTag::blank(ClassicTag::Model::Classic4K); }
std::unique_ptr<kqsim::Tag> Icode() { return Iso15693Tag::blank("icode"); }

INSTANTIATE_TEST_SUITE_P(
    Classic1K, Removal,
    testing::Values(RemovalCase{"write", Classic1K, TextJson(5), Write(20), TextJson(20), nullptr},
                    // 215 bytes of TLV area: sectors 3-5 join the two of the short message.
                    RemovalCase{"write_growing", Classic1K, TextJson(5), Write(200), TextJson(200), nullptr},
                    RemovalCase{"write_on_blank", Classic1K, "", Write(20), TextJson(20), nullptr},
                    // The format on the way takes sectors 1-5.
                    RemovalCase{"write_growing_on_blank", Classic1K, "", Write(200), TextJson(200), nullptr},
                    RemovalCase{"format", Classic1K, "", Format, "", nullptr},
                    RemovalCase{"lock", Classic1K, TextJson(5), Lock, TextJson(5), ClassicRefusesRawWrites}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Classic4K, Removal,
    testing::Values(RemovalCase{"write", Classic4K, TextJson(5), Write(20), TextJson(20), nullptr},
                    // 755 bytes: sectors 3-15 and 17, entered in both MADs.
                    RemovalCase{"write_growing", Classic4K, TextJson(5), Write(740), TextJson(740), nullptr},
                    RemovalCase{"format", Classic4K, "", Format, "", nullptr},
                    RemovalCase{"lock", Classic4K, TextJson(5), Lock, TextJson(5), ClassicRefusesRawWrites}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Iso15693, Removal,
    testing::Values(RemovalCase{"write", Icode, TextJson(5), Write(40), TextJson(40), nullptr},
                    RemovalCase{"write_on_blank", Icode, "", Write(40), TextJson(40), nullptr},
                    RemovalCase{"format", Icode, "", Format, "", nullptr},
                    RemovalCase{"lock", Icode, TextJson(5), Lock, TextJson(5), VicinityRefusesRawWrites}),
    [](const auto& info) { return std::string(info.param.name); });

// One answer lost at each step of an operation, the tag still there (it misses that
// command and must be found again): an operation that answers success has its outcome,
// one that fails leaves the old message, none or the new one, and runs again.
class LostAnswer : public testing::TestWithParam<RemovalCase> {};

TEST_P(LostAnswer, IsNeitherARemovalNorAVerdict) {
    const RemovalCase& c = GetParam();
    FastReader r;
    kqsim::TagImage before;
    std::string error;
    const int commands = UntornRun(r, c, before);
    ASSERT_GE(commands, 0) << std::hex << r.LastError();

    const std::string old = c.old.empty() ? "<none>" : c.old;
    const auto outcomeHolds = [&] {
        EXPECT_EQ(r.Read(), c.now);
        if (c.rawWriteRefused) {
            EXPECT_TRUE(c.rawWriteRefused(r));
        }
    };
    for (int n = 0; n < commands; ++n) {
        SCOPED_TRACE("answer lost at tag command " + std::to_string(n) + " of " + std::to_string(commands));
        r.sim.placeTag(kqsim::loadTag(before, error));
        r.sim.blipTagAfter(r.sim.tagIds().front(), n);
        if (c.op(r) == 0) {
            outcomeHolds();
        } else {
            EXPECT_NE(r.LastError(), 0);
            const std::string read = r.Read();
            EXPECT_TRUE(read == old || read == "<none>" || read == "" || read == c.now) << read;
            ASSERT_EQ(c.op(r), 0) << "run again: " << std::hex << r.LastError();
            outcomeHolds();
        }
        r.sim.removeAllTags();
    }
}

// Raw writes of the first, a middle and the last user page of an NTAG213 / Ultralight C.
bool Type2RefusesRawWrites(const FastReader& r) {
    bool refused = true;
    for (kqsim::TagId id : r.sim.tagIds())
        const_cast<FastReader&>(r).sim.withTag(id, [&](kqsim::Tag& t) {
            for (int page : {4, 0x10, 0x27}) refused = refused && RawType2WriteRefused(dynamic_cast<kqsim::Type2Tag&>(t), page);
        });
    return refused;
}

std::unique_ptr<kqsim::Tag> Ntag213() { return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213); }
std::unique_ptr<kqsim::Tag> Ultralight() { return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ultralight); }
std::unique_ptr<kqsim::Tag> UltralightC() { return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::UltralightC); }

const auto kType2Cases = testing::Values(
    RemovalCase{"write", Ntag213, TextJson(5), Write(20), TextJson(20), nullptr},
    RemovalCase{"write_growing", Ntag213, TextJson(5), Write(120), TextJson(120), nullptr},
    RemovalCase{"write_on_blank", Ultralight, "", Write(20), TextJson(20), nullptr},
    RemovalCase{"format", Ntag213, "", Format, "", nullptr},
    RemovalCase{"lock", Ntag213, TextJson(5), Lock, TextJson(5), Type2RefusesRawWrites},
    RemovalCase{"lock_ultralight_c", UltralightC, TextJson(5), Lock, TextJson(5), Type2RefusesRawWrites});
INSTANTIATE_TEST_SUITE_P(Type2, Removal, kType2Cases, [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Type2, LostAnswer, kType2Cases, [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kqtest
