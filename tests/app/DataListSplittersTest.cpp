// Cutting CSV lines into fields and TXT data lists into records and fields.
#include "app/DataListSplitters.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> Std(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

struct SplitCase {
    const char* line;
    char separator;
    bool ok;
    std::vector<std::string> fields;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.line;
}

class SplitLine : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitLine, GivesFieldsAndVerdict) {
    const SplitCase& c = GetParam();
    QStringList out{"stale"};
    EXPECT_EQ(SplitDataListLine(QString::fromUtf8(c.line), QLatin1Char(c.separator), out), c.ok) << c.line;
    EXPECT_EQ(Std(out), c.fields) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitLine,
    testing::Values(SplitCase{"a;\"b;c\";d", ';', true, {"a", "b;c", "d"}},
                    SplitCase{"a;;b", ';', true, {"a", "", "b"}},
                    SplitCase{"a;", ';', true, {"a"}},          // no empty last field
                    SplitCase{"a;\"\";", ';', true, {"a", ""}}, // empty quoted field, then the end
                    SplitCase{";", ';', true, {""}}, SplitCase{"", ';', true, {}},
                    SplitCase{"\"a\";\"b\"", ';', true, {"a", "b"}},
                    SplitCase{"x,\"y,z\"", ',', true, {"x", "y,z"}}, // any separator
                    SplitCase{"ab\"c;d", ';', true, {"ab\"c", "d"}}, // a quote inside an unquoted field
                    SplitCase{"\"say \"\"hi\"\"\";z", ';', true, {"say \"hi\"", "z"}}, // doubled quotes
                    SplitCase{"\"\"\"\";z", ';', true, {"\"", "z"}},
                    SplitCase{"\"a\"\";b\"", ';', true, {"a\";b"}}, // pair, then the field goes on
                    SplitCase{"a;\"b", ';', false, {"a"}},          // never closed: fields before stay
                    SplitCase{"a;\"b\"\"", ';', false, {"a"}},      // ends inside a pair
                    SplitCase{"\"ab\"c;d", ';', false, {}},         // closing quote followed by 'c'
                    SplitCase{"k;\"Müller\";ä", ';', true, {"k", "Müller", "ä"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return "case" + std::to_string(info.index); });

TEST(SplitLine, LineBreaksInsideFieldsBecomeCrLf) {
    QStringList out;
    ASSERT_TRUE(SplitDataListLine(QStringLiteral("\"one\ntwo\";x\ny;\"a\r\nb\""), QLatin1Char(';'), out));
    // A bare LF is widened; a CR LF that is there already is not doubled.
    EXPECT_EQ(Std(out), (std::vector<std::string>{"one\r\ntwo", "x\r\ny", "a\r\nb"}));
}

struct TokenCase {
    const char* text;
    std::vector<std::string> tokens;
};

std::vector<std::string> AllTokens(const QString& text,
                                   QString (*next)(const QString&, qsizetype, qsizetype&)) {
    std::vector<std::string> tokens;
    qsizetype pos = 0;
    for (int guard = 0; pos < text.size() && guard < 100; ++guard) {
        qsizetype nextPos = -1;
        tokens.push_back(next(text, pos, nextPos).toStdString());
        EXPECT_GT(nextPos, pos); // every call moves on
        pos = nextPos;
    }
    return tokens;
}

TEST(SemicolonPairToken, CutsRecordsAtRunsOfTwoOrMore) {
    const std::vector<TokenCase> cases = {
        {"x;;;y", {"x;", "y"}},         // odd run: one ';' stays with the record
        {"a;;b;;;;c", {"a", "b", "c"}}, // even run: none stays
        {";;;;", {""}},
        {"a;b", {"a;b"}},                                               // a single ';' separates nothing
        {"REC\r\nf1|f2\r\n;;\r\ng1|g2\r\n", {"REC\r\nf1|f2", "g1|g2"}}, // CR LF trimmed at both ends
        {"\r\n\r\n;;x", {"", "x"}},
    };
    for (const TokenCase& c : cases)
        EXPECT_EQ(AllTokens(QString::fromUtf8(c.text), NextSemicolonPairToken), c.tokens) << c.text;
}

TEST(SemicolonPairToken, AtOrPastTheEndGivesNothingAndKeepsNextPosition) {
    const QString text = QStringLiteral("x;;;y");
    qsizetype next = 1;
    EXPECT_EQ(NextSemicolonPairToken(text, 1, next), ";"); // from 1: an odd run right away
    EXPECT_EQ(next, 4);
    next = 77;
    EXPECT_EQ(NextSemicolonPairToken(text, 5, next), "");
    EXPECT_EQ(next, 77);
    EXPECT_EQ(NextSemicolonPairToken(text, 9, next), "");
    EXPECT_EQ(next, 77);
}

TEST(PipeToken, CutsFieldsAtEachBar) {
    const std::vector<TokenCase> cases = {
        {"a|b||c", {"a", "b", "", "c"}},
        {"\r\nx\r\n|y\r\n", {"x", "y"}},
        {"only", {"only"}},
        {"a|", {"a"}},
    };
    for (const TokenCase& c : cases)
        EXPECT_EQ(AllTokens(QString::fromUtf8(c.text), NextPipeToken), c.tokens) << c.text;
    qsizetype next = 5;
    EXPECT_EQ(NextPipeToken(QStringLiteral("a|b"), 3, next), "");
    EXPECT_EQ(next, 5);
}

} // namespace
