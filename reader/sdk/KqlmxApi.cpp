// The flat KQLMX_ functions: each finds the reader layer object, converts its
// arguments, calls one operation and converts the result (true/false -> 0/-1).
#include "kqlmx.h"

#include "content/TagErrorCode.h"
#include "reader/sdk/FlatCall.h"
#include "reader/sdk/MultiString.h"
#include "reader/sdk/ReaderCommands.h"
#include "reader/sdk/ReaderModelTable.h"
#include "reader/sdk/Trace.h"
#include "reader/tags/NfcTagHandler.h"
#include "reader/transport/BluetoothReaderLink.h"
#include "reader/transport/PortEnumeration.h"
#include "reader/transport/PortName.h"
#include "reader/transport/ReaderFtdiLibrary.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using kq::App;
using kq::Bytes;
using kq::Result;

namespace {

// A text argument; values below 0x10000 name string resources elsewhere, never text.
bool IsText(const char* name) {
    return reinterpret_cast<uintptr_t>(name) >= 0x10000;
}

kq::CNfcTagHandler& Tags() {
    return App().TagHandler();
}

// A USB reader's serial number begins with its model number.
bool IsKnownReaderEntry(const std::string& entry) {
    return kq::IsKnownReaderModel(std::atoi(entry.substr(0, 4).c_str()));
}

} // namespace

extern "C" {

void KQLMX_SetUiHooks(const KQLMX_UiHooks* hooks) {
    kq::SetUiHooks(hooks);
}

void KQLMX_SetTraceSink(KQLMX_TraceSink sink, void* user) {
    kq::SetTraceSink(sink, user);
}

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

int KQLMX_GetLastError(int port) {
    return App().GetPortError(port);
}

int KQLMX_GetReaderVersion(int port, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    if (!found) return -1;
    if (!buf || len <= 0) {
        found->lastError = KQLMX_ERROR_BUFFER_TOO_SMALL;
        return -1;
    }
    Bytes answer;
    if (!kq::QueryVersion(*found, answer)) return -1;
    return kq::CopyAnswer(*found, answer, buf, len);
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

int KQLMX_EnumBluetoothPorts(char* buf, int size) {
    std::vector<std::string> readers;
    kq::CBluetoothReaderLink::ListReaders(readers);
    return kq::WriteMultiString(readers, buf, size);
}

int KQLMX_EnumUsbReaders(char* buf, int size) {
    std::vector<std::string> readers;
    kq::ListFtdiReaders(kq::ReaderFtdiLibrary(), readers);
    kq::ListHidReaders(readers);
    std::erase_if(readers, [](const std::string& entry) { return !IsKnownReaderEntry(entry); });
    return kq::WriteMultiString(readers, buf, size);
}

int KQLMX_CountUsbReaders(void) {
    return kq::CountUsbReaders(kq::ReaderFtdiLibrary());
}

// Readers appear as ttys through the kernel's own drivers: nothing to install.
int KQLMX_IsVirtualComDriverInstalled(void) {
    return 1;
}

int KQLMX_FormatTag(int port, const void* key, int keyLen) {
    return Result(Tags().Format(port, key, keyLen));
}

int KQLMX_LockTag(int port, const void* key, int keyLen) {
    return Result(Tags().MakeReadOnly(port, key, keyLen));
}

int KQLMX_ReadTag(int port, char* buf, int len) {
    if (!buf || len <= 0) {
        App().SetPortError(port, KQLMX_ERROR_BUFFER_TOO_SMALL);
        return -1;
    }
    std::string json;
    if (!Tags().ReadJson(port, json)) return -1;
    if (static_cast<size_t>(len) < json.size() + 1) {
        App().SetPortError(port, KQLMX_ERROR_BUFFER_TOO_SMALL);
        return -1;
    }
    std::memcpy(buf, json.c_str(), json.size() + 1);
    return static_cast<int>(json.size());
}

int KQLMX_GetTagUid(int port, unsigned char* out, int len) {
    if (!out || len <= 7) {
        App().SetPortError(port, KQLMX_ERROR_BUFFER_TOO_SMALL);
        return -1;
    }
    return Tags().GetUid(port, out) ? static_cast<int>(kq::CNfcTagHandler::kUidSize) : -1;
}

int KQLMX_ChangeTagKey(int port, int flag, const void* curKey, int curKeyLen, const void* newKey,
                       int newKeyLen) {
    return Result(Tags().ChangeKey(port, flag != 0, curKey, curKeyLen, newKey, newKeyLen));
}

int KQLMX_WriteTag(int port, const char* json, int jsonLen, const void* key, int keyLen, int lockAfter) {
    // Only a real empty text formats the tag: a length that cannot be, or a missing
    // text, must not erase what the tag holds.
    if (jsonLen < 0 || (!json && jsonLen > 0)) {
        App().SetPortError(port, KQLMX_ERROR_BAD_TEXT_LENGTH);
        return -1;
    }
    std::string_view text;
    if (json && jsonLen > 0) {
        if (json[jsonLen - 1] == '\0') --jsonLen; // a counted terminator
        text = std::string_view(json, static_cast<size_t>(jsonLen));
        // A zero inside the text would cut it short, to nothing at worst, which would
        // format the tag: such a text is refused before the tag is touched.
        if (text.find('\0') != std::string_view::npos) {
            App().SetPortError(port, KQLMX_ERROR_BAD_TEXT_LENGTH);
            return -1;
        }
    }
    int overflow = 0;
    if (Tags().WriteJson(port, text, lockAfter != 0, key, keyLen, &overflow)) return 0;
    // Minus the excess, so that the caller can tell how much to cut; never 0, which
    // would read as success.
    if (App().GetPortError(port) == kTagErrorMessageTooLarge && overflow > 0) return -overflow;
    return -1;
}

} // extern "C"
