// The PC-side Bluetooth module in front of a simulated reader: it speaks the module's
// packet format with the host (02, kind, command, length low/high, check byte = 8-bit
// sum of kind .. length high, payload, 03), finds the readers it is told about by
// inquiry, tells their names, connects to one and carries reader frames in data
// packets both ways. It is itself a ByteService, so a pty carries it ("COM mode"); a
// fake bridge library reaches it through receive() and setNotify().
//
//   kqsim::Simulator reader;
//   kqsim::BluetoothModule module(reader);
//   module.addDevice({.address = {1, 2, 3, 4, 5, 6}, .name = "KQ-LNP134BT"});
//   kqsim::PtyTransport pty(module);   // the host opens "<slave> BT"
//
// Requests and answers:
//   26 (no payload)       -> 25 'i'
//   00 inquiry d, 0, 0    -> 01 'i' per device (address, class low/high, 0), then 00 'C'
//   02 remote name addr   -> 02 'C': 0, address, name length, name (empty while the
//                            device still has empty answers to give)
//   0A connect 02 addr lv -> 0A 'C' status; on success 0B 'i' (status 0, address, lv, 0)
//   0D disconnect 02      -> 0D 'C' 0, then 51 'i'
//   0F data 02 n n frame  -> 0F 'C' 0; while connected the frame goes to the reader and
//                            its answer comes back as 10 'i' (02, m low, m high, bytes),
//                            after the pauses the reader put into it (a late answer)
// Packets with a wrong check byte are logged and not answered.
#pragma once

#include "ByteService.h"

#include <array>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kqsim {

class BluetoothModule : public ByteService {
public:
    struct Device {
        std::array<std::uint8_t, 6> address{};
        std::uint16_t deviceClass = 0x0500;
        std::string name;
        int emptyNameAnswers = 0; // remote-name answers with an empty name before the name
    };

    struct Request {
        std::uint8_t command = 0;
        Bytes payload;
        std::chrono::steady_clock::time_point at;
    };

    explicit BluetoothModule(ByteService& reader);
    ~BluetoothModule() override;

    void addDevice(const Device& device);
    // The next `count` connect requests are refused with status 4.
    void refuseConnects(int count);
    // Requests with this command byte are logged but never answered (a reader that is
    // switched off lets a connect go unanswered).
    void ignoreCommand(std::uint8_t command);
    // The radio link to the reader breaks: a link-lost indication goes to the host.
    void loseLink();
    // Bytes that go to the host in front of the next answer (line noise).
    void injectNoise(const Bytes& noise);
    // The next reader answer (data indication) goes out with a spoilt header: its check
    // byte is wrong, its length says 992.
    void spoilNextHeader();
    // Where bytes the module sends unasked go (a link lost); without it they wait for
    // the next answer.
    void setNotify(std::function<void(const Bytes&)> notify);

    bool connected() const;
    std::vector<Request> requests() const;
    std::vector<Request> requests(std::uint8_t command) const;
    int badChecks() const;

    // ByteService: bytes from the host in, the module's packets out.
    Outgoing receive(const std::uint8_t* data, std::size_t size,
                     const std::optional<LineSettings>& line) override;
    void attach(LinkControl* link) override;
    void detach(LinkControl* link) override;

    // A packet as the module sends it.
    static Bytes packet(std::uint8_t kind, std::uint8_t command, const Bytes& payload);

private:
    void answer(std::uint8_t command, const Bytes& payload, Outgoing& out);
    Device* find(const std::uint8_t* address);

    ByteService& reader_;
    mutable std::mutex mutex_;
    Bytes pending_; // host bytes not yet a whole packet
    Bytes unsolicited_;
    std::vector<Device> devices_;
    std::vector<int> nameAsks_;
    std::vector<Request> requests_;
    std::vector<std::uint8_t> ignored_;
    std::function<void(const Bytes&)> notify_;
    int refuseConnects_ = 0;
    int badChecks_ = 0;
    bool spoilHeader_ = false;
    bool connected_ = false;
};

} // namespace kqsim
