// The steps of a DESFire lock and protection over every combination of the key-setting
// bits 0-3 at both levels, the application's change-key nibble, representative file
// rights, the key types and which keys we know. Each plan is run against the card's
// own rules as the DESFire command set states them (ChangeKeySettings only with bit 3,
// ChangeKey of key 0 only with bit 0, ChangeFileSettings with key 0 or free where the
// change right says so), and its outcome checked: after a lock no key anyone knows
// opens anything and nothing can be deleted without one; a refusal only where those
// rules leave no way.
#include "reader/tags/DesfireLockPlan.h"
#include "content/TagErrorCode.h"

#include <gtest/gtest.h>

namespace kqtest {
namespace {

using kq::DesfireFileState;
using kq::DesfireKeyType;
using kq::DesfireLockInput;
using kq::DesfireLockPlan;

bool NoData(uint16_t r) {
    return ((r >> 8) & 0xF) == 0xF && ((r >> 4) & 0xF) == 0xF;
}
// No data now, and only key 0 (or nobody) may change that.
bool NoDataEver(uint16_t r) {
    return NoData(r) && ((r & 0xF) == 0xF || (r & 0xF) == 0);
}
// Rights key 0 may change, or anyone.
bool Changeable(uint16_t r) {
    return (r & 0xF) == 0 || (r & 0xF) == 0xE;
}
// Key 0 changeable and nothing deleted freely, reachable by the card's rules.
bool CanSeal(uint8_t s) {
    return (s & 0x08) || (s & 0x05) == 0x01;
}

const std::vector<std::vector<uint16_t>> kRightSets = {
    {0xEEEE, 0xEEEE},                   // as a format leaves them
    {0xE000, 0xE000},                   // protected with data
    {0xE000, 0xEEE0},                   // protected, data free
    {0xEFFF, 0xEFFF},                   // locked
    {0xEEEE, 0xEEE3},                   // changed with key 3 only
    {0xEEEE, 0xEEEF},                   // writable for ever
    {0xEEEE, 0xEFFF}, {0xEFFF, 0xEFFE}, // written never, rights free to change
    {0xEFFF, 0xEFF1},                   // written never, rights changed with key 1
};
const DesfireKeyType kTypes[] = {DesfireKeyType::kDes, DesfireKeyType::kTripleDes3, DesfireKeyType::kAes};

template <typename F> void ForEachInput(F check) {
    for (int card = 0; card <= 16; ++card)
        for (int app = 0; app < 32; ++app)
            for (const auto& rights : kRightSets)
                for (DesfireKeyType cardType : kTypes)
                    for (DesfireKeyType appType : kTypes)
                        for (int known = 0; known < 4; ++known)
                            for (uint8_t cc : {0x00, 0xFF}) {
                                DesfireLockInput in;
                                // 16: the card keeps its settings to itself (only without its key).
                                if (card < 16) in.card.settings = static_cast<uint8_t>(card);
                                in.app.settings =
                                    static_cast<uint8_t>((app & 0x0F) | (app & 0x10 ? 0xE0 : 0));
                                in.card.keyType = cardType;
                                in.app.keyType = appType;
                                in.card.keyKnown = known & 1;
                                in.app.keyKnown = known & 2;
                                if (card == 16 && in.card.keyKnown) continue;
                                in.filesListed = true;
                                for (size_t i = 0; i < rights.size(); ++i)
                                    in.files.push_back({rights[i], i == 0});
                                in.ccWriteAccess = cc;
                                check(in);
                            }
}

TEST(DesfireLockPlan, LockLeavesNoWayInOrRefusesBeforeAnyChange) {
    int locked = 0, done = 0, refused = 0;
    ForEachInput([&](const DesfireLockInput& in) {
        const DesfireLockPlan plan = kq::PlanDesfireLock(in);
        SCOPED_TRACE(testing::Message()
                     << std::hex << "card " << int(in.card.settings.value_or(0xFF)) << " app "
                     << int(*in.app.settings) << " files " << in.files[1].rights << " known "
                     << in.card.keyKnown << in.app.keyKnown << " cc " << int(in.ccWriteAccess));
        const bool threeKey =
            in.card.keyType == DesfireKeyType::kTripleDes3 || in.app.keyType == DesfireKeyType::kTripleDes3;
        const bool appSealed = !in.app.keyKnown && in.ccWriteAccess == 0xFF && !(*in.app.settings & 0x04) &&
                               NoDataEver(in.files[0].rights) && NoDataEver(in.files[1].rights);
        const bool filesLockable =
            std::all_of(in.files.begin(), in.files.end(), [](const DesfireFileState& f) {
                return NoDataEver(f.rights) || Changeable(f.rights);
            });
        if (threeKey) {
            EXPECT_EQ(plan.refusal, kTagErrorTypeNotSupported);
            return;
        }
        if (plan.refusal) {
            ++refused;
            EXPECT_FALSE(plan.appSteps || plan.cardSteps || plan.done);
            if (plan.refusal == kTagErrorDesfireAppAuthentication)
                EXPECT_TRUE(!in.app.keyKnown && !appSealed);
            else if (plan.refusal == kTagErrorDesfireCardAuthentication)
                EXPECT_FALSE(in.card.keyKnown);
            else {
                ASSERT_EQ(plan.refusal, kTagErrorDesfireSettingsChange);
                // Only where the card's rules leave no way.
                EXPECT_TRUE((in.app.keyKnown && (!CanSeal(*in.app.settings) || !filesLockable)) ||
                            (in.card.keyKnown && !CanSeal(*in.card.settings)));
            }
            return;
        }
        if (plan.done) {
            ++done;
            EXPECT_TRUE(appSealed);
            EXPECT_FALSE(in.card.keyKnown);
            EXPECT_FALSE(in.card.settings && (*in.card.settings & 0x04));
            return;
        }
        ++locked;
        // Application: the steps are the card's to take, in the plan's order.
        EXPECT_EQ(plan.appSteps, in.app.keyKnown || !appSealed);
        if (plan.appSteps) {
            ASSERT_TRUE(in.app.keyKnown);
            EXPECT_EQ(plan.ccWriteAccess.value_or(in.ccWriteAccess), 0xFF);
            ASSERT_EQ(plan.fileRights.size(), in.files.size());
            for (size_t i = 0; i < in.files.size(); ++i) {
                if (plan.fileRights[i]) {
                    EXPECT_TRUE(Changeable(in.files[i].rights));
                }
                EXPECT_TRUE(NoDataEver(plan.fileRights[i].value_or(in.files[i].rights)));
            }
            if (plan.appSettings) {
                EXPECT_TRUE(*in.app.settings & 0x08) << "settings frozen";
            }
            const uint8_t after = plan.appSettings.value_or(*in.app.settings);
            EXPECT_TRUE(after & 0x01) << "key 0 stays as it is";
            EXPECT_FALSE(after & 0x04) << "files deleted without a key";
        }
        // Card level: key 0 changed, nothing deleted freely.
        ASSERT_TRUE(plan.cardSteps);
        ASSERT_TRUE(in.card.keyKnown);
        if (plan.cardSettings) {
            EXPECT_TRUE(*in.card.settings & 0x08);
        }
        const uint8_t card = plan.cardSettings.value_or(*in.card.settings);
        EXPECT_TRUE(card & 0x01) << "the card key stays as it is";
        EXPECT_FALSE(card & 0x04);
        EXPECT_EQ(card & 0x02, *in.card.settings & 0x02) << "listing at the card level is the owner's";
    });
    EXPECT_GT(locked, 1000);
    EXPECT_GT(done, 100);
    EXPECT_GT(refused, 1000);
}

TEST(DesfireLockPlan, ProtectionSetsItsKeyEverywhereOrRefusesBeforeAnyChange) {
    for (bool data : {false, true}) {
        int planned = 0;
        ForEachInput([&](DesfireLockInput in) {
            if (!in.card.settings) return;
            const DesfireLockPlan plan = kq::PlanDesfireProtection(in, data);
            SCOPED_TRACE(testing::Message() << std::hex << "card " << int(*in.card.settings) << " app "
                                            << int(*in.app.settings) << " files " << in.files[1].rights);
            if (in.card.keyType == DesfireKeyType::kTripleDes3 ||
                in.app.keyType == DesfireKeyType::kTripleDes3) {
                EXPECT_EQ(plan.refusal, kTagErrorTypeNotSupported);
            } else if (!in.app.keyKnown) {
                EXPECT_EQ(plan.refusal, kTagErrorDesfireAppAuthentication);
            } else if (!in.card.keyKnown) {
                EXPECT_EQ(plan.refusal, kTagErrorDesfireCardAuthentication);
            } else {
                const bool possible = (*in.app.settings == 0x09 || (*in.app.settings & 0x08)) &&
                                      (*in.card.settings == 0x0B || (*in.card.settings & 0x08)) &&
                                      Changeable(in.files[0].rights) && Changeable(in.files[1].rights);
                EXPECT_EQ(plan.refusal == 0, possible);
            }
            if (plan.refusal) return;
            ++planned;
            EXPECT_EQ(plan.appSettings.value_or(*in.app.settings), 0x09);
            EXPECT_EQ(plan.cardSettings.value_or(*in.card.settings), 0x0B);
            EXPECT_EQ(plan.fileRights, (std::vector<std::optional<uint16_t>>{
                                           0xE000, data ? uint16_t{0xE000} : uint16_t{0xEEE0}}));
            // Phones go by the CC: read-only exactly when the data wants the key.
            EXPECT_EQ(plan.ccWriteAccess.value_or(in.ccWriteAccess), data ? 0xFF : 0x00);
        });
        EXPECT_GT(planned, 100);
    }
}

} // namespace
} // namespace kqtest
