// The FTDI D2XX library, loaded at run time on first use. Each entry point is looked
// up on its own: when the library or one entry point is missing, the calls through
// it answer kFtMissing and everything else keeps working.
#pragma once

#include "platform/DynamicLibrary.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kq::platform {

using FtStatus = uint32_t;
using FtHandle = void*;

inline constexpr FtStatus kFtOk = 0;
inline constexpr FtStatus kFtMissing = 1; // the call could not be made
inline constexpr uint32_t kFtOpenBySerialNumber = 1;
inline constexpr uint8_t kFtStopBits1 = 0;
inline constexpr uint8_t kFtStopBits2 = 2;
inline constexpr uint8_t kFtParityNone = 0;
inline constexpr uint8_t kFtParityOdd = 1;
inline constexpr uint8_t kFtParityEven = 2;
inline constexpr uint16_t kFtFlowNone = 0;
inline constexpr uint32_t kFtPurgeRx = 1;
inline constexpr uint32_t kFtPurgeTx = 2;
inline constexpr uint32_t kFtFlagOpened = 1; // device-list flag: some process has the device open

// One device of the library's device list.
struct FtDeviceInfo {
    uint32_t flags = 0; // kFtFlagOpened, ...
    uint32_t type = 0;
    uint32_t id = 0; // vendor id << 16 | product id
    uint32_t locationId = 0;
    std::string serialNumber;
    std::string description;
    bool openHere = false; // this process holds a handle to it
};

class Ftd2xx {
public:
    // `vid`/`pid` are announced to the library right after loading, before it looks
    // for devices, so that a device with that id is found by serial number.
    Ftd2xx(std::string path, uint32_t vid, uint32_t pid);
    ~Ftd2xx();
    Ftd2xx(const Ftd2xx&) = delete;
    Ftd2xx& operator=(const Ftd2xx&) = delete;

    // Loads the library once; false when it cannot be loaded (told once to the
    // debug output, like every missing entry point).
    bool Load();

    // The devices the library sees now. kFtOk with an empty list when there are none.
    FtStatus GetDeviceInfoList(std::vector<FtDeviceInfo>& devices);

    FtStatus OpenBySerialNumber(const std::string& serial, FtHandle* handle);
    FtStatus Close(FtHandle handle);
    FtStatus SetBaudRate(FtHandle handle, uint32_t rate);
    FtStatus SetDataCharacteristics(FtHandle handle, uint8_t bits, uint8_t stopBits, uint8_t parity);
    FtStatus SetFlowControl(FtHandle handle, uint16_t mode, uint8_t xon, uint8_t xoff);
    FtStatus SetDtr(FtHandle handle);
    FtStatus SetRts(FtHandle handle);
    FtStatus SetTimeouts(FtHandle handle, uint32_t readMs, uint32_t writeMs);
    FtStatus SetLatencyTimer(FtHandle handle, uint8_t ms);
    FtStatus Purge(FtHandle handle, uint32_t mask);
    FtStatus GetQueueStatus(FtHandle handle, uint32_t* rxBytes);
    FtStatus Read(FtHandle handle, void* buffer, uint32_t size, uint32_t* got);
    FtStatus Write(FtHandle handle, const void* buffer, uint32_t size, uint32_t* written);

private:
    struct Entries;
    const std::string path_;
    const uint32_t vid_, pid_;
    VendorLibrary library_;
    std::unique_ptr<Entries> fn_;
};

} // namespace kq::platform
