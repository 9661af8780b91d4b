#include "Fault.h"

#include <utility>

namespace kqsim {

namespace {
Fault make(Fault::Kind kind) {
    Fault f;
    f.kind = kind;
    return f;
}
} // namespace

Fault Fault::silence() {
    return make(Kind::Silence);
}

Fault Fault::delay(PhaseDelays delays) {
    Fault f = make(Kind::Delay);
    f.delays = delays;
    return f;
}

Fault Fault::noise(Bytes bytes) {
    Fault f = make(Kind::Noise);
    f.bytes = std::move(bytes);
    return f;
}

Fault Fault::trailing(Bytes bytes) {
    Fault f = make(Kind::Trailing);
    f.bytes = std::move(bytes);
    return f;
}

Fault Fault::badCheck() {
    return make(Kind::BadCheck);
}

Fault Fault::status(std::uint8_t status) {
    Fault f = make(Kind::Status);
    f.value = status;
    return f;
}

Fault Fault::chain(int blockSize) {
    Fault f = make(Kind::Chain);
    f.value = blockSize;
    return f;
}

Fault Fault::maxLength(std::uint8_t fill) {
    Fault f = make(Kind::MaxLength);
    f.bytes = {fill};
    return f;
}

Fault Fault::payload(Bytes bytes) {
    Fault f = make(Kind::Payload);
    f.bytes = std::move(bytes);
    return f;
}

Fault Fault::dropLink() {
    return make(Kind::DropLink);
}

} // namespace kqsim
