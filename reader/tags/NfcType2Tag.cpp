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
constexpr int kMajorVersion = 1;    // the high nibble of CC byte 1 that these rules read
constexpr uint8_t kReadOnly = 0x0F; // write access nibble
// The CC gives the data area size in units of 8 bytes in one byte.
constexpr size_t kMaxCcRoom = 0xFF * 8;
constexpr uint8_t kTlvTerminator = 0xFE;

// Blank tags without a CC, by their data area size: 48 bytes (16 pages) and 144
// bytes (48 pages).
constexpr size_t kSmallTagSize = 48;
constexpr size_t kLargeTagSize = 144;
constexpr uint8_t kNxpMaker = 0x04;
constexpr int kLastProbePage = 1000;
constexpr int kSectorPages = 256;
// The reader's status for a command the tag answered with a refusal (a NAK); any other
// failure is an answer lost on the way, which tells nothing about the page.
constexpr int kTagRefusedStatus = 17;
constexpr uint8_t kTlvNull = 0x00;
constexpr uint8_t kTlvLockControl = 0x01;
constexpr uint8_t kTlvMemoryControl = 0x02;
constexpr size_t kControlTlvSize = 5; // type, length 3, three bytes of value

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

// Whether the answer to a READ of a tag's last readable page rolled over to page 0
// behind it: pages 0-2 follow, the UID with its check bytes (BCC0 = 88h ^ UID0-2, BCC1
// = UID3 ^ .. ^ UID6). A larger chip answers its next pages instead.
bool RollsOverToPage0(std::span<const uint8_t> answer) {
    const auto page = [&](size_t n) { return answer.subspan(n * kPageSize, kPageSize); };
    const auto p0 = page(1), p1 = page(2), p2 = page(3);
    return p0[3] == (0x88 ^ p0[0] ^ p0[1] ^ p0[2]) && p2[0] == (p1[0] ^ p1[1] ^ p1[2] ^ p1[3]);
}

// Whether the TLV area holds a Terminator behind its NULL and control TLVs only.
bool EndsBeforeAMessage(std::span<const uint8_t> area) {
    const ControlTlvs controls = LeadingControlTlvs(area);
    size_t pos = controls.end;
    while (pos < area.size() && area[pos] == kTlvNull)
        ++pos;
    return pos < area.size() && area[pos] == kTlvTerminator;
}

// The limit of a walk over the bytes read so far: the last of them.
int64_t LastRead(const Bytes& bytes) {
    return static_cast<int64_t>(bytes.size()) - 1;
}

} // namespace

// A page read or write that no tag answered may be a tag taken away: where it cannot
// be found again, that is what the caller hears.
bool CNfcType2Tag::Fail(int code) {
    const bool transfer =
        code == kTagErrorBlockRead || code == kTagErrorBlockWrite || code == kTagErrorFormat;
    if (transfer && CNfcTagHandler::NoTagAnswered(handler_.Port().lastError) && !handler_.Reactivate())
        return false;
    handler_.SetError(code);
    return false;
}

CNfcType2Tag::Answer CNfcType2Tag::ReadAnswer(int page, size_t count, Bytes& out) {
    if (ReadBlock(handler_.Port(), page, out) && out.size() >= count) {
        out.resize(count);
        return Answer::kData;
    }
    return handler_.Port().lastError == kTagRefusedStatus ? Answer::kRefused : Answer::kLost;
}

bool CNfcType2Tag::ReadPages(int page, size_t count, Bytes& out) {
    return ReadAnswer(page, count, out) == Answer::kData;
}

bool CNfcType2Tag::WritePage(int page, std::span<const uint8_t> bytes) {
    return WriteBlock(handler_.Port(), page, bytes.first(kPageSize));
}

// The first page a READ refuses, and the layouts of the datasheets that the pages read
// allow, from the CC page as read (`front`, with pages 4-6). Where the CC suggests a
// known layout, a READ of its last readable page confirms that its reads end there when
// the answer rolls over to page 0 (and so brings in pages 0-2: maker, UID, static lock
// bytes); else pages 0-2 are read, and the first page refused is found by halving the
// pages from 4 to 1000 (1000 when all of them answer). Then one READ from the lock
// bytes (or the configuration) of each layout that may be the tag's brings in its lock
// bits, AUTH0 and PROT. A refused READ halts the tag, so it is found again each time.
// Only a refusal counts as one: an answer lost on the way is asked for once more after
// finding the tag again, and a second loss fails the survey; a tag that has gone ends
// it with that error. With `endRefused` (a lock) the page behind a roll-over must also
// be refused: a copy of pages 0-2 in a larger chip's user memory reads the same.
bool CNfcType2Tag::Survey(const Bytes& front, Memory& memory, bool endRefused) {
    memory = {};
    std::copy_n(front.begin(), kPageSize, memory.read[kCcPage].begin());
    std::map<int, bool> answered;
    bool failed = false;
    const auto ask = [&](int page, size_t count, Bytes& out) {
        Answer answer = ReadAnswer(page, count, out);
        for (int lost = 0; answer != Answer::kData; ++lost) {
            if (!handler_.Reactivate()) {
                failed = true; // gone: its error is set
                return false;
            }
            if (answer == Answer::kRefused) return false;
            if (lost == 1) {
                failed = true;
                return Fail(kTagErrorBlockRead);
            }
            answer = ReadAnswer(page, count, out); // lost once: asked again
        }
        return true;
    };
    const auto readable = [&](int page) {
        if (const auto found = answered.find(page); found != answered.end()) return found->second;
        Bytes scratch;
        return answered[page] = ask(page, kPageSize, scratch);
    };
    const uint8_t ccSize = front[2];
    int refused = 0;
    bool head = false; // pages 0-2 in memory.read
    const auto takeHead = [&](const uint8_t* pages) {
        for (int page = 0; page < kCcPage; ++page)
            std::copy_n(pages + page * static_cast<long>(kPageSize), kPageSize, memory.read[page].begin());
        head = true;
    };
    if (front[0] == kCcMagic) {
        // The largest first: a CC of 144 bytes names NTAG213, Ultralight C and NTAG203.
        const auto layouts = Type2Layouts();
        for (auto it = layouts.rbegin(); it != layouts.rend(); ++it) {
            const Type2Layout& layout = *it;
            if (!Type2CcNames(layout, ccSize)) continue;
            Bytes last;
            const bool answer = ask(layout.readablePages - 1, kReadSize, last);
            if (failed) return false;
            answered[layout.readablePages - 1] = answer;
            if (answer && RollsOverToPage0(last) && endRefused) {
                // A larger chip may hold a copy of pages 0-2 there: where a wrong
                // layout would leave pages unlocked, the page behind must be refused.
                Bytes behind;
                const bool more = ask(layout.readablePages, kPageSize, behind);
                if (failed) return false;
                answered[layout.readablePages] = more;
                if (more) continue;
            }
            if (answer && RollsOverToPage0(last)) {
                takeHead(last.data() + kPageSize);
                refused = layout.readablePages;
                break;
            }
        }
    }
    if (!head) {
        Bytes pages;
        if (!ask(0, kReadSize, pages)) return failed ? false : Fail(kTagErrorBlockRead);
        takeHead(pages.data());
    }
    const uint8_t maker = memory.read[0][0];
    if (refused == 0) {
        int first = kCcPage; // read with the CC
        refused = kLastProbePage;
        while (refused - first > 1) {
            const int page = first + (refused - first) / 2;
            if (readable(page)) {
                first = page;
            } else {
                if (failed) return false;
                refused = page;
            }
        }
    }
    memory.refused = refused;
    // The lock bytes and the configuration of every layout the tag may have, as far as
    // they lie before the first refused page (a READ rolls over behind it).
    if (maker == kNxpMaker) {
        for (const Type2Layout& layout : Type2Layouts()) {
            const int start = layout.dynamicLockPage >= 0 ? layout.dynamicLockPage : layout.configPage;
            if (layout.readablePages < refused || start < 0 || start >= refused || memory.read.count(start))
                continue;
            Bytes pages;
            if (!ask(start, kReadSize, pages)) return failed ? false : Fail(kTagErrorBlockRead);
            for (int i = 0; i < 4 && start + i < refused; ++i)
                std::copy_n(pages.begin() + i * static_cast<long>(kPageSize), kPageSize,
                            memory.read[start + i].begin());
        }
    }
    memory.layouts = Type2Candidates(maker, ccSize, refused, memory.read);
    memory.writeRoom = Type2WriteRoom(memory.layouts, refused);
    memory.readRoom = Type2ReadRoom(memory.layouts, refused);
    return true;
}

// Whether the pages from `first` to `last` take a write: no password of any layout the
// tag may have guards them, and no lock bit locks them (the static ones; the dynamic
// ones of each layout whose lock bytes could be read).
bool CNfcType2Tag::PagesWritable(const Memory& memory, int first, int last) {
    const Type2Page none{};
    const Type2Page& lockPage = memory.read.at(kLockPage);
    const std::vector<const Type2Layout*> unknown{nullptr};
    for (const Type2Layout* layout : memory.layouts.empty() ? unknown : memory.layouts) {
        if (layout && Type2GuardStopsWrite(Type2FirstGuardedPage(*layout, memory.read, memory.refused), first,
                                           last, memory.layouts.size() == 1))
            return Fail(kTagErrorWriteProtected);
        const auto dynamic = layout ? memory.read.find(layout->dynamicLockPage) : memory.read.end();
        for (int page = first; page <= last; ++page)
            if (Type2PageLocked(layout, lockPage, dynamic == memory.read.end() ? none : dynamic->second,
                                page))
                return Fail(kTagErrorWriteProtected);
    }
    return true;
}

int CNfcType2Tag::BlankMemorySize(const Bytes& front) {
    // Blank layouts as shipped: lock bytes and page 3 clear, then page 4 all FF (the
    // 48-byte kind) or pages 4-6 02000010 00060110 11FF.. (the 144-byte kind).
    Bytes pages;
    if (ReadPages(kLockPage, kReadSize, pages)) {
        const std::span<const uint8_t> area(pages);
        if (IsZero(area.subspan(2, 6))) {
            if (StartsWith(area.subspan(8), {0xFF, 0xFF, 0xFF, 0xFF})) return static_cast<int>(kSmallTagSize);
            if (StartsWith(area.subspan(8), {0x02, 0x00, 0x00, 0x10, 0x00, 0x06, 0x01, 0x10})) {
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
    // Anything else: the readable pages, unless the maker and their count tell known
    // layouts, whose user memory ends earlier.
    Memory memory;
    if (!Survey(front, memory)) return -1;
    return static_cast<int>(memory.writeRoom);
}

bool CNfcType2Tag::Read(CNdefMessageList& messages, bool stopAfterFirst) {
    Bytes front; // the CC and pages 4-6
    if (!ReadPages(kCcPage, kReadSize, front)) return Fail(kTagErrorBlockRead);
    const Bytes cc(front.begin(), front.begin() + kPageSize);
    if (cc[0] != kCcMagic) return Fail(kTagErrorNotNfcFormatted);
    if ((cc[1] >> 4) > kMajorVersion) return Fail(kTagErrorMappingVersionNewer);
    // The data area as the CC states it, but never past the user memory.
    Memory memory;
    if (!Survey(front, memory)) return false;
    // Told, but read all the same: the tag itself decides whether it answers.
    if (cc[3] >> 4) handler_.SetError(kTagErrorNfcReadProtection);

    const size_t size = std::min<size_t>(cc[2] * 8, memory.readRoom);
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
    // A Terminator before any NDEF Message TLV (a write cut short after its first page
    // leaves one behind the control TLVs): a formatted tag holding no message yet.
    if (messages.empty() && offset < 0 && EndsBeforeAMessage(area))
        messages.push_back(std::make_unique<CNdefMessage>());
    return true;
}

// Walks the TLV area, from the bytes of it already read (`known`, from page 4 on) and
// then four pages a READ, until the walker meets the NDEF Message TLV (its offset, -1
// when there is none). The bytes are kept in `existing`, which never holds more than
// the area's `room`.
bool CNfcType2Tag::LocateNdefTlv(size_t room, Bytes& existing, int64_t& offset,
                                 std::span<const uint8_t> known) {
    CNdefMessageList none;
    existing.assign(known.begin(),
                    known.begin() + static_cast<long>(std::min(room, known.size()) / kPageSize * kPageSize));
    existing.reserve(room);
    offset = -1;
    handler_.SetMore(true);
    if (!existing.empty()) ParseNdefTlvs(handler_, existing, LastRead(existing), false, none, true, &offset);
    while (existing.size() < room && handler_.GetMore()) {
        // A READ rolls over at the end of a sector of 256 pages: none reaches across.
        const int page = kDataPage + static_cast<int>(existing.size() / kPageSize);
        const size_t take =
            std::min({kReadSize, static_cast<size_t>(kSectorPages - page % kSectorPages) * kPageSize,
                      room - existing.size()});
        Bytes pages;
        if (!ReadPages(page, kReadSize, pages)) return false;
        existing.insert(existing.end(), pages.begin(), pages.begin() + static_cast<long>(take));
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
    if (!WritePage(kCcPage, cc) || !ReadPages(kCcPage, kPageSize, back) ||
        !std::equal(back.begin(), back.end(), cc))
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
        if (!WritePage(startPage + static_cast<int>(i), all.subspan(i * kPageSize)))
            return Fail(kTagErrorBlockWrite);
    }
    if (pages > 1 && !WritePage(startPage, all)) return Fail(kTagErrorBlockWrite);
    return true;
}

bool CNfcType2Tag::Write(std::span<const uint8_t> area) {
    Bytes front; // the CC and pages 4-6
    if (!ReadPages(kCcPage, kReadSize, front)) return Fail(kTagErrorBlockRead);
    const Bytes cc(front.begin(), front.begin() + kPageSize);
    const bool blank = cc[0] != kCcMagic;
    int startPage = kDataPage;
    Bytes bytes; // what goes onto the tag from startPage on
    size_t room = 0;
    Memory surveyed;
    if (blank) {
        const int size = BlankMemorySize(front);
        if (size < 0) return false;
        room = std::min(static_cast<size_t>(size), kMaxCcRoom) / 8 * 8;
    } else {
        // A newer mapping may lay the area out otherwise. Page 3 is one-time
        // programmable (a write sets bits, never clears them), so not even a format can
        // bring such a CC back to 1.0: both are refused before anything is written, and
        // both tell why.
        if ((cc[1] >> 4) > kMajorVersion) return Fail(kTagErrorMappingVersionNewer);
        if ((cc[3] & 0x0F) == kReadOnly) return Fail(kTagErrorNfcWriteProtection);
        // The data area as the CC states it, but never past the user memory that every
        // layout the tag may have shares: behind it lie lock and configuration bytes.
        if (!Survey(front, surveyed)) return false;
        size_t limit = std::min<size_t>(cc[2] * 8, surveyed.writeRoom);
        // Lock Control, Memory Control and other TLVs in front of the NDEF Message
        // TLV stay: writing begins at its page, with that page's earlier bytes.
        Bytes existing;
        int64_t offset = -1;
        if (!LocateNdefTlv(limit, existing, offset, std::span(front).subspan(kPageSize)))
            return Fail(kTagErrorBlockRead);
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
            const size_t first =
                r.address < messageStart ? kept : (r.address - kAreaStart) / kPageSize * kPageSize;
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
    if (!blank &&
        !PagesWritable(surveyed, startPage, startPage + static_cast<int>(bytes.size() / kPageSize) - 1))
        return false;
    if (blank && !FormatBlank(room)) return false;
    return WriteArea(startPage, bytes, tlvIndex);
}

bool CNfcType2Tag::MakeReadOnly() {
    Bytes front; // the CC and pages 4-6
    if (!ReadPages(kCcPage, kReadSize, front)) return Fail(kTagErrorBlockRead);
    Bytes cc(front.begin(), front.begin() + kPageSize);
    if (cc[0] != kCcMagic) return Fail(kTagErrorNotNfcFormatted);
    if ((cc[1] >> 4) > kMajorVersion) return Fail(kTagErrorMappingVersionNewer);
    // Everything that could keep the lock from completing is found before its first
    // write. The dynamic lock bits: on a chip of the datasheets where its layout puts
    // them, whatever a TLV says (where the tag may be one of several, only if all of
    // them have them on the same page, which its reads reach: the bits of all of them
    // are set); on any other tag where its Lock Control TLVs name them, else at the
    // NFC Forum default place (right behind the data area, one bit for each 8 bytes
    // beyond the first 48). Bits that would lie inside the data area or past the
    // memory fail the lock.
    Memory memory;
    if (!Survey(front, memory, true)) return false;
    const Type2Page& lockPage = memory.read.at(kLockPage);
    std::vector<LockBits> dynamic;
    int dynamicPage = -1;
    Type2Page dynamicBits{};
    if (!memory.layouts.empty()) {
        dynamicPage = memory.layouts.front()->dynamicLockPage;
        for (const Type2Layout* layout : memory.layouts) {
            if (layout->dynamicLockPage != dynamicPage) return Fail(kTagErrorNfcData);
            const Type2Page bits = Type2DynamicLockBytes(*layout);
            for (size_t i = 0; i < kPageSize; ++i)
                dynamicBits[i] |= bits[i];
        }
        if (dynamicPage >= memory.refused) return Fail(kTagErrorNfcData);
        // A password that guards the CC or the dynamic lock bytes leaves them
        // unwritable; a block-locking bit that holds a lock bit at 0 leaves its pages
        // writable for good.
        const Type2Page current = dynamicPage >= 0 ? memory.read.at(dynamicPage) : Type2Page{};
        for (const Type2Layout* layout : memory.layouts) {
            if (Type2FirstGuardedPage(*layout, memory.read, memory.refused) <=
                    std::max(kCcPage, dynamicPage) ||
                Type2LockFrozen(layout, lockPage, current))
                return Fail(kTagErrorWriteProtected);
        }
    } else {
        const size_t room = std::min<size_t>(cc[2] * 8, memory.readRoom);
        Bytes existing;
        int64_t offset = -1;
        if (!LocateNdefTlv(room, existing, offset, std::span(front).subspan(kPageSize)))
            return Fail(kTagErrorBlockRead);
        dynamic = LeadingControlTlvs(existing).locks;
        const size_t areaEnd = kDataPage * kPageSize + room;
        if (dynamic.empty() && room > kSmallTagSize)
            dynamic.push_back({areaEnd, static_cast<int>((room - kSmallTagSize + 7) / 8)});
        const size_t memoryEnd = static_cast<size_t>(memory.refused) * kPageSize;
        for (const LockBits& bits : dynamic)
            if (bits.address < areaEnd || bits.address + (static_cast<size_t>(bits.bits) + 7) / 8 > memoryEnd)
                return Fail(kTagErrorNfcData);
        if (Type2LockFrozen(nullptr, lockPage, {})) return Fail(kTagErrorWriteProtected);
    }
    // A chip whose password guards nothing keeps its configuration as it is for good
    // (CFGLCK): nobody can set a password later and make the locked tag unreadable.
    const Type2Layout* single = memory.Single();
    const bool configLock =
        single && Type2SetsConfigLock(*single, Type2FirstGuardedPage(*single, memory.read, memory.refused)) &&
        !(memory.read.at(single->configPage + 1)[0] & kType2CfgLck);

    if ((cc[3] & 0x0F) != kReadOnly) {
        cc[3] |= kReadOnly;
        if (!WritePage(kCcPage, cc)) return Fail(kTagErrorBlockWrite);
    }
    Bytes locks(lockPage.begin(), lockPage.end());
    locks[2] = locks[3] = 0xFF;
    if (!WritePage(kLockPage, locks)) return Fail(kTagErrorBlockWrite);
    if (!LockBitsTaken(kLockPage, locks)) return false;
    if (dynamicPage >= 0 && !OrIntoPage(dynamicPage, dynamicBits)) return false;
    for (const LockBits& bits : dynamic)
        if (!SetLockBits(bits.address, bits.bits)) return false;
    if (configLock && !OrIntoPage(single->configPage + 1, {kType2CfgLck, 0, 0, 0})) return false;
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

// ORs `bits` into `page` (the other bits as they were: lock bytes take only the bits
// written as 1) and reads it back.
bool CNfcType2Tag::OrIntoPage(int page, const Type2Page& bits) {
    Bytes content;
    if (!ReadPages(page, kPageSize, content)) return Fail(kTagErrorBlockRead);
    for (size_t i = 0; i < kPageSize; ++i)
        content[i] |= bits[i];
    if (!WritePage(page, content)) return Fail(kTagErrorBlockWrite);
    return LockBitsTaken(page, content);
}

// Sets `bits` bits from byte `address` on, page by page.
bool CNfcType2Tag::SetLockBits(size_t address, int bits) {
    for (size_t byte = address; bits > 0;) {
        Type2Page set{};
        const int page = static_cast<int>(byte / kPageSize);
        for (size_t i = byte % kPageSize; i < kPageSize && bits > 0; ++i, ++byte, bits -= 8)
            set[i] = static_cast<uint8_t>(bits >= 8 ? 0xFF : (1 << bits) - 1);
        if (!OrIntoPage(page, set)) return false;
    }
    return true;
}

} // namespace kq
