// The process-wide FTDI D2XX library of the reader links: libftd2xx.so, or the path
// in KQLMX_FTD2XX_LIBRARY, announced the readers' USB id 0403:E130.
#pragma once

#include "platform/Ftd2xx.h"

namespace kq {

platform::Ftd2xx& ReaderFtdiLibrary();

} // namespace kq
