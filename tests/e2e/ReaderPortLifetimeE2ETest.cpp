// A port of libkqlmx.so whose line goes away, against the simulated reader on a real
// pty. (A port closed during its own wait and a nested exchange are shown against a
// scripted reader in the reader tests.)
#include "ReaderE2eSupport.h"

#include <gtest/gtest.h>

namespace kqe2e {
namespace {

// Catches a dead line that hangs or crashes later calls, and a line closed by the
// communication thread and then again by the owner (which would close a descriptor
// that another port got meanwhile).
TEST(ReaderPortLifetimeE2E, DroppedLinkTimesOutAndIsClosedOnce) {
    struct Case {
        const char* what;
        void (*drop)(PtyReader&);
    };
    const Case cases[] = {
        {"instead of an answer", [](PtyReader& r) { r.sim.inject(kqsim::Fault::dropLink()); }},
        // The simulator drops the link in its own time: before the next command comes,
        // however late its thread gets to run.
        {"between exchanges",
         [](PtyReader& r) {
             r.sim.dropLink();
             WaitUntil([&] { return !r.pty.linkUp(); });
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PtyReader dropping(Reader(0));
        OpenedPort first(dropping.Path(), 19200, 300);
        ASSERT_EQ(first.Handle(), 1);
        c.drop(dropping);
        Stopwatch watch;
        EXPECT_TRUE(Version(first.Handle()).empty());
        EXPECT_EQ(KQLMX_GetLastError(first.Handle()), KQLMX_ERROR_NO_SUCH_PORT);
        EXPECT_EQ(KQLMX_SetRfField(first.Handle(), 1), -1);
        EXPECT_EQ(KQLMX_GetLastError(first.Handle()), KQLMX_ERROR_NO_SUCH_PORT);
        EXPECT_LT(watch.Elapsed(), 3000ms);
        EXPECT_FALSE(dropping.pty.linkUp());
        // Once the hang-up is seen, a whole tag operation (several exchanges, each with
        // a 300 ms time-out) fails at once instead of waiting out every exchange.
        Stopwatch operation;
        unsigned char uid[8];
        EXPECT_EQ(KQLMX_GetTagUid(first.Handle(), uid, sizeof uid), -1);
        EXPECT_EQ(KQLMX_GetLastError(first.Handle()), KQLMX_ERROR_NO_SUCH_PORT)
            << "the reader is gone, not the tag";
        char json[64];
        EXPECT_EQ(KQLMX_ReadTag(first.Handle(), json, sizeof json), -1);
        EXPECT_EQ(KQLMX_GetLastError(first.Handle()), KQLMX_ERROR_NO_SUCH_PORT);
        EXPECT_EQ(KQLMX_SetRfField(first.Handle(), 1), -1);
        EXPECT_EQ(KQLMX_GetLastError(first.Handle()), KQLMX_ERROR_NO_SUCH_PORT);
        EXPECT_LT(operation.Elapsed(), 250ms);

        kqsim::ReaderConfig other = Reader(0);
        other.typeCode = 0x121;
        other.firmwareDigit = 1;
        PtyReader healthy(other);
        OpenedPort second(healthy.Path(), 19200, 300);
        ASSERT_EQ(second.Handle(), 2) << "the dead port keeps its handle until it is closed";
        EXPECT_EQ(first.Close(), 0);
        EXPECT_EQ(VersionText(second.Handle()), "1211") << "closing the dead port hit the other port's line";
    }
}

} // namespace
} // namespace kqe2e
