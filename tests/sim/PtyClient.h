// The host side of a pty in the simulator's tests: opens the slave like a serial port
// (raw, any rate through termios2), writes requests and reads answers with deadlines.
#pragma once

#include "sim/Bytes.h"

#include <chrono>
#include <string>

namespace kqsim::test {

class PtyClient {
public:
    explicit PtyClient(const std::string& path, int baud = 19200, bool twoStopBits = false);
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool setLine(int baud, bool twoStopBits = false);
    bool write(const Bytes& bytes);
    // Reads until `count` bytes are in or `timeout` has passed.
    Bytes read(std::size_t count, std::chrono::milliseconds timeout);
    // Reads whatever arrives within `quiet` of silence, at most `timeout` in all.
    Bytes readAll(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout);
    // True when the line has hung up (the simulator dropped the link).
    bool hungUp(std::chrono::milliseconds timeout);
    void close();

private:
    int fd_ = -1;
};

} // namespace kqsim::test
