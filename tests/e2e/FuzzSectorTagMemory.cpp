// Fuzz target: hostile MIFARE Classic and ISO 15693 tag memory, read, written, formatted
// and locked through the tag handler, checked against the rules a user relies on, not
// only for crashes. Input: byte 0 picks the tag (bit 0 clear: a MIFARE Classic, a 4K
// when bit 3 is set, else a 1K, its blocks 1-23 from the input: the MAD and sectors
// 1-5; bit 0 set: the 28 blocks of an ISO 15693 tag from block 0 on) and the operation
// (bits 1-2: write, format, lock, write and lock); byte 1 the message's length (4
// characters a step); the rest is memory. The tag lies on a simulated reader in the same
// process. Checked after each operation:
//   - a failure always has a reason;
//   - nothing another application owns changes (Classic: the sectors a MAD, flagged as
//     one in sector 0's GPB, gives to another application, and their entries), nor
//     anything outside the NDEF area (Classic: block 0 and every sector the MAD does not
//     list as NDEF afterwards; ISO 15693: the blocks behind the data area its CC states
//     afterwards);
//   - a refused write, format or lock leaves readable the message that was readable
//     before; a write that succeeded reads back as written.
#include "FuzzSimReader.h"
#include "kqlmx.h"
#include "sim/ClassicTag.h"
#include "sim/Iso15693Tag.h"
#include "sim/Simulator.h"
#include "sim/TagImage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using kqsim::Bytes;
using Reader = kqtest::FuzzSimReader;

void Check(bool ok, const char* rule) {
    if (ok) return;
    std::fprintf(stderr, "rule broken: %s\n", rule);
    std::abort();
}

// The first message as record JSON text, or "<none>" (with the failure's reason).
std::string Read(const Reader& reader) {
    std::string text(16384, '\0');
    const int n = KQLMX_ReadTag(reader.port, text.data(), static_cast<int>(text.size()));
    if (n < 0) {
        Check(KQLMX_GetLastError(reader.port) != 0, "a failed read has a reason");
        return "<none>";
    }
    Check(std::string(text.c_str()).size() == static_cast<size_t>(n), "the read's length is the text's");
    return text.substr(0, static_cast<size_t>(n));
}

// --- MIFARE Classic, as the MAD application note lays it out ---

int FirstBlock(int sector) {
    return sector < 32 ? 4 * sector : 128 + 16 * (sector - 32);
}
int BlocksIn(int sector) {
    return sector < 32 ? 4 : 16;
}
Bytes Sector(const Bytes& memory, int sector) {
    const auto at = memory.begin() + 16 * FirstBlock(sector);
    return Bytes(at, at + 16 * BlocksIn(sector));
}
// The two bytes of sector s's entry in MAD1 (blocks 1-2; sectors 1-15) or MAD2 (blocks
// 64-66; sectors 17-39); CRC and info byte come first in each.
Bytes Entry(const Bytes& memory, int s) {
    const size_t at = s < 16 ? 16 + 2 * static_cast<size_t>(s) : 64 * 16 + 2 * static_cast<size_t>(s - 16);
    return Bytes(memory.begin() + static_cast<long>(at), memory.begin() + static_cast<long>(at) + 2);
}
bool NdefEntry(const Bytes& e) {
    return e[0] == 0x03 && e[1] == 0xE1;
}
bool FreeEntry(const Bytes& e) {
    return e[0] == 0x00 && e[1] == 0x00;
}

void CheckClassic(const Bytes& before, const Bytes& after, int sectors) {
    Check(Bytes(after.begin(), after.begin() + 16) == Bytes(before.begin(), before.begin() + 16),
          "block 0 stays");
    const uint8_t gpb = before[3 * 16 + 9];
    const bool mad = gpb & 0x80;                             // DA: sector 0 holds a MAD
    const bool mad2 = mad && sectors > 16 && (gpb & 3) == 2; // ... and a MAD2 in sector 16
    for (int s = 1; s < sectors; ++s) {
        if (s == 16) continue;
        const bool described = s < 16 || mad2;
        const Bytes entry = Entry(before, s);
        if (mad && described && !NdefEntry(entry) && !FreeEntry(entry)) {
            Check(Entry(after, s) == entry, "another application's MAD entry stays");
            Check(Sector(after, s) == Sector(before, s), "another application's sector stays");
        }
        if (!NdefEntry(Entry(after, s)))
            Check(Sector(after, s) == Sector(before, s), "a sector outside the NDEF area stays");
    }
}

// The first sector the MAD lists as NDEF that has the NFC key and a GPB of a valid NDEF
// sector: where the message begins. -1 when there is none.
int FirstNdefSector(const Bytes& memory, int sectors) {
    const Bytes nfcKey = {0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7};
    for (int s = 1; s < sectors; ++s) {
        if (s == 16 || !NdefEntry(Entry(memory, s))) continue;
        const auto trailer = memory.begin() + 16 * (FirstBlock(s) + BlocksIn(s) - 1);
        const uint8_t access = trailer[9] & 0x0F;
        if (Bytes(trailer, trailer + 6) == nfcKey && !(trailer[9] & 0x80) && (access == 0 || access == 3))
            return s;
    }
    return -1;
}

// Raw writes to `block` with the NFC key as key A and the transport key as key B, as
// another program would try them: both refused.
bool ClassicRefusesRawWrites(const Reader& reader, int block) {
    const uint8_t nfcKey[6] = {0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7},
                  transport[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t bytes[16] = {0x5A};
    short atqa = 0;
    unsigned char uid[10];
    char sak = 0;
    for (const uint8_t* key : {nfcKey, transport}) {
        if (KQLMX_RequestTag(reader.port, &atqa) != 0 ||
            KQLMX_SelectTag(reader.port, uid, sizeof uid, &sak) < 0)
            return false;
        if (KQLMX_AuthenticateBlock(reader.port, nullptr, 0, key == nfcKey ? 0 : 1, key, 6, block) == 0 &&
            KQLMX_WriteBlock(reader.port, block, bytes, 16) == 0)
            return false;
    }
    return true;
}

// --- ISO 15693, as NFC Forum Type 5 lays it out ---

constexpr int kVicinityBlocks = 28;

void CheckVicinity(const Bytes& before, const Bytes& after) {
    // The data area the CC states afterwards (none without a CC); the tag's own size caps it.
    const int area = after[0] == 0xE1 ? std::min(after[2] * 8, kVicinityBlocks * 4) : 0;
    for (size_t i = static_cast<size_t>((area + 3) / 4) * 4; i < before.size(); ++i)
        Check(after[i] == before[i], "a block behind the data area stays");
}

bool VicinityRefusesRawWrites(const Reader& reader) {
    const uint8_t bytes[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    for (int block = 0; block < kVicinityBlocks; ++block)
        if (KQLMX_Iso15693WriteBlocks(reader.port, block, bytes, 4, nullptr, 0, 0) == 0) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Reader reader;
    if (size < 2) return 0;
    const bool classic = (data[0] & 1) == 0;
    const bool is4K = classic && (data[0] & 8);
    const int op = (data[0] >> 1) & 3; // 0 write, 1 format, 2 lock, 3 write and lock
    const std::string json = R"({"TEXT" : {"TITLE" : ")" + std::string(4u * data[1], 'f') + R"("}})";
    data += 2;
    size -= 2;
    kqsim::TagImage image;
    image.set("kind", classic ? (is4K ? "classic4k" : "classic1k") : "icode");
    const size_t blockSize = classic ? 16 : 4;
    const int first = classic ? 1 : 0, last = classic ? 23 : kVicinityBlocks - 1;
    for (int b = first; b <= last && size >= blockSize; ++b, data += blockSize, size -= blockSize)
        image.setRow("block", b, Bytes(data, data + blockSize));
    std::string error;
    const kqsim::TagId id = classic ? reader.sim.placeTag(kqsim::ClassicTag::load(image, error))
                                    : reader.sim.placeTag(kqsim::Iso15693Tag::load(image, error));
    if (id == 0) return 0;

    const std::string old = Read(reader);
    const Bytes before = *reader.sim.tagMemory(id);
    int result = 0;
    switch (op) {
    case 0:
    case 3:
        result =
            KQLMX_WriteTag(reader.port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, op == 3);
        break;
    case 1:
        result = KQLMX_FormatTag(reader.port, nullptr, 0);
        break;
    default:
        result = KQLMX_LockTag(reader.port, nullptr, 0);
        break;
    }
    Check(result == 0 || KQLMX_GetLastError(reader.port) != 0, "a failure has a reason");
    const Bytes after = *reader.sim.tagMemory(id);
    if (classic)
        CheckClassic(before, after, is4K ? 40 : 16);
    else
        CheckVicinity(before, after);

    const std::string now = Read(reader);
    if (result != 0) {
        // A write and lock may have written before its lock was refused.
        if (op != 3) Check(now == old, "a refused operation leaves the old message readable");
    } else if (op == 0 || op == 3) {
        Check(now == json, "a written message reads back");
    } else if (op == 1) {
        Check(now.empty(), "a formatted tag reads as empty");
    } else {
        Check(now == old, "a lock keeps the message");
    }
    // After a lock, the tag itself refuses raw writes where the message lies.
    if (result == 0 && op >= 2 && now != "<none>") {
        const int sector = classic ? FirstNdefSector(*reader.sim.tagMemory(id), is4K ? 40 : 16) : -1;
        Check(classic ? sector > 0 && ClassicRefusesRawWrites(reader, FirstBlock(sector))
                      : VicinityRefusesRawWrites(reader),
              "a locked tag refuses raw writes");
    }
    reader.sim.removeTag(id);
    reader.sim.clearLog();
    return 0;
}
