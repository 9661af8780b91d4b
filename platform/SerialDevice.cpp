#include "platform/SerialDevice.h"

// termios2 (any rate through BOTHER) comes from the kernel headers, which clash with
// <termios.h>; this file therefore uses the kernel's definitions only.
#include "platform/SerialTermios.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kq::platform {

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& path, const LineSettings& settings,
                                                 int* error) {
    auto fail = [error](int code) -> std::unique_ptr<SerialDevice> {
        if (error) *error = code;
        return nullptr;
    };
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    // Only a tty is a serial line: never write reader frames into a disk or a file.
    if (!isatty(fd)) {
        ::close(fd);
        return fail(ENOTTY);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int code = errno;
        ::close(fd);
        return fail(code);
    }
    std::unique_ptr<SerialDevice> device(new SerialDevice(fd));
    ioctl(fd, TIOCEXCL);
    device->Apply(settings);
    // A pty has no modem lines; a real port raises RTS and DTR for the reader.
    int lines = TIOCM_RTS | TIOCM_DTR;
    ioctl(fd, TIOCMBIS, &lines);
    ioctl(fd, TCFLSH, TCIOFLUSH);
    return device;
}

SerialDevice::~SerialDevice() {
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

long SerialDevice::Read(std::span<uint8_t> out) {
    // In raw mode with VMIN = VTIME = 0 a read of an empty line answers 0, so a
    // hang-up is told by poll (POLLHUP) or by an error such as EIO, not by 0.
    ssize_t n = ::read(fd_, out.data(), out.size());
    if (n >= 0) return n;
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

long SerialDevice::Write(std::span<const uint8_t> bytes) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EINTR) return 0;
    return -1;
}

bool SerialDevice::Apply(const LineSettings& settings) {
    if (settings.baudRate <= 0) return false; // rate 0 would hang the line up
    struct termios2 tio {};
    if (ioctl(fd_, TCGETS2, &tio) != 0) return false;
    tio = RawLineTermios(tio, settings);
    return ioctl(fd_, TCSETS2, &tio) == 0;
}

void SerialDevice::PurgeInput() {
    ioctl(fd_, TCFLSH, TCIFLUSH);
}

bool SerialDevice::SetBreak(bool on) {
    return ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0;
}

} // namespace kq::platform
