#include "reader/tags/NfcType2Tag.h"

#include "content/NdefTlv.h"
#include "content/TagErrorCode.h"
#include "reader/sdk/Iso14443Commands.h"
#include "reader/tags/NfcTagHandler.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>

namespace kq {

namespace {

constexpr size_t kPageSize = 4;
constexpr size_t kReadSize = 16; // one READ answers four pages
constexpr int kLockPage = 2;     // bytes 2-3: static lock bytes
constexpr int kCcPage = 3;
constexpr int kDataPage = 4;
constexpr uint8_t kCcMagic = 0xE1;
constexpr uint8_t kMappingVersion = 0x10;
constexpr uint8_t kReadOnly = 0x0F; // write access nibble
// The CC gives the data area size in units of 8 bytes in one byte.
constexpr size_t kMaxCcRoom = 0xFF * 8;
constexpr uint8_t kTlvTerminator = 0xFE;

// Blank tags without a CC, by their data area size: 48 bytes (16 pages) and 144
// bytes (48 pages, with its dynamic lock bytes in page 40 when the maker is 04).
constexpr int kSmallTagSize = 48;
constexpr int kLargeTagSize = 144;
constexpr int kDynamicLockPage = 40;
constexpr uint8_t kNxpMaker = 0x04;
constexpr int kFirstProbePage = 16;
constexpr int kLastProbePage = 1000;

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

int CNfcType2Tag::BlankMemorySize() {
    // Blank layouts as shipped: lock bytes and page 3 clear, then page 4 all FF (the
    // 48-byte kind) or pages 4-6 02000010 00060110 11FF.. (the 144-byte kind).
    Bytes head;
    if (ReadPages(kLockPage, kReadSize, head)) {
        const std::span<const uint8_t> pages(head);
        if (IsZero(pages.subspan(2, 6))) {
            if (StartsWith(pages.subspan(8), {0xFF, 0xFF, 0xFF, 0xFF})) return kSmallTagSize;
            if (StartsWith(pages.subspan(8), {0x02, 0x00, 0x00, 0x10, 0x00, 0x06, 0x01, 0x10})) {
                Bytes page6;
                if (ReadPages(6, kPageSize, page6)) {
                    if (StartsWith(page6, {0x11, 0xFF})) return kLargeTagSize;
                } else {
                    handler_.Reactivate();
                }
            }
        }
    } else {
        handler_.Reactivate();
    }
    // Anything else: the first page that cannot be read ends the memory.
    int page = kFirstProbePage;
    Bytes scratch;
    while (page < kLastProbePage && ReadPages(page, kPageSize, scratch)) ++page;
    if (page < kLastProbePage) handler_.Reactivate();
    return page * static_cast<int>(kPageSize) - kDataPage * static_cast<int>(kPageSize);
}

bool CNfcType2Tag::Read(CNdefMessageList& messages, bool stopAfterFirst) {
    Bytes cc;
    if (!ReadPages(kCcPage, kPageSize, cc)) return Fail(kTagErrorBlockRead);
    if (cc[0] != kCcMagic) return Fail(kTagErrorNotNfcFormatted);
    // Told, but read all the same: the tag itself decides whether it answers.
    if (cc[3] >> 4) handler_.SetError(kTagErrorNfcReadProtection);

    const size_t size = cc[2] * 8;
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
    if (blank) {
        room = std::min(static_cast<size_t>(BlankMemorySize()), kMaxCcRoom) / 8 * 8;
    } else {
        if ((cc[3] & 0x0F) == kReadOnly) return Fail(kTagErrorNfcWriteProtection);
        room = cc[2] * 8;
        // Lock Control, Memory Control and other TLVs in front of the NDEF Message
        // TLV stay: writing begins at its page, with that page's earlier bytes.
        Bytes existing;
        int64_t offset = -1;
        if (!LocateNdefTlv(room, existing, offset)) return Fail(kTagErrorBlockRead);
        if (offset >= 0) {
            startPage = kDataPage + static_cast<int>(offset / kPageSize);
            const size_t kept = static_cast<size_t>(startPage - kDataPage) * kPageSize;
            bytes.assign(existing.begin() + static_cast<long>(kept), existing.begin() + offset);
            room -= kept;
        }
    }
    const size_t tlvIndex = bytes.size();
    const size_t count = tlvIndex + area.size();
    if (count > room) {
        handler_.SetOverflow(static_cast<int>(count - room));
        return Fail(kTagErrorMessageTooLarge);
    }
    if (blank && !FormatBlank(room)) return false;
    bytes.insert(bytes.end(), area.begin(), area.end());
    bytes.resize((bytes.size() + kPageSize - 1) / kPageSize * kPageSize, 0x00);
    return WriteArea(startPage, bytes, tlvIndex);
}

bool CNfcType2Tag::MakeReadOnly() {
    // Pages 0-3 in one read: UID, static lock bytes and CC.
    Bytes head;
    if (!ReadPages(0, kReadSize, head)) return Fail(kTagErrorBlockRead);
    Bytes cc(head.begin() + kCcPage * kPageSize, head.end());
    if (cc[0] != kCcMagic) return Fail(kTagErrorNotNfcFormatted);
    if ((cc[3] & 0x0F) != kReadOnly) {
        cc[3] |= kReadOnly;
        if (!WritePage(kCcPage, cc)) return Fail(kTagErrorBlockWrite);
    }
    Bytes locks(head.begin() + kLockPage * kPageSize, head.begin() + kCcPage * kPageSize);
    locks[2] = locks[3] = 0xFF;
    if (!WritePage(kLockPage, locks)) return Fail(kTagErrorBlockWrite);
    if (cc[2] * 8 == kLargeTagSize && head[0] == kNxpMaker) {
        Bytes dynamic;
        if (!ReadPages(kDynamicLockPage, kPageSize, dynamic)) return Fail(kTagErrorBlockRead);
        dynamic[0] = 0xFF;
        if (!WritePage(kDynamicLockPage, dynamic)) return Fail(kTagErrorBlockWrite);
    }
    return true;
}

} // namespace kq
