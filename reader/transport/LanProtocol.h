// The network module's UDP protocol as bytes: the requests, the fields of its
// configuration blocks and identity answer, and the texts the program makes of them.
// Every datagram has a 4-byte header; the module's answer code is header byte 3.
#pragma once

#include "reader/transport/ReaderFrame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kq {

constexpr size_t kLanBlockMinimum = 120;  // an answer's data holds at least this much of a block
constexpr size_t kLanFullBlockSize = 126; // a whole block (block 2's type test, block 3's name copy)
constexpr size_t kLanIdentityMinimum = 26;
constexpr size_t kLanNameBytes = 16; // the device name the module holds
constexpr uint8_t kLanDiscoveryCode = 0xF8;
constexpr uint8_t kLanDiscoveryAnswer = 0xF9;
constexpr uint8_t kLanIdentityCode = 0xF6;
constexpr uint8_t kLanIdentityAnswer = 0xF7;

// Block 0 read is the discovery request; block n (1-15) is E0 + n.
Bytes LanBlockReadRequest(int block);
uint8_t LanBlockReadAnswerCode(int block);
Bytes LanBlockWriteRequest(int block, const Bytes& data);
uint8_t LanBlockWriteAnswerCode(int block);
Bytes LanIdentityRequest();
// "IP-SETUP", then "EX" and the 36-byte long form, or 00 00 and the 6-byte short form.
Bytes LanAddressSetupRequest(const Bytes& setup, bool longForm);
Bytes LanApplyRequest();

// Long form: MAC, address, TCP port (low byte first), mask, gateway, 16 name bytes.
Bytes LanLongSetup(const Bytes& mac, const std::array<uint8_t, 4>& address, int port,
                   const std::array<uint8_t, 4>& mask, const std::array<uint8_t, 4>& gateway,
                   const std::string& name);
// Short form: the MAC's last two bytes, then the address.
Bytes LanShortSetup(const Bytes& mac, const std::array<uint8_t, 4>& address);

// Block 0 fields (the block must hold kLanBlockMinimum bytes).
std::string LanConfiguredAddress(const Bytes& block0); // "a.b.c.d" of bytes 0-3
int LanTcpPort(const Bytes& block0);                   // bytes 20-21, low byte first
std::string LanNameHalves(const Bytes& block0);        // "%.8s%.8s" of bytes 112 and 84
std::string LanDeviceName(const Bytes& block0);        // "[" + halves + "]"
// Writes the name's first 16 characters, zero-padded: 1-8 at 112, 9-16 at 84.
void PutLanName(Bytes& block0, const std::string& name);

// The discovery entry of a block-0 answer from `sender`: "a.b.c.d-port" when the module
// answers from its configured address, else its name, the sender and the port.
std::string LanDiscoveryEntry(const Bytes& block0, const std::string& sender);

// Block 2's device type text (offset 93, up to its zero or the end of what came) starts
// "KQ-" in any case.
bool LanDeviceTypeIsReader(const Bytes& block2);

// The mask whose lowest `hostBits` bits are clear: 8 gives "255.255.255.0"; 32 and more
// give "0.0.0.0".
std::string LanMaskText(int hostBits);
// The number of 0 bits below the mask's lowest 1 bit; nothing for a mask of all zeros.
std::optional<int> LanHostBits(const std::array<uint8_t, 4>& mask);

// "a.b.c.d[-port]": four parts each taken modulo 256; fewer than three dots leaves
// everything as it was (the name is still emptied). "[name][-port]": address 0, the
// name between the brackets. A missing port gives 0.
struct LanAddress {
    std::array<uint8_t, 4> address{};
    int port = 0;
    std::string name;
};
void ParseLanAddress(const std::string& text, LanAddress& out);

// The texts a new configuration is given in, checked before the parse takes them
// (which reads anything): a reader address "a.b.c.d[-port]" or "[name][-port]" (a name
// of at most kLanNameBytes); "a.b.c.d" with four decimal parts of 0-255; a mask of
// that form whose one bits all lie above its zero bits (0.0.0.0 included). A port is 0-65535 (0 keeps the
// module's).
bool IsLanAddressText(const std::string& text);
bool IsDottedAddress(const std::string& text);
bool IsLanMaskText(const std::string& text);

} // namespace kq
