// The ports on which a reader may be: serial devices (with a hint for the maker's
// virtual COM ports), FTDI devices by serial number, HID readers, and the check for
// attached USB readers that no driver serves. Read from sysfs (platform/SysfsDevices.h,
// whose root tests may move) and the FTDI library.
#pragma once

#include "platform/Ftd2xx.h"
#include "platform/SysfsDevices.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kq {

// Bits of CountUsbReaders.
inline constexpr int kNoDriverFtdiReader = 1;       // USB 0403:E130 (an FTDI reader)
inline constexpr int kNoDriverVirtualComReader = 2; // USB 1C40:05AC (a reader in virtual COM mode)

// The serial devices, "/dev/<name>" followed by a description hint for the maker's
// devices (" [<USB product>]" for a product beginning "Vek" or "PV-6" in any case,
// else " [Vek Virtual COM]" for USB 1C40:05AC), in natural order. False when sysfs
// cannot be read.
bool EnumerateComPorts(std::vector<std::string>& list);

// EnumerateComPorts, or without sysfs the tty nodes of /dev that open.
void ListComPorts(std::vector<std::string>& list);

// Inserts before the first entry whose device name sorts after the new one in natural
// order (digit runs compared as numbers: ttyUSB2 before ttyUSB10); equal names keep
// their arrival order.
void InsertComPortSorted(std::vector<std::string>& list, const std::string& entry);

// Appends the serial numbers of the FTDI devices that nobody has open (neither this
// process nor another) and that have a serial number. Nothing when the library is
// missing or lists no device.
void ListFtdiReaders(platform::Ftd2xx& library, std::vector<std::string>& list);

// The HID readers the program talks to: USB 16C0:2913, or 1C40 with 05AB, 05AD,
// 05AE or 05AF.
bool IsAcceptedHidReader(uint32_t vendorId, uint32_t productId);
// A HID reader's name: its serial-number string and " HID"; "1319-????" stands for a
// serial number that cannot be read.
std::string HidReaderName(const std::string& serialNumber);
// The attached HID readers (hidraw) in the order the kernel numbered them.
std::vector<platform::HidrawDevice> AcceptedHidReaders();
// Appends the name of every attached HID reader (hidraw) that the list does not hold yet.
void ListHidReaders(std::vector<std::string>& list);

// Flags of attached USB readers that cannot be used for want of a driver: a 1C40:05AC
// reader none of whose interfaces a kernel driver has taken; a 0403:E130 reader that
// no kernel driver has taken and whose FTDI library cannot be loaded. 0 when none.
int CountUsbReaders(platform::Ftd2xx& library);

} // namespace kq
