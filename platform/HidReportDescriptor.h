// The report sizes of a HID device, read from its report descriptor (the bytes the
// kernel shows as sysfs "report_descriptor"), in place of a HID class driver's
// capabilities. A report length counts the report-ID byte in front of the data, also
// for a device that numbers no reports (the byte is then 0): 8 data bytes make a
// length of 9.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kq::platform {

struct HidReportLengths {
    bool valid = false;    // the descriptor was read to its end without a broken item
    bool numbered = false; // the device numbers its reports (a Report ID item)
    size_t input = 0;      // the longest input report with its ID byte; 0 when none
    size_t output = 0;     // the longest output report with its ID byte; 0 when none
};

HidReportLengths ParseHidReportDescriptor(std::span<const uint8_t> descriptor);

} // namespace kq::platform
