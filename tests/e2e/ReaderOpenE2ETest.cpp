// Opening ports through libkqlmx.so against the simulated reader on a real pty: the
// version probe over protocol types 0-3, version and model, the probe's time-out,
// a reader that answers nothing, the line code of the baud argument, handles.
#include "ReaderE2eSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kqe2e {
namespace {

// Catches a probe order other than type 0, reopen, type 0, 1, 2, 3 (type 2 found only
// on the second pass, with its "FV" follow-up), a frame layout or version rule on
// which the library and the reader disagree, and a wrong model name.
TEST(ReaderOpenE2E, FindsTheProtocolTypeOfEachReader) {
    struct Case {
        int type;
        int typeCode;
        int digit;
        Bytes probes; // what the host sent while opening
        const char* name;
        const char* version;
        int writer;
    };
    const Case cases[] = {
        {0, 0x184, 4, kProbe0, "KQ-LM90", "1844", 0},
        {1, 0x185, 7, Concat({kProbe0, kProbe0, kProbe1}), "KQ-LMX90", "1857", 1},
        {2, 0x184, 4, Concat({kProbe0, kProbe0, kProbe1, kProbe2, kFirmwareQuery2}), "KQ-LM90", "1844", 0},
        // Type 3 readers report type code 0x117 whatever their answer holds.
        {3, 0x184, 4, Concat({kProbe0, kProbe0, kProbe1, kProbe2, kProbe3}), "KQ-KavoP200u", "1174", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("protocol type " + std::to_string(c.type));
        kqsim::ReaderConfig config = Reader(c.type);
        config.typeCode = c.typeCode;
        config.firmwareDigit = c.digit;
        PtyReader reader(config);
        ASSERT_TRUE(reader.pty.ok()) << reader.pty.error();
        OpenedPort port(reader.Path(), 19200, 500);
        ASSERT_EQ(port.Handle(), 1);
        EXPECT_EQ(HostBytes(reader.sim), c.probes);
        EXPECT_EQ(ReaderName(port.Handle()), c.name);
        EXPECT_EQ(VersionText(port.Handle()), c.version);
        EXPECT_EQ(KQLMX_IsWriter(port.Handle()), c.writer);
        EXPECT_EQ(KQLMX_IsUsbPort(port.Handle()), 0);
        EXPECT_EQ(KQLMX_GetLastError(port.Handle()), KQLMX_ERROR_NONE);
    }
}

// Catches a type 2 reader given up (or its open failed) when its "FV" follow-up goes
// unanswered: it is then known by its placeholder version "1715".
TEST(ReaderOpenE2E, TypeTwoReaderWithoutFirmwareTextKeepsItsPlaceholder) {
    PtyReader reader(Reader(2));
    reader.sim.inject(kqsim::Fault::silence().forCommand(VersionCommand(2)).after(1));
    OpenedPort port(reader.Path(), 19200, 500);
    ASSERT_EQ(port.Handle(), 1);
    EXPECT_EQ(ReaderName(port.Handle()), "KQ-LX34 (S002)");
    EXPECT_EQ(VersionText(port.Handle()), "1844") << "the follow-up answered this time";
}

// Catches a probe that waits the caller's time-out instead of at most 300 ms, and a
// port left with the probe's time-out (or a fixed one) instead of the caller's.
TEST(ReaderOpenE2E, ProbeTimeOutIsRestoredToTheCallersValue) {
    struct Case {
        int timeoutMs;
        std::chrono::milliseconds laterDelay; // a version answer after the open comes this late
        bool laterAnswered;
    };
    const Case cases[] = {
        {1000, 700ms, true}, {150, 800ms, false}, // below 300 ms the caller's time-out bounds the probe too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("time-out " + std::to_string(c.timeoutMs));
        PtyReader reader(Reader(0));
        reader.sim.inject(kqsim::Fault::silence());
        Stopwatch watch;
        OpenedPort port(reader.Path(), 19200, c.timeoutMs);
        ASSERT_EQ(port.Handle(), 1);
        EXPECT_EQ(HostBytes(reader.sim), Concat({kProbe0, kProbe0}))
            << "the first probe unanswered, a reopen";
        EXPECT_GE(watch.Elapsed(), std::chrono::milliseconds(std::min(c.timeoutMs, 300)));
        EXPECT_LT(watch.Elapsed(), 1000ms) << "the first probe waited longer than 300 ms";

        reader.sim.inject(kqsim::Fault::delay({.beforeAnswer = c.laterDelay}));
        watch = Stopwatch();
        const Bytes version = Version(port.Handle());
        if (c.laterAnswered) {
            EXPECT_EQ(version, (Bytes{'1', '8', '4', '4'}));
            EXPECT_GE(watch.Elapsed(), c.laterDelay);
        } else {
            EXPECT_TRUE(version.empty());
            EXPECT_EQ(KQLMX_GetLastError(port.Handle()), KQLMX_ERROR_TIMEOUT);
            EXPECT_GE(watch.Elapsed(), std::chrono::milliseconds(c.timeoutMs));
        }
    }
}

// Catches a port (or its handle number, or the device) kept after a failed open, a
// protocol type left out of the probe, and a probe that waits longer than 300 ms.
TEST(ReaderOpenE2E, ReaderThatAnswersNoProtocolGivesMinusEleven) {
    struct Case {
        const char* what;
        void (*spoil)(kqsim::Simulator&);
        void (*mend)(kqsim::Simulator&);
    };
    const Case cases[] = {
        {"reader at another rate", [](kqsim::Simulator& s) { s.setLine(9600); },
         [](kqsim::Simulator& s) { s.setLine(19200); }},
        {"reader at another address", [](kqsim::Simulator& s) { s.setAddress(2); },
         [](kqsim::Simulator& s) { s.setAddress(1); }},
        {"silent reader", [](kqsim::Simulator& s) { s.inject(kqsim::Fault::silence().always()); },
         [](kqsim::Simulator& s) { s.clearFaults(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PtyReader reader(Reader(0));
        c.spoil(reader.sim);
        Stopwatch watch;
        EXPECT_EQ(KQLMX_OpenPort(reader.Path().c_str(), 19200, 1000), KQLMX_OPEN_NO_READER);
        // Five probes of 300 ms each; five of the caller's 1000 ms would take 5 s.
        EXPECT_GE(watch.Elapsed(), 1500ms);
        EXPECT_LT(watch.Elapsed(), 4000ms);
        EXPECT_EQ(HostBytes(reader.sim), Concat({kProbe0, kProbe0, kProbe1, kProbe2, kProbe3}));
        EXPECT_EQ(KQLMX_GetLastError(1), KQLMX_ERROR_NO_SUCH_PORT);

        c.mend(reader.sim);
        OpenedPort port(reader.Path(), 19200, 500);
        EXPECT_EQ(port.Handle(), 1) << "the device and the number 1 are free again";
    }
}

// Catches a line code of the baud argument that does not reach the line: the reader
// understands only its own rate and stop bits.
TEST(ReaderOpenE2E, BaudArgumentSetsRateAndStopBits) {
    struct Case {
        int readerBaud;
        int readerLine;
        int openBaud;
        bool found;
    };
    const Case cases[] = {
        {9600, kqsim::kLine8N2, 9603, true},    {9600, kqsim::kLine8N1, 9603, false},
        {9600, kqsim::kLine8N2, 9600, false},   {38400, kqsim::kLine8N1, 38400, true},
        {38400, kqsim::kLine8N1, 19200, false}, {115200, kqsim::kLine8N1, 115200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("reader at " + std::to_string(c.readerBaud) + " line " + std::to_string(c.readerLine) +
                     ", opened with " + std::to_string(c.openBaud));
        kqsim::ReaderConfig config = Reader(0);
        config.baud = c.readerBaud;
        config.lineMode = c.readerLine;
        PtyReader reader(config);
        // The probe waits 300 ms at most whatever the time-out; a reader that is
        // found may take longer on a busy machine.
        OpenedPort port(reader.Path(), c.openBaud, 1000);
        if (c.found) {
            EXPECT_EQ(port.Handle(), 1);
            EXPECT_EQ(VersionText(port.Handle()), "1844");
        } else {
            EXPECT_EQ(port.Handle(), KQLMX_OPEN_NO_READER);
        }
    }
}

// Catches handles numbered other than from 1 with gaps filled, a handle that reaches
// another reader, a closed port that still answers or holds its device, and a handle
// of 0 or below naming a port.
TEST(ReaderOpenE2E, HandlesAreNumberedClosedAndReused) {
    auto config = [](int typeCode, int digit) {
        kqsim::ReaderConfig c = Reader(0);
        c.typeCode = typeCode;
        c.firmwareDigit = digit;
        return c;
    };
    PtyReader a(config(0x184, 4)), b(config(0x121, 1)), c(config(0x145, 2));
    OpenedPort first(a.Path(), 19200, 500);
    OpenedPort second(b.Path(), 19200, 500);
    ASSERT_EQ(first.Handle(), 1);
    ASSERT_EQ(second.Handle(), 2);
    EXPECT_EQ(KQLMX_OpenPort(a.Path().c_str(), 19200, 500), KQLMX_OPEN_LINK_FAILED) << "the device is held";
    EXPECT_EQ(ReaderName(1), "KQ-LM90");
    EXPECT_EQ(ReaderName(2), "KQ-LX34");
    for (int none : {0, -1, 3}) {
        EXPECT_EQ(KQLMX_GetLastError(none), KQLMX_ERROR_NO_SUCH_PORT) << none;
        EXPECT_EQ(KQLMX_ClosePort(none), -1) << none;
        EXPECT_EQ(ReaderName(none), "KQ-#000") << none;
    }

    EXPECT_EQ(first.Close(), 0);
    EXPECT_EQ(KQLMX_ClosePort(1), -1);
    EXPECT_EQ(KQLMX_GetLastError(1), KQLMX_ERROR_NO_SUCH_PORT);
    a.sim.clearLog();
    EXPECT_TRUE(Version(1).empty());
    EXPECT_TRUE(HostBytes(a.sim).empty()) << "a closed port sent a request";

    OpenedPort third(c.Path(), 19200, 500);
    EXPECT_EQ(third.Handle(), 1) << "the smallest free number is given again";
    EXPECT_EQ(ReaderName(1), "KQ-LMX36");
    EXPECT_EQ(VersionText(1), "1452");
    EXPECT_EQ(VersionText(2), "1211");
    OpenedPort again(a.Path(), 19200, 500);
    EXPECT_EQ(again.Handle(), 3) << "closing gave the device back";
    EXPECT_EQ(VersionText(3), "1844");
}

} // namespace
} // namespace kqe2e
