// LAN discovery and configuration through libkqlmx's flat functions against simulated
// network modules on loopback addresses of this test process. Expected datagram bytes
// are written out by hand from the module protocol.
#include "LanTestSupport.h"
#include "LinkFromC.h"
#include "ReaderE2eSupport.h"
#include "sim/LanModule.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kqe2e {
namespace {

using Module = kqsim::LanModule;

// The multi-string a discovery call filled in, as texts.
std::vector<std::string> Find(bool checkType) {
    char buffer[2500];
    const int used = checkType ? KQLMX_FindLanReadersEx(buffer, sizeof buffer)
                               : KQLMX_FindLanReaders(buffer, sizeof buffer);
    std::vector<std::string> entries;
    for (int i = 0; i < used && buffer[i] != 0; i += static_cast<int>(std::strlen(buffer + i)) + 1)
        entries.emplace_back(buffer + i);
    return entries;
}

Bytes AddressBytes(const std::string& text) {
    in_addr a{};
    inet_pton(AF_INET, text.c_str(), &a);
    const auto* p = reinterpret_cast<const uint8_t*>(&a.s_addr);
    return {p[0], p[1], p[2], p[3]};
}

std::vector<uint8_t> Codes(const Module& module) {
    std::vector<uint8_t> codes;
    for (const auto& r : module.received())
        codes.push_back(r.code);
    return codes;
}

int Count(const std::vector<uint8_t>& codes, uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

TEST(LanDiscovery, ListsEachModuleOnceSortedFromTwoAdaptersAndChecksTheDeviceType) {
    LanEnvironment lan({LoopbackAddress(1), LoopbackAddress(2)});
    const std::string fixed = LoopbackAddress(10), dhcp = LoopbackAddress(11), other = LoopbackAddress(12),
                      moved = LoopbackAddress(13);
    auto c1 = lan.Module(fixed, "FIXEDREADER00001");
    auto c2 = lan.Module(dhcp, "DHCPNAME00000001");
    c2.configured = "0.0.0.0";
    c2.tcpPort = 10002;
    auto c3 = lan.Module(other, "OTHERDEVICE00001");
    c3.deviceType = "XY-GATEWAY";
    auto c4 = lan.Module(moved, "LOWER");
    c4.configured = LoopbackAddress(99); // answers from a DHCP lease, not its configured address
    c4.deviceType = "kq-lan lower case";
    std::vector<std::unique_ptr<Module>> modules;
    for (const auto& c : {c1, c2, c3, c4}) {
        modules.push_back(std::make_unique<Module>(c));
        ASSERT_TRUE(modules.back()->ok()) << modules.back()->error();
    }
    std::vector<std::string> plain = {fixed + "-10001", other + "-10001",
                                      "[DHCPNAME00000001]" + dhcp + "-10002", "[LOWER]" + moved + "-10001"};
    std::sort(plain.begin(), plain.end());
    EXPECT_EQ(Find(false), plain);
    std::vector<std::string> checked = {fixed + "-10001", "[DHCPNAME00000001]", "[LOWER]"};
    std::sort(checked.begin(), checked.end());
    EXPECT_EQ(Find(true), checked);
    // Every module heard one discovery per adapter, and the type check read block 2
    // (E2) from each listed module alone.
    for (const auto& m : modules)
        EXPECT_EQ(Count(Codes(*m), 0xF8), 4);
    EXPECT_EQ(Count(Codes(*modules[0]), 0xE2), 2);
    EXPECT_EQ(Count(Codes(*modules[2]), 0xE2), 2);
}

TEST(LanDiscovery, AnswersFromTheHostsOwnAddressAreIgnored) {
    const std::string own = LoopbackAddress(5);
    LanEnvironment lan({own});
    Module self(lan.Module(own, "SELF"));
    Module real(lan.Module(LoopbackAddress(6), "REAL"));
    ASSERT_TRUE(self.ok() && real.ok()) << self.error() << real.error();
    EXPECT_EQ(Find(false), std::vector<std::string>{LoopbackAddress(6) + "-10001"});
    EXPECT_EQ(Count(Codes(self), 0xF8), 1) << "the module did answer";
}

TEST(LanDiscovery, NoModuleGivesAnEmptyListWithinTheWindow) {
    LanEnvironment lan({LoopbackAddress(1)});
    char buffer[16] = {'x', 'x'};
    const Stopwatch watch;
    EXPECT_EQ(KQLMX_FindLanReaders(buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_LT(watch.Elapsed(), 1500ms);
}

TEST(LanDiscovery, DefaultBroadcastReachesAModuleOverAVethPair) {
    // The real defaults (255.255.255.255, port 30718, the host's own adapters) in a
    // user and network namespace of this test alone: two ends of a veth pair, the
    // module on one, the discovery from both.
    if (!std::getenv("KQ_LAN_NETNS")) {
        if (std::system("unshare -rn true >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "no network namespaces here";
        char self[PATH_MAX] = {};
        ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
        const std::string command =
            std::string("KQ_LAN_NETNS=1 timeout 60 unshare -rn ") + self +
            " --gtest_filter=LanDiscovery.DefaultBroadcastReachesAModuleOverAVethPair";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no veth pair could be made";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        return;
    }
    if (std::system("ip link add kq0 type veth peer name kq1 && ip addr add 10.77.0.1/24 dev kq0 && "
                    "ip addr add 10.77.0.2/24 dev kq1 && ip link set kq0 up && ip link set kq1 up && ip link "
                    "set lo up") != 0)
        std::exit(77);
    unsetenv("KQLMX_LAN_BROADCAST");
    unsetenv("KQLMX_LAN_PORT");
    unsetenv("KQLMX_LAN_ADAPTERS");
    Module::Config config;
    config.address = "10.77.0.2";
    config.broadcast = "255.255.255.255";
    config.name = "NETNS";
    Module module(config);
    ASSERT_TRUE(module.ok()) << module.error();
    // From kq1 the answer comes from the host's own address and is dropped; from kq0
    // it is the module's.
    EXPECT_EQ(Find(false), std::vector<std::string>{"10.77.0.2-10001"});
    EXPECT_EQ(Find(true), std::vector<std::string>{"10.77.0.2-10001"});
}

TEST(LanConfig, ReadGivesNameAddressMaskAndGatewayTexts) {
    LanEnvironment lan({LoopbackAddress(1)});
    auto fixedConfig = lan.Module(LoopbackAddress(20), "ABCDEFGHIJKLMNOP");
    fixedConfig.tcpPort = 10005;
    fixedConfig.gateway = "10.1.2.254";
    auto dhcpConfig = lan.Module(LoopbackAddress(21), "ABCDEFGH");
    dhcpConfig.configured = "0.0.0.0";
    dhcpConfig.tcpPort = 10003;
    dhcpConfig.hostBits = 0;
    Module fixed(fixedConfig), dhcp(dhcpConfig);
    ASSERT_TRUE(fixed.ok() && dhcp.ok());
    struct Case {
        const char* name;
        std::string reader;
        bool withName;
        std::string nameText, address, mask, gateway;
    };
    const Case cases[] = {
        {"fixed address", LoopbackAddress(20) + "-10005", true, "[ABCDEFGHIJKLMNOP]-10005",
         LoopbackAddress(20) + "-10005", "255.255.255.0", "10.1.2.254"},
        {"DHCP, by name", "[ABCDEFGH]-10003", true, "[ABCDEFGH]-10003", "", "255.255.255.255", "0.0.0.0"},
        // The name text is longer than the address buffer: it never goes there.
        {"DHCP, no name buffer", "[ABCDEFGH]", false, "", "", "255.255.255.255", "0.0.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char name[25], address[22], mask[16], gateway[16];
        std::memset(address, 'x', sizeof address);
        ASSERT_EQ(KQLMX_ReadLanConfig(c.reader.c_str(), c.withName ? name : nullptr, address, mask, gateway),
                  0);
        if (c.withName) {
            EXPECT_EQ(std::string(name), c.nameText);
        }
        EXPECT_EQ(std::string(address), c.address);
        EXPECT_EQ(std::string(mask), c.mask);
        EXPECT_EQ(std::string(gateway), c.gateway);
    }
    char address[22] = "untouched";
    const Stopwatch watch;
    EXPECT_EQ(
        KQLMX_ReadLanConfig((LoopbackAddress(22) + "-10001").c_str(), nullptr, address, nullptr, nullptr),
        -1);
    EXPECT_EQ(std::string(address), "untouched");
    EXPECT_LT(watch.Elapsed(), 2000ms);
    EXPECT_EQ(KQLMX_CheckLanReader((LoopbackAddress(22) + "-10001").c_str()), 0);
}

struct WriteCase {
    const char* name;
    std::function<void(Module::Config&)> setUp;
    std::string address, mask, gateway; // as given to KQLMX_WriteLanConfig; "@n" = LoopbackAddress(n)
    int result;
    int setups;  // IP-SETUP datagrams
    Bytes setup; // the last one's data after "IP-SETUP" (empty: not checked)
    int block0Writes;
    int applies;
    std::string finalAddress; // where the module answers afterwards
    int configError = 0;      // KQLMX_GetLanConfigError afterwards
};

std::string Expand(const std::string& text) {
    const size_t at = text.find('@');
    if (at == std::string::npos) return text;
    size_t end = at + 1;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    return text.substr(0, at) + LoopbackAddress(std::stoi(text.substr(at + 1, end - at - 1))) +
           text.substr(end);
}

TEST(LanConfig, WriteSendsWhatChangedAndWaitsForTheModule) {
    const Bytes mac = {0x00, 0x20, 0x4A, 0x11, 0x22, 0x33};
    const Bytes at41 = AddressBytes(LoopbackAddress(41));
    const WriteCase cases[] = {
        {"unchanged settings: only the apply",
         nullptr,
         "@30-10001",
         "255.255.255.0",
         "0.0.0.0",
         0,
         0,
         {},
         0,
         1,
         "@30"},
        {"address only: short form", nullptr, "@41-10001", "", "", 0, 1,
         Concat({{0x00, 0x00, 0x22, 0x33}, at41}), 0, 0, "@41"},
        // Mask and port change; the empty gateway keeps 10.0.0.1, never 0.0.0.0.
        {"other settings: long form", [](Module::Config& c) { c.gateway = "10.0.0.1"; }, "@41-10009",
         "255.255.0.0", "", 0, 1,
         Concat({{'E', 'X'},
                 mac,
                 at41,
                 {0x19, 0x27, 0xFF, 0xFF, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x01},
                 {'R', 'E', 'A', 'D', 'E', 'R', '0', '1', 0, 0, 0, 0, 0, 0, 0, 0}}),
         0, 0, "@41"},
        {"no vendor mark: short form, then block 0 ignored twice",
         [](Module::Config& c) {
             c.vendorMark = false;
             c.ignoreBlock0Writes = 2;
         },
         "@30-10007",
         "",
         "",
         0,
         1,
         {},
         3,
         1,
         "@30"},
        {"identity unanswered: nothing changed",
         [](Module::Config& c) { c.answersIdentity = false; },
         "@41-10001",
         "",
         "",
         -1,
         0,
         {},
         0,
         0,
         "@30"},
        // Back only after the 5 s wait: the reopen is tried again, 100 ms apart.
        {"module back late: reopened",
         [](Module::Config& c) {
             c.vendorMark = false;
             c.reappearDelay = 6000ms;
         },
         "@41-10007",
         "",
         "",
         0,
         1,
         {},
         1,
         1,
         "@41"},
        // Failed means nothing applied: no apply after a block 0 write that failed.
        {"block 0 writes refused",
         [](Module::Config& c) {
             c.vendorMark = false;
             c.refuseWrites = true;
         },
         "@30-10007",
         "",
         "",
         -1,
         1,
         {},
         6,
         0,
         "@30"},
        {"all six block 0 confirmations lost",
         [](Module::Config& c) {
             c.vendorMark = false;
             c.ignoreBlock0Writes = 6;
         },
         "@30-10007",
         "",
         "",
         -1,
         1,
         {},
         6,
         0,
         "@30"},
        // Address and port together go by the long form alone: the module must answer
        // at the new address, or the call fails with a code of its own.
        {"set-up ignored: not answering at the new address",
         [](Module::Config& c) { c.ignoreSetup = true; },
         "@41-10009",
         "",
         "",
         -1,
         1,
         {},
         0,
         0,
         "@30",
         KQLMX_ERROR_LAN_NOT_TAKEN},
        {"set-up ignored: the same address with a new port",
         [](Module::Config& c) { c.ignoreSetup = true; },
         "@30-10009",
         "",
         "",
         -1,
         1,
         {},
         0,
         0,
         "@30",
         KQLMX_ERROR_LAN_NOT_TAKEN},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        LanEnvironment lan({LoopbackAddress(1)});
        auto config = lan.Module(LoopbackAddress(30), "READER01");
        config.reappearDelay = 100ms;
        if (c.setUp) c.setUp(config);
        Module module(config);
        ASSERT_TRUE(module.ok()) << module.error();
        const Bytes before = module.block(0);
        const Stopwatch watch;
        EXPECT_EQ(KQLMX_WriteLanConfig((LoopbackAddress(30) + "-10001").c_str(), Expand(c.address).c_str(),
                                       c.mask.c_str(), c.gateway.c_str()),
                  c.result);
        EXPECT_EQ(KQLMX_GetLanConfigError(), c.configError);
        EXPECT_LT(watch.Elapsed(), 12000ms);
        EXPECT_EQ(KQLMX_GetLastError(20001), KQLMX_ERROR_NO_SUCH_PORT)
            << "no configuration port is left open";
        // The last datagram (an apply goes unanswered) reaches the module in its own time.
        WaitUntil([&] {
            const auto codes = Codes(module);
            return Count(codes, 0xFC) >= c.setups && Count(codes, 0xFD) >= c.block0Writes &&
                   Count(codes, 0x03) >= c.applies;
        });
        std::this_thread::sleep_for(100ms); // and nothing more comes
        const auto codes = Codes(module);
        EXPECT_EQ(Count(codes, 0xFC), c.setups);
        EXPECT_EQ(Count(codes, 0xFD), c.block0Writes);
        EXPECT_EQ(Count(codes, 0x03), c.applies);
        if (!c.setup.empty()) {
            Bytes last;
            for (const auto& r : module.received())
                if (r.code == 0xFC) last = Bytes(r.data.begin() + 8, r.data.end());
            EXPECT_EQ(last, c.setup);
        }
        EXPECT_EQ(module.currentAddress(), Expand(c.finalAddress));
        if (c.result == 0) {
            EXPECT_EQ(KQLMX_CheckLanReader(Expand(c.address).c_str()), 1);
            const Bytes after = module.block(0);
            // Bytes the program does not own came back unchanged.
            EXPECT_TRUE(std::equal(before.begin() + 22, before.begin() + 84, after.begin() + 22));
        } else {
            EXPECT_EQ(module.block(0), before);
        }
    }
}

TEST(LanConfig, BlockZeroWriteCarriesPortAndNameIntoBlocksZeroAndThree) {
    // A module without the vendor mark takes only the short address set-up; the port
    // and the name then go by block 0, the name's second half also into block 3 when
    // that block is exactly 126 bytes long. "[]" keeps the module's name, and the
    // module is found again under it.
    const struct {
        size_t block3Size;
        const char* address;
    } cases[] = {{126, "[DHCPNAM1DHCPNAM2]-10004"}, {124, "[DHCPNAM1DHCPNAM2]-10004"}, {126, "[]-10004"}};
    for (const auto [block3Size, address] : cases) {
        SCOPED_TRACE(std::to_string(block3Size) + " " + address);
        const bool named = address[1] != ']';
        LanEnvironment lan({LoopbackAddress(1)});
        auto config = lan.Module(LoopbackAddress(30), "DHCPNAM1DHCPNAM2");
        config.vendorMark = false;
        config.dhcpAddress = LoopbackAddress(32);
        Module module(config);
        ASSERT_TRUE(module.ok()) << module.error();
        Bytes block3 = module.block(3);
        std::fill(block3.begin() + 102, block3.begin() + 110, 0x00);
        block3.resize(block3Size);
        module.setBlock(3, block3);
        const std::string reader = LoopbackAddress(30) + "-10001";
        ASSERT_EQ(KQLMX_WriteLanConfig(reader.c_str(), address, "255.255.255.0", "0.0.0.0"), 0);
        EXPECT_EQ(module.currentAddress(), LoopbackAddress(32));
        const Bytes block0 = module.block(0);
        EXPECT_EQ(Bytes(block0.begin(), block0.begin() + 4), Bytes({0, 0, 0, 0})) << "DHCP: no fixed address";
        EXPECT_EQ(Bytes(block0.begin() + 20, block0.begin() + 22), Bytes({0x14, 0x27}));
        EXPECT_EQ(Bytes(block0.begin() + 112, block0.begin() + 120),
                  Bytes({'D', 'H', 'C', 'P', 'N', 'A', 'M', '1'}));
        EXPECT_EQ(Bytes(block0.begin() + 84, block0.begin() + 92),
                  Bytes({'D', 'H', 'C', 'P', 'N', 'A', 'M', '2'}));
        const Bytes copy =
            block3Size == 126 && named ? Bytes({'D', 'H', 'C', 'P', 'N', 'A', 'M', '2'}) : Bytes(8, 0x00);
        block3 = module.block(3);
        EXPECT_EQ(Bytes(block3.begin() + 102, block3.begin() + 110), copy);
        EXPECT_EQ(KQLMX_CheckLanReader("[DHCPNAM1DHCPNAM2]-10004"), 1);
    }
}

// Catches block 0 read by handle sent to the module's own address: a module that only
// a broadcast reaches (on another subnet) opened but could then be neither read nor
// given a new address. Every block-0 request, the open's and the read's, is a broadcast.
TEST(LanConfig, BlockZeroIsReadByBroadcast) {
    LanEnvironment lan({LoopbackAddress(1)});
    Module module(lan.Module(LoopbackAddress(30), "READER01"));
    ASSERT_TRUE(module.ok()) << module.error();
    const std::string reader = LoopbackAddress(30) + "-10001";
    for (const bool write : {false, true}) {
        module.clearReceived();
        // Writing the module's own settings: block 0 is read, nothing set up, then the apply.
        ASSERT_EQ(write ? KQLMX_WriteLanConfig(reader.c_str(), reader.c_str(), "255.255.255.0", "0.0.0.0")
                        : KQLMX_ReadLanConfig(reader.c_str(), nullptr, nullptr, nullptr, nullptr),
                  0);
        std::vector<bool> broadcast;
        // The apply after a write reaches the module in its own time.
        WaitUntil([&] { return !write || Count(Codes(module), 0x03) == 1; });
        for (const auto& r : module.received())
            if (r.code == 0xF8) broadcast.push_back(r.broadcast);
        EXPECT_EQ(broadcast, std::vector<bool>({true, true})) << "the open's and the read's";
    }
}

// Catches texts that are no addresses taken as 0.0.0.0 (which the short set-up turns
// into DHCP) or as a mask of other bits: each is refused with its code before the
// first datagram.
TEST(LanConfig, WriteRefusesTextsThatAreNoAddressesBeforeSending) {
    LanEnvironment lan({LoopbackAddress(1)});
    Module module(lan.Module(LoopbackAddress(30), "READER01"));
    ASSERT_TRUE(module.ok()) << module.error();
    const std::string good = LoopbackAddress(41) + "-10001";
    constexpr int kAddress = KQLMX_ERROR_BAD_LAN_ADDRESS, kMask = KQLMX_ERROR_BAD_LAN_MASK;
    const struct {
        std::string address, mask, gateway;
        int code;
    } cases[] = {
        {"garbage", "", "", kAddress},
        {"192.168.1", "", "", kAddress},
        {"127.20", "", "", kAddress},
        {"", "", "", kAddress},
        {"192.168.1.256", "", "", kAddress},
        {"192.168.1.2.3", "", "", kAddress},
        {" 192.168.1.2", "", "", kAddress},
        {"192.168.1.2-", "", "", kAddress},
        {"192.168.1.2-70000", "", "", kAddress},
        {"[READER01", "", "", kAddress},
        {"[READER01]10001", "", "", kAddress},
        {"[READER01READER02X]-10001", "", "", kAddress},
        {good, "255.255.255", "", kMask},
        {good, "255.0.255.0", "", kMask},
        {good, "0.0.0.0", "", kMask}, // not one network bit: the module keeps its old mask
        {good, "", "10.0.0", KQLMX_ERROR_BAD_LAN_GATEWAY},
    };
    const Stopwatch watch;
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.address + "\" \"" + c.mask + "\" \"" + c.gateway + "\"");
        EXPECT_EQ(KQLMX_WriteLanConfig((LoopbackAddress(30) + "-10001").c_str(), c.address.c_str(),
                                       c.mask.c_str(), c.gateway.c_str()),
                  -1);
        EXPECT_EQ(KQLMX_GetLanConfigError(), c.code);
    }
    // A call without a reader fails with no code of its own, not with the last one's.
    EXPECT_EQ(KQLMX_WriteLanConfig(nullptr, good.c_str(), "", ""), -1);
    EXPECT_EQ(KQLMX_GetLanConfigError(), 0);
    EXPECT_LT(watch.Elapsed(), 1000ms);
    std::this_thread::sleep_for(50ms); // a datagram sent would have arrived
    EXPECT_EQ(module.received().size(), 0u) << "datagrams reached the module";
}

// Catches KQLMX_CheckLanReader looking the module up without the wait cursor and the
// disabled window that the other LAN functions give.
TEST(LanConfig, CheckShowsTheWaitAndDisablesTheWindowOnce) {
    LanEnvironment lan({LoopbackAddress(1)});
    Module module(lan.Module(LoopbackAddress(30), "READER01"));
    ASSERT_TRUE(module.ok()) << module.error();
    for (const int host : {30, 22}) {
        LinkFromC_HookLog log{};
        EXPECT_EQ(LinkFromC_CheckLanWithHooks((LoopbackAddress(host) + "-10001").c_str(), &log), host == 30);
        EXPECT_EQ(std::vector<int>({log.busyBegun, log.busyEnded, log.windowsDisabled, log.windowsRestored}),
                  std::vector<int>({1, 1, 1, 1}))
            << host;
    }
}

} // namespace
} // namespace kqe2e
