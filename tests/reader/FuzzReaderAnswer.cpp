// The answer side of the frame layer on arbitrary reader bytes: the wait's scan and
// the check, status and strip of every protocol type, and the ISO 15693 step.
#include "reader/transport/ReaderFrame.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int type = data[0] & 3;
    const uint8_t expected = data[1];
    kq::Bytes received(data + 2, data + size);

    received.erase(received.begin(), received.begin() + static_cast<long>(kq::LeadingNoise(received, type)));
    size_t length = kq::CompleteAnswerLength(received, type);
    if (length > received.size()) std::abort();
    if (length == 0) length = received.size();
    const std::span<const uint8_t> frame(received.data(), length);

    kq::Bytes payload;
    const kq::AnswerVerdict verdict = kq::ParseAnswer(frame, type, expected, payload);
    if (verdict.good && payload.size() > frame.size()) std::abort();
    if (verdict.good) kq::ParseIso15693Payload(payload, type);
    return 0;
}
