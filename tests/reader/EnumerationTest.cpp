// Port enumeration on a fake sysfs tree and the fake FTDI library: which devices are
// listed, in which order, with which hints, and which USB readers lack a driver.
#include "FakeFtd2xxControl.h"
#include "FakeSysfs.h"
#include "kqlmx.h"
#include "platform/FtdiDevice.h"
#include "reader/transport/PortEnumeration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using kq::platform::Ftd2xx;
using kqtest::FakeSysfs;
using Names = std::vector<std::string>;

namespace {

class Enumeration : public ::testing::Test {
protected:
    void SetUp() override { setenv("KQLMX_SYSFS_ROOT", sysfs.Root().c_str(), 1); }
    void TearDown() override { unsetenv("KQLMX_SYSFS_ROOT"); }

    // The multi-string of an enumeration call, split.
    static Names Call(int (*enumerate)(char*, int)) {
        char buffer[2500];
        std::memset(buffer, 'x', sizeof buffer);
        const int used = enumerate(buffer, sizeof buffer);
        Names names;
        int at = 0;
        while (at < used && buffer[at] != '\0') {
            names.emplace_back(buffer + at);
            at += static_cast<int>(names.back().size()) + 1;
        }
        EXPECT_EQ(used, at + 1) << "closed by one more zero";
        return names;
    }

    FakeSysfs sysfs;
};

} // namespace

// Catches ports in directory order or by plain text order (ttyUSB10 before ttyUSB2),
// hints missing or given to other makers' devices, ghost serial ports and virtual
// consoles listed.
TEST_F(Enumeration, SerialDevicesInNaturalOrderWithTheMakersHints) {
    sysfs.AddUsbTty("ttyUSB10", "1-10", 0x0403, 0x6001, "FT232R USB UART");
    sysfs.AddUsbTty("ttyUSB2", "1-2", 0x0403, 0x6001, "vek Reader 2");
    sysfs.AddUsbTty("ttyACM0", "1-3", 0x1C40, 0x05AC, "KQ-LMX38");
    sysfs.AddUsbTty("ttyACM1", "1-4", 0x1C40, 0x0001, "PV-6 Dongle");
    sysfs.AddUsbTty("ttyUSB1", "1-5", 0x067B, 0x2303, "");
    sysfs.AddSerialPort("ttyS0", 4);
    sysfs.AddSerialPort("ttyS1", 0);
    sysfs.AddVirtualTty("tty0");
    sysfs.AddVirtualTty("ptmx");
    EXPECT_EQ(Call(KQLMX_EnumComPorts),
              (Names{"/dev/ttyACM0 [Vek Virtual COM]", "/dev/ttyACM1 [PV-6 Dongle]", "/dev/ttyS0",
                     "/dev/ttyUSB1", "/dev/ttyUSB2 [vek Reader 2]", "/dev/ttyUSB10"}));
}

TEST(PortEnumeration, InsertSortedComparesDigitRunsByValue) {
    Names list;
    for (const char* entry : {"/dev/ttyUSB10", "/dev/ttyUSB2 [first]", "/dev/ttyS0", "/dev/ttyUSB02 [second]",
                              "/dev/ttyACM1", "/dev/ttyUSB9"})
        kq::InsertComPortSorted(list, entry);
    EXPECT_EQ(list, (Names{"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyUSB2 [first]", "/dev/ttyUSB02 [second]",
                           "/dev/ttyUSB9", "/dev/ttyUSB10"}));
}

// Catches a fallback that lists nodes which cannot be opened or other devices, and
// one taken although sysfs answered.
TEST_F(Enumeration, WithoutSysfsTheTtyNodesThatOpenAreListed) {
    for (const char* node : {"ttyUSB3", "ttyS0", "ttyACM0", "sda", "tty1"})
        sysfs.AddDevNode(node);
    std::filesystem::create_directories(sysfs.Root() + "/dev/ttyACM1"); // cannot be opened for writing
    EXPECT_EQ(Call(KQLMX_EnumComPorts), (Names{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB3"}));

    sysfs.AddTtyClass();
    sysfs.AddVirtualTty("tty0");
    char buffer[8] = {'x', 'x'};
    EXPECT_EQ(KQLMX_EnumComPorts(buffer, sizeof buffer), 1) << "sysfs says there is no serial device";
    EXPECT_EQ(buffer[0], '\0');
}

// Catches devices open in this process or another one listed (opening them would
// fail), entries without a serial number, and a 16-character serial number that fills
// its field without a terminating zero cut or overrun.
TEST_F(Enumeration, FtdiDevicesThatNobodyHasOpen) {
    FakeFtd2xx fake(FAKE_FTD2XX_PATH);
    for (const char* serial : {"1460AB01", "1750XY02", "", "1461CD04", "9999ZZ05", "1460ABCDEFGHIJKL"})
        fake.AddDevice(serial);
    fake.SetOpenElsewhere("1750XY02");
    Ftd2xx library(FAKE_FTD2XX_PATH, 0x0403, 0xE130);
    auto held = kq::platform::FtdiDevice::Open(library, "1461CD04", {});
    ASSERT_NE(held, nullptr);

    Names list;
    kq::ListFtdiReaders(library, list);
    EXPECT_EQ(list, (Names{"1460AB01", "9999ZZ05", "1460ABCDEFGHIJKL"}));

    Ftd2xx missing("/nonexistent/libftd2xx.so", 0x0403, 0xE130);
    list.clear();
    kq::ListFtdiReaders(missing, list);
    EXPECT_TRUE(list.empty());
}

// Catches other HID devices listed, a reader with two interfaces listed twice, a
// reader without serial number left out, and readers in directory order.
TEST_F(Enumeration, HidReadersEachOnceInKernelOrder) {
    sysfs.AddHidraw("hidraw10", "1-1", 0x1C40, 0x05AB, "1750-0002");
    sysfs.AddHidraw("hidraw0", "1-2", 0x16C0, 0x2913, "1460-0001");
    sysfs.AddHidraw("hidraw2", "1-2", 0x16C0, 0x2913, "1460-0001");
    sysfs.AddHidraw("hidraw3", "1-3", 0x1C40, 0x05AD, "", false);
    sysfs.AddHidraw("hidraw4", "1-4", 0x046D, 0xC52B, "1461-0009");
    sysfs.AddHidraw("hidraw5", "1-5", 0x16C0, 0x2914, "1462-0001");
    Names list;
    kq::ListHidReaders(list);
    EXPECT_EQ(list, (Names{"1460-0001 HID", "1319-???? HID", "1750-0002 HID"}));
}

// Catches the HID list before the FTDI list and entries of unknown reader models kept
// (the placeholder serial number of a HID reader among them).
TEST_F(Enumeration, UsbReadersFtdiFirstAndOnlyKnownModels) {
    FakeFtd2xx fake(FAKE_FTD2XX_PATH);
    for (const char* serial : {"3000QQ01", "9999ZZ05", "12"})
        fake.AddDevice(serial);
    sysfs.AddHidraw("hidraw0", "1-2", 0x16C0, 0x2913, "1460-0001");
    sysfs.AddHidraw("hidraw1", "1-3", 0x1C40, 0x05AF, "");
    sysfs.AddHidraw("hidraw2", "1-4", 0x1C40, 0x05AE, "1754-0003");
    EXPECT_EQ(Call(KQLMX_EnumUsbReaders), (Names{"3000QQ01", "1460-0001 HID", "1754-0003 HID"}));
    EXPECT_TRUE(Call(KQLMX_EnumBluetoothPorts).empty());
}

// Catches a reader reported without driver although a kernel driver (or the FTDI
// library) serves it, and one missed.
TEST_F(Enumeration, UsbReadersWithoutDriver) {
    struct Device {
        const char* port;
        uint16_t vendorId, productId;
        bool bound;
    };
    struct Case {
        const char* what;
        std::vector<Device> devices;
        bool ftdiLibrary;
        int flags;
    } cases[] = {
        {"virtual COM reader unbound", {{"1-2", 0x1C40, 0x05AC, false}}, true, kq::kNoDriverVirtualComReader},
        {"virtual COM reader bound", {{"1-2", 0x1C40, 0x05AC, true}}, false, 0},
        {"FTDI reader, no library", {{"1-2", 0x0403, 0xE130, false}}, false, kq::kNoDriverFtdiReader},
        {"FTDI reader served by the library", {{"1-2", 0x0403, 0xE130, false}}, true, 0},
        {"FTDI reader as a tty", {{"1-2", 0x0403, 0xE130, true}}, false, 0},
        {"both", {{"1-2", 0x1C40, 0x05AC, false}, {"1-3", 0x0403, 0xE130, false}}, false, 3},
        {"other devices", {{"1-2", 0x1C40, 0x05AB, false}, {"1-3", 0x0403, 0x6001, false}}, false, 0},
    };
    Ftd2xx present(FAKE_FTD2XX_PATH, 0x0403, 0xE130);
    Ftd2xx missing("/nonexistent/libftd2xx.so", 0x0403, 0xE130);
    for (const Case& c : cases) {
        FakeSysfs tree;
        for (const Device& d : c.devices)
            tree.AddUsbDevice(d.port, d.vendorId, d.productId, d.bound);
        setenv("KQLMX_SYSFS_ROOT", tree.Root().c_str(), 1);
        EXPECT_EQ(kq::CountUsbReaders(c.ftdiLibrary ? present : missing), c.flags) << c.what;
    }

    sysfs.AddUsbDevice("1-2", 0x1C40, 0x05AC, false);
    setenv("KQLMX_SYSFS_ROOT", sysfs.Root().c_str(), 1);
    EXPECT_EQ(KQLMX_CountUsbReaders(), kq::kNoDriverVirtualComReader) << "through the flat API";
}
