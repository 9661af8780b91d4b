#include "HidEndpoint.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kqsim {

namespace {

constexpr std::uint8_t kNumberedId = 1;

} // namespace

Bytes HidEndpoint::reportDescriptor(const Options& o) {
    Bytes d{0x06, 0x00, 0xFF, // usage page: vendor defined
            0x09, 0x01,       // usage 1
            0xA1, 0x01};      // collection: application
    if (o.numbered) d.insert(d.end(), {0x85, kNumberedId});
    d.insert(d.end(), {0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08}); // 0..255, 8 bits each
    d.insert(d.end(), {0x09, 0x01, 0x95, static_cast<std::uint8_t>(o.inputLength - 1), 0x81, 0x02});
    d.insert(d.end(), {0x09, 0x01, 0x95, static_cast<std::uint8_t>(o.outputLength - 1), 0x91, 0x02});
    d.push_back(0xC0);
    return d;
}

HidEndpoint::HidEndpoint(ByteService& reader, const std::string& socketPath, const Options& options)
    : reader_(reader), options_(options), path_(socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) {
        error_ = "socket path too long: " + path_;
        return;
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size());
    unlink(path_.c_str());
    listen_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (listen_ < 0 || wakeFd_ < 0 ||
        bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_, 4) != 0) {
        error_ = std::string("HID socket: ") + std::strerror(errno);
        closeAll();
        return;
    }
    reader_.attach(this);
    thread_ = std::thread(&HidEndpoint::run, this);
}

HidEndpoint::~HidEndpoint() {
    reader_.detach(this);
    stop_ = true;
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    closeAll();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void HidEndpoint::closeAll() {
    if (conn_ >= 0) close(conn_);
    if (listen_ >= 0) {
        close(listen_);
        unlink(path_.c_str());
    }
    conn_ = listen_ = -1;
}

void HidEndpoint::injectShortReport() {
    std::lock_guard lock(mutex_);
    shortReport_ = true;
}

void HidEndpoint::dropNextReport() {
    std::lock_guard lock(mutex_);
    dropReport_ = true;
}

void HidEndpoint::unplug() {
    unplug_ = true;
    std::uint64_t one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        ssize_t n = write(wakeFd_, &one, sizeof one);
}

std::vector<Bytes> HidEndpoint::outputReports() const {
    std::lock_guard lock(mutex_);
    return outputs_;
}

std::vector<int> HidEndpoint::controlModes() const {
    std::lock_guard lock(mutex_);
    return modes_;
}

void HidEndpoint::run() {
    while (!stop_) {
        if (unplug_) {
            closeAll();
            return;
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {conn_ >= 0 ? conn_ : listen_, POLLIN, 0}};
        if (poll(fds, 2, 100) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
            continue;
        }
        if (conn_ < 0) {
            conn_ = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            continue;
        }
        std::uint8_t buffer[256];
        const ssize_t got = recv(conn_, buffer, sizeof buffer, 0);
        if (got <= 0) { // the host closed the device; the next open connects again
            close(conn_);
            conn_ = -1;
            continue;
        }
        serve(Bytes(buffer, buffer + got));
    }
}

void HidEndpoint::serve(const Bytes& report) {
    {
        std::lock_guard lock(mutex_);
        outputs_.push_back(report);
        if (report.size() >= 4 && report[1] == 0x82 && report[2] == 0x10) {
            modes_.push_back(report[3]);
            return;
        }
    }
    if (report.size() < 2) return;
    const std::size_t n = std::min<std::size_t>(report[1], report.size() - 2);
    Outgoing answer = reader_.receive(report.data() + 2, n, std::nullopt);
    bool spoil;
    {
        std::lock_guard lock(mutex_);
        spoil = shortReport_ && !answer.chunks.empty();
        if (spoil) shortReport_ = false;
    }
    if (spoil) {
        Bytes junk(options_.inputLength - 1, 0xEE);
        junk[0] = 0;
        junk[1] = static_cast<std::uint8_t>(options_.inputLength - 3);
        sendInput(junk.data(), junk.size());
    }
    const std::size_t room = options_.inputLength - 2;
    auto waitFor = [this](double seconds) {
        if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(std::min(seconds, 5.0)));
        return !stop_ && !unplug_;
    };
    auto write = [&](const std::uint8_t* data, std::size_t size) {
        for (std::size_t pos = 0; pos < size; pos += room) {
            const std::size_t count = std::min(room, size - pos);
            Bytes input(options_.inputLength, 0);
            input[0] = options_.numbered ? kNumberedId : 0;
            input[1] = static_cast<std::uint8_t>(count);
            std::copy_n(data + pos, count, input.begin() + 2);
            if (!sendInput(input.data(), input.size())) return false;
        }
        return true;
    };
    sendOutgoing(answer, 0, waitFor, write);
    if (answer.dropLink) unplug();
}

bool HidEndpoint::sendInput(const std::uint8_t* data, std::size_t size) {
    {
        std::lock_guard lock(mutex_);
        if (dropReport_) {
            dropReport_ = false;
            return true;
        }
    }
    // hidraw hands the reports of a device without report IDs out without the ID byte.
    const std::size_t skip = options_.numbered ? 0 : 1;
    if (conn_ < 0 || size <= skip) return false;
    return send(conn_, data + skip, size - skip, MSG_NOSIGNAL) == static_cast<ssize_t>(size - skip);
}

} // namespace kqsim
