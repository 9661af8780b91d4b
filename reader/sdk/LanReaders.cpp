// The reader layer's LAN operations: discovery on every adapter, configuration ports,
// reading a module's settings and writing new ones (address set-up, block 0, apply).
#include "reader/sdk/KQ_LMX_SDKApp.h"

#include "kqlmx.h"

#include "reader/transport/LanProtocol.h"
#include "reader/transport/PortName.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace kq {

namespace {

// The owner of a link that is used without a port: it receives nothing.
class NoReceiver final : public ReceiveSink {
public:
    void OnReceive(std::span<const uint8_t>) override {}
    void DiscardReceived() override {}
};

// The wait cursor and the disabled main window for one whole exchange (the open of a
// configuration link has its own).
struct BusyExchange {
    BusyCursor cursor;
    ActiveWindowDisabled window;
};

// The code that refuses the new configuration's texts, 0 when they are addresses.
int RefusedLanTexts(const std::string& address, const std::string& mask, const std::string& gateway) {
    if (!IsLanAddressText(address)) return KQLMX_ERROR_BAD_LAN_ADDRESS;
    if (!mask.empty() && !IsLanMaskText(mask)) return KQLMX_ERROR_BAD_LAN_MASK;
    if (!gateway.empty() && !IsDottedAddress(gateway)) return KQLMX_ERROR_BAD_LAN_GATEWAY;
    return 0;
}

std::array<uint8_t, 4> BlockBytes(const Bytes& block, size_t offset) {
    return {block[offset], block[offset + 1], block[offset + 2], block[offset + 3]};
}

std::array<uint8_t, 4> MaskBytes(int hostBits) {
    const uint32_t mask = hostBits >= 32 || hostBits < 0 ? 0 : ~uint32_t{0} << hostBits;
    return {static_cast<uint8_t>(mask >> 24), static_cast<uint8_t>(mask >> 16),
            static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask)};
}

// The bytes of block 0 that a long set-up writes besides the address: TCP port (20,
// 21), host-bit count (6), gateway (12-15), at those offsets; the rest left 0.
Bytes LanSetupFields(int tcpPort, int hostBits, const std::array<uint8_t, 4>& gateway) {
    Bytes fields(kLanBlockMinimum, 0);
    fields[6] = static_cast<uint8_t>(hostBits);
    std::copy(gateway.begin(), gateway.end(), fields.begin() + 12);
    fields[20] = static_cast<uint8_t>(tcpPort & 0xFF);
    fields[21] = static_cast<uint8_t>((tcpPort >> 8) & 0xFF);
    return fields;
}

bool SameSetupFields(const Bytes& block0, const Bytes& fields) {
    for (size_t at : {size_t{6}, size_t{12}, size_t{13}, size_t{14}, size_t{15}, size_t{20}, size_t{21}})
        if (block0[at] != fields[at]) return false;
    return true;
}

constexpr int kReappearWaitMs = 5000;
constexpr int kReopenAttempts = 21;
constexpr int kBlock0WriteAttempts = 6;

} // namespace

int CKQ_LMX_SDKApp::OpenLanConfigPort(const std::string& name) {
    auto port = std::make_shared<CKQ_LMX_Port>();
    std::string linkName = name;
    SplitPortSuffix(linkName);
    if (!port->Tcp().OpenUdpConfigLink(linkName)) return -1;
    AddPort(port);
    return port->GetHandle();
}

bool CKQ_LMX_SDKApp::CloseLanConfigPort(int handle, bool apply) {
    auto port = FindPort(handle);
    if (!port || !port->Tcp().IsUdpConfigLink()) return false;
    if (apply) port->Tcp().Socket().SendApply();
    RemovePort(port.get());
    port->Close();
    return true;
}

bool CKQ_LMX_SDKApp::ReadLanBlock(int handle, int n, Bytes& data) {
    auto port = FindPort(handle);
    if (!port || !port->Tcp().IsUdpConfigLink()) return false;
    BusyExchange busy;
    // Block 0 is asked for by broadcast, as the open asked for it: a module on another
    // subnet, which the host reaches only so, must be readable once it is open. Its
    // answer still has to come from the module's address.
    return port->Tcp().Socket().ReadBlock(n, data, n == 0);
}

bool CKQ_LMX_SDKApp::WriteLanBlock(int handle, int n, const Bytes& data) {
    auto port = FindPort(handle);
    if (!port || !port->Tcp().IsUdpConfigLink()) return false;
    BusyExchange busy;
    return port->Tcp().Socket().WriteBlock(n, data);
}

bool CKQ_LMX_SDKApp::ReadLanIdentity(int handle, Bytes& data) {
    auto port = FindPort(handle);
    if (!port || !port->Tcp().IsUdpConfigLink()) return false;
    BusyExchange busy;
    return port->Tcp().Socket().ReadIdentity(data);
}

bool CKQ_LMX_SDKApp::WriteLanNameToBlock3(int handle, const uint8_t (&secondHalf)[8]) {
    Bytes block3;
    if (!ReadLanBlock(handle, 3, block3) || block3.size() != kLanFullBlockSize) return false;
    std::memcpy(block3.data() + 102, secondHalf, 8);
    return WriteLanBlock(handle, 3, block3);
}

std::vector<std::string> CKQ_LMX_SDKApp::DiscoverLanReaders(bool checkType) {
    NoReceiver nobody;
    CTCPSocketThread link(nobody);
    CTCPSocket& socket = link.Socket();
    std::vector<std::string> list;
    socket.ListAdapters();
    for (bool more = socket.FirstAdapter(); more; more = socket.NextAdapter())
        socket.DiscoverOnAdapter(list, 500, checkType);
    return list;
}

int CKQ_LMX_SDKApp::CheckLanReader(const std::string& name) {
    std::string linkName = name;
    SplitPortSuffix(linkName);
    NoReceiver nobody;
    CTCPSocketThread link(nobody);
    if (!link.OpenUdpConfigLink(linkName)) return 0;
    link.Close();
    return 1;
}

bool CKQ_LMX_SDKApp::LanSetupShown(const std::string& reader, const Bytes& fields) {
    const int handle = OpenLanConfigPort(reader);
    if (handle < 0) return false;
    Bytes block0;
    const bool shown = ReadLanBlock(handle, 0, block0) && block0.size() >= kLanBlockMinimum &&
                       SameSetupFields(block0, fields);
    CloseLanConfigPort(handle, false);
    return shown;
}

int CKQ_LMX_SDKApp::ReadLanConfig(const std::string& reader, LanConfigTexts& texts) {
    const int handle = OpenLanConfigPort(reader);
    if (handle < 0) return handle;
    Bytes block0;
    int result = -1;
    if (ReadLanBlock(handle, 0, block0) && block0.size() >= kLanBlockMinimum) {
        const std::string port = "-" + std::to_string(LanTcpPort(block0));
        const std::string configured = LanConfiguredAddress(block0);
        texts.address = configured == "0.0.0.0" ? std::string() : configured + port;
        texts.name = LanDeviceName(block0) + port;
        texts.mask = LanMaskText(block0[6]);
        texts.gateway = LanConfiguredAddress(Bytes(block0.begin() + 12, block0.begin() + 16));
        result = 0;
    }
    CloseLanConfigPort(handle, false);
    return result;
}

int CKQ_LMX_SDKApp::ConfigureLanReader(const std::string& reader, const std::string& address,
                                       const std::string& mask, const std::string& gateway) {
    // The parse below takes any text: "garbage" would become 0.0.0.0, which the short
    // set-up turns into DHCP. Such texts are refused before the first datagram.
    lanConfigError_ = RefusedLanTexts(address, mask, gateway);
    if (lanConfigError_ != 0) return -1;
    int handle = OpenLanConfigPort(reader);
    if (handle < 0) return handle;
    LanAddress wanted;
    ParseLanAddress(address, wanted);
    const bool gatewayGiven = !gateway.empty();
    LanAddress gatewayParsed;
    if (gatewayGiven) ParseLanAddress(gateway, gatewayParsed);
    std::optional<int> hostBits;
    if (!mask.empty()) {
        LanAddress maskParsed;
        ParseLanAddress(mask, maskParsed);
        hostBits = LanHostBits(maskParsed.address);
    }
    int result = 0;
    Bytes block0;
    if (!ReadLanBlock(handle, 0, block0) || block0.size() < kLanBlockMinimum) {
        CloseLanConfigPort(handle, false);
        return -1;
    }
    // Where the module answers afterwards. "[]" keeps the module's name: it is found
    // under that name, never under an empty one (the wait and the reopen would fail
    // with the address already changed).
    std::string newReader = address;
    if (!address.empty() && address[0] == '[' && wanted.name.empty())
        newReader = LanDeviceName(block0) + address.substr(address.find(']') + 1);
    const bool addressChanged = wanted.address != BlockBytes(block0, 0);
    bool otherChanged = (wanted.port != 0 && wanted.port != LanTcpPort(block0)) ||
                        (hostBits && *hostBits != block0[6]) ||
                        (gatewayGiven && gatewayParsed.address != BlockBytes(block0, 12)) ||
                        (!wanted.name.empty() && wanted.name != LanNameHalves(block0));
    if (addressChanged || otherChanged) {
        Bytes identity;
        if (!ReadLanIdentity(handle, identity) || identity.size() < kLanIdentityMinimum) {
            // Without the MAC no set-up can be addressed: nothing is changed.
            CloseLanConfigPort(handle, false);
            return -1;
        }
        const Bytes mac(identity.begin() + 20, identity.begin() + 26);
        auto port = FindPort(handle);
        CTCPSocket& socket = port->Tcp().Socket();
        // What block 0 must show at the new address once the module has taken a long
        // set-up; empty after a short one, which changes the address alone.
        std::optional<Bytes> expected;
        if (std::memcmp(identity.data() + 11, "VEK", 3) == 0 && otherChanged) {
            // Whatever was left empty keeps the module's current value.
            const int tcpPort = wanted.port != 0 ? wanted.port : LanTcpPort(block0);
            const auto maskBytes = MaskBytes(hostBits ? *hostBits : block0[6]);
            const auto gatewayBytes = gatewayGiven ? gatewayParsed.address : BlockBytes(block0, 12);
            const std::string name = wanted.name.empty() ? LanNameHalves(block0) : wanted.name.substr(0, 16);
            socket.SendAddressSetup(LanLongSetup(mac, wanted.address, tcpPort, maskBytes, gatewayBytes, name),
                                    true);
            otherChanged = false;
            expected = LanSetupFields(tcpPort, hostBits ? *hostBits : block0[6], gatewayBytes);
        } else {
            socket.SendAddressSetup(LanShortSetup(mac, wanted.address), false);
        }
        CloseLanConfigPort(handle, false);
        handle = 0;
        // Taken: the module answers at its new place, after a long set-up with block 0
        // showing the new settings (a module restarting slowly may still show the old
        // ones for a moment, and one lost read is tried again).
        const auto start = std::chrono::steady_clock::now();
        bool answered = false, taken = false;
        for (;;) {
            const bool answers = CheckLanReader(newReader) > 0;
            answered = answered || answers;
            taken = answers && (!expected || LanSetupShown(newReader, *expected));
            if (taken ||
                std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(kReappearWaitMs))
                break;
            PumpEventsFor(100);
        }
        // A module that ignored or lost the set-up still answers where it was, or at
        // its address with the old settings: that is no success. One that answers
        // nowhere yet is still on its way (a slow restart): the caller waits on for it,
        // and with settings left for block 0 the reopen below goes on trying.
        if (!taken && (answered || CheckLanReader(reader) > 0)) {
            lanConfigError_ = KQLMX_ERROR_LAN_NOT_TAKEN;
            return -1;
        }
    }
    if (otherChanged) {
        for (int attempt = 1; attempt <= kReopenAttempts; ++attempt) {
            handle = OpenLanConfigPort(newReader);
            if (handle > 0) break;
            if (attempt < kReopenAttempts) PumpEventsFor(100);
        }
        if (handle <= 0) {
            lanConfigError_ = KQLMX_ERROR_LAN_NOT_TAKEN;
            return handle;
        }
        std::copy(wanted.address.begin(), wanted.address.end(), block0.begin());
        if (hostBits) block0[6] = static_cast<uint8_t>(*hostBits);
        if (gatewayGiven)
            std::copy(gatewayParsed.address.begin(), gatewayParsed.address.end(), block0.begin() + 12);
        if (wanted.port != 0) {
            block0[20] = static_cast<uint8_t>(wanted.port & 0xFF);
            block0[21] = static_cast<uint8_t>((wanted.port >> 8) & 0xFF);
        }
        if (!wanted.name.empty()) {
            PutLanName(block0, wanted.name);
            uint8_t secondHalf[8];
            std::memcpy(secondHalf, block0.data() + 84, 8);
            WriteLanNameToBlock3(handle, secondHalf);
        }
        bool written = false;
        for (int attempt = 1; result == 0 && attempt <= kBlock0WriteAttempts && !written; ++attempt) {
            if (attempt > 1) PumpEventsFor(500);
            written = WriteLanBlock(handle, 0, block0);
        }
        if (!written) result = -1;
    }
    // Settings not written whole are never applied: the user is told "failed", so the
    // module must keep what it had.
    if (handle > 0) CloseLanConfigPort(handle, result == 0);
    return result;
}

} // namespace kq
