// The TCP link of libkqlmx against the simulated reader behind a TCP listener, all on
// loopback addresses of this test process. Every wait is bounded.
#include "LanTestSupport.h"
#include "ReaderE2eSupport.h"
#include "sim/TcpTransport.h"
#include "sim/Type2Tag.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kqe2e {
namespace {

struct TcpReader {
    explicit TcpReader(const std::string& address, int port = 0) : sim(Reader(0)), tcp(sim, address, port) {}
    std::string Name() const { return tcp.address() + "-" + std::to_string(tcp.port()); }

    kqsim::Simulator sim;
    kqsim::TcpTransport tcp;
};

// Whether this machine still holds a connection to `address`:`port` open on the host's
// side: established, or closed by the reader but not yet by the host (the kernel's
// own table, so the test sees what the link has done without a clock).
bool HostHoldsConnectionTo(const std::string& address, int port) {
    in_addr a{};
    inet_pton(AF_INET, address.c_str(), &a);
    char remote[16];
    std::snprintf(remote, sizeof remote, "%08X:%04X", a.s_addr, static_cast<unsigned>(port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, state;
        fields >> slot >> local >> peer >> state;
        if (peer == remote && (state == "01" || state == "08")) return true; // ESTABLISHED, CLOSE_WAIT
    }
    return false;
}

int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count;
}

long ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

TEST(TcpLink, OpensByAddressAndPortByAddressAloneAndByReaderName) {
    struct Case {
        const char* name;
        int listenPort; // 0: any free port
        bool byReaderName;
        bool withPort;
    };
    const Case cases[] = {
        {"address and port", 0, false, true},
        {"address alone: port 10001", 10001, false, false},
        {"reader name found by discovery", 0, true, true},
    };
    int host = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string address = LoopbackAddress(host++);
        TcpReader reader(address, c.listenPort);
        if (!reader.tcp.ok()) GTEST_SKIP() << reader.tcp.error();
        LanEnvironment lan({LoopbackAddress(1)});
        auto config = lan.Module(address, "TCPREAD0TCPREAD1");
        config.configured = "0.0.0.0"; // a module found by its name takes its address from DHCP
        config.tcpPort = reader.tcp.port();
        kqsim::LanModule module(config);
        ASSERT_TRUE(module.ok()) << module.error();
        std::string name = c.byReaderName ? "[TCPREAD0TCPREAD1]" : address;
        if (c.withPort) name += "-" + std::to_string(reader.tcp.port());
        OpenedPort port(name, 19200, 500);
        ASSERT_GE(port.Handle(), 20001) << name;
        EXPECT_EQ(VersionText(port.Handle()), "1844");
        EXPECT_EQ(reader.tcp.connectionsAccepted(), 1);
    }
}

// Catches a link left marked connected after the reader closed the connection (as
// modules do after an idle time): the next frame was dropped and its command timed
// out. Also a reconnect that binds the readers' port number.
TEST(TcpLink, ReaderClosingTheConnectionTheNextFrameReconnectsOnAnyLocalPort) {
    // Two readers with one port number on two addresses: each reconnect must take a
    // local port of its own, never the readers' port number (which any free port may
    // be by chance, but not twice).
    TcpReader first(LoopbackAddress(30));
    ASSERT_TRUE(first.tcp.ok()) << first.tcp.error();
    TcpReader second(LoopbackAddress(31), first.tcp.port());
    if (!second.tcp.ok()) GTEST_SKIP() << second.tcp.error();
    OpenedPort a(first.Name(), 19200, 300);
    OpenedPort b(second.Name(), 19200, 300);
    ASSERT_GT(a.Handle(), 0);
    ASSERT_GT(b.Handle(), 0);
    int onTheReadersPort = 0;
    for (auto [reader, port] : {std::pair{&first, &a}, std::pair{&second, &b}}) {
        reader->tcp.closeAfterAnswers(1);
        EXPECT_EQ(VersionText(port->Handle()), "1844");
        ASSERT_TRUE(WaitUntil([&] { return !reader->tcp.connected(); }));
        // The reader's close reaches the host in the kernel's own time; a frame sent
        // before the link has seen it is lost with the connection (its command fails).
        ASSERT_TRUE(WaitUntil([&] {
            return !HostHoldsConnectionTo(reader->tcp.address(), reader->tcp.port());
        })) << "the link did not let the closed connection go";
        EXPECT_EQ(VersionText(port->Handle()), "1844") << "the frame after the close reconnects";
        EXPECT_EQ(reader->tcp.connectionsAccepted(), 2);
        onTheReadersPort += reader->tcp.lastPeerPort() == first.tcp.port();
    }
    EXPECT_LT(onTheReadersPort, 2) << "reconnects from the readers' port number";
}

TEST(TcpLink, RefusedConnectFailsAtOnce) {
    TcpReader reader(LoopbackAddress(40));
    ASSERT_TRUE(reader.tcp.ok()) << reader.tcp.error();
    reader.tcp.setRefusing(true);
    ASSERT_TRUE(WaitUntil([&] { return !reader.tcp.listening(); }));
    const Stopwatch watch;
    EXPECT_EQ(KQLMX_OpenPort(reader.Name().c_str(), 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_LT(watch.Elapsed(), 1000ms);
    reader.tcp.setRefusing(false);
    ASSERT_TRUE(WaitUntil([&] {
        OpenedPort port(reader.Name(), 19200, 500);
        return port.Handle() > 0;
    }));
}

TEST(TcpLink, UnansweredConnectGivesUpWithinFiveSeconds) {
    // A listener whose backlog is full drops further connection requests unanswered.
    const std::string address = LoopbackAddress(41);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    socklen_t length = sizeof local;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        connect(fillers.back(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    std::this_thread::sleep_for(100ms);
    const std::string name = address + "-" + std::to_string(ntohs(local.sin_port));
    const Stopwatch watch;
    const int handle = KQLMX_OpenPort(name.c_str(), 19200, 500);
    const auto elapsed = watch.Elapsed();
    for (int fd : fillers)
        close(fd);
    close(listener);
    if (handle > 0) {
        KQLMX_ClosePort(handle);
        GTEST_SKIP() << "this system answered the connect";
    }
    EXPECT_EQ(handle, KQLMX_OPEN_LINK_FAILED);
    EXPECT_GE(elapsed, 4500ms);
    EXPECT_LT(elapsed, 6500ms);
}

TEST(TcpLink, CloseEndsTheLinkThreadAndTheConnection) {
    TcpReader reader(LoopbackAddress(50));
    ASSERT_TRUE(reader.tcp.ok()) << reader.tcp.error();
    const int before = ThreadCount();
    const int handle = KQLMX_OpenPort(reader.Name().c_str(), 19200, 500);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(ThreadCount(), before + 1);
    EXPECT_EQ(KQLMX_ClosePort(handle), 0);
    // A joined thread can stay listed in /proc for a moment while the kernel reaps it;
    // a thread left running (or waited for up to a second) stays far longer.
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == before; }, 100ms)) << "the link thread is joined";
    EXPECT_TRUE(WaitUntil([&] { return !reader.tcp.connected(); }));
    EXPECT_EQ(KQLMX_GetLastError(handle), KQLMX_ERROR_NO_SUCH_PORT);
}

// Catches a receive buffer that grows without end while a reader sends and nobody
// asks (the process runs out of memory), and a port that is lost after such a flood.
TEST(TcpLink, ReaderSendingWithoutEndNeitherFillsMemoryNorBlocksTheNextAnswer) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, LoopbackAddress(52).c_str(), &local.sin_addr);
    socklen_t length = sizeof local;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    std::atomic<bool> flooding{true};
    std::thread reader([&] {
        const int connection = accept(listener, nullptr, nullptr);
        const Bytes answer = {0x02, 0x01, 0x00, 0x04, '1', '8', '4', '3', 0x0B};
        const Bytes noise(65536, 0x55); // no start byte in it
        uint8_t request[64];
        for (int exchange = 0; exchange < 2; ++exchange) {
            pollfd fd{connection, POLLIN, 0};
            if (poll(&fd, 1, 3000) <= 0 || recv(connection, request, sizeof request, 0) <= 0) break;
            send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
            while (exchange == 0 && flooding &&
                   send(connection, noise.data(), noise.size(), MSG_NOSIGNAL) > 0) {
            }
        }
        close(connection);
    });
    const long before = ResidentMegabytes();
    const int handle = KQLMX_OpenPort(
        (LoopbackAddress(52) + "-" + std::to_string(ntohs(local.sin_port))).c_str(), 19200, 2000);
    std::this_thread::sleep_for(1s);
    const long grown = ResidentMegabytes() - before;
    flooding = false;
    EXPECT_GT(handle, 0);
    EXPECT_LT(grown, 50) << "megabytes";
    EXPECT_EQ(VersionText(handle), "1843");
    KQLMX_ClosePort(handle);
    reader.join();
    close(listener);
}

TEST(TcpLink, Type2TextRecordWrittenAndReadBack) {
    TcpReader reader(LoopbackAddress(51));
    ASSERT_TRUE(reader.tcp.ok()) << reader.tcp.error();
    const kqsim::TagId id = reader.sim.placeTag(kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213));
    OpenedPort port(reader.Name(), 19200, 500);
    ASSERT_GT(port.Handle(), 0);
    const std::string json = R"({"TEXT" : {"TITLE" : "Hallo"}})";
    ASSERT_EQ(KQLMX_WriteTag(port.Handle(), json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0), 0);
    // Pages 4-8: Lock Control TLV as shipped, NDEF TLV with the text record
    // D1 01 08 'T' 02 "en" "Hallo", terminator.
    const Bytes expected = {0x01, 0x03, 0xA0, 0x0C, 0x34, 0x03, 0x0C, 0xD1, 0x01, 0x08,
                            0x54, 0x02, 0x65, 0x6E, 0x48, 0x61, 0x6C, 0x6C, 0x6F, 0xFE};
    const auto memory = reader.sim.tagMemory(id);
    ASSERT_TRUE(memory);
    EXPECT_EQ(Bytes(memory->begin() + 16, memory->begin() + 16 + static_cast<long>(expected.size())),
              expected);
    char text[256] = {};
    ASSERT_GT(KQLMX_ReadTag(port.Handle(), text, sizeof text), 0);
    EXPECT_EQ(std::string(text), json);
}

} // namespace
} // namespace kqe2e
