// The reader's last error -> (state, message index) table: every listed code, and
// codes the table leaves out.
#include "app/OperationResult.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    int lastError;
    int state;
    int index;
};

// As the result display expects them: state 2 for errors of the tag's type or NFC
// data, 1 for the others.
constexpr Row kRows[] = {
    {3, 1, 12},
    {0x20001, 1, 13},
    {0x20002, 1, 15},
    {0x20003, 2, 16},
    {0x20004, 1, 17},
    {0x20005, 1, 30},
    {0x20006, 1, 31},
    {0x20007, 1, 32},
    {0x20008, 1, 34},
    {0x20009, 1, 33},
    {0x2000A, 1, 23},
    {0x2000B, 1, 28},
    {0x2000C, 2, 35},
    {0x2000D, 2, 36},
    {0x2000E, 1, 21},
    {0x2000F, 2, 22},
    {0x20010, 2, 20},
    {0x20011, 1, 24},
    {0x20012, 1, 25},
    {0x20013, 1, 26},
    {0x20014, 1, 27},
    {0x20015, 1, 29},
    {0x20016, 1, 18},
    {0x20017, 2, 37},
    {0x20018, 2, 38},
    {0x20019, 2, 39},
    {0x2001B, 2, 40},
    {0x2001C, 2, 41},
    // Not in the table: the general error.
    {0x2001A, 1, 9},
    {0, 1, 9},
    {4, 1, 9},
    {0x100AE, 1, 9},
    {0x30001, 1, 9},
    {-1, 1, 9},
};

TEST(SdkErrorToResultIndex, GivesTheStateAndMessageOfEveryCode) {
    for (const Row& row : kRows) {
        const ResultCode code = SdkErrorToResultIndex(row.lastError);
        EXPECT_EQ(code, (ResultCode{row.state, row.index})) << std::hex << "last error 0x" << row.lastError;
    }
}

} // namespace
