// Serves a byte service (the simulator) on a pseudo-terminal: the program under test
// opens the slave side as its serial port, the transport's thread reads and answers on
// the master side.
//
//   kqsim::Simulator sim;
//   kqsim::PtyTransport pty(sim, "/tmp/kq-reader");  // optional stable symlink
//   if (!pty.ok()) { ... pty.error() ... }
//   open(pty.slavePath()) or open("/tmp/kq-reader") ...
//
// The rate and stop bits the client sets on the slave (termios, also termios2 with any
// rate) decide whether the reader understands its bytes; a pty has no parity, so parity
// is not compared. With pacing on (ReaderConfig::pacing), a request counts as received
// only after its wire time at the reader's rate and answer bytes leave no faster than
// that rate, 10 bits a byte.
//
// The slave is not held open by the simulator: when the client closes it, the line is
// reset as a fresh serial device would be (exclusive mode ends, settings return to
// their defaults) and the next client sets it up again.
#pragma once

#include "Simulator.h"

#include <atomic>
#include <string>
#include <thread>

namespace kqsim {

class PtyTransport : public LinkControl {
public:
    // Opens a pty pair and starts serving. `linkName`, when given, becomes a symlink to
    // the slave path (an existing symlink of that name is replaced).
    explicit PtyTransport(ByteService& service, const std::string& linkName = {});
    ~PtyTransport() override; // stops the thread, closes the master, removes the symlink
    PtyTransport(const PtyTransport&) = delete;
    PtyTransport& operator=(const PtyTransport&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& slavePath() const { return slavePath_; }
    const std::string& linkPath() const { return linkPath_; }

    // False once the link was dropped (Simulator::dropLink or a DropLink fault): the
    // master is closed, the client sees a hang-up and the slave path is gone.
    bool linkUp() const { return up_; }
    // Whether every byte that has reached the master was taken and answered: the thread
    // waits for more, and nothing is waiting to be read. Bytes the kernel still carries
    // from the slave to the master (a worker of its own hands them on, moments after the
    // client's write) are not seen: ask once the client has since waited for something.
    bool drained() const;
    void dropLink() override;

private:
    void run();
    bool waitFor(double seconds); // false when woken to stop or drop
    bool writeAll(const std::uint8_t* data, std::size_t size);
    void send(const Outgoing& out, double rxDone);
    void closeMaster();
    void wake();

    ByteService& service_;
    std::string error_;
    std::string slavePath_;
    std::string linkPath_;
    int master_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropRequested_{false};
    std::atomic<bool> up_{false};
    std::atomic<bool> polling_{false};     // the thread waits in poll
    std::atomic<unsigned> pollReturns_{0}; // how often it came back from there
    std::thread thread_;
};

} // namespace kqsim
