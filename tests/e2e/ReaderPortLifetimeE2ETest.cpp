// Ports of libkqlmx.so whose line or owner goes away at an awkward moment, against
// the simulated reader on a real pty: a dropped link, a port closed while its own
// answer wait runs, a second exchange started from inside that wait.
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
        void (*drop)(kqsim::Simulator&);
    };
    const Case cases[] = {
        {"instead of an answer", [](kqsim::Simulator& s) { s.inject(kqsim::Fault::dropLink()); }},
        {"between exchanges", [](kqsim::Simulator& s) { s.dropLink(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PtyReader dropping(Reader(0));
        OpenedPort first(dropping.Path(), 19200, 300);
        ASSERT_EQ(first.Handle(), 1);
        c.drop(dropping.sim);
        Stopwatch watch;
        EXPECT_TRUE(Version(first.Handle()).empty());
        EXPECT_EQ(KQLMX_GetLastError(first.Handle()), KQLMX_ERROR_TIMEOUT);
        EXPECT_EQ(KQLMX_SetRfField(first.Handle(), 1), -1);
        EXPECT_EQ(KQLMX_GetLastError(first.Handle()), KQLMX_ERROR_TIMEOUT);
        EXPECT_LT(watch.Elapsed(), 3000ms);
        EXPECT_FALSE(dropping.pty.linkUp());

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

// Catches a port freed while the call that found it still waits on it (a crash under
// the sanitizers), and a close that leaves the device held.
TEST(ReaderPortLifetimeE2E, PortClosedDuringItsOwnAnswerWait) {
    PtyReader reader(Reader(0));
    OpenedPort port(reader.Path(), 19200, 300);
    ASSERT_EQ(port.Handle(), 1);
    reader.sim.inject(kqsim::Fault::delay({.beforeAnswer = 100ms}));
    int closed = 1;
    int pumps = 0;
    {
        WaitHooks hooks([&] {
            if (pumps++ == 0) closed = port.Close();
        });
        EXPECT_TRUE(Version(1).empty()) << "the closed port's line can bring no answer";
    }
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(KQLMX_GetLastError(1), KQLMX_ERROR_NO_SUCH_PORT);
    OpenedPort again(reader.Path(), 19200, 300);
    EXPECT_EQ(again.Handle(), 1);
    EXPECT_EQ(VersionText(again.Handle()), "1844");
}

// Catches a nested exchange that sends its own request into the waiting one or takes
// its answer.
TEST(ReaderPortLifetimeE2E, SecondExchangeDuringAWaitFailsCleanly) {
    PtyReader reader(Reader(0));
    OpenedPort port(reader.Path(), 19200, 500);
    ASSERT_EQ(port.Handle(), 1);
    reader.sim.clearLog();
    reader.sim.inject(kqsim::Fault::delay({.beforeAnswer = 100ms}));
    int nested = 0;
    int nestedError = 0;
    int pumps = 0;
    Bytes outer;
    {
        WaitHooks hooks([&] {
            if (pumps++ != 0) return;
            unsigned char buffer[16];
            nested = KQLMX_GetReaderVersion(port.Handle(), buffer, sizeof buffer);
            nestedError = KQLMX_GetLastError(port.Handle());
        });
        outer = Version(port.Handle());
    }
    EXPECT_EQ(outer, (Bytes{'1', '8', '4', '4'}));
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(nestedError, KQLMX_ERROR_PORT_BUSY);
    EXPECT_EQ(HostBytes(reader.sim), kProbe0) << "only the outer request went out";
    EXPECT_EQ(VersionText(port.Handle()), "1844");
}

} // namespace
} // namespace kqe2e
