#include "platform/HidDevice.h"

#include "platform/HidReportDescriptor.h"
#include "platform/SysfsDevices.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace kq::platform {

namespace {

// The kernel's own bound on a report descriptor.
constexpr size_t kMaxDescriptorSize = 4096;

HidReportLengths ReadReportLengths(const std::string& name) {
    std::ifstream file(SysfsRoot() + "/sys/class/hidraw/" + name + "/device/report_descriptor",
                       std::ios::binary);
    std::vector<uint8_t> descriptor;
    if (file) {
        descriptor.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (descriptor.size() > kMaxDescriptorSize) descriptor.clear();
    }
    HidReportLengths lengths = ParseHidReportDescriptor(descriptor);
    if (descriptor.empty() || !lengths.valid) {
        lengths.numbered = false;
        lengths.input = lengths.output = HidDevice::kDefaultReportLength;
    }
    return lengths;
}

int ConnectSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool UsableLength(size_t length) {
    return length >= 3 && length <= HidDevice::kMaxReportLength;
}

} // namespace

std::unique_ptr<HidDevice> HidDevice::Open(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return nullptr;
    const HidReportLengths lengths = ReadReportLengths(name);
    if (!UsableLength(lengths.input) || !UsableLength(lengths.output)) return nullptr;
    const std::string path = SysfsRoot() + "/dev/" + name;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return nullptr;
    const bool socket = S_ISSOCK(info.st_mode);
    const int fd = socket ? ConnectSocket(path) : ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::unique_ptr<HidDevice>(
        new HidDevice(fd, socket, lengths.numbered, lengths.input, lengths.output));
}

HidDevice::~HidDevice() {
    ::close(fd_);
}

HidDevice::ReadStatus HidDevice::Read(std::vector<uint8_t>& report, int waitMs) {
    report.clear();
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, waitMs);
    if (ready < 0) return errno == EINTR ? ReadStatus::Nothing : ReadStatus::Gone;
    if (ready == 0) return ReadStatus::Nothing;
    if (!(entry.revents & POLLIN)) return ReadStatus::Gone; // hang-up or error only
    // One byte more than the longest report, so that an oversized one is seen as such.
    uint8_t buffer[kMaxReportLength + 2];
    uint8_t* const target = numbered_ ? buffer : buffer + 1;
    const size_t room = sizeof buffer - (numbered_ ? 0 : 1);
    const ssize_t got = socket_ ? ::recv(fd_, target, room, MSG_DONTWAIT) : ::read(fd_, target, room);
    if (got < 0) return errno == EAGAIN || errno == EINTR ? ReadStatus::Nothing : ReadStatus::Gone;
    if (got == 0) return ReadStatus::Gone; // the serving end closed
    buffer[0] = numbered_ ? buffer[0] : 0;
    report.assign(buffer, target + got);
    return ReadStatus::Report;
}

bool HidDevice::Write(std::span<const uint8_t> report, int waitMs) {
    if (report.empty()) return false;
    pollfd entry{fd_, POLLOUT, 0};
    if (::poll(&entry, 1, waitMs) <= 0 || !(entry.revents & POLLOUT)) return false;
    const ssize_t written = socket_ ? ::send(fd_, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                                    : ::write(fd_, report.data(), report.size());
    return written == static_cast<ssize_t>(report.size());
}

} // namespace kq::platform
