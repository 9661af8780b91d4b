#include "PtyTransport.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kqsim {

namespace {

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The line as the client has set it on the slave; the master's TCGETS2 reports the
// slave's settings, with the exact rate also for BOTHER rates.
std::optional<LineSettings> hostLine(int master) {
    struct termios2 t {};
    if (ioctl(master, TCGETS2, &t) != 0) return std::nullopt;
    LineSettings line;
    line.baud = static_cast<int>(t.c_ospeed);
    line.lineMode = (t.c_cflag & CSTOPB) ? kLine8N2 : kLine8N1;
    line.parityKnown = false; // the pty driver clears PARENB whatever the client asks
    return line;
}

Clock::duration seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

} // namespace

PtyTransport::PtyTransport(ByteService& service, const std::string& linkName) : service_(service) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        error_ = systemError("posix_openpt");
        return;
    }
    char name[256];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        error_ = systemError("pty set-up");
        closeMaster();
        return;
    }
    slavePath_ = name;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        error_ = systemError("eventfd");
        closeMaster();
        return;
    }
    if (!linkName.empty()) {
        struct stat st {};
        if (lstat(linkName.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error_ = linkName + " exists and is not a symlink";
                closeMaster();
                return;
            }
            unlink(linkName.c_str());
        }
        if (symlink(slavePath_.c_str(), linkName.c_str()) != 0) {
            error_ = systemError(("symlink " + linkName).c_str());
            closeMaster();
            return;
        }
        linkPath_ = linkName;
    }
    up_ = true;
    service_.attach(this);
    thread_ = std::thread(&PtyTransport::run, this);
}

PtyTransport::~PtyTransport() {
    service_.detach(this);
    stop_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
    closeMaster();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void PtyTransport::dropLink() {
    dropRequested_ = true;
    wake();
}

bool PtyTransport::drained() const {
    // The thread has to be in one and the same wait before and after the look at the
    // master: then it had taken all that came before, and nothing has come since.
    const unsigned returns = pollReturns_;
    if (!up_ || !polling_) return false;
    int pending = 0;
    if (ioctl(master_, FIONREAD, &pending) != 0 || pending > 0) return false;
    return polling_ && pollReturns_ == returns;
}

void PtyTransport::wake() {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void PtyTransport::closeMaster() {
    // Down, and its path gone, before the client can see the hang-up: whoever saw it
    // finds the link down.
    up_ = false;
    if (!linkPath_.empty()) {
        char target[256];
        ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_)
            unlink(linkPath_.c_str());
        linkPath_.clear();
    }
    if (master_ >= 0) close(master_);
    master_ = -1;
}

bool PtyTransport::waitFor(double s) {
    auto until = Clock::now() + seconds(s);
    for (;;) {
        if (stop_ || dropRequested_) return false;
        auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        struct timespec ts {
            static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)
        };
        pollfd fd{wakeFd_, POLLIN, 0};
        ppoll(&fd, 1, &ts, nullptr);
    }
}

bool PtyTransport::writeAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(master_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            // The client is not reading; wait for room, still answering to stop and drop.
            pollfd fds[2] = {{master_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
            poll(fds, 2, 100);
            if (stop_ || dropRequested_) return false;
            continue;
        }
        return false; // EIO: the client has closed the slave; the answer is lost
    }
    return true;
}

void PtyTransport::send(const Outgoing& out, double rxSeconds) {
    bool whole = sendOutgoing(
        out, rxSeconds, [this](double s) { return waitFor(s); },
        [this](const std::uint8_t* data, std::size_t size) { return writeAll(data, size); });
    if (whole && out.dropLink) dropRequested_ = true;
}

void PtyTransport::run() {
    bool hungUp = false;
    Clock::time_point rxClock = Clock::now();
    std::uint8_t buffer[4096];
    while (!stop_) {
        if (dropRequested_) {
            closeMaster();
            return;
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {master_, POLLIN, 0}};
        // While no client has the slave open the master reports a hang-up at once; look
        // again after a short pause instead of spinning.
        polling_ = true;
        int r = poll(fds, hungUp ? 1 : 2, hungUp ? 5 : -1);
        polling_ = false;
        ++pollReturns_;
        if (r < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
        }
        if (hungUp) {
            hungUp = false;
            continue;
        }
        if (fds[1].revents & POLLIN) {
            ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                Clock::time_point now = Clock::now();
                Outgoing out = service_.receive(buffer, static_cast<std::size_t>(n), hostLine(master_));
                double rxSeconds = 0;
                if (out.paceBaud > 0) {
                    rxClock =
                        std::max(rxClock, now) + seconds(byteSeconds(out.paceBaud) * static_cast<double>(n));
                    rxSeconds = std::chrono::duration<double>(rxClock - Clock::now()).count();
                }
                send(out, std::max(0.0, rxSeconds));
            } else if (n < 0 && errno == EIO) {
                hungUp = true;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            hungUp = true;
        }
    }
}

} // namespace kqsim
