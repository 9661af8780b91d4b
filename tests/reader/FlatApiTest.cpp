// The flat API's argument and buffer rules, the wait mode and a port closed during its
// own wait, against a scripted reader of protocol type 0. (Reader commands of every
// protocol type are shown against the simulator.)
#include "FakeSysfs.h"
#include "TestSupport.h"
#include "kqlmx.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/sdk/MultiString.h"

#include <gtest/gtest.h>

#include <cstring>

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
    void TearDown() override {
        if (handle > 0) KQLMX_ClosePort(handle);
    }

    ScriptedReader reader;
    int handle = 0;
};

} // namespace

// Catches the host line switched although the reader did not acknowledge, and a line
// mode beyond its nibble cut to another mode and sent. (Reader and line switching
// together are shown against the simulator.)
TEST_F(FlatApi, BaudRateChangeThatDoesNotHappen) {
    handle = OpenTypeZero();
    EXPECT_EQ(KQLMX_SetBaudRate(handle, 9600, 0), -1) << "the reader did not acknowledge";
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_TIMEOUT);
    EXPECT_EQ(reader.SlaveLine().rate, 19200u);
    EXPECT_EQ(KQLMX_SetBaudRate(0, 9600, 0), -1);

    // The script would acknowledge what the mode would have been cut to.
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

// Catches output buffers written past their size, or written at all when null or of
// size 0 or below.
TEST_F(FlatApi, ReaderNameAndVersionIntoSmallBuffers) {
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

// Catches the window disabled although the wait mode says not to, and a field value
// other than 00/01 on the wire (7 means on).
TEST_F(FlatApi, WaitModeLeavesTheWindowAlone) {
    handle = OpenTypeZero();
    reader.On("02 01 F5 01 01 F4", kAck0);
    kqtest::CountingHooks hooks;
    EXPECT_EQ(KQLMX_SetRfField(handle, 7), 0);
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
    kqtest::CountingHooks hooks;
    int closeResult = 1;
    bool aliveInside = false;
    hooks.onPump = [&] {
        if (closeResult != 1) return;
        closeResult = KQLMX_ClosePort(handle);
        aliveInside = !watch.expired();
    };
    EXPECT_EQ(KQLMX_SetRfField(handle, 1), -1);
    EXPECT_EQ(closeResult, 0);
    EXPECT_TRUE(aliveInside);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_NO_SUCH_PORT);
    handle = 0;
}

TEST(MultiString, EntriesThatFit) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kq::WriteMultiString({"\\\\.\\COM1", "\\\\.\\COM2"}, buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), std::string("\\\\.\\COM1\0\0", 10));
    EXPECT_EQ(buffer[10], 'x');

    EXPECT_EQ(kq::WriteMultiString({"abcdef", "abcdefgh", "a"}, buffer, 12), 8)
        << "the first misfit ends the list";
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
