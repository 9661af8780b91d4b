// Test equipment for the end-to-end tests of the reader library: the library as a
// caller sees it (libkqlmx.so through kqlmx.h) against the simulated reader on a real
// pty, or against the kqlmx-sim program.
#pragma once

#include "kqlmx.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace kqe2e {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Version requests of the open's probe, by protocol type, and the type 2 follow-up.
inline const Bytes kProbe0 = {0x02, 0x01, 0xF0, 0x00, 0xF1};
inline const Bytes kProbe1 = {0x01, 0xF0, 0x00, 0x64, 0x00};
inline const Bytes kProbe2 = {0x1E, 0x0B, 0x00};
inline const Bytes kProbe3 = {0x1E, 0x60, 0x00};
inline const Bytes kFirmwareQuery2 = {0x1E, 0x0B, 0x02, 0x46, 0x56};

// The version command as it stands on the wire of each protocol type.
uint8_t VersionCommand(int protocolType);

// A simulated KQ-LM90 (type code 0x184, firmware digit 4: version "1844") of the
// protocol type at 19200 8N1, unless told otherwise.
kqsim::ReaderConfig Reader(int protocolType);

// A simulated reader served on its own pty. The simulator outlives its transport.
struct PtyReader {
    explicit PtyReader(const kqsim::ReaderConfig& config) : sim(config), pty(sim) {}
    const std::string& Path() const { return pty.slavePath(); }

    kqsim::Simulator sim;
    kqsim::PtyTransport pty;
};

// A port handle that is closed when the test leaves its scope.
class OpenedPort {
public:
    OpenedPort(const std::string& name, int baud, int timeoutMs)
        : handle_(KQLMX_OpenPort(name.c_str(), baud, timeoutMs)) {}
    ~OpenedPort() {
        if (handle_ > 0) KQLMX_ClosePort(handle_);
    }
    OpenedPort(const OpenedPort&) = delete;
    OpenedPort& operator=(const OpenedPort&) = delete;

    int Handle() const { return handle_; }
    // Closes the port now; KQLMX_ClosePort's result.
    int Close() {
        const int result = KQLMX_ClosePort(handle_);
        handle_ = 0;
        return result;
    }

private:
    int handle_;
};

// KQLMX_GetReaderVersion into a buffer of `capacity` bytes: the answer, or nothing
// when the call failed (KQLMX_GetLastError tells why).
Bytes Version(int handle, int capacity = 16);
std::string VersionText(int handle);
std::string ReaderName(int handle);

// Every byte the host sent, in order, as the simulator saw it: the requests it took
// and the bytes it threw away (other protocol types, another rate or address).
Bytes HostBytes(const kqsim::Simulator& sim);
Bytes Concat(std::initializer_list<Bytes> parts);

// Milliseconds since construction.
class Stopwatch {
public:
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     start_);
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Polls `done` until it holds or `limit` has passed; whether it held. For what another
// thread does in its own time (a simulator taking a datagram, a listener closing).
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const Stopwatch watch;
    while (!done()) {
        if (watch.Elapsed() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace kqe2e
