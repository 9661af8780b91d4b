#include "FakeSysfs.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kqtest {

namespace {

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

std::string Hex4(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x\n", value);
    return text;
}

// A relative link at `link` to `target`, as sysfs makes them.
void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(fs::relative(target, link.parent_path()), link);
}

} // namespace

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "kq-sysfs-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    root_ = fs::canonical(pattern).string();
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string FakeSysfs::UsbDeviceFolder(const std::string& usbPort) const {
    return root_ + "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + usbPort;
}

void FakeSysfs::AddTtyClass() {
    fs::create_directories(root_ + "/sys/class/tty");
}

void FakeSysfs::AddUsbDevice(const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                             bool driverBound) {
    const fs::path device = UsbDeviceFolder(usbPort);
    Write(device / "idVendor", Hex4(vendorId));
    Write(device / "idProduct", Hex4(productId));
    const fs::path interface = device / (usbPort + ":1.0");
    fs::create_directories(interface);
    if (driverBound) {
        const fs::path driver = root_ + "/sys/bus/usb/drivers/some_driver";
        fs::create_directories(driver);
        Link(interface / "driver", driver);
    }
    Link(root_ + "/sys/bus/usb/devices/" + usbPort, device);
    Link(root_ + "/sys/bus/usb/devices/" + usbPort + ":1.0", interface);
}

void FakeSysfs::AddUsbTty(const std::string& name, const std::string& usbPort, uint16_t vendorId,
                          uint16_t productId, const std::string& product) {
    const fs::path device = UsbDeviceFolder(usbPort);
    if (!fs::exists(device)) AddUsbDevice(usbPort, vendorId, productId, true);
    if (!product.empty()) Write(device / "product", product + "\n");
    const fs::path tty = device / (usbPort + ":1.0") / "tty" / name;
    Write(tty / "dev", "166:0\n");
    Link(tty / "device", device / (usbPort + ":1.0"));
    Link(root_ + "/sys/class/tty/" + name, tty);
}

void FakeSysfs::AddSerialPort(const std::string& name, int type) {
    const fs::path port = root_ + "/sys/devices/platform/serial8250";
    const fs::path tty = port / "tty" / name;
    Write(tty / "type", std::to_string(type) + "\n");
    Link(tty / "device", port);
    Link(root_ + "/sys/class/tty/" + name, tty);
}

void FakeSysfs::AddVirtualTty(const std::string& name) {
    const fs::path tty = root_ + "/sys/devices/virtual/tty/" + name;
    Write(tty / "dev", "4:0\n");
    Link(root_ + "/sys/class/tty/" + name, tty);
}

void FakeSysfs::RemoveTty(const std::string& name) {
    fs::remove(root_ + "/sys/class/tty/" + name);
}

void FakeSysfs::AddHidraw(const std::string& name, const std::string& usbPort, uint32_t vendorId,
                          uint32_t productId, const std::string& uniq, bool withUniq) {
    char hidId[64];
    std::snprintf(hidId, sizeof hidId, "0003:%08X:%08X", vendorId, productId);
    char folder[64];
    std::snprintf(folder, sizeof folder, "0003:%04X:%04X.%s", vendorId, productId, name.c_str());
    const fs::path hid = fs::path(UsbDeviceFolder(usbPort)) / (usbPort + ":1.0") / folder;
    std::string uevent = "DRIVER=hid-generic\nHID_ID=" + std::string(hidId) + "\nHID_NAME=Reader\n";
    if (withUniq) uevent += "HID_UNIQ=" + uniq + "\n";
    uevent += "MODALIAS=hid:b0003\n";
    Write(hid / "uevent", uevent);
    const fs::path node = hid / "hidraw" / name;
    Write(node / "dev", "244:0\n");
    Link(node / "device", hid);
    Link(root_ + "/sys/class/hidraw/" + name, node);
}

void FakeSysfs::AddHidReportDescriptor(const std::string& name, const std::vector<uint8_t>& descriptor) {
    Write(root_ + "/sys/class/hidraw/" + name + "/device/report_descriptor",
          std::string(descriptor.begin(), descriptor.end()));
}

void FakeSysfs::AddDevNode(const std::string& name) {
    Write(root_ + "/dev/" + name, "");
}

} // namespace kqtest
