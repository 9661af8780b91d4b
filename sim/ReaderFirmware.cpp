#include "ReaderFirmware.h"

#include "Iso15693Tag.h"
#include "TypeATag.h"

#include <algorithm>
#include <cstdio>

namespace kqsim {

std::uint8_t answerStatus(int protocolType, std::uint8_t wireCommand, const ReaderReply& reply) {
    if (protocolType <= 1) {
        switch (reply.kind) {
        case ReaderReply::Kind::Ok:
            return 0x00;
        case ReaderReply::Kind::More:
            return 0x20;
        case ReaderReply::Kind::Error:
            break;
        }
        switch (reply.error) {
        case ReaderError::NoTag:
            return 0x01;
        case ReaderError::Collision:
            return 0x03;
        case ReaderError::AuthFailed:
            return 0x04;
        case ReaderError::TagRefused:
            return 0x11;
        case ReaderError::UnknownCommand:
            return 0x0A;
        case ReaderError::BadParameter:
            return 0x0B;
        case ReaderError::AnswerTooLong:
            return 0x0C;
        }
        return 0x0B;
    }
    if (reply.kind != ReaderReply::Kind::Error) return wireCommand;
    switch (reply.error) {
    case ReaderError::NoTag:
        return 0xC4;
    case ReaderError::Collision:
        return 0xCC;
    case ReaderError::AuthFailed:
        return 0xA4;
    case ReaderError::TagRefused:
        return 0x88;
    default:
        return 0xA0;
    }
}

ReaderFirmware::ReaderFirmware(const ReaderConfig& config, FrameLog& log, Field& field)
    : config_(config), log_(log), field_(field), baud_(config.baud), lineMode_(config.lineMode),
      rfField_(config.rfField) {}

void ReaderFirmware::setLine(int baud, int lineMode) {
    baud_ = baud;
    lineMode_ = lineMode;
}

std::optional<LineSettings> ReaderFirmware::takeLineChange() {
    auto change = lineChange_;
    lineChange_.reset();
    return change;
}

ReaderFirmware::Op ReaderFirmware::decode(std::uint8_t command) const {
    switch (command) {
    case 0x30:
        return Op::Request;
    case 0x31:
        return Op::Select;
    case 0x33:
        return Op::Authenticate;
    case 0x34:
        return Op::ReadBlock;
    case 0x35:
        return Op::WriteBlock;
    case 0x3A:
        return Op::Bank;
    case 0x41:
        return Op::Activate;
    case 0x45:
        return Op::Apdu;
    case 0x46:
        return Op::ApduNext;
    case 0xF2:
        return Op::BaudRate;
    default:
        break;
    }
    switch (config_.protocolType) {
    case 0:
    case 1:
        switch (command) {
        case 0xF0:
            return Op::Version;
        case 0xF5:
            return Op::RfField;
        case 0xF6:
            return Op::Outputs;
        case 0xFF:
            return Op::UsbMode;
        case 0x20:
            return Op::Iso15693;
        default:
            return Op::Unknown;
        }
    case 2:
        switch (command) {
        case 0x0B:
            return Op::Version;
        case 0x0C:
            return Op::RfOn;
        case 0x0D:
            return Op::RfOff;
        case 0x07:
            return Op::Outputs;
        case 0x0F:
            return Op::UsbMode;
        case 0x28:
            return Op::Iso15693;
        default:
            return Op::Unknown;
        }
    default:
        switch (command) {
        case 0x60:
            return Op::Version;
        case 0x0C:
            return Op::RfOn;
        case 0x0D:
            return Op::RfOff;
        case 0x07:
            return Op::Outputs;
        case 0xFF:
            return Op::UsbMode;
        case 0x21:
            return Op::Iso15693;
        default:
            return Op::Unknown;
        }
    }
}

ReaderReply ReaderFirmware::execute(const Request& request) {
    const Bytes& d = request.data;
    switch (decode(request.command)) {
    case Op::Version:
        return version(d);
    case Op::BaudRate:
        return baudRate(d);
    case Op::RfField:
        if (d.size() != 1) return ReaderReply::fail(ReaderError::BadParameter);
        return setRfField(d[0] != 0);
    case Op::RfOn:
        return setRfField(true);
    case Op::RfOff:
        return setRfField(false);
    case Op::Outputs:
        return setOutputs(d);
    case Op::UsbMode:
        return setUsbMode(d);
    case Op::Unknown:
        return ReaderReply::fail(ReaderError::UnknownCommand);
    case Op::Iso15693:
        return iso15693(d);
    default:
        break;
    }
    if (!rfField_) return ReaderReply::fail(ReaderError::NoTag); // no field, no tag
    switch (decode(request.command)) {
    case Op::Request:
        return requestA();
    case Op::Select:
        return selectA();
    case Op::Authenticate:
        return authenticate(d);
    case Op::ReadBlock:
        return readBlock(d);
    case Op::WriteBlock:
        return writeBlock(d);
    case Op::Bank:
        return selectBank(d);
    case Op::Activate:
        return activate();
    case Op::Apdu:
        return apdu(d);
    case Op::ApduNext:
        return apduNext();
    default:
        return ReaderReply::fail(ReaderError::UnknownCommand);
    }
}

bool ReaderFirmware::isTagCommand(std::uint8_t command) const {
    switch (decode(command)) {
    case Op::Request:
    case Op::Select:
    case Op::Authenticate:
    case Op::ReadBlock:
    case Op::WriteBlock:
    case Op::Bank:
    case Op::Activate:
    case Op::Apdu:
    case Op::ApduNext:
    case Op::Iso15693:
        return true;
    default:
        return false;
    }
}

// --- ISO 14443-3A / -4 ---------------------------------------------------------

std::vector<TypeATag*> ReaderFirmware::typeATags() const {
    std::vector<TypeATag*> tags;
    for (const Field::Entry& e : field_.entries())
        if (TypeATag* t = e.tag->asTypeA()) tags.push_back(t);
    return tags;
}

ReaderReply ReaderFirmware::requestA() {
    apduPending_.clear();
    auto tags = typeATags();
    for (TypeATag* t : tags)
        if (t->state() == TypeATag::State::Active) t->halt();
    // The first WUPA sends tags left in READY back to IDLE; the second wakes them.
    for (int attempt = 0; attempt < 2; ++attempt) {
        tagTime_ += typeAAirTime(0, 2, 7, 0); // WUPA (7 bits), ATQA
        bool answered = false;
        std::uint16_t atqa = 0;
        for (TypeATag* t : tags) {
            if (auto a = t->request(true)) {
                atqa |= *a; // colliding ATQA bits read as ones
                answered = true;
            }
        }
        if (answered)
            return ReaderReply::ok(
                {static_cast<std::uint8_t>(atqa & 0xFF), static_cast<std::uint8_t>(atqa >> 8)});
    }
    return ReaderReply::fail(ReaderError::NoTag);
}

ReaderReply ReaderFirmware::selectA() {
    apduPending_.clear();
    auto tags = typeATags();
    Bytes uid;
    for (int level = 1; level <= 3; ++level) {
        // ANTICOLLISION (SEL, NVB) with the five bytes of the level, SELECT (SEL, NVB, the
        // five bytes, CRC) with the SAK and its CRC.
        tagTime_ += typeAAirTime(2, 5) + typeAAirTime(9, 3);
        std::vector<std::pair<TypeATag*, Bytes>> candidates;
        for (TypeATag* t : tags)
            if (auto b = t->anticollision(level)) candidates.emplace_back(t, *b);
        if (candidates.empty()) return ReaderReply::fail(ReaderError::NoTag);
        // Bit-wise anticollision in transmission order (byte 0 bit 0 first): at a bit where
        // the answers differ, the reader goes on with the tags that sent a 1.
        for (int bit = 0; bit < 40; ++bit) {
            std::size_t byte = static_cast<std::size_t>(bit / 8);
            std::uint8_t m = static_cast<std::uint8_t>(1 << (bit % 8));
            bool anyOne = false, anyZero = false;
            for (auto& c : candidates)
                (c.second[byte] & m ? anyOne : anyZero) = true;
            if (anyOne && anyZero)
                candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                                [&](const auto& c) { return !(c.second[byte] & m); }),
                                 candidates.end());
        }
        Bytes chosen = candidates.front().second;
        std::optional<std::uint8_t> sak;
        for (TypeATag* t : tags) {
            if (auto s = t->select(level, chosen); s && !sak) sak = s;
        }
        if (!sak) return ReaderReply::fail(ReaderError::NoTag);
        bool more = *sak & 0x04;
        uid.insert(uid.end(), chosen.begin() + (more ? 1 : 0), chosen.begin() + 4);
        if (!more) {
            Bytes answer{*sak};
            answer.insert(answer.end(), uid.begin(), uid.end());
            return ReaderReply::ok(std::move(answer));
        }
    }
    return ReaderReply::fail(ReaderError::NoTag);
}

ReaderReply ReaderFirmware::toActiveTag(const Bytes& frame, ReaderError nakError) {
    std::vector<TagReply> replies;
    std::chrono::microseconds longest = typeAAirTime(frame.size() + 2, 0); // no tag answers
    for (TypeATag* t : typeATags()) {
        TagReply r = t->transceive(frame);
        longest = std::max(longest, t->exchangeTime(frame, r));
        if (r.kind != TagReply::Kind::Silent) replies.push_back(std::move(r));
    }
    tagTime_ += longest;
    if (replies.empty()) return ReaderReply::fail(ReaderError::NoTag);
    for (const TagReply& r : replies)
        if (r.kind != replies[0].kind || r.data != replies[0].data)
            return ReaderReply::fail(ReaderError::Collision);
    switch (replies[0].kind) {
    case TagReply::Kind::Nak:
        return ReaderReply::fail(nakError);
    case TagReply::Kind::Data:
        return ReaderReply::ok(std::move(replies[0].data));
    default:
        return ReaderReply::ok();
    }
}

ReaderReply ReaderFirmware::authenticate(const Bytes& data) {
    if (data.empty() || data.size() != std::size_t{data[0]} + 9)
        return ReaderReply::fail(ReaderError::BadParameter);
    std::size_t pos = 1 + data[0];
    std::uint8_t block = data[pos];
    bool keyB = data[pos + 1] & 0x01;
    Bytes key(data.begin() + static_cast<std::ptrdiff_t>(pos + 2), data.end());
    std::optional<TagReply> reply;
    // Three-pass authentication on the air: AUTH (command, block, CRC) and the card's
    // nonce, then the reader's token and the card's answer.
    tagTime_ += typeAAirTime(4, 4) + typeAAirTime(8, 4);
    for (TypeATag* t : typeATags()) {
        if (t->state() != TypeATag::State::Active) continue;
        TagReply r = t->authenticate(block, keyB, key);
        if (r.kind != TagReply::Kind::Silent && !reply) reply = r;
    }
    if (!reply) return ReaderReply::fail(ReaderError::NoTag);
    if (reply->kind == TagReply::Kind::Nak) return ReaderReply::fail(ReaderError::AuthFailed);
    return ReaderReply::ok();
}

ReaderReply ReaderFirmware::readBlock(const Bytes& data) {
    if (data.size() != 1) return ReaderReply::fail(ReaderError::BadParameter);
    return toActiveTag({0x30, data[0]});
}

ReaderReply ReaderFirmware::writeBlock(const Bytes& data) {
    if (data.size() != 5 && data.size() != 17) return ReaderReply::fail(ReaderError::BadParameter);
    Bytes frame{static_cast<std::uint8_t>(data.size() == 5 ? 0xA2 : 0xA0)};
    frame.insert(frame.end(), data.begin(), data.end());
    ReaderReply r = toActiveTag(frame);
    if (r.kind == ReaderReply::Kind::Ok && !r.payload.empty())
        return ReaderReply::fail(ReaderError::TagRefused);
    return r;
}

ReaderReply ReaderFirmware::selectBank(const Bytes& data) {
    if (data.size() != 1) return ReaderReply::fail(ReaderError::BadParameter);
    ReaderReply first = toActiveTag({0xC2, 0xFF});
    if (first.kind != ReaderReply::Kind::Ok) return first;
    // Packet 2: the sector; a tag that takes it stays silent (passive ACK).
    ReaderReply second = toActiveTag({data[0], 0x00, 0x00, 0x00});
    if (second.kind == ReaderReply::Kind::Error && second.error == ReaderError::NoTag)
        return ReaderReply::ok();
    return second.kind == ReaderReply::Kind::Error ? second : ReaderReply::fail(ReaderError::TagRefused);
}

ReaderReply ReaderFirmware::activate() {
    return toActiveTag({0xE0, 0x50});
}

ReaderReply ReaderFirmware::apdu(const Bytes& data) {
    apduPending_.clear();
    std::optional<Bytes> response;
    for (TypeATag* t : typeATags()) {
        if (t->state() != TypeATag::State::Active) continue;
        auto r = t->exchangeApdu(data);
        if (!r) continue;
        if (response && *response != *r) return ReaderReply::fail(ReaderError::Collision);
        response = std::move(r);
    }
    if (!response) return ReaderReply::fail(ReaderError::NoTag);
    apduPending_ = std::move(*response);
    return apduPart();
}

ReaderReply ReaderFirmware::apduNext() {
    if (apduPending_.empty()) return ReaderReply::fail(ReaderError::BadParameter);
    return apduPart();
}

ReaderReply ReaderFirmware::apduPart() {
    std::size_t part = maxPlainPayload(config_.protocolType);
    if (config_.apduPartSize > 0) part = std::min(part, static_cast<std::size_t>(config_.apduPartSize));
    if (apduPending_.size() <= part) {
        Bytes all = std::move(apduPending_);
        apduPending_.clear();
        return ReaderReply::ok(std::move(all));
    }
    if (config_.protocolType != 0) {
        // Only protocol type 0 can say that more data follows.
        apduPending_.clear();
        return ReaderReply::fail(ReaderError::AnswerTooLong);
    }
    Bytes first(apduPending_.begin(), apduPending_.begin() + static_cast<std::ptrdiff_t>(part));
    apduPending_.erase(apduPending_.begin(), apduPending_.begin() + static_cast<std::ptrdiff_t>(part));
    return ReaderReply::more(std::move(first));
}

// --- ISO 15693 -----------------------------------------------------------------

ReaderReply ReaderFirmware::vicinityAnswer(const Bytes& response) const {
    if (config_.protocolType != 2) return ReaderReply::ok(response);
    Bytes out{0x00};
    out.insert(out.end(), response.begin(), response.end());
    return ReaderReply::ok(std::move(out));
}

ReaderReply ReaderFirmware::vicinityFailure(ReaderError error) const {
    if (config_.protocolType == 2)
        return ReaderReply::ok({static_cast<std::uint8_t>(error == ReaderError::Collision ? 0x02 : 0x01)});
    return ReaderReply::fail(error);
}

ReaderReply ReaderFirmware::iso15693(const Bytes& data) {
    // Types 2 and 3 put a mode byte (the reader's wait for write commands) in front.
    std::size_t skip = config_.protocolType >= 2 ? 1 : 0;
    if (data.size() < skip + 2) return ReaderReply::fail(ReaderError::BadParameter);
    Bytes frame(data.begin() + static_cast<std::ptrdiff_t>(skip), data.end());
    if (!rfField_) return vicinityFailure(ReaderError::NoTag);
    if (frame[1] == 0x01 && (frame[0] & 0x04)) return inventory(frame);
    std::vector<Bytes> responses;
    long cycles = vicinityRequestCycles(frame.size() + 2); // no tag answers
    for (const Field::Entry& e : field_.entries()) {
        if (Iso15693Tag* t = e.tag->asIso15693()) {
            auto r = t->request(frame);
            cycles = std::max(cycles, t->exchangeCycles(frame, r));
            if (r) responses.push_back(std::move(*r));
        }
    }
    tagTime_ += carrierTime(cycles);
    if (responses.empty()) return vicinityFailure(ReaderError::NoTag);
    for (const Bytes& r : responses)
        if (r != responses[0]) return vicinityFailure(ReaderError::Collision);
    return vicinityAnswer(responses[0]);
}

ReaderReply ReaderFirmware::inventory(const Bytes& frame) {
    std::uint8_t flags = frame[0];
    std::size_t pos = 2;
    std::optional<std::uint8_t> afi;
    if (flags & 0x10) {
        if (frame.size() <= pos) return ReaderReply::fail(ReaderError::BadParameter);
        afi = frame[pos++];
    }
    if (frame.size() <= pos) return ReaderReply::fail(ReaderError::BadParameter);
    int maskLength = frame[pos++];
    std::size_t maskBytes = static_cast<std::size_t>(maskLength + 7) / 8;
    if (maskLength > 64 || frame.size() != pos + maskBytes)
        return ReaderReply::fail(ReaderError::BadParameter);
    Bytes mask(frame.begin() + static_cast<std::ptrdiff_t>(pos), frame.end());

    std::vector<Iso15693Tag*> answering;
    for (const Field::Entry& e : field_.entries())
        if (Iso15693Tag* t = e.tag->asIso15693())
            if (t->answersInventory(afi, maskLength, mask)) answering.push_back(t);

    const std::uint8_t collision = config_.protocolType == 3 ? 0xCC : 0x02;
    auto record = [&](Bytes& out, const std::vector<Iso15693Tag*>& inSlot) {
        if (inSlot.empty()) {
            out.insert(out.end(), {0x01, 0x01});
        } else if (inSlot.size() > 1) {
            out.insert(out.end(), {0x01, collision});
        } else {
            out.insert(out.end(), {0x0B, 0x00});
            Bytes r = inSlot[0]->inventoryResponse();
            out.insert(out.end(), r.begin(), r.end());
        }
    };

    // The request, then each slot: the answers of its tags (flags, DSFID, UID, CRC;
    // colliding answers take as long), and from the second slot on the EOF that opens it.
    const std::size_t slots = (flags & 0x20) ? 1 : 16;
    long cycles = vicinityRequestCycles(frame.size() + 2) + kVicinityEofCycles * static_cast<long>(slots - 1);
    for (std::size_t slot = 0; slot < slots; ++slot) {
        auto inSlot = [&](Iso15693Tag* t) {
            return slots == 1 || t->slot(maskLength) == static_cast<int>(slot);
        };
        if (std::any_of(answering.begin(), answering.end(), inSlot)) cycles += vicinityAnswerCycles(12);
    }
    tagTime_ += carrierTime(cycles);

    Bytes out;
    if (flags & 0x20) { // one slot
        if (config_.protocolType == 3) {
            if (answering.empty()) return ReaderReply::fail(ReaderError::NoTag);
            if (answering.size() > 1) return ReaderReply::fail(ReaderError::Collision);
            return ReaderReply::ok(answering[0]->inventoryResponse());
        }
        if (config_.protocolType == 2 && answering.size() != 1)
            return vicinityFailure(answering.empty() ? ReaderError::NoTag : ReaderError::Collision);
        record(out, answering);
        return ReaderReply::ok(std::move(out));
    }
    for (int slot = 0; slot < 16; ++slot) {
        std::vector<Iso15693Tag*> inSlot;
        for (Iso15693Tag* t : answering)
            if (t->slot(maskLength) == slot) inSlot.push_back(t);
        record(out, inSlot);
    }
    return ReaderReply::ok(std::move(out));
}

ReaderReply ReaderFirmware::version(const Bytes& data) const {
    std::string text = versionText(config_.typeCode, config_.firmwareDigit);
    if (config_.protocolType == 2) {
        // Readers of this protocol answer the plain version command with a fixed
        // short identification (04 05 "15"); their model and firmware come with the
        // "FV" sub-command.
        if (data == Bytes{'F', 'V'}) return ReaderReply::ok(Bytes(text.begin(), text.end()));
        return ReaderReply::ok({0x04, 0x05, '1', '5'});
    }
    if (config_.protocolType == 3) {
        // Nine bytes: a four-byte hardware identification ("KQ", protocol 3, revision 1),
        // the four version characters and a closing zero.
        Bytes answer{'K', 'Q', 0x03, 0x01};
        answer.insert(answer.end(), text.begin(), text.end());
        answer.push_back(0x00);
        return ReaderReply::ok(std::move(answer));
    }
    return ReaderReply::ok(Bytes(text.begin(), text.end()));
}

ReaderReply ReaderFirmware::baudRate(const Bytes& data) {
    if (data.size() != 1) return ReaderReply::fail(ReaderError::BadParameter);
    int rate = baudForCode(data[0] & 0x0F);
    int mode = data[0] >> 4;
    if (rate < 0 || mode > kLine8N2) return ReaderReply::fail(ReaderError::BadParameter);
    lineChange_ = LineSettings{rate, mode, true};
    return ReaderReply::ok();
}

ReaderReply ReaderFirmware::setRfField(bool on) {
    if (on != rfField_) log_.event(on ? "RF field on" : "RF field off");
    if (!on) {
        field_.powerOff(); // the tags lose power and forget their state
        apduPending_.clear();
    }
    rfField_ = on;
    return ReaderReply::ok();
}

ReaderReply ReaderFirmware::setOutputs(const Bytes& data) {
    if (data.size() != 2) return ReaderReply::fail(ReaderError::BadParameter);
    std::uint8_t mask = data[0];
    std::uint8_t value = data[1];
    outputs_ = static_cast<std::uint8_t>((outputs_ & ~mask) | (value & mask));
    auto now = Clock::now();
    outputHistory_.push_back({now, mask, value, outputs_});
    char text[64];
    std::snprintf(text, sizeof text, "outputs mask %02X value %02X -> %02X", mask, value, outputs_);
    log_.event(text, now);
    return ReaderReply::ok();
}

ReaderReply ReaderFirmware::setUsbMode(const Bytes& data) {
    // 1 HID, 2 virtual COM. The simulator records the mode and keeps serving the line it
    // is on; a real reader would come back as the other kind of USB device.
    if (data.size() != 1 || (data[0] != 1 && data[0] != 2))
        return ReaderReply::fail(ReaderError::BadParameter);
    usbMode_ = data[0];
    log_.event(usbMode_ == 1 ? "USB mode HID" : "USB mode virtual COM");
    return ReaderReply::ok();
}

} // namespace kqsim
