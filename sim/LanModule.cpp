#include "LanModule.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kqsim {

namespace {

constexpr std::size_t kBlockSize = 126;
constexpr int kBlocks = 16;

bool toAddress(const std::string& text, int port, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<std::uint16_t>(port));
    return inet_pton(AF_INET, text.c_str(), &out.sin_addr) == 1;
}

int boundUdp(const std::string& address, int port, bool reuse, std::string& error) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    if (reuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local;
    if (fd < 0 || !toAddress(address, port, local) ||
        bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

void putAddress(Bytes& block, std::size_t offset, const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) a.s_addr = 0;
    std::memcpy(block.data() + offset, &a.s_addr, 4); // network order: a.b.c.d
}

std::string addressAt(const Bytes& block, std::size_t offset) {
    return std::to_string(block[offset]) + "." + std::to_string(block[offset + 1]) + "." +
           std::to_string(block[offset + 2]) + "." + std::to_string(block[offset + 3]);
}

void putName(Bytes& block0, Bytes& block3, const Bytes& name16) {
    std::copy_n(name16.begin(), 8, block0.begin() + 112);
    std::copy_n(name16.begin() + 8, 8, block0.begin() + 84);
    std::copy_n(name16.begin() + 8, 8, block3.begin() + 102);
}

int hostBitsOf(const std::uint8_t* mask) {
    std::uint32_t m = (std::uint32_t{mask[0]} << 24) | (std::uint32_t{mask[1]} << 16) |
                      (std::uint32_t{mask[2]} << 8) | mask[3];
    int bits = 0;
    while (bits < 32 && !(m & (1u << bits)))
        ++bits;
    return bits;
}

} // namespace

LanModule::LanModule(const Config& config) : config_(config), blocks_(kBlocks, Bytes(kBlockSize)) {
    // Bytes the program does not use carry a pattern, so that a write that spoils them shows.
    for (int n = 0; n < kBlocks; ++n)
        for (std::size_t i = 0; i < kBlockSize; ++i)
            blocks_[n][i] = static_cast<std::uint8_t>(0x40 + (n * 7 + i) % 64);
    Bytes& b0 = blocks_[0];
    putAddress(b0, 0, config_.configured.empty() ? config_.address : config_.configured);
    b0[6] = static_cast<std::uint8_t>(config_.hostBits);
    putAddress(b0, 12, config_.gateway);
    b0[20] = static_cast<std::uint8_t>(config_.tcpPort & 0xFF);
    b0[21] = static_cast<std::uint8_t>((config_.tcpPort >> 8) & 0xFF);
    Bytes name16(16, 0);
    std::copy_n(config_.name.begin(), std::min<std::size_t>(config_.name.size(), 16), name16.begin());
    putName(b0, blocks_[3], name16);
    Bytes& b2 = blocks_[2];
    std::fill(b2.begin() + 93, b2.end(), 0);
    std::copy_n(config_.deviceType.begin(), std::min<std::size_t>(config_.deviceType.size(), kBlockSize - 94),
                b2.begin() + 93);
    if (!bindSockets(config_.address)) return;
    thread_ = std::thread(&LanModule::run, this);
}

LanModule::~LanModule() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (unicastFd_ >= 0) close(unicastFd_);
    if (broadcastFd_ >= 0) close(broadcastFd_);
}

bool LanModule::bindSockets(const std::string& address) {
    unicastFd_ = boundUdp(address, config_.port, false, error_);
    if (unicastFd_ < 0) return false;
    broadcastFd_ = boundUdp(config_.broadcast, config_.port, true, error_);
    if (broadcastFd_ < 0) {
        close(unicastFd_);
        unicastFd_ = -1;
        return false;
    }
    current_ = address;
    return true;
}

Bytes LanModule::block(int n) const {
    std::lock_guard lock(mutex_);
    return n >= 0 && n < kBlocks ? blocks_[n] : Bytes{};
}

void LanModule::setBlock(int n, const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    if (n >= 0 && n < kBlocks) blocks_[n] = bytes;
}

std::string LanModule::currentAddress() const {
    std::lock_guard lock(mutex_);
    return current_;
}

std::vector<LanModule::Received> LanModule::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void LanModule::clearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

void LanModule::reappearNow() {
    std::lock_guard lock(mutex_);
    moveAt_ = std::chrono::steady_clock::now();
}

void LanModule::run() {
    std::uint8_t buffer[1024];
    while (!stop_) {
        {
            std::lock_guard lock(mutex_);
            if (moving_ && std::chrono::steady_clock::now() >= moveAt_) {
                moving_ = false;
                if (!config_.neverReappear) {
                    bindSockets(pendingAddress_);
                }
            }
        }
        pollfd fds[2] = {{unicastFd_, POLLIN, 0}, {broadcastFd_, POLLIN, 0}};
        poll(fds, 2, 10);
        for (int i = 0; i < 2; ++i) {
            // A datagram handled before may have moved the module: its old sockets are gone.
            if (!(fds[i].revents & POLLIN) || fds[i].fd != (i == 0 ? unicastFd_ : broadcastFd_)) continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            ssize_t n =
                recvfrom(fds[i].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n <= 0) continue;
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            handle(buffer, static_cast<std::size_t>(n), text, ntohs(from.sin_port), i == 1);
        }
    }
}

void LanModule::reply(std::uint8_t code, const Bytes& data, const std::string& to, int toPort) {
    if (unicastFd_ < 0) return;
    Bytes datagram = {0x00, 0x00, 0x00, code};
    datagram.insert(datagram.end(), data.begin(), data.end());
    sockaddr_in target;
    if (!toAddress(to, toPort, target)) return;
    sendto(unicastFd_, datagram.data(), datagram.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&target),
           sizeof target);
}

// Called with the lock held: the module leaves its address and answers again at the
// new one after the delay (or, in DHCP mode, at its DHCP address).
void LanModule::moveTo(const std::string& address) {
    // Without an address of its own (0.0.0.0) the module takes a lease: its DHCP address,
    // or where it is now when it has none.
    std::string target = address == "0.0.0.0" ? current_ : address;
    if (!config_.dhcpAddress.empty()) target = config_.dhcpAddress;
    if (target == current_ && !moving_) return;
    if (unicastFd_ >= 0) close(unicastFd_);
    if (broadcastFd_ >= 0) close(broadcastFd_);
    unicastFd_ = broadcastFd_ = -1;
    current_.clear();
    pendingAddress_ = target;
    moveAt_ = std::chrono::steady_clock::now() + config_.reappearDelay;
    moving_ = true;
}

void LanModule::handle(const std::uint8_t* data, std::size_t size, const std::string& from, int fromPort,
                       bool broadcast) {
    if (size < 4) return;
    std::lock_guard lock(mutex_);
    const std::uint8_t code = data[3];
    Bytes body(data + 4, data + size);
    received_.push_back({code, body, broadcast});
    if (code == 0xF8) {
        reply(0xF9, blocks_[0], from, fromPort);
    } else if (code >= 0xE1 && code <= 0xEF) {
        reply(static_cast<std::uint8_t>(0xD0 + (code - 0xE0)), blocks_[code - 0xE0], from, fromPort);
    } else if (code == 0xF6 && config_.answersIdentity) {
        Bytes identity(30, 0);
        if (config_.vendorMark) std::memcpy(identity.data() + 11, "VEK", 3);
        std::copy_n(config_.mac.begin(), std::min<std::size_t>(config_.mac.size(), 6), identity.begin() + 20);
        reply(0xF7, identity, from, fromPort);
    } else if ((code == 0xFD && data[1] == 0x00) || (code >= 0xC1 && code <= 0xCF)) {
        const int n = code == 0xFD ? 0 : code - 0xC0;
        if (config_.refuseWrites) return;
        if (n == 0 && ++block0WritesSeen_ <= config_.ignoreBlock0Writes) return;
        std::copy_n(body.begin(), std::min(body.size(), kBlockSize), blocks_[n].begin());
        reply(static_cast<std::uint8_t>(n == 0 ? 0xFB : 0xB0 + n), {}, from, fromPort);
    } else if (code == 0xFC && body.size() >= 10 && std::memcmp(body.data(), "IP-SETUP", 8) == 0 &&
               !config_.ignoreSetup) {
        const bool longForm = body[8] == 'E' && body[9] == 'X';
        const std::uint8_t* setup = body.data() + 10;
        const std::size_t length = body.size() - 10;
        Bytes& b0 = blocks_[0];
        if (longForm && length >= 36 && std::equal(config_.mac.begin(), config_.mac.end(), setup)) {
            std::copy_n(setup + 6, 4, b0.begin());
            b0[20] = setup[10];
            b0[21] = setup[11];
            b0[6] = static_cast<std::uint8_t>(hostBitsOf(setup + 12));
            std::copy_n(setup + 16, 4, b0.begin() + 12);
            putName(b0, blocks_[3], Bytes(setup + 20, setup + 36));
            moveTo(addressAt(b0, 0));
        } else if (!longForm && body[8] == 0 && body[9] == 0 && length >= 6 && config_.mac.size() == 6 &&
                   setup[0] == config_.mac[4] && setup[1] == config_.mac[5]) {
            std::copy_n(setup + 2, 4, b0.begin());
            moveTo(addressAt(b0, 0));
        }
    } else if (code == 0x03 && body.size() >= 2 && body[0] == 'X' && body[1] == '3') {
        const std::string target = addressAt(blocks_[0], 0);
        if (target != "0.0.0.0") moveTo(target);
    }
}

} // namespace kqsim
