// The process-wide USB bridge library of the Bluetooth dongles: libSiUSBXp.so, or the
// path in KQLMX_USBXPRESS_LIBRARY.
#pragma once

#include "platform/UsbXpress.h"

namespace kq {

platform::UsbXpress& ReaderUsbXpressLibrary();

} // namespace kq
