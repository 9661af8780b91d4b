// The INI model that reads the update server's version file.
#include "app/IniEx.h"

#include <gtest/gtest.h>

namespace {

CIniEx Parse(const char* text) {
    CIniEx ini;
    EXPECT_TRUE(ini.ParseText(QString::fromUtf8(text)));
    return ini;
}

struct LookupCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    const char* expected; // "<default>" when the lookup must miss
};

void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << c.name;
}

class IniLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(IniLookup, FindsValueOrDefault) {
    const LookupCase& c = GetParam();
    const CIniEx ini = Parse(c.text);
    EXPECT_EQ(ini.GetValue(c.section, c.key, "<default>").toStdString(), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniLookup,
    testing::Values(
        // value keeps trailing blanks, loses leading ones; key loses trailing blanks
        LookupCase{"blanks", "[A]\r\nVersion = 1.2  ", "A", "Version", "1.2  "},
        LookupCase{"case_insensitive", "[A]\r\nVersion = 1.2  ", "a", "VERSION", "1.2  "},
        LookupCase{"last_equal_key_wins", "[S]\r\nx=1\r\nx=2", "S", "x", "2"},
        LookupCase{"first_equal_section_only", "[S]\r\nk=1\r\n[S]\r\nk=2\r\nj=3", "S", "j", "<default>"},
        LookupCase{"first_equal_section_value", "[S]\r\nk=1\r\n[S]\r\nk=2", "S", "k", "1"},
        LookupCase{"before_first_header", "k=v\r\n[A]\r\nx=y", "", "k", "v"},
        LookupCase{"leading_blank_is_no_header", " [A]\r\nk=v", "", " [A]", ""},
        LookupCase{"trailing_blank_is_no_header", "[A] \r\nk=v", "", "[A]", ""},
        LookupCase{"tab_after_header_is_dropped", "[A]\t\r\nk=v", "A", "k", "v"},
        LookupCase{"header_without_keys_is_dropped", "[A]\r\n[B]\r\nk=v", "B", "k", "v"},
        LookupCase{"no_section_named_A", "[A]\r\n[B]\r\nk=v", "A", "k", "<default>"},
        LookupCase{"key_without_equals", "[S]\r\nk", "S", "k", ""},
        LookupCase{"comment_is_a_key", "[S]\r\n; note", "S", "; note", ""},
        LookupCase{"only_first_equals_splits", "[S]\r\na = b=c", "S", "a", "b=c"},
        LookupCase{"lf_and_cr_lines", "[S]\nk=1\rj=2\n\n\r\nl=3", "S", "l", "3"},
        LookupCase{"missing_key", "[S]\r\nk=1", "S", "x", "<default>"},
        LookupCase{"missing_section", "[S]\r\nk=1", "T", "k", "<default>"},
        LookupCase{"empty_text", "", "", "k", "<default>"}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST(IniEx, SectionsAreMadeByKeyLinesAtTheHeaderCount) {
    // "[A]" then "[B]" then a key: the key lands at index 2, named "B"; 0 and 1 are
    // empty and nameless.
    const CIniEx ini = Parse("[A]\r\n[B]\r\nk=v");
    ASSERT_EQ(ini.Sections().size(), 3);
    EXPECT_EQ(ini.Sections()[0].name, "");
    EXPECT_TRUE(ini.Sections()[0].keys.isEmpty());
    EXPECT_EQ(ini.Sections()[1].name, "");
    EXPECT_EQ(ini.Sections()[2].name, "B");
    EXPECT_EQ(ini.Sections()[2].keys, QStringList{"k"});
    EXPECT_EQ(ini.Sections()[2].values, QStringList{"v"});
}

TEST(IniEx, EmptyBracketsAreAHeaderWithAnEmptyName) {
    const CIniEx ini = Parse("[]\r\nk=v");
    ASSERT_EQ(ini.Sections().size(), 2);
    EXPECT_EQ(ini.Sections()[1].name, "");
    EXPECT_EQ(ini.Sections()[1].keys, QStringList{"k"});
    // The lookup of "" finds the first nameless section, the empty one at 0.
    EXPECT_EQ(ini.FindSection(""), 0);
    EXPECT_EQ(ini.GetValue("", "k", "<default>"), "<default>");
}

} // namespace
