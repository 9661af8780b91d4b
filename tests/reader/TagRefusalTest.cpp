// Which failed commands are the tag's word: only an answer that refused the command. The
// codes are the reader statuses and frame checks of the flat API (kqlmx.h); type 0 and 1
// readers report a refused authentication with status 04, the same number as the
// host's own time-out.
#include "kqlmx.h"
#include "reader/tags/NfcTagHandler.h"

#include <gtest/gtest.h>

namespace {

struct RefusalCase {
    const char* what;
    int code;
    bool timedOut;
    bool refusal;
};

TEST(Refusal, OnlyAnAnswerThatRefusedIsAVerdict) {
    const RefusalCase cases[] = {
        {"authentication refused (type 0/1 status 04)", 4, false, true},
        {"authentication refused (type 2/3 status A4)", 20, false, true},
        {"tag refused the block (status 11 / 88)", 17, false, true},
        {"ISO 15693 error 12 (block locked)", 38, false, true},
        {"answer waited out", KQLMX_ERROR_TIMEOUT, true, false},
        {"no tag answered, type 0/1", 1, false, false},
        {"no tag answered, type 2/3", KQLMX_ERROR_NO_TAG_ANSWER, false, false},
        {"check byte wrong", KQLMX_ERROR_CHECK_BYTES, false, false},
        {"answer too short", KQLMX_ERROR_ANSWER_TOO_SHORT, false, false},
        {"empty answer", KQLMX_ERROR_EMPTY_ANSWER, false, false},
        {"ISO 15693 answer without its flags", 42, false, false},
        {"no failure", 0, false, false},
    };
    for (const RefusalCase& c : cases)
        EXPECT_EQ(kq::CNfcTagHandler::Refusal(c.code, c.timedOut), c.refusal) << c.what;
}

} // namespace
