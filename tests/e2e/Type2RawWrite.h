// A WRITE sent to a simulated Type 2 tag itself, past the reader and the reader
// library, after activating it as a reader does: whether the tag refuses it. What a
// lock promises is checked this way, not by the bytes the lock wrote.
#pragma once

#include "sim/Type2Tag.h"

#include <cstdint>

namespace kqtest {

inline bool RawType2WriteRefused(kqsim::Type2Tag& tag, int page) {
    tag.powerOff();
    if (!tag.request(true)) return false;
    for (int level = 1; level <= tag.cascadeLevels(); ++level) {
        const auto levelBytes = tag.anticollision(level);
        if (!levelBytes || !tag.select(level, *levelBytes)) return false;
    }
    return tag.transceive({0xA2, static_cast<std::uint8_t>(page), 0x55, 0x55, 0x55, 0x55}).kind ==
           kqsim::TagReply::Kind::Nak;
}

} // namespace kqtest
