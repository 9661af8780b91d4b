#include "IsoDepTag.h"

#include "TagImage.h"

namespace kqsim {

IsoDepTag::IsoDepTag(Bytes uid, std::unique_ptr<CardModel> model, std::uint16_t atqa, std::uint8_t sak)
    : TypeATag(std::move(uid), atqa, sak), model_(std::move(model)) {}

void IsoDepTag::save(TagImage& image) const {
    image.set("kind", kind());
    image.set("uid", toHex(uid()));
    model_->save(image);
}

TagReply IsoDepTag::command(const Bytes& frame) {
    if (frame.size() == 2 && frame[0] == 0xE0 && !activated_) { // RATS
        activated_ = true;
        return TagReply::answer(model_->ats());
    }
    return TagReply::refuse();
}

std::optional<Bytes> IsoDepTag::exchangeApdu(const Bytes& apdu) {
    if (state() != State::Active || !activated_) return std::nullopt;
    return model_->processApdu(apdu);
}

void IsoDepTag::resetSession() {
    if (activated_) model_->reset();
    activated_ = false;
}

} // namespace kqsim
