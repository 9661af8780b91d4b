#include "BluetoothModule.h"

#include <algorithm>

namespace kqsim {

namespace {

constexpr std::uint8_t kStart = 0x02;
constexpr std::uint8_t kEnd = 0x03;
constexpr std::uint8_t kConfirm = 'C';
constexpr std::uint8_t kIndication = 'i';
constexpr std::size_t kHeader = 6;

std::uint8_t lo(std::size_t n) {
    return static_cast<std::uint8_t>(n & 0xFF);
}
std::uint8_t hi(std::size_t n) {
    return static_cast<std::uint8_t>((n >> 8) & 0xFF);
}

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// Goes out after `delay`, or at once behind what goes before.
void append(Outgoing& out, const Bytes& more, std::chrono::microseconds delay = {}) {
    if (out.chunks.empty() || delay.count() > 0) out.chunks.push_back({delay, {}});
    append(out.chunks.back().bytes, more);
}

} // namespace

BluetoothModule::BluetoothModule(ByteService& reader) : reader_(reader) {}

BluetoothModule::~BluetoothModule() = default;

Bytes BluetoothModule::packet(std::uint8_t kind, std::uint8_t command, const Bytes& payload) {
    Bytes out{kStart, kind, command, lo(payload.size()), hi(payload.size())};
    out.push_back(static_cast<std::uint8_t>(out[1] + out[2] + out[3] + out[4]));
    append(out, payload);
    out.push_back(kEnd);
    return out;
}

void BluetoothModule::addDevice(const Device& device) {
    std::lock_guard lock(mutex_);
    devices_.push_back(device);
    nameAsks_.push_back(0);
}

void BluetoothModule::refuseConnects(int count) {
    std::lock_guard lock(mutex_);
    refuseConnects_ = count;
}

void BluetoothModule::ignoreCommand(std::uint8_t command) {
    std::lock_guard lock(mutex_);
    ignored_.push_back(command);
}

void BluetoothModule::loseLink() {
    std::function<void(const Bytes&)> notify;
    Bytes lost;
    {
        std::lock_guard lock(mutex_);
        connected_ = false;
        lost = packet(kIndication, 0x0E, {0x00, 0x08}); // status, reason: link supervision time-out
        if (!notify_) {
            append(unsolicited_, lost);
            return;
        }
        notify = notify_;
    }
    notify(lost);
}

void BluetoothModule::injectNoise(const Bytes& noise) {
    std::lock_guard lock(mutex_);
    append(unsolicited_, noise);
}

void BluetoothModule::spoilNextHeader() {
    std::lock_guard lock(mutex_);
    spoilHeader_ = true;
}

void BluetoothModule::setNotify(std::function<void(const Bytes&)> notify) {
    std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

bool BluetoothModule::connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

std::vector<BluetoothModule::Request> BluetoothModule::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<BluetoothModule::Request> BluetoothModule::requests(std::uint8_t command) const {
    std::vector<Request> all = requests();
    std::erase_if(all, [command](const Request& r) { return r.command != command; });
    return all;
}

int BluetoothModule::badChecks() const {
    std::lock_guard lock(mutex_);
    return badChecks_;
}

BluetoothModule::Device* BluetoothModule::find(const std::uint8_t* address) {
    for (Device& device : devices_)
        if (std::equal(device.address.begin(), device.address.end(), address)) return &device;
    return nullptr;
}

Outgoing BluetoothModule::receive(const std::uint8_t* data, std::size_t size,
                                  const std::optional<LineSettings>&) {
    Outgoing out;
    std::lock_guard lock(mutex_);
    if (!unsolicited_.empty()) append(out, unsolicited_);
    unsolicited_.clear();
    pending_.insert(pending_.end(), data, data + size);
    for (;;) {
        auto start = std::find(pending_.begin(), pending_.end(), kStart);
        pending_.erase(pending_.begin(), start);
        if (pending_.size() < kHeader + 1) break;
        const std::size_t length = pending_[3] | static_cast<std::size_t>(pending_[4]) << 8;
        if (pending_.size() < kHeader + length + 1) break;
        const bool good =
            pending_[1] == 'R' &&
            pending_[5] == static_cast<std::uint8_t>(pending_[1] + pending_[2] + pending_[3] + pending_[4]) &&
            pending_[kHeader + length] == kEnd;
        const std::uint8_t command = pending_[2];
        Bytes payload(pending_.begin() + kHeader, pending_.begin() + static_cast<long>(kHeader + length));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(kHeader + length + 1));
        if (!good) {
            ++badChecks_;
            continue;
        }
        requests_.push_back({command, payload, std::chrono::steady_clock::now()});
        if (std::find(ignored_.begin(), ignored_.end(), command) == ignored_.end())
            answer(command, payload, out);
    }
    return out;
}

void BluetoothModule::answer(std::uint8_t command, const Bytes& payload, Outgoing& out) {
    switch (command) {
    case 0x26:
        append(out, packet(kIndication, 0x25, {0x00}));
        break;
    case 0x00: // inquiry
        for (const Device& d : devices_) {
            Bytes result(d.address.begin(), d.address.end());
            result.push_back(lo(d.deviceClass));
            result.push_back(hi(d.deviceClass));
            result.push_back(0x00);
            append(out, packet(kIndication, 0x01, result));
        }
        append(out, packet(kConfirm, 0x00, {0x00}));
        break;
    case 0x02: { // remote name
        Device* d = payload.size() >= 6 ? find(payload.data()) : nullptr;
        if (!d) {
            append(out, packet(kConfirm, 0x02, {0x01}));
            break;
        }
        int& asks = nameAsks_[static_cast<std::size_t>(d - devices_.data())];
        const std::string name = asks++ < d->emptyNameAnswers ? std::string() : d->name;
        Bytes answer{0x00};
        answer.insert(answer.end(), d->address.begin(), d->address.end());
        answer.push_back(lo(name.size()));
        answer.insert(answer.end(), name.begin(), name.end());
        append(out, packet(kConfirm, 0x02, answer));
        break;
    }
    case 0x0A: { // connect
        Device* d = payload.size() >= 8 ? find(payload.data() + 1) : nullptr;
        if (!d || refuseConnects_ > 0) {
            if (refuseConnects_ > 0) --refuseConnects_;
            append(out, packet(kConfirm, 0x0A, {0x04}));
            break;
        }
        connected_ = true;
        append(out, packet(kConfirm, 0x0A, {0x00}));
        Bytes status{0x00};
        status.insert(status.end(), d->address.begin(), d->address.end());
        status.push_back(payload[7]);
        status.push_back(0x00);
        append(out, packet(kIndication, 0x0B, status));
        break;
    }
    case 0x0D: // disconnect
        connected_ = false;
        append(out, packet(kConfirm, 0x0D, {0x00}));
        append(out, packet(kIndication, 0x51, {0x00}));
        break;
    case 0x0F: { // data
        append(out, packet(kConfirm, 0x0F, {0x00}));
        if (!connected_ || payload.size() < 3 || payload[0] != 0x02) break;
        const std::size_t n = std::min<std::size_t>(payload[1] | payload[2] << 8, payload.size() - 3);
        Outgoing reply = reader_.receive(payload.data() + 3, n, std::nullopt);
        Bytes bytes;
        std::chrono::microseconds delay{0};
        for (const OutgoingChunk& chunk : reply.chunks) {
            append(bytes, chunk.bytes);
            delay += chunk.delay;
        }
        if (bytes.empty()) break;
        Bytes indication{0x02, lo(bytes.size()), hi(bytes.size())};
        append(indication, bytes);
        Bytes sent = packet(kIndication, 0x10, indication);
        if (spoilHeader_) {
            spoilHeader_ = false;
            sent[3] = 0xE0; // length 992; the check byte no longer matches
            sent[4] = 0x03;
        }
        append(out, sent, delay);
        break;
    }
    default:
        break;
    }
}

void BluetoothModule::attach(LinkControl* link) {
    reader_.attach(link);
}
void BluetoothModule::detach(LinkControl* link) {
    reader_.detach(link);
}

} // namespace kqsim
