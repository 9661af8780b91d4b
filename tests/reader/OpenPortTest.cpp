// Opening ports by name through the flat API against scripted readers of each
// protocol type: the version probe, the reopen, handles, time-outs and the trace.
#include "TestSupport.h"
#include "kqlmx.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

using kqtest::Hex;
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
    for (const char* probe : {kProbe0, kProbe1, kProbe2, kProbe3}) reader.On(probe);
}

} // namespace

TEST(OpenPort, TypeZeroReaderIsFoundAtOnce) {
    ScriptedReader reader;
    reader.On(kProbe0, kVersion1843Type0);
    const int handle = KQLMX_OpenPort(reader.SlavePath().c_str(), 115200, 500);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(ReaderName(handle), "KQ-LM90");
    EXPECT_EQ(KQLMX_IsWriter(handle), 0);
    EXPECT_EQ(KQLMX_IsUsbPort(handle), 0);
    EXPECT_EQ(reader.SlaveLine().rate, 115200u) << "a device path keeps the caller's rate";
    EXPECT_EQ(reader.Requests(), std::vector<std::string>{kProbe0});
    EXPECT_EQ(Version(handle), "1843");
    EXPECT_EQ(KQLMX_ClosePort(handle), 0);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_NO_SUCH_PORT);
    EXPECT_EQ(KQLMX_ClosePort(handle), -1);
}

struct TypeCase {
    const char* what;
    const char* versionRequest;
    std::vector<kqtest::Reply> versionAnswer;
    const char* firmwareAnswer; // to "FV", when asked
    std::vector<std::string> requests;
    const char* name;
    const char* version;
};

// Catches a probe order other than type 0, reopen, type 0, 1, 2, 3, and the type 2
// and type 3 version rules.
TEST(OpenPort, OtherTypesAreFoundAfterTheReopen) {
    const TypeCase cases[] = {
        {"type 1", kProbe1, {{Hex("01 00 04 31 32 31 33 00 B6")}}, nullptr,
         {kProbe0, kProbe0, kProbe1}, "KQ-LX34", "1213"},
        {"type 2 with firmware text", kProbe2, {{Hex("1E 0B 04 04 05 31 35")}}, "1E 0B 04 41 31 42 32",
         {kProbe0, kProbe0, kProbe1, kProbe2, kFirmwareQuery2}, "KQ-#A1B", "A1B2"},
        {"type 2 with the placeholder again", kProbe2, {{Hex("1E 0B 04 04 05 31 35")}}, "1E 0B 04 04 05 31 35",
         {kProbe0, kProbe0, kProbe1, kProbe2, kFirmwareQuery2}, "KQ-LX34 (S002)", "1715"},
        {"type 2 with a short firmware text", kProbe2, {{Hex("1E 0B 04 04 05 31 35")}}, "1E 0B 02 41 31",
         {kProbe0, kProbe0, kProbe1, kProbe2, kFirmwareQuery2}, "KQ-LX34 (S002)", "1715"},
        {"type 2 with its own version", kProbe2, {{Hex("1E 0B 04 31 38 34 33")}}, nullptr,
         {kProbe0, kProbe0, kProbe1, kProbe2}, "KQ-LX34 (S002)", "1713"},
        {"type 3", kProbe3, {{Hex("1E 60 09 00 11 22 33 31 38 34 37 5A")}}, nullptr,
         {kProbe0, kProbe0, kProbe1, kProbe2, kProbe3}, "KQ-KavoP200u", "1177"},
    };
    for (const TypeCase& c : cases) {
        ScriptedReader reader;
        reader.On(c.versionRequest, c.versionAnswer);
        if (c.firmwareAnswer) reader.On(kFirmwareQuery2, c.firmwareAnswer);
        SilentToOtherTypes(reader);
        const int handle = KQLMX_OpenPort(reader.SlavePath().c_str(), 19200, 150);
        ASSERT_GT(handle, 0) << c.what;
        EXPECT_EQ(reader.Requests(), c.requests) << c.what;
        EXPECT_EQ(ReaderName(handle), c.name) << c.what;
        EXPECT_EQ(Version(handle), c.version) << c.what;
        EXPECT_EQ(KQLMX_ClosePort(handle), 0);
    }
}

// Catches a port left open (or its number kept) after a failed probe, and a probe
// that waits the caller's long time-out instead of 300 ms.
TEST(OpenPort, NoReaderGivesMinusElevenAndLeavesNoPort) {
    ScriptedReader reader;
    SilentToOtherTypes(reader);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KQLMX_OpenPort(reader.SlavePath().c_str(), 19200, 1000), KQLMX_OPEN_NO_READER);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(2600)) << "five probes of 300 ms each";
    EXPECT_GE(elapsed, std::chrono::milliseconds(1400));
    EXPECT_EQ(reader.Requests(), (std::vector<std::string>{kProbe0, kProbe0, kProbe1, kProbe2, kProbe3}));
    EXPECT_EQ(KQLMX_GetLastError(1), KQLMX_ERROR_NO_SUCH_PORT);

    ScriptedReader good;
    good.On(kProbe0, kVersion1843Type0);
    const int handle = KQLMX_OpenPort(good.SlavePath().c_str(), 19200, 1000);
    EXPECT_EQ(handle, 1) << "the failed open gave its number back";
    ASSERT_TRUE(kq::CKQ_LMX_SDKApp::Get().FindPort(handle));
    EXPECT_EQ(kq::CKQ_LMX_SDKApp::Get().FindPort(handle)->timeoutMs, 1000) << "probe time-out not restored";
    KQLMX_ClosePort(handle);
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

TEST(OpenPort, HandlesAreNumberedAndReused) {
    ScriptedReader a, b, c;
    for (ScriptedReader* r : {&a, &b, &c}) r->On(kProbe0, kVersion1843Type0);
    const int first = KQLMX_OpenPort(a.SlavePath().c_str(), 19200, 200);
    const int second = KQLMX_OpenPort(b.SlavePath().c_str(), 19200, 200);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(KQLMX_OpenPort(a.SlavePath().c_str(), 19200, 200), KQLMX_OPEN_LINK_FAILED) << "already open";
    EXPECT_EQ(KQLMX_ClosePort(first), 0);
    const int third = KQLMX_OpenPort(c.SlavePath().c_str(), 19200, 200);
    EXPECT_EQ(third, 1);
    EXPECT_EQ(KQLMX_ClosePort(second), 0);
    EXPECT_EQ(KQLMX_ClosePort(third), 0);
}

TEST(OpenPort, AddressSuffixAndLineCode) {
    ScriptedReader reader;
    reader.On("02 02 F0 00 F2", "02 02 00 04 31 38 34 33 08");
    const std::string name = reader.SlavePath() + ":2";
    const int handle = KQLMX_OpenPort(name.c_str(), 115203, 200);
    ASSERT_GT(handle, 0);
    const auto line = reader.SlaveLine();
    EXPECT_EQ(line.rate, 115200u);
    EXPECT_TRUE(kqtest::HasTwoStopBits(line.cflag));
    KQLMX_ClosePort(handle);
}

// The interface dialog hands back a serial device as the port list showed it, with
// its description hint (which may hold a ':' of its own) before the address suffix.
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
void CollectTrace(void* user, const char* text) { *static_cast<std::string*>(user) += text; }
} // namespace

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
    const std::string expected = "KQLMX_OpenPort(" + reader.SlavePath() + ",9600,500) = " +
                                 std::to_string(handle) + "\r\nKQLMX_ClosePort(" + std::to_string(handle) + ")\r\n";
    EXPECT_EQ(trace, expected);
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), expected);
}
