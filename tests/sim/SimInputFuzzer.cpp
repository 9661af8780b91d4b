// Fuzz target: any bytes a host may send reach the simulated reader (each protocol
// type, tags of both families in the field), and any text may be offered as a tag
// image. Neither may crash, hang or read out of bounds.
#include "sim/InProcessEndpoint.h"
#include "sim/Iso15693Tag.h"
#include "sim/Simulator.h"
#include "sim/TagFactory.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kqsim;
    if (size == 0) return 0;
    std::uint8_t selector = data[0];
    ++data;
    --size;
    if (selector & 0x80) {
        std::string error;
        auto image = TagImage::parse(std::string(reinterpret_cast<const char*>(data), size), error);
        if (image) {
            auto tag = loadTag(*image, error);
            if (tag) {
                TagImage again;
                tag->save(again);
            }
        }
        return 0;
    }
    ReaderConfig config;
    config.protocolType = selector & 0x03;
    config.apduPartSize = (selector >> 2) & 0x0F;
    Simulator sim(config);
    sim.placeTag(Type2Tag::blank(Type2Tag::Model::Generic, {}, 300));
    sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213));
    sim.placeTag(Iso15693Tag::blank());
    InProcessEndpoint host(sim);
    // Feed in pieces so that frames also arrive split.
    std::size_t piece = (selector >> 4 & 0x07) + 1;
    for (std::size_t pos = 0; pos < size; pos += piece) {
        std::size_t n = std::min(piece, size - pos);
        host.send(Bytes(data + pos, data + pos + n));
    }
    return 0;
}
