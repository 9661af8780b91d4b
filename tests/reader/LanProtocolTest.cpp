// The LAN module protocol's bytes and texts, the socket layer's adapter list and sends,
// and the datagram wait's bound. Expected bytes are written out by hand from the
// module protocol (4-byte header, answer code in byte 3).
#include "reader/transport/LanProtocol.h"
#include "TestSupport.h"
#include "platform/Socket.h"
#include "reader/transport/TCPSocket.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kqtest {
namespace {

using namespace std::chrono_literals;

TEST(LanProtocol, ParseLanAddressReadsAddressPortAndName) {
    struct Case {
        const char* text;
        std::array<uint8_t, 4> address;
        int port;
        const char* name;
    };
    // Every case starts from address 9.9.9.9, port 7 and name "old".
    const Case cases[] = {
        {"192.168.0.10-10001", {192, 168, 0, 10}, 10001, ""},
        {"10.0.0.5", {10, 0, 0, 5}, 0, ""},
        {"300.1.2.259-4000", {44, 1, 2, 3}, 4000, ""}, // each part modulo 256
        {"1.2.3", {9, 9, 9, 9}, 7, ""},                // fewer than three dots: nothing set
        {"[ABCDEFGH]-10003", {0, 0, 0, 0}, 10003, "ABCDEFGH"},
        {"[ABCDEFGH]", {0, 0, 0, 0}, 0, "ABCDEFGH"},
        {"[ABC", {0, 0, 0, 0}, 0, "ABC"},
    };
    for (const Case& c : cases) {
        kq::LanAddress parsed{{9, 9, 9, 9}, 7, "old"};
        kq::ParseLanAddress(c.text, parsed);
        EXPECT_EQ(parsed.address, c.address) << c.text;
        EXPECT_EQ(parsed.port, c.port) << c.text;
        EXPECT_EQ(parsed.name, c.name) << c.text;
    }
}

TEST(LanProtocol, MaskAndHostBitCountAgree) {
    struct Case {
        std::array<uint8_t, 4> mask;
        std::optional<int> hostBits;
        const char* text; // of hostBits, when there is one
    };
    const Case cases[] = {
        {{255, 255, 255, 0}, 8, "255.255.255.0"}, {{255, 255, 255, 255}, 0, "255.255.255.255"},
        {{255, 255, 0, 0}, 16, "255.255.0.0"},    {{255, 255, 255, 128}, 7, "255.255.255.128"},
        {{128, 0, 0, 0}, 31, "128.0.0.0"},        {{0, 0, 0, 0}, std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kq::LanHostBits(c.mask), c.hostBits);
        if (c.hostBits) {
            EXPECT_EQ(kq::LanMaskText(*c.hostBits), c.text);
        }
    }
    EXPECT_EQ(kq::LanMaskText(32), "0.0.0.0");
    EXPECT_EQ(kq::LanMaskText(200), "0.0.0.0");
}

TEST(LanProtocol, RequestsAsTheModuleExpectsThem) {
    const Bytes mac = Hex("00 20 4A 11 22 33");
    struct Case {
        const char* name;
        Bytes request;
        Bytes expected;
    };
    const Case cases[] = {
        {"discovery = block 0 read", kq::LanBlockReadRequest(0), Hex("00 01 00 F8")},
        {"block 5 read", kq::LanBlockReadRequest(5), Hex("00 01 00 E5")},
        {"block 0 write", kq::LanBlockWriteRequest(0, Hex("AA BB")), Hex("00 00 00 FD AA BB")},
        {"block 3 write", kq::LanBlockWriteRequest(3, Hex("CC")), Hex("00 01 00 C3 CC")},
        {"identity", kq::LanIdentityRequest(), Hex("00 01 00 F6")},
        {"apply", kq::LanApplyRequest(), Hex("00 00 00 03 58 33")},
        {"short set-up", kq::LanAddressSetupRequest(kq::LanShortSetup(mac, {192, 168, 1, 20}), false),
         Hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 22 33 C0 A8 01 14")},
        {"long set-up",
         kq::LanAddressSetupRequest(
             kq::LanLongSetup(mac, {192, 168, 1, 20}, 10002, {255, 255, 255, 0}, {192, 168, 1, 1}, "NAME"),
             true),
         Hex("00 00 00 FC 49 50 2D 53 45 54 55 50 45 58 00 20 4A 11 22 33 C0 A8 01 14 12 27 FF FF FF 00 "
             "C0 A8 01 01 4E 41 4D 45 00 00 00 00 00 00 00 00 00 00 00 00")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToHex(c.request), ToHex(c.expected)) << c.name;
    EXPECT_EQ(kq::LanBlockReadAnswerCode(0), 0xF9);
    EXPECT_EQ(kq::LanBlockReadAnswerCode(2), 0xD2);
    EXPECT_EQ(kq::LanBlockWriteAnswerCode(0), 0xFB);
    EXPECT_EQ(kq::LanBlockWriteAnswerCode(3), 0xB3);
}

TEST(LanProtocol, BlockFieldsGiveEntryNameAndDeviceType) {
    Bytes block0(126, 0);
    const Bytes address = Hex("C0 A8 00 32");
    std::copy(address.begin(), address.end(), block0.begin());
    block0[20] = 0x11; // 10001 = 0x2711, low byte first
    block0[21] = 0x27;
    kq::PutLanName(block0, "FIRSTHALSECONDHAXX");
    EXPECT_EQ(kq::LanDeviceName(block0), "[FIRSTHALSECONDHA]") << "16 characters kept";
    EXPECT_EQ(kq::LanDiscoveryEntry(block0, "192.168.0.50"), "192.168.0.50-10001");
    EXPECT_EQ(kq::LanDiscoveryEntry(block0, "192.168.1.20"), "[FIRSTHALSECONDHA]192.168.1.20-10001");
    kq::PutLanName(block0, "AB");
    EXPECT_EQ(kq::LanDeviceName(block0), "[AB]");

    struct TypeCase {
        const char* name;
        Bytes tail; // block 2 from offset 93, as far as it came
        bool reader;
    };
    const TypeCase types[] = {
        {"upper case", {'K', 'Q', '-', 'L', 0}, true}, {"lower case", {'k', 'q', '-', 0}, true},
        {"other device", {'X', 'Q', '-', 0}, false},   {"text cut short by the datagram", {'K', 'Q'}, false},
        {"nothing at offset 93", {}, false},
    };
    for (const TypeCase& t : types) {
        Bytes block2(93 + t.tail.size(), 'K');
        for (size_t i = 0; i < t.tail.size(); ++i)
            block2[93 + i] = t.tail[i];
        EXPECT_EQ(kq::LanDeviceTypeIsReader(block2), t.reader) << t.name;
    }
}

TEST(LanSockets, AdapterListFromTheEnvironment) {
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, std::string>> adapters;
    };
    const Case cases[] = {
        {"127.0.0.1/255.0.0.0,127.0.0.20/8", {{"127.0.0.1", "255.0.0.0"}, {"127.0.0.20", "255.0.0.0"}}},
        {"127.0.0.3/24;bad;127.0.0.4/33;127.0.0.5/255.255.0.0",
         {{"127.0.0.3", "255.255.255.0"}, {"127.0.0.5", "255.255.0.0"}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        setenv("KQLMX_LAN_ADAPTERS", c.text, 1);
        const auto adapters = kq::platform::ListIpv4Adapters();
        ASSERT_TRUE(adapters) << c.text;
        ASSERT_EQ(adapters->size(), c.adapters.size()) << c.text;
        for (size_t i = 0; i < adapters->size(); ++i) {
            EXPECT_EQ((*adapters)[i].address, c.adapters[i].first);
            EXPECT_EQ((*adapters)[i].mask, c.adapters[i].second);
            EXPECT_EQ((*adapters)[i].index, static_cast<int>(i) + 1);
        }
    }
    unsetenv("KQLMX_LAN_ADAPTERS");
}

TEST(LanSockets, SendingToAClosedPeerFailsWithoutSigpipe) {
    // With SIGPIPE at its default a send without MSG_NOSIGNAL would end this process.
    std::signal(SIGPIPE, SIG_DFL);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    auto client = kq::platform::CreateStreamSocket("127.0.0.1", 0, nullptr);
    ASSERT_EQ(kq::platform::ConnectStream(client, "127.0.0.1", ntohs(local.sin_port), 1000),
              kq::platform::ConnectResult::Connected);
    close(accept(listener, nullptr, nullptr));
    close(listener);
    const Bytes frame = Hex("02 01 F0 00 F1");
    long result = 0;
    for (int i = 0; i < 100 && result >= 0; ++i) {
        result = kq::platform::SendStream(client, frame);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(result, -1);
}

TEST(LanSockets, AnswerWaitIsCappedWhileUnrelatedDatagramsKeepComing) {
    // A peer that answers every request with datagrams of a wrong code, every 100 ms:
    // each one restarts the 500 ms window, the cap still ends the wait.
    const int peer = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.77", &address.sin_addr);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    getsockname(peer, reinterpret_cast<sockaddr*>(&address), &length);
    setenv("KQLMX_LAN_PORT", std::to_string(ntohs(address.sin_port)).c_str(), 1);
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        uint8_t buffer[64];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        timeval timeout{0, 100000};
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        bool heard = false;
        const uint8_t junk[] = {0x00, 0x00, 0x00, 0x42, 0x01};
        for (int i = 0; i < 100 && !stop; ++i) { // at most 10 s
            if (!heard)
                heard = recvfrom(peer, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                                 &fromLength) > 0;
            if (heard) {
                sendto(peer, junk, sizeof junk, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
                std::this_thread::sleep_for(100ms);
            }
        }
    });
    kq::CTCPSocket socket;
    ASSERT_TRUE(socket.CreateUdpSocket("127.0.0.77"));
    Bytes data;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(socket.ReadBlock(1, data, false));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    stop = true;
    noise.join();
    close(peer);
    unsetenv("KQLMX_LAN_PORT");
    EXPECT_GE(elapsed, 4500ms);
    EXPECT_LT(elapsed, 6000ms);
}

} // namespace
} // namespace kqtest
