#include "Iso15693Tag.h"

#include "TagImage.h"

#include <algorithm>

namespace kqsim {

namespace {

constexpr std::uint8_t kIcReference = 0x01;
constexpr std::uint8_t kCustomRead = 0x10;
constexpr std::uint8_t kCustomWrite = 0x30;

enum : std::uint8_t {
    kFlagSubcarrier = 0x01,
    kFlagInventory = 0x04,
    kFlagExtension = 0x08,
    kFlagSelect = 0x10,
    kFlagAddress = 0x20,
    kFlagOption = 0x40,
};

enum : std::uint8_t {
    kErrNotSupported = 0x01,
    kErrFormat = 0x02,
    kErrBlockNotAvailable = 0x10,
    kErrAlreadyLocked = 0x11,
    kErrBlockLocked = 0x12,
    kErrNotProgrammed = 0x13,
};

Bytes error(std::uint8_t code) {
    return {0x01, code};
}

bool validUid(const Bytes& uid) {
    return uid.size() == 8 && uid[7] == 0xE0;
}

// No public datasheet figure for a block's programming time was at hand, so the tag
// takes the longest the write-alone rule of ISO/IEC 15693-3 allows: it answers at the
// latest 20 ms after the request's EOF (271200/fc). A host that waits less than that
// for a written block is not ready for every compliant tag.
constexpr long kWriteCycles = 20 * 13560;

} // namespace

long vicinityRequestCycles(std::size_t bytes) {
    return 1024 + 4096 * static_cast<long>(bytes) + kVicinityEofCycles;
}

long vicinityAnswerCycles(std::size_t bytes) {
    return kVicinityT1Cycles + 2048 + 4096 * static_cast<long>(bytes) + 2048;
}

std::chrono::microseconds carrierTime(long cycles) {
    return std::chrono::microseconds(static_cast<long>(static_cast<double>(cycles) / 13.56 + 0.5));
}

std::string vicinityUidText(const Bytes& uid) {
    return toHex(Bytes(uid.rbegin(), uid.rend()));
}

std::optional<Bytes> parseVicinityUid(const std::string& text) {
    auto bytes = parseHex(text);
    if (!bytes) return std::nullopt;
    std::reverse(bytes->begin(), bytes->end());
    if (!validUid(*bytes)) return std::nullopt;
    return bytes;
}

struct Iso15693Tag::Profile {
    enum class Info { None, WithoutMemory, Full };
    const char* kind;
    Bytes uid; // least significant byte first
    int blocks;
    int blockSize;
    Info info = Info::Full;
    bool readSingle = true;   // 20 read single block
    bool readMultiple = true; // 23 read multiple blocks
    bool writeSingle = true;  // 21 write single block
    bool custom = false;      // A0 custom read and write of maker 05
    bool optionToWrite = false;
    bool lossyWrite = false;
};

namespace {

using Info = Iso15693Tag::Profile::Info;

const Iso15693Tag::Profile kProfiles[] = {
    {"icode", {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0}, 28, 4},
    {"iso15693-ti",
     {0x78, 0x56, 0x34, 0x12, 0x00, 0xC4, 0x07, 0xE0},
     8,
     4,
     Info::None,
     true,
     true,
     true,
     false,
     true},
    {"iso15693-custom",
     {0x78, 0x56, 0x34, 0x12, 0x00, 0x40, 0x05, 0xE0},
     32,
     8,
     Info::None,
     false,
     false,
     false,
     true},
    {"iso15693-multi", {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x16, 0xE0}, 32, 4, Info::Full, false},
    {"iso15693-32", {0x78, 0x56, 0x34, 0x12, 0x00, 0x02, 0x04, 0xE0}, 64, 32},
    {"iso15693-nomulti", {0x78, 0x56, 0x34, 0x12, 0x00, 0x03, 0x04, 0xE0}, 28, 4, Info::Full, true, false},
    {"iso15693-noinfo", {0x78, 0x56, 0x34, 0x12, 0x00, 0x04, 0x04, 0xE0}, 16, 4, Info::WithoutMemory},
    {"iso15693-lossy",
     {0x78, 0x56, 0x34, 0x12, 0x00, 0x05, 0x04, 0xE0},
     28,
     4,
     Info::Full,
     true,
     true,
     true,
     false,
     false,
     true},
    {"iso15693-4k", {0x78, 0x56, 0x34, 0x12, 0x00, 0x06, 0x04, 0xE0}, 256, 16},
    {"iso15693-8noinfo", {0x78, 0x56, 0x34, 0x12, 0x00, 0x07, 0x04, 0xE0}, 32, 8, Info::None},
};

const Iso15693Tag::Profile* profileFor(const std::string& kind) {
    for (const auto& p : kProfiles)
        if (kind == p.kind) return &p;
    return nullptr;
}

} // namespace

Iso15693Tag::Iso15693Tag(const Profile& profile, Bytes uid)
    : profile_(&profile), uid_(std::move(uid)), blocks_(profile.blocks), blockSize_(profile.blockSize),
      memory_(static_cast<std::size_t>(profile.blocks * profile.blockSize), 0x00),
      locked_(static_cast<std::size_t>(profile.blocks), false) {}

std::unique_ptr<Iso15693Tag> Iso15693Tag::blank(Bytes uid) {
    return blank(kProfiles[0].kind, std::move(uid));
}

std::unique_ptr<Iso15693Tag> Iso15693Tag::blank(const std::string& kind, Bytes uid) {
    const Profile* profile = profileFor(kind);
    if (!profile) return nullptr;
    if (uid.empty()) uid = profile->uid;
    if (!validUid(uid)) return nullptr;
    return std::unique_ptr<Iso15693Tag>(new Iso15693Tag(*profile, std::move(uid)));
}

std::vector<std::string> Iso15693Tag::kinds() {
    std::vector<std::string> names;
    for (const auto& p : kProfiles)
        names.emplace_back(p.kind);
    return names;
}

bool Iso15693Tag::isKind(const std::string& kind) {
    return profileFor(kind) != nullptr;
}

std::string Iso15693Tag::kind() const {
    return profile_->kind;
}

std::string Iso15693Tag::describe() const {
    return kind() + " " + vicinityUidText(uid_);
}

Bytes Iso15693Tag::block(int index) const {
    if (index < 0 || index >= blocks_) return {};
    auto first = memory_.begin() + index * blockSize_;
    return Bytes(first, first + blockSize_);
}

bool Iso15693Tag::answersInventory(std::optional<std::uint8_t> afi, int maskLength, const Bytes& mask) const {
    if (afi && *afi != 0 && *afi != afi_) return false;
    if (maskLength < 0 || maskLength > 64) return false;
    for (int bit = 0; bit < maskLength; ++bit) {
        std::size_t byte = static_cast<std::size_t>(bit / 8);
        if (byte >= mask.size()) return false;
        bool want = mask[byte] & (1 << (bit % 8));
        bool have = uid_[byte] & (1 << (bit % 8));
        if (want != have) return false;
    }
    return true;
}

int Iso15693Tag::slot(int maskLength) const {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        int bit = maskLength + i;
        if (bit < 64 && (uid_[static_cast<std::size_t>(bit / 8)] & (1 << (bit % 8)))) value |= 1 << i;
    }
    return value;
}

Bytes Iso15693Tag::inventoryResponse() const {
    Bytes r(2 + uid_.size());
    r[0] = 0x00;
    r[1] = dsfid_;
    std::copy(uid_.begin(), uid_.end(), r.begin() + 2);
    return r;
}

std::optional<Bytes> Iso15693Tag::request(const Bytes& frame) {
    if (frame.size() < 2) return std::nullopt;
    std::uint8_t flags = frame[0];
    std::uint8_t command = frame[1];
    if (flags & kFlagInventory) return std::nullopt; // inventories go through the slots
    // Custom commands carry the maker code before the UID.
    std::size_t pos = command == 0xA0 ? 3 : 2;
    if (command == 0xA0 && (frame.size() < 3 || frame[2] != uid_[6])) return std::nullopt;
    if (flags & kFlagAddress) {
        if (frame.size() < pos + 8 ||
            !std::equal(uid_.begin(), uid_.end(), frame.begin() + static_cast<std::ptrdiff_t>(pos)))
            return std::nullopt;
        pos += 8;
    } else if (flags & kFlagSelect) {
        return std::nullopt; // never selected
    }
    bool option = flags & kFlagOption;
    auto number = [&](bool wide) -> std::optional<int> {
        std::size_t n = wide ? 2 : 1;
        if (frame.size() < pos + n) return std::nullopt;
        int v = frame[pos] | (wide ? frame[pos + 1] << 8 : 0);
        pos += n;
        return v;
    };
    bool wide = flags & kFlagExtension;
    const Profile& p = *profile_;
    // Write and lock of tags that want the option flag: without it they never answer.
    if ((command == 0x21 || command == 0x22) && p.optionToWrite && !option) return std::nullopt;

    switch (command) {
    case 0xA0:
        if (!p.custom) return error(kErrNotSupported);
        return customRequest(frame, pos);
    case 0x20: { // read single block
        if (!p.readSingle) return error(kErrNotSupported);
        auto b = number(wide);
        if (!b) return error(kErrFormat);
        if (*b >= blocks_) return error(kErrBlockNotAvailable);
        Bytes r{0x00};
        if (option) r.push_back(blockLocked(*b) ? 0x01 : 0x00);
        Bytes data = block(*b);
        r.insert(r.end(), data.begin(), data.end());
        return r;
    }
    case 0x21: { // write single block
        if (!p.writeSingle) return error(kErrNotSupported);
        auto b = number(wide);
        if (!b || frame.size() != pos + static_cast<std::size_t>(blockSize_)) return error(kErrFormat);
        if (*b >= blocks_) return error(kErrBlockNotAvailable);
        if (blockLocked(*b)) return error(kErrBlockLocked);
        std::copy(frame.begin() + static_cast<std::ptrdiff_t>(pos), frame.end(),
                  memory_.begin() + *b * blockSize_);
        return p.lossyWrite ? error(kErrNotProgrammed) : Bytes{0x00};
    }
    case 0x22: { // lock block
        auto b = number(wide);
        if (!b) return error(kErrFormat);
        if (*b >= blocks_) return error(kErrBlockNotAvailable);
        if (blockLocked(*b)) return error(kErrAlreadyLocked);
        locked_[static_cast<std::size_t>(*b)] = true;
        return Bytes{0x00};
    }
    case 0x23:   // read multiple blocks
    case 0x2C: { // get multiple block security status
        if (command == 0x23 && !p.readMultiple) return error(kErrNotSupported);
        auto first = number(wide);
        auto count = number(command == 0x2C && wide);
        if (!first || !count) return error(kErrFormat);
        int last = *first + *count; // count is the number of blocks - 1
        if (last >= blocks_) return error(kErrBlockNotAvailable);
        Bytes r{0x00};
        for (int b = *first; b <= last; ++b) {
            if (command == 0x2C || option) r.push_back(blockLocked(b) ? 0x01 : 0x00);
            if (command == 0x23) {
                Bytes data = block(b);
                r.insert(r.end(), data.begin(), data.end());
            }
        }
        return r;
    }
    case 0x2B: { // get system information: DSFID, AFI, memory size and IC reference present
        if (p.info == Info::None) return error(kErrNotSupported);
        const bool memory = p.info == Info::Full;
        Bytes r(2 + uid_.size());
        r[1] = memory ? 0x0F : 0x0B;
        std::copy(uid_.begin(), uid_.end(), r.begin() + 2);
        r.push_back(dsfid_);
        r.push_back(afi_);
        if (memory) {
            r.push_back(static_cast<std::uint8_t>(blocks_ - 1));
            r.push_back(static_cast<std::uint8_t>((blockSize_ - 1) & 0x1F));
        }
        r.push_back(kIcReference);
        return r;
    }
    default:
        return error(kErrNotSupported);
    }
}

long Iso15693Tag::exchangeCycles(const Bytes& frame, const std::optional<Bytes>& response) const {
    constexpr std::size_t kCrc = 2;
    long cycles = vicinityRequestCycles(frame.size() + kCrc);
    if (!response) return cycles;
    const std::uint8_t flags = frame[0];
    const std::size_t custom = 3 + ((flags & kFlagAddress) ? 8 : 0);
    const bool writes = frame[1] == 0x21 || frame[1] == 0x22 ||
                        (frame[1] == 0xA0 && frame.size() > custom && frame[custom] == kCustomWrite);
    // Programmed: a good answer, or the lossy tag's "not programmed" after storing.
    const bool programmed =
        (!response->empty() && (*response)[0] == 0x00) || *response == error(kErrNotProgrammed);
    if (writes && programmed) {
        // The answer waits for the EEPROM instead of t1. With the option flag the tag
        // answers only t1 after an EOF the reader sends once that time is over.
        cycles += kWriteCycles - kVicinityT1Cycles;
        if (flags & kFlagOption) cycles += kVicinityEofCycles + kVicinityT1Cycles;
    }
    return cycles + vicinityAnswerCycles(response->size() + kCrc);
}

// [A0][05][UID][10 read | 30 write][block][00][data]: the maker's own block access.
std::optional<Bytes> Iso15693Tag::customRequest(const Bytes& frame, std::size_t pos) {
    if (frame.size() < pos + 3 || frame[pos + 2] != 0x00) return error(kErrFormat);
    const std::uint8_t custom = frame[pos];
    const int b = frame[pos + 1];
    pos += 3;
    if (b >= blocks_) return error(kErrBlockNotAvailable);
    if (custom == kCustomRead && frame.size() == pos) {
        Bytes r{0x00};
        Bytes data = block(b);
        r.insert(r.end(), data.begin(), data.end());
        return r;
    }
    if (custom == kCustomWrite && frame.size() == pos + static_cast<std::size_t>(blockSize_)) {
        if (blockLocked(b)) return error(kErrBlockLocked);
        std::copy(frame.begin() + static_cast<std::ptrdiff_t>(pos), frame.end(),
                  memory_.begin() + b * blockSize_);
        return Bytes{0x00};
    }
    return error(custom == kCustomRead || custom == kCustomWrite ? kErrFormat : kErrNotSupported);
}

void Iso15693Tag::save(TagImage& image) const {
    image.set("kind", kind());
    image.set("uid", vicinityUidText(uid_));
    image.set("dsfid", std::to_string(dsfid_));
    image.set("afi", std::to_string(afi_));
    std::string locked;
    for (int b = 0; b < blocks_; ++b)
        if (blockLocked(b)) locked += (locked.empty() ? "" : " ") + std::to_string(b);
    image.set("locked", locked);
    for (int b = 0; b < blocks_; ++b)
        image.setRow("block", b, block(b));
}

std::unique_ptr<Iso15693Tag> Iso15693Tag::load(const TagImage& image, std::string& error) {
    Bytes uid;
    if (auto text = image.get("uid")) {
        auto parsed = parseVicinityUid(*text);
        if (!parsed) {
            error = "uid must be 8 bytes of hex, most significant (E0) first";
            return nullptr;
        }
        uid = *parsed;
    }
    auto tag = blank(image.get("kind").value_or(""), uid);
    if (!tag) {
        error = "unknown ISO 15693 kind";
        return nullptr;
    }
    int value = 0;
    if (image.get("dsfid")) {
        if (!image.getInt("dsfid", 0, 255, value)) {
            error = "dsfid must be 0..255";
            return nullptr;
        }
        tag->dsfid_ = static_cast<std::uint8_t>(value);
    }
    if (image.get("afi")) {
        if (!image.getInt("afi", 0, 255, value)) {
            error = "afi must be 0..255";
            return nullptr;
        }
        tag->afi_ = static_cast<std::uint8_t>(value);
    }
    std::vector<int> locked;
    if (!image.getIntList("locked", locked)) {
        error = "locked must list block numbers";
        return nullptr;
    }
    for (int b : locked) {
        if (b < 0 || b >= tag->blocks_) {
            error = "locked block " + std::to_string(b) + " does not exist";
            return nullptr;
        }
        tag->locked_[static_cast<std::size_t>(b)] = true;
    }
    for (const auto& [index, bytes] : image.rows("block")) {
        if (index >= tag->blocks_ || bytes.size() != static_cast<std::size_t>(tag->blockSize_)) {
            error = "block " + std::to_string(index) + " is not a " + std::to_string(tag->blockSize_) +
                    "-byte block of this tag";
            return nullptr;
        }
        std::copy(bytes.begin(), bytes.end(), tag->memory_.begin() + index * tag->blockSize_);
    }
    return tag;
}

} // namespace kqsim
