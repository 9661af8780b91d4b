// What a port name asks for. A serial name is a device path ("/dev/ttyUSB0") or a
// COM name; a LAN reader is "a.b.c.d-port" or "[name]-port"; a name containing
// "HID" is a USB HID reader, one containing "BT" a Bluetooth module reader; any
// other name is the serial number of an FTDI device.
#pragma once

#include <string>

namespace kq {

enum class PortLink { Serial, Tcp, Hid, Bluetooth, Refused };

// A serial device as the port lists show it carries a description hint:
// "/dev/ttyACM0 [Vek Virtual COM]:2" names /dev/ttyACM0 at address 2. Takes the hint
// (from " [" to the last ']') out of a device path; other names stay as they are.
void DropDescriptionHint(std::string& name);

// Cuts a ":n" suffix off the name and answers the reader address n (decimal, non-digits
// read as 0); without a suffix (no ':' or ':' last) the name stays and the address is 1.
int SplitPortSuffix(std::string& name);

// '[' first, or a '.' after the first character followed by two more '.'.
bool IsLanAddress(const std::string& name);

// The link a name (without its suffix) opens: a LAN address (never a device path),
// then "HID", then "BT" ("BTW" is refused), also in a device path: "/dev/ttyUSB0 BT"
// is the Bluetooth module on that device; any other name is serial.
PortLink ClassifyPortName(const std::string& name);

// True for a name that keeps its baud argument: a device path or a COM name
// ("COM...", "\\.\COM..." in any case).
bool IsComPortName(const std::string& name);

// True for a serial device name: a device path (kept as it is) or "COMn" with n
// starting 1-9, rewritten as "\\.\COM" + its digits. False for an FTDI serial number,
// which is left without a leading "\\.\".
bool NormalizePortName(std::string& name);

} // namespace kq
