// A fake sysfs tree in a fresh temporary folder, laid out as the kernel lays out its
// own (class entries are relative links into /sys/devices), for the reader library's
// enumeration under KQLMX_SYSFS_ROOT. Plain C++: the Qt tests use it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kqtest {

class FakeSysfs {
public:
    FakeSysfs();  // an empty tree: no /sys at all until something is added
    ~FakeSysfs(); // removes the folder
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const std::string& Root() const { return root_; }

    // An empty tty class (sysfs present, no serial device).
    void AddTtyClass();
    // A tty served by interface 1.0 of the USB device at `usbPort` ("1-2"), made with
    // AddUsbDevice first or here with these ids, bound to a driver; an empty product
    // writes no product attribute.
    void AddUsbTty(const std::string& name, const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                   const std::string& product);
    // A tty of a serial port on the main board; the serial core's type 0 means no
    // hardware answers there.
    void AddSerialPort(const std::string& name, int type);
    // A tty with no device behind it (a virtual console).
    void AddVirtualTty(const std::string& name);
    // Takes a tty out of the tty class (its device was unplugged).
    void RemoveTty(const std::string& name);

    // A USB device with interface 1.0, taken by a driver or not.
    void AddUsbDevice(const std::string& usbPort, uint16_t vendorId, uint16_t productId, bool driverBound);
    // A hidraw node of a HID device on the USB device at `usbPort`; `uniq` is the
    // HID_UNIQ line's value, none at all when `withUniq` is false.
    void AddHidraw(const std::string& name, const std::string& usbPort, uint32_t vendorId, uint32_t productId,
                   const std::string& uniq, bool withUniq = true);

    // The report descriptor of a hidraw node made with AddHidraw.
    void AddHidReportDescriptor(const std::string& name, const std::vector<uint8_t>& descriptor);

    // A plain file <root>/dev/<name> (opens like a device node).
    void AddDevNode(const std::string& name);

private:
    std::string UsbDeviceFolder(const std::string& usbPort) const;
    std::string root_;
};

} // namespace kqtest
