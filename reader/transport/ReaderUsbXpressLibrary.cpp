#include "reader/transport/ReaderUsbXpressLibrary.h"

#include <cstdlib>

namespace kq {

platform::UsbXpress& ReaderUsbXpressLibrary() {
    static platform::UsbXpress library([] {
        const char* path = std::getenv("KQLMX_USBXPRESS_LIBRARY");
        return std::string(path && *path ? path : "libSiUSBXp.so");
    }());
    return library;
}

} // namespace kq
