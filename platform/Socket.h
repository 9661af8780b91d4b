// BSD sockets for the LAN readers: IPv4 texts, the host's adapters, the local address
// that reaches a host, TCP connects bounded in time and UDP datagrams. Every socket is
// non-blocking and close-on-exec; every send uses MSG_NOSIGNAL, so a peer that has gone
// never raises SIGPIPE.
//
// The LAN module settings are process-wide, with environment overrides so that tests
// run on loopback along the same code path:
//   KQLMX_LAN_BROADCAST  address of discovery broadcasts (default 255.255.255.255)
//   KQLMX_LAN_PORT       UDP port of the network modules (default 30718)
//   KQLMX_LAN_ADAPTERS   the adapter list instead of the host's interfaces: entries
//                        "address/mask" (dotted mask or prefix length) separated by ','
//                        or ';', e.g. "127.0.0.1/255.0.0.0,127.0.0.20/8"; the entry's
//                        position (from 1) is its interface index
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kq::platform {

// An IPv4 address of one of the host's network adapters.
struct Ipv4Adapter {
    std::string address;
    std::string mask;
    int index = -1;
};

// "a.b.c.d" to its value (a in the top byte); nothing for any other text.
std::optional<uint32_t> ParseIpv4(const std::string& text);
std::string FormatIpv4(uint32_t address);

// The host's IPv4 adapters that are up and not loopback (or KQLMX_LAN_ADAPTERS);
// nothing when the scan fails.
std::optional<std::vector<Ipv4Adapter>> ListIpv4Adapters();
std::string LanBroadcastAddress();
uint16_t LanModulePort();

// The local address the host would send from to reach `host` (a UDP socket connected
// to it, read back with getsockname); empty when there is no route.
std::string LocalAddressTowards(const std::string& host);

// An owned socket descriptor.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Close();

private:
    int fd_ = -1;
};

// A TCP socket bound to `localAddress` (empty: any) and `localPort` (0: any), with
// SO_REUSEADDR. Invalid with `error` = errno on failure.
Socket CreateStreamSocket(const std::string& localAddress, uint16_t localPort, int* error);

enum class ConnectResult { Connected, AddressInUse, Failed };
// Connects and waits at most `timeoutMs` for the peer to take the connection, or until
// `wakeFd` (-1: none) becomes readable, which fails the connect.
ConnectResult ConnectStream(const Socket& socket, const std::string& host, uint16_t port, int timeoutMs,
                            int wakeFd = -1);

// Bytes sent, or -1 (the connection is gone or the socket cannot take them now).
long SendStream(const Socket& socket, std::span<const uint8_t> bytes);
// Bytes received, 0 when the peer closed, -1 with `error` = errno.
long ReceiveStream(const Socket& socket, std::span<uint8_t> out, int* error);

// A UDP socket on `localAddress` (empty: any), any port, with SO_BROADCAST.
Socket CreateDatagramSocket(const std::string& localAddress);
long SendDatagram(const Socket& socket, std::span<const uint8_t> bytes, const std::string& host,
                  uint16_t port);
// One waiting datagram, its sender in `from` ("a.b.c.d"); -1 when none waits.
long ReceiveDatagram(const Socket& socket, std::span<uint8_t> out, std::string& from);

// Waits up to `timeoutMs` for the socket to become readable (or hung up), and/or for
// `wakeFd` (-1: none). True when the socket is readable.
bool WaitReadable(const Socket& socket, int wakeFd, int timeoutMs);

} // namespace kq::platform
