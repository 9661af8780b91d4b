#include "platform/FtdiDevice.h"

#include <algorithm>

namespace kq::platform {

std::unique_ptr<FtdiDevice> FtdiDevice::Open(Ftd2xx& library, const std::string& serial,
                                             const LineSettings& settings) {
    FtHandle handle = nullptr;
    if (library.OpenBySerialNumber(serial, &handle) != kFtOk || !handle) return nullptr;
    std::unique_ptr<FtdiDevice> device(new FtdiDevice(library, handle));
    // Answers are taken within a few milliseconds of their last byte.
    library.SetLatencyTimer(handle, 2);
    // Reads only take what is queued; a write that the device never takes gives up.
    library.SetTimeouts(handle, 1, 1000);
    device->Apply(settings);
    library.SetFlowControl(handle, kFtFlowNone, 0x11, 0x13);
    library.SetDtr(handle);
    library.SetRts(handle);
    library.Purge(handle, kFtPurgeRx | kFtPurgeTx);
    return device;
}

FtdiDevice::~FtdiDevice() {
    library_.Close(handle_);
}

long FtdiDevice::Read(std::span<uint8_t> out) {
    uint32_t queued = 0;
    if (library_.GetQueueStatus(handle_, &queued) != kFtOk) return -1;
    if (queued == 0 || out.empty()) return 0;
    uint32_t got = 0;
    const auto size = static_cast<uint32_t>(std::min<size_t>(queued, out.size()));
    if (library_.Read(handle_, out.data(), size, &got) != kFtOk) return -1;
    return static_cast<long>(std::min(got, size));
}

long FtdiDevice::Write(std::span<const uint8_t> bytes) {
    uint32_t written = 0;
    if (library_.Write(handle_, bytes.data(), static_cast<uint32_t>(bytes.size()), &written) != kFtOk)
        return -1;
    return static_cast<long>(std::min<size_t>(written, bytes.size()));
}

bool FtdiDevice::Apply(const LineSettings& settings) {
    if (settings.baudRate <= 0) return false;
    const uint8_t stop = settings.stopBits == 2 ? kFtStopBits2 : kFtStopBits1;
    const uint8_t parity = settings.parity == Parity::Odd    ? kFtParityOdd
                           : settings.parity == Parity::Even ? kFtParityEven
                                                             : kFtParityNone;
    const bool rate = library_.SetBaudRate(handle_, static_cast<uint32_t>(settings.baudRate)) == kFtOk;
    const bool frame = library_.SetDataCharacteristics(handle_, static_cast<uint8_t>(settings.dataBits), stop,
                                                       parity) == kFtOk;
    return rate && frame;
}

void FtdiDevice::PurgeInput() {
    library_.Purge(handle_, kFtPurgeRx);
}

} // namespace kq::platform
