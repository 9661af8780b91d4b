#include "reader/transport/PortHandleRegistry.h"

#include <algorithm>

namespace kq {

int PortHandleRegistry::Allocate() {
    std::lock_guard lock(mutex_);
    int number = base_ + 1;
    while (std::find(used_.begin(), used_.end(), number) != used_.end())
        ++number;
    used_.push_back(number);
    return number;
}

void PortHandleRegistry::Release(int number) {
    std::lock_guard lock(mutex_);
    auto it = std::find(used_.begin(), used_.end(), number);
    if (it != used_.end()) used_.erase(it);
}

PortHandleRegistry& PortHandleRegistry::Serial() {
    static PortHandleRegistry registry(0);
    return registry;
}

PortHandleRegistry& PortHandleRegistry::Hid() {
    static PortHandleRegistry registry(10000);
    return registry;
}

PortHandleRegistry& PortHandleRegistry::Tcp() {
    static PortHandleRegistry registry(20000);
    return registry;
}

PortHandleRegistry& PortHandleRegistry::Bluetooth() {
    static PortHandleRegistry registry(30000);
    return registry;
}

} // namespace kq
