// The numbers by which open ports are named. Each kind of link numbers its ports
// above its own base and gives a freed number to the next port of that kind.
#pragma once

#include <mutex>
#include <vector>

namespace kq {

class PortHandleRegistry {
public:
    explicit PortHandleRegistry(int base) : base_(base) {}
    PortHandleRegistry(const PortHandleRegistry&) = delete;
    PortHandleRegistry& operator=(const PortHandleRegistry&) = delete;

    // The smallest number above the base that is not in use; it is in use from now on.
    int Allocate();
    // Frees the number; a number not in use is ignored.
    void Release(int number);

    // The process-wide registries: serial from 1, HID from 10001, TCP from 20001,
    // Bluetooth from 30001.
    static PortHandleRegistry& Serial();
    static PortHandleRegistry& Hid();
    static PortHandleRegistry& Tcp();
    static PortHandleRegistry& Bluetooth();

private:
    const int base_;
    std::mutex mutex_;
    std::vector<int> used_;
};

} // namespace kq
