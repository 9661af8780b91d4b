// FTDI devices through the D2XX library loaded at run time, against a fake library
// built beside the tests that records every call.
#include "FakeFtd2xxControl.h"
#include "TestSupport.h"
#include "kqlmx.h"
#include "platform/DebugOutput.h"
#include "platform/FtdiDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <thread>

using kq::platform::Ftd2xx;
using kq::platform::FtdiDevice;
using kq::platform::LineSettings;
using kq::platform::Parity;
using kqtest::Hex;

namespace {

std::string g_debug;
void CollectDebug(std::string_view text) {
    g_debug += text;
}

// A type 0 reader answering "1843" to the version command.
void AnswerVersion(const uint8_t* bytes, size_t count, void* user) {
    auto* fake = static_cast<FakeFtd2xx*>(user);
    if (kqtest::Bytes(bytes, bytes + count) == Hex("02 01 F0 00 F1")) {
        const kqtest::Bytes answer = Hex("02 01 00 04 31 38 34 33 0B");
        fake->Feed(answer.data(), answer.size());
    }
}

// Opens the fake's device "KQ123456" as a type 0 reader through the flat API.
int OpenReader(FakeFtd2xx& fake, int baud, int timeoutMs) {
    fake.AddDevice("KQ123456");
    fake.SetResponder(&AnswerVersion, &fake);
    return KQLMX_OpenPort("KQ123456", baud, timeoutMs);
}

size_t IndexOf(const std::vector<std::string>& calls, const std::string& call) {
    return static_cast<size_t>(std::find(calls.begin(), calls.end(), call) - calls.begin());
}

} // namespace

// Catches the reader's USB id announced after the library has looked for devices,
// and line settings that do not reach the device.
TEST(Ftdi, OpensBySerialNumberWithTheLineSettings) {
    FakeFtd2xx fake(FAKE_FTD2XX_PATH);
    fake.AddDevice("KQ123456");
    Ftd2xx library(FAKE_FTD2XX_PATH, 0x0403, 0xE130);
    auto device = FtdiDevice::Open(library, "KQ123456", LineSettings{115200, Parity::Even, 8, 2});
    ASSERT_TRUE(device);
    const auto calls = fake.Calls();
    const size_t vidPid = IndexOf(calls, "FT_SetVIDPID(0x0403,0xE130)");
    const size_t open = IndexOf(calls, "FT_OpenEx(KQ123456,1)");
    ASSERT_LT(vidPid, calls.size());
    ASSERT_LT(open, calls.size());
    EXPECT_LT(vidPid, open);
    for (const char* call :
         {"FT_SetLatencyTimer(2)", "FT_SetBaudRate(115200)", "FT_SetDataCharacteristics(8,2,2)",
          "FT_SetFlowControl(0,0x11,0x13)", "FT_Purge(3)"})
        EXPECT_GT(IndexOf(calls, call), open) << call;

    EXPECT_TRUE(device->Apply(LineSettings{9600, Parity::Odd, 8, 1}));
    EXPECT_EQ(fake.Calls("FT_SetDataCharacteristics").back(), "FT_SetDataCharacteristics(8,0,1)");
    device.reset();
    EXPECT_EQ(fake.Calls().back(), "FT_Close");

    EXPECT_FALSE(FtdiDevice::Open(library, "NOPE", LineSettings{}));
    EXPECT_EQ(fake.Calls().back(), "FT_OpenEx(NOPE,1)");
}

TEST(Ftdi, MissingLibraryFailsOnlyTheOpen) {
    g_debug.clear();
    kq::platform::SetDebugSink(&CollectDebug);
    Ftd2xx library("/nonexistent/libftd2xx.so", 0x0403, 0xE130);
    EXPECT_FALSE(FtdiDevice::Open(library, "KQ123456", LineSettings{}));
    EXPECT_FALSE(FtdiDevice::Open(library, "KQ123456", LineSettings{}));
    kq::platform::SetDebugSink(nullptr);
    EXPECT_EQ(g_debug, "Fehler: Kann /nonexistent/libftd2xx.so nicht laden\r\n") << "told once";
}

TEST(Ftdi, MissingEntryPointFailsOnlyThatCall) {
    FakeFtd2xx fake(FAKE_FTD2XX_NO_LATENCY_PATH);
    fake.AddDevice("KQ123456");
    g_debug.clear();
    kq::platform::SetDebugSink(&CollectDebug);
    Ftd2xx library(FAKE_FTD2XX_NO_LATENCY_PATH, 0x0403, 0xE130);
    auto device = FtdiDevice::Open(library, "KQ123456", LineSettings{57600});
    kq::platform::SetDebugSink(nullptr);
    ASSERT_TRUE(device);
    EXPECT_EQ(g_debug, "Fehler: Kann FT_SetLatencyTimer nicht initialisieren\r\n");
    EXPECT_EQ(library.SetLatencyTimer(nullptr, 2), kq::platform::kFtMissing);
    const auto calls = fake.Calls();
    EXPECT_LT(IndexOf(calls, "FT_SetBaudRate(57600)"), calls.size());
    EXPECT_TRUE(fake.Calls("FT_SetLatencyTimer").empty());

    const kqtest::Bytes bytes = Hex("02 01 00 00 01");
    fake.Feed(bytes.data(), bytes.size());
    uint8_t buffer[16];
    EXPECT_EQ(device->Read(buffer), 5);
    EXPECT_EQ(device->Write(bytes), 5);
}

// The whole open through the flat API: an FTDI name opens at 19200 whatever the
// caller asked, and the reader is found by its version answer.
TEST(Ftdi, ReaderOpensThroughTheApi) {
    FakeFtd2xx fake(FAKE_FTD2XX_PATH);
    const int handle = OpenReader(fake, 115200, 300);
    ASSERT_GT(handle, 0);
    EXPECT_LT(IndexOf(fake.Calls(), "FT_SetBaudRate(19200)"), fake.Calls().size());
    EXPECT_LT(IndexOf(fake.Calls(), "FT_Write(02 01 F0 00 F1)"), fake.Calls().size());
    char name[16];
    KQLMX_GetReaderName(handle, name, sizeof name);
    EXPECT_STREQ(name, "KQ-LM90");
    EXPECT_EQ(KQLMX_IsUsbPort(handle), 1);
    EXPECT_EQ(KQLMX_SetBaudRate(handle, 115200, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_BAUD_NOT_CHANGEABLE);
    EXPECT_EQ(KQLMX_ClosePort(handle), 0);
    EXPECT_EQ(fake.Calls("FT_Close").size(), 1u);
    fake.SetResponder(nullptr, nullptr);
}

// Catches an unplugged device closed from the communication thread (and then again
// by the owner).
TEST(Ftdi, UnpluggedDeviceIsClosedOnceByTheOwner) {
    FakeFtd2xx fake(FAKE_FTD2XX_PATH);
    const int handle = OpenReader(fake, 19200, 100);
    ASSERT_GT(handle, 0);
    fake.Unplug();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fake.Calls("FT_Close").empty());
    unsigned char version[4];
    EXPECT_EQ(KQLMX_GetReaderVersion(handle, version, 4), -1);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_NO_SUCH_PORT) << "the reader is gone";
    EXPECT_EQ(KQLMX_ClosePort(handle), 0);
    EXPECT_EQ(fake.Calls("FT_Close").size(), 1u);
    fake.SetResponder(nullptr, nullptr);
}
