#include "reader/tags/Type2Layout.h"

#include <algorithm>

namespace kq {

namespace {

constexpr uint8_t kNxpMaker = 0x04;
constexpr int kDataPage = 4;
constexpr int kPageSize = 4;
constexpr uint8_t kProt = 0x80;
constexpr uint8_t kAuth1WritesOnly = 0x01;
constexpr int kUltralightCAuth0Limit = 0x2F; // AUTH0 from 30h on guards nothing

// The user memory ends where the configuration, the lock bytes or the keys begin; a
// READ reaches the dynamic lock bytes and the configuration (password pages read as
// zeros) but not the Ultralight C's key.
constexpr Type2Layout kLayouts[] = {
    {"Ultralight", 16, 12, -1, 0, 0, false, 0x06, -1, Type2Guard::kNone},
    // Also Ultralight EV1 MF0UL11: CFG0 10h, CFG1 11h, PWD 12h, PACK 13h.
    {"NTAG210", 20, 12, -1, 0, 0, false, 0x06, 0x10, Type2Guard::kNtag},
    // Also Ultralight EV1 MF0UL21: lock bytes 24h (10 bits, 2 pages each; byte 2
    // block-locking), CFG0 25h to PACK 28h.
    {"NTAG212", 41, 32, 0x24, 10, 2, false, 0x10, 0x25, Type2Guard::kNtag},
    // Lock bytes 28h as its shipped Lock Control TLV 01 03 A0 10 44 names them (16
    // bits: byte 0 as on the Ultralight C, byte 1 the counter at 29h); no password.
    {"NTAG203", 42, 36, 0x28, 16, 4, true, 0x12, -1, Type2Guard::kNone},
    // Lock bytes 28h (byte 1 covers the pages behind the user memory), counter 29h,
    // AUTH0 2Ah, AUTH1 2Bh, key 2Ch-2Fh (never read).
    {"Ultralight C", 44, 36, 0x28, 8, 4, true, 0x12, 0x2A, Type2Guard::kUltralightC},
    // Lock bytes 28h (one bit per 2 pages; byte 2 block-locking), CFG0 29h to PACK 2Ch.
    {"NTAG213", 45, 36, 0x28, 12, 2, false, 0x12, 0x29, Type2Guard::kNtag},
    // Shipped with a CC that states less than the user memory; one lock bit per 16 pages.
    {"NTAG215", 135, 126, 0x82, 8, 16, false, 0x3E, 0x83, Type2Guard::kNtag},
    {"NTAG216", 231, 222, 0xE2, 14, 16, false, 0x6D, 0xE3, Type2Guard::kNtag},
};

const Type2Page* Find(const Type2Pages& read, int page) {
    const auto found = read.find(page);
    return found == read.end() ? nullptr : &found->second;
}

// AUTH0 and whether the password guards reads, as far as the configuration was read
// (-1: not read).
struct Guard {
    int auth0 = -1;
    int readsGuarded = -1;
};

Guard GuardRead(const Type2Layout& layout, const Type2Pages& read) {
    Guard guard;
    const Type2Page* first = Find(read, layout.configPage);
    const Type2Page* second = Find(read, layout.configPage + 1);
    if (layout.guard == Type2Guard::kNtag) {
        if (first) guard.auth0 = (*first)[3];
        if (second) guard.readsGuarded = ((*second)[0] & kProt) != 0;
    } else if (layout.guard == Type2Guard::kUltralightC) {
        if (first) guard.auth0 = (*first)[0] <= kUltralightCAuth0Limit ? (*first)[0] : kType2NoGuard;
        if (second) guard.readsGuarded = ((*second)[0] & kAuth1WritesOnly) == 0;
    }
    return guard;
}

// A layout whose reads end at `refused` because its password guards them from there.
bool StoppedThere(const Type2Layout& layout, int refused, const Type2Pages& read) {
    if (layout.guard == Type2Guard::kNone || layout.readablePages <= refused) return false;
    const Guard guard = GuardRead(layout, read);
    return (guard.auth0 < 0 || guard.auth0 == refused) && guard.readsGuarded != 0;
}

// A layout that ends at `refused`, whose configuration read does not guard reads before.
bool EndsThere(const Type2Layout& layout, int refused, const Type2Pages& read) {
    if (layout.readablePages != refused) return false;
    const Guard guard = GuardRead(layout, read);
    return !(guard.readsGuarded == 1 && guard.auth0 >= 0 && guard.auth0 < refused);
}

size_t UserBytes(const Type2Layout& layout, int refused) {
    return static_cast<size_t>(std::min(layout.userPages, refused - kDataPage)) * kPageSize;
}

bool Bit(const Type2Page& bytes, int bit) {
    return (bytes[static_cast<size_t>(bit / 8)] >> (bit % 8)) & 1;
}

} // namespace

std::span<const Type2Layout> Type2Layouts() {
    return kLayouts;
}

bool Type2CcNames(const Type2Layout& layout, uint8_t ccSize) {
    return ccSize == layout.shippedCc || ccSize * 8 == layout.userPages * kPageSize;
}

std::vector<const Type2Layout*> Type2Candidates(uint8_t maker, uint8_t ccSize, int refused,
                                                const Type2Pages& read) {
    std::vector<const Type2Layout*> found;
    if (maker != kNxpMaker) return found;
    const Type2Layout* exact = nullptr;
    std::vector<const Type2Layout*> named; // of those stopped there, the ones the CC names
    for (const Type2Layout& layout : kLayouts) {
        if (EndsThere(layout, refused, read)) exact = &layout;
        if (StoppedThere(layout, refused, read)) {
            found.push_back(&layout);
            if (Type2CcNames(layout, ccSize)) named.push_back(&layout);
        }
    }
    if (!exact) return found;
    named.insert(named.begin(), exact);
    return named;
}

size_t Type2WriteRoom(std::span<const Type2Layout* const> candidates, int refused) {
    size_t room = static_cast<size_t>(std::max(refused - kDataPage, 0)) * kPageSize;
    for (const Type2Layout* layout : candidates)
        room = std::min(room, UserBytes(*layout, refused));
    return room;
}

size_t Type2ReadRoom(std::span<const Type2Layout* const> candidates, int refused) {
    if (candidates.empty()) return Type2WriteRoom(candidates, refused);
    size_t room = 0;
    for (const Type2Layout* layout : candidates)
        room = std::max(room, UserBytes(*layout, refused));
    return room;
}

int Type2FirstGuardedPage(const Type2Layout& layout, const Type2Pages& read, int refused) {
    if (layout.guard == Type2Guard::kNone) return kType2NoGuard;
    const Guard guard = GuardRead(layout, read);
    return guard.auth0 >= 0 ? guard.auth0 : refused;
}

bool Type2GuardStopsWrite(int guarded, int first, int last, bool sure) {
    return guarded <= last && (sure || guarded > first);
}

bool Type2PageLocked(const Type2Layout* layout, const Type2Page& lockPage, const Type2Page& dynamic,
                     int page) {
    if (page < 3) return true;
    if (page < kType2FirstDynamicPage)
        return (page < 8 ? lockPage[2] >> page : lockPage[3] >> (page - 8)) & 1;
    if (!layout || layout->dynamicLockPage < 0 || layout->pagesPerLockBit <= 0) return false;
    int bit = (page - kType2FirstDynamicPage) / layout->pagesPerLockBit;
    if (layout->ultralightCBits) bit += bit < 3 ? 1 : 2;
    return Bit(dynamic, bit);
}

bool Type2LockFrozen(const Type2Layout* layout, const Type2Page& lockPage, const Type2Page& dynamic) {
    // Static block-locking bits (byte 2 bits 0-2) hold the lock bits of the CC (byte 2
    // bit 3), of pages 4-9 (byte 2 bits 4-7, byte 3 bits 0-1) and of pages 10-15
    // (byte 3 bits 2-7).
    const uint8_t lock0 = lockPage[2], lock1 = lockPage[3];
    if (((lock0 & 0x01) && !(lock0 & 0x08)) ||
        ((lock0 & 0x02) && ((lock0 & 0xF0) != 0xF0 || (lock1 & 0x03) != 0x03)) ||
        ((lock0 & 0x04) && (lock1 & 0xFC) != 0xFC))
        return true;
    if (!layout || layout->dynamicLockPage < 0) return false;
    if (layout->ultralightCBits)
        return ((dynamic[0] & 0x01) && (dynamic[0] & 0x0E) != 0x0E) ||
               ((dynamic[0] & 0x10) && (dynamic[0] & 0xE0) != 0xE0);
    // Each block-locking bit of byte 2 holds two lock bits.
    for (int block = 0; block < 8; ++block) {
        if (!Bit(dynamic, 16 + block)) continue;
        for (int bit = 2 * block; bit < 2 * block + 2 && bit < layout->dynamicLockBits; ++bit)
            if (!Bit(dynamic, bit)) return true;
    }
    return false;
}

Type2Page Type2DynamicLockBytes(const Type2Layout& layout) {
    Type2Page bytes{};
    for (int bit = 0; bit < layout.dynamicLockBits; ++bit)
        bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(1 << (bit % 8));
    return bytes;
}

bool Type2SetsConfigLock(const Type2Layout& layout, int firstGuardedPage) {
    return layout.guard == Type2Guard::kNtag && firstGuardedPage > layout.configPage + 1;
}

} // namespace kq
