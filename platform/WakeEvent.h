// An eventfd that one thread signals and another polls beside its device.
#pragma once

namespace kq::platform {

class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Signal();
    // Resets the event after a wake-up.
    void Drain();

private:
    int fd_;
};

} // namespace kq::platform
