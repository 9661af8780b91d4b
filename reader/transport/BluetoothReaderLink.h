// The link to a reader through a Bluetooth module on the PC side: a USB dongle driven
// through the bridge library (ReaderUsbXpressLibrary.h), or a module on a serial
// device ("COM mode"). The PC speaks the module's packet format
// (BluetoothModulePacket.h): the module finds the reader by inquiry, connects to it
// and carries the port's reader frames in data packets. The link connects lazily,
// from the port's send and poll calls, and has no thread; its waits poll the module.
#pragma once

#include "platform/SerialDevice.h"
#include "platform/UsbXpress.h"
#include "reader/transport/ReaderFrame.h"
#include "reader/transport/ReaderLink.h"
#include "reader/transport/ReceiveSink.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kq {

class CBluetoothReaderLink final : public ReaderLink {
public:
    using Address = std::array<uint8_t, 6>;          // the 4-byte and the 2-byte part
    static constexpr size_t kInquiryRecordSize = 38; // address and a 32-byte name
    static constexpr int kMaxFoundDevices = 29;
    // How long an on-demand connect waits for the module's link status. A connect
    // that did not wait would leave the first frame after every (re)connect unsent.
    static constexpr int kConnectWaitMs = 5000;

    explicit CBluetoothReaderLink(ReceiveSink& owner) : owner_(owner) {}
    ~CBluetoothReaderLink() override { Close(); }
    CBluetoothReaderLink(const CBluetoothReaderLink&) = delete;
    CBluetoothReaderLink& operator=(const CBluetoothReaderLink&) = delete;

    // Appends "<serial-number string> BT" of every dongle whose serial-number string
    // begins "VEK-RT4082#".
    static void ListReaders(std::vector<std::string>& list);

    // `name` without its " BT" parts names a dongle (by serial-number string, any
    // case) or, failing that, a serial device path on which the module sits. Takes a
    // number from the Bluetooth handle registry.
    bool Open(const std::string& name);
    // Connects on demand, then sends the bytes in one data packet.
    bool SendData(std::span<const uint8_t> bytes);
    // Connects on demand, processes one packet from the module and moves up to `size`
    // reader bytes received so far into `buffer`.
    size_t ReadData(uint8_t* buffer, size_t size);
    // The rate of the line to the module.
    bool SetBaudRate(int rate);

    // The port's link. The discard begins an exchange, which connects on demand at
    // most once; it takes in what the module has said so far (a link lost meanwhile is
    // noticed before the send) and then forgets every reader byte not yet taken, so
    // that a late answer is never taken for the next command's. The
    // close disconnects a connected reader (waiting at most 7 s) and closes the module.
    bool IsOpen() const override { return open_; }
    // The handle number (30001 and up), 0 when closed.
    int Handle() const override { return handle_; }
    void Send(std::span<const uint8_t> frame) override { SendData(frame); }
    bool Poll() override;
    void Discard() override;
    // The module's line failed (COM mode), or the radio link broke during the exchange.
    bool IsDead() const override { return lineFailed_; }
    bool Lost() const override { return lineFailed_ || lostInExchange_; }
    void Close() override;

    bool IsComMode() const { return com_ != nullptr; }
    bool IsConnected() const { return connected_; }

    // Looks for readers: an inquiry, then each found device's name (asked again while
    // it is empty, 6 times at most). Writes records of 38 bytes (address, 32-byte name)
    // while `out` has room; the bytes written, or -1 when the module did not answer
    // within `limitMs`. `filter` 0 takes every device, else only devices whose class
    // bytes equal it (the inquiry then ends at the first).
    int Inquiry(uint8_t* out, size_t size, int limitMs, uint16_t filter);
    // Connects to the reader at `address`: 0, the module's status when it refused, or
    // -1 when no answer came within `limitMs`.
    int Connect(const Address& address, uint8_t linkValue, int limitMs);

private:
    using Clock = std::chrono::steady_clock;

    bool OpenDongle(uint32_t index);
    bool OpenComModule(const std::string& path);
    void ReadModuleBytes();
    bool WriteModule(std::span<const uint8_t> bytes);
    bool ProcessPacket();
    void Apply(uint16_t code, const Bytes& payload);
    bool Await(const Bytes& request, uint16_t expected, int limitMs);
    bool EnsureConnected();
    void CloseDevice();

    void ProcessPending();

    ReceiveSink& owner_;
    std::string name_;
    int handle_ = 0;
    bool open_ = false;
    platform::SiHandle dongle_ = nullptr;
    std::unique_ptr<platform::SerialDevice> com_;
    uint16_t expected_ = 0;
    bool arrived_ = false;
    Bytes raw_;
    Bytes data_;
    std::vector<Address> found_;
    uint16_t filter_ = 0;
    std::string text_; // the last remote name or other text answer, at most 32 bytes
    uint8_t lastStatus_ = 0;
    bool connected_ = false;
    std::optional<Address> remote_;
    uint8_t linkValue_ = 2;
    int connectWaitMs_ = kConnectWaitMs;
    std::optional<Clock::time_point> lastAttempt_;
    bool triedInExchange_ = false; // a connect on demand was tried since the last discard
    bool lostInExchange_ = false;  // the connected link broke since the last discard
    bool lineFailed_ = false;      // the serial line to the module failed
};

} // namespace kq
