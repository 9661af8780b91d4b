#include "reader/transport/PortEnumeration.h"

#include "content/AsciiText.h"
#include "platform/SysfsDevices.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace kq {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The device part of an entry: the text before its description hint.
std::string_view DeviceOf(std::string_view entry) {
    return entry.substr(0, entry.find(" ["));
}

// Natural order: digit runs compare by their value, everything else by character.
bool NaturalLess(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t endA = i, endB = j;
            while (endA < a.size() && IsDigit(a[endA]))
                ++endA;
            while (endB < b.size() && IsDigit(b[endB]))
                ++endB;
            std::string_view runA = a.substr(i, endA - i), runB = b.substr(j, endB - j);
            while (runA.size() > 1 && runA[0] == '0')
                runA.remove_prefix(1);
            while (runB.size() > 1 && runB[0] == '0')
                runB.remove_prefix(1);
            if (runA.size() != runB.size()) return runA.size() < runB.size();
            if (runA != runB) return runA < runB;
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::string DescriptionHint(const platform::TtyDevice& tty) {
    if (!tty.usb) return {};
    if (StartsWithNoCase(tty.usbProduct, "Vek") || StartsWithNoCase(tty.usbProduct, "PV-6"))
        return " [" + tty.usbProduct + "]";
    if (tty.vendorId == 0x1C40 && tty.productId == 0x05AC) return " [Vek Virtual COM]";
    return {};
}

} // namespace

void InsertComPortSorted(std::vector<std::string>& list, const std::string& entry) {
    const auto after = std::find_if(list.begin(), list.end(), [&](const std::string& listed) {
        return NaturalLess(DeviceOf(entry), DeviceOf(listed));
    });
    list.insert(after, entry);
}

bool EnumerateComPorts(std::vector<std::string>& list) {
    list.clear();
    std::vector<platform::TtyDevice> ttys;
    if (!platform::ListTtyDevices(ttys)) return false;
    for (const platform::TtyDevice& tty : ttys)
        InsertComPortSorted(list, "/dev/" + tty.name + DescriptionHint(tty));
    return true;
}

void ListComPorts(std::vector<std::string>& list) {
    if (EnumerateComPorts(list)) return;
    list.clear();
    for (const std::string& name : platform::ProbeTtyNodes())
        InsertComPortSorted(list, "/dev/" + name);
}

void ListFtdiReaders(platform::Ftd2xx& library, std::vector<std::string>& list) {
    std::vector<platform::FtDeviceInfo> devices;
    if (library.GetDeviceInfoList(devices) != platform::kFtOk) return;
    for (const platform::FtDeviceInfo& device : devices) {
        const bool open = device.openHere || (device.flags & platform::kFtFlagOpened) != 0;
        if (!open && !device.serialNumber.empty()) list.push_back(device.serialNumber);
    }
}

bool IsAcceptedHidReader(uint32_t vendorId, uint32_t productId) {
    if (vendorId == 0x16C0) return productId == 0x2913;
    if (vendorId == 0x1C40)
        return productId == 0x05AB || productId == 0x05AD || productId == 0x05AE || productId == 0x05AF;
    return false;
}

std::string HidReaderName(const std::string& serialNumber) {
    return (serialNumber.empty() ? std::string("1319-????") : serialNumber) + " HID";
}

std::vector<platform::HidrawDevice> AcceptedHidReaders() {
    std::vector<platform::HidrawDevice> devices = platform::ListHidrawDevices();
    std::erase_if(devices, [](const auto& d) { return !IsAcceptedHidReader(d.vendorId, d.productId); });
    // hidraw0, hidraw1, ..., hidraw10: the order the kernel numbered them in.
    std::stable_sort(devices.begin(), devices.end(),
                     [](const auto& a, const auto& b) { return NaturalLess(a.name, b.name); });
    return devices;
}

void ListHidReaders(std::vector<std::string>& list) {
    for (const platform::HidrawDevice& device : AcceptedHidReaders()) {
        const std::string name = HidReaderName(device.uniq);
        if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    }
}

int CountUsbReaders(platform::Ftd2xx& library) {
    int flags = 0;
    for (const platform::UsbDevice& device : platform::ListUsbDevices()) {
        if (device.driverBound) continue;
        if (device.vendorId == 0x1C40 && device.productId == 0x05AC) flags |= kNoDriverVirtualComReader;
        // Such a reader is served from user space by the FTDI library.
        if (device.vendorId == 0x0403 && device.productId == 0xE130 && !library.Load())
            flags |= kNoDriverFtdiReader;
    }
    return flags;
}

} // namespace kq
