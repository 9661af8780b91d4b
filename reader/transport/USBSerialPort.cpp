#include "reader/transport/USBSerialPort.h"

#include "platform/FtdiDevice.h"
#include "platform/SerialDevice.h"
#include "reader/transport/PortName.h"
#include "reader/transport/ReaderFtdiLibrary.h"

#include <cerrno>
#include <poll.h>

namespace kq {

bool CUSBSerialPort::Open(const std::string& name, const platform::LineSettings& settings,
                          size_t writeBufferSize) {
    StopMonitoring();
    std::string device = name;
    const bool ftdi = !NormalizePortName(device);
    std::unique_ptr<platform::SerialLine> line;
    if (ftdi)
        line = platform::FtdiDevice::Open(ReaderFtdiLibrary(), device, settings);
    else
        line = platform::SerialDevice::Open(device, settings);
    if (!line) return false;
    return Attach(std::move(line), ftdi, settings, writeBufferSize);
}

bool CUSBSerialPort::Attach(std::unique_ptr<platform::SerialLine> line, bool ftdi,
                            const platform::LineSettings& settings, size_t writeBufferSize) {
    StopMonitoring();
    if (!line || !wake_.IsValid()) return false;
    line_ = std::move(line);
    ftdi_ = ftdi;
    settings_ = settings;
    writeBufferSize_ = writeBufferSize;
    return true;
}

bool CUSBSerialPort::StartMonitoring() {
    if (!line_ || thread_.joinable()) return false;
    stop_ = false;
    dead_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CUSBSerialPort::StopMonitoring() {
    if (thread_.joinable()) {
        stop_ = true;
        wake_.Signal();
        thread_.join();
    }
    line_.reset();
    ftdi_ = false;
    dead_ = false;
    std::lock_guard lock(writeMutex_);
    writeBuffer_.clear();
}

bool CUSBSerialPort::QueueWrite(std::span<const uint8_t> bytes) {
    {
        std::lock_guard lock(writeMutex_);
        if (writeBuffer_.size() + bytes.size() > writeBufferSize_) return false;
        writeBuffer_.insert(writeBuffer_.end(), bytes.begin(), bytes.end());
    }
    wake_.Signal();
    return true;
}

bool CUSBSerialPort::SetLineSettings(const platform::LineSettings& settings) {
    if (!line_ || !line_->Apply(settings)) return false;
    settings_ = settings;
    return true;
}

void CUSBSerialPort::DiscardInput() {
    std::lock_guard io(ioMutex_);
    if (line_ && !dead_) line_->PurgeInput();
    owner_.DiscardReceived();
}

void CUSBSerialPort::Run() {
    const int lineFd = line_->PollFd();
    while (!stop_) {
        bool pending;
        {
            std::lock_guard lock(writeMutex_);
            pending = !writeBuffer_.empty();
        }
        // Output that the line could not take yet waits for it to become writable.
        pollfd fds[2] = {{wake_.Fd(), POLLIN, 0},
                         {lineFd, static_cast<short>(POLLIN | (pending ? POLLOUT : 0)), 0}};
        // A line without descriptor is asked for input every millisecond.
        const int ready = poll(fds, lineFd >= 0 ? 2 : 1, lineFd >= 0 ? -1 : 1);
        if (ready < 0 && errno != EINTR) break;
        if (stop_) break;
        if (fds[0].revents) wake_.Drain();
        // Input that came before a hang-up is still delivered.
        const short lineEvents = lineFd >= 0 ? fds[1].revents : POLLIN;
        const bool readFailed = (lineEvents & (POLLIN | POLLHUP | POLLERR)) && !ReadAvailable();
        if (readFailed || (lineEvents & (POLLHUP | POLLERR | POLLNVAL)) || !WritePending()) {
            dead_ = true;
            break;
        }
    }
}

// False when the line has failed.
bool CUSBSerialPort::ReadAvailable() {
    std::lock_guard io(ioMutex_);
    uint8_t buffer[256];
    // Bounded, so that a discard never waits behind an endless stream.
    for (int round = 0; round < 16; ++round) {
        const long n = line_->Read(buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        owner_.OnReceive(std::span<const uint8_t>(buffer, static_cast<size_t>(n)));
    }
    return true;
}

// False when the line has failed; bytes the line cannot take yet stay queued.
bool CUSBSerialPort::WritePending() {
    std::lock_guard lock(writeMutex_);
    if (writeBuffer_.empty()) return true;
    const long n = line_->Write(writeBuffer_);
    if (n < 0) return false;
    writeBuffer_.erase(writeBuffer_.begin(), writeBuffer_.begin() + n);
    return true;
}

} // namespace kq
