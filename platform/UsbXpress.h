// The USB bridge library of the Bluetooth dongles (libSiUSBXp.so), loaded at run time
// on first use. Each entry point is looked up on its own: when the library or one
// entry point is missing, the calls through it answer kSiMissing and do nothing.
#pragma once

#include "platform/DynamicLibrary.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kq::platform {

using SiStatus = uint32_t;
using SiHandle = void*;

inline constexpr SiStatus kSiOk = 0;
inline constexpr SiStatus kSiMissing = 1;            // the call could not be made
inline constexpr uint32_t kSiSerialNumberString = 0; // product-string option: the serial number

class UsbXpress {
public:
    explicit UsbXpress(std::string path);
    ~UsbXpress();
    UsbXpress(const UsbXpress&) = delete;
    UsbXpress& operator=(const UsbXpress&) = delete;

    // Loads the library once; false when it cannot be loaded (told once to the debug
    // output, like every missing entry point).
    bool Load();

    SiStatus GetNumDevices(uint32_t* count);
    // The device's string of that option, at most 255 characters.
    SiStatus GetProductString(uint32_t index, std::string& text, uint32_t option);
    SiStatus Open(uint32_t index, SiHandle* handle);
    SiStatus Close(SiHandle handle);
    SiStatus Read(SiHandle handle, void* buffer, uint32_t size, uint32_t* got);
    SiStatus Write(SiHandle handle, const void* buffer, uint32_t size, uint32_t* written);
    SiStatus FlushBuffers(SiHandle handle, uint8_t transmit, uint8_t receive);
    SiStatus SetTimeouts(uint32_t readMs, uint32_t writeMs);
    SiStatus CheckRxQueue(SiHandle handle, uint32_t* queued, uint32_t* queueStatus);
    SiStatus SetBaudRate(SiHandle handle, uint32_t rate);
    SiStatus SetLineControl(SiHandle handle, uint16_t lineControl);
    // Mask codes of clear-to-send, request-to-send, data-terminal-ready,
    // data-set-ready and carrier-detect, and XON/XOFF flow on or off.
    SiStatus SetFlowControl(SiHandle handle, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr, uint8_t dcd,
                            bool xonXoff);
    SiStatus SetBreak(SiHandle handle, uint16_t state);

private:
    struct Entries;
    const std::string path_;
    VendorLibrary library_;
    std::unique_ptr<Entries> fn_;
};

} // namespace kq::platform
