// Reader commands, device information and the buffer rules of the flat API, against
// scripted readers of protocol types 0 and 2.
#include "FakeSysfs.h"
#include "TestSupport.h"
#include "kqlmx.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/sdk/MultiString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using kqtest::Hex;
using kqtest::ScriptedReader;

namespace {

constexpr const char* kAck0 = "02 01 00 00 01";

class FlatApi : public ::testing::Test {
protected:
    // Opens a reader of protocol type 0 answering "1213" (type code 0x121, a writer).
    int OpenTypeZero() {
        reader.On("02 01 F0 00 F1", "02 01 00 04 31 32 31 33 04");
        const int handle = KQLMX_OpenPort(reader.SlavePath().c_str(), 19200, 200);
        EXPECT_GT(handle, 0);
        return handle;
    }
    // Opens a reader of protocol type 2 answering "1843".
    int OpenTypeTwo() {
        for (const char* silent : {"02 01 F0 00 F1", "01 F0 00 64 00"}) reader.On(silent);
        reader.On("1E 0B 00", "1E 0B 04 31 38 34 33");
        const int handle = KQLMX_OpenPort(reader.SlavePath().c_str(), 19200, 100);
        EXPECT_GT(handle, 0);
        return handle;
    }
    void TearDown() override {
        KQLMX_SetUiHooks(nullptr);
        if (handle > 0) KQLMX_ClosePort(handle);
    }

    ScriptedReader reader;
    int handle = 0;
};

struct Hooks {
    std::function<void()> onPump;
    int disables = 0;
    KQLMX_UiHooks Install() {
        KQLMX_UiHooks hooks{};
        hooks.user = this;
        hooks.pumpEvents = [](void* user) {
            if (auto& f = static_cast<Hooks*>(user)->onPump) f();
        };
        hooks.disableActiveWindow = [](void* user) -> void* {
            ++static_cast<Hooks*>(user)->disables;
            return nullptr;
        };
        hooks.restoreActiveWindow = [](void*, void*) {};
        KQLMX_SetUiHooks(&hooks);
        return hooks;
    }
};

} // namespace

TEST_F(FlatApi, ReaderSettingsOnTypeZero) {
    handle = OpenTypeZero();
    reader.On("02 01 F5 01 01 F4", kAck0);
    reader.On("02 01 F5 01 00 F5", kAck0);
    reader.On("02 01 F6 02 10 10 F5", "02 01 00 02 AA BB 12");
    reader.On("02 01 FF 01 02 FD", kAck0);
    EXPECT_EQ(KQLMX_SetRfField(handle, 7), 0);
    EXPECT_EQ(KQLMX_SetRfField(handle, 0), 0);
    EXPECT_EQ(KQLMX_SetOutputs(handle, 0x10, 0x10), 0);
    EXPECT_EQ(KQLMX_SetUsbMode(handle, 2), 0);
    EXPECT_EQ(reader.Requests(), (std::vector<std::string>{"02 01 F0 00 F1", "02 01 F5 01 01 F4", "02 01 F5 01 00 F5",
                                                           "02 01 F6 02 10 10 F5", "02 01 FF 01 02 FD"}));
    EXPECT_EQ(KQLMX_IsWriter(handle), 1);
}

TEST_F(FlatApi, ReaderSettingsOnTypeTwoAreTranslated) {
    handle = OpenTypeTwo();
    reader.On("1E 0C 00", "1E 0C 00");
    reader.On("1E 0D 00", "1E A4 00");
    reader.On("1E 07 02 01 00", "1E 07 00");
    reader.On("1E 0F 01 01", "1E 0F 00");
    EXPECT_EQ(KQLMX_SetRfField(handle, 1), 0);
    EXPECT_EQ(KQLMX_SetRfField(handle, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(handle), 20);
    EXPECT_EQ(KQLMX_SetOutputs(handle, 1, 0), 0);
    EXPECT_EQ(KQLMX_SetUsbMode(handle, 1), 0);
    char name[32];
    KQLMX_GetReaderName(handle, name, sizeof name);
    EXPECT_STREQ(name, "KQ-LX34 (S002)");
}

// Catches the line left at the old rate, and a rate without a reader code leaving
// the reader at 19200 while the line goes elsewhere.
TEST_F(FlatApi, BaudRateChangeSwitchesReaderAndLine) {
    handle = OpenTypeZero();
    reader.On("02 01 F2 01 16 E4", kAck0);
    reader.On("02 01 F2 01 33 C1", kAck0);
    ASSERT_EQ(KQLMX_SetBaudRate(handle, 115200, 1), 0) << KQLMX_GetLastError(handle);
    EXPECT_EQ(reader.SlaveLine().rate, 115200u);
    ASSERT_EQ(KQLMX_SetBaudRate(handle, 14400, 3), 0);
    EXPECT_EQ(reader.SlaveLine().rate, 19200u);
    EXPECT_TRUE(kqtest::HasTwoStopBits(reader.SlaveLine().cflag));

    EXPECT_EQ(KQLMX_SetBaudRate(handle, 9600, 0), -1) << "the reader did not acknowledge";
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_TIMEOUT);
    EXPECT_EQ(reader.SlaveLine().rate, 19200u);
    EXPECT_EQ(KQLMX_SetBaudRate(0, 9600, 0), -1);

    // A mode beyond its nibble is refused before anything reaches the reader (the
    // script would acknowledge what it would have been cut to).
    reader.On("02 01 F2 01 02 F0", kAck0);
    reader.On("02 01 F2 01 12 E0", kAck0);
    reader.On("02 01 F2 01 F2 00", kAck0);
    const size_t requestsBefore = reader.Requests().size();
    for (int mode : {16, 17, -1}) {
        EXPECT_EQ(KQLMX_SetBaudRate(handle, 9600, mode), -1) << mode;
        EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_DATA_TOO_LONG) << mode;
    }
    EXPECT_EQ(reader.Requests().size(), requestsBefore);
    EXPECT_EQ(reader.SlaveLine().rate, 19200u);
}

TEST_F(FlatApi, ReaderNameIntoSmallBuffers) {
    handle = OpenTypeZero();
    char name[8];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(KQLMX_GetReaderName(handle, name, 4), 7);
    EXPECT_STREQ(name, "KQ-");
    EXPECT_EQ(name[4], 'x') << "written past the given size";
    EXPECT_EQ(KQLMX_GetReaderName(handle, nullptr, 100), 7);
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(KQLMX_GetReaderName(handle, name, 0), 7);
    EXPECT_EQ(KQLMX_GetReaderName(handle, name, -3), 7);
    EXPECT_EQ(name[0], 'x');
    char unknown[16];
    EXPECT_EQ(KQLMX_GetReaderName(99, unknown, sizeof unknown), 7);
    EXPECT_STREQ(unknown, "KQ-#000");
}

TEST_F(FlatApi, ReaderVersionIntoSmallBuffers) {
    handle = OpenTypeZero();
    unsigned char version[4];
    std::memset(version, 0xEE, sizeof version);
    EXPECT_EQ(KQLMX_GetReaderVersion(handle, version, 3), -1);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(version[0], 0xEE);
    EXPECT_EQ(KQLMX_GetReaderVersion(handle, nullptr, 4), -1);
    EXPECT_EQ(KQLMX_GetReaderVersion(handle, version, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(KQLMX_GetReaderVersion(handle, version, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(version), 4), "1213");
    EXPECT_EQ(KQLMX_GetReaderVersion(42, version, 4), -1);
}

TEST_F(FlatApi, WaitModeLeavesTheWindowAlone) {
    handle = OpenTypeZero();
    reader.On("02 01 F5 01 01 F4", kAck0);
    Hooks hooks;
    hooks.Install();
    EXPECT_EQ(KQLMX_SetRfField(handle, 1), 0);
    EXPECT_EQ(hooks.disables, 1);
    EXPECT_EQ(KQLMX_SetWaitMode(handle, 5), 1);
    EXPECT_EQ(KQLMX_SetRfField(handle, 1), 0);
    EXPECT_EQ(hooks.disables, 1);
    EXPECT_EQ(KQLMX_SetWaitMode(handle, 0), 1);
    EXPECT_EQ(KQLMX_SetRfField(handle, 1), 0);
    EXPECT_EQ(hooks.disables, 2);
    EXPECT_EQ(KQLMX_SetWaitMode(77, 1), -1);
}

// Catches a port freed while an outer call still waits on it (a use after free under
// the sanitizers).
TEST_F(FlatApi, PortClosedDuringAWaitIsFreedAfterTheCall) {
    handle = OpenTypeZero();
    reader.On("02 01 F5 01 01 F4"); // no answer
    std::weak_ptr<kq::CKQ_LMX_Port> watch = kq::CKQ_LMX_SDKApp::Get().FindPort(handle);
    Hooks hooks;
    int closeResult = 1;
    bool aliveInside = false;
    hooks.onPump = [&] {
        if (closeResult != 1) return;
        closeResult = KQLMX_ClosePort(handle);
        aliveInside = !watch.expired();
    };
    hooks.Install();
    EXPECT_EQ(KQLMX_SetRfField(handle, 1), -1);
    EXPECT_EQ(closeResult, 0);
    EXPECT_TRUE(aliveInside);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_NO_SUCH_PORT);
    handle = 0;
}

TEST_F(FlatApi, SecondExchangeDuringAWaitFailsCleanly) {
    handle = OpenTypeZero();
    reader.On("02 01 F5 01 01 F4", {{Hex(kAck0), 40}});
    Hooks hooks;
    int nested = 1;
    hooks.onPump = [&] {
        if (nested == 1) nested = KQLMX_SetOutputs(handle, 1, 1);
    };
    hooks.Install();
    EXPECT_EQ(KQLMX_SetRfField(handle, 1), 0);
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(reader.Requests(), (std::vector<std::string>{"02 01 F0 00 F1", "02 01 F5 01 01 F4"}));
}

TEST(MultiString, EntriesThatFit) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kq::WriteMultiString({"\\\\.\\COM1", "\\\\.\\COM2"}, buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), std::string("\\\\.\\COM1\0\0", 10));
    EXPECT_EQ(buffer[10], 'x');

    EXPECT_EQ(kq::WriteMultiString({"abcdef", "abcdefgh", "a"}, buffer, 12), 8) << "the first misfit ends the list";
    EXPECT_EQ(std::string(buffer, 8), std::string("abcdef\0\0", 8));
    EXPECT_EQ(kq::WriteMultiString({}, buffer, 1), 1);
    EXPECT_EQ(buffer[0], '\0');
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kq::WriteMultiString({"a"}, buffer, 0), 0);
    EXPECT_EQ(kq::WriteMultiString({"a"}, nullptr, 10), 0);
    EXPECT_EQ(buffer[0], 'x');
}

TEST(FlatApiEnumeration, EmptyListsAndBufferRules) {
    kqtest::FakeSysfs sysfs;
    sysfs.AddTtyClass();
    setenv("KQLMX_SYSFS_ROOT", sysfs.Root().c_str(), 1);
    for (auto enumerate : {&KQLMX_EnumComPorts, &KQLMX_EnumBluetoothPorts, &KQLMX_EnumUsbReaders}) {
        char buffer[10];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(enumerate(buffer, sizeof buffer), 1);
        EXPECT_EQ(buffer[0], '\0');
        EXPECT_EQ(enumerate(nullptr, 10), 0);
        buffer[0] = 'x';
        EXPECT_EQ(enumerate(buffer, 0), 0);
        EXPECT_EQ(buffer[0], 'x');
    }
    EXPECT_EQ(KQLMX_CountUsbReaders(), 0);
    EXPECT_EQ(KQLMX_IsVirtualComDriverInstalled(), 1);
    unsetenv("KQLMX_SYSFS_ROOT");
}

TEST_F(FlatApi, TagCallsRefuseBadArgumentsWithoutReaderTraffic) {
    handle = OpenTypeZero();
    const unsigned char key[24] = {};
    unsigned char uid[8];
    EXPECT_EQ(KQLMX_GetTagUid(handle, uid, 7), -1);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(KQLMX_GetTagUid(handle, nullptr, 8), -1);
    EXPECT_EQ(KQLMX_ReadTag(handle, nullptr, 100), -1);
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_BUFFER_TOO_SMALL);
    for (int length : {8, 24, -1}) {
        EXPECT_EQ(KQLMX_FormatTag(handle, key, length), -1);
        EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_KEY_LENGTH);
        EXPECT_EQ(KQLMX_WriteTag(handle, "{}", 2, key, length, 0), -1);
        EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_KEY_LENGTH);
    }
    EXPECT_EQ(reader.Requests(), std::vector<std::string>{"02 01 F0 00 F1"}) << "no reader traffic";

    EXPECT_EQ(KQLMX_FormatTag(55, nullptr, 0), -1);
    EXPECT_EQ(KQLMX_GetLastError(55), KQLMX_ERROR_NO_SUCH_PORT);
}
