#include "LanTestSupport.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kqe2e {

std::string LoopbackAddress(int host) {
    const int pid = static_cast<int>(getpid());
    return "127." + std::to_string(10 + pid % 200) + "." + std::to_string((pid / 200) % 250) + "." +
           std::to_string(host);
}

namespace {

// A UDP port that nothing holds on the broadcast address now.
int FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.255.255.255", &address.sin_addr);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) close(fd);
    return port;
}

} // namespace

LanEnvironment::LanEnvironment(const std::vector<std::string>& adapters) : port_(FreeUdpPort()) {
    std::string list;
    for (const std::string& adapter : adapters)
        list += (list.empty() ? "" : ",") + adapter + "/255.0.0.0";
    setenv("KQLMX_LAN_BROADCAST", "127.255.255.255", 1);
    setenv("KQLMX_LAN_PORT", std::to_string(port_).c_str(), 1);
    setenv("KQLMX_LAN_ADAPTERS", list.c_str(), 1);
}

LanEnvironment::~LanEnvironment() {
    unsetenv("KQLMX_LAN_BROADCAST");
    unsetenv("KQLMX_LAN_PORT");
    unsetenv("KQLMX_LAN_ADAPTERS");
}

kqsim::LanModule::Config LanEnvironment::Module(const std::string& address, const std::string& name) const {
    kqsim::LanModule::Config config;
    config.address = address;
    config.port = port_;
    config.name = name;
    return config;
}

} // namespace kqe2e
