// The engine's key cache: lookup with wildcards, one entry per number pair, disabled
// cache.
#include "app/CardStatus.h"

#include <gtest/gtest.h>

namespace {

TagKey KeyOf(std::uint8_t fill) {
    TagKey key;
    key.fill(fill);
    return key;
}

TEST(CardStatus, FindsTheFirstEntryMatchingBothNumbersOrAnyWhereNegative) {
    CCardStatus cache;
    cache.SetKey(1, 0, KeyOf(0x10));
    cache.SetKey(0, 0, KeyOf(0x00));
    cache.SetKey(1, 2, KeyOf(0x12));

    TagKey out = KeyOf(0xEE);
    ASSERT_NE(cache.FindKey(0, 0, &out), nullptr);
    EXPECT_EQ(out, KeyOf(0x00));
    ASSERT_NE(cache.FindKey(1, 2, &out), nullptr);
    EXPECT_EQ(out, KeyOf(0x12));
    ASSERT_NE(cache.FindKey(-1, 0, &out), nullptr);
    EXPECT_EQ(out, KeyOf(0x10)); // the first stored with second number 0
    ASSERT_NE(cache.FindKey(1, -1, &out), nullptr);
    EXPECT_EQ(out, KeyOf(0x10));
    EXPECT_EQ(cache.FindKey(0, 2, &out), nullptr);
    EXPECT_EQ(out, TagKey{}); // zeroed when none is found
}

TEST(CardStatus, SettingTheSameNumbersAgainReplacesTheKey) {
    CCardStatus cache;
    cache.SetKey(1, 0, KeyOf(0x10));
    cache.SetKey(1, 0, KeyOf(0x11));
    TagKey out;
    ASSERT_NE(cache.FindKey(1, 0, &out), nullptr);
    EXPECT_EQ(out, KeyOf(0x11));
    cache.SetKey(0, 0, KeyOf(0x20));
    ASSERT_NE(cache.FindKey(-1, -1, &out), nullptr);
    EXPECT_EQ(out, KeyOf(0x11)); // still one entry under (1, 0), the first
}

TEST(CardStatus, ADisabledCacheKeepsNothing) {
    CCardStatus cache;
    EXPECT_TRUE(cache.Enabled);
    cache.Enabled = false;
    cache.SetKey(1, 0, KeyOf(0x10));
    EXPECT_TRUE(cache.IsEmpty());
    EXPECT_EQ(cache.FindKey(-1, -1), nullptr);
}

} // namespace
