// An ISO/IEC 14443-3 type A tag: UID of 4, 7 or 10 bytes with its cascade levels,
// ATQA and SAK, and the state machine IDLE -> READY -> ACTIVE -> HALT. The family's
// own commands (READ, WRITE, RATS, ...) reach it only in the ACTIVE state.
//
// As ISO 14443-3 has it, a tag that gets a command it cannot take (a NAK answer, or
// anything but anticollision and select while READY) falls back to IDLE, or to HALT
// when it was woken from HALT, and must be selected again.
#pragma once

#include "Tag.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace kqsim {

// What a tag sends back to one frame.
struct TagReply {
    enum class Kind { Silent, Ack, Nak, Data };
    Kind kind = Kind::Silent;
    Bytes data;
    std::uint8_t nak = 0; // the 4-bit NAK code

    static TagReply silent() { return {}; }
    static TagReply ack() { return {Kind::Ack, {}, 0}; }
    static TagReply refuse(std::uint8_t code = 0x0) { return {Kind::Nak, {}, code}; }
    static TagReply answer(Bytes data) { return {Kind::Data, std::move(data), 0}; }
};

// Time on the air of one command and its answer at 106 kbit/s (ISO/IEC 14443-2:
// 128/fc a bit, a byte 9 bits with its parity, start and end of frame) with the
// frame delay time between them; lengths count the CRC bytes, `requestBits` and
// `answerBits` the bits of short frames (REQA, ACK/NAK) beyond whole bytes.
// An answer of no bytes and no bits is silence: no delay, no frame.
std::chrono::microseconds typeAAirTime(std::size_t requestBytes, std::size_t answerBytes,
                                       std::size_t requestBits = 0, std::size_t answerBits = 0);

class TypeATag : public Tag {
public:
    enum class State { Idle, Ready, Active, Halt };

    TypeATag(Bytes uid, std::uint16_t atqa, std::uint8_t sak);

    const Bytes& uid() const override { return uid_; }
    std::uint16_t atqa() const { return atqa_; }
    std::uint8_t sak() const { return sak_; }
    State state() const { return state_; }
    int cascadeLevels() const;

    // --- what the reader sends (ISO 14443-3 anticollision layer) ---
    // REQA (wake-up false) or WUPA (true): the ATQA when the tag answers.
    std::optional<std::uint16_t> request(bool wakeUp);
    // Anticollision at cascade level 1..3 in READY: the five bytes CLn (CT or UID bytes)
    // and their BCC.
    std::optional<Bytes> anticollision(int level) const;
    // SELECT with the five bytes of cascade level `level`: the SAK when they are this
    // tag's (cascade bit 0x04 set while more levels follow); a tag in READY that is not
    // meant goes back to IDLE.
    std::optional<std::uint8_t> select(int level, const Bytes& levelBytes);
    void halt();
    // A frame of the tag family's command set in the ACTIVE state.
    TagReply transceive(const Bytes& frame);
    // How long that exchange takes: the frames on the air plus what the tag does in
    // between (programmingTime), as its datasheet gives them.
    std::chrono::microseconds exchangeTime(const Bytes& frame, const TagReply& reply) const;
    // MIFARE authentication of `block` with a six-byte key; cards with Crypto-1 override
    // it. The default sends the plain AUTH command, which other tags refuse.
    virtual TagReply authenticate(std::uint8_t block, bool keyB, const Bytes& key);
    // An APDU for an ISO 14443-4 card after its activation (RATS); nothing for tags
    // without the protocol.
    virtual std::optional<Bytes> exchangeApdu(const Bytes& apdu);

    void powerOff() override;
    TypeATag* asTypeA() override { return this; }

protected:
    // The family's commands; the base handles HLTA.
    virtual TagReply command(const Bytes& frame) = 0;
    // Time the tag takes between taking `frame` and answering it, beyond the frame
    // delay time (an EEPROM write); none unless the family says otherwise.
    virtual std::chrono::microseconds programmingTime(const Bytes& /*frame*/,
                                                      const TagReply& /*reply*/) const {
        return std::chrono::microseconds(0);
    }
    // Volatile state (sector, authentication, protocol) to forget on power loss and when
    // leaving the ACTIVE state.
    virtual void resetSession() {}
    // Falls back after an error: IDLE, or HALT when woken from HALT.
    void fallBack();

private:
    Bytes levelBytes(int level) const;

    Bytes uid_;
    std::uint16_t atqa_;
    std::uint8_t sak_;
    State state_ = State::Idle;
    bool fromHalt_ = false;
    int level_ = 1; // cascade level reached in READY
};

} // namespace kqsim
