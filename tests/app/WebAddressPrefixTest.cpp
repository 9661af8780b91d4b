// Splitting a web address into the prefix of the forms' list and the rest, and
// putting the full address together again.
#include "forms/WebAddressPrefix.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* text;
    int index;
    const char* rest;
    bool matched;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class SplitAddress : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitAddress, TakesTheLongestPrefixLetterCaseAside) {
    const SplitCase& c = GetParam();
    const WebAddressSplit split = SplitWebAddress(QString::fromUtf8(c.text));
    EXPECT_EQ(split.prefixIndex, c.index);
    EXPECT_EQ(split.rest.toStdString(), c.rest);
    EXPECT_EQ(split.matched, c.matched);
}

INSTANTIATE_TEST_SUITE_P(
    WebAddressPrefix, SplitAddress,
    testing::Values(
        // The longest prefix wins: "http://www." before "http://".
        SplitCase{"http://www.example.org", 0, "example.org", true},
        SplitCase{"http://example.org", 1, "example.org", true},
        SplitCase{"https://www.example.org/a", 2, "example.org/a", true},
        SplitCase{"https://example.org", 3, "example.org", true},
        // Without the dot "www" is part of the rest.
        SplitCase{"http://www", 1, "www", true},
        // Capitals are the same prefix: "HTTPS://x" is https, not http:// + "HTTPS://x".
        SplitCase{"HTTPS://x", 3, "x", true}, SplitCase{"Http://WWW.Example.org", 0, "Example.org", true},
        SplitCase{"hTtPs://wWw.x", 2, "x", true},
        // Other schemes and bare hosts keep their whole text under the default "http://".
        SplitCase{"ftp://ftp.example.org", 1, "ftp://ftp.example.org", false},
        SplitCase{"www.example.org", 1, "www.example.org", false}, SplitCase{"", 1, "", false},
        SplitCase{"http:/", 1, "http:/", false},
        // Only A-Z fold: a long s (U+017F) or the Kelvin sign (U+212A) is no letter of a prefix.
        SplitCase{"http\u017F://x", 1, "http\u017F://x", false},
        SplitCase{"\u212Attp://x", 1, "\u212Attp://x", false}));

// The selected prefix goes in front of the field, unless the field brings its own.
TEST(WebAddressPrefix, FullAddressKeepsAPrefixTypedIntoTheField) {
    EXPECT_EQ(FullWebAddress("https://", "example.org").toStdString(), "https://example.org");
    EXPECT_EQ(FullWebAddress("http://www.", "example.org").toStdString(), "http://www.example.org");
    EXPECT_EQ(FullWebAddress("http://", "https://example.org").toStdString(), "https://example.org");
    EXPECT_EQ(FullWebAddress("http://", "HTTPS://WWW.Example.org").toStdString(), "https://www.Example.org");
    EXPECT_EQ(FullWebAddress("http://", "ftp://example.org").toStdString(), "http://ftp://example.org");
    EXPECT_EQ(FullWebAddress("http://", "").toStdString(), "http://");
}

} // namespace
