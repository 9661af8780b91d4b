#include "DesfireSupport.h"

#include "FuzzSimReader.h"

#include "kqlmx.h"
#include "sim/IsoDepTag.h"

#include <gtest/gtest.h>

namespace kqtest {

namespace {
Bytes CountingB(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(0xB0 + i);
    return b;
}
} // namespace

DesfireReader::DesfireReader(bool inProcess) : card(std::make_shared<kqsim::DesfireCard>()) {
    card->setRandom(CountingB);
    PutBack();
    if (inProcess) {
        KQLMX_ClosePort(r.port);
        kq::CNfcTagHandler::SetFieldOffPause(0);
        r.port = kq::CKQ_LMX_SDKApp::Get().OpenPortOnLink(
            [this](kq::ReceiveSink& sink) { return std::make_unique<InProcessReaderLink>(sink, r.sim); }, 0);
        EXPECT_GT(r.port, 0);
    }
    port = r.port;
    kq::DesfireRandom::Install(&random_);
    EXPECT_TRUE(Activate());
    r.ClearLog();
}

DesfireReader::~DesfireReader() {
    kq::DesfireRandom::Install(nullptr);
}

bool DesfireReader::Activate() {
    short atqa = 0;
    unsigned char uid[10];
    char sak = 0;
    unsigned char ats[32];
    return KQLMX_RequestTag(port, &atqa) == 0 && KQLMX_SelectTag(port, uid, sizeof uid, &sak) == 7 &&
           KQLMX_RequestAts(port, ats, sizeof ats) > 0;
}

void DesfireReader::Card(const std::function<void(kqsim::DesfireCard&)>& fn) {
    if (!r.sim.withTag(id, [&](kqsim::Tag&) { fn(*card); })) fn(*card);
}

int DesfireReader::TagCommands() const {
    return r.sim.tagCommandCount();
}

void DesfireReader::PutBack() {
    r.sim.removeAllTags();
    card->reset();
    id = r.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Hex("04 5E 1F 72 3A 5C 80"),
                                                           std::make_unique<kqsim::SharedCard>(card, hook_)));
}

void DesfireReader::Replace(const kqsim::DesfireCard& other) {
    card = std::make_shared<kqsim::DesfireCard>(other);
    card->setRandom(CountingB);
    PutBack();
}

void DesfireReader::SetHook(kqsim::SharedCard::Hook hook) {
    hook_ = std::move(hook);
    PutBack();
}

std::vector<Bytes> DesfireReader::Apdus() const {
    std::vector<Bytes> apdus;
    for (const Bytes& c : r.Commands(0x45))
        apdus.emplace_back(c.begin() + 1, c.end());
    return apdus;
}

} // namespace kqtest
