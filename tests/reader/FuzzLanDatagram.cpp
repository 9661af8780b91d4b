// A network module's answer datagram as the discovery and the configuration read it
// (header, then a block or the identity), and the texts made of it read back as
// address texts: nothing is read outside what came, and a discovery entry keeps the
// sender and port it was made with. The same bytes go through the checks of typed
// address texts.
#include "reader/transport/LanProtocol.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const kq::Bytes block(data + 4, data + size);
    kq::LanAddress parsed;
    const std::string text(block.begin(), block.end());
    kq::ParseLanAddress(text, parsed);
    // What people type is checked before it is parsed; a mask is an address first.
    kq::IsLanAddressText(text);
    if (kq::IsLanMaskText(text) && !kq::IsDottedAddress(text)) std::abort();
    if (kq::LanDeviceTypeIsReader(block) && block.size() < 96) std::abort();
    if (block.size() < kq::kLanBlockMinimum) return 0;
    const std::string entry = kq::LanDiscoveryEntry(block, "127.0.0.9");
    const std::string port = "-" + std::to_string(kq::LanTcpPort(block));
    if (entry.size() < port.size() || entry.compare(entry.size() - port.size(), port.size(), port) != 0)
        std::abort();
    kq::ParseLanAddress(entry, parsed);
    kq::LanMaskText(block[6]);
    return 0;
}
