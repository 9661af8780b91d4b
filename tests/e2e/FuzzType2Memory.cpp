// Fuzz target: hostile Type 2 tag memory, read and then written through the tag
// handler. The input is an NTAG213's memory from its CC (page 3) on; the tag lies on
// a simulated reader reached over a pty, as in the end-to-end tests.
#include "FuzzSimReader.h"
#include "kqlmx.h"
#include "sim/Simulator.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kFirstPage = 3;
constexpr int kLastPage = 0x2C;

using Reader = kqtest::FuzzSimReader;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Reader reader;
    kqsim::TagImage image;
    image.set("kind", "ntag213");
    for (int page = kFirstPage; page <= kLastPage && size >= 4; ++page, data += 4, size -= 4)
        image.setRow("page", page, kqsim::Bytes(data, data + 4));
    std::string error;
    const kqsim::TagId id = reader.sim.placeTag(kqsim::Type2Tag::load(image, error));

    char text[16384];
    const int n = KQLMX_ReadTag(reader.port, text, sizeof text);
    if (n >= 0 && std::string(text).size() != static_cast<size_t>(n)) std::abort();
    if (n < 0 && KQLMX_GetLastError(reader.port) == 0) std::abort(); // a failure always has a reason
    const char json[] = R"({"TEXT" : {"TITLE" : "fuzz"}})";
    KQLMX_WriteTag(reader.port, json, sizeof json - 1, nullptr, 0, 0);
    reader.sim.removeTag(id);
    reader.sim.clearLog();
    return 0;
}
