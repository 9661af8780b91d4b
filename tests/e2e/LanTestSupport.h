// Test equipment of the LAN reader tests, on loopback only: addresses in 127.0.0.0/8
// of this test process alone (never 127.0.0.1 for a module), a free UDP port for the
// modules, and the library's LAN settings pointed at them for the test's length.
#pragma once

#include "sim/LanModule.h"

#include <string>
#include <vector>

namespace kqe2e {

// 127.a.b.host, with a and b taken from the process id, so parallel test processes
// never share an address; host 1..254.
std::string LoopbackAddress(int host);

// Sets KQLMX_LAN_BROADCAST (127.255.255.255), KQLMX_LAN_PORT (a free UDP port) and
// KQLMX_LAN_ADAPTERS (the given adapters, each with mask 255.0.0.0); restores the
// environment at the end.
class LanEnvironment {
public:
    explicit LanEnvironment(const std::vector<std::string>& adapters);
    ~LanEnvironment();
    LanEnvironment(const LanEnvironment&) = delete;
    LanEnvironment& operator=(const LanEnvironment&) = delete;

    int ModulePort() const { return port_; }
    // A module configuration at `address` on this environment's port.
    kqsim::LanModule::Config Module(const std::string& address, const std::string& name) const;

private:
    int port_ = 0;
};

} // namespace kqe2e
