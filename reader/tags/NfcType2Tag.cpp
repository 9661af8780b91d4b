#include "reader/tags/NfcType2Tag.h"

#include "content/NdefTlv.h"
#include "content/TagErrorCode.h"
#include "reader/sdk/Iso14443Commands.h"
#include "reader/tags/NfcTagHandler.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <map>
#include <vector>

namespace kq {

namespace {

constexpr size_t kPageSize = 4;
constexpr size_t kReadSize = 16; // one READ answers four pages
constexpr int kLockPage = 2;     // bytes 2-3: static lock bytes
constexpr int kCcPage = 3;
constexpr int kDataPage = 4;
constexpr uint8_t kCcMagic = 0xE1;
constexpr uint8_t kMappingVersion = 0x10;
constexpr int kMajorVersion = 1; // the high nibble of CC byte 1 that these rules read
constexpr uint8_t kReadOnly = 0x0F; // write access nibble
// The CC gives the data area size in units of 8 bytes in one byte.
constexpr size_t kMaxCcRoom = 0xFF * 8;
constexpr uint8_t kTlvTerminator = 0xFE;

// Blank tags without a CC, by their data area size: 48 bytes (16 pages) and 144
// bytes (48 pages).
constexpr size_t kSmallTagSize = 48;
constexpr size_t kLargeTagSize = 144;
constexpr uint8_t kNxpMaker = 0x04;
constexpr int kFirstProbePage = 16;
constexpr int kLastProbePage = 1000;
constexpr uint8_t kTlvNull = 0x00;
constexpr uint8_t kTlvLockControl = 0x01;
constexpr uint8_t kTlvMemoryControl = 0x02;
constexpr size_t kControlTlvSize = 5; // type, length 3, three bytes of value

// Tags of maker 04 as their datasheets lay them out, told apart by the first page a
// READ refuses. Behind their user memory lie pages that a READ still reaches (dynamic
// lock bytes, configuration pages with AUTH0, ACCESS, CFGLCK, PWD): a CC that claims
// more than the user memory must not lead a write there, nor a Lock Control TLV lead
// the lock there. And the CC that NTAG215/216 are shipped with states less than their
// user memory, so the NFC Forum default position of the dynamic lock bits (behind the
// data area the CC states) would lie in user memory. The dynamic lock bits are those
// that cover the user pages from 16 on: NTAG213 one per 2 pages, NTAG215/216 one per
// 16 pages; the Ultralight C's first lock byte of page 28h covers pages 16-39 in six
// bits and two block-locking bits (its second one covers pages behind the user memory).
struct KnownLayout {
    int readablePages;     // the first page a READ refuses
    int userPages;         // from page 4 on
    int dynamicLockPage;   // -1: none
    int dynamicLockBits;
    int pagesPerLockBit;   // 0: not told here
    bool ultralightCBits;  // bits 0 and 4 are block-locking bits, the others lock 4 pages each
    uint8_t shippedCc;     // CC byte 2 as shipped, where it is not userPages / 2
    int configPage;        // CFG0, whose byte 3 is AUTH0; -1: none
};
constexpr KnownLayout kKnownLayouts[] = {
    {16, 12, -1, 0, 0, false, 0, -1},           // Ultralight (MF0ICU1): 16 pages
    {20, 12, -1, 0, 0, false, 0, 0x10},         // Ultralight EV1 (MF0UL11), NTAG210: configuration in 10h-13h
    {41, 32, 36, 10, 0, false, 0, 0x25},        // Ultralight EV1 (MF0UL21), NTAG212: lock bytes 24h, configuration 25h-28h
    {44, 36, 40, 8, 4, true, 0, -1},            // Ultralight C: lock bytes 28h, counter 29h, AUTH0/1 2Ah-2Bh
    {45, 36, 40, 12, 2, false, 0, 0x29},        // NTAG213: lock bytes 28h, configuration 29h-2Ch
    {135, 126, 130, 8, 16, false, 0x3E, 0x83},  // NTAG215: lock bytes 82h, configuration 83h-86h
    {231, 222, 226, 14, 16, false, 0x6D, 0xE3}, // NTAG216: lock bytes E2h, configuration E3h-E6h
};

// Whether a layout is one that a CC of data area size `ccSize` (CC byte 2) is written
// for: its whole user memory, or the size it is shipped with.
bool CcSuggests(const KnownLayout& layout, uint8_t ccSize) {
    return ccSize == layout.shippedCc || ccSize * 8 == layout.userPages * static_cast<int>(kPageSize);
}

const KnownLayout* LayoutByReadablePages(int pages) {
    for (const KnownLayout& layout : kKnownLayouts)
        if (layout.readablePages == pages) return &layout;
    return nullptr;
}

// Dynamic lock bits to set: `bits` bits from byte `address` of the tag memory on.
struct LockBits {
    size_t address;
    int bits;
};

// Bytes of the tag memory that a Lock or Memory Control TLV sets aside.
struct Reserved {
    size_t address;
    size_t size;
};

// The NULL, Lock Control and Memory Control TLVs at the start of a TLV area: where
// the last control TLV ends (0 when there is none), the lock bits that the Lock
// Control TLVs name and the bytes that both kinds set aside. Position byte: page
// address (high nibble) and byte offset (low nibble); the page size is 2^n bytes, n
// the low nibble of the last value byte; position = page address x page size + byte
// offset. A Lock Control TLV counts bits (0 means 256), of which it sets aside the
// bytes; a Memory Control TLV counts bytes (0 means 256).
struct ControlTlvs {
    size_t end = 0;
    std::vector<LockBits> locks;
    std::vector<Reserved> reserved;
};

ControlTlvs LeadingControlTlvs(std::span<const uint8_t> area) {
    ControlTlvs found;
    for (size_t pos = 0; pos < area.size();) {
        if (area[pos] == kTlvNull) {
            ++pos;
            continue;
        }
        if ((area[pos] != kTlvLockControl && area[pos] != kTlvMemoryControl) ||
            pos + kControlTlvSize > area.size() || area[pos + 1] != 3)
            break;
        const uint8_t position = area[pos + 2];
        const size_t bytesPerPage = size_t{1} << (area[pos + 4] & 0x0F);
        const size_t address = (position >> 4) * bytesPerPage + (position & 0x0F);
        const int count = area[pos + 3] == 0 ? 256 : area[pos + 3];
        if (area[pos] == kTlvLockControl) {
            found.locks.push_back({address, count});
            found.reserved.push_back({address, static_cast<size_t>(count + 7) / 8});
        } else {
            found.reserved.push_back({address, static_cast<size_t>(count)});
        }
        pos += kControlTlvSize;
        found.end = pos;
    }
    return found;
}

bool IsZero(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

bool StartsWith(std::span<const uint8_t> bytes, std::initializer_list<uint8_t> head) {
    return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin());
}

// The limit of a walk over the bytes read so far: the last of them.
int64_t LastRead(const Bytes& bytes) { return static_cast<int64_t>(bytes.size()) - 1; }

} // namespace

bool CNfcType2Tag::Fail(int code) {
    handler_.SetError(code);
    return false;
}

bool CNfcType2Tag::ReadPages(int page, size_t count, Bytes& out) {
    if (!ReadBlock(handler_.Port(), page, out) || out.size() < count) return false;
    out.resize(count);
    return true;
}

bool CNfcType2Tag::WritePage(int page, std::span<const uint8_t> bytes) {
    return WriteBlock(handler_.Port(), page, bytes.first(kPageSize));
}

// The first page a READ refuses, the maker's byte and, where these tell one, the
// layout of its datasheet. Where maker and CC suggest a known layout, a READ of its
// last readable page and one of the page behind it confirm that layout; else (a CC
// that claims another size, a tag of another maker, a layout not confirmed) the first
// page refused is found by halving the pages from 16 to 1000 (1000 when all of them
// answer). A refused READ halts the tag, so it is found again each time; a tag that
// has gone ends the survey with that error.
bool CNfcType2Tag::Survey(Memory& memory) {
    memory = {};
    Bytes head; // pages 0-3: maker, UID, lock bytes, CC
    if (!ReadPages(0, kReadSize, head)) return Fail(kTagErrorBlockRead);
    std::map<int, bool> answered;
    bool gone = false;
    const auto readable = [&](int page) {
        if (const auto found = answered.find(page); found != answered.end()) return found->second;
        Bytes scratch;
        const bool read = ReadPages(page, kPageSize, scratch);
        if (!read && !handler_.Reactivate()) gone = true;
        return answered[page] = read;
    };
    int refused = 0;
    const bool nxpCc = head[0] == kNxpMaker && head[kCcPage * kPageSize] == kCcMagic;
    if (nxpCc) {
        for (const KnownLayout& layout : kKnownLayouts) {
            if (!CcSuggests(layout, head[kCcPage * kPageSize + 2])) continue;
            const bool confirmed = readable(layout.readablePages - 1) && !gone && !readable(layout.readablePages);
            if (gone) return false;
            if (confirmed) {
                refused = layout.readablePages;
                break;
            }
        }
    }
    if (refused == 0) {
        int first = kFirstProbePage - 1;
        refused = kLastProbePage;
        while (refused - first > 1) {
            const int page = first + (refused - first) / 2;
            if (readable(page)) {
                first = page;
            } else {
                if (gone) return false;
                refused = page;
            }
        }
    }
    memory.readablePages = refused;
    // The CC of a larger chip, not of this one, on pages that end early: a chip
    // formatted wrongly, or a larger one whose password guards the READs of its later
    // pages (PROT).
    bool larger = false, own = false;
    for (const KnownLayout& layout : kKnownLayouts) {
        if (!nxpCc || !CcSuggests(layout, head[kCcPage * kPageSize + 2])) continue;
        larger = larger || layout.readablePages > refused;
        own = own || layout.readablePages == refused;
    }
    memory.ccOfLargerChip = larger && !own;
    const KnownLayout* layout = head[0] == kNxpMaker ? LayoutByReadablePages(refused) : nullptr;
    if (!layout) {
        memory.userBytes = static_cast<size_t>(refused - kDataPage) * kPageSize;
        return true;
    }
    memory.known = true;
    memory.userBytes = static_cast<size_t>(layout->userPages) * kPageSize;
    memory.dynamicLockPage = layout->dynamicLockPage;
    memory.dynamicLockBits = layout->dynamicLockBits;
    memory.pagesPerLockBit = layout->pagesPerLockBit;
    memory.ultralightCBits = layout->ultralightCBits;
    memory.configPage = layout->configPage;
    return true;
}

// The first page a password guards against writing: AUTH0 of a known layout's
// configuration (a tag without one: none).
bool CNfcType2Tag::FirstGuardedPage(const Memory& memory, int& page) {
    page = kLastProbePage;
    if (memory.configPage < 0) return true;
    Bytes config;
    if (!ReadPages(memory.configPage, kPageSize, config)) return Fail(kTagErrorBlockRead);
    page = config[3];
    return true;
}

// Whether a page from `first` to `last` is locked: by the static lock bytes (pages 3 to
// 15: bit n of byte 2 of page 2 locks page n, bit n of byte 3 page 8 + n), or by the
// dynamic lock bits of a known layout.
bool CNfcType2Tag::PagesWritable(const Memory& memory, int first, int last) {
    Bytes locks, dynamic(kReadSize, 0x00);
    if (!ReadPages(kLockPage, kPageSize, locks)) return Fail(kTagErrorBlockRead);
    const bool dynamicBits = memory.pagesPerLockBit > 0 && last >= kFirstProbePage;
    if (dynamicBits && !ReadPages(memory.dynamicLockPage, kReadSize, dynamic)) return Fail(kTagErrorBlockRead);
    // Pages a password guards take no write without it. An NTAG21x's CFG0 comes in
    // with the READ of its dynamic lock bytes.
    int guarded = 0;
    if (dynamicBits && memory.configPage == memory.dynamicLockPage + 1)
        guarded = dynamic[kPageSize + 3];
    else if (!FirstGuardedPage(memory, guarded))
        return false;
    if (last >= guarded) return Fail(kTagErrorWriteProtected);
    for (int page = first; page <= last; ++page) {
        int bit = 0;
        const uint8_t* bits = nullptr;
        if (page < kFirstProbePage) {
            bits = &locks[2];
            bit = page;
        } else if (memory.pagesPerLockBit > 0) {
            bits = dynamic.data();
            bit = (page - kFirstProbePage) / memory.pagesPerLockBit;
            if (memory.ultralightCBits) bit += bit < 3 ? 1 : 2;
        }
        if (bits && (bits[bit / 8] >> (bit % 8) & 1)) return Fail(kTagErrorWriteProtected);
    }
    return true;
}

int CNfcType2Tag::BlankMemorySize() {
    // Blank layouts as shipped: lock bytes and page 3 clear, then page 4 all FF (the
    // 48-byte kind) or pages 4-6 02000010 00060110 11FF.. (the 144-byte kind).
    Bytes head;
    if (ReadPages(kLockPage, kReadSize, head)) {
        const std::span<const uint8_t> pages(head);
        if (IsZero(pages.subspan(2, 6))) {
            if (StartsWith(pages.subspan(8), {0xFF, 0xFF, 0xFF, 0xFF})) return static_cast<int>(kSmallTagSize);
            if (StartsWith(pages.subspan(8), {0x02, 0x00, 0x00, 0x10, 0x00, 0x06, 0x01, 0x10})) {
                Bytes page6;
                if (ReadPages(6, kPageSize, page6)) {
                    if (StartsWith(page6, {0x11, 0xFF})) return static_cast<int>(kLargeTagSize);
                } else if (!handler_.Reactivate()) {
                    return -1;
                }
            }
        }
    } else if (!handler_.Reactivate()) {
        return -1;
    }
    // Anything else: the readable pages, unless the maker and their count tell a
    // known layout, whose user memory ends earlier.
    Memory memory;
    if (!Survey(memory)) return -1;
    return static_cast<int>(memory.userBytes);
}

bool CNfcType2Tag::Read(CNdefMessageList& messages, bool stopAfterFirst) {
    Bytes cc;
    if (!ReadPages(kCcPage, kPageSize, cc)) return Fail(kTagErrorBlockRead);
    if (cc[0] != kCcMagic) return Fail(kTagErrorNotNfcFormatted);
    if ((cc[1] >> 4) > kMajorVersion) return Fail(kTagErrorMappingVersionNewer);
    // The data area as the CC states it, but never past the user memory.
    Memory memory;
    if (!Survey(memory)) return false;
    // Told, but read all the same: the tag itself decides whether it answers.
    if (cc[3] >> 4) handler_.SetError(kTagErrorNfcReadProtection);

    const size_t size = std::min<size_t>(cc[2] * 8, memory.userBytes);
    BusyCursor busy;
    handler_.SetMore(true);
    Bytes area;
    area.reserve(size);
    int64_t offset = -1;
    int page = kDataPage;
    for (size_t i = 0; i < size / kReadSize && handler_.GetMore(); ++i, page += 4) {
        Bytes pages;
        if (!ReadPages(page, kReadSize, pages)) return Fail(kTagErrorBlockRead);
        area.insert(area.end(), pages.begin(), pages.end());
        ParseNdefTlvs(handler_, area, LastRead(area), stopAfterFirst, messages, false, &offset);
    }
    // The pages after the last full read, one by one.
    page = kDataPage + 4 * static_cast<int>(size / kReadSize);
    for (size_t i = 0; i < (size % kReadSize) / kPageSize; ++i, ++page) {
        Bytes one;
        if (!ReadPages(page, kPageSize, one)) return Fail(kTagErrorBlockRead);
        area.insert(area.end(), one.begin(), one.end());
    }
    if (handler_.GetMore()) ParseNdefTlvs(handler_, area, -1, stopAfterFirst, messages, false, &offset);
    // An NDEF Message TLV that gives no message is cut short or not NDEF.
    if (messages.empty() && offset >= 0) handler_.SetError(kTagErrorNfcData);
    return true;
}

// Reads the TLV area page by page until the walker meets the NDEF Message TLV (its
// offset, -1 when there is none). The pages read are kept in `existing`, which never
// holds more than the area's `room`.
bool CNfcType2Tag::LocateNdefTlv(size_t room, Bytes& existing, int64_t& offset) {
    CNdefMessageList none;
    existing.clear();
    existing.reserve(room);
    offset = -1;
    handler_.SetMore(true);
    for (size_t i = 0; i < room / kPageSize && handler_.GetMore(); ++i) {
        Bytes page;
        if (!ReadPages(kDataPage + static_cast<int>(i), kPageSize, page)) return false;
        existing.insert(existing.end(), page.begin(), page.end());
        ParseNdefTlvs(handler_, existing, LastRead(existing), false, none, true, &offset);
    }
    if (handler_.GetMore()) ParseNdefTlvs(handler_, existing, -1, false, none, true, &offset);
    return true;
}

// Writes the CC of a blank tag and reads it back: page 3 is one-time programmable on
// most tags, so bits set there before would spoil it.
bool CNfcType2Tag::FormatBlank(size_t room) {
    const uint8_t cc[] = {kCcMagic, kMappingVersion, static_cast<uint8_t>(room / 8), 0x00};
    Bytes back;
    if (!WritePage(kCcPage, cc) || !ReadPages(kCcPage, kPageSize, back) || !std::equal(back.begin(), back.end(), cc))
        return Fail(kTagErrorFormat);
    return true;
}

// Writes the pages. While they go out, the first page carries a Terminator TLV where
// the NDEF Message TLV begins, and gets its real bytes last: a tag taken away in the
// middle reads as holding no message, never as a mix of old and new bytes.
bool CNfcType2Tag::WriteArea(int startPage, const Bytes& bytes, size_t tlvIndex) {
    const size_t pages = bytes.size() / kPageSize;
    const std::span<const uint8_t> all(bytes);
    if (pages > 1) {
        Bytes first(bytes.begin(), bytes.begin() + kPageSize);
        first[tlvIndex] = kTlvTerminator;
        if (!WritePage(startPage, first)) return Fail(kTagErrorBlockWrite);
    }
    for (size_t i = pages > 1 ? 1 : 0; i < pages; ++i) {
        if (!WritePage(startPage + static_cast<int>(i), all.subspan(i * kPageSize))) return Fail(kTagErrorBlockWrite);
    }
    if (pages > 1 && !WritePage(startPage, all)) return Fail(kTagErrorBlockWrite);
    return true;
}

bool CNfcType2Tag::Write(std::span<const uint8_t> area) {
    Bytes cc;
    if (!ReadPages(kCcPage, kPageSize, cc)) return Fail(kTagErrorBlockRead);
    const bool blank = cc[0] != kCcMagic;
    int startPage = kDataPage;
    Bytes bytes; // what goes onto the tag from startPage on
    size_t room = 0;
    Memory surveyed;
    if (blank) {
        const int size = BlankMemorySize();
        if (size < 0) return false;
        room = std::min(static_cast<size_t>(size), kMaxCcRoom) / 8 * 8;
    } else {
        // A newer mapping may lay the area out otherwise. Page 3 is one-time
        // programmable (a write sets bits, never clears them), so not even a format can
        // bring such a CC back to 1.0: both are refused before anything is written, and
        // both tell why.
        if ((cc[1] >> 4) > kMajorVersion) return Fail(kTagErrorMappingVersionNewer);
        if ((cc[3] & 0x0F) == kReadOnly) return Fail(kTagErrorNfcWriteProtection);
        // The data area as the CC states it, but never past the user memory: behind it
        // lie lock and configuration bytes.
        if (!Survey(surveyed)) return false;
        size_t limit = std::min<size_t>(cc[2] * 8, surveyed.userBytes);
        // Lock Control, Memory Control and other TLVs in front of the NDEF Message
        // TLV stay: writing begins at its page, with that page's earlier bytes.
        Bytes existing;
        int64_t offset = -1;
        if (!LocateNdefTlv(limit, existing, offset)) return Fail(kTagErrorBlockRead);
        const ControlTlvs controls = LeadingControlTlvs(existing);
        // Without an NDEF Message TLV yet, the message goes behind the control TLVs.
        if (offset < 0) offset = static_cast<int64_t>(controls.end);
        size_t kept = 0;
        if (offset > 0) {
            startPage = kDataPage + static_cast<int>(offset / kPageSize);
            kept = static_cast<size_t>(startPage - kDataPage) * kPageSize;
            bytes.assign(existing.begin() + static_cast<long>(kept), existing.begin() + offset);
        }
        // Bytes that the control TLVs set aside inside the data area are never written
        // (those in front of the message go back as they were read): the message must
        // end on a page before them.
        constexpr size_t kAreaStart = kDataPage * kPageSize;
        const size_t messageStart = kAreaStart + static_cast<size_t>(offset);
        for (const Reserved& r : controls.reserved) {
            if (r.address + r.size <= messageStart || r.address >= kAreaStart + limit) continue;
            const size_t first = r.address < messageStart ? kept : (r.address - kAreaStart) / kPageSize * kPageSize;
            limit = std::min(limit, first);
        }
        room = limit - std::min(limit, kept);
    }
    const size_t tlvIndex = bytes.size();
    const size_t count = tlvIndex + area.size();
    if (count > room) {
        handler_.SetOverflow(static_cast<int>(count - room));
        return Fail(kTagErrorMessageTooLarge);
    }
    bytes.insert(bytes.end(), area.begin(), area.end());
    bytes.resize((bytes.size() + kPageSize - 1) / kPageSize * kPageSize, 0x00);
    // A locked page would end the write halfway, the old message lost: refused first.
    if (!blank && !PagesWritable(surveyed, startPage, startPage + static_cast<int>(bytes.size() / kPageSize) - 1))
        return false;
    if (blank && !FormatBlank(room)) return false;
    return WriteArea(startPage, bytes, tlvIndex);
}

bool CNfcType2Tag::MakeReadOnly() {
    // Pages 0-3 in one read: UID, static lock bytes and CC.
    Bytes head;
    if (!ReadPages(0, kReadSize, head)) return Fail(kTagErrorBlockRead);
    Bytes cc(head.begin() + kCcPage * kPageSize, head.end());
    if (cc[0] != kCcMagic) return Fail(kTagErrorNotNfcFormatted);
    if ((cc[1] >> 4) > kMajorVersion) return Fail(kTagErrorMappingVersionNewer);
    // The dynamic lock bits, found before anything is written: on a tag of a known
    // layout where its datasheet puts them, whatever a TLV says; on any other tag
    // where its Lock Control TLVs name them, else at the NFC Forum default place
    // (right behind the data area, one bit for each 8 bytes beyond the first 48).
    // Bits that would lie inside the data area or past the memory fail the lock.
    Memory memory;
    if (!Survey(memory)) return false;
    // Where the lock bytes of a tag whose READs may end at its password lie is unknown:
    // they may be user memory of a larger chip.
    if (memory.ccOfLargerChip) return Fail(kTagErrorNfcData);
    // A password that guards the CC or the dynamic lock bytes leaves them unwritable.
    int guarded = 0;
    if (!FirstGuardedPage(memory, guarded)) return false;
    if (guarded <= std::max(kCcPage, memory.dynamicLockPage)) return Fail(kTagErrorWriteProtected);
    std::vector<LockBits> dynamic;
    if (memory.known) {
        if (memory.dynamicLockPage >= 0)
            dynamic.push_back({static_cast<size_t>(memory.dynamicLockPage) * kPageSize, memory.dynamicLockBits});
    } else {
        const size_t room = std::min<size_t>(cc[2] * 8, memory.userBytes);
        Bytes existing;
        int64_t offset = -1;
        if (!LocateNdefTlv(room, existing, offset)) return Fail(kTagErrorBlockRead);
        dynamic = LeadingControlTlvs(existing).locks;
        const size_t areaEnd = kDataPage * kPageSize + room;
        if (dynamic.empty() && room > kSmallTagSize)
            dynamic.push_back({areaEnd, static_cast<int>((room - kSmallTagSize + 7) / 8)});
        const size_t memoryEnd = static_cast<size_t>(memory.readablePages) * kPageSize;
        for (const LockBits& bits : dynamic)
            if (bits.address < areaEnd || bits.address + (static_cast<size_t>(bits.bits) + 7) / 8 > memoryEnd)
                return Fail(kTagErrorNfcData);
    }
    // A set block-locking bit freezes the static lock bits of its pages: bit 1 of byte 2
    // those of pages 4-9 (byte 2 bits 4-7, byte 3 bits 0-1), bit 2 those of pages 10-15
    // (byte 3 bits 2-7). One of them frozen at 0 leaves its page writable for good.
    const uint8_t lock0 = head[kLockPage * kPageSize + 2], lock1 = head[kLockPage * kPageSize + 3];
    if (((lock0 & 0x02) && ((lock0 & 0xF0) != 0xF0 || (lock1 & 0x03) != 0x03)) ||
        ((lock0 & 0x04) && (lock1 & 0xFC) != 0xFC))
        return Fail(kTagErrorWriteProtected);

    if ((cc[3] & 0x0F) != kReadOnly) {
        cc[3] |= kReadOnly;
        if (!WritePage(kCcPage, cc)) return Fail(kTagErrorBlockWrite);
    }
    Bytes locks(head.begin() + kLockPage * kPageSize, head.begin() + kCcPage * kPageSize);
    locks[2] = locks[3] = 0xFF;
    if (!WritePage(kLockPage, locks)) return Fail(kTagErrorBlockWrite);
    if (!LockBitsTaken(kLockPage, locks)) return false;
    for (const LockBits& bits : dynamic)
        if (!SetLockBits(bits.address, bits.bits)) return false;
    return true;
}

// Lock bits that a block-locking bit has frozen are not set by a write that the tag
// still acknowledges: the page is read back, and a bit missing fails the lock.
bool CNfcType2Tag::LockBitsTaken(int page, std::span<const uint8_t> wanted) {
    Bytes back;
    if (!ReadPages(page, kPageSize, back)) return Fail(kTagErrorBlockRead);
    for (size_t i = 0; i < kPageSize; ++i)
        if ((back[i] & wanted[i]) != wanted[i]) return Fail(kTagErrorWriteProtected);
    return true;
}

// Sets `bits` bits from byte `address` on, page by page (the other bits of each page
// as they were: lock bytes take only the bits written as 1).
bool CNfcType2Tag::SetLockBits(size_t address, int bits) {
    for (size_t byte = address; bits > 0;) {
        const int page = static_cast<int>(byte / kPageSize);
        Bytes content;
        if (!ReadPages(page, kPageSize, content)) return Fail(kTagErrorBlockRead);
        for (size_t i = byte % kPageSize; i < kPageSize && bits > 0; ++i, ++byte, bits -= 8)
            content[i] |= static_cast<uint8_t>(bits >= 8 ? 0xFF : (1 << bits) - 1);
        if (!WritePage(page, content)) return Fail(kTagErrorBlockWrite);
        if (!LockBitsTaken(page, content)) return false;
    }
    return true;
}

} // namespace kq
