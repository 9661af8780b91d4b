#include "reader/sdk/Iso15693Commands.h"

#include "kqlmx.h"

#include <algorithm>
#include <initializer_list>

namespace kq {

namespace {

constexpr uint8_t kIsoInventory = 0x01;
constexpr uint8_t kIsoReadSingle = 0x20;
constexpr uint8_t kIsoWriteSingle = 0x21;
constexpr uint8_t kIsoLockBlock = 0x22;
constexpr uint8_t kIsoReadMultiple = 0x23;
constexpr uint8_t kIsoSystemInfo = 0x2B;
constexpr uint8_t kIsoBlockSecurity = 0x2C;
constexpr uint8_t kIsoCustom = 0xA0;
constexpr uint8_t kCustomRead = 0x10;
constexpr uint8_t kCustomWrite = 0x30;

constexpr uint8_t kMakerSt = 0x02;
constexpr uint8_t kMakerNxp = 0x04;
constexpr uint8_t kMakerInfineon = 0x05;
constexpr uint8_t kMakerTi = 0x07;
constexpr uint8_t kMakerFujitsu = 0x08;
constexpr uint8_t kMakerEm = 0x16;

constexpr size_t kUidSize = 8;
constexpr int kInventoryTimeoutMs = 1000;
// At mask length 60 the 16 slots stand for the UID's last four bits: tags that still
// collide there have the same UID, and no longer mask tells them apart.
constexpr int kLastMaskLength = 60;
// Each colliding slot is asked again with a longer mask, so a reader that reports
// collisions everywhere would have the rounds grow sixteen-fold per mask length.
// Real tags part within a few rounds each; what the budget leaves open is a collision.
constexpr int kMaxInventoryRounds = 256;
constexpr size_t kSystemInfoSize = 14;
constexpr size_t kWideSystemInfoSize = 20;
constexpr uint8_t kInfoMemorySize = 0x04;

// A request's target after the flag preparation.
struct Target {
    int flags = 0;                // all bits; the low 8 go to the tag
    std::span<const uint8_t> uid; // empty or 8 bytes
    int maker = 0;                // IC manufacturer code of the UID; 0: none counts

    uint8_t FlagsByte() const { return static_cast<uint8_t>(flags); }
    bool Infineon() const { return maker == kMakerInfineon || (flags & KQLMX_ISO15693_MAKER_05); }
    // Two-byte block numbers: the protocol extension of STMicroelectronics tags.
    bool WideNumbers() const {
        return (flags & KQLMX_ISO15693_EXTENSION) && uid.size() == kUidSize && uid[6] == kMakerSt;
    }
};

Target Prepare(int flags, std::span<const uint8_t> uid) {
    Target t;
    t.flags = flags;
    if (uid.size() == kUidSize) t.uid = uid;
    if (flags & KQLMX_ISO15693_RAW_FLAGS) return t;
    if (!t.uid.empty()) {
        t.flags |= KQLMX_ISO15693_ONE_SLOT; // the address flag outside an inventory
        t.maker = t.uid[6];
    }
    if ((flags & KQLMX_ISO15693_NO_SUBCARRIER) || t.maker == kMakerFujitsu)
        t.flags &= ~KQLMX_ISO15693_SUBCARRIER;
    return t;
}

// Flags byte and command bytes, then the UID when the request is addressed.
Bytes Request(const Target& t, uint8_t flagsByte, std::initializer_list<uint8_t> command) {
    Bytes request{flagsByte};
    request.insert(request.end(), command.begin(), command.end());
    if ((flagsByte & KQLMX_ISO15693_ONE_SLOT) && !t.uid.empty())
        request.insert(request.end(), t.uid.begin(), t.uid.end());
    return request;
}

// A block number (or count - 1) in one byte, or two (least significant first).
bool AppendNumber(CKQ_LMX_Port& port, const Target& t, Bytes& request, int value) {
    const bool wide = t.WideNumbers();
    if (value < 0 || value > (wide ? 0xFFFF : 0xFF)) {
        port.lastError = KQLMX_ERROR_DATA_TOO_LONG;
        return false;
    }
    request.push_back(static_cast<uint8_t>(value));
    if (wide) request.push_back(static_cast<uint8_t>(value >> 8));
    return true;
}

bool CheckCount(CKQ_LMX_Port& port, int count) {
    if (count >= 1 && count <= 256) return true;
    port.lastError = KQLMX_ERROR_COUNT_RANGE;
    return false;
}

Bytes IsoFrame(std::span<const uint8_t> request) {
    Bytes frame{kCmdIso15693};
    frame.insert(frame.end(), request.begin(), request.end());
    return frame;
}

bool Exchange(CKQ_LMX_Port& port, std::span<const uint8_t> request, Bytes& response) {
    return port.Transceive(IsoFrame(request)) && port.ReceiveIso15693Answer(response);
}

bool ReadSingle(CKQ_LMX_Port& port, const Target& t, uint8_t flagsByte, int block, Bytes& data) {
    Bytes request = Request(t, flagsByte, {kIsoReadSingle});
    return AppendNumber(port, t, request, block) && Exchange(port, request, data);
}

bool ReadMultiple(CKQ_LMX_Port& port, const Target& t, int first, int count, Bytes& data) {
    if (!CheckCount(port, count)) return false;
    Bytes request = Request(t, t.FlagsByte(), {kIsoReadMultiple});
    if (!AppendNumber(port, t, request, first)) return false;
    request.push_back(static_cast<uint8_t>(count - 1));
    return Exchange(port, request, data);
}

// [0xA0, 0x05, UID, custom command, block, 0x00]: the Infineon read and write.
bool InfineonRequest(CKQ_LMX_Port& port, const Target& t, uint8_t custom, int block, Bytes& request) {
    request = Request(t, t.FlagsByte(), {kIsoCustom, kMakerInfineon});
    request.push_back(custom);
    if (!AppendNumber(port, t, request, block)) return false;
    request.push_back(0x00);
    return true;
}

bool IsSlotCollision(int protocolType, uint8_t status) {
    switch (protocolType) {
    case 0:
    case 2:
        return (status & 0x0F) == 2;
    case 3:
        return status == 0xCC;
    default:
        return false;
    }
}

struct InventoryWalk {
    CKQ_LMX_Port& port;
    int flags;
    Bytes& records;
    bool unresolved = false; // a collision that no mask (or no round left) resolves
    int rounds = 0;
};

// One inventory round with the given mask; colliding slots recurse with a longer one.
bool InventoryRound(InventoryWalk& walk, int maskLength, uint64_t mask) {
    if (++walk.rounds > kMaxInventoryRounds) {
        walk.unresolved = true;
        return false;
    }
    CKQ_LMX_Port& port = walk.port;
    Bytes request{static_cast<uint8_t>(walk.flags), kIsoInventory};
    if (walk.flags & KQLMX_ISO15693_SELECT_AFI) request.push_back(0x00); // any AFI
    request.push_back(static_cast<uint8_t>(maskLength));
    for (int i = 0; i < (maskLength + 4) / 8; ++i)
        request.push_back(static_cast<uint8_t>(mask >> (8 * i)));
    const int timeoutMs = port.timeoutMs;
    port.timeoutMs = kInventoryTimeoutMs;
    const bool answered = port.Transceive(IsoFrame(request));
    port.timeoutMs = timeoutMs;
    Bytes answer;
    if (!answered || !port.ReceiveAnswer(answer)) return false;

    if (port.protocolType == 2 && answer.size() == 1) {
        // A lone reader status.
        switch (answer[0]) {
        case 1:
            port.lastError = KQLMX_ERROR_NO_TAG_ANSWER;
            return false;
        case 2:
            port.lastError = KQLMX_ERROR_COLLISION;
            return false;
        case 8:
            port.lastError = KQLMX_ERROR_CHECK_BYTES;
            return false;
        default:
            answer.clear();
            break;
        }
    }
    if (port.protocolType == 3 && answer.size() == kInventoryRecordSize - 1 && walk.flags != 0) {
        // The bare response of the one tag: made a record.
        answer.insert(answer.begin(), {static_cast<uint8_t>(kInventoryRecordSize), 0x00});
    }

    const bool oneSlot = walk.flags & KQLMX_ISO15693_ONE_SLOT;
    const int slots = oneSlot ? 1 : 16;
    size_t pos = 0;
    for (int slot = 0; slot < slots; ++slot) {
        if (pos >= answer.size()) break;
        const size_t n = answer[pos];
        if (n == 0 || pos + 1 + n > answer.size()) break;
        const uint8_t status = answer[pos + 1];
        if (IsSlotCollision(port.protocolType, status)) {
            if (oneSlot) {
                port.lastError = KQLMX_ERROR_COLLISION;
                return false;
            }
            if (maskLength >= kLastMaskLength)
                walk.unresolved = true;
            else
                InventoryRound(walk, maskLength + 4,
                               mask | (uint64_t{static_cast<unsigned>(slot)} << maskLength));
        } else if ((status & 0x0F) == 0 && n == kInventoryRecordSize) {
            const auto record = answer.begin() + static_cast<long>(pos + 1);
            walk.records.insert(walk.records.end(), record, record + kInventoryRecordSize);
        }
        pos += 1 + n;
        if (slot == slots - 1) return true;
    }
    port.lastError = KQLMX_ERROR_BAD_INVENTORY;
    return false;
}

// The UID of the one tag in the field, for requests that need it.
bool InventoryUid(CKQ_LMX_Port& port, int flags, Bytes& uid) {
    Bytes records;
    if (!Iso15693Inventory(port, flags | KQLMX_ISO15693_ONE_SLOT | KQLMX_ISO15693_INVENTORY, records) ||
        records.size() != kInventoryRecordSize) {
        port.lastError = KQLMX_ERROR_NO_SINGLE_TAG;
        return false;
    }
    uid.assign(records.begin() + 3, records.end());
    return true;
}

// Infineon tags tell their memory by the UID's byte 5: the number of the last block.
uint8_t InfineonLastBlock(uint8_t typeByte) {
    static constexpr uint8_t kLastBlock[] = {127, 63, 31, 15, 255};
    return typeByte < 0xA0 ? kLastBlock[typeByte >> 5] : 0;
}

// Built system information: memory size present, UID, last block, block size - 1, IC reference 0.
Bytes SystemInfoOf(const Bytes& uid, uint8_t lastBlock, uint8_t blockSizeMinusOne) {
    Bytes info(1 + uid.size() + 3);
    info[0] = kInfoMemorySize;
    std::copy(uid.begin(), uid.end(), info.begin() + 1);
    info[1 + uid.size()] = lastBlock;
    info[2 + uid.size()] = blockSizeMinusOne;
    return info;
}

// The index of the memory size in the system information: after the info flags, the
// UID and, when present, DSFID and AFI.
size_t MemorySizeIndex(uint8_t infoFlags) {
    return 9 + (infoFlags & 1) + ((infoFlags >> 1) & 1);
}

} // namespace

bool Iso15693Inventory(CKQ_LMX_Port& port, int flags, Bytes& records) {
    records.clear();
    if (!(flags & KQLMX_ISO15693_RAW_FLAGS)) flags |= KQLMX_ISO15693_INVENTORY;
    InventoryWalk walk{port, flags, records};
    if (!InventoryRound(walk, 0, 0)) return false;
    if (walk.unresolved) {
        port.lastError = KQLMX_ERROR_COLLISION;
        return false;
    }
    return true;
}

bool Iso15693GetSystemInfo(CKQ_LMX_Port& port, std::span<const uint8_t> uidArg, int flags, Bytes& info) {
    info.clear();
    const Target t = Prepare(flags, uidArg);
    Bytes uid(t.uid.begin(), t.uid.end());
    if (t.Infineon()) {
        // These tags take no system information request: it is made from the UID.
        if (uid.empty() && !InventoryUid(port, flags, uid)) return false;
        info = SystemInfoOf(uid, InfineonLastBlock(uid[5]), 7);
        return true;
    }
    if (Exchange(port, Request(t, t.FlagsByte(), {kIsoSystemInfo}), info)) {
        // A Texas Instruments chip that reports 48 blocks where it has 8.
        if (info.size() == kSystemInfoSize && info[0] == 0x0F && info[6] == 0x03 && info[7] == 0x04 &&
            info[8] == 0xE0 && info[11] == 0x2F && info[13] == 0x03)
            info[11] = 0x07;
        return true;
    }
    info.clear();
    if (uid.empty() && !InventoryUid(port, flags, uid)) return false;
    // Texas Instruments Tag-it HF-I tags without the request: 8 blocks of 4 bytes.
    const uint8_t type = uid[5] & 0xFE;
    if (uid[6] == kMakerTi && (type == 0xC0 || type == 0xC4)) {
        info = SystemInfoOf(uid, 0x07, 0x03);
        return true;
    }
    return false;
}

bool Iso15693GetMemorySize(CKQ_LMX_Port& port, std::span<const uint8_t> uid, int flags, int* blockCount,
                           int* blockSize, int* icManufacturer) {
    Bytes info;
    if (!Iso15693GetSystemInfo(port, uid, flags, info)) return false;
    if (info.size() > kSystemInfoSize) {
        port.lastError = KQLMX_ERROR_BUFFER_TOO_SMALL;
        return false;
    }
    if (info.size() <= 10) return true;
    if (icManufacturer) *icManufacturer = info[7];
    const size_t e = MemorySizeIndex(info[0]);
    if (info[0] & kInfoMemorySize) {
        if (blockCount && e < info.size()) *blockCount = info[e] + 1;
        if (blockSize && e + 1 < info.size()) *blockSize = info[e + 1] + 1;
    } else if (info[7] == kMakerSt) {
        // STMicroelectronics tags with more than 256 blocks tell their size only when
        // asked with the protocol extension: a two-byte block count.
        Bytes wide;
        if (Iso15693GetSystemInfo(port, uid, flags | KQLMX_ISO15693_EXTENSION, wide) &&
            wide.size() <= kWideSystemInfoSize) {
            if (blockCount && e + 1 < wide.size()) *blockCount = (wide[e] | (wide[e + 1] << 8)) + 1;
            if (blockSize && e + 2 < wide.size()) *blockSize = wide[e + 2] + 1;
        }
    }
    return true;
}

bool Iso15693ReadBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> uid, int flags, Bytes& data) {
    const Target t = Prepare(flags, uid);
    if (flags & KQLMX_ISO15693_RAW_FLAGS) return ReadSingle(port, t, t.FlagsByte(), block, data);
    if (t.Infineon()) {
        Bytes request;
        return InfineonRequest(port, t, kCustomRead, block, request) && Exchange(port, request, data);
    }
    if (t.maker == kMakerEm || (flags & KQLMX_ISO15693_READ_MULTIPLE))
        return ReadMultiple(port, t, block, 1, data);
    return ReadSingle(port, t, t.FlagsByte(), block, data);
}

bool Iso15693ReadBlocks(CKQ_LMX_Port& port, int first, int count, std::span<const uint8_t> uid, int flags,
                        Bytes& data) {
    const Target t = Prepare(flags, uid);
    if (t.Infineon()) {
        port.lastError = KQLMX_ERROR_UNEXPECTED_ANSWER;
        return false;
    }
    return ReadMultiple(port, t, first, count, data);
}

bool Iso15693WriteBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> data,
                        std::span<const uint8_t> uid, int flags) {
    const Target t = Prepare(flags, uid);
    const bool custom = t.Infineon();
    Bytes request;
    if (custom) {
        if (!InfineonRequest(port, t, kCustomWrite, block, request)) return false;
    } else {
        uint8_t flagsByte = t.FlagsByte();
        if ((flags & KQLMX_ISO15693_WRITE_OPTION) || t.maker == kMakerTi) flagsByte |= KQLMX_ISO15693_OPTION;
        request = Request(t, flagsByte, {kIsoWriteSingle});
        if (!AppendNumber(port, t, request, block)) return false;
    }
    request.insert(request.end(), data.begin(), data.end());
    Bytes response;
    if (Exchange(port, request, response)) return true;
    // The reader may have given up waiting for the tag's answer although the tag wrote:
    // the block itself tells.
    const int code = port.lastError;
    if (code == KQLMX_ERROR_NO_TAG_ANSWER || (!custom && code == KQLMX_ERROR_COUNT_RANGE)) {
        Bytes back;
        if (Iso15693ReadBlock(port, block, uid, flags & ~KQLMX_ISO15693_OPTION, back) &&
            std::equal(back.begin(), back.end(), data.begin(), data.end())) {
            port.lastError = 0;
            return true;
        }
    }
    port.lastError = code;
    return false;
}

bool Iso15693LockBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> uid, int flags) {
    const Target t = Prepare(flags, uid);
    uint8_t flagsByte = t.FlagsByte();
    if (!(flags & KQLMX_ISO15693_NO_LOCK_OPTION) && t.maker != kMakerNxp &&
        ((flags & KQLMX_ISO15693_WRITE_OPTION) || t.maker == kMakerTi))
        flagsByte |= KQLMX_ISO15693_OPTION;
    Bytes request = Request(t, flagsByte, {kIsoLockBlock});
    if (!AppendNumber(port, t, request, block)) return false;
    Bytes response;
    if (Exchange(port, request, response)) return true;
    // A block locked before counts as locked: its security status says so.
    const int code = port.lastError;
    Bytes status;
    if (ReadSingle(port, t, t.FlagsByte() | KQLMX_ISO15693_OPTION, block, status) && !status.empty() &&
        status[0] != 0) {
        port.lastError = 0;
        return true;
    }
    port.lastError = code;
    return false;
}

bool Iso15693GetBlockSecurity(CKQ_LMX_Port& port, int first, int count, std::span<const uint8_t> uid,
                              int flags, Bytes& status) {
    const Target t = Prepare(flags, uid);
    if (!CheckCount(port, count)) return false;
    Bytes request = Request(t, t.FlagsByte(), {kIsoBlockSecurity});
    return AppendNumber(port, t, request, first) && AppendNumber(port, t, request, count - 1) &&
           Exchange(port, request, status);
}

} // namespace kq
