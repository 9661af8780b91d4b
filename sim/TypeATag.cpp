#include "TypeATag.h"

namespace kqsim {

namespace {
constexpr std::uint8_t kCascadeTag = 0x88;
constexpr std::uint8_t kSakCascade = 0x04;
} // namespace

std::chrono::microseconds typeAAirTime(std::size_t requestBytes, std::size_t answerBytes,
                                       std::size_t requestBits, std::size_t answerBits) {
    constexpr double kBitMicros = 128.0 / 13.56;         // one bit at fc / 128
    constexpr double kFrameDelayMicros = 1236.0 / 13.56; // PCD to PICC, last bit 0: (9 x 128 + 84) / fc
    auto frameBits = [](std::size_t bytes, std::size_t bits) { return 9.0 * bytes + bits + 2; };
    double micros = frameBits(requestBytes, requestBits) * kBitMicros;
    if (answerBytes + answerBits > 0)
        micros += kFrameDelayMicros + frameBits(answerBytes, answerBits) * kBitMicros;
    return std::chrono::microseconds(static_cast<long>(micros + 0.5));
}

TypeATag::TypeATag(Bytes uid, std::uint16_t atqa, std::uint8_t sak)
    : uid_(std::move(uid)), atqa_(atqa), sak_(sak) {}

int TypeATag::cascadeLevels() const {
    return uid_.size() <= 4 ? 1 : uid_.size() <= 7 ? 2 : 3;
}

Bytes TypeATag::levelBytes(int level) const {
    // Single: UID0-3. Double: CT UID0-2 | UID3-6. Triple: CT UID0-2 | CT UID3-5 | UID6-9.
    Bytes b;
    int levels = cascadeLevels();
    std::size_t first = static_cast<std::size_t>(level - 1) * 3;
    if (level < levels) {
        b = {kCascadeTag, uid_[first], uid_[first + 1], uid_[first + 2]};
    } else {
        b.assign(uid_.begin() + static_cast<std::ptrdiff_t>(first), uid_.end());
    }
    b.push_back(static_cast<std::uint8_t>(b[0] ^ b[1] ^ b[2] ^ b[3]));
    return b;
}

std::optional<std::uint16_t> TypeATag::request(bool wakeUp) {
    switch (state_) {
    case State::Idle:
        break;
    case State::Halt:
        if (!wakeUp) return std::nullopt;
        break;
    default:
        // Not a command for READY or ACTIVE: the tag falls back silently.
        fallBack();
        return std::nullopt;
    }
    fromHalt_ = state_ == State::Halt;
    state_ = State::Ready;
    level_ = 1;
    return atqa_;
}

std::optional<Bytes> TypeATag::anticollision(int level) const {
    if (state_ != State::Ready || level != level_) return std::nullopt;
    return levelBytes(level);
}

std::optional<std::uint8_t> TypeATag::select(int level, const Bytes& bytes) {
    if (state_ != State::Ready || level != level_) return std::nullopt;
    if (bytes != levelBytes(level)) {
        fallBack();
        return std::nullopt;
    }
    if (level < cascadeLevels()) {
        ++level_;
        return kSakCascade;
    }
    state_ = State::Active;
    resetSession();
    return sak_;
}

void TypeATag::halt() {
    if (state_ == State::Active) resetSession();
    state_ = State::Halt;
}

TagReply TypeATag::transceive(const Bytes& frame) {
    if (state_ != State::Active) {
        if (state_ == State::Ready) fallBack();
        return TagReply::silent();
    }
    if (frame.size() == 2 && frame[0] == 0x50 && frame[1] == 0x00) { // HLTA
        halt();
        return TagReply::silent();
    }
    TagReply reply = command(frame);
    if (reply.kind == TagReply::Kind::Nak) fallBack();
    return reply;
}

std::chrono::microseconds TypeATag::exchangeTime(const Bytes& frame, const TagReply& reply) const {
    constexpr std::size_t kCrc = 2;
    std::chrono::microseconds air(0);
    switch (reply.kind) {
    case TagReply::Kind::Silent:
        air = typeAAirTime(frame.size() + kCrc, 0);
        break;
    case TagReply::Kind::Ack:
    case TagReply::Kind::Nak:
        air = typeAAirTime(frame.size() + kCrc, 0, 0, 4);
        break;
    case TagReply::Kind::Data:
        air = typeAAirTime(frame.size() + kCrc, reply.data.size() + kCrc);
        break;
    }
    return air + programmingTime(frame, reply);
}

TagReply TypeATag::authenticate(std::uint8_t block, bool keyB, const Bytes&) {
    return transceive({static_cast<std::uint8_t>(keyB ? 0x61 : 0x60), block});
}

std::optional<Bytes> TypeATag::exchangeApdu(const Bytes&) {
    return std::nullopt;
}

void TypeATag::powerOff() {
    resetSession();
    state_ = State::Idle;
    fromHalt_ = false;
    level_ = 1;
}

void TypeATag::fallBack() {
    if (state_ == State::Active) resetSession();
    state_ = fromHalt_ ? State::Halt : State::Idle;
    level_ = 1;
}

} // namespace kqsim
