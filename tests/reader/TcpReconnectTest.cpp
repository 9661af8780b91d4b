// The TCP link's reconnect, held up by a reader whose listener drops connection
// requests (its backlog is full), on loopback. Every wait is bounded.
#include "TestSupport.h"
#include "reader/sdk/ReaderCommands.h"
#include "reader/transport/KQ_LMX_Port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

using kqtest::ToHex;
using Clock = std::chrono::steady_clock;

namespace {

// A reader on 127.0.0.1 whose backlog can be filled so that connects hang.
struct Listener {
    Listener() {
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd, 0);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    }
    ~Listener() {
        Unblock();
        close(fd);
    }
    std::string Name() const { return "127.0.0.1-" + std::to_string(ntohs(address.sin_port)); }
    int Accept(int waitMs) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, waitMs) > 0 ? accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }
    void Block() {
        for (int i = 0; i < 4; ++i) {
            fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // The fillers give up; the one that got in is taken off the queue.
    void Unblock() {
        for (int filler : fillers)
            close(filler);
        fillers.clear();
        for (int queued; (queued = Accept(50)) >= 0;)
            close(queued);
    }

    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    std::vector<int> fillers;
};

bool Exchange(kq::CKQ_LMX_Port& port, uint8_t command, const kq::Bytes& data, int timeoutMs,
              kq::Bytes& answer) {
    port.timeoutMs = timeoutMs;
    return kq::SendCommand(port, command, data, &answer);
}

// Catches a frame whose exchange timed out while a reconnect held it back being sent
// after the reconnect, so that its answer is taken for the next exchange's, and a
// close that waits for a hanging reconnect to give up.
TEST(TcpReconnect, HeldFrameIsDroppedAndCloseEndsTheReconnect) {
    Listener reader;
    kq::CKQ_LMX_Port port;
    port.waitMode = true;
    std::thread first([&] { close(reader.Accept(2000)); }); // the reader closes at once
    ASSERT_TRUE(port.Tcp().Open(reader.Name()));
    first.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kq::Bytes answer;
    for (int round = 0; round < 2; ++round) {
        reader.Block();
        EXPECT_FALSE(Exchange(port, 0xF0, {}, 100, answer)) << "held by the reconnect after the close";
        const auto held = Clock::now();
        EXPECT_FALSE(Exchange(port, 0xF5, {0x00}, 100, answer)) << "held by the reconnect";
        if (round == 1) {
            const auto start = Clock::now();
            port.Close();
            EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
            break;
        }
        reader.Unblock(); // the reconnect's next try gets through
        std::vector<std::string> requests;
        std::thread serve([&] {
            const int connection = reader.Accept(5000);
            uint8_t request[64];
            for (pollfd p{connection, POLLIN, 0}; poll(&p, 1, 2000) > 0;) {
                const ssize_t n = recv(connection, request, sizeof request, 0);
                if (n <= 0) break;
                requests.push_back(ToHex(kq::Bytes(request, request + n)));
                const kq::Bytes reply = request[2] == 0xF0 ? kqtest::Hex("02 01 00 04 31 38 34 33 0B")
                                                           : kqtest::Hex("02 01 00 00 01");
                send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
                if (request[2] == 0xF0) break;
            }
            close(connection);
        });
        EXPECT_TRUE(Exchange(port, 0xF0, {}, 5000, answer));
        serve.join();
        if (Clock::now() - held < std::chrono::milliseconds(300))
            GTEST_SKIP() << "this system took the connect";
        EXPECT_EQ(ToHex(answer), "31 38 34 33");
        EXPECT_EQ(requests, std::vector<std::string>{"02 01 F0 00 F1"});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace
