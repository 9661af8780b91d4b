#include "platform/SerialDevice.h"

// termios2 (any rate through BOTHER) comes from the kernel headers, which clash with
// <termios.h>; this file therefore uses the kernel's definitions only.
#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kq::platform {

namespace {

// Rates with a classic speed code keep that code, so that tools reading the line
// with tcgetattr see the rate; any other rate goes through BOTHER.
speed_t SpeedCode(int rate) {
    struct Code {
        int rate;
        speed_t code;
    };
    static constexpr Code kCodes[] = {
        {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
        {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Code& c : kCodes) {
        if (c.rate == rate) return c.code;
    }
    return BOTHER;
}

} // namespace

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
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    switch (settings.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    if (settings.parity != Parity::None) tio.c_cflag |= PARENB;
    if (settings.parity == Parity::Odd) tio.c_cflag |= PARODD;
    if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
    tio.c_cflag |= CREAD | CLOCAL;
    const speed_t code = SpeedCode(settings.baudRate);
    tio.c_cflag |= code | (code << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(settings.baudRate);
    tio.c_ospeed = static_cast<speed_t>(settings.baudRate);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd_, TCSETS2, &tio) == 0;
}

void SerialDevice::PurgeInput() { ioctl(fd_, TCFLSH, TCIFLUSH); }

bool SerialDevice::SetBreak(bool on) { return ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0; }

} // namespace kq::platform
