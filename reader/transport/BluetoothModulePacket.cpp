#include "reader/transport/BluetoothModulePacket.h"

#include <algorithm>

namespace kq {

uint8_t ModuleHeaderCheck(std::span<const uint8_t> header) {
    return static_cast<uint8_t>(header[1] + header[2] + header[3] + header[4]);
}

Bytes BuildModuleRequest(uint8_t command, std::span<const uint8_t> payload) {
    const size_t length = payload.size();
    Bytes packet{kModulePacketStart, kModuleRequest, command, static_cast<uint8_t>(length & 0xFF),
                 static_cast<uint8_t>(length >> 8)};
    packet.push_back(ModuleHeaderCheck(packet));
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.push_back(kModulePacketEnd);
    return packet;
}

Bytes BuildModuleDataPacket(std::span<const uint8_t> frame) {
    const size_t length = frame.size();
    Bytes payload{0x02, static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>(length >> 8)};
    payload.insert(payload.end(), frame.begin(), frame.end());
    return BuildModuleRequest(0x0F, payload);
}

std::optional<ModulePacket> TakeModulePacket(Bytes& raw) {
    for (;;) {
        const auto start = std::find(raw.begin(), raw.end(), kModulePacketStart);
        raw.erase(raw.begin(), start);
        if (raw.size() < kModulePacketOverhead) return std::nullopt;
        const size_t length = raw[3] | static_cast<size_t>(raw[4]) << 8;
        if (length + kModulePacketOverhead > kModuleBufferSize) {
            // It could never be read whole: not a packet but noise that looked like one.
            raw.erase(raw.begin());
            continue;
        }
        // A wrong check byte, or no end byte where the length puts it: noise that
        // began with 0x02, whose length must not swallow the real packets behind it.
        if (raw[5] != ModuleHeaderCheck(raw)) {
            raw.erase(raw.begin());
            continue;
        }
        if (raw.size() < length + kModulePacketOverhead) return std::nullopt;
        if (raw[length + kModulePacketOverhead - 1] != kModulePacketEnd) {
            raw.erase(raw.begin());
            continue;
        }
        ModulePacket packet;
        packet.code = static_cast<uint16_t>(raw[2] << 8 | raw[1]);
        packet.payload.assign(raw.begin() + 6, raw.begin() + 6 + static_cast<long>(length));
        raw.erase(raw.begin(), raw.begin() + static_cast<long>(length + kModulePacketOverhead));
        return packet;
    }
}

} // namespace kq
