#include "PtyClient.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kqsim::test {

using Clock = std::chrono::steady_clock;

PtyClient::PtyClient(const std::string& path, int baud, bool twoStopBits) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0 && !setLine(baud, twoStopBits)) close();
}

PtyClient::~PtyClient() {
    close();
}

void PtyClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool PtyClient::setLine(int baud, bool twoStopBits) {
    struct termios2 t {};
    if (ioctl(fd_, TCGETS2, &t) != 0) return false;
    // Raw: no input or output processing, no echo, 8 data bits.
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag &= ~(CBAUD | CSIZE | PARENB | CSTOPB);
    t.c_cflag |= BOTHER | CS8 | CREAD | CLOCAL;
    if (twoStopBits) t.c_cflag |= CSTOPB;
    t.c_ispeed = t.c_ospeed = static_cast<speed_t>(baud);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return ioctl(fd_, TCSETS2, &t) == 0;
}

bool PtyClient::write(const Bytes& bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

Bytes PtyClient::read(std::size_t count, std::chrono::milliseconds timeout) {
    Bytes out;
    auto end = Clock::now() + timeout;
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        std::uint8_t buffer[512];
        ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

Bytes PtyClient::readAll(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
    Bytes out;
    auto end = Clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::min<long long>(left, quiet.count()))) <= 0) break;
        std::uint8_t buffer[512];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

bool PtyClient::hungUp(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR)) return true;
    std::uint8_t b;
    return ::read(fd_, &b, 1) <= 0;
}

} // namespace kqsim::test
