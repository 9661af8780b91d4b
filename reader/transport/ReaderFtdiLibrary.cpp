#include "reader/transport/ReaderFtdiLibrary.h"

#include <cstdlib>

namespace kq {

platform::Ftd2xx& ReaderFtdiLibrary() {
    static platform::Ftd2xx library(
        [] {
            const char* path = std::getenv("KQLMX_FTD2XX_LIBRARY");
            return std::string(path && *path ? path : "libftd2xx.so");
        }(),
        0x0403, 0xE130);
    return library;
}

} // namespace kq
