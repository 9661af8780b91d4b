#include "reader/transport/LanProtocol.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace kq {

namespace {

Bytes Header(uint8_t second, uint8_t code) {
    return {0x00, second, 0x00, code};
}

std::string Dotted(const uint8_t* bytes) {
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' + std::to_string(bytes[2]) + '.' +
           std::to_string(bytes[3]);
}

// Up to 8 characters at `offset`, ending at a zero byte.
std::string NameHalf(const Bytes& block, size_t offset) {
    std::string half;
    for (size_t i = offset; i < offset + 8 && i < block.size() && block[i] != 0; ++i)
        half += static_cast<char>(block[i]);
    return half;
}

// `text` is nothing but 1 to `digits` decimal digits whose value lies in [low, high].
bool DecimalIn(std::string_view text, size_t digits, long low, long high) {
    if (text.empty() || text.size() > digits) return false;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

// Empty, or "-" and a TCP port (0: the module keeps its own).
bool IsPortSuffix(std::string_view text) {
    return text.empty() || (text[0] == '-' && DecimalIn(text.substr(1), 5, 0, 65535));
}

// The decimal value at the start of `text` (as atoi reads it), kept inside int.
long Decimal(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    return std::clamp(value, -2147483647L, 2147483647L);
}

} // namespace

Bytes LanBlockReadRequest(int block) {
    return Header(0x01, block == 0 ? kLanDiscoveryCode : static_cast<uint8_t>(0xE0 + block));
}

uint8_t LanBlockReadAnswerCode(int block) {
    return block == 0 ? kLanDiscoveryAnswer : static_cast<uint8_t>(0xD0 + block);
}

Bytes LanBlockWriteRequest(int block, const Bytes& data) {
    Bytes request = block == 0 ? Header(0x00, 0xFD) : Header(0x01, static_cast<uint8_t>(0xC0 + block));
    request.insert(request.end(), data.begin(), data.end());
    return request;
}

uint8_t LanBlockWriteAnswerCode(int block) {
    return block == 0 ? 0xFB : static_cast<uint8_t>(0xB0 + block);
}

Bytes LanIdentityRequest() {
    return Header(0x01, kLanIdentityCode);
}

Bytes LanAddressSetupRequest(const Bytes& setup, bool longForm) {
    Bytes request = Header(0x00, 0xFC);
    const std::string mark = longForm ? "IP-SETUPEX" : std::string("IP-SETUP\0\0", 10);
    request.insert(request.end(), mark.begin(), mark.end());
    request.insert(request.end(), setup.begin(), setup.end());
    return request;
}

Bytes LanApplyRequest() {
    return {0x00, 0x00, 0x00, 0x03, 'X', '3'};
}

Bytes LanLongSetup(const Bytes& mac, const std::array<uint8_t, 4>& address, int port,
                   const std::array<uint8_t, 4>& mask, const std::array<uint8_t, 4>& gateway,
                   const std::string& name) {
    Bytes setup(mac.begin(), mac.begin() + static_cast<long>(std::min<size_t>(mac.size(), 6)));
    setup.resize(6, 0);
    setup.insert(setup.end(), address.begin(), address.end());
    setup.push_back(static_cast<uint8_t>(port & 0xFF));
    setup.push_back(static_cast<uint8_t>((port >> 8) & 0xFF));
    setup.insert(setup.end(), mask.begin(), mask.end());
    setup.insert(setup.end(), gateway.begin(), gateway.end());
    Bytes name16(16, 0);
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 16), name16.begin());
    setup.insert(setup.end(), name16.begin(), name16.end());
    return setup;
}

Bytes LanShortSetup(const Bytes& mac, const std::array<uint8_t, 4>& address) {
    Bytes setup{mac.size() >= 6 ? mac[4] : uint8_t{0}, mac.size() >= 6 ? mac[5] : uint8_t{0}};
    setup.insert(setup.end(), address.begin(), address.end());
    return setup;
}

std::string LanConfiguredAddress(const Bytes& block0) {
    return Dotted(block0.data());
}

int LanTcpPort(const Bytes& block0) {
    return block0[20] | (block0[21] << 8);
}

std::string LanNameHalves(const Bytes& block0) {
    return NameHalf(block0, 112) + NameHalf(block0, 84);
}

std::string LanDeviceName(const Bytes& block0) {
    return "[" + LanNameHalves(block0) + "]";
}

void PutLanName(Bytes& block0, const std::string& name) {
    for (size_t i = 0; i < 16; ++i) {
        const uint8_t c = i < name.size() ? static_cast<uint8_t>(name[i]) : 0;
        block0[i < 8 ? 112 + i : 84 + (i - 8)] = c;
    }
}

std::string LanDiscoveryEntry(const Bytes& block0, const std::string& sender) {
    const std::string configured = LanConfiguredAddress(block0);
    const std::string port = "-" + std::to_string(LanTcpPort(block0));
    if (configured == sender) return configured + port;
    return LanDeviceName(block0) + sender + port;
}

bool LanDeviceTypeIsReader(const Bytes& block2) {
    constexpr size_t offset = 93;
    const char prefix[] = "KQ-";
    for (size_t i = 0; i < 3; ++i) {
        if (offset + i >= block2.size()) return false;
        if (std::toupper(block2[offset + i]) != prefix[i]) return false;
    }
    return true;
}

std::string LanMaskText(int hostBits) {
    const uint32_t mask = hostBits >= 32 || hostBits < 0 ? 0 : ~uint32_t{0} << hostBits;
    const uint8_t bytes[4] = {static_cast<uint8_t>(mask >> 24), static_cast<uint8_t>(mask >> 16),
                              static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask)};
    return Dotted(bytes);
}

std::optional<int> LanHostBits(const std::array<uint8_t, 4>& mask) {
    int count = 0;
    for (int i = 3; i >= 0; --i) {
        for (int bit = 0; bit < 8; ++bit, ++count)
            if (mask[static_cast<size_t>(i)] & (1 << bit)) return count;
    }
    return std::nullopt;
}

void ParseLanAddress(const std::string& text, LanAddress& out) {
    out.name.clear();
    if (!text.empty() && text[0] == '[') {
        out.address = {};
        const size_t close = text.find(']');
        out.name = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        const size_t dash = close == std::string::npos ? std::string::npos : text.find('-', close);
        out.port = dash == std::string::npos ? 0 : static_cast<int>(Decimal(text.c_str() + dash + 1));
        return;
    }
    if (std::count(text.begin(), text.end(), '.') < 3) return;
    size_t position = 0;
    for (size_t part = 0; part < 4; ++part) {
        const size_t end = part < 3 ? text.find('.', position) : std::string::npos;
        std::string piece =
            text.substr(position, end == std::string::npos ? std::string::npos : end - position);
        if (part == 3) {
            const size_t dash = piece.find('-');
            out.port = dash == std::string::npos ? 0 : static_cast<int>(Decimal(piece.c_str() + dash + 1));
            if (dash != std::string::npos) piece.resize(dash);
        }
        out.address[part] = static_cast<uint8_t>(Decimal(piece.c_str()) % 256);
        position = end + 1;
    }
}

bool IsDottedAddress(const std::string& text) {
    std::string_view rest = text;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = part < 3 ? rest.find('.') : rest.size();
        if (dot == std::string_view::npos || !DecimalIn(rest.substr(0, dot), 3, 0, 255)) return false;
        rest.remove_prefix(std::min(dot + 1, rest.size()));
    }
    return true;
}

bool IsLanAddressText(const std::string& text) {
    if (!text.empty() && text[0] == '[') {
        // The module holds 16 name bytes. A longer name would be set cut, and the
        // module then never found under the name given: the wait for it and the
        // reopen fail with the address already changed.
        const size_t close = text.find(']');
        return close != std::string::npos && close - 1 <= kLanNameBytes &&
               IsPortSuffix(std::string_view(text).substr(close + 1));
    }
    const size_t dash = text.find('-');
    return IsDottedAddress(text.substr(0, dash)) &&
           (dash == std::string::npos || IsPortSuffix(std::string_view(text).substr(dash)));
}

bool IsLanMaskText(const std::string& text) {
    if (!IsDottedAddress(text)) return false;
    LanAddress mask;
    ParseLanAddress(text, mask);
    const uint32_t value = static_cast<uint32_t>(mask.address[0]) << 24 | mask.address[1] << 16 |
                           mask.address[2] << 8 | mask.address[3];
    // Leading one bits only: ~value + 1 is then a power of two (or 0 for all ones).
    // At least one: a module keeps its old mask when given none at all.
    const uint32_t hosts = ~value + 1;
    return value != 0 && (hosts & (hosts - 1)) == 0;
}

} // namespace kq
