// Fuzz target: hostile Type 2 tag memory and configuration, read and then written,
// locked or formatted through the tag handler, with the rules a user relies on checked
// as properties:
//   - pages behind the user memory of the tag's datasheet layout never change, but
//     for the dynamic lock bytes and CFGLCK of a lock that answered success;
//   - a lock that answered success leaves every user page refusing a raw write;
//   - a write that answered success reads back exactly and changed no page outside
//     the message area (page 3 only on a tag it formatted);
//   - a write or lock refused for a reason knowable before its first write (too large,
//     write-protected, locked, not formatted or of a newer version, a layout not
//     certain) changed nothing, and a refused write leaves the old message readable;
//   - a failure always has a reason.
// Input: byte 0 picks the chip (Ultralight, Ultralight C, NTAG203, NTAG210, NTAG212,
// Ultralight EV1 MF0UL11/21, NTAG213/215/216) and the operation (write, lock, format);
// bytes 1-2 the length of the written text; byte 3 AUTH0; byte 4 bit 0 PROT (Ultralight
// C: AUTH1 = 0), bit 1 CFGLCK, bit 2 whether the configuration bytes apply; bytes 5-6
// the static lock bytes; bytes 7-10 the dynamic lock bytes (block-locking bits too);
// the rest is the tag's memory from its CC (page 3) on, the configuration above it. The
// tag lies on a simulated reader in the same process.
#include "FuzzSimReader.h"
#include "Type2RawWrite.h"
#include "kqlmx.h"
#include "sim/Simulator.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

struct Kind {
    const char* kind;
    int pages;
    int lastUserPage;
    int lockPage;   // -1: none
    int configPage; // NTAG21x / EV1: CFG0 (CFG1 follows); Ultralight C: AUTH0 (AUTH1 follows); -1: none
    bool ultralightC;
};

// From the datasheets: user memory from page 4 to the last user page, then the
// dynamic lock bytes and configuration pages.
constexpr Kind kKinds[] = {
    {"ultralight", 16, 0x0F, -1, -1, false},   {"ultralightc", 48, 0x27, 0x28, 0x2A, true},
    {"ntag203", 42, 0x27, 0x28, -1, false},    {"ntag210", 20, 0x0F, -1, 0x10, false},
    {"ntag212", 41, 0x23, 0x24, 0x25, false},  {"mf0ul11", 20, 0x0F, -1, 0x10, false},
    {"mf0ul21", 41, 0x23, 0x24, 0x25, false},  {"ntag213", 45, 0x27, 0x28, 0x29, false},
    {"ntag215", 135, 0x81, 0x82, 0x83, false}, {"ntag216", 231, 0xE1, 0xE2, 0xE3, false},
};
constexpr size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

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

// Errors of a refusal whose reason is known before the first write.
bool KnownBeforehand(int error) {
    return error == 0x20004 || error == 0x2000C || error == 0x2000E || error == 0x20010 || error == 0x20014 ||
           error == 0x20017;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Reader reader;
    if (size < 11) return 0;
    const Kind& k = kKinds[data[0] % kKindCount];
    const int op = data[0] / kKindCount % 3;
    const size_t length = static_cast<size_t>(data[1] << 8 | data[2]) % 1024;
    const uint8_t auth0 = data[3], flags = data[4];
    const kqsim::Bytes staticLocks(data + 5, data + 7), dynamicLocks(data + 7, data + 11);
    data += 11;
    size -= 11;
    kqsim::TagImage image;
    image.set("kind", k.kind);
    std::map<int, kqsim::Bytes> pages;
    for (int page = 3; page < k.pages && size >= 4; ++page, data += 4, size -= 4)
        pages[page] = kqsim::Bytes(data, data + 4);
    {
        // The page as it stands so far (shipped, or from the input), to change bytes of.
        const auto blank = kqsim::Type2Tag::blank(*kqsim::Type2Tag::modelFor(k.kind));
        const auto at = [&](int page) -> kqsim::Bytes& {
            if (!pages.count(page)) pages[page] = blank->page(page);
            return pages[page];
        };
        at(2)[2] = staticLocks[0];
        at(2)[3] = staticLocks[1];
        if (k.lockPage >= 0) at(k.lockPage) = dynamicLocks;
        if (k.configPage >= 0 && (flags & 0x04)) {
            if (k.ultralightC) {
                at(k.configPage)[0] = auth0;
                at(k.configPage + 1)[0] = (flags & 0x01) ? 0x00 : 0x01;
            } else {
                at(k.configPage)[3] = auth0;
                at(k.configPage + 1)[0] =
                    static_cast<uint8_t>(((flags & 0x01) ? 0x80 : 0) | ((flags & 0x02) ? 0x40 : 0));
            }
        }
    }
    for (const auto& [page, bytes] : pages)
        image.setRow("page", page, bytes);
    std::string error;
    const kqsim::TagId id = reader.sim.placeTag(kqsim::Type2Tag::load(image, error));
    const size_t behind = static_cast<size_t>(k.lastUserPage + 1) * 4;
    const kqsim::Bytes before = *reader.sim.tagMemory(id);

    const int port = reader.port;
    int readBefore = 0;
    const std::string message = Read(port, &readBefore);
    const kqsim::Bytes read = *reader.sim.tagMemory(id); // a read changes nothing either
    Require(read == before, "a read changes nothing");
    int result = 0;
    const std::string json = R"({"TEXT" : {"TITLE" : ")" + std::string(length, 'x') + R"("}})";
    if (op == 0) {
        result = KQLMX_WriteTag(port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0);
    } else if (op == 1) {
        result = KQLMX_LockTag(port, nullptr, 0);
    } else {
        result = KQLMX_FormatTag(port, nullptr, 0);
    }
    const int failure = result < 0 ? KQLMX_GetLastError(port) : 0;
    Require(result >= 0 || failure != 0, "a failure has a reason");
    const kqsim::Bytes after = *reader.sim.tagMemory(id);
    for (size_t i = behind; i < after.size(); ++i) {
        const size_t page = i / 4;
        const bool lockBytes = k.lockPage >= 0 && page == static_cast<size_t>(k.lockPage);
        const bool configLock =
            !k.ultralightC && k.configPage >= 0 && i == static_cast<size_t>(k.configPage + 1) * 4;
        Require(after[i] == before[i] || (op == 1 && result == 0 && (lockBytes || configLock)),
                "nothing behind the user memory changes");
    }
    Require(std::equal(after.begin(), after.begin() + 12, before.begin()) || (op == 1 && result == 0),
            "UID and lock bytes change only by a lock");
    if (result < 0 && op != 2 && KnownBeforehand(failure))
        Require(after == before, "a refusal known beforehand changes nothing");
    if (op == 0 && result != 0 && readBefore >= 0 && KnownBeforehand(failure)) {
        int readAfter = 0;
        Require(Read(port, &readAfter) == message && readAfter == readBefore,
                "a refused write keeps the message");
    }
    if (op == 0 && result >= 0) {
        int readAfter = 0;
        Require(Read(port, &readAfter) == json, "a write reads back exactly");
        const bool formatted = before[12] != 0xE1;
        Require(std::equal(after.begin() + 12, after.begin() + 16, before.begin() + 12) || formatted,
                "the CC changes only on a tag formatted");
    }
    if (op == 1 && result == 0)
        for (int page = 4; page <= k.lastUserPage; ++page)
            Require(RawWriteRefused(reader, id, page), "a locked tag's user pages refuse a write");
    reader.sim.removeTag(id);
    reader.sim.clearLog();
    return 0;
}
