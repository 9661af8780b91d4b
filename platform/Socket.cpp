#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kq::platform {

namespace {

bool ToSockaddr(const std::string& host, uint16_t port, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    if (host.empty()) {
        out.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1;
}

std::string AddressText(const sockaddr_in& address) {
    return FormatIpv4(ntohl(address.sin_addr.s_addr));
}

Socket NewSocket(int type) {
    return Socket(socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

bool Bind(const Socket& socket, const std::string& address, uint16_t port) {
    sockaddr_in local;
    if (!ToSockaddr(address, port, local)) {
        errno = EINVAL;
        return false;
    }
    return bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

// "255.0.0.0" or a prefix length "8".
std::optional<uint32_t> ParseMask(const std::string& text) {
    if (auto dotted = ParseIpv4(text)) return dotted;
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int bits = std::atoi(text.c_str());
    if (bits > 32) return std::nullopt;
    return bits == 0 ? 0u : ~uint32_t{0} << (32 - bits);
}

std::optional<std::vector<Ipv4Adapter>> AdaptersFromText(const std::string& text) {
    std::vector<Ipv4Adapter> adapters;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(",;", start);
        if (end == std::string::npos) end = text.size();
        const std::string entry = text.substr(start, end - start);
        const size_t slash = entry.find('/');
        if (slash != std::string::npos) {
            auto address = ParseIpv4(entry.substr(0, slash));
            auto mask = ParseMask(entry.substr(slash + 1));
            if (address && mask)
                adapters.push_back(
                    {FormatIpv4(*address), FormatIpv4(*mask), static_cast<int>(adapters.size()) + 1});
        }
        start = end + 1;
    }
    return adapters;
}

} // namespace

std::optional<uint32_t> ParseIpv4(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

std::string FormatIpv4(uint32_t address) {
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

std::optional<std::vector<Ipv4Adapter>> ListIpv4Adapters() {
    if (const char* text = std::getenv("KQLMX_LAN_ADAPTERS")) return AdaptersFromText(text);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::vector<Ipv4Adapter> adapters;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask) continue;
        if ((entry->ifa_flags & IFF_LOOPBACK) || !(entry->ifa_flags & IFF_UP)) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        const auto* mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask);
        if (address->sin_addr.s_addr == 0) continue;
        adapters.push_back(
            {AddressText(*address), AddressText(*mask), static_cast<int>(if_nametoindex(entry->ifa_name))});
    }
    freeifaddrs(list);
    return adapters;
}

std::string LanBroadcastAddress() {
    const char* text = std::getenv("KQLMX_LAN_BROADCAST");
    return text && ParseIpv4(text) ? text : "255.255.255.255";
}

uint16_t LanModulePort() {
    if (const char* text = std::getenv("KQLMX_LAN_PORT")) {
        const long port = std::strtol(text, nullptr, 10);
        if (port > 0 && port <= 65535) return static_cast<uint16_t>(port);
    }
    return 30718;
}

std::string LocalAddressTowards(const std::string& host) {
    sockaddr_in remote;
    if (host.empty() || !ToSockaddr(host, 9, remote)) return {};
    Socket probe = NewSocket(SOCK_DGRAM);
    if (!probe.IsValid() ||
        connect(probe.Fd(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0)
        return {};
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(probe.Fd(), reinterpret_cast<sockaddr*>(&local), &length) != 0) return {};
    return AddressText(local);
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

Socket CreateStreamSocket(const std::string& localAddress, uint16_t localPort, int* error) {
    Socket socket = NewSocket(SOCK_STREAM);
    if (socket.IsValid()) {
        const int on = 1;
        setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on); // failure ignored
        if (Bind(socket, localAddress, localPort)) return socket;
    }
    if (error) *error = errno;
    return Socket();
}

ConnectResult ConnectStream(const Socket& socket, const std::string& host, uint16_t port, int timeoutMs,
                            int wakeFd) {
    sockaddr_in remote;
    if (!socket.IsValid() || !ToSockaddr(host, port, remote) || host.empty()) return ConnectResult::Failed;
    int result;
    do {
        result = connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return ConnectResult::Connected;
    if (errno == EADDRINUSE || errno == EADDRNOTAVAIL) return ConnectResult::AddressInUse;
    if (errno != EINPROGRESS) return ConnectResult::Failed;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return ConnectResult::Failed;
        pollfd fds[2] = {{socket.Fd(), POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || fds[1].revents != 0) return ConnectResult::Failed;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) return ConnectResult::Failed;
        if (error == 0) return ConnectResult::Connected;
        return error == EADDRINUSE || error == EADDRNOTAVAIL ? ConnectResult::AddressInUse
                                                             : ConnectResult::Failed;
    }
}

long SendStream(const Socket& socket, std::span<const uint8_t> bytes) {
    if (!socket.IsValid()) return -1;
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(socket.Fd(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A frame is small; a full send buffer empties within moments or not at all.
            pollfd fd{socket.Fd(), POLLOUT, 0};
            if (poll(&fd, 1, 100) > 0) continue;
        }
        return -1;
    }
    return static_cast<long>(sent);
}

long ReceiveStream(const Socket& socket, std::span<uint8_t> out, int* error) {
    if (!socket.IsValid()) {
        if (error) *error = EBADF;
        return -1;
    }
    ssize_t n;
    do {
        n = recv(socket.Fd(), out.data(), out.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && error) *error = errno;
    return static_cast<long>(n);
}

Socket CreateDatagramSocket(const std::string& localAddress) {
    Socket socket = NewSocket(SOCK_DGRAM);
    if (!socket.IsValid()) return socket;
    const int on = 1;
    if (setsockopt(socket.Fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        !Bind(socket, localAddress, 0))
        return Socket();
    return socket;
}

long SendDatagram(const Socket& socket, std::span<const uint8_t> bytes, const std::string& host,
                  uint16_t port) {
    sockaddr_in remote;
    if (!socket.IsValid() || host.empty() || !ToSockaddr(host, port, remote)) return -1;
    return static_cast<long>(sendto(socket.Fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                    reinterpret_cast<const sockaddr*>(&remote), sizeof remote));
}

long ReceiveDatagram(const Socket& socket, std::span<uint8_t> out, std::string& from) {
    if (!socket.IsValid()) return -1;
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    const ssize_t n =
        recvfrom(socket.Fd(), out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&sender), &length);
    if (n >= 0) from = AddressText(sender);
    return static_cast<long>(n);
}

bool WaitReadable(const Socket& socket, int wakeFd, int timeoutMs) {
    pollfd fds[2] = {{socket.Fd(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    return ready > 0 && socket.IsValid() && (fds[0].revents & (POLLIN | POLLHUP | POLLERR));
}

} // namespace kq::platform
