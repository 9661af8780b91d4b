// A byte line to a reader: a tty or an FTDI device. The communication thread of the
// reader port moves bytes through it; only the owner of the line closes it.
#pragma once

#include <cstdint>
#include <span>

namespace kq::platform {

enum class Parity { None, Odd, Even };

struct LineSettings {
    int baudRate = 19200;
    Parity parity = Parity::None;
    int dataBits = 8;
    int stopBits = 1; // 1 or 2
};

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // A descriptor that polls readable when input is waiting, or -1 when the line has
    // none and must be asked by time (Read returns 0 while nothing is there).
    virtual int PollFd() const = 0;

    // Bytes read (0: nothing waiting), or -1 when the line has failed for good.
    virtual long Read(std::span<uint8_t> out) = 0;

    // Bytes taken (0: the line is full for now), or -1 when the line has failed.
    virtual long Write(std::span<const uint8_t> bytes) = 0;

    // Rate, parity, data and stop bits; false when the line refused them.
    virtual bool Apply(const LineSettings& settings) = 0;

    // Drops input that has arrived at the device but was not read yet.
    virtual void PurgeInput() = 0;
};

} // namespace kq::platform
