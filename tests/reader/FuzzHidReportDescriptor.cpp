// The report descriptor parser on arbitrary device bytes: no read past the end, and
// lengths that stay within what a descriptor of that size can describe.
#include "platform/HidReportDescriptor.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const kq::platform::HidReportLengths lengths = kq::platform::ParseHidReportDescriptor({data, size});
    if (!lengths.valid && (lengths.input != 0 || lengths.output != 0)) std::abort();
    // Each main item adds at most 2^32 * 2^32 bits, capped far below this.
    if (lengths.input > (1u << 17) + 1 || lengths.output > (1u << 17) + 1) std::abort();
    return 0;
}
