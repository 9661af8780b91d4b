// The Bluetooth module link: its packets written out by hand from the module's packet
// layout, and the link through the fake bridge library against the simulator's module
// (an independent implementation of the packet format) with a simulated reader behind.
#include "FakeUsbXpressControl.h"
#include "TestSupport.h"
#include "platform/UsbXpress.h"
#include "reader/transport/BluetoothModulePacket.h"
#include "reader/transport/BluetoothReaderLink.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using kqtest::Bytes;
using kqtest::Hex;
using kqtest::ToHex;
using Clock = std::chrono::steady_clock;

namespace {

// Catches a wrong check byte, length order or missing inner length of data packets.
TEST(BluetoothModulePacket, Requests) {
    EXPECT_EQ(ToHex(kq::BuildModuleDataPacket(Hex("02 01 30 00 31"))),
              "02 52 0F 08 00 69 02 05 00 02 01 30 00 31 03");
    EXPECT_EQ(ToHex(kq::BuildModuleRequest(0x26, {})), "02 52 26 00 00 78 03");
    EXPECT_EQ(ToHex(kq::BuildModuleRequest(0x00, Hex("06 00 00"))), "02 52 00 03 00 55 06 00 00 03");
}

// Catches packets lost to noise, an empty-payload packet left waiting for an eighth
// byte, and a header announcing more than the input can ever hold waited on forever.
TEST(BluetoothModulePacket, ReadingFromRawInput) {
    struct Case {
        const char* what;
        const char* raw;
        int code;            // -1: none yet
        const char* payload; // of the packet taken
        const char* left;    // raw input afterwards
    } cases[] = {
        {"noise before the start byte", "FF 55 02 69 25 01 00 8F 00 03", 0x2569, "00", ""},
        {"an empty payload is 7 bytes", "02 43 26 00 00 69 03", 0x2643, "", ""},
        {"a second packet stays", "02 43 26 00 00 69 03 02 43", 0x2643, "", "02 43"},
        {"incomplete", "02 69 10 05 00 7E 02 02", -1, "", "02 69 10 05 00 7E 02 02"},
        {"a header too long for the input resyncs on the next 02",
         "02 69 10 FF 03 7B 00 02 43 26 00 00 69 03", 0x2643, "", ""},
        {"a header of exactly 1000 bytes waits", "02 69 10 E1 03 5D", -1, "", "02 69 10 E1 03 5D"},
        {"noise only", "FF FE 00", -1, "", ""},
    };
    for (const Case& c : cases) {
        Bytes raw = Hex(c.raw);
        std::optional<kq::ModulePacket> packet = kq::TakeModulePacket(raw);
        EXPECT_EQ(packet ? packet->code : -1, c.code) << c.what;
        if (packet) {
            EXPECT_EQ(ToHex(packet->payload), c.payload) << c.what;
        }
        EXPECT_EQ(ToHex(raw), c.left) << c.what;
    }
}

// Catches an entry point that is missing making the call crash or report success.
TEST(UsbXpressLibrary, MissingEntryPointAnswersOne) {
    FakeUsbXpress fake(FAKE_USBXPRESS_NO_BREAK_PATH);
    fake.AddDevice("VEK-RT4082#7");
    kq::platform::UsbXpress library(FAKE_USBXPRESS_NO_BREAK_PATH);
    kq::platform::SiHandle handle = nullptr;
    ASSERT_EQ(library.Open(0, &handle), kq::platform::kSiOk);
    EXPECT_EQ(library.SetBreak(handle, 1), 1u);
    EXPECT_EQ(library.SetBaudRate(handle, 9600), kq::platform::kSiOk);
    library.Close(handle);
    kq::platform::UsbXpress absent("/nonexistent/libSiUSBXp.so");
    uint32_t count = 7;
    EXPECT_EQ(absent.GetNumDevices(&count), 1u);
    EXPECT_EQ(count, 0u);
}

struct Sink : kq::ReceiveSink {
    void OnReceive(std::span<const uint8_t> bytes) override {
        received.insert(received.end(), bytes.begin(), bytes.end());
    }
    void DiscardReceived() override { received.clear(); }
    Bytes received;
};

constexpr std::array<uint8_t, 6> kReader = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

class BluetoothLink : public ::testing::Test {
protected:
    void SetUp() override {
        fake.AddDevice("OTHER-1");
        fake.AddDevice("VEK-RT4082#0815");
        fake.Plug(module);
        module.addDevice({.address = kReader, .name = "KQ-LNP134BT", .emptyNameAnswers = 5});
    }
    // A version request; true when the whole answer came back within `waitMs`.
    bool Exchange(int waitMs = 3000) {
        sink.received.clear();
        link.Discard();
        link.Send(Hex("02 01 F0 00 F1"));
        const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
        while (sink.received.size() < 9 && Clock::now() < until)
            link.Poll();
        return sink.received.size() >= 9 &&
               ToHex(Bytes(sink.received.begin(), sink.received.begin() + 4)) == "02 01 00 04";
    }

    FakeUsbXpress fake;
    kqsim::Simulator reader{{.typeCode = 0x125, .protocolType = 0}};
    kqsim::BluetoothModule module{reader};
    Sink sink;
    kq::CBluetoothReaderLink link{sink};
};

// Catches a dongle set up in another order or with other values, and dongles of other
// makers listed.
TEST_F(BluetoothLink, ListAndOpenSetUpTheDongle) {
    std::vector<std::string> list;
    kq::CBluetoothReaderLink::ListReaders(list);
    EXPECT_EQ(list, std::vector<std::string>{"VEK-RT4082#0815 BT"});
    EXPECT_FALSE(link.Open("VEK-RT4082#0999 BT"));
    ASSERT_TRUE(link.Open("vek-rt4082#0815 BT"));
    EXPECT_EQ(link.Handle(), 30001);
    std::vector<std::string> calls = fake.Calls();
    std::erase_if(calls, [](const std::string& call) { return call.starts_with("SI_GetProductString"); });
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "SI_SetTimeouts(1000,1000)", "SI_Open(1)", "SI_SetBaudRate(921600)",
                         "SI_SetLineControl(0x0800)", "SI_SetFlowControl(1,2,0,0,0,0)",
                         "SI_FlushBuffers(1,1)", "SI_SetFlowControl(1,2,1,0,0,0)", "SI_SetBreak(1)",
                         "SI_SetBreak(0)", "SI_FlushBuffers(0,1)", "SI_Write(02 52 26 00 00 78 03)"}));
    EXPECT_FALSE(link.IsConnected()) << "no connect before the first exchange";
}

// Catches the inquiry's duration byte, the name asked fewer or more than six times,
// a name longer than 30 characters kept whole, and records of another size.
TEST_F(BluetoothLink, InquiryRecordsAndNames) {
    module.addDevice({.address = {1, 2, 3, 4, 5, 6}, .name = std::string(35, 'N')});
    ASSERT_TRUE(link.Open("VEK-RT4082#0815 BT"));
    uint8_t records[3 * 38];
    ASSERT_EQ(link.Inquiry(records, sizeof records, 1000, 0), 76);
    EXPECT_EQ(ToHex(module.requests(0x00).at(0).payload), "30 00 00") << "48 for a limit under 1300 ms";
    EXPECT_EQ(module.requests(0x02).size(), 7u) << "six asks for the first device, one for the second";
    EXPECT_EQ(ToHex(Bytes(records, records + 6)), "11 22 33 44 55 66");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(records + 6)), "KQ-LNP134BT");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(records + 38 + 6)), std::string(30, 'N'));
    EXPECT_EQ(link.Inquiry(records, sizeof records, 10000, 0), 76);
    EXPECT_EQ(ToHex(module.requests(0x00).at(1).payload), "06 00 00");
}

// Catches a first exchange lost to the connect, a retry sooner than 500 ms after a
// refused connect, and a link lost that is never noticed.
TEST_F(BluetoothLink, ConnectOnDemandBackOffAndLinkLost) {
    ASSERT_TRUE(link.Open("VEK-RT4082#0815 BT"));
    ASSERT_TRUE(Exchange()) << "the first exchange connects and is answered";
    EXPECT_EQ(ToHex(module.requests(0x0A).at(0).payload), "02 11 22 33 44 55 66 02");
    EXPECT_EQ(module.requests(0x00).size(), 1u);
    EXPECT_EQ(ToHex(module.requests(0x00).at(0).payload), "06 00 00") << "10 s for the reader's inquiry";
    EXPECT_GE(module.requests(0x0A).at(0).at - module.requests(0x02).back().at,
              std::chrono::milliseconds(500))
        << "a pause after the inquiry";

    module.loseLink();
    module.refuseConnects(1);
    EXPECT_FALSE(Exchange(300)) << "the reconnect is refused";
    EXPECT_EQ(module.requests(0x0A).size(), 2u);
    EXPECT_FALSE(Exchange(100)) << "within 500 ms of it nothing is tried: the frame goes to no reader";
    EXPECT_EQ(module.requests(0x0A).size(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(Exchange()) << "after 500 ms the link connects again";
    const auto connects = module.requests(0x0A);
    ASSERT_EQ(connects.size(), 3u);
    EXPECT_GE(connects[2].at - connects[1].at, std::chrono::milliseconds(500));
    EXPECT_EQ(module.requests(0x00).size(), 1u) << "the address found first is kept";

    const auto start = Clock::now();
    link.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(ToHex(module.requests().back().payload), "02");
    EXPECT_EQ(module.requests().back().command, 0x0D);
    EXPECT_EQ(fake.Calls().back(), "SI_Close");
    EXPECT_EQ(module.badChecks(), 0);
}

// Catches waits for the answer to a request that never reached the module: with the
// dongle gone, a connect attempt (inquiry, 10 s) and the close (disconnect, 7 s) held
// the caller for their whole limits without pumping anything.
TEST_F(BluetoothLink, GoneDongleHoldsNoCallForItsAnswerLimits) {
    for (const bool connected : {false, true}) {
        SCOPED_TRACE(connected ? "connected" : "not yet connected");
        ASSERT_TRUE(link.Open("VEK-RT4082#0815 BT"));
        if (connected) {
            ASSERT_TRUE(Exchange());
        }
        fake.Unplug();
        const auto start = Clock::now();
        EXPECT_FALSE(link.SendData(Hex("02 01 F0 00 F1")));
        link.Close();
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
        fake.Reset();
        fake.AddDevice("VEK-RT4082#0815");
        fake.Plug(module);
    }
}

// Catches reader bytes dropped when the module delivers faster than the port takes
// them: each poll step reads one packet but handed on only 100 bytes, so a burst of
// long data indications overflowed the data area.
TEST_F(BluetoothLink, BurstOfDataIndicationsReachesThePortWhole) {
    ASSERT_TRUE(link.Open("VEK-RT4082#0815 BT"));
    ASSERT_TRUE(Exchange());
    sink.received.clear();
    Bytes payload = {0x02, 0x58, 0x02}; // 600 reader bytes
    for (int i = 0; i < 600; ++i)
        payload.push_back(static_cast<uint8_t>(i));
    Bytes indication = kq::BuildModuleRequest(0x10, payload);
    indication[1] = 'i'; // from the module
    indication[5] = kq::ModuleHeaderCheck(indication);
    for (int i = 0; i < 3; ++i)
        fake.Feed(indication.data(), indication.size());
    for (int step = 0; step < 50; ++step)
        link.Poll();
    EXPECT_EQ(sink.received.size(), 1800u);
}

} // namespace
