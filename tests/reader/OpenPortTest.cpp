// Opening ports by name through the flat API against scripted readers: the version
// rules and names the simulator does not reach, handle 0 and the trace. (The probe
// over the protocol types, handles and time-outs are shown against the simulator.)
#include "TestSupport.h"
#include "kqlmx.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/sdk/Trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

using kqtest::ScriptedReader;

namespace {

constexpr const char* kProbe0 = "02 01 F0 00 F1";
constexpr const char* kProbe1 = "01 F0 00 64 00";
constexpr const char* kProbe2 = "1E 0B 00";
constexpr const char* kProbe3 = "1E 60 00";
constexpr const char* kFirmwareQuery2 = "1E 0B 02 46 56";
constexpr const char* kVersion1843Type0 = "02 01 00 04 31 38 34 33 0B";

std::string ReaderName(int handle) {
    char name[32] = {};
    KQLMX_GetReaderName(handle, name, sizeof name);
    return name;
}

std::string Version(int handle) {
    unsigned char version[16] = {};
    const int n = KQLMX_GetReaderVersion(handle, version, sizeof version);
    return n > 0 ? std::string(reinterpret_cast<char*>(version), static_cast<size_t>(n)) : "";
}

// A reader of a protocol type silent to the probes of the others.
void SilentToOtherTypes(ScriptedReader& reader) {
    for (const char* probe : {kProbe0, kProbe1, kProbe2, kProbe3})
        reader.On(probe);
}

} // namespace

struct TypeTwoCase {
    const char* what;
    const char* versionAnswer;
    const char* firmwareAnswer; // to "FV", when asked
    std::vector<std::string> requests;
    const char* version;
};

// The type 2 version rules that the simulated readers do not reach: a plain answer
// other than the placeholder needs no "FV", and an "FV" answer that is the placeholder
// again or too short keeps the placeholder. (The probe order, and types 1 and 3, are
// shown against the simulator.)
TEST(OpenPort, TypeTwoVersionRules) {
    const std::vector<std::string> withFv = {kProbe0, kProbe0, kProbe1, kProbe2, kFirmwareQuery2};
    const TypeTwoCase cases[] = {
        {"the placeholder again", "1E 0B 04 04 05 31 35", "1E 0B 04 04 05 31 35", withFv, "1715"},
        {"a short firmware text", "1E 0B 04 04 05 31 35", "1E 0B 02 41 31", withFv, "1715"},
        {"its own version", "1E 0B 04 31 38 34 33", nullptr, {kProbe0, kProbe0, kProbe1, kProbe2}, "1713"},
    };
    for (const TypeTwoCase& c : cases) {
        ScriptedReader reader;
        reader.On(kProbe2, c.versionAnswer);
        if (c.firmwareAnswer) reader.On(kFirmwareQuery2, c.firmwareAnswer);
        SilentToOtherTypes(reader);
        const int handle = KQLMX_OpenPort(reader.SlavePath().c_str(), 19200, 150);
        ASSERT_GT(handle, 0) << c.what;
        EXPECT_EQ(reader.Requests(), c.requests) << c.what;
        EXPECT_EQ(ReaderName(handle), "KQ-LX34 (S002)") << c.what;
        EXPECT_EQ(Version(handle), c.version) << c.what;
        EXPECT_EQ(KQLMX_ClosePort(handle), 0);
    }
}

TEST(OpenPort, VersionAnswerOfWrongLengthGivesMinusEleven) {
    for (const char* answer : {"02 01 00 03 31 38 34 3F", "02 01 00 05 31 38 34 33 30 3A"}) {
        ScriptedReader reader;
        reader.On(kProbe0, answer);
        EXPECT_EQ(KQLMX_OpenPort(reader.SlavePath().c_str(), 19200, 200), KQLMX_OPEN_NO_READER) << answer;
        EXPECT_EQ(reader.Requests(), std::vector<std::string>{kProbe0}) << answer;
        EXPECT_EQ(KQLMX_GetLastError(1), KQLMX_ERROR_NO_SUCH_PORT);
    }
}

TEST(OpenPort, NamesThatOpenNothing) {
    EXPECT_EQ(KQLMX_OpenPort(nullptr, 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort(reinterpret_cast<const char*>(0x1234), 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("/dev/kqlmx-no-such-tty", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("/dev/null", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("xxBTWyy", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("127.0.0.1-10001", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("USB HID 1234", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("VEK-RT4082#1 BT", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("/dev/null", 19200, -1), KQLMX_OPEN_BAD_TIMEOUT);
}

TEST(OpenPort, ListedNameWithItsHintOpensTheDevice) {
    ScriptedReader reader;
    reader.On("02 02 F0 00 F2", "02 02 00 04 31 38 34 33 08");
    const std::string name = reader.SlavePath() + " [Vek: Virtual COM]:2";
    const int handle = KQLMX_OpenPort(name.c_str(), 19200, 200);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(Version(handle), "1843");
    KQLMX_ClosePort(handle);
}

// Catches a handle of 0 finding a port whose link has gone (its handle reads 0).
TEST(OpenPort, HandleZeroOrBelowNamesNoPort) {
    auto& app = kq::CKQ_LMX_SDKApp::Get();
    auto linkless = std::make_shared<kq::CKQ_LMX_Port>();
    std::weak_ptr<kq::CKQ_LMX_Port> watch = linkless;
    app.AddPort(std::move(linkless));
    EXPECT_EQ(app.FindPort(0), nullptr);
    EXPECT_EQ(KQLMX_GetLastError(0), KQLMX_ERROR_NO_SUCH_PORT);
    EXPECT_EQ(KQLMX_GetLastError(-5), KQLMX_ERROR_NO_SUCH_PORT);
    EXPECT_EQ(KQLMX_SetWaitMode(0, 1), -1);
    EXPECT_EQ(KQLMX_ClosePort(0), -1);
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(app.FindPort(7), nullptr);
    EXPECT_TRUE(watch.expired()) << "a port without a link is dropped by the next search";
}

namespace {
void CollectTrace(void* user, const char* text) {
    *static_cast<std::string*>(user) += text;
}
} // namespace

namespace {
// A sink's user data that its owner frees once the sink is removed.
struct SinkBox {
    std::atomic<bool> freed{false};
    std::atomic<int>* lateCalls;
};
void SlowSink(void* user, const char* /*text*/) {
    auto* box = static_cast<SinkBox*>(user);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (box->freed) ++*box->lateCalls;
}
} // namespace

// Traces come from any thread (a LAN reader's socket thread among them): once
// KQLMX_SetTraceSink has returned, the sink it replaced is not called again, so that
// its owner may free the user data.
TEST(OpenPort, ReplacedTraceSinkIsNotCalledAfterwards) {
    std::atomic<int> lateCalls{0};
    std::atomic<bool> stop{false};
    std::thread tracer([&] {
        while (!stop)
            kq::Trace("line\r\n");
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < end) {
        SinkBox box;
        box.lateCalls = &lateCalls;
        KQLMX_SetTraceSink(&SlowSink, &box);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        KQLMX_SetTraceSink(nullptr, nullptr);
        box.freed = true;
        std::this_thread::sleep_for(std::chrono::microseconds(300)); // a late call would see it
    }
    stop = true;
    tracer.join();
    EXPECT_EQ(lateCalls, 0);
}

TEST(OpenPort, OpenAndCloseAreTraced) {
    kqtest::TempDir dir;
    const std::string file = dir.Path() + "/trace.txt";
    setenv("KQLMX_TRACE", file.c_str(), 1);
    std::string trace;
    KQLMX_SetTraceSink(&CollectTrace, &trace);
    ScriptedReader reader;
    reader.On(kProbe0, kVersion1843Type0);
    const int handle = KQLMX_OpenPort(reader.SlavePath().c_str(), 9600, 500);
    KQLMX_ClosePort(handle);
    KQLMX_SetTraceSink(nullptr, nullptr);
    unsetenv("KQLMX_TRACE");
    const std::string expected = "KQLMX_OpenPort(" + reader.SlavePath() +
                                 ",9600,500) = " + std::to_string(handle) + "\r\nKQLMX_ClosePort(" +
                                 std::to_string(handle) + ")\r\n";
    EXPECT_EQ(trace, expected);
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), expected);
}
