#include "platform/SerialTermios.h"

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
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Code& c : kCodes) {
        if (c.rate == rate) return c.code;
    }
    return BOTHER;
}

} // namespace

struct termios2 RawLineTermios(const struct termios2& current, const LineSettings& settings) {
    struct termios2 tio = current;
    tio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    switch (settings.dataBits) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= CS8;
        break;
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
    return tio;
}

} // namespace kq::platform
