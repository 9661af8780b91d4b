#include "TcpTransport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kqsim {

TcpTransport::TcpTransport(ByteService& service, const std::string& address, int port)
    : service_(service), address_(address), port_(port) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0 || !listen()) {
        if (error_.empty()) error_ = std::string("eventfd: ") + std::strerror(errno);
        return;
    }
    service_.attach(this);
    thread_ = std::thread(&TcpTransport::run, this);
}

TcpTransport::~TcpTransport() {
    if (thread_.joinable()) {
        service_.detach(this);
        stop_ = true;
        wake();
        thread_.join();
    }
    closeConnection();
    if (listenFd_ >= 0) close(listenFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

bool TcpTransport::listen() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (fd < 0 || inet_pton(AF_INET, address_.c_str(), &local.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 4) != 0) {
        error_ = "listen on " + address_ + ":" + std::to_string(port_) + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
    listenFd_ = fd;
    return true;
}

void TcpTransport::closeAfterAnswers(int answers) {
    std::lock_guard lock(mutex_);
    closeAfter_ = answers;
}

void TcpTransport::setRefusing(bool refusing) {
    std::lock_guard lock(mutex_);
    refusing_ = refusing;
    wake();
}

bool TcpTransport::listening() const {
    std::lock_guard lock(mutex_);
    return listenFd_ >= 0;
}

void TcpTransport::setAcceptReconnections(bool accept) {
    std::lock_guard lock(mutex_);
    reconnections_ = accept;
}

void TcpTransport::dropLink() {
    dropRequested_ = true;
    wake();
}

void TcpTransport::wake() {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void TcpTransport::closeConnection() {
    if (connectionFd_ >= 0) close(connectionFd_);
    connectionFd_ = -1;
    connected_ = false;
}

void TcpTransport::run() {
    std::uint8_t buffer[4096];
    while (!stop_) {
        {
            std::lock_guard lock(mutex_);
            // Refusing: nothing listens. Listening again takes the same port.
            if (refusing_ && listenFd_ >= 0) {
                close(listenFd_);
                listenFd_ = -1;
            } else if (!refusing_ && listenFd_ < 0 && (reconnections_ || accepted_ == 0)) {
                listen();
            }
        }
        if (dropRequested_.exchange(false)) closeConnection();
        pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {connectionFd_, POLLIN, 0}};
        if (poll(fds, 3, 50) < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
        }
        if (listenFd_ >= 0 && (fds[1].revents & POLLIN)) {
            sockaddr_in peer{};
            socklen_t peerLength = sizeof peer;
            int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
            if (fd >= 0) {
                peerPort_ = ntohs(peer.sin_port);
                closeConnection();
                connectionFd_ = fd;
                connected_ = true;
                ++accepted_;
                std::lock_guard lock(mutex_);
                if (!reconnections_) {
                    close(listenFd_);
                    listenFd_ = -1;
                }
            }
        }
        if (connectionFd_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t n = recv(connectionFd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (n == 0 || (errno != EINTR && errno != EAGAIN)) closeConnection();
                continue;
            }
            Outgoing out = service_.receive(buffer, static_cast<std::size_t>(n), std::nullopt);
            int fd = connectionFd_;
            bool whole = sendOutgoing(
                out, 0,
                [this](double s) {
                    if (s > 0) std::this_thread::sleep_for(std::chrono::duration<double>(s));
                    return !stop_;
                },
                [fd](const std::uint8_t* data, std::size_t size) {
                    return send(fd, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
                });
            bool closeNow = !whole || out.dropLink;
            if (!out.chunks.empty()) {
                std::lock_guard lock(mutex_);
                if (closeAfter_ > 0 && --closeAfter_ == 0) closeNow = true;
            }
            if (closeNow) closeConnection();
        }
    }
}

} // namespace kqsim
