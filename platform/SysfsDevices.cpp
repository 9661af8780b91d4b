#include "platform/SysfsDevices.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kq::platform {

namespace {

fs::path UnderRoot(const char* path) {
    return fs::path(SysfsRoot() + path);
}

// The entry names of a folder, or false when it cannot be read.
bool Entries(const fs::path& folder, std::vector<std::string>& names) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return false;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        names.push_back(it->path().filename().string());
    }
    return true;
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// The first line of a sysfs attribute without its line end; false when unreadable.
bool ReadAttribute(const fs::path& path, std::string& value) {
    std::ifstream file(path);
    if (!file || !std::getline(file, value)) return false;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' '))
        value.pop_back();
    return true;
}

// A hexadecimal attribute ("1c40"); false when it holds none.
bool ReadHex(const fs::path& path, uint32_t& value) {
    std::string text;
    if (!ReadAttribute(path, text) || text.empty()) return false;
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0' || number > 0xFFFFFFFFul) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool ReadUsbIds(const fs::path& device, uint16_t& vendorId, uint16_t& productId) {
    uint32_t vendor = 0, product = 0;
    if (!ReadHex(device / "idVendor", vendor) || !ReadHex(device / "idProduct", product)) return false;
    vendorId = static_cast<uint16_t>(vendor);
    productId = static_cast<uint16_t>(product);
    return true;
}

// Fills the USB fields from the nearest folder above `device` that is a USB device.
void FindUsbParent(const fs::path& device, TtyDevice& tty) {
    std::error_code error;
    fs::path folder = fs::canonical(device, error);
    if (error) return;
    // Only folders inside the tree count (a link that leads out of it finds nothing).
    const std::string sys = fs::weakly_canonical(UnderRoot("/sys"), error).string() + "/";
    for (; folder.string().starts_with(sys); folder = folder.parent_path()) {
        if (!Exists(folder / "idVendor")) continue;
        tty.usb = ReadUsbIds(folder, tty.vendorId, tty.productId);
        ReadAttribute(folder / "product", tty.usbProduct);
        return;
    }
}

} // namespace

std::string SysfsRoot() {
    const char* root = std::getenv("KQLMX_SYSFS_ROOT");
    std::string path = root && *root ? root : "";
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

bool ListTtyDevices(std::vector<TtyDevice>& out) {
    const fs::path ttyClass = UnderRoot("/sys/class/tty");
    std::vector<std::string> names;
    if (!Entries(ttyClass, names)) return false;
    for (const std::string& name : names) {
        const fs::path entry = ttyClass / name;
        if (!Exists(entry / "device")) continue; // virtual consoles, pseudo terminals
        std::string type;
        if (ReadAttribute(entry / "type", type) && type == "0") continue; // a serial port without hardware
        TtyDevice tty;
        tty.name = name;
        FindUsbParent(entry / "device", tty);
        out.push_back(std::move(tty));
    }
    return true;
}

std::vector<std::string> ProbeTtyNodes() {
    std::vector<std::string> found;
    const fs::path dev = UnderRoot("/dev");
    std::vector<std::string> names;
    Entries(dev, names);
    for (const std::string& name : names) {
        if (!name.starts_with("ttyS") && !name.starts_with("ttyUSB") && !name.starts_with("ttyACM")) continue;
        const int fd = ::open((dev / name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        ::close(fd);
        found.push_back(name);
    }
    return found;
}

std::vector<HidrawDevice> ListHidrawDevices() {
    std::vector<HidrawDevice> found;
    const fs::path hidrawClass = UnderRoot("/sys/class/hidraw");
    std::vector<std::string> names;
    Entries(hidrawClass, names);
    for (const std::string& name : names) {
        std::ifstream uevent(hidrawClass / name / "device" / "uevent");
        HidrawDevice device;
        device.name = name;
        bool haveId = false;
        for (std::string line; std::getline(uevent, line);) {
            if (line.starts_with("HID_ID=")) {
                // bus:vendor:product, each hexadecimal ("0003:000016C0:00002913")
                unsigned bus = 0;
                unsigned long vendor = 0, product = 0;
                haveId = std::sscanf(line.c_str() + 7, "%x:%lx:%lx", &bus, &vendor, &product) == 3;
                device.vendorId = static_cast<uint32_t>(vendor);
                device.productId = static_cast<uint32_t>(product);
            } else if (line.starts_with("HID_UNIQ=")) {
                device.uniq = line.substr(9);
            }
        }
        if (haveId) found.push_back(std::move(device));
    }
    return found;
}

std::vector<UsbDevice> ListUsbDevices() {
    std::vector<UsbDevice> found;
    const fs::path usbDevices = UnderRoot("/sys/bus/usb/devices");
    std::vector<std::string> names;
    Entries(usbDevices, names);
    for (const std::string& name : names) {
        if (name.find(':') != std::string::npos) continue; // an interface ("1-2:1.0")
        const fs::path folder = usbDevices / name;
        UsbDevice device;
        device.name = name;
        if (!ReadUsbIds(folder, device.vendorId, device.productId)) continue;
        // Its interfaces are the subfolders "<name>:<configuration>.<interface>".
        std::vector<std::string> children;
        Entries(folder, children);
        for (const std::string& child : children) {
            if (child.starts_with(name + ":") && Exists(folder / child / "driver")) device.driverBound = true;
        }
        found.push_back(std::move(device));
    }
    return found;
}

} // namespace kq::platform
