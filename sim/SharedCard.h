// A card model that forwards to a card held elsewhere, so that the card outlives the tag
// it sits in: taken out of the field and put into a new tag, it keeps what it stored
// (and loses, as with power, what reset() drops). A hook may answer a command in the
// card's stead, as a card that answers wrongly on the air.
#pragma once

#include "CardModel.h"

#include <functional>
#include <memory>
#include <optional>

namespace kqsim {

class SharedCard : public CardModel {
public:
    using Hook = std::function<std::optional<Bytes>(const Bytes&)>;
    explicit SharedCard(std::shared_ptr<CardModel> card, Hook hook = {})
        : card_(std::move(card)), hook_(std::move(hook)) {}

    std::string kind() const override { return card_->kind(); }
    Bytes ats() const override { return card_->ats(); }
    Bytes processApdu(const Bytes& apdu) override {
        if (hook_)
            if (std::optional<Bytes> answer = hook_(apdu)) return *answer;
        return card_->processApdu(apdu);
    }
    void reset() override { card_->reset(); }
    Bytes memory() const override { return card_->memory(); }
    void save(TagImage& image) const override { card_->save(image); }

private:
    std::shared_ptr<CardModel> card_;
    Hook hook_;
};

} // namespace kqsim
