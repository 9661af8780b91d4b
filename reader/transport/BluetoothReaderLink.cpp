#include "reader/transport/BluetoothReaderLink.h"

#include "content/AsciiText.h"
#include "reader/transport/BluetoothModulePacket.h"
#include "reader/transport/PortHandleRegistry.h"
#include "reader/transport/ReaderUsbXpressLibrary.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <poll.h>

namespace kq {

namespace {

using std::chrono::milliseconds;

constexpr char kDonglePrefix[] = "VEK-RT4082#";
constexpr uint8_t kCmdInquiry = 0x00;
constexpr uint8_t kCmdRemoteName = 0x02;
constexpr uint8_t kCmdConnect = 0x0A;
constexpr uint8_t kCmdDisconnect = 0x0D;
constexpr uint8_t kCmdReady = 0x26;
constexpr uint16_t kInquiryDone = 0x0043;
constexpr uint16_t kInquiryResult = 0x0169;
constexpr uint16_t kRemoteNameAnswer = 0x0243;
constexpr uint16_t kConnectAnswer = 0x0A43;
constexpr uint16_t kLinkStatus = 0x0B69;
constexpr uint16_t kLinkLost = 0x0E69;
constexpr uint16_t kDataIndication = 0x1069;
constexpr uint16_t kReadyAnswer = 0x2569;
constexpr uint16_t kDisconnected = 0x5169;
constexpr uint16_t kReaderClass = 0x0500; // the class bytes of the readers' modules
constexpr int kInquiryLimitMs = 10000;
constexpr int kDisconnectWaitMs = 7000;
constexpr int kReadyWaitMs = 200;
constexpr int kRetryAfterMs = 500;
constexpr int kNameAsks = 6;
constexpr size_t kNameSize = 32;

bool Elapsed(std::chrono::steady_clock::time_point since, int ms) {
    return std::chrono::steady_clock::now() - since > milliseconds(ms);
}

std::string DropBtParts(std::string name) {
    for (size_t at; (at = name.find(" BT")) != std::string::npos;)
        name.erase(at, 3);
    return name;
}

} // namespace

void CBluetoothReaderLink::ListReaders(std::vector<std::string>& list) {
    platform::UsbXpress& library = ReaderUsbXpressLibrary();
    uint32_t count = 0;
    if (library.GetNumDevices(&count) != platform::kSiOk) return;
    for (uint32_t i = 0; i < count; ++i) {
        std::string serial;
        if (library.GetProductString(i, serial, platform::kSiSerialNumberString) != platform::kSiOk) continue;
        if (serial.starts_with(kDonglePrefix)) list.push_back(serial + " BT");
    }
}

bool CBluetoothReaderLink::Open(const std::string& name) {
    Close();
    const std::string device = DropBtParts(name);
    platform::UsbXpress& library = ReaderUsbXpressLibrary();
    uint32_t count = 0;
    if (library.GetNumDevices(&count) != platform::kSiOk) count = 0;
    std::optional<uint32_t> index;
    for (uint32_t i = 0; i < count && !index; ++i) {
        std::string serial;
        if (library.GetProductString(i, serial, platform::kSiSerialNumberString) == platform::kSiOk &&
            EqualsNoCase(serial, device))
            index = i;
    }
    if (index ? !OpenDongle(*index) : !OpenComModule(device)) return false;
    name_ = name;
    handle_ = PortHandleRegistry::Bluetooth().Allocate();
    return true;
}

bool CBluetoothReaderLink::OpenDongle(uint32_t index) {
    platform::UsbXpress& library = ReaderUsbXpressLibrary();
    using platform::kSiOk;
    if (library.SetTimeouts(1000, 1000) != kSiOk || library.Open(index, &dongle_) != kSiOk) {
        dongle_ = nullptr;
        return false;
    }
    open_ = true;
    const bool ready =
        library.SetBaudRate(dongle_, 921600) == kSiOk &&
        library.SetLineControl(dongle_, 0x0800) == kSiOk && // 8 data bits, no parity, 1 stop bit
        library.SetFlowControl(dongle_, 1, 2, 0, 0, 0, false) == kSiOk &&
        library.FlushBuffers(dongle_, 1, 1) == kSiOk &&
        library.SetFlowControl(dongle_, 1, 2, 1, 0, 0, false) == kSiOk &&
        library.SetBreak(dongle_, 1) == kSiOk;
    if (ready) PumpEventsFor(10);
    if (!ready || library.SetBreak(dongle_, 0) != kSiOk) {
        CloseDevice();
        return false;
    }
    // The module tells that it is ready; whether it does within the time changes nothing.
    Await(BuildModuleRequest(kCmdReady, {}), kReadyAnswer, kReadyWaitMs);
    return true;
}

bool CBluetoothReaderLink::OpenComModule(const std::string& path) {
    if (!path.starts_with("/dev/")) return false;
    platform::LineSettings settings;
    settings.baudRate = 9600;
    com_ = platform::SerialDevice::Open(path, settings);
    if (!com_) return false;
    open_ = true;
    // A break wakes the module up; a line without break support (a pty) goes on.
    com_->SetBreak(true);
    PumpEventsFor(50);
    com_->SetBreak(false);
    return true;
}

void CBluetoothReaderLink::ReadModuleBytes() {
    const size_t room = kModuleBufferSize - std::min(raw_.size(), kModuleBufferSize);
    if (room == 0) return;
    uint8_t buffer[kModuleBufferSize];
    size_t got = 0;
    if (com_) {
        const long n = com_->Read(std::span<uint8_t>(buffer, room));
        // A line that hung up reads as empty: poll tells it.
        pollfd line{com_->PollFd(), POLLIN, 0};
        if (n < 0 || (n == 0 && poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR))))
            lineFailed_ = true;
        got = n > 0 ? static_cast<size_t>(n) : 0;
    } else if (dongle_) {
        platform::UsbXpress& library = ReaderUsbXpressLibrary();
        uint32_t queued = 0, queueStatus = 0, read = 0;
        if (library.CheckRxQueue(dongle_, &queued, &queueStatus) != platform::kSiOk || queued == 0) return;
        const uint32_t want = static_cast<uint32_t>(std::min<size_t>(queued, room));
        if (library.Read(dongle_, buffer, want, &read) != platform::kSiOk) return;
        got = std::min<size_t>(read, want);
    }
    raw_.insert(raw_.end(), buffer, buffer + got);
}

bool CBluetoothReaderLink::WriteModule(std::span<const uint8_t> bytes) {
    if (com_) {
        size_t sent = 0;
        const auto start = Clock::now();
        while (sent < bytes.size()) {
            const long n = com_->Write(bytes.subspan(sent));
            if (n < 0 || Elapsed(start, 1000)) return false;
            if (n == 0) PumpEventsFor(1);
            sent += static_cast<size_t>(n);
        }
        return true;
    }
    if (!dongle_) return false;
    platform::UsbXpress& library = ReaderUsbXpressLibrary();
    uint32_t written = 0;
    // The dongle's receive buffer is emptied before every write; what the module has
    // already said is taken in first, so that no indication (a link lost) goes with it.
    ReadModuleBytes();
    library.FlushBuffers(dongle_, 0, 1);
    return library.Write(dongle_, bytes.data(), static_cast<uint32_t>(bytes.size()), &written) ==
               platform::kSiOk &&
           written == bytes.size();
}

bool CBluetoothReaderLink::ProcessPacket() {
    ReadModuleBytes();
    std::optional<ModulePacket> packet = TakeModulePacket(raw_);
    if (!packet) return false;
    Apply(packet->code, packet->payload);
    return true;
}

void CBluetoothReaderLink::Apply(uint16_t code, const Bytes& payload) {
    const bool expected = code == expected_;
    auto setText = [this](const uint8_t* from, size_t count) {
        text_.assign(reinterpret_cast<const char*>(from), std::min(count, kNameSize));
    };
    switch (code) {
    case kInquiryDone:
        if (expected && !payload.empty()) arrived_ = true;
        break;
    case kInquiryResult: {
        if (payload.size() < 6 || found_.size() >= kMaxFoundDevices) break;
        Address address;
        std::copy_n(payload.begin(), 6, address.begin());
        if (filter_ == 0) {
            found_.push_back(address);
        } else if (payload.size() >= 8 && (payload[6] | payload[7] << 8) == filter_) {
            found_.push_back(address);
            // Enough: the module stops looking and says so.
            expected_ = kReadyAnswer;
            WriteModule(BuildModuleRequest(kCmdReady, {}));
        }
        break;
    }
    case kRemoteNameAnswer:
        text_.clear();
        if (!payload.empty() && payload[0] == 0 && payload.size() >= 8)
            setText(payload.data() + 8, std::min<size_t>({payload[7], 30, payload.size() - 8}));
        if (expected) arrived_ = true;
        break;
    case 0x0343:
    case 0x1643:
        text_.clear();
        if (payload.size() >= 2)
            setText(payload.data() + 2, std::min<size_t>(payload[1], payload.size() - 2));
        if (expected) arrived_ = true;
        break;
    case 0x0543:
        if (payload.size() >= 7) {
            text_.resize(std::max<size_t>(text_.size(), 6));
            std::copy_n(payload.begin() + 1, 6, text_.begin());
        }
        if (expected) arrived_ = true;
        break;
    case 0x0443:
    case 0x1743:
    case 0x2243:
    case 0x2343:
    case 0x2843:
    case 0x4A43:
    case 0x4E43:
        if (expected && !payload.empty()) arrived_ = true;
        break;
    case kConnectAnswer:
        if (!payload.empty() && payload[0] != 0) {
            lastStatus_ = payload[0];
            arrived_ = true;
        }
        break;
    case kLinkStatus:
        if (payload.size() < 9) break;
        lastStatus_ = payload[0];
        if (payload[0] == 0) connected_ = true;
        if (expected) arrived_ = true;
        break;
    case kLinkLost:
        if (payload.size() > 1) {
            if (connected_) lostInExchange_ = true;
            connected_ = false;
        }
        if (expected) arrived_ = true;
        break;
    case kDataIndication: {
        if (payload.size() < 3 || payload[0] != 0x02) break;
        const size_t count = std::min<size_t>(payload[1] | payload[2] << 8, payload.size() - 3);
        // What the port has not taken after this much is dropped, not kept without end.
        const size_t room = kModuleBufferSize - std::min(data_.size(), kModuleBufferSize);
        data_.insert(data_.end(), payload.begin() + 3,
                     payload.begin() + 3 + static_cast<long>(std::min(count, room)));
        break;
    }
    case 0x1F43:
        if (expected && payload.size() >= 5) arrived_ = true;
        break;
    case kReadyAnswer:
        if (expected_ == kReadyAnswer || expected_ == 0x2843) arrived_ = true;
        break;
    case 0x4943:
    case 0x4F43:
        if (expected && payload.size() >= 2) arrived_ = true;
        break;
    case 0x5069:
    case kDisconnected:
        if (expected) arrived_ = true;
        break;
    default:
        break;
    }
}

bool CBluetoothReaderLink::Await(const Bytes& request, uint16_t expected, int limitMs) {
    arrived_ = false;
    expected_ = expected;
    // A request that did not reach the module (the dongle or its line is gone) gets
    // no answer: waiting for one would hold the caller for the whole limit.
    if (!WriteModule(request)) return false;
    // The waits run on the caller's thread for up to seconds (an inquiry 10 s): every
    // step pumps, as the port's answer wait does, so the window is never frozen.
    const auto start = Clock::now();
    for (;;) {
        PumpEvents();
        const bool processed = ProcessPacket();
        if (arrived_) return true;
        if (Elapsed(start, limitMs)) return false;
        if (!processed) PumpEventsFor(1);
    }
}

int CBluetoothReaderLink::Inquiry(uint8_t* out, size_t size, int limitMs, uint16_t filter) {
    found_.clear();
    filter_ = filter;
    const uint8_t duration = std::min<uint8_t>(static_cast<uint8_t>(limitMs / 1300 - 1), 48);
    const uint8_t request[] = {duration, 0x00, 0x00};
    if (!Await(BuildModuleRequest(kCmdInquiry, request), kInquiryDone, limitMs)) return -1;
    size_t written = 0;
    for (size_t device = 0; device < found_.size() && written + kInquiryRecordSize <= size; ++device) {
        const Address address = found_[device];
        for (int asks = 1;; ++asks) {
            if (!Await(BuildModuleRequest(kCmdRemoteName, address), kRemoteNameAnswer, limitMs)) return -1;
            if (text_.empty() && asks < kNameAsks) continue;
            uint8_t* record = out + written;
            std::copy(address.begin(), address.end(), record);
            std::fill_n(record + 6, kNameSize, 0);
            std::copy_n(text_.begin(), std::min(text_.size(), kNameSize), record + 6);
            written += kInquiryRecordSize;
            break;
        }
    }
    return static_cast<int>(written);
}

int CBluetoothReaderLink::Connect(const Address& address, uint8_t linkValue, int limitMs) {
    uint8_t request[8] = {0x02};
    std::copy(address.begin(), address.end(), request + 1);
    request[7] = linkValue;
    if (!Await(BuildModuleRequest(kCmdConnect, request), kLinkStatus, limitMs)) return -1;
    if (!connected_) return lastStatus_ != 0 ? lastStatus_ : -1;
    remote_ = address;
    linkValue_ = linkValue;
    connectWaitMs_ = limitMs;
    return 0;
}

bool CBluetoothReaderLink::EnsureConnected() {
    if (connected_) return true;
    // Right after a failed attempt, or after one in this exchange, the call goes on
    // without one: the send and every poll step of the wait connect on demand, and a
    // reader that is switched off would otherwise cost an inquiry or a connect wait on
    // top of the other within a single command.
    if (triedInExchange_ || (lastAttempt_ && !Elapsed(*lastAttempt_, kRetryAfterMs))) return true;
    triedInExchange_ = true;
    if (!remote_) {
        uint8_t record[kInquiryRecordSize];
        if (Inquiry(record, sizeof record, kInquiryLimitMs, kReaderClass) < static_cast<int>(sizeof record)) {
            lastAttempt_ = Clock::now();
            return false;
        }
        PumpEventsFor(500);
        Address address;
        std::copy_n(record, 6, address.begin());
        remote_ = address;
    }
    if (Connect(*remote_, linkValue_, connectWaitMs_) != 0) {
        lastAttempt_ = Clock::now();
        return false;
    }
    return true;
}

bool CBluetoothReaderLink::SendData(std::span<const uint8_t> bytes) {
    if (!open_ || !EnsureConnected()) return false;
    return WriteModule(BuildModuleDataPacket(bytes));
}

size_t CBluetoothReaderLink::ReadData(uint8_t* buffer, size_t size) {
    // A link lost in this exchange is not connected again while its wait ends.
    if (!open_ || (!lostInExchange_ && !EnsureConnected())) return 0;
    ProcessPacket();
    const size_t n = std::min(size, data_.size());
    std::copy_n(data_.begin(), n, buffer);
    data_.erase(data_.begin(), data_.begin() + static_cast<long>(n));
    return n;
}

bool CBluetoothReaderLink::SetBaudRate(int rate) {
    if (rate <= 0) return false;
    if (com_) {
        platform::LineSettings settings;
        settings.baudRate = rate;
        return com_->Apply(settings);
    }
    return dongle_ &&
           ReaderUsbXpressLibrary().SetBaudRate(dongle_, static_cast<uint32_t>(rate)) == platform::kSiOk;
}

void CBluetoothReaderLink::ProcessPending() {
    // Up to a bound: a module that talks without end must not hold the caller.
    const auto start = Clock::now();
    while (ProcessPacket() && !Elapsed(start, 1000)) {
    }
}

bool CBluetoothReaderLink::Poll() {
    uint8_t buffer[100];
    const size_t n = ReadData(buffer, sizeof buffer);
    if (n) owner_.OnReceive(std::span<const uint8_t>(buffer, n));
    // Each step reads one packet, which may carry far more than 100 reader bytes: what
    // is left goes on too, or a burst of long packets would overflow the data area.
    const bool more = !data_.empty();
    if (more) {
        owner_.OnReceive(data_);
        data_.clear();
    }
    return n != 0 || more;
}

void CBluetoothReaderLink::Discard() {
    // A new exchange begins: it may connect on demand once.
    triedInExchange_ = false;
    if (open_) ProcessPending();
    lostInExchange_ = false;
    data_.clear();
    owner_.DiscardReceived();
}

void CBluetoothReaderLink::Close() {
    if (open_) {
        ProcessPending();
        if (connected_)
            Await(BuildModuleRequest(kCmdDisconnect, std::array<uint8_t, 1>{0x02}), kDisconnected,
                  kDisconnectWaitMs);
        CloseDevice();
    }
    if (handle_ != 0) {
        PortHandleRegistry::Bluetooth().Release(handle_);
        handle_ = 0;
    }
}

void CBluetoothReaderLink::CloseDevice() {
    if (dongle_) ReaderUsbXpressLibrary().Close(dongle_);
    dongle_ = nullptr;
    com_.reset();
    open_ = false;
    connected_ = false;
    raw_.clear();
    data_.clear();
    found_.clear();
    remote_.reset();
    lastAttempt_.reset();
    triedInExchange_ = false;
    lostInExchange_ = false;
    lineFailed_ = false;
    connectWaitMs_ = kConnectWaitMs;
}

} // namespace kq
