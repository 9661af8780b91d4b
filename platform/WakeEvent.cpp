#include "platform/WakeEvent.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kq::platform {

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (fd_ >= 0) close(fd_);
}

void WakeEvent::Signal() {
    const uint64_t one = 1;
    if (fd_ >= 0) {
        [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one); // a full counter is still signalled
    }
}

void WakeEvent::Drain() {
    uint64_t count = 0;
    if (fd_ >= 0) {
        [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count); // nothing to read is fine
    }
}

} // namespace kq::platform
