// Readers over USB HID and through a Bluetooth module, end to end through libkqlmx.so:
// the simulator's HID endpoint on the hidraw socket seam of a fake sysfs tree, and its
// Bluetooth module behind the fake bridge library or on a pty ("COM mode"). Expected
// tag bytes are written out by hand from the NFC Forum Type 2 and NDEF layouts.
#include "FakeSysfs.h"
#include "FakeUsbXpressControl.h"
#include "LinkFromC.h"
#include "kqlmx.h"
#include "sim/HidEndpoint.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

extern "C" int LinkFromC_WriteAndRead(const char* name, const char* json, int jsonLength, char* out,
                                      int size);

namespace {

using kqsim::Bytes;
using kqsim::Type2Tag;

enum class Link { Hid, HidNumbered, Dongle, ComModule };

// One simulated reader with an NTAG213, reachable by `name` over the chosen link.
struct SimulatedReader {
    explicit SimulatedReader(Link link) {
        tag = reader.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213));
        setenv("KQLMX_SYSFS_ROOT", sysfs.Root().c_str(), 1);
        switch (link) {
        case Link::Hid:
        case Link::HidNumbered: {
            const kqsim::HidEndpoint::Options options{.inputLength = link == Link::Hid ? 9u : 65u,
                                                      .outputLength = link == Link::Hid ? 9u : 65u,
                                                      .numbered = link == Link::HidNumbered};
            sysfs.AddHidraw("hidraw3", "1-4", 0x1C40, 0x05AF, "1460-2222");
            sysfs.AddHidReportDescriptor("hidraw3", kqsim::HidEndpoint::reportDescriptor(options));
            std::filesystem::create_directories(sysfs.Root() + "/dev");
            hid = std::make_unique<kqsim::HidEndpoint>(reader, sysfs.Root() + "/dev/hidraw3", options);
            name = "1460-2222 HID";
            break;
        }
        case Link::Dongle:
            fake.AddDevice("VEK-RT4082#0042");
            fake.Plug(module);
            name = "VEK-RT4082#0042 BT";
            break;
        case Link::ComModule:
            pty = std::make_unique<kqsim::PtyTransport>(module);
            name = pty->slavePath() + " BT";
            break;
        }
        module.addDevice({.address = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}, .name = "KQ-LNK134BT"});
    }
    ~SimulatedReader() {
        pty.reset();
        hid.reset();
        unsetenv("KQLMX_SYSFS_ROOT");
    }
    Bytes Pages(int first, int count) const {
        const Bytes memory = reader.tagMemory(tag).value_or(Bytes{});
        return Bytes(memory.begin() + first * 4, memory.begin() + (first + count) * 4);
    }

    kqtest::FakeSysfs sysfs;
    FakeUsbXpress fake;
    kqsim::Simulator reader{{.typeCode = 0x184, .protocolType = 0}};
    kqsim::BluetoothModule module{reader};
    std::unique_ptr<kqsim::HidEndpoint> hid;
    std::unique_ptr<kqsim::PtyTransport> pty;
    kqsim::TagId tag = 0;
    std::string name;
};

const char* LinkName(Link link) {
    switch (link) {
    case Link::Hid:
        return "HID, 9-byte reports";
    case Link::HidNumbered:
        return "HID, numbered 65-byte reports";
    case Link::Dongle:
        return "Bluetooth dongle";
    case Link::ComModule:
        return "Bluetooth module on a tty";
    }
    return "";
}

// Catches a link that loses, cuts or reorders frame bytes in either direction, a
// Bluetooth port that probes or takes a handle of the wrong kind, and a missing start
// or stop report: the same write and read-back over every link.
TEST(HidBluetoothE2E, Type2WriteAndReadOverEveryLink) {
    const std::string json = R"({"TEXT" : {"TITLE" : "Hallo"}})";
    for (Link link : {Link::Hid, Link::HidNumbered, Link::Dongle, Link::ComModule}) {
        SCOPED_TRACE(LinkName(link));
        SimulatedReader r(link);
        const int port = KQLMX_OpenPort(r.name.c_str(), 19200, 500);
        const bool bluetooth = link == Link::Dongle || link == Link::ComModule;
        ASSERT_EQ(port, bluetooth ? 30001 : 10001);
        char model[32] = {};
        KQLMX_GetReaderName(port, model, sizeof model);
        if (bluetooth) {
            EXPECT_STREQ(model, "KQ-LMX34") << "type code 0x125 without a probe";
        }
        EXPECT_EQ(KQLMX_IsUsbPort(port), bluetooth ? 0 : 1);
        ASSERT_EQ(KQLMX_WriteTag(port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0), 0)
            << KQLMX_GetLastError(port);
        // Lock Control TLV byte, then 03 0C | D1 01 08 54 | 02 "en" "Hallo" | FE
        EXPECT_EQ(r.Pages(5, 4), (Bytes{0x34, 0x03, 0x0C, 0xD1, 0x01, 0x08, 0x54, 0x02, 0x65, 0x6E, 0x48,
                                        0x61, 0x6C, 0x6C, 0x6F, 0xFE}));
        char text[256] = {};
        ASSERT_GT(KQLMX_ReadTag(port, text, sizeof text), 0);
        EXPECT_EQ(text, json);
        EXPECT_EQ(KQLMX_ClosePort(port), 0);
        if (r.hid) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (r.hid->controlModes().size() < 2 && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_EQ(r.hid->controlModes(), (std::vector<int>{0, 1}));
        } else {
            EXPECT_EQ(r.module.requests(0x0D).size(), 1u) << "disconnected on close";
        }
        EXPECT_EQ(r.module.badChecks(), 0);
    }
}

// Catches the flat API failing a C caller on the new links.
TEST(HidBluetoothE2E, CallableFromC) {
    const std::string json = R"({"TEXT" : {"TITLE" : "C"}})";
    for (Link link : {Link::Hid, Link::Dongle}) {
        SCOPED_TRACE(LinkName(link));
        SimulatedReader r(link);
        char text[256] = {};
        ASSERT_GT(LinkFromC_WriteAndRead(r.name.c_str(), json.c_str(), static_cast<int>(json.size()), text,
                                         sizeof text),
                  0);
        EXPECT_EQ(text, json);
    }
}

// Catches Bluetooth waits that freeze the window: the connect wait slept 5 s without
// pumping, and the answer wait's poll connected a second time within the same command.
// The reader is switched off: its module finds it but the connect is never answered.
TEST(HidBluetoothE2E, UnansweredConnectPumpsThroughoutAndIsTriedOncePerCommand) {
    SimulatedReader r(Link::Dongle);
    r.module.ignoreCommand(0x0A);
    LinkFromC_HookLog log{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LinkFromC_VersionWithHooks(r.name.c_str(), 500, &log), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(r.module.requests(0x0A).size(), 1u) << "one connect for the one command";
    EXPECT_EQ(r.module.requests(0x00).size(), 1u) << "one inquiry";
    // The window is pumped at least every 50 ms. A busy machine holds the waiting thread
    // back now and then, for a moment; a wait that does not pump holds it for good.
    EXPECT_LT(log.slowGapsMs, 500.0) << "between pumps, with " << log.pumps << " pumps";
    EXPECT_LT(log.longestPumpGapMs, 1000.0) << log.pumps << " pumps";
    EXPECT_EQ(log.windowsDisabled, 1);
    EXPECT_EQ(log.windowsRestored, 1);
}

// Catches a HID reader that went away leaving a port that crashes or is never swept,
// a start report refused taken for an open port, and names of another kind opened.
TEST(HidBluetoothE2E, GoneAndRefusedDevices) {
    SimulatedReader r(Link::Hid);
    const int port = KQLMX_OpenPort(r.name.c_str(), 19200, 500);
    ASSERT_EQ(port, 10001);
    r.hid->unplug();
    unsigned char uid[8];
    EXPECT_EQ(KQLMX_GetTagUid(port, uid, sizeof uid), -1);
    EXPECT_EQ(KQLMX_GetLastError(port), KQLMX_ERROR_NO_SUCH_PORT) << "swept by the next lookup";
    EXPECT_EQ(KQLMX_ClosePort(port), -1);

    EXPECT_EQ(KQLMX_OpenPort("1460-9999 HID", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort((r.name + "W").c_str(), 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("/dev/null BTW", 19200, 500), KQLMX_OPEN_LINK_FAILED);
    EXPECT_EQ(KQLMX_OpenPort("/dev/null BT", 19200, 500), KQLMX_OPEN_LINK_FAILED) << "no tty: no module";
}

// Catches a late answer taken for the next command's, and a rate change on a
// Bluetooth port refused or sent to the reader.
TEST(HidBluetoothE2E, BluetoothPortDiscardsLateAnswersAndTakesARate) {
    SimulatedReader r(Link::Dongle);
    const int port = KQLMX_OpenPort(r.name.c_str(), 19200, 500);
    ASSERT_EQ(port, 30001);
    unsigned char version[8];
    ASSERT_EQ(KQLMX_GetReaderVersion(port, version, sizeof version), 4);
    // A data indication that arrives between two commands.
    const Bytes late{0x02, 0x69, 0x10, 0x07, 0x00, 0x80, 0x02, 0x04, 0x00, 0x02, 0x01, 0x00, 0x00, 0x03};
    r.fake.Feed(late.data(), late.size());
    ASSERT_EQ(KQLMX_GetReaderVersion(port, version, sizeof version), 4);
    EXPECT_EQ(Bytes(version, version + 3), (Bytes{'1', '8', '4'}));
    EXPECT_EQ(KQLMX_SetBaudRate(port, 115200, 0), 0);
    EXPECT_EQ(r.fake.Calls("SI_SetBaudRate").back(), "SI_SetBaudRate(115200)");
    KQLMX_ClosePort(port);
}

} // namespace
