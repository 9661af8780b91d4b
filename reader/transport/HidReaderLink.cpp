#include "reader/transport/HidReaderLink.h"

#include "reader/transport/PortEnumeration.h"
#include "reader/transport/PortHandleRegistry.h"

#include <algorithm>
#include <vector>

namespace kq {

namespace {

// How long a report may take to leave before the send counts as failed.
constexpr int kWriteWaitMs = 50;
constexpr int kReadWaitMs = 1;
constexpr int kMaxDiscardReads = 1000;

} // namespace

bool CHidReaderLink::Open(const std::string& name) {
    Close();
    for (const platform::HidrawDevice& device : AcceptedHidReaders()) {
        if (HidReaderName(device.uniq) != name) continue;
        device_ = platform::HidDevice::Open(device.name);
        if (!device_) continue; // one that cannot be opened is passed over, as the walk does
        name_ = name;
        handle_ = PortHandleRegistry::Hid().Allocate();
        return true;
    }
    return false;
}

bool CHidReaderLink::WriteReport(std::span<const uint8_t> report) {
    return device_->Write(report, kWriteWaitMs);
}

bool CHidReaderLink::SendControlReport(uint8_t m) {
    if (!device_) return false;
    std::vector<uint8_t> report(std::max<size_t>(device_->OutputReportLength(), 4), 0);
    report[1] = 0x82;
    report[2] = 0x10;
    report[3] = m;
    return WriteReport(report);
}

bool CHidReaderLink::WriteData(std::span<const uint8_t> bytes) {
    if (!device_) return false;
    const size_t length = device_->OutputReportLength();
    const size_t chunk = length - 2;
    for (size_t pos = 0; pos < bytes.size(); pos += chunk) {
        const size_t n = std::min(chunk, bytes.size() - pos);
        std::vector<uint8_t> report(length, 0);
        report[1] = static_cast<uint8_t>(n);
        std::copy_n(bytes.begin() + static_cast<long>(pos), n, report.begin() + 2);
        if (!WriteReport(report)) return false;
    }
    return true;
}

size_t CHidReaderLink::ReadInput(uint8_t* buffer, size_t size) {
    if (!device_) return 0;
    std::vector<uint8_t> report;
    switch (device_->Read(report, kReadWaitMs)) {
    case platform::HidDevice::ReadStatus::Nothing:
        return 0;
    case platform::HidDevice::ReadStatus::Gone:
        CloseDevice();
        return 0;
    case platform::HidDevice::ReadStatus::Report:
        break;
    }
    if (report.size() < device_->InputReportLength()) return 0;
    const size_t n = std::min({static_cast<size_t>(report[1]), report.size() - 2, size});
    std::copy_n(report.begin() + 2, n, buffer);
    return n;
}

bool CHidReaderLink::Poll() {
    uint8_t buffer[100];
    const size_t n = ReadInput(buffer, sizeof buffer);
    if (n) owner_.OnReceive(std::span<const uint8_t>(buffer, n));
    return n != 0;
}

void CHidReaderLink::Discard() {
    uint8_t scratch[10];
    // Bounded: a device that never stops reporting must not hold the send.
    for (int reads = 0; reads < kMaxDiscardReads && ReadInput(scratch, sizeof scratch) > 0; ++reads) {
    }
    owner_.DiscardReceived();
}

void CHidReaderLink::Close() {
    if (device_) SendControlReport(1);
    CloseDevice();
}

void CHidReaderLink::CloseDevice() {
    device_.reset();
    if (handle_ != 0) {
        PortHandleRegistry::Hid().Release(handle_);
        handle_ = 0;
    }
}

} // namespace kq
