// Fuzz target: hostile Type 2 tag memory, read and then written, locked or formatted
// through the tag handler, with the rules a user relies on checked as properties:
//   - pages behind the user memory of the tag's datasheet layout never change, but
//     for the dynamic lock bytes of a lock that answered success;
//   - a lock that answered success leaves the first and the last user page refusing a
//     raw write;
//   - a refused write leaves readable the message that was readable before;
//   - a failure always has a reason.
// Input: byte 0 picks the kind (Ultralight, Ultralight C, NTAG213/215/216) and the
// operation (write, lock, format); bytes 1-2 the length of the written text; the rest
// is the tag's memory from its CC (page 3) on. The tag lies on a simulated reader in
// the same process.
#include "FuzzSimReader.h"
#include "Type2RawWrite.h"
#include "kqlmx.h"
#include "sim/Simulator.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Kind {
    const char* kind;
    int pages;
    int lastUserPage;
    int lockPage; // -1: none
};

// From the datasheets: user memory from page 4 to the last user page, then the
// dynamic lock bytes and configuration pages.
constexpr Kind kKinds[] = {
    {"ultralight", 16, 0x0F, -1}, {"ultralightc", 48, 0x27, 0x28}, {"ntag213", 45, 0x27, 0x28},
    {"ntag215", 135, 0x81, 0x82}, {"ntag216", 231, 0xE1, 0xE2},
};

using Reader = kqtest::FuzzSimReader;

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken rule: %s\n", what);
        std::abort();
    }
}

std::string Read(int port, int* result) {
    static char text[16384];
    *result = KQLMX_ReadTag(port, text, sizeof text);
    Require(*result < 0 || std::string(text).size() == static_cast<size_t>(*result), "read length");
    Require(*result >= 0 || KQLMX_GetLastError(port) != 0, "a failed read has a reason");
    return *result >= 0 ? std::string(text, static_cast<size_t>(*result)) : std::string();
}

bool RawWriteRefused(Reader& reader, kqsim::TagId id, int page) {
    bool refused = false;
    reader.sim.withTag(id, [&](kqsim::Tag& t) {
        refused = kqtest::RawType2WriteRefused(dynamic_cast<kqsim::Type2Tag&>(t), page);
    });
    return refused;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Reader reader;
    if (size < 3) return 0;
    const Kind& k = kKinds[data[0] % 5];
    const int op = data[0] / 5 % 3;
    const size_t length = static_cast<size_t>(data[1] << 8 | data[2]) % 1024;
    data += 3;
    size -= 3;
    kqsim::TagImage image;
    image.set("kind", k.kind);
    for (int page = 3; page < k.pages && size >= 4; ++page, data += 4, size -= 4)
        image.setRow("page", page, kqsim::Bytes(data, data + 4));
    std::string error;
    const kqsim::TagId id = reader.sim.placeTag(kqsim::Type2Tag::load(image, error));
    const size_t behind = static_cast<size_t>(k.lastUserPage + 1) * 4;
    const kqsim::Bytes before = *reader.sim.tagMemory(id);

    const int port = reader.port;
    int readBefore = 0;
    const std::string message = Read(port, &readBefore);
    int result = 0;
    if (op == 0) {
        const std::string json = R"({"TEXT" : {"TITLE" : ")" + std::string(length, 'x') + R"("}})";
        result = KQLMX_WriteTag(port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0);
    } else if (op == 1) {
        result = KQLMX_LockTag(port, nullptr, 0);
    } else {
        result = KQLMX_FormatTag(port, nullptr, 0);
    }
    Require(result == 0 || KQLMX_GetLastError(port) != 0, "a failure has a reason");
    const kqsim::Bytes after = *reader.sim.tagMemory(id);
    for (size_t i = behind; i < after.size(); ++i) {
        const bool lockBytes = k.lockPage >= 0 && i / 4 == static_cast<size_t>(k.lockPage);
        Require(after[i] == before[i] || (op == 1 && result == 0 && lockBytes), "nothing behind the user memory changes");
    }
    if (op == 0 && result != 0 && readBefore >= 0) {
        int readAfter = 0;
        Require(Read(port, &readAfter) == message && readAfter == readBefore, "a refused write keeps the message");
    }
    if (op == 1 && result == 0) {
        Require(RawWriteRefused(reader, id, 4), "a locked tag's first user page refuses a write");
        Require(RawWriteRefused(reader, id, k.lastUserPage), "a locked tag's last user page refuses a write");
    }
    reader.sim.removeTag(id);
    reader.sim.clearLog();
    return 0;
}
