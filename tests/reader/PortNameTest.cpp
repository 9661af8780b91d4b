// Port names, handle numbers and reader identity: the tables a caller relies on.
#include "reader/transport/PortName.h"
#include "reader/sdk/ReaderModelTable.h"
#include "reader/transport/PortHandleRegistry.h"

#include <gtest/gtest.h>

using kq::PortLink;

TEST(PortName, AddressSuffix) {
    struct Case {
        const char* name;
        const char* rest;
        int address;
    } cases[] = {
        {"COM3:2", "COM3", 2},
        {"COM1:", "COM1:", 1},
        {"COM1:x", "COM1", 0},
        {"/dev/pts/5", "/dev/pts/5", 1},
        {"/dev/ttyUSB0:12", "/dev/ttyUSB0", 12},
        {"", "", 1},
        {"FT12AB34:3", "FT12AB34", 3},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(kq::SplitPortSuffix(name), c.address) << c.name;
        EXPECT_EQ(name, c.rest) << c.name;
    }
}

// Catches a listed device name that cannot be opened (hint kept) and a hint cut out of
// names that are no device paths (LAN reader names begin with '[').
TEST(PortName, DescriptionHintLeavesDevicePaths) {
    struct Case {
        const char* name;
        const char* kept;
    } cases[] = {
        {"/dev/ttyACM0 [Vek Virtual COM]", "/dev/ttyACM0"},
        {"/dev/ttyACM0 [Vek Virtual COM]:2", "/dev/ttyACM0:2"},
        {"/dev/ttyUSB1 [PV-6: a [b]]:3", "/dev/ttyUSB1:3"},
        {"/dev/ttyUSB1 [unclosed:3", "/dev/ttyUSB1"},
        {"/dev/ttyUSB1:3", "/dev/ttyUSB1:3"},
        {"COM3 [Vek Virtual COM]:2", "COM3 [Vek Virtual COM]:2"},
        {"[0123456789ABCDEF]-10001", "[0123456789ABCDEF]-10001"},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        kq::DropDescriptionHint(name);
        EXPECT_EQ(name, c.kept) << c.name;
    }
}

// Catches a name routed to the wrong link (a LAN reader opened as a tty, a "BTW"
// device touched at all, a module on a tty opened as a plain serial reader, a device
// path with dots taken for a LAN address, a serial adapter whose path holds "BT" or
// "HID" opened as a Bluetooth or HID reader).
TEST(PortName, LinkChosenByName) {
    struct Case {
        const char* name;
        PortLink link;
    } cases[] = {
        {"[0123456789ABCDEF]-10001", PortLink::Tcp},
        {"192.168.0.10-10001", PortLink::Tcp},
        {"1.2.3", PortLink::Serial},
        {".1.2.3", PortLink::Serial},
        {"USB HID 1234", PortLink::Hid},
        {"BT HID 1234", PortLink::Hid},
        {"VEK-RT4082#12 BT", PortLink::Bluetooth},
        {"xxBTWyy", PortLink::Refused},
        {"/dev/pts/5", PortLink::Serial},
        {"/dev/serial/by-id/usb-Vek.1.2.3", PortLink::Serial},
        {"/dev/serial/by-id/usb-BT-HID.1.2.3", PortLink::Serial}, // letters of the path are no marks
        {"/dev/shm/kq-HIDBTW/reader", PortLink::Serial},
        {"/dev/ttyUSB0 HID", PortLink::Hid},
        {"/dev/ttyUSB0 BT", PortLink::Bluetooth},
        {"/dev/ttyUSB0 BTW", PortLink::Refused},
        {"[HID BT READER 1]-10001", PortLink::Tcp},
        {"COM3", PortLink::Serial},
        {"FT12AB34", PortLink::Serial},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kq::ClassifyPortName(c.name), c.link) << c.name;
}

TEST(PortName, ComNamesKeepTheirBaud) {
    for (const char* name : {"COM3", "com3", "\\\\.\\COM3", "\\\\.\\com12", "/dev/ttyUSB0", "/dev/pts/5"})
        EXPECT_TRUE(kq::IsComPortName(name)) << name;
    for (const char* name : {"FT12AB34", "USB HID 1", "1.2.3.4-10001", "dev/ttyS0", "CO"})
        EXPECT_FALSE(kq::IsComPortName(name)) << name;
}

TEST(PortName, NormalizeSerialNames) {
    struct Case {
        const char* name;
        bool serialDevice;
        const char* normalized;
    } cases[] = {
        {"com3", true, "\\\\.\\COM3"},
        {"COM3", true, "\\\\.\\COM3"},
        {"\\\\.\\COM3", true, "\\\\.\\COM3"},
        {"COM12x", true, "\\\\.\\COM12"},
        {"COM0", false, "COM0"},
        {"\\\\.\\FT1234", false, "FT1234"},
        {"FT12AB34", false, "FT12AB34"},
        {"/dev/ttyUSB0", true, "/dev/ttyUSB0"},
        {"CO", false, "CO"},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(kq::NormalizePortName(name), c.serialDevice) << c.name;
        EXPECT_EQ(name, c.normalized) << c.name;
    }
}

// Catches numbers not reused, gaps not filled, and kinds sharing numbers.
TEST(PortHandleRegistry, SmallestFreeNumberAboveTheBase) {
    kq::PortHandleRegistry serial(0);
    EXPECT_EQ(serial.Allocate(), 1);
    EXPECT_EQ(serial.Allocate(), 2);
    EXPECT_EQ(serial.Allocate(), 3);
    serial.Release(2);
    serial.Release(77); // not in use: ignored
    EXPECT_EQ(serial.Allocate(), 2);
    EXPECT_EQ(serial.Allocate(), 4);

    EXPECT_EQ(kq::PortHandleRegistry(10000).Allocate(), 10001);
    EXPECT_EQ(kq::PortHandleRegistry(20000).Allocate(), 20001);
    kq::PortHandleRegistry& bluetooth = kq::PortHandleRegistry::Bluetooth();
    const int first = bluetooth.Allocate();
    EXPECT_EQ(first, 30001);
    bluetooth.Release(first);
}

TEST(ReaderModel, NamesByTypeCode) {
    EXPECT_EQ(kq::ModelNameForTypeCode(0x184), "KQ-LM90");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x134), "KQ-LM90");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x181), "KQ-LX90");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x117), "KQ-KavoP200u");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x171), "KQ-LX34 (S002)");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x455), "KQ-LMX380");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x435), "Q300HF");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x999), "KQ-#999");
    EXPECT_EQ(kq::ModelNameForTypeCode(0x5), "KQ-#005");
    EXPECT_EQ(kq::ModelNameForTypeCode(0), "KQ-#000");
    EXPECT_EQ(kq::ModelNameForTypeCode(0xA1B2), "KQ-#A1B2");
}

TEST(ReaderModel, KnownUsbReaderModels) {
    struct Case {
        int number;
        bool known;
    } cases[] = {{1060, false}, {1061, true},  {1079, true}, {1080, false}, {1107, true}, {1134, true},
                 {1135, true},  {1136, false}, {1410, true}, {1419, true},  {1465, true}, {1755, true},
                 {2999, false}, {3000, true},  {3099, true}, {3100, false}};
    for (const Case& c : cases)
        EXPECT_EQ(kq::IsKnownReaderModel(c.number), c.known) << c.number;
}

TEST(ReaderModel, Base62VersionDigit) {
    EXPECT_EQ(kq::Base62Digit('0'), 0);
    EXPECT_EQ(kq::Base62Digit('9'), 9);
    EXPECT_EQ(kq::Base62Digit('A'), 10);
    EXPECT_EQ(kq::Base62Digit('Z'), 35);
    EXPECT_EQ(kq::Base62Digit('a'), 36);
    EXPECT_EQ(kq::Base62Digit('z'), 61);
    EXPECT_EQ(kq::Base62Digit('#'), 255);
    EXPECT_EQ(kq::Base62Digit(0x05), 255);
}
