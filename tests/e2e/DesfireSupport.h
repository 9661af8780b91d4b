// Test equipment of the DESFire tests: the simulated reader with a simulated DESFire
// EV1 card in its field, activated, and both sides' random numbers made repeatable
// (RndA = A0 A1 A2 ..., RndB = B0 B1 B2 ...).
#pragma once

#include "TagSimReader.h"
#include "reader/sdk/DF8Crypt.h"
#include "sim/DesfireCard.h"
#include "sim/SharedCard.h"

#include <functional>
#include <memory>

namespace kqtest {

class CountingRandom final : public kq::DesfireRandom {
public:
    bool Fill(std::span<uint8_t> out) override {
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<uint8_t>(0xA0 + i);
        return true;
    }
};

class DesfireReader {
public:
    // inProcess: the reader's port reaches the simulator through a link in this process
    // (no air time, no waits), for tables of many operations.
    explicit DesfireReader(bool inProcess = false);
    ~DesfireReader();

    // Request, select and RATS; false when the card did not take them.
    bool Activate();
    // Runs fn on the simulated card under the simulator's lock (directly while the
    // card is out of the field).
    void Card(const std::function<void(kqsim::DesfireCard&)>& fn);
    // The APDUs the reader passed to the card since the last ClearLog (0x45 data).
    std::vector<Bytes> Apdus() const;
    // Reader commands since the last ClearLog that the simulator counts as tag commands.
    int TagCommands() const;
    // Puts the card (back) into the field as a new tag, powered up anew; the hook stays.
    void PutBack();
    // A card of its own in the field instead of this one.
    void Replace(const kqsim::DesfireCard& card);
    // Put back with a hook that may answer in the card's stead.
    void SetHook(kqsim::SharedCard::Hook hook);

    TagSimReader r;
    kqsim::TagId id = 0;
    int port = -1;
    std::shared_ptr<kqsim::DesfireCard> card;

private:
    CountingRandom random_;
    kqsim::SharedCard::Hook hook_;
};

} // namespace kqtest
