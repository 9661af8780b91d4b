#include "DesfireSupport.h"

#include "kqlmx.h"
#include "sim/IsoDepTag.h"

#include <gtest/gtest.h>

namespace kqtest {

DesfireReader::DesfireReader() {
    auto card = std::make_unique<kqsim::DesfireCard>();
    card->setRandom([](size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i)
            b[i] = static_cast<uint8_t>(0xB0 + i);
        return b;
    });
    id = r.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(Hex("04 5E 1F 72 3A 5C 80"), std::move(card)));
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
    ASSERT_TRUE(r.sim.withTag(id, [&fn](kqsim::Tag& tag) {
        fn(static_cast<kqsim::DesfireCard&>(static_cast<kqsim::IsoDepTag&>(tag).model()));
    }));
}

std::vector<Bytes> DesfireReader::Apdus() const {
    std::vector<Bytes> apdus;
    for (const Bytes& c : r.Commands(0x45))
        apdus.emplace_back(c.begin() + 1, c.end());
    return apdus;
}

} // namespace kqtest
