// The flat KQLMX_ functions: each finds the reader layer object, converts its
// arguments, calls one operation and converts the result (true/false -> 0/-1).
#include "kqlmx.h"

#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/sdk/MultiString.h"
#include "reader/sdk/ReaderCommands.h"
#include "reader/sdk/ReaderModelTable.h"
#include "reader/sdk/Trace.h"
#include "reader/transport/PortEnumeration.h"
#include "reader/transport/PortName.h"
#include "reader/transport/ReaderFtdiLibrary.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using kq::Bytes;
using kq::CKQ_LMX_SDKApp;

namespace {

CKQ_LMX_SDKApp& App() { return CKQ_LMX_SDKApp::Get(); }

int Result(bool ok) { return ok ? 0 : -1; }

// A text argument; values below 0x10000 name string resources elsewhere, never text.
bool IsText(const char* name) { return reinterpret_cast<uintptr_t>(name) >= 0x10000; }

// Until the tag handler is part of the library, every tag call on an open port fails
// with the same code.
int NoTagHandler(int port) {
    auto found = App().FindPort(port);
    if (found) found->lastError = KQLMX_ERROR_TAG_TYPE_UNSUPPORTED;
    return -1;
}

// A USB reader's serial number begins with its model number.
bool IsKnownReaderEntry(const std::string& entry) {
    return kq::IsKnownReaderModel(std::atoi(entry.substr(0, 4).c_str()));
}

} // namespace

extern "C" {

void KQLMX_SetUiHooks(const KQLMX_UiHooks* hooks) { kq::SetUiHooks(hooks); }

void KQLMX_SetTraceSink(KQLMX_TraceSink sink, void* user) { kq::SetTraceSink(sink, user); }

int KQLMX_OpenPort(const char* name, int baud, int timeoutMs) {
    const bool text = IsText(name);
    const std::string portName = text ? name : "";
    kq::TraceFormat("KQLMX_OpenPort(%s,%d,%d)", portName.c_str(), baud, timeoutMs);
    int result = KQLMX_OPEN_LINK_FAILED;
    if (text) {
        // Only a serial device keeps the caller's rate; every other link runs at 19200.
        const int lineBaud = kq::IsComPortName(portName) ? baud : 19200;
        result = App().OpenPort(portName, lineBaud, timeoutMs);
    }
    kq::TraceFormat(" = %d\r\n", result);
    return result;
}

int KQLMX_ClosePort(int port) {
    kq::TraceFormat("KQLMX_ClosePort(%d)\r\n", port);
    return Result(App().ClosePort(port));
}

int KQLMX_GetLastError(int port) { return App().GetPortError(port); }

int KQLMX_GetReaderVersion(int port, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    if (!found) return -1;
    if (!buf || len <= 0) {
        found->lastError = KQLMX_ERROR_BUFFER_TOO_SMALL;
        return -1;
    }
    Bytes answer;
    if (!kq::QueryVersion(*found, answer)) return -1;
    if (static_cast<size_t>(len) < answer.size()) {
        found->lastError = KQLMX_ERROR_BUFFER_TOO_SMALL;
        return -1;
    }
    std::copy(answer.begin(), answer.end(), buf);
    return static_cast<int>(answer.size());
}

int KQLMX_GetReaderName(int port, char* buf, int size) {
    auto found = App().FindPort(port);
    const std::string name = kq::ModelNameForTypeCode(found ? found->readerTypeCode : 0);
    if (buf && size > 0) {
        std::memset(buf, 0, static_cast<size_t>(size));
        std::memcpy(buf, name.data(), std::min(name.size(), static_cast<size_t>(size) - 1));
    }
    return static_cast<int>(name.size());
}

int KQLMX_IsWriter(int port) {
    auto found = App().FindPort(port);
    return found ? (found->readerTypeCode & 1) : -1;
}

int KQLMX_IsUsbPort(int port) {
    auto found = App().FindPort(port);
    return found ? (found->IsUsbPort() ? 1 : 0) : -1;
}

int KQLMX_SetWaitMode(int port, int flag) {
    auto found = App().FindPort(port);
    if (!found) return -1;
    found->waitMode = flag != 0;
    return 1;
}

int KQLMX_SetBaudRate(int port, int baud, int mode) {
    auto found = App().FindPort(port);
    return Result(found && kq::SetBaudRateOnPort(*found, baud, mode));
}

int KQLMX_SetUsbMode(int port, int mode) {
    auto found = App().FindPort(port);
    const uint8_t data[] = {static_cast<uint8_t>(mode)};
    Bytes answer;
    return Result(found && kq::SendCommand(*found, kq::kCmdUsbMode, data, &answer));
}

int KQLMX_SetOutputs(int port, int mask, int value) {
    auto found = App().FindPort(port);
    const uint8_t data[] = {static_cast<uint8_t>(mask), static_cast<uint8_t>(value)};
    Bytes answer;
    return Result(found && kq::SendCommand(*found, kq::kCmdOutputs, data, &answer));
}

int KQLMX_SetRfField(int port, int on) {
    auto found = App().FindPort(port);
    return Result(found && kq::SetRfFieldOnPort(*found, on != 0));
}

int KQLMX_EnumComPorts(char* buf, int size) {
    std::vector<std::string> ports;
    kq::ListComPorts(ports);
    return kq::WriteMultiString(ports, buf, size);
}

// Bluetooth readers are found through the dongle's USBXpress library, which this
// build does not bind yet: the list is empty.
int KQLMX_EnumBluetoothPorts(char* buf, int size) { return kq::WriteMultiString({}, buf, size); }

int KQLMX_EnumUsbReaders(char* buf, int size) {
    std::vector<std::string> readers;
    kq::ListFtdiReaders(kq::ReaderFtdiLibrary(), readers);
    kq::ListHidReaders(readers);
    std::erase_if(readers, [](const std::string& entry) { return !IsKnownReaderEntry(entry); });
    return kq::WriteMultiString(readers, buf, size);
}

int KQLMX_CountUsbReaders(void) { return kq::CountUsbReaders(kq::ReaderFtdiLibrary()); }

// Readers appear as ttys through the kernel's own drivers: nothing to install.
int KQLMX_IsVirtualComDriverInstalled(void) { return 1; }

int KQLMX_FormatTag(int port, const void*, int) { return NoTagHandler(port); }

int KQLMX_LockTag(int port, const void*, int) { return NoTagHandler(port); }

int KQLMX_ReadTag(int port, char* buf, int len) {
    if (!buf || len <= 0) {
        App().SetPortError(port, KQLMX_ERROR_BUFFER_TOO_SMALL);
        return -1;
    }
    return NoTagHandler(port);
}

int KQLMX_GetTagUid(int port, unsigned char* out, int len) {
    if (!out || len <= 7) {
        App().SetPortError(port, KQLMX_ERROR_BUFFER_TOO_SMALL);
        return -1;
    }
    return NoTagHandler(port);
}

int KQLMX_ChangeTagKey(int port, int, const void*, int, const void*, int) { return NoTagHandler(port); }

int KQLMX_WriteTag(int port, const char*, int, const void*, int, int) { return NoTagHandler(port); }

} // extern "C"
