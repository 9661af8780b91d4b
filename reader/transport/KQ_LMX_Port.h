// One open connection to one reader. The reader layer puts a ReaderCommandFrame
// (command byte and data) into the send buffer; Transceive frames it for the port's
// protocol type, sends it over the open link and waits on the calling thread until
// the complete answer is in or the time-out has passed; ReceiveAnswer then checks
// and strips it. The reason of a failure stays in lastError.
#pragma once

#include "reader/transport/BluetoothReaderLink.h"
#include "reader/transport/HidReaderLink.h"
#include "reader/transport/ReaderFrame.h"
#include "reader/transport/ReceiveSink.h"
#include "reader/transport/SerialReaderLink.h"
#include "reader/transport/TCPSocketThread.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace kq {

class CDatenFuerDesfireInPort;

class CKQ_LMX_Port final : private ReceiveSink {
public:
    CKQ_LMX_Port() = default;
    ~CKQ_LMX_Port() { Close(); }
    CKQ_LMX_Port(const CKQ_LMX_Port&) = delete;
    CKQ_LMX_Port& operator=(const CKQ_LMX_Port&) = delete;

    // Set and read by the reader layer between exchanges.
    int timeoutMs = 500;
    uint8_t protocolType = 0; // ReaderProtocolType 0..3
    uint8_t versionDigit = 0;
    int readerTypeCode = 0;
    int readerAddress = 1; // low byte used by types 0 and 1
    // PortErrorCode. Atomic: a second thread refused as busy sets it while the
    // waiting exchange does.
    std::atomic<int> lastError{0};
    // The last exchange got no answer (time-out or a link gone): its code is no reader
    // status, though type 0 and 1 readers report a refused authentication with the
    // same code as a time-out.
    bool timedOut = false;
    bool waitMode = false; // true: answer waits leave the application's windows alone
    uint8_t blockBank = 0; // bank of blocks above 255 last selected on the reader (0x3A)
    // The DESFire card's session on this port, made on first use (reader/sdk).
    std::shared_ptr<CDatenFuerDesfireInPort> desfire;

    Bytes& SendBuffer() { return send_; }

    // Frames and sends the send buffer (emptying it) and waits for a complete answer
    // frame. False: nothing to send (8), a frame too long (15), time-out (4), the link
    // gone (KQLMX_ERROR_NO_SUCH_PORT, at once), or an exchange already waiting on this
    // port (KQLMX_ERROR_PORT_BUSY; the port is claimed in one atomic step, so a second
    // thread is refused too and touches nothing). Any other last error is cleared when
    // the frame goes out, and bytes left from earlier answers are discarded first;
    // after a time-out a late answer is awaited and dropped before that.
    bool Transceive();
    // The same for the command frame [cmd, data...], which goes into the send buffer
    // only once the port is claimed.
    bool Transceive(std::span<const uint8_t> command);
    // An exchange is waiting for its answer on this port (a call made now comes from an
    // event pumped by that wait).
    bool Exchanging() const { return exchanging_; }
    // Takes the answer frame out of the receive buffer (later bytes stay there),
    // checks it and strips it to its payload.
    bool ReceiveAnswer(Bytes& payload);
    bool ReceiveAck();
    // ReceiveAnswer, then the reader status (type 2) and ISO 15693 response flags.
    bool ReceiveIso15693Answer(Bytes& payload);

    CUSBSerialPort& Serial() { return serial_.Line(); }
    CTCPSocketThread& Tcp() { return tcp_; }
    // Takes a number from the serial handle registry for the open serial line.
    int AllocateSerialHandle() { return serial_.AllocateHandle(); }
    // A serial device that is not an FTDI device: its rate can follow the reader's.
    bool IsComPort() const { return serial_.Handle() != 0 && !serial_.Line().IsFtdi(); }
    // An FTDI device or a HID reader.
    bool IsUsbPort() const {
        return (serial_.Handle() != 0 && serial_.Line().IsFtdi()) || hid_.Handle() != 0;
    }
    CHidReaderLink& Hid() { return hid_; }
    CBluetoothReaderLink& Bluetooth() { return bluetooth_; }
    // The port's handle: the first that a link holds, in the links' order; 0 when none.
    int GetHandle() const;
    // Closes the open link and frees its number.
    void Close();

    // Test equipment in the same process (a simulated reader that answers at once)
    // gives the port a link of its own making, which then comes before every other.
    using LinkMaker = std::function<std::unique_ptr<ReaderLink>(ReceiveSink&)>;
    void AttachLink(const LinkMaker& make) { attached_ = make(*this); }

private:
    // Marks the port busy in one atomic step; false (busy code) when it was.
    bool Claim();
    bool Exchange();
    enum class WaitEnd { Complete, TimedOut, LinkLost };
    WaitEnd WaitForAnswer(ReaderLink* link);
    // After a time-out the line is out of step: the answer may still come. Waits until
    // it is in whole or the line has been quiet for the time-out, so that the flush
    // before the next frame drops it instead of the next wait taking it.
    void SettleAfterTimeout(ReaderLink* link);
    // Drops noise in front of the start byte; the length of a whole answer frame at the
    // front of rx_ (0 while none is). rxMutex_ held.
    size_t SyncedAnswerLength();
    // Every link of the port, in the order the open one is looked for: an attached one,
    // serial, TCP, HID, Bluetooth (null where there is no attached link).
    std::array<ReaderLink*, 5> Links() const;
    ReaderLink* OpenLink() const;
    void OnReceive(std::span<const uint8_t> bytes) override;
    void DiscardReceived() override;

    Bytes send_;
    uint8_t expectedAnswer_ = 0;
    // Set by a time-out, cleared once the line has settled (see SettleAfterTimeout).
    std::optional<std::chrono::steady_clock::time_point> timedOutAt_;
    uint8_t timedOutType_ = 0;            // the protocol type the timed-out exchange spoke
    int timedOutAfterMs_ = 0;             // and its time-out
    std::atomic<bool> exchanging_{false}; // read by the link threads too
    std::mutex rxMutex_;                  // guards rx_, filled by the link threads
    std::condition_variable rxArrived_;
    Bytes rx_;
    std::chrono::steady_clock::time_point lastReceivedAt_; // of the last byte into rx_
    // Last: link threads end before the buffers go.
    mutable SerialReaderLink serial_{*this};
    mutable CTCPSocketThread tcp_{*this};
    mutable CHidReaderLink hid_{*this};
    mutable CBluetoothReaderLink bluetooth_{*this};
    std::unique_ptr<ReaderLink> attached_;
};

} // namespace kq
