// The devices the kernel shows in sysfs, in place of a device-setup interface: serial
// ttys with the USB device behind them, hidraw devices, and USB devices with whether a
// driver has taken them.
//
// Everything is looked up under a root folder that stands for "/": "/" unless the
// environment variable KQLMX_SYSFS_ROOT names another, so that tests can build a fake
// tree (<root>/sys/class/tty/..., <root>/dev/...). Symbolic links inside the tree are
// followed as the kernel lays them out (relative links).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kq::platform {

// The folder that stands for "/", without a trailing slash ("" for "/").
std::string SysfsRoot();

struct TtyDevice {
    std::string name;      // "ttyUSB0": the device is /dev/<name>
    bool usb = false;      // a USB device lies behind it
    uint16_t vendorId = 0; // of that USB device
    uint16_t productId = 0;
    std::string usbProduct; // its product string, may be empty
};

// The ttys with a device behind them (/sys/class/tty/*/device), leaving out serial
// ports that the serial core knows have no hardware (attribute "type" 0). False when
// the tty class cannot be read at all (no sysfs).
bool ListTtyDevices(std::vector<TtyDevice>& out);

// The names in <root>/dev that begin "ttyS", "ttyUSB" or "ttyACM" and that can be
// opened for reading and writing; each is closed again at once. For systems without
// sysfs.
std::vector<std::string> ProbeTtyNodes();

struct HidrawDevice {
    std::string name; // "hidraw0"
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    std::string uniq; // HID_UNIQ: the serial-number string, may be empty
};

// Every /sys/class/hidraw/*/device/uevent with a readable HID_ID.
std::vector<HidrawDevice> ListHidrawDevices();

struct UsbDevice {
    std::string name; // "1-2"
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool driverBound = false; // a kernel driver (or usbfs) holds one of its interfaces
};

// Every USB device of /sys/bus/usb/devices (interfaces left out).
std::vector<UsbDevice> ListUsbDevices();

} // namespace kq::platform
