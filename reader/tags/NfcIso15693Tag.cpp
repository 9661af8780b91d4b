#include "reader/tags/NfcIso15693Tag.h"

#include "content/NdefTlv.h"
#include "content/TagContent.h"
#include "content/TagErrorCode.h"
#include "kqlmx.h"
#include "reader/sdk/Iso15693Commands.h"
#include "reader/tags/NfcTagHandler.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>

namespace kq {

namespace {

constexpr int kFlags = KQLMX_ISO15693_DATA_RATE;
constexpr int kInventoryFlags = KQLMX_ISO15693_SUBCARRIER | KQLMX_ISO15693_ONE_SLOT;
constexpr uint8_t kCcMagic = 0xE1;
constexpr uint8_t kMappingVersion = 0x40; // 1.0
constexpr uint8_t kReadAccess = 0x0C;
constexpr uint8_t kWriteAccess = 0x03; // 11: read-only; 01 and 10 are not free either
constexpr uint8_t kNewerMajor = 0x80;
constexpr uint8_t kMultiRead = 0x01;
constexpr uint8_t kTlvTerminator = 0xFE;
constexpr uint8_t kInfoMemorySize = 0x04;
constexpr int kCcSize = 4;
constexpr int kLongCcSize = 8; // byte 2 is 00: the size follows in bytes 6-7
// Up to this memory size a tag is formatted with the 4-byte CC that every reader knows.
constexpr int kShortCcMemory = 2048;
constexpr int kDefaultBlocks = 8;
constexpr int kDefaultBlockSize = 4;
constexpr int kGroupBlocks = 8;
constexpr int kSecurityGroup = 64;
// The CC states the data size in units of 8 bytes in one byte.
constexpr int kMaxDataSize = 0xFF * 8;

int64_t LastRead(std::span<const uint8_t> bytes) {
    return static_cast<int64_t>(bytes.size()) - 1;
}

// The blocks that hold the data area; the last may hold it only in part (a tag of
// 2048 bytes in 32-byte blocks has 2040 bytes of area).
int AreaBlocks(const CNfcIso15693Tag::Layout& layout) {
    return (layout.dataSize + layout.blockSize - 1) / layout.blockSize;
}

bool AllSet(const Bytes& status, int count) {
    return status.size() == static_cast<size_t>(count) &&
           std::all_of(status.begin(), status.end(), [](uint8_t s) { return s != 0; });
}

} // namespace

bool CNfcIso15693Tag::Fail(int code) {
    // A tag that has gone is the cause, whatever step found it missing.
    handler_.SetError(lost_ ? kTagErrorNoTag : code);
    return false;
}

// A command to the tag failed: either the tag went away, or it refused.
bool CNfcIso15693Tag::FailCommand(int code) {
    if (!lost_) {
        Bytes records;
        lost_ = !Again([&] { return Iso15693Inventory(handler_.Port(), kInventoryFlags, records); });
        for (size_t at = 0; !lost_ && at + kInventoryRecordSize <= records.size(); at += kInventoryRecordSize)
            if (std::equal(uid_.begin(), uid_.end(), records.begin() + static_cast<long>(at) + 3))
                return Fail(code);
        lost_ = true;
    }
    return Fail(code);
}

bool CNfcIso15693Tag::Again(const std::function<bool()>& command) {
    // A request the tag left unanswered (a lost frame, a weak field), or whose answer
    // came too late or spoilt, is sent once more: the tag is addressed by its UID and needs no
    // activation, and what came late is dropped before the next request goes out.
    if (command()) return true;
    return !handler_.Refused() && command();
}

bool CNfcIso15693Tag::ReadBlock(int block, int blockSize, Bytes& data) {
    return Again([&] { return Iso15693ReadBlock(handler_.Port(), block, uid_, kFlags, data); }) &&
           (blockSize == 0 || data.size() == static_cast<size_t>(blockSize));
}

// Block count and size from the system information; zeros when it tells none. False
// when the tag did not answer at all: no size may be assumed then.
bool CNfcIso15693Tag::MemorySize(int& blocks, int& blockSize) {
    blocks = blockSize = 0;
    Bytes info;
    if (!Again([&] { return Iso15693GetSystemInfo(handler_.Port(), uid_, kFlags, info); }))
        return handler_.Refused() || FailCommand(kTagErrorBlockRead);
    if (info.empty() || !(info[0] & kInfoMemorySize)) return true;
    // After the info flags and the UID: DSFID and AFI when present, then the size.
    const size_t at = 9 + (info[0] & 1) + ((info[0] >> 1) & 1);
    if (at + 1 >= info.size()) return true;
    // Blocks smaller than the CC cannot hold it: such a size counts as none told.
    if ((info[at + 1] & 0x1F) + 1 < kCcSize) return true;
    blocks = info[at] + 1;
    blockSize = (info[at + 1] & 0x1F) + 1;
    return true;
}

// The block size where the system information tells none: that of block 0 as read.
bool CNfcIso15693Tag::BlockSize(int& blocks, int& blockSize, Bytes& block0) {
    if (!MemorySize(blocks, blockSize)) return false;
    if (!ReadBlock(0, blockSize, block0) || block0.size() < kCcSize) return FailCommand(kTagErrorBlockRead);
    if (blockSize == 0) blockSize = static_cast<int>(block0.size());
    return true;
}

bool CNfcIso15693Tag::ReadCc(Layout& layout) {
    layout = Layout{};
    int blocks = 0;
    if (!BlockSize(blocks, layout.blockSize, layout.cc)) return false;
    Bytes cc = layout.cc;
    if (cc[0] == kCcMagic && cc[2] == 0 && cc.size() < kLongCcSize) {
        Bytes next;
        if (!ReadBlock(1, layout.blockSize, next)) return FailCommand(kTagErrorBlockRead);
        cc.insert(cc.end(), next.begin(), next.end());
    }
    if (cc[0] != kCcMagic) return Fail(kTagErrorNotNfcFormatted);
    // Another program's CC that keeps reading to itself is not ours to format away.
    if (cc[1] & kReadAccess) return Fail(kTagErrorNfcReadProtection);
    if (cc[1] & kNewerMajor) return Fail(kTagErrorMappingVersionNewer);
    if (cc[1] < kMappingVersion) return Fail(kTagErrorMappingVersionOlder);
    layout.ccSize = cc[2] == 0 ? kLongCcSize : kCcSize;
    layout.dataSize = cc[2] == 0 ? (cc[6] << 8 | cc[7]) * 8 + kLongCcSize : cc[2] * 8;
    layout.firstBlock = layout.ccSize / layout.blockSize;
    // A CC that claims more than the tag's memory would let a write run off its end,
    // after the blocks before had taken the first part.
    if (blocks > 0) layout.dataSize = std::min(layout.dataSize, blocks * layout.blockSize);
    layout.blocks = blocks;
    layout.multiRead = cc[3] & kMultiRead;
    layout.readOnly = (cc[1] & kWriteAccess) != 0;

    // The NDEF Message TLV, block by block. On large blocks the area begins behind the
    // CC inside block 0; its offset still counts from the start of block 0.
    const size_t skip = static_cast<size_t>(layout.ccSize % layout.blockSize);
    const int count = AreaBlocks(layout);
    Bytes area;
    CNdefMessageList none;
    int64_t offset = -1;
    handler_.SetMore(true);
    for (int b = layout.firstBlock; b < count && handler_.GetMore(); ++b) {
        Bytes data = layout.cc;
        if (b > 0 && !ReadBlock(b, layout.blockSize, data)) return FailCommand(kTagErrorBlockRead);
        area.insert(area.end(), data.begin(), data.end());
        const std::span<const uint8_t> walk = std::span<const uint8_t>(area).subspan(skip);
        ParseNdefTlvs(handler_, walk, LastRead(walk), false, none, true, &offset);
    }
    if (offset < 0) return Fail(kTagErrorNotNfcFormatted);
    layout.offset = offset + static_cast<int64_t>(skip);
    return true;
}

bool CNfcIso15693Tag::Read(CNdefMessageList& messages, bool stopAfterFirst) {
    messages.clear();
    Layout layout;
    if (!ReadCc(layout)) return false;
    BusyCursor busy;
    const int count = AreaBlocks(layout);
    const size_t skip = static_cast<size_t>(layout.ccSize % layout.blockSize);
    const size_t blockSize = static_cast<size_t>(layout.blockSize);
    Bytes area;
    auto append = [&](const Bytes& data, bool last) {
        area.insert(area.end(), data.begin(), data.end());
        const std::span<const uint8_t> walk = std::span<const uint8_t>(area).subspan(skip);
        ParseNdefTlvs(handler_, walk, last ? -1 : LastRead(walk), stopAfterFirst, messages);
    };

    if (layout.multiRead) {
        handler_.SetMore(true);
        bool failed = false;
        for (int b = layout.firstBlock; b < count && handler_.GetMore(); b += kGroupBlocks) {
            const int n = std::min(kGroupBlocks, count - b);
            Bytes data;
            if (!Iso15693ReadBlocks(handler_.Port(), b, n, uid_, kFlags, data) ||
                data.size() != n * blockSize) {
                failed = true;
                break;
            }
            append(data, false);
        }
        if (!failed && !handler_.GetMore()) return true;
        // Read again block by block, from an empty list.
        messages.clear();
        area.clear();
    }
    handler_.SetMore(true);
    for (int b = layout.firstBlock; b < count && handler_.GetMore(); ++b) {
        Bytes data;
        if (!ReadBlock(b, layout.blockSize, data)) return FailCommand(kTagErrorBlockRead);
        append(data, false);
    }
    if (handler_.GetMore()) append({}, true);
    return true;
}

// The CC of the tag's memory size (8 blocks of 4 bytes when the tag tells none), and
// the layout it makes; the CC is written by the caller, once it knows that the message
// fits. A tag of more than 2048 bytes gets the 8-byte CC, which states up to 512 KiB.
bool CNfcIso15693Tag::FormatLayout(Layout& layout) {
    layout = Layout{};
    int blocks = 0, blockSize = 0;
    Bytes block0;
    if (!BlockSize(blocks, blockSize, block0)) return false;
    if (blocks == 0) {
        blocks = kDefaultBlocks;
        blockSize = blockSize > kDefaultBlockSize ? blockSize : kDefaultBlockSize;
    }
    layout.blockSize = blockSize;
    const int memory = blocks * blockSize;
    layout.ccSize = memory > kShortCcMemory ? kLongCcSize : kCcSize;
    // One size byte reaches 2040 bytes: a tag of up to 2048 is formatted with that room.
    layout.dataSize = std::min(memory, layout.ccSize == kCcSize ? kMaxDataSize : memory) / 8 * 8;
    layout.firstBlock = layout.ccSize / blockSize;
    layout.offset = layout.ccSize % blockSize;
    Bytes probe;
    // Only a refusal says that the tag does not read several blocks at once.
    const bool read = Again([&] { return Iso15693ReadBlocks(handler_.Port(), 0, 2, uid_, kFlags, probe); });
    if (!read && !handler_.Refused()) return FailCommand(kTagErrorBlockRead);
    layout.multiRead = read && !probe.empty();
    const uint8_t features = layout.multiRead ? kMultiRead : 0;
    if (layout.ccSize == kCcSize) {
        layout.cc = {kCcMagic, kMappingVersion, static_cast<uint8_t>(layout.dataSize / 8), features};
    } else {
        const int units = (layout.dataSize - kLongCcSize) / 8;
        layout.cc = {kCcMagic,
                     kMappingVersion,
                     0x00,
                     features,
                     0x00,
                     0x00,
                     static_cast<uint8_t>(units >> 8),
                     static_cast<uint8_t>(units)};
    }
    return true;
}

// The blocks' security status, asked in groups: one answer for 256 blocks is longer
// than a reader frame takes. False when any group went unanswered.
bool CNfcIso15693Tag::SecurityStatus(int first, int count, Bytes& status) {
    status.clear();
    for (int b = first; b < first + count; b += kSecurityGroup) {
        const int n = std::min(kSecurityGroup, first + count - b);
        Bytes part;
        if (!Again([&] { return Iso15693GetBlockSecurity(handler_.Port(), b, n, uid_, kFlags, part); }) ||
            part.size() != static_cast<size_t>(n))
            return false;
        status.insert(status.end(), part.begin(), part.end());
    }
    return true;
}

bool CNfcIso15693Tag::WriteBlocks(int first, int blockSize, Bytes bytes, std::optional<size_t> tlvIndex) {
    const size_t size = static_cast<size_t>(blockSize);
    bytes.resize((bytes.size() + size - 1) / size * size, 0x00);
    const int count = static_cast<int>(bytes.size() / size);
    Bytes status;
    if (SecurityStatus(first, count, status) &&
        std::any_of(status.begin(), status.end(), [](uint8_t s) { return s != 0; }))
        return Fail(kTagErrorWriteProtected);
    auto put = [&](int i, std::span<const uint8_t> block) {
        if (Again([&] { return Iso15693WriteBlock(handler_.Port(), first + i, block, uid_, kFlags); }))
            return true;
        // Some tags store the block and still report a failure: the block tells.
        Bytes back;
        return (ReadBlock(first + i, blockSize, back) &&
                std::equal(back.begin(), back.end(), block.begin())) ||
               FailCommand(kTagErrorBlockWrite);
    };
    // While the blocks go out, the block where the NDEF Message TLV begins carries a
    // Terminator TLV there, and gets its real bytes last: a tag taken away in the
    // middle reads as holding no message, never as the head of one message on the tail
    // of another.
    const bool guarded = tlvIndex && count > 1;
    const int head = guarded ? static_cast<int>(*tlvIndex / size) : -1;
    const std::span<const uint8_t> all(bytes);
    if (guarded) {
        Bytes guard(all.begin() + static_cast<long>(head * size),
                    all.begin() + static_cast<long>((head + 1) * size));
        guard[*tlvIndex % size] = kTlvTerminator;
        if (!put(head, guard)) return false;
    }
    for (int i = 0; i < count; ++i)
        if (i != head && !put(i, all.subspan(static_cast<size_t>(i) * size, size))) return false;
    return !guarded || put(head, all.subspan(static_cast<size_t>(head) * size, size));
}

bool CNfcIso15693Tag::Write(std::span<const uint8_t> area, bool format) {
    Layout layout;
    bool formatting = false;
    if (!ReadCc(layout)) {
        if (lost_) return false;
        // Only a tag without NFC format is formatted on the way; a tag that could not
        // be read, or one of another mapping version, is left as it is.
        if (!format && handler_.Port().lastError != kTagErrorNotNfcFormatted) return false;
        if (!FormatLayout(layout)) return false;
        formatting = true;
    }
    if (layout.readOnly) return Fail(kTagErrorNfcWriteProtection);
    // The area begins in the first block, at the NDEF Message TLV's offset.
    const int64_t needed =
        int64_t{layout.firstBlock} * layout.blockSize + layout.offset + static_cast<int64_t>(area.size());
    if (needed > layout.dataSize) {
        handler_.SetOverflow(static_cast<int>(std::min<int64_t>(needed - layout.dataSize, INT32_MAX)));
        // A format's layout assumes the smallest tag where the system information did
        // not answer: a tag that went away is told so, not as too small.
        return formatting ? FailCommand(kTagErrorMessageTooLarge) : Fail(kTagErrorMessageTooLarge);
    }
    // A tag formatted on the way gets its CC with the message, from block 0, once it
    // is known that the message fits: until the message is complete, the tag reads as
    // holding none.
    if (formatting) {
        Bytes bytes = layout.cc;
        bytes.insert(bytes.end(), area.begin(), area.end());
        return WriteBlocks(0, layout.blockSize, std::move(bytes), layout.cc.size()) || Fail(kTagErrorFormat);
    }
    const int start = layout.firstBlock + static_cast<int>(layout.offset / layout.blockSize);
    const size_t kept = static_cast<size_t>(layout.offset % layout.blockSize);
    Bytes bytes;
    if (kept > 0) {
        Bytes head = layout.cc;
        if (start > 0 && !ReadBlock(start, layout.blockSize, head)) return FailCommand(kTagErrorBlockRead);
        bytes.assign(head.begin(), head.begin() + static_cast<long>(kept));
    }
    bytes.insert(bytes.end(), area.begin(), area.end());
    return WriteBlocks(start, layout.blockSize, std::move(bytes), kept);
}

bool CNfcIso15693Tag::MakeReadOnly() {
    Layout layout;
    if (!ReadCc(layout)) return false;
    // Every block the tag has, also those behind a CC that states less: a read-only tag
    // takes no raw write anywhere.
    const int count = std::max(AreaBlocks(layout), layout.blocks);
    Bytes status;
    const bool known = SecurityStatus(0, count, status);
    if (layout.readOnly && known && AllSet(status, count)) return true; // locked before
    CNdefMessageList messages;
    if (!Read(messages, true)) return false;
    CSdkNfcTagDataList items;
    if (!messages.empty()) MessageToTagData(handler_, *messages.front(), true, false, items);
    if (items.empty()) return Fail(kTagErrorFormattedWithoutContent);
    if ((layout.cc[1] & kWriteAccess) != kWriteAccess) {
        Bytes cc = layout.cc;
        cc[1] |= kWriteAccess;
        if (!WriteBlocks(0, layout.blockSize, cc)) return false;
    }
    // Blocks a lock cut short has locked already are passed over, so that the lock
    // run again completes.
    for (int b = 0; b < count; ++b) {
        if (known && status[static_cast<size_t>(b)] != 0) continue;
        if (Again([&] { return Iso15693LockBlock(handler_.Port(), b, uid_, kFlags); })) continue;
        Bytes one;
        if (Again([&] { return Iso15693GetBlockSecurity(handler_.Port(), b, 1, uid_, kFlags, one); }) &&
            one.size() == 1 && one[0] != 0)
            continue;
        return FailCommand(kTagErrorVicinityBlockLock);
    }
    return true;
}

} // namespace kq
