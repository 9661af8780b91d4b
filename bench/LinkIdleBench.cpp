// What an open reader port costs while nothing happens on it: opens a port to the
// simulated reader on a pty and one behind a TCP listener on loopback, leaves each
// idle for a while and prints the process's CPU time over that span (the simulator's
// own threads sleep in between and add next to nothing). An idle port should cost
// close to 0 s, whatever its link.
//
//   kqlmx-link-idle-bench [seconds]      (default 5)
#include "kqlmx.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"
#include "sim/TcpTransport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void MeasureIdle(const char* kind, const std::string& name, int seconds) {
    const int port = KQLMX_OpenPort(name.c_str(), 19200, 500);
    if (port <= 0) {
        std::printf("idle %-4s port: could not open %s (%d)\n", kind, name.c_str(), port);
        return;
    }
    const double before = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double spent = CpuSeconds() - before;
    std::printf("idle %-4s port: %.3f s CPU over %d s\n", kind, spent, seconds);
    KQLMX_ClosePort(port);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    {
        kqsim::Simulator sim({.typeCode = 0x184, .protocolType = 0});
        kqsim::PtyTransport pty(sim);
        MeasureIdle("pty", pty.slavePath(), seconds);
    }
    {
        kqsim::Simulator sim({.typeCode = 0x184, .protocolType = 0});
        kqsim::TcpTransport tcp(sim, "127.0.0.2");
        if (!tcp.ok()) {
            std::printf("idle TCP port: no listener: %s\n", tcp.error().c_str());
            return 1;
        }
        MeasureIdle("TCP", tcp.address() + "-" + std::to_string(tcp.port()), seconds);
    }
    return 0;
}
