// The simulated reader the tag fuzz targets work against: a simulator behind a pty,
// opened through the flat API with wait mode on, as in the end-to-end tests. Built
// once per fuzzing process; a reader that cannot be opened ends it.
#pragma once

#include "kqlmx.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"

#include <cstdio>
#include <cstdlib>

namespace kqtest {

struct FuzzSimReader {
    FuzzSimReader() : pty(sim) {
        port = pty.ok() ? KQLMX_OpenPort(pty.slavePath().c_str(), 19200, 500) : -1;
        if (port <= 0) {
            std::fprintf(stderr, "no simulated reader\n");
            std::abort();
        }
        KQLMX_SetWaitMode(port, 1);
    }
    kqsim::Simulator sim;
    kqsim::PtyTransport pty;
    int port = -1;
};

} // namespace kqtest
