#include "platform/Ftd2xx.h"

#include "platform/DebugOutput.h"

namespace kq::platform {

// The D2XX calls, as the library exports them (32-bit words, handles as pointers).
struct Ftd2xx::Entries {
    FtStatus (*SetVIDPID)(uint32_t, uint32_t) = nullptr;
    FtStatus (*CreateDeviceInfoList)(uint32_t*) = nullptr;
    FtStatus (*GetDeviceInfoList)(void*, uint32_t*) = nullptr;
    FtStatus (*OpenEx)(void*, uint32_t, FtHandle*) = nullptr;
    FtStatus (*Close)(FtHandle) = nullptr;
    FtStatus (*SetBaudRate)(FtHandle, uint32_t) = nullptr;
    FtStatus (*SetDataCharacteristics)(FtHandle, uint8_t, uint8_t, uint8_t) = nullptr;
    FtStatus (*SetFlowControl)(FtHandle, uint16_t, uint8_t, uint8_t) = nullptr;
    FtStatus (*SetDtr)(FtHandle) = nullptr;
    FtStatus (*SetRts)(FtHandle) = nullptr;
    FtStatus (*SetTimeouts)(FtHandle, uint32_t, uint32_t) = nullptr;
    FtStatus (*SetLatencyTimer)(FtHandle, uint8_t) = nullptr;
    FtStatus (*Purge)(FtHandle, uint32_t) = nullptr;
    FtStatus (*GetQueueStatus)(FtHandle, uint32_t*) = nullptr;
    FtStatus (*Read)(FtHandle, void*, uint32_t, uint32_t*) = nullptr;
    FtStatus (*Write)(FtHandle, void*, uint32_t, uint32_t*) = nullptr;
};

namespace {

// One node of the library's device list as it fills it: four 32-bit words, the
// serial number (16 bytes) and the description (64 bytes), not always terminated,
// and the handle when this process has the device open.
struct DeviceListNode {
    uint32_t flags;
    uint32_t type;
    uint32_t id;
    uint32_t locationId;
    char serialNumber[16];
    char description[64];
    FtHandle handle;
};

std::string FixedText(const char* text, size_t size) {
    size_t length = 0;
    while (length < size && text[length] != '\0')
        ++length;
    return std::string(text, length);
}

} // namespace

Ftd2xx::Ftd2xx(std::string path, uint32_t vid, uint32_t pid)
    : path_(std::move(path)), vid_(vid), pid_(pid), fn_(std::make_unique<Entries>()) {}

Ftd2xx::~Ftd2xx() = default;

bool Ftd2xx::Load() {
    return library_.Load(path_, [this](const DynamicLibrary& lib) {
        Entries& f = *fn_;
        BindEntry(lib, "FT_SetVIDPID", f.SetVIDPID);
        BindEntry(lib, "FT_CreateDeviceInfoList", f.CreateDeviceInfoList);
        BindEntry(lib, "FT_GetDeviceInfoList", f.GetDeviceInfoList);
        BindEntry(lib, "FT_OpenEx", f.OpenEx);
        BindEntry(lib, "FT_Close", f.Close);
        BindEntry(lib, "FT_SetBaudRate", f.SetBaudRate);
        BindEntry(lib, "FT_SetDataCharacteristics", f.SetDataCharacteristics);
        BindEntry(lib, "FT_SetFlowControl", f.SetFlowControl);
        BindEntry(lib, "FT_SetDtr", f.SetDtr);
        BindEntry(lib, "FT_SetRts", f.SetRts);
        BindEntry(lib, "FT_SetTimeouts", f.SetTimeouts);
        BindEntry(lib, "FT_SetLatencyTimer", f.SetLatencyTimer);
        BindEntry(lib, "FT_Purge", f.Purge);
        BindEntry(lib, "FT_GetQueueStatus", f.GetQueueStatus);
        BindEntry(lib, "FT_Read", f.Read);
        BindEntry(lib, "FT_Write", f.Write);
        CallEntry(kFtMissing, f.SetVIDPID, vid_, pid_);
    });
}

FtStatus Ftd2xx::GetDeviceInfoList(std::vector<FtDeviceInfo>& devices) {
    devices.clear();
    if (!Load()) return kFtMissing;
    uint32_t count = 0;
    FtStatus status = CallEntry(kFtMissing, fn_->CreateDeviceInfoList, &count);
    if (status != kFtOk || count == 0) return status;
    // The library fills as many nodes as it found in the call before; a device that
    // arrived in between is left for the next look.
    std::vector<DeviceListNode> nodes(count);
    uint32_t filled = count;
    status = CallEntry(kFtMissing, fn_->GetDeviceInfoList, static_cast<void*>(nodes.data()), &filled);
    if (status != kFtOk) return status;
    for (uint32_t i = 0; i < filled && i < count; ++i) {
        const DeviceListNode& node = nodes[i];
        devices.push_back({node.flags, node.type, node.id, node.locationId,
                           FixedText(node.serialNumber, sizeof node.serialNumber),
                           FixedText(node.description, sizeof node.description), node.handle != nullptr});
    }
    return kFtOk;
}

FtStatus Ftd2xx::OpenBySerialNumber(const std::string& serial, FtHandle* handle) {
    *handle = nullptr;
    if (!Load()) return kFtMissing;
    // The library takes the serial number through its untyped first argument.
    return CallEntry(kFtMissing, fn_->OpenEx, const_cast<char*>(serial.c_str()), kFtOpenBySerialNumber,
                     handle);
}

FtStatus Ftd2xx::Close(FtHandle h) {
    return CallEntry(kFtMissing, fn_->Close, h);
}
FtStatus Ftd2xx::SetBaudRate(FtHandle h, uint32_t rate) {
    return CallEntry(kFtMissing, fn_->SetBaudRate, h, rate);
}
FtStatus Ftd2xx::SetDataCharacteristics(FtHandle h, uint8_t bits, uint8_t stopBits, uint8_t parity) {
    return CallEntry(kFtMissing, fn_->SetDataCharacteristics, h, bits, stopBits, parity);
}
FtStatus Ftd2xx::SetFlowControl(FtHandle h, uint16_t mode, uint8_t xon, uint8_t xoff) {
    return CallEntry(kFtMissing, fn_->SetFlowControl, h, mode, xon, xoff);
}
FtStatus Ftd2xx::SetDtr(FtHandle h) {
    return CallEntry(kFtMissing, fn_->SetDtr, h);
}
FtStatus Ftd2xx::SetRts(FtHandle h) {
    return CallEntry(kFtMissing, fn_->SetRts, h);
}
FtStatus Ftd2xx::SetTimeouts(FtHandle h, uint32_t readMs, uint32_t writeMs) {
    return CallEntry(kFtMissing, fn_->SetTimeouts, h, readMs, writeMs);
}
FtStatus Ftd2xx::SetLatencyTimer(FtHandle h, uint8_t ms) {
    return CallEntry(kFtMissing, fn_->SetLatencyTimer, h, ms);
}
FtStatus Ftd2xx::Purge(FtHandle h, uint32_t mask) {
    return CallEntry(kFtMissing, fn_->Purge, h, mask);
}
FtStatus Ftd2xx::GetQueueStatus(FtHandle h, uint32_t* rxBytes) {
    *rxBytes = 0;
    return CallEntry(kFtMissing, fn_->GetQueueStatus, h, rxBytes);
}
FtStatus Ftd2xx::Read(FtHandle h, void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    return CallEntry(kFtMissing, fn_->Read, h, buffer, size, got);
}
FtStatus Ftd2xx::Write(FtHandle h, const void* buffer, uint32_t size, uint32_t* written) {
    *written = 0;
    return CallEntry(kFtMissing, fn_->Write, h, const_cast<void*>(buffer), size, written);
}

} // namespace kq::platform
