#include "reader/transport/TCPSocket.h"

#include "reader/transport/LanProtocol.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace kq {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAnswerWindowMs = 500;
constexpr int kCreateAttempts = 6;
constexpr int kConnectAttempts = 6;
constexpr size_t kReceiveSize = 513;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool SameSubnet(const std::string& a, const std::string& b, const std::string& mask) {
    const auto x = platform::ParseIpv4(a), y = platform::ParseIpv4(b), m = platform::ParseIpv4(mask);
    return x && y && m && (*x & *m) == (*y & *m);
}

} // namespace

void InsertSortedUnique(std::vector<std::string>& list, const std::string& entry) {
    const auto at = std::lower_bound(list.begin(), list.end(), entry);
    if (at == list.end() || *at != entry) list.insert(at, entry);
}

bool CTCPSocket::ListAdapters() {
    adapters_.clear();
    const auto found = platform::ListIpv4Adapters();
    if (!found) return false;
    for (const platform::Ipv4Adapter& adapter : *found)
        if (adapter.address != "0.0.0.0") adapters_.push_back({adapter.address, adapter.mask, adapter.index});
    return !adapters_.empty();
}

bool CTCPSocket::FirstAdapter() {
    if (adapters_.empty()) return false;
    localAddress_ = adapters_.front().address;
    return true;
}

bool CTCPSocket::NextAdapter() {
    if (localAddress_.empty()) return FirstAdapter();
    for (size_t i = 0; i + 1 < adapters_.size(); ++i) {
        if (adapters_[i].address == localAddress_) {
            localAddress_ = adapters_[i + 1].address;
            return true;
        }
    }
    return false;
}

void CTCPSocket::ChooseLocalAddress(const std::string& host) {
    if (adapters_.empty()) ListAdapters();
    const std::string best = platform::LocalAddressTowards(host);
    for (const CAdapter& adapter : adapters_) {
        if (adapter.address == best && SameSubnet(adapter.address, host, adapter.mask)) {
            localAddress_ = adapter.address;
            return;
        }
    }
    localAddress_ = adapters_.empty() ? std::string() : adapters_.front().address;
}

std::string CTCPSocket::ResolveAddressText(const std::string& text) {
    const size_t open = text.find('[');
    if (open == std::string::npos) return text;
    const size_t close = text.find(']', open);
    const std::string name =
        text.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
    return ResolveLanNameOnAdapters(name, 200);
}

// --- stream mode ----------------------------------------------------------------

bool CTCPSocket::Connect(const std::string& addressText) {
    const std::string text = ResolveAddressText(addressText);
    const size_t dash = text.rfind('-');
    host_ = text.substr(0, dash);
    port_ = dash == std::string::npos ? kDefaultTcpPort : std::atoi(text.c_str() + dash + 1);
    if (host_.empty() || port_ <= 0 || port_ > 65535) return false;
    ChooseLocalAddress(host_);
    for (int attempt = 1; attempt <= kCreateAttempts && !socket_.IsValid(); ++attempt) {
        int error = 0;
        socket_ = platform::CreateStreamSocket(localAddress_, 0, &error);
        if (!socket_.IsValid() && attempt < kCreateAttempts)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (!socket_.IsValid()) return false;
    for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
        const auto result =
            platform::ConnectStream(socket_, host_, static_cast<uint16_t>(port_), kConnectTimeoutMs);
        if (result == platform::ConnectResult::Connected) {
            connected_ = true;
            return true;
        }
        if (result != platform::ConnectResult::AddressInUse) break;
    }
    socket_.Close();
    return false;
}

bool CTCPSocket::EnsureConnected() {
    if (connected_) return true;
    if (host_.empty()) return false;
    // Any free local port: two readers with the same port number must not block each
    // other's reconnect.
    socket_ = platform::CreateStreamSocket(localAddress_, 0, nullptr);
    if (!socket_.IsValid()) return false;
    if (platform::ConnectStream(socket_, host_, static_cast<uint16_t>(port_), kConnectTimeoutMs, stopFd_) !=
        platform::ConnectResult::Connected) {
        socket_.Close();
        return false;
    }
    connected_ = true;
    return true;
}

bool CTCPSocket::SendFrame(std::span<const uint8_t> frame) {
    if (!EnsureConnected()) return false;
    if (platform::SendStream(socket_, frame) < 0) {
        OnClose();
        return false;
    }
    return true;
}

void CTCPSocket::OnReceive() {
    uint8_t buffer[kReceiveSize];
    int error = 0;
    const long n = platform::ReceiveStream(socket_, buffer, &error);
    if (n > 0) {
        if (owner_) owner_->OnReceive(std::span<const uint8_t>(buffer, static_cast<size_t>(n)));
        return;
    }
    if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) return;
    // The reader closed the connection (modules do after an idle time), or it failed:
    // the link is down, so the next frame reconnects before it goes out.
    OnClose();
}

void CTCPSocket::OnClose() {
    connected_ = false;
    socket_.Close();
}

// --- datagram mode ----------------------------------------------------------------

bool CTCPSocket::CreateUdpSocket(const std::string& moduleAddress) {
    moduleAddress_ = moduleAddress;
    socket_ = platform::CreateDatagramSocket(localAddress_);
    udpOpen_ = socket_.IsValid();
    std::lock_guard lock(datagramLock_);
    datagrams_.clear();
    return udpOpen_;
}

bool CTCPSocket::SendRequest(const Bytes& request, bool toBroadcast) {
    if (!udpOpen_ || !socket_.IsValid()) return false;
    const bool broadcast = toBroadcast || moduleAddress_ == "255.255.255.255";
    const std::string target = broadcast ? platform::LanBroadcastAddress() : moduleAddress_;
    return platform::SendDatagram(socket_, request, target, platform::LanModulePort()) > 0;
}

void CTCPSocket::ReceiveDatagrams() {
    uint8_t buffer[kReceiveSize];
    std::string from;
    for (;;) {
        const long n = platform::ReceiveDatagram(socket_, buffer, from);
        if (n < 0) return;
        // The host's own broadcasts come back to it; they are no module's answer.
        if (n == 0 || from == localAddress_) continue;
        Datagram datagram;
        datagram.sender = from;
        datagram.code = n >= 4 ? buffer[3] : 0;
        if (n > 4) datagram.data.assign(buffer + 4, buffer + n);
        std::lock_guard lock(datagramLock_);
        datagrams_.push_back(std::move(datagram));
    }
}

std::optional<CTCPSocket::Datagram> CTCPSocket::TakeDatagram() {
    std::lock_guard lock(datagramLock_);
    if (datagrams_.empty()) return std::nullopt;
    Datagram datagram = std::move(datagrams_.front());
    datagrams_.pop_front();
    return datagram;
}

bool CTCPSocket::AwaitAnswer(const std::function<bool(const Datagram&)>& accept, Bytes& data) {
    const auto start = Clock::now();
    auto window = start;
    for (;;) {
        PumpEvents();
        platform::WaitReadable(socket_, -1, 1);
        ReceiveDatagrams();
        while (auto datagram = TakeDatagram()) {
            if (accept(*datagram)) {
                data = std::move(datagram->data);
                return true;
            }
            window = Clock::now();
        }
        // Unrelated traffic restarts the window, but cannot hold the caller forever.
        if (MsSince(window) >= kAnswerWindowMs || MsSince(start) >= kDatagramWaitCapMs) return false;
    }
}

bool CTCPSocket::ReadBlock(int n, Bytes& data, bool toBroadcast) {
    if (n < 0 || n > 15) return false;
    if (!SendRequest(LanBlockReadRequest(n), toBroadcast)) return false;
    const uint8_t code = LanBlockReadAnswerCode(n);
    return AwaitAnswer(
        [&](const Datagram& d) {
            return d.code == code && d.data.size() >= kLanBlockMinimum && d.sender == moduleAddress_;
        },
        data);
}

bool CTCPSocket::WriteBlock(int n, const Bytes& data) {
    if (n < 0 || n > 15) return false;
    if (!SendRequest(LanBlockWriteRequest(n, data), false)) return false;
    const uint8_t code = LanBlockWriteAnswerCode(n);
    Bytes answer;
    return AwaitAnswer([&](const Datagram& d) { return d.code == code; }, answer);
}

bool CTCPSocket::ReadIdentity(Bytes& data) {
    if (!SendRequest(LanIdentityRequest(), true)) return false;
    return AwaitAnswer(
        [&](const Datagram& d) {
            return d.code == kLanIdentityAnswer && d.data.size() >= kLanIdentityMinimum &&
                   d.sender == moduleAddress_;
        },
        data);
}

bool CTCPSocket::SendAddressSetup(const Bytes& setup, bool longForm) {
    return SendRequest(LanAddressSetupRequest(setup, longForm), true);
}

bool CTCPSocket::SendApply() {
    return SendRequest(LanApplyRequest(), false);
}

int CTCPSocket::DiscoverOnAdapter(std::vector<std::string>& list, int timeoutMs, bool checkType) {
    if (!CreateUdpSocket(platform::LanBroadcastAddress()) || !SendRequest(LanBlockReadRequest(0), true)) {
        socket_.Close();
        udpOpen_ = false;
        return 0;
    }
    std::vector<std::string> found;
    const auto start = Clock::now();
    auto window = start;
    while (MsSince(window) < timeoutMs && MsSince(start) < kDatagramWaitCapMs) {
        PumpEvents();
        platform::WaitReadable(socket_, -1, 1);
        ReceiveDatagrams();
        while (auto d = TakeDatagram()) {
            if (d->code != kLanDiscoveryAnswer || d->data.size() < kLanBlockMinimum) continue;
            InsertSortedUnique(found, LanDiscoveryEntry(d->data, d->sender));
            window = Clock::now();
        }
    }
    if (checkType) {
        std::vector<std::string> kept;
        for (const std::string& entry : found) {
            std::string address = entry.substr(0, entry.rfind('-'));
            std::string name;
            if (!address.empty() && address[0] == '[') {
                const size_t close = address.find(']');
                name = address.substr(0, close + 1);
                address = close == std::string::npos ? std::string() : address.substr(close + 1);
            }
            moduleAddress_ = address;
            Bytes block2;
            if (!ReadBlock(2, block2, false) || block2.size() < kLanFullBlockSize ||
                !LanDeviceTypeIsReader(block2))
                continue;
            InsertSortedUnique(kept, name.empty() ? entry : name);
        }
        found.swap(kept);
    }
    socket_.Close();
    udpOpen_ = false;
    for (const std::string& entry : found)
        InsertSortedUnique(list, entry);
    return static_cast<int>(list.size());
}

std::string CTCPSocket::ResolveLanName(const std::string& name, int timeoutMs) {
    std::string result;
    if (CreateUdpSocket(platform::LanBroadcastAddress()) && SendRequest(LanBlockReadRequest(0), true)) {
        const auto start = Clock::now();
        while (result.empty() && MsSince(start) < timeoutMs) {
            PumpEvents();
            platform::WaitReadable(socket_, -1, 1);
            ReceiveDatagrams();
            while (auto d = TakeDatagram()) {
                if (d->code != kLanDiscoveryAnswer || d->data.size() < kLanBlockMinimum) continue;
                if (LanConfiguredAddress(d->data) == d->sender || LanDeviceName(d->data) != name) continue;
                result = d->sender + "-" + std::to_string(LanTcpPort(d->data));
                break;
            }
        }
    }
    socket_.Close();
    udpOpen_ = false;
    return result;
}

std::string CTCPSocket::ResolveLanNameOnAdapters(const std::string& name, int timeoutMs) {
    if (adapters_.empty()) ListAdapters();
    std::string result;
    for (bool more = FirstAdapter(); more && result.empty(); more = NextAdapter())
        result = ResolveLanName(name, timeoutMs);
    return result;
}

} // namespace kq
