// The module packet reader on arbitrary module bytes, fed in arbitrary pieces: every
// packet taken fits what was there, and the raw input never grows beyond what came in.
#include "reader/transport/BluetoothModulePacket.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kq::Bytes raw;
    size_t pos = 0;
    while (pos < size) {
        const size_t piece = 1 + data[pos] % 64;
        const size_t end = pos + piece < size ? pos + piece : size;
        raw.insert(raw.end(), data + pos, data + end);
        pos = end;
        for (;;) {
            const size_t before = raw.size();
            std::optional<kq::ModulePacket> packet = kq::TakeModulePacket(raw);
            if (!packet) break;
            if (packet->payload.size() + kq::kModulePacketOverhead > before - raw.size()) std::abort();
            if (packet->payload.size() + kq::kModulePacketOverhead > kq::kModuleBufferSize) std::abort();
        }
        if (raw.size() > size) std::abort();
    }
    return 0;
}
