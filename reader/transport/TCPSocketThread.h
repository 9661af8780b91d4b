// The TCP link of a LAN reader port: a thread that owns the connection, sends the
// frames the port queues and hands every received byte to the port. The handle number
// is held from a successful open until the link is closed, also while the connection
// is down (the next frame reconnects). The same object, without its thread, carries a
// LAN configuration port's UDP socket on the calling thread.
#pragma once

#include "platform/WakeEvent.h"
#include "reader/transport/ReaderLink.h"
#include "reader/transport/TCPSocket.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace kq {

class CTCPSocketThread final : public ReaderLink {
public:
    explicit CTCPSocketThread(ReceiveSink& owner);
    ~CTCPSocketThread() override { Close(); }
    CTCPSocketThread(const CTCPSocketThread&) = delete;
    CTCPSocketThread& operator=(const CTCPSocketThread&) = delete;

    // Connects to "a.b.c.d-port", "a.b.c.d" (port 10001) or "[name]-port" (resolved by
    // discovery) and starts the thread. False when no connection was made.
    bool Open(const std::string& addressText);
    // A UDP link to the module named by `name` (its TCP port is not used), found
    // through the first adapter whose broadcast the module answers. No thread runs.
    bool OpenUdpConfigLink(const std::string& name);
    bool IsUdpConfigLink() const { return udp_; }

    bool QueueFrame(std::span<const uint8_t> frame);
    // Ends the thread (joined) and closes the socket.
    void Stop();

    CTCPSocket& Socket() { return socket_; }
    std::string ResolveAddressText(const std::string& text) { return socket_.ResolveAddressText(text); }

    bool IsOpen() const override { return handle_ != 0; }
    int Handle() const override { return handle_; }
    void Send(std::span<const uint8_t> frame) override;
    // Also drops frames of earlier exchanges that have not gone out yet: their waits
    // are over, and an answer to one would be taken for the next exchange's.
    void Discard() override;
    void DropUnsent() override;
    // The connection closed after this exchange's frame went out.
    bool Lost() const override { return lostExchange_ == exchange_; }
    void Close() override;

private:
    void Run();

    ReceiveSink& owner_;
    CTCPSocket socket_;
    int handle_ = 0;
    bool udp_ = false;
    std::string addressText_;
    struct QueuedFrame {
        uint64_t exchange; // the exchange it was queued for
        Bytes bytes;
    };
    std::mutex queueLock_;
    std::deque<QueuedFrame> queue_;
    std::atomic<uint64_t> exchange_{0};              // counts the port's exchanges (discards)
    std::atomic<uint64_t> sentExchange_{UINT64_MAX}; // whose frame went out last
    std::atomic<uint64_t> lostExchange_{UINT64_MAX}; // whose answer the connection's close cut off
    platform::WakeEvent sendEvent_;
    platform::WakeEvent stopEvent_; // ends a reconnect under way
    std::atomic<bool> connectDone_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kq
