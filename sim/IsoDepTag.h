// A type A tag that speaks ISO/IEC 14443-4: after SELECT it takes RATS (E0h), answers
// with its card model's ATS and from then on hands APDUs to the card model. Without
// RATS, or after it has been halted or deselected, it takes no APDU.
#pragma once

#include "CardModel.h"
#include "TypeATag.h"

#include <memory>

namespace kqsim {

class IsoDepTag : public TypeATag {
public:
    // SAK 0x20 marks ISO 14443-4 compliance; ATQA 0x0344 is a common double-size one.
    IsoDepTag(Bytes uid, std::unique_ptr<CardModel> model, std::uint16_t atqa = 0x0344,
              std::uint8_t sak = 0x20);

    std::string kind() const override { return model_->kind(); }
    Bytes memory() const override { return model_->memory(); }
    void save(TagImage& image) const override;

    std::optional<Bytes> exchangeApdu(const Bytes& apdu) override;
    CardModel& model() { return *model_; }

protected:
    TagReply command(const Bytes& frame) override;
    void resetSession() override;

private:
    std::unique_ptr<CardModel> model_;
    bool activated_ = false;
};

} // namespace kqsim
