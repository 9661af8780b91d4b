#include "ClassicTag.h"

#include "TagImage.h"

#include <algorithm>

namespace kqsim {

namespace {

constexpr int kBlockSize = 16;
constexpr std::uint8_t kRead = 0x30;
constexpr std::uint8_t kWrite = 0xA0;

// Which keys may do what, by C1 C2 C3 (C1 the high bit): bit 0 key A, bit 1 key B.
constexpr std::uint8_t kA = 1, kB = 2, kAB = 3;
constexpr std::uint8_t kDataRead[8] = {kAB, kAB, kAB, kB, kAB, kB, kAB, 0};
constexpr std::uint8_t kDataWrite[8] = {kAB, 0, 0, kB, kB, 0, kB, 0};
constexpr std::uint8_t kKeyAWrite[8] = {kA, kA, 0, kB, kB, 0, 0, 0};
constexpr std::uint8_t kAccessRead[8] = {kA, kA, kA, kAB, kAB, kAB, kAB, kAB};
constexpr std::uint8_t kAccessWrite[8] = {0, kA, 0, kB, 0, kB, 0, 0};
constexpr std::uint8_t kKeyBRead[8] = {kA, kA, kA, 0, 0, 0, 0, 0};
constexpr std::uint8_t kKeyBWrite[8] = {kA, kA, 0, kB, kB, 0, 0, 0};

struct Shipped {
    const char* kind;
    int sectors;
    std::uint16_t atqa;
    std::uint8_t sak;
    Bytes uid;
    Bytes trailer;
};

const Shipped& shippedOf(ClassicTag::Model model) {
    static const Bytes transport = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                                    0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    static const Bytes keyB = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x07,
                               0x88, 0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    static const Shipped k1{"classic1k", 16, 0x0004, 0x08, {0x3A, 0x4B, 0x5C, 0x6D}, transport};
    static const Shipped k4{"classic4k", 40, 0x0002, 0x18, {0x4A, 0x5B, 0x6C, 0x7D}, transport};
    static const Shipped k1b{"classic1k-keyb", 16, 0x0004, 0x08, {0x5A, 0x6B, 0x7C, 0x8D}, keyB};
    switch (model) {
    case ClassicTag::Model::Classic4K:
        return k4;
    case ClassicTag::Model::Classic1KKeyB:
        return k1b;
    default:
        return k1;
    }
}

constexpr ClassicTag::Model kModels[] = {ClassicTag::Model::Classic1K, ClassicTag::Model::Classic4K,
                                         ClassicTag::Model::Classic1KKeyB};

int sectorOf(int block) {
    return block < 128 ? block / 4 : 32 + (block - 128) / 16;
}

// Access bytes 6-8 against their inverted copies: ~C1 ~C2 in byte 6, ~C3 and C1 in
// byte 7, C2 and C3 in byte 8.
bool accessConsistent(const std::uint8_t* b) {
    const int c1 = b[7] >> 4, c2 = b[8] & 0x0F, c3 = b[8] >> 4;
    return (~b[6] & 0x0F) == c1 && ((~b[6] >> 4) & 0x0F) == c2 && (~b[7] & 0x0F) == c3;
}

} // namespace

ClassicTag::ClassicTag(Model model, Bytes uid)
    : TypeATag(uid, shippedOf(model).atqa, shippedOf(model).sak), model_(model),
      memory_(static_cast<std::size_t>(shippedOf(model).sectors < 32
                                           ? shippedOf(model).sectors * 4
                                           : 128 + (shippedOf(model).sectors - 32) * 16) *
                  kBlockSize,
              0x00) {
    const Shipped& s = shippedOf(model);
    for (int sector = 0; sector < s.sectors; ++sector) {
        const int trailer = firstBlock(sector) + blocksIn(sector) - 1;
        std::copy(s.trailer.begin(), s.trailer.end(), memory_.begin() + trailer * kBlockSize);
    }
    // Manufacturer block: UID, BCC, SAK, ATQA (low byte first), maker data.
    std::copy(uid.begin(), uid.end(), memory_.begin());
    memory_[4] = static_cast<std::uint8_t>(uid[0] ^ uid[1] ^ uid[2] ^ uid[3]);
    memory_[5] = s.sak;
    memory_[6] = static_cast<std::uint8_t>(s.atqa & 0xFF);
    memory_[7] = static_cast<std::uint8_t>(s.atqa >> 8);
    for (int i = 8; i < kBlockSize; ++i)
        memory_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x60 + i);
}

std::unique_ptr<ClassicTag> ClassicTag::blank(Model model, Bytes uid) {
    if (uid.empty()) uid = shippedOf(model).uid;
    if (uid.size() != 4) return nullptr;
    return std::unique_ptr<ClassicTag>(new ClassicTag(model, std::move(uid)));
}

bool ClassicTag::isKind(const std::string& kind) {
    return std::any_of(std::begin(kModels), std::end(kModels),
                       [&](Model m) { return kind == shippedOf(m).kind; });
}

std::vector<std::string> ClassicTag::kinds() {
    std::vector<std::string> names;
    for (Model m : kModels)
        names.emplace_back(shippedOf(m).kind);
    return names;
}

std::string ClassicTag::kind() const {
    return shippedOf(model_).kind;
}

int ClassicTag::sectorCount() const {
    return shippedOf(model_).sectors;
}

int ClassicTag::firstBlock(int sector) {
    return sector < 32 ? sector * 4 : 128 + (sector - 32) * 16;
}

int ClassicTag::blocksIn(int sector) {
    return sector < 32 ? 4 : 16;
}

Bytes ClassicTag::block(int index) const {
    if (index < 0 || index >= blockCount()) return {};
    auto first = memory_.begin() + index * kBlockSize;
    return Bytes(first, first + kBlockSize);
}

int ClassicTag::accessOf(int block) const {
    const int sector = sectorOf(block);
    const int first = firstBlock(sector);
    const int count = blocksIn(sector);
    const int index = block - first;
    // The trailer's own bits are the fourth set; 16-block sectors group five blocks a set.
    const int i = index == count - 1 ? 3 : count == 4 ? index : index / 5;
    const std::uint8_t* t = &memory_[static_cast<std::size_t>((first + count - 1) * kBlockSize)];
    const int c1 = (t[7] >> (4 + i)) & 1, c2 = (t[8] >> i) & 1, c3 = (t[8] >> (4 + i)) & 1;
    return c1 << 2 | c2 << 1 | c3;
}

bool ClassicTag::keyBReadable(int sector) const {
    return kKeyBRead[accessOf(firstBlock(sector) + blocksIn(sector) - 1)] != 0;
}

TagReply ClassicTag::authenticate(std::uint8_t block, bool keyB, const Bytes& key) {
    if (state() != State::Active) return TagReply::silent();
    if (block < blockCount()) {
        const int sector = sectorOf(block);
        const int trailer = firstBlock(sector) + blocksIn(sector) - 1;
        auto stored = memory_.begin() + trailer * kBlockSize + (keyB ? 10 : 0);
        if (key.size() == 6 && std::equal(key.begin(), key.end(), stored)) {
            authSector_ = sector;
            authKeyB_ = keyB;
            return TagReply::ack();
        }
    }
    fallBack();
    return TagReply::refuse();
}

TagReply ClassicTag::command(const Bytes& frame) {
    if (frame.size() == 2 && frame[0] == kRead) return read(frame[1]);
    if (frame.size() == 2 + kBlockSize && frame[0] == kWrite) return write(frame[1], &frame[2]);
    return TagReply::refuse();
}

TagReply ClassicTag::read(int block) const {
    if (block >= blockCount() || sectorOf(block) != authSector_) return TagReply::refuse();
    const std::uint8_t key = authKeyB_ ? kB : kA;
    if (authKeyB_ && keyBReadable(authSector_)) return TagReply::refuse();
    const int acc = accessOf(block);
    Bytes data = this->block(block);
    const int sector = sectorOf(block);
    if (block != firstBlock(sector) + blocksIn(sector) - 1) {
        if (!(kDataRead[acc] & key)) return TagReply::refuse();
        return TagReply::answer(std::move(data));
    }
    std::fill(data.begin(), data.begin() + 6, 0x00);
    if (!(kAccessRead[acc] & key)) std::fill(data.begin() + 6, data.begin() + 10, 0x00);
    if (!(kKeyBRead[acc] & key)) std::fill(data.begin() + 10, data.end(), 0x00);
    return TagReply::answer(std::move(data));
}

TagReply ClassicTag::write(int block, const std::uint8_t* data) {
    if (block == 0 || block >= blockCount() || sectorOf(block) != authSector_) return TagReply::refuse();
    if (authKeyB_ && keyBReadable(authSector_)) return TagReply::refuse();
    const int sector = sectorOf(block);
    if (block == firstBlock(sector) + blocksIn(sector) - 1) return writeTrailer(block, data);
    if (!(kDataWrite[accessOf(block)] & (authKeyB_ ? kB : kA))) return TagReply::refuse();
    std::copy(data, data + kBlockSize, memory_.begin() + block * kBlockSize);
    return TagReply::ack();
}

TagReply ClassicTag::writeTrailer(int block, const std::uint8_t* data) {
    const std::uint8_t key = authKeyB_ ? kB : kA;
    const int acc = accessOf(block);
    const bool keyA = kKeyAWrite[acc] & key, access = kAccessWrite[acc] & key, keyB = kKeyBWrite[acc] & key;
    if (!keyA && !access && !keyB) return TagReply::refuse();
    if (access && !accessConsistent(data)) {
        Bytes bytes(data + 6, data + 9);
        refusedTrailers_.push_back("sector " + std::to_string(sectorOf(block)) + ": access bytes " +
                                   toHex(bytes));
        return TagReply::refuse();
    }
    auto t = memory_.begin() + block * kBlockSize;
    if (keyA) std::copy(data, data + 6, t);
    if (access) std::copy(data + 6, data + 10, t + 6);
    if (keyB) std::copy(data + 10, data + 16, t + 10);
    return TagReply::ack();
}

void ClassicTag::save(TagImage& image) const {
    image.set("kind", kind());
    image.set("uid", toHex(uid()));
    for (int b = 0; b < blockCount(); ++b)
        image.setRow("block", b, block(b));
}

std::unique_ptr<ClassicTag> ClassicTag::load(const TagImage& image, std::string& error) {
    const std::string kind = image.get("kind").value_or("");
    const Model* model = std::find_if(std::begin(kModels), std::end(kModels),
                                      [&](Model m) { return kind == shippedOf(m).kind; });
    if (model == std::end(kModels)) {
        error = "not a MIFARE Classic kind";
        return nullptr;
    }
    Bytes uid;
    if (auto text = image.get("uid")) {
        auto parsed = parseHex(*text);
        if (!parsed || parsed->size() != 4) {
            error = "uid must be 4 bytes of hex";
            return nullptr;
        }
        uid = *parsed;
    }
    auto tag = blank(*model, uid);
    for (const auto& [index, bytes] : image.rows("block")) {
        if (index < 0 || index >= tag->blockCount() || bytes.size() != kBlockSize) {
            error = "block " + std::to_string(index) + " is not a 16-byte block of this tag";
            return nullptr;
        }
        std::copy(bytes.begin(), bytes.end(), tag->memory_.begin() + index * kBlockSize);
    }
    return tag;
}

// A block write the card takes: the datasheet gives a write block about 5.5 ms in all;
// what its frames do not take on the air (1.9 ms) is the EEPROM's.
std::chrono::microseconds ClassicTag::programmingTime(const Bytes& frame, const TagReply& reply) const {
    const bool write = !frame.empty() && frame[0] == kWrite && reply.kind == TagReply::Kind::Ack;
    return std::chrono::microseconds(write ? 3600 : 0);
}

} // namespace kqsim
