#include "platform/UsbXpress.h"

#include "platform/DebugOutput.h"

#include <cstring>

namespace kq::platform {

// The bridge library's calls as it exports them: 32-bit words, 16-bit words and bytes,
// handles as pointers; the overlapped argument of reads and writes is always null.
struct UsbXpress::Entries {
    SiStatus (*GetNumDevices)(uint32_t*) = nullptr;
    SiStatus (*GetProductString)(uint32_t, void*, uint32_t) = nullptr;
    SiStatus (*Open)(uint32_t, SiHandle*) = nullptr;
    SiStatus (*Close)(SiHandle) = nullptr;
    SiStatus (*Read)(SiHandle, void*, uint32_t, uint32_t*, void*) = nullptr;
    SiStatus (*Write)(SiHandle, void*, uint32_t, uint32_t*, void*) = nullptr;
    SiStatus (*FlushBuffers)(SiHandle, uint8_t, uint8_t) = nullptr;
    SiStatus (*SetTimeouts)(uint32_t, uint32_t) = nullptr;
    SiStatus (*CheckRXQueue)(SiHandle, uint32_t*, uint32_t*) = nullptr;
    SiStatus (*SetBaudRate)(SiHandle, uint32_t) = nullptr;
    SiStatus (*SetLineControl)(SiHandle, uint16_t) = nullptr;
    SiStatus (*SetFlowControl)(SiHandle, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, int) = nullptr;
    SiStatus (*SetBreak)(SiHandle, uint16_t) = nullptr;
};

UsbXpress::UsbXpress(std::string path) : path_(std::move(path)), fn_(std::make_unique<Entries>()) {}

UsbXpress::~UsbXpress() = default;

bool UsbXpress::Load() {
    return library_.Load(path_, [this](const DynamicLibrary& lib) {
        Entries& f = *fn_;
        BindEntry(lib, "SI_GetNumDevices", f.GetNumDevices);
        BindEntry(lib, "SI_GetProductString", f.GetProductString);
        BindEntry(lib, "SI_Open", f.Open);
        BindEntry(lib, "SI_Close", f.Close);
        BindEntry(lib, "SI_Read", f.Read);
        BindEntry(lib, "SI_Write", f.Write);
        BindEntry(lib, "SI_FlushBuffers", f.FlushBuffers);
        BindEntry(lib, "SI_SetTimeouts", f.SetTimeouts);
        BindEntry(lib, "SI_CheckRXQueue", f.CheckRXQueue);
        BindEntry(lib, "SI_SetBaudRate", f.SetBaudRate);
        BindEntry(lib, "SI_SetLineControl", f.SetLineControl);
        BindEntry(lib, "SI_SetFlowControl", f.SetFlowControl);
        BindEntry(lib, "SI_SetBreak", f.SetBreak);
    });
}

SiStatus UsbXpress::GetNumDevices(uint32_t* count) {
    *count = 0;
    if (!Load()) return kSiMissing;
    return CallEntry(kSiMissing, fn_->GetNumDevices, count);
}

SiStatus UsbXpress::GetProductString(uint32_t index, std::string& text, uint32_t option) {
    text.clear();
    if (!Load()) return kSiMissing;
    // The library writes a zero-terminated text of at most 255 characters; one more
    // zero at the end keeps an unterminated one in bounds.
    char buffer[257] = {};
    const SiStatus status =
        CallEntry(kSiMissing, fn_->GetProductString, index, static_cast<void*>(buffer), option);
    if (status == kSiOk) text.assign(buffer, strnlen(buffer, sizeof buffer - 1));
    return status;
}

SiStatus UsbXpress::Open(uint32_t index, SiHandle* handle) {
    *handle = nullptr;
    if (!Load()) return kSiMissing;
    return CallEntry(kSiMissing, fn_->Open, index, handle);
}

SiStatus UsbXpress::Close(SiHandle h) {
    return CallEntry(kSiMissing, fn_->Close, h);
}
SiStatus UsbXpress::Read(SiHandle h, void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    return CallEntry(kSiMissing, fn_->Read, h, buffer, size, got, static_cast<void*>(nullptr));
}
SiStatus UsbXpress::Write(SiHandle h, const void* buffer, uint32_t size, uint32_t* written) {
    *written = 0;
    return CallEntry(kSiMissing, fn_->Write, h, const_cast<void*>(buffer), size, written,
                     static_cast<void*>(nullptr));
}
SiStatus UsbXpress::FlushBuffers(SiHandle h, uint8_t transmit, uint8_t receive) {
    return CallEntry(kSiMissing, fn_->FlushBuffers, h, transmit, receive);
}
SiStatus UsbXpress::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!Load()) return kSiMissing;
    return CallEntry(kSiMissing, fn_->SetTimeouts, readMs, writeMs);
}
SiStatus UsbXpress::CheckRxQueue(SiHandle h, uint32_t* queued, uint32_t* queueStatus) {
    *queued = 0;
    *queueStatus = 0;
    return CallEntry(kSiMissing, fn_->CheckRXQueue, h, queued, queueStatus);
}
SiStatus UsbXpress::SetBaudRate(SiHandle h, uint32_t rate) {
    return CallEntry(kSiMissing, fn_->SetBaudRate, h, rate);
}
SiStatus UsbXpress::SetLineControl(SiHandle h, uint16_t lineControl) {
    return CallEntry(kSiMissing, fn_->SetLineControl, h, lineControl);
}
SiStatus UsbXpress::SetFlowControl(SiHandle h, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr,
                                   uint8_t dcd, bool xonXoff) {
    return CallEntry(kSiMissing, fn_->SetFlowControl, h, cts, rts, dtr, dsr, dcd, xonXoff ? 1 : 0);
}
SiStatus UsbXpress::SetBreak(SiHandle h, uint16_t state) {
    return CallEntry(kSiMissing, fn_->SetBreak, h, state);
}

} // namespace kq::platform
