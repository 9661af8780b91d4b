#include "ReaderE2eSupport.h"

namespace kqe2e {

uint8_t VersionCommand(int protocolType) {
    switch (protocolType) {
    case 2:
        return 0x0B;
    case 3:
        return 0x60;
    default:
        return 0xF0;
    }
}

kqsim::ReaderConfig Reader(int protocolType) {
    kqsim::ReaderConfig config;
    config.typeCode = 0x184;
    config.firmwareDigit = 4;
    config.protocolType = protocolType;
    config.address = 1;
    config.baud = 19200;
    return config;
}

Bytes Version(int handle, int capacity) {
    Bytes buffer(static_cast<size_t>(capacity));
    const int n = KQLMX_GetReaderVersion(handle, buffer.data(), capacity);
    if (n < 0) return {};
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

std::string VersionText(int handle) {
    const Bytes version = Version(handle);
    return std::string(version.begin(), version.end());
}

std::string ReaderName(int handle) {
    char name[64] = {};
    KQLMX_GetReaderName(handle, name, sizeof name);
    return name;
}

Bytes HostBytes(const kqsim::Simulator& sim) {
    Bytes bytes;
    for (const kqsim::LogEntry& entry : sim.log()) {
        if (entry.kind == kqsim::LogKind::Received || entry.kind == kqsim::LogKind::Discarded)
            bytes.insert(bytes.end(), entry.bytes.begin(), entry.bytes.end());
    }
    return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace kqe2e
