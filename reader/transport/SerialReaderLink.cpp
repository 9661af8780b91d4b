#include "reader/transport/SerialReaderLink.h"

#include "reader/transport/PortHandleRegistry.h"

namespace kq {

int SerialReaderLink::AllocateHandle() {
    if (handle_ == 0) handle_ = PortHandleRegistry::Serial().Allocate();
    return handle_;
}

void SerialReaderLink::Close() {
    line_.StopMonitoring();
    if (handle_ != 0) {
        PortHandleRegistry::Serial().Release(handle_);
        handle_ = 0;
    }
}

} // namespace kq
