// Fuzz target: hostile MIFARE Classic and ISO 15693 tag memory, read, written and
// locked through the tag handler. The first input byte picks the tag (even: a Classic
// 1K, its MAD and first five sectors from block 1 on; odd: the 28 blocks of an ISO
// 15693 tag from block 0 on; bit 1 set: made read-only before the write); the tag lies
// on a simulated reader in the same process.
#include "FuzzSimReader.h"
#include "kqlmx.h"
#include "sim/ClassicTag.h"
#include "sim/Iso15693Tag.h"
#include "sim/Simulator.h"
#include "sim/TagImage.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Reader = kqtest::FuzzSimReader;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Reader reader;
    if (size == 0) return 0;
    const bool classic = (data[0] & 1) == 0;
    const bool lockFirst = (data[0] & 2) != 0; // the lock meets the hostile memory, not the written one
    ++data;
    --size;
    kqsim::TagImage image;
    image.set("kind", classic ? "classic1k" : "icode");
    const size_t blockSize = classic ? 16 : 4;
    const int first = classic ? 1 : 0, last = classic ? 23 : 27;
    for (int b = first; b <= last && size >= blockSize; ++b, data += blockSize, size -= blockSize)
        image.setRow("block", b, kqsim::Bytes(data, data + blockSize));
    std::string error;
    const kqsim::TagId id =
        classic ? reader.sim.placeTag(kqsim::ClassicTag::load(image, error))
                : reader.sim.placeTag(kqsim::Iso15693Tag::load(image, error));

    char text[16384];
    const int n = KQLMX_ReadTag(reader.port, text, sizeof text);
    if (n >= 0 && std::string(text).size() != static_cast<size_t>(n)) std::abort();
    if (n < 0 && KQLMX_GetLastError(reader.port) == 0) std::abort(); // a failure always has a reason
    if (lockFirst && KQLMX_LockTag(reader.port, nullptr, 0) < 0 && KQLMX_GetLastError(reader.port) == 0)
        std::abort();
    const char json[] = R"({"TEXT" : {"TITLE" : "fuzz"}})";
    if (KQLMX_WriteTag(reader.port, json, sizeof json - 1, nullptr, 0, 1) < 0 && KQLMX_GetLastError(reader.port) == 0)
        std::abort();
    reader.sim.removeTag(id);
    reader.sim.clearLog();
    return 0;
}
