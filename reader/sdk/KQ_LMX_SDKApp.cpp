#include "reader/sdk/KQ_LMX_SDKApp.h"

#include "kqlmx.h"
#include "platform/DebugOutput.h"
#include "reader/sdk/ReaderCommands.h"
#include "reader/sdk/ReaderModelTable.h"
#include "reader/sdk/Trace.h"
#include "reader/tags/NfcTagHandler.h"
#include "reader/transport/PortHandleRegistry.h"
#include "reader/transport/PortName.h"
#include "reader/transport/ReaderFtdiLibrary.h"
#include "reader/transport/ReaderUsbXpressLibrary.h"

#include <algorithm>

namespace kq {

namespace {

constexpr int kProbeTimeoutMs = 300;
constexpr int kBluetoothReaderTypeCode = 0x125;

platform::LineSettings LineSettingsForBaud(int baud) {
    platform::LineSettings settings;
    settings.baudRate = baud / 100 * 100;
    switch (baud % 100) {
    case 1:
        settings.parity = platform::Parity::Even;
        break;
    case 2:
        settings.parity = platform::Parity::Odd;
        break;
    case 3:
        settings.stopBits = 2;
        break;
    default:
        break;
    }
    return settings;
}

int HexValue(const Bytes& text, size_t count) {
    int value = 0;
    for (size_t i = 0; i < count && i < text.size(); ++i) {
        const char c = static_cast<char>(text[i]);
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            break;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

CKQ_LMX_SDKApp& CKQ_LMX_SDKApp::Get() {
    // What ports use when they close outlives the object: the handle registries take
    // their numbers back, the FTDI library closes their devices.
    PortHandleRegistry::Serial();
    PortHandleRegistry::Hid();
    PortHandleRegistry::Tcp();
    PortHandleRegistry::Bluetooth();
    ReaderFtdiLibrary();
    ReaderUsbXpressLibrary();
    static CKQ_LMX_SDKApp app;
    return app;
}

CKQ_LMX_SDKApp::CKQ_LMX_SDKApp() {
    platform::SetDebugSink([](std::string_view text) { Trace(text); });
}

CKQ_LMX_SDKApp::~CKQ_LMX_SDKApp() {
    tagHandler_.reset();
    CloseAllPorts();
    platform::SetDebugSink(nullptr);
}

void CKQ_LMX_SDKApp::CloseAllPorts() {
    std::vector<std::shared_ptr<CKQ_LMX_Port>> ports;
    {
        std::lock_guard lock(listLock_);
        ports.swap(ports_);
    }
    for (auto& port : ports)
        port->Close();
}

void CKQ_LMX_SDKApp::AddPort(std::shared_ptr<CKQ_LMX_Port> port) {
    std::lock_guard lock(listLock_);
    ports_.push_back(std::move(port));
}

void CKQ_LMX_SDKApp::RemovePort(const CKQ_LMX_Port* port) {
    std::lock_guard lock(listLock_);
    std::erase_if(ports_, [port](const auto& p) { return p.get() == port; });
}

std::shared_ptr<CKQ_LMX_Port> CKQ_LMX_SDKApp::FindPort(int handle) {
    if (handle <= 0) return nullptr;
    std::lock_guard lock(listLock_);
    for (auto it = ports_.begin(); it != ports_.end();) {
        const int portHandle = (*it)->GetHandle();
        if (portHandle == handle) return *it;
        if (portHandle == 0) {
            (*it)->Close();
            it = ports_.erase(it);
        } else {
            ++it;
        }
    }
    return nullptr;
}

bool CKQ_LMX_SDKApp::ClosePort(int handle) {
    std::shared_ptr<CKQ_LMX_Port> port = FindPort(handle);
    if (!port) return false;
    RemovePort(port.get());
    port->Close();
    return true;
}

void CKQ_LMX_SDKApp::SetPortError(int handle, int code) {
    if (auto port = FindPort(handle)) port->lastError = code;
}

int CKQ_LMX_SDKApp::GetPortError(int handle) {
    auto port = FindPort(handle);
    return port ? port->lastError.load() : KQLMX_ERROR_NO_SUCH_PORT;
}

CNfcTagHandler& CKQ_LMX_SDKApp::TagHandler() {
    if (!tagHandler_) tagHandler_ = std::make_unique<CNfcTagHandler>();
    return *tagHandler_;
}

// A new port with its link open and a handle taken, or nullptr with the open's result.
std::shared_ptr<CKQ_LMX_Port> CKQ_LMX_SDKApp::OpenLink(const std::string& name, int baud, int timeoutMs,
                                                       int* failure) {
    *failure = KQLMX_OPEN_LINK_FAILED;
    auto port = std::make_shared<CKQ_LMX_Port>();
    port->timeoutMs = timeoutMs;
    std::string linkName = name;
    DropDescriptionHint(linkName);
    port->readerAddress = SplitPortSuffix(linkName);
    switch (ClassifyPortName(linkName)) {
    case PortLink::Tcp:
        return port->Tcp().Open(linkName) ? port : nullptr;
    case PortLink::Hid:
        if (!port->Hid().Open(linkName)) return nullptr;
        // The reader starts talking in reports only after the control report.
        if (!port->Hid().SendControlReport(0)) {
            port->Close();
            *failure = KQLMX_OPEN_HID_START;
            return nullptr;
        }
        return port;
    case PortLink::Bluetooth:
        if (!port->Bluetooth().Open(linkName)) return nullptr;
        return port;
    case PortLink::Serial:
        if (!port->Serial().Open(linkName, LineSettingsForBaud(baud)) || !port->Serial().StartMonitoring())
            return nullptr;
        port->AllocateSerialHandle();
        return port;
    default: // "BTW" names are refused
        return nullptr;
    }
}

int CKQ_LMX_SDKApp::ProbeReader(const std::shared_ptr<CKQ_LMX_Port>& port, int timeoutMs, bool retry) {
    AddPort(port);
    // A Bluetooth reader is reached only once the module has connected to it:
    // there is nothing to probe yet.
    if (port->Bluetooth().IsOpen()) {
        port->readerTypeCode = kBluetoothReaderTypeCode;
        port->versionDigit = 0;
        return port->GetHandle();
    }
    port->timeoutMs = std::min(timeoutMs, kProbeTimeoutMs);
    Bytes answer;
    bool answered = QueryVersion(*port, answer);
    if (!answered && retry) {
        // A reader that missed the first probe gets a freshly opened line.
        RemovePort(port.get());
        port->Close();
        return 0;
    }
    for (uint8_t type = 1; !answered && type <= 3; ++type) {
        port->protocolType = type;
        answered = QueryVersion(*port, answer);
    }
    if (answered && answer.size() == 4) {
        port->versionDigit = Base62Digit(answer[3]);
        port->readerTypeCode = HexValue(answer, 3);
        port->timeoutMs = timeoutMs;
        return port->GetHandle();
    }
    port->protocolType = 0;
    port->readerTypeCode = 0;
    port->versionDigit = 0;
    RemovePort(port.get());
    port->Close();
    return KQLMX_OPEN_NO_READER;
}

int CKQ_LMX_SDKApp::OpenPort(const std::string& name, int baud, int timeoutMs) {
    std::lock_guard openLock(openLock_);
    if (timeoutMs < 0) return KQLMX_OPEN_BAD_TIMEOUT;
    for (int pass = 1; pass <= 2; ++pass) {
        int failure = 0;
        std::shared_ptr<CKQ_LMX_Port> port = OpenLink(name, baud, timeoutMs, &failure);
        if (!port) return failure;
        if (const int result = ProbeReader(port, timeoutMs, pass == 1)) return result;
    }
    return KQLMX_OPEN_NO_READER;
}

int CKQ_LMX_SDKApp::OpenPortOnLink(const CKQ_LMX_Port::LinkMaker& make, int timeoutMs) {
    std::lock_guard openLock(openLock_);
    if (timeoutMs < 0) return KQLMX_OPEN_BAD_TIMEOUT;
    auto port = std::make_shared<CKQ_LMX_Port>();
    port->timeoutMs = timeoutMs;
    port->AttachLink(make);
    if (port->GetHandle() <= 0) return KQLMX_OPEN_LINK_FAILED;
    return ProbeReader(port, timeoutMs, false);
}

} // namespace kq
