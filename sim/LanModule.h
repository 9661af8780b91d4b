// A simulated network module of a LAN reader on UDP: it answers discovery (F8 -> F9
// with block 0), block reads (E0+n -> D0+n), the identity request (F6 -> F7 with the
// vendor mark and its MAC), block writes (FD / C0+n -> FB / B0+n), takes the address
// set-up ("IP-SETUP", long "EX" and short form) and the apply command ("X3").
//
// It answers from its own address (127.0.0.x on loopback, never 127.0.0.1 in tests)
// through a unicast socket there, and hears broadcasts through a second socket bound
// to the broadcast address with SO_REUSEADDR, so several modules share one port.
//
//   kqsim::LanModule::Config c;
//   c.address = "127.0.0.7"; c.port = modulePort; c.name = "READER0000000001";
//   kqsim::LanModule module(c);
//
// Blocks are 126 bytes. Block 0: address 0-3, host-bit count 6, gateway 12-15, TCP
// port 20-21 (low byte first), name characters 9-16 at 84, 1-8 at 112. Block 2: the
// device type text at 93. Block 3: a copy of name characters 9-16 at 102.
#pragma once

#include "Bytes.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kqsim {

class LanModule {
public:
    struct Config {
        std::string address;                       // where the module answers
        std::string configured;                    // block 0 address; empty: `address`
        int port = 30718;                          // UDP port of the modules
        std::string broadcast = "127.255.255.255"; // where it hears broadcasts
        int tcpPort = 10001;
        int hostBits = 8;
        std::string gateway = "0.0.0.0";
        std::string name;                  // up to 16 characters
        std::string deviceType = "KQ-LAN"; // block 2 text
        Bytes mac = {0x00, 0x20, 0x4A, 0x11, 0x22, 0x33};
        bool vendorMark = true; // "VEK" in the identity answer
        bool answersIdentity = true;
        // Modes.
        std::chrono::milliseconds reappearDelay{100}; // before it answers at a new address
        std::string dhcpAddress;                      // set: answers from here after a move
        int ignoreBlock0Writes = 0;                   // the first n block-0 writes get no answer
        bool refuseWrites = false;                    // no block write is answered or kept
        bool neverReappear = false;                   // silent after a move
        bool ignoreSetup = false;                     // the address set-up is logged, not taken
    };

    // A request as the module received it.
    struct Received {
        std::uint8_t code = 0;
        Bytes data; // after the 4-byte header
        bool broadcast = false;
    };

    explicit LanModule(const Config& config);
    ~LanModule();
    LanModule(const LanModule&) = delete;
    LanModule& operator=(const LanModule&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    Bytes block(int n) const;
    void setBlock(int n, const Bytes& bytes);
    // Where the module answers now (empty while it is away).
    std::string currentAddress() const;
    std::vector<Received> received() const;
    void clearReceived();
    // A module on its way to a new address is back there at once, whatever its delay.
    void reappearNow();

private:
    bool bindSockets(const std::string& address);
    void run();
    void handle(const std::uint8_t* data, std::size_t size, const std::string& from, int fromPort,
                bool broadcast);
    void reply(std::uint8_t code, const Bytes& data, const std::string& to, int toPort);
    void moveTo(const std::string& address);

    Config config_;
    std::string error_;
    mutable std::mutex mutex_;
    std::vector<Bytes> blocks_;
    std::vector<Received> received_;
    std::string current_;
    std::string pendingAddress_;
    std::chrono::steady_clock::time_point moveAt_{};
    bool moving_ = false;
    int block0WritesSeen_ = 0;
    int unicastFd_ = -1;
    int broadcastFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kqsim
