#include "reader/tags/NfcClassicTag.h"

#include "content/NdefTlv.h"
#include "content/TagErrorCode.h"
#include "kqlmx.h"
#include "reader/sdk/Iso14443Commands.h"
#include "reader/tags/ClassicMad.h"
#include "reader/tags/NfcTagHandler.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace kq {

namespace {

using Key = CNfcClassicTag::Key;

// Published keys: MAD key A, NFC Forum public key A, and the transport key.
constexpr Key kMadKey = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
constexpr Key kNfcKey = {0xD3, 0xF7, 0xD3, 0xF7, 0xD3, 0xF7};
constexpr Key kTransportKey = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

using namespace mad;

constexpr uint8_t kNdefAid[2] = {0x03, 0xE1}; // application id E103, low byte first
constexpr uint8_t kMadAccess[3] = {0x78, 0x77, 0x88};
constexpr uint8_t kNdefAccess[3] = {0x7F, 0x07, 0x88};
constexpr uint8_t kReadOnlyAccess[3] = {0x07, 0x8F, 0x0F};
constexpr uint8_t kNdefGpb = 0x40; // mapping 1.0, read and write
constexpr uint8_t kMad1Gpb = 0xC1; // MAD available, multi-application, MAD version 1
constexpr uint8_t kMad2Gpb = 0xC2; // ... version 2 (4K)
constexpr uint8_t kGpbReadOnly = 0x03;
constexpr uint8_t kGpbMadAvailable = 0x80; // DA: sector 0 holds a MAD
constexpr uint8_t kMadVersionMask = 0x03;
constexpr uint8_t kMadVersion1 = 0x01;
constexpr uint8_t kMadVersion2 = 0x02;
constexpr uint8_t kGpbNewer = 0x80;
constexpr uint8_t kTlvTerminator = 0xFE;

Bytes Trailer(const Key& keyA, const uint8_t* access, uint8_t gpb) {
    Bytes t(keyA.begin(), keyA.end());
    t.insert(t.end(), access, access + 3);
    t.push_back(gpb);
    t.insert(t.end(), kTransportKey.begin(), kTransportKey.end());
    return t;
}

int64_t LastRead(const Bytes& bytes) {
    return static_cast<int64_t>(bytes.size()) - 1;
}

} // namespace

bool CNfcClassicTag::Fail(int code) {
    // A tag that has gone is the cause, whatever step found it missing.
    handler_.SetError(lostCode_ ? lostCode_ : code);
    return false;
}

void CNfcClassicTag::Reactivate() {
    if (handler_.Reactivate()) {
        lostCode_ = 0;
        return;
    }
    const int code = handler_.Port().lastError;
    lostCode_ = code ? code : kTagErrorNoTag;
}

bool CNfcClassicTag::AgainAfter(int attempt) {
    // Only an answer that refused the command is the tag's word; a time-out (which type
    // 0 and 1 readers also give for a refused authentication, under another flag) or a
    // spoilt answer is asked once more.
    const int code = handler_.Port().lastError;
    const bool refused = handler_.Refused();
    authSector_ = -1;
    Reactivate();
    if (lostCode_ || refused) return false;
    if (attempt == 0) return true;
    lostCode_ = code;
    return false;
}

bool CNfcClassicTag::Authenticate(int sector, KeyType type, const Key& key) {
    if (authSector_ == sector && authType_ == type && authKey_ == key) return true;
    authSector_ = -1;
    for (int attempt = 0;; ++attempt) {
        if (AuthenticateBlock(handler_.Port(), {}, type, key, FirstBlock(sector))) break;
        // A refusal has halted the tag.
        if (!AgainAfter(attempt)) return false;
    }
    authSector_ = sector;
    authType_ = type;
    authKey_ = key;
    return true;
}

// The block's command, sent once more, after the authentication it ran under, when the
// tag did not answer it.
bool CNfcClassicTag::BlockCommand(const std::function<bool()>& command) {
    for (int attempt = 0;; ++attempt) {
        if (command()) return true;
        const int sector = authSector_;
        const KeyType type = authType_;
        const Key key = authKey_;
        if (!AgainAfter(attempt)) return false;
        if (sector >= 0 && !Authenticate(sector, type, key)) return false;
    }
}

bool CNfcClassicTag::ReadBlock(int block, Bytes& data) {
    return BlockCommand([&] {
        if (!kq::ReadBlock(handler_.Port(), block, data)) return false;
        if (data.size() < kBlockSize) {
            // A short block is a spoilt answer, no refusal.
            handler_.Port().lastError = KQLMX_ERROR_ANSWER_TOO_SHORT;
            return false;
        }
        data.resize(kBlockSize);
        return true;
    });
}

bool CNfcClassicTag::WriteBlock(int block, std::span<const uint8_t> data) {
    return BlockCommand([&] { return kq::WriteBlock(handler_.Port(), block, data.first(kBlockSize)); });
}

bool CNfcClassicTag::CheckSector(int sector, bool authenticated, SectorCheck& check) {
    check = {};
    if (!authenticated && !Authenticate(sector, kKeyA, kNfcKey)) return Fail(kTagErrorClassicAuthentication);
    Bytes trailer;
    if (!ReadBlock(TrailerBlock(sector), trailer)) return Fail(kTagErrorBlockRead);
    check.gpb = trailer[9];
    check.trailer = trailer;
    if (check.gpb & kGpbNewer) return Fail(kTagErrorMappingVersionNewer);
    const int access = check.gpb & 0x0F;
    check.valid = access == 0 || access == kGpbReadOnly;
    check.readOnly = access == kGpbReadOnly;
    check.writable = access == 0 && DataFreeWithKeyA(trailer);
    return true;
}

bool CNfcClassicTag::ReadMad(Mad& mad) {
    mad = {};
    Bytes mad1, block;
    if (!Authenticate(0, kKeyA, kMadKey)) return false;
    for (int b = 1; b <= 3; ++b) {
        if (!ReadBlock(b, block)) return false;
        if (b < 3) mad1.insert(mad1.end(), block.begin(), block.end());
    }
    // A 4K whose MAD1 says version 1 has no MAD2: its directory ends with sector 15,
    // and what lies behind is nobody's to take.
    const bool withMad2 = is4K_ && (block[9] & kMadVersionMask) != kMadVersion1;
    mad.lastSector = withMad2 ? SectorCount() - 1 : kMad2Sector - 1;
    std::vector<bool> listed(static_cast<size_t>(SectorCount()), false);
    mad.free.assign(static_cast<size_t>(SectorCount()), false);
    auto entries = [&](const Bytes& blocks, int from, int to) {
        mad.crcRight = mad.crcRight && CrcRight(blocks);
        for (int s = from; s < to; ++s) {
            const Entry e = EntryOf(blocks, s);
            listed[static_cast<size_t>(s)] = e == Entry::Ndef;
            mad.free[static_cast<size_t>(s)] = e == Entry::Free;
            if (e == Entry::Ndef) mad.listed.push_back(s);
        }
    };
    entries(mad1, 1, kMad2Sector);
    if (withMad2) {
        Bytes mad2;
        if (!Authenticate(kMad2Sector, kKeyA, kMadKey)) return false;
        for (int b = 64; b <= 67; ++b) {
            if (!ReadBlock(b, block)) return false;
            if (b < 67) mad2.insert(mad2.end(), block.begin(), block.end());
        }
        entries(mad2, kMad2Sector + 1, SectorCount());
    }
    // The first listed sector that checks as NDEF starts the run of listed sectors;
    // the first gap ends it.
    SectorCheck first;
    for (int s = 1; s <= mad.lastSector; ++s) {
        if (s == kMad2Sector) continue;
        const bool isListed = listed[static_cast<size_t>(s)];
        if (!mad.sectors.empty()) {
            if (!isListed) break;
            mad.sectors.push_back(s);
            continue;
        }
        if (!isListed) continue;
        SectorCheck check;
        if (!CheckSector(s, false, check)) {
            if (lostCode_) return false;
            if (handler_.Port().lastError == kTagErrorMappingVersionNewer) {
                mad.newer = true;
                return false;
            }
            continue;
        }
        if (!check.valid) continue;
        first = check;
        mad.sectors.push_back(s);
    }
    if (mad.sectors.empty()) return false;
    mad.writable = first.writable;
    return true;
}

// Reads the data blocks of an authenticated sector into the area, walking the TLVs
// after each; false when a read fails. Stops once the walk needs no more bytes.
bool CNfcClassicTag::ReadSectorData(int sector, Bytes& area, bool stopAfterFirst,
                                    CNdefMessageList& messages) {
    for (int i = 0; i < DataBlocks(sector) && handler_.GetMore(); ++i) {
        Bytes data;
        if (!ReadBlock(FirstBlock(sector) + i, data)) return Fail(kTagErrorBlockRead);
        area.insert(area.end(), data.begin(), data.end());
        ParseNdefTlvs(handler_, area, LastRead(area), stopAfterFirst, messages);
    }
    return true;
}

bool CNfcClassicTag::Read(CNdefMessageList& messages, bool stopAfterFirst) {
    messages.clear();
    BusyCursor busy;
    Mad mad;
    if (!ReadMad(mad)) return mad.newer && !lostCode_ ? false : Fail(kTagErrorNotNfcFormatted);
    Bytes area;
    handler_.SetMore(true);
    for (size_t i = 0; i < mad.sectors.size() && handler_.GetMore(); ++i) {
        const int s = mad.sectors[i];
        if (!Authenticate(s, kKeyA, kNfcKey)) return Fail(kTagErrorClassicAuthentication);
        if (i > 0) {
            SectorCheck check;
            if (!CheckSector(s, true, check) || !check.valid) return Fail(kTagErrorNotNfcFormatted);
            handler_.SetMore(true);
        }
        if (!ReadSectorData(s, area, stopAfterFirst, messages)) return false;
    }
    if (handler_.GetMore()) ParseNdefTlvs(handler_, area, -1, stopAfterFirst, messages);
    return true;
}

bool CNfcClassicTag::LocateNdefTlv(const Mad& mad, size_t& index, int& block, Bytes& before) {
    Bytes area;
    CNdefMessageList none;
    int64_t offset = -1;
    handler_.SetMore(true);
    for (size_t i = 0; i < mad.sectors.size() && handler_.GetMore(); ++i) {
        const int s = mad.sectors[i];
        if (!Authenticate(s, kKeyA, kNfcKey)) return Fail(kTagErrorClassicAuthentication);
        for (int b = 0; b < DataBlocks(s) && handler_.GetMore(); ++b) {
            Bytes data;
            if (!ReadBlock(FirstBlock(s) + b, data)) return false;
            area.insert(area.end(), data.begin(), data.end());
            ParseNdefTlvs(handler_, area, LastRead(area), false, none, true, &offset);
        }
    }
    if (offset < 0) return false;
    // The sector and block that hold the offset.
    size_t start = 0;
    for (size_t i = 0; i < mad.sectors.size(); ++i) {
        const size_t size = static_cast<size_t>(DataBlocks(mad.sectors[i])) * kBlockSize;
        if (static_cast<size_t>(offset) < start + size) {
            index = i;
            block = static_cast<int>((static_cast<size_t>(offset) - start) / kBlockSize);
            const size_t blockStart = start + static_cast<size_t>(block) * kBlockSize;
            before.assign(area.begin() + static_cast<long>(blockStart), area.begin() + offset);
            return true;
        }
        start += size;
    }
    return false;
}

// How the sector's trailer is rewritten with the transport key: as key A on a sector
// as shipped (trailer access 001), as key B on one formatted before (011), whatever its
// key A is by now (a sector given the NFC key by a run that was cut short included).
// The MAD sectors' data blocks must take the write with that key as well. False when
// no way works; lostCode_ tells whether the tag went away on the way.
bool CNfcClassicTag::TrailerKey(int sector, bool formattedFirst, KeyType& type) {
    auto probe = [&](KeyType t) {
        Bytes trailer;
        if (!Authenticate(sector, t, kTransportKey) || !ReadBlock(TrailerBlock(sector), trailer))
            return false;
        if (AccessBits(trailer, 3) != (t == kKeyA ? 0b001 : 0b011)) return false;
        if (IsMadSector(sector))
            for (int i = 0; i < 3; ++i)
                if (!DataWritable(trailer, i, t == kKeyB)) return false;
        type = t;
        return true;
    };
    const KeyType order[2] = {formattedFirst ? kKeyB : kKeyA, formattedFirst ? kKeyA : kKeyB};
    for (KeyType t : order) {
        if (probe(t)) return true;
        if (lostCode_) return false;
    }
    return false;
}

bool CNfcClassicTag::Format(bool all, size_t byteCount, size_t& missing) {
    BusyCursor busy;
    missing = 0;
    // The MAD sectors: how they are written, and which sectors their entries leave
    // free. Sector 0 without the MAD flag in its GPB holds no directory, and its MAD
    // is written from scratch; a MAD2 is there only where MAD1 says version 2. A 4K
    // whose MAD1 says version 1 keeps its one directory: sectors 16-39 are described
    // by none, so they and sector 16 are nobody's to take. Entries of other
    // applications stay as they are, and so do their sectors.
    std::vector<Entry> use(static_cast<size_t>(SectorCount()), Entry::Free);
    KeyType madType[2] = {kKeyA, kKeyA};
    bool mad2 = false, mad1 = false, withMad2 = is4K_;
    for (int madSector : {0, kMad2Sector}) {
        if (madSector == kMad2Sector && !withMad2) break;
        KeyType& type = madType[madSector == 0 ? 0 : 1];
        if (!TrailerKey(madSector, false, type)) return false;
        const int first = FirstBlock(madSector) + (madSector == 0 ? 1 : 0);
        Bytes dir, block;
        for (int b = first; b <= TrailerBlock(madSector); ++b) {
            if (!ReadBlock(b, block)) return false;
            dir.insert(dir.end(), block.begin(), block.end());
        }
        const uint8_t gpb = block[9];
        bool directory = mad2;
        if (madSector == 0) {
            directory = mad1 = gpb & kGpbMadAvailable;
            mad2 = directory && (gpb & kMadVersionMask) == kMadVersion2;
            if (directory && (gpb & kMadVersionMask) == kMadVersion1) withMad2 = false;
        }
        if (!directory) continue;
        for (int s = madSector + 1; s < (madSector == 0 ? kMad2Sector : SectorCount()); ++s)
            use[static_cast<size_t>(s)] = EntryOf(dir, s);
    }

    // A run of sectors that are free or NDEF and whose trailers take the write: the
    // first that holds the area (as far as it is needed), or the largest for a full
    // format, so that another application's sector in the way does not refuse a write
    // the free sectors behind it can hold. A listed sector that checks as NDEF is where
    // the MAD's run will begin once sector 0 is readable: no run behind it is taken.
    // Everything is known before the first byte goes out.
    constexpr int kTrailerAsItIs = -1;
    RunChoice choice(byteCount == 0 ? 1 : (byteCount - 1) / kBlockSize + 1, all);
    const int lastSector = withMad2 ? SectorCount() - 1 : kMad2Sector - 1;
    for (int s = 1; s <= lastSector && !choice.Done(); ++s) {
        if (s == kMad2Sector) continue;
        KeyType type = kKeyA;
        const Entry entry = use[static_cast<size_t>(s)];
        if (entry != Entry::Other && TrailerKey(s, false, type)) {
            choice.Usable(s, type);
            continue;
        }
        if (lostCode_) return false;
        if (entry != Entry::Ndef) {
            choice.NotUsable();
            continue;
        }
        // A listed sector whose trailer is not ours to rewrite, but that checks as an
        // NDEF sector, is taken as it stands, or the format cannot be done.
        SectorCheck check;
        const bool checked = CheckSector(s, false, check);
        if (lostCode_) return false;
        const bool newer = !checked && handler_.Port().lastError == kTagErrorMappingVersionNewer;
        const bool first = choice.Nothing();
        if (checked && check.valid && !check.writable && first) return Fail(kTagErrorWriteProtected);
        if (newer && first) return false;
        const bool pins = (checked && check.valid) || newer;
        if (checked && check.valid && check.writable)
            choice.Usable(s, kTrailerAsItIs, pins);
        else
            choice.NotUsable(pins);
    }
    const RunChoice::Run chosen = choice.Chosen();
    if (chosen.blocks * kBlockSize < byteCount || chosen.sectors.empty()) {
        missing = byteCount - std::min(byteCount, chosen.blocks * kBlockSize);
        return Fail(kTagErrorMessageTooLarge);
    }
    const std::vector<int>& ndef = chosen.sectors;

    // The NDEF sectors' trailers first, then the MAD entries, and sector 0's trailer
    // last: until the MAD key is on sector 0 the tag reads as not formatted, and the
    // format run again (or a write, which formats it) finds the sectors a cut-short run
    // keyed by their key B. A MAD naming sectors that still have the transport key would
    // read as formatted, yet no longer message would ever fit.
    std::vector<std::pair<int, KeyType>> trailers;
    for (size_t i = 0; i < ndef.size(); ++i)
        if (chosen.keys[i] != kTrailerAsItIs)
            trailers.emplace_back(ndef[i], static_cast<KeyType>(chosen.keys[i]));
    auto writeTrailers = [&] {
        for (const auto& [s, type] : trailers) {
            if (!Authenticate(s, type, kTransportKey)) return false;
            const Bytes trailer = s == 0 ? Trailer(kMadKey, kMadAccess, withMad2 ? kMad2Gpb : kMad1Gpb)
                                  : s == kMad2Sector ? Trailer(kMadKey, kMadAccess, kMad2Gpb)
                                                     : Trailer(kNfcKey, kNdefAccess, kNdefGpb);
            if (!WriteBlock(TrailerBlock(s), trailer)) return false;
        }
        return true;
    };
    if (!writeTrailers()) return false;
    if (!EnterInMad(ndef, {madType[0] == kKeyB, madType[1] == kKeyB}, withMad2, {!mad1, !mad2})) return false;
    trailers.clear();
    // The 4K's MAD version 2 lives in sector 16: it is formatted with every 4K that
    // does not keep a MAD version 1.
    if (withMad2) trailers.emplace_back(kMad2Sector, madType[1]);
    trailers.emplace_back(0, madType[0]);
    return writeTrailers();
}

// Sets the NDEF entries of the sectors in the MADs that list them, with each MAD's CRC
// over its info byte (kept as read) and all its entries. The MAD sectors are
// authenticated with the transport key, as key B where madKeyB says so (0: MAD1,
// 1: MAD2). withMad2 writes the MAD2 and its CRC also without entries of its own. A
// MAD sector that held no directory (fresh, by MAD) gets info byte 00 and free entries
// besides the new ones, whatever its blocks held.
bool CNfcClassicTag::EnterInMad(const std::vector<int>& sectors, const std::vector<bool>& madKeyB,
                                bool withMad2, const std::vector<bool>& fresh) {
    for (int madSector : {0, kMad2Sector}) {
        std::vector<int> entries;
        std::copy_if(sectors.begin(), sectors.end(), std::back_inserter(entries),
                     [&](int s) { return MadOf(s) == madSector; });
        if (entries.empty() && !(madSector == kMad2Sector && withMad2)) continue;
        const KeyType type = madKeyB[madSector == 0 ? 0 : 1] ? kKeyB : kKeyA;
        if (!Authenticate(madSector, type, kTransportKey)) return false;
        const int first = FirstBlock(madSector) + (madSector == 0 ? 1 : 0);
        Bytes mad;
        for (int b = 0; b < MadBlocks(madSector); ++b) {
            Bytes data;
            if (!ReadBlock(first + b, data)) return false;
            mad.insert(mad.end(), data.begin(), data.end());
        }
        const Bytes before = mad;
        if (fresh.size() == 2 && fresh[madSector == 0 ? 0 : 1]) std::fill(mad.begin(), mad.end(), 0x00);
        for (int s : entries)
            std::copy(kNdefAid, kNdefAid + 2, mad.begin() + static_cast<long>(EntryIndex(s)));
        mad[0] = Crc(std::span<const uint8_t>(mad).subspan(1));
        for (int b = 0; b < MadBlocks(madSector); ++b) {
            const auto at = static_cast<long>(b * kBlockSize);
            if (std::equal(mad.begin() + at, mad.begin() + at + kBlockSize, before.begin() + at)) continue;
            if (!WriteBlock(first + b,
                            std::span<const uint8_t>(mad).subspan(static_cast<size_t>(at), kBlockSize)))
                return false;
        }
    }
    return true;
}

bool CNfcClassicTag::Capacity(Mad& mad, size_t startIndex, int startBlock, size_t byteCount,
                              size_t& missing) {
    std::vector<int>& sectors = mad.sectors;
    missing = 0;
    lostCode_ = 0;
    // The room of the listed sectors the write will take, in order, as far as it is
    // needed: a sector that cannot be written ends it, and then no sector behind it is
    // added either, since the write could not reach it.
    size_t room = 0;
    bool blocked = false;
    for (size_t i = startIndex; i < sectors.size() && room < byteCount; ++i) {
        SectorCheck check;
        if (!CheckSector(sectors[i], false, check) || !check.valid || !check.writable) {
            if (lostCode_) return Fail(lostCode_);
            // The sector that holds the message's start: the message cannot be written.
            if (i == startIndex) return Fail(kTagErrorWriteProtected);
            blocked = true;
            break;
        }
        room += static_cast<size_t>(DataBlocks(sectors[i]) - (i == startIndex ? startBlock : 0)) * kBlockSize;
    }
    if (room >= byteCount) return true;
    const size_t listedRoom = room;

    // More sectors after the last listed one, passing over the MAD2 sector. A sector the
    // MAD gives to another application, or whose trailer does not take the write, ends
    // the run: its data and keys are not ours.
    std::vector<std::pair<int, KeyType>> added;
    for (int s = sectors.back() + 1; !blocked && s <= mad.lastSector && room < byteCount; ++s) {
        if (s == kMad2Sector) continue;
        KeyType type = kKeyA;
        if (!mad.free[static_cast<size_t>(s)] || !TrailerKey(s, false, type)) break;
        added.emplace_back(s, type);
        room += static_cast<size_t>(DataBlocks(s)) * kBlockSize;
    }
    if (lostCode_) return Fail(lostCode_);
    // The MADs that list them must take the entries: their data blocks are written with
    // key B only.
    std::vector<int> madSectors;
    for (const auto& [s, type] : added)
        if (std::find(madSectors.begin(), madSectors.end(), MadOf(s)) == madSectors.end())
            madSectors.push_back(MadOf(s));
    for (int madSector : madSectors) {
        KeyType type = kKeyB;
        if (!TrailerKey(madSector, true, type) || type != kKeyB) {
            if (lostCode_) return Fail(lostCode_);
            // The sectors the other MAD would list stay free; those before it still
            // count (sectors go in order, the MAD1's first).
            added.erase(std::find_if(added.begin(), added.end(),
                                     [&](const auto& a) { return MadOf(a.first) == madSector; }),
                        added.end());
            room = listedRoom;
            for (const auto& a : added)
                room += static_cast<size_t>(DataBlocks(a.first)) * kBlockSize;
            break;
        }
    }
    if (room < byteCount) {
        missing = byteCount - room;
        return Fail(kTagErrorMessageTooLarge);
    }
    // The trailers first, the MAD last: a tag taken away in between has sectors with
    // the NFC key that no MAD lists, which the next write finds free and takes again.
    std::vector<int> taken;
    for (const auto& [s, type] : added) {
        if (!Authenticate(s, type, kTransportKey) ||
            !WriteBlock(TrailerBlock(s), Trailer(kNfcKey, kNdefAccess, kNdefGpb)))
            return Fail(kTagErrorBlockWrite);
        taken.push_back(s);
    }
    if (!taken.empty() && !EnterInMad(taken, {true, true}, false)) return Fail(kTagErrorBlockWrite);
    sectors.insert(sectors.end(), taken.begin(), taken.end());
    return true;
}

bool CNfcClassicTag::Write(std::span<const uint8_t> area, bool all) {
    BusyCursor busy;
    Mad mad;
    // A MAD whose CRC is wrong is an update that was cut short (a format, or the entries
    // of a growing write): the format completes it, keeping what it lists.
    if (!ReadMad(mad) || !mad.crcRight) {
        // NDEF data of a newer mapping is not formatted away unless a format is asked for.
        if (mad.newer && !all) return false;
        // A tag taken away is told so, not formatted.
        if (lostCode_) return Fail(lostCode_);
        Reactivate();
        authSector_ = -1;
        size_t missing = 0;
        if (!Format(all, area.size(), missing)) {
            if (missing == 0) return Fail(kTagErrorFormat);
            handler_.SetOverflow(static_cast<int>(std::min<size_t>(missing, INT32_MAX)));
            return false;
        }
        if (!ReadMad(mad)) return Fail(kTagErrorNotNfcFormatted);
    }
    if (!mad.writable) return Fail(kTagErrorWriteProtected);

    size_t index = 0;
    int block = 0;
    Bytes bytes;
    if (!LocateNdefTlv(mad, index, block, bytes)) {
        // A read that failed says nothing about the TLVs in front of the message.
        if (lostCode_) return Fail(lostCode_);
        index = 0;
        block = 0;
        bytes.clear();
    }
    const size_t tlvIndex = bytes.size();
    bytes.insert(bytes.end(), area.begin(), area.end());
    size_t missing = 0;
    if (!Capacity(mad, index, block, bytes.size(), missing)) {
        handler_.SetOverflow(static_cast<int>(std::min<size_t>(missing, INT32_MAX)));
        return false;
    }
    bytes.resize((bytes.size() + kBlockSize - 1) / kBlockSize * kBlockSize, 0x00);
    // The data blocks that take the bytes, in order; never a trailer.
    const size_t count = bytes.size() / kBlockSize;
    std::vector<std::pair<int, int>> targets; // sector, block
    for (size_t i = index; i < mad.sectors.size() && targets.size() < count; ++i)
        for (int b = i == index ? block : 0; b < DataBlocks(mad.sectors[i]) && targets.size() < count; ++b)
            targets.emplace_back(mad.sectors[i], FirstBlock(mad.sectors[i]) + b);
    if (targets.size() < count) {
        handler_.SetOverflow(0);
        return Fail(kTagErrorMessageTooLarge);
    }
    // While the blocks go out, the first carries a Terminator TLV where the NDEF Message
    // TLV begins, and gets its real bytes last: a tag taken away in the middle reads as
    // holding no message, never as the head of one message on the tail of another.
    const std::span<const uint8_t> out(bytes);
    auto put = [&](size_t n, std::span<const uint8_t> data) {
        if (!Authenticate(targets[n].first, kKeyA, kNfcKey))
            return Fail(lostCode_ ? lostCode_ : kTagErrorClassicAuthentication);
        return WriteBlock(targets[n].second, data) || Fail(kTagErrorBlockWrite);
    };
    if (count > 1) {
        Bytes first(bytes.begin(), bytes.begin() + kBlockSize);
        first[tlvIndex] = kTlvTerminator;
        if (!put(0, first)) return false;
    }
    for (size_t n = count > 1 ? 1 : 0; n < count; ++n)
        if (!put(n, out.subspan(n * kBlockSize, kBlockSize))) return false;
    return count == 1 || put(0, out);
}

bool CNfcClassicTag::MakeReadOnly() {
    BusyCursor busy;
    Mad mad;
    if (!ReadMad(mad)) return Fail(mad.newer ? kTagErrorMappingVersionNewer : kTagErrorNotNfcFormatted);
    // A MAD whose update was cut short is completed by a write or format, never frozen.
    if (!mad.crcRight) return Fail(kTagErrorNfcData);
    std::vector<int> lock;
    for (int madSector : {0, kMad2Sector}) {
        if (madSector == kMad2Sector && mad.lastSector < kMad2Sector) break;
        Bytes trailer;
        if (!Authenticate(madSector, kKeyA, kMadKey)) return Fail(kTagErrorClassicAuthentication);
        if (!ReadBlock(TrailerBlock(madSector), trailer)) return Fail(kTagErrorBlockRead);
        if (!ReadOnly(trailer)) lock.push_back(madSector);
    }
    // Every sector the MAD names as NDEF whose access bits still let a key write, also
    // those behind the message's end or behind another application's sectors, and
    // whatever its GPB says: left writable, they would take raw writes and a later,
    // longer message's tail on a tag that says it is read-only. Only a sector whose GPB
    // names no mapping of ours is passed over; one that cannot be checked fails the
    // lock before anything is locked.
    for (int s : mad.listed) {
        SectorCheck check;
        if (!CheckSector(s, false, check)) return false;
        if (!check.valid || ReadOnly(check.trailer)) continue;
        // A readable key B is no key: the trailer cannot be rewritten with it.
        if (KeyBReadable(check.trailer)) return Fail(kTagErrorClassicAuthentication);
        lock.push_back(s);
    }
    // Every trailer must take the write with the transport key as key B before the
    // first is locked: a sector locked for good beside one that cannot be locked (key B
    // of another program, access bits that keep the trailer from key B) would leave a
    // tag that neither says read-only nor ever grows again.
    std::vector<Bytes> trailers;
    for (int s : lock) {
        if (!Authenticate(s, kKeyB, kTransportKey)) return Fail(kTagErrorClassicAuthentication);
        Bytes trailer;
        if (!ReadBlock(TrailerBlock(s), trailer)) return Fail(kTagErrorBlockRead);
        if (AccessBits(trailer, 3) != 0b011) return Fail(kTagErrorClassicAuthentication);
        trailers.push_back(std::move(trailer));
    }
    for (size_t i = 0; i < lock.size(); ++i) {
        const int s = lock[i];
        if (!Authenticate(s, kKeyB, kTransportKey)) return Fail(kTagErrorClassicAuthentication);
        const uint8_t gpb = trailers[i][9];
        const Bytes locked = IsMadSector(s) ? Trailer(kMadKey, kReadOnlyAccess, gpb)
                                            : Trailer(kNfcKey, kReadOnlyAccess, gpb | kGpbReadOnly);
        if (!WriteBlock(TrailerBlock(s), locked)) return Fail(kTagErrorBlockWrite);
    }
    return true;
}

} // namespace kq
