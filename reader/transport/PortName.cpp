#include "reader/transport/PortName.h"

#include "content/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace kq {

namespace {

constexpr std::string_view kDevicePrefix = "/dev/";
constexpr std::string_view kWin32Prefix = "\\\\.\\";

bool IsDevicePath(const std::string& name) {
    return name.starts_with(kDevicePrefix);
}

} // namespace

void DropDescriptionHint(std::string& name) {
    if (!IsDevicePath(name)) return;
    const size_t open = name.find(" [");
    if (open == std::string::npos) return;
    const size_t close = name.rfind(']');
    if (close == std::string::npos || close < open)
        name.resize(open);
    else
        name.erase(open, close + 1 - open);
}

int SplitPortSuffix(std::string& name) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos || colon + 1 == name.size()) return 1;
    const int address = std::atoi(name.c_str() + colon + 1);
    name.resize(colon);
    return address;
}

bool IsLanAddress(const std::string& name) {
    if (name.empty()) return false;
    if (name[0] == '[') return true;
    const size_t first = name.find('.', 1);
    if (first == std::string::npos) return false;
    const size_t second = name.find('.', first + 1);
    return second != std::string::npos && name.find('.', second + 1) != std::string::npos;
}

PortLink ClassifyPortName(const std::string& name) {
    // A device path may hold dots, but never names a LAN reader.
    if (!IsDevicePath(name) && IsLanAddress(name)) return PortLink::Tcp;
    // A device path tells its link only in the words after it ("/dev/ttyUSB0 BT"): the
    // path itself may hold any letters, such as an adapter's serial number under
    // /dev/serial/by-id, or a folder's random name.
    const std::string marks = IsDevicePath(name) ? name.substr(std::min(name.find(' '), name.size())) : name;
    if (marks.find("HID") != std::string::npos) return PortLink::Hid;
    if (marks.find("BT") != std::string::npos)
        return marks.find("BTW") != std::string::npos ? PortLink::Refused : PortLink::Bluetooth;
    return PortLink::Serial;
}

bool IsComPortName(const std::string& name) {
    return IsDevicePath(name) || StartsWithNoCase(name, "COM") || StartsWithNoCase(name, "\\\\.\\COM");
}

bool NormalizePortName(std::string& name) {
    if (IsDevicePath(name)) return true;
    if (name.starts_with(kWin32Prefix)) name.erase(0, kWin32Prefix.size());
    if (StartsWithNoCase(name, "COM") && name.size() > 3 && name[3] >= '1' && name[3] <= '9') {
        size_t end = 3;
        while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end])))
            ++end;
        name = std::string(kWin32Prefix) + "COM" + name.substr(3, end - 3);
        return true;
    }
    return false;
}

} // namespace kq
