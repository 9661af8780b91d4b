// Version numbers and the "newer" rule of the update check.
#include "app/UpdateCheck.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionToNumber, ReadsMajorTimesThousandPlusMinor) {
    const std::vector<std::pair<const char*, quint32>> cases = {
        {"1.10", 1010u},   {"1.9", 1009u}, {"2", 2000u},
        {"-.--", 0u},      {"", 0u},       {" 1.5", 1005u}, // leading blanks
        {"1.5abc", 1005u},                                  // digits up to the first other character
        {"+3.2", 3002u},   {".5", 0u},                      // a '.' in first place does not split
        {"1..2", 1000u},                                    // minor ".2" has no digits
        {"1.2.3", 1002u},  {"V1.2", 2u},                    // no digits before the dot
    };
    for (const auto& [text, number] : cases)
        EXPECT_EQ(CUpdateCheck::VersionToNumber(QString::fromLatin1(text)), number) << text;
}

TEST(VersionToNumber, HugeAndNegativeNumbersWrapLikeTheUnsignedResult) {
    // The exact value of major * 1000 + minor, reduced modulo 2^32 (values worked out
    // by hand): no overflow however many digits come.
    EXPECT_EQ(CUpdateCheck::VersionToNumber("4294967.296"), 0u);
    EXPECT_EQ(CUpdateCheck::VersionToNumber("4294967.295"), 4294967295u);
    EXPECT_EQ(CUpdateCheck::VersionToNumber("99999999999999999999.0"), 4135582744u);
    EXPECT_EQ(CUpdateCheck::VersionToNumber("-1"), 4294966296u);
    EXPECT_EQ(CUpdateCheck::VersionToNumber("-5.3"), 4294962299u);
    EXPECT_EQ(CUpdateCheck::VersionToNumber("0.4294967296"), 0u);
    EXPECT_EQ(CUpdateCheck::VersionToNumber(QString(5000, QLatin1Char('9'))),
              4294966296u); // (10^5000 - 1) * 1000
}

struct NewerCase {
    const char* localVersion;
    const char* localBuild;
    const char* remoteVersion;
    const char* remoteBuild;
    bool newer;
};

TEST(IsNewerVersion, ComparesNumbersThenBuildDates) {
    const std::vector<NewerCase> cases = {
        {"1.9", "2024-01-01", "1.10", "2024-01-01", true},  // 1009 < 1010
        {"1.10", "2024-03-01", "1.10", "2024-05-01", true}, // same version, later build
        {"1.10", "2024-03-01", "1.10", "", false},          // no remote build
        {"1.10", "2024-05-01", "1.10", "2024-05-01", false},
        {"2.0", "2024-01-01", "1.5", "2024-06-01", true}, // lower version, later build
        {"2.0", "2024-07-01", "1.5", "2024-06-01", false},
        {"-.--", "2024-01-01", "0.1", "2000-01-01", true}, // no local version counts as 0
        {"1.05", "", "1.05", "2024-01-01", true},          // empty local build sorts first
    };
    for (const NewerCase& c : cases)
        EXPECT_EQ(CUpdateCheck::IsNewerVersion(c.localVersion, c.localBuild, c.remoteVersion, c.remoteBuild),
                  c.newer)
            << c.localVersion << " " << c.localBuild << " vs " << c.remoteVersion << " " << c.remoteBuild;
}

TEST(UpdateAddress, OnlyHttpsOrLoopbackHttp) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"https://updates.example.com/rfid/software/x.txt", true},
        {"http://127.0.0.1:8080/x", true},
        {"http://127.0.0.5/x", true},
        {"http://localhost/x", true},
        {"http://[::1]:80/x", true},
        {"http://example.com/setup.exe", false},
        {"http://10.0.0.1/setup.exe", false},
        {"ftp://127.0.0.1/setup.exe", false},
        {"file:///tmp/setup.exe", false},
        {"https:///nohost", false},
        {"setup.exe", false},
    };
    for (const auto& [address, allowed] : cases)
        EXPECT_EQ(CUpdateCheck::IsAllowedAddress(QUrl(QString::fromLatin1(address))), allowed) << address;
}

} // namespace
