// Serves a byte service (the simulator) as a LAN reader does: a TCP listener on a
// loopback address, plain reader frames on the connection. One connection is served at
// a time; a new one replaces the old.
//
//   kqsim::Simulator sim;
//   kqsim::TcpTransport tcp(sim, "127.0.0.7");      // any free port
//   open "127.0.0.7-" + std::to_string(tcp.port()) ...
//
// Faults: close the connection after a number of answers, refuse connects (nothing
// listens; the port is kept), take no further connection after the first one ended.
#pragma once

#include "ByteService.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace kqsim {

class TcpTransport : public LinkControl {
public:
    TcpTransport(ByteService& service, const std::string& address, int port = 0);
    ~TcpTransport() override;
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& address() const { return address_; }
    int port() const { return port_; }

    // The reader closes the connection after its next `answers` answers (0: never).
    void closeAfterAnswers(int answers);
    // While refusing nothing listens: a connect is refused at once.
    void setRefusing(bool refusing);
    // Without reconnections the listener closes when the first connection ends.
    void setAcceptReconnections(bool accept);
    int connectionsAccepted() const { return accepted_; }
    // The host's local port of the last connection taken.
    int lastPeerPort() const { return peerPort_; }
    bool connected() const { return connected_; }
    // Whether a listener is open (refusing closes it in the transport's own time).
    bool listening() const;
    // Closes the current connection (the listener stays).
    void dropLink() override;

private:
    bool listen();
    void run();
    void closeConnection();
    void wake();

    ByteService& service_;
    std::string error_;
    std::string address_;
    std::atomic<int> port_{0}; // read by the test while the thread listens again
    mutable std::mutex mutex_; // the settings below
    int closeAfter_ = 0;
    bool refusing_ = false;
    bool reconnections_ = true;
    int listenFd_ = -1;
    int connectionFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<int> accepted_{0};
    std::atomic<int> peerPort_{0};
    std::atomic<bool> connected_{false};
    std::atomic<bool> dropRequested_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kqsim
