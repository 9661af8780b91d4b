#include "Type2Tag.h"

#include "TagImage.h"

#include <algorithm>

namespace kqsim {

namespace {

constexpr std::uint16_t kAtqa = 0x0044; // double-size UID, bit frame anticollision
constexpr std::uint8_t kSak = 0x00;

// How a password guards pages: NTAG21x and Ultralight EV1 by AUTH0 (CFG0 byte 3) and
// PROT (CFG1 byte 0 bit 7, reads too), their configuration frozen by CFGLCK (bit 6);
// the Ultralight C by AUTH0 (page 2Ah byte 0, 3..2Fh) and AUTH1 (page 2Bh bit 0: 1
// guards writes only).
enum class Guard { None, Ntag, UltralightC };

struct Layout {
    const char* kind;
    int pages;            // 0: chosen per tag (generic)
    int lastReadable;     // -1: last page of the sector
    int dynamicLockPage;  // -1: none
    int dynamicLastPage;  // last page the dynamic lock bits cover
    int pagesPerLockBit;  // NTAG: pages per dynamic lock bit
    bool ultralightCBits; // byte 0: block-locking bits 0 and 4, lock bits of 4 pages each
    int configPage;       // Ntag: CFG0 (CFG1, PWD, PACK follow); UltralightC: AUTH0 (AUTH1 follows); -1: none
    Guard guard;
    Bytes defaultUid;
};

const Layout& layoutOf(Type2Tag::Model model) {
    using M = Type2Tag::Model;
    using G = Guard;
    static const Layout ultralight{
        "ultralight", 16, 0x0F, -1, -1, 0, false, -1, G::None, {0x04, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};
    static const Layout ultralightC{"ultralightc",
                                    48,
                                    0x2B,
                                    0x28,
                                    39,
                                    4,
                                    true,
                                    0x2A,
                                    G::UltralightC,
                                    {0x04, 0xC1, 0x22, 0x33, 0x44, 0x55, 0x66}};
    static const Layout ntag203{"ntag203", 42,   0x29, 0x28,    39,
                                4,         true, -1,   G::None, {0x04, 0xA0, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout ntag210{"ntag210", 20,    0x13, -1,      -1,
                                0,         false, 0x10, G::Ntag, {0x04, 0xA4, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout ntag212{"ntag212", 41,    0x28, 0x24,    35,
                                2,         false, 0x25, G::Ntag, {0x04, 0xA5, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout mf0ul11{"mf0ul11", 20,    0x13, -1,      -1,
                                0,         false, 0x10, G::Ntag, {0x04, 0xE1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout mf0ul21{"mf0ul21", 41,    0x28, 0x24,    35,
                                2,         false, 0x25, G::Ntag, {0x04, 0xE2, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout ntag213{"ntag213", 45,    0x2C, 0x28,    39,
                                2,         false, 0x29, G::Ntag, {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout ntag215{"ntag215", 135,   0x86, 0x82,    129,
                                16,        false, 0x83, G::Ntag, {0x04, 0xA2, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout ntag216{"ntag216", 231,   0xE6, 0xE2,    225,
                                16,        false, 0xE3, G::Ntag, {0x04, 0xA3, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
    static const Layout generic{"type2", 0,     -1, -1,      -1,
                                0,       false, -1, G::None, {0x04, 0x9E, 0x11, 0x22, 0x33, 0x44, 0x55}};
    switch (model) {
    case M::Ultralight:
        return ultralight;
    case M::UltralightC:
        return ultralightC;
    case M::Ntag203:
        return ntag203;
    case M::Ntag210:
        return ntag210;
    case M::Ntag212:
        return ntag212;
    case M::UltralightEV1:
        return mf0ul11;
    case M::UltralightEV1Large:
        return mf0ul21;
    case M::Ntag213:
        return ntag213;
    case M::Ntag215:
        return ntag215;
    case M::Ntag216:
        return ntag216;
    case M::Generic:
        break;
    }
    return generic;
}

constexpr Type2Tag::Model kModels[] = {Type2Tag::Model::Ultralight,
                                       Type2Tag::Model::UltralightC,
                                       Type2Tag::Model::Ntag203,
                                       Type2Tag::Model::Ntag210,
                                       Type2Tag::Model::Ntag212,
                                       Type2Tag::Model::UltralightEV1,
                                       Type2Tag::Model::UltralightEV1Large,
                                       Type2Tag::Model::Ntag213,
                                       Type2Tag::Model::Ntag215,
                                       Type2Tag::Model::Ntag216,
                                       Type2Tag::Model::Generic};

constexpr int kMinPages = 16;
constexpr int kMaxPages = 16384; // 64 sectors of 256 pages

} // namespace

std::optional<Type2Tag::Model> Type2Tag::modelFor(const std::string& kind) {
    for (Model m : kModels)
        if (kind == layoutOf(m).kind) return m;
    return std::nullopt;
}

Type2Tag::Type2Tag(Model model, Bytes uid, int pages)
    : TypeATag(std::move(uid), kAtqa, kSak), model_(model),
      memory_(static_cast<std::size_t>(pages) * 4, 0x00) {}

std::unique_ptr<Type2Tag> Type2Tag::blank(Model model, Bytes uid, int pages) {
    const Layout& shape = layoutOf(model);
    if (uid.empty()) uid = shape.defaultUid;
    if (uid.size() != 7) return nullptr;
    if (shape.pages > 0) pages = shape.pages;
    if (pages < kMinPages || pages > kMaxPages) return nullptr;
    std::unique_ptr<Type2Tag> tag(new Type2Tag(model, std::move(uid), pages));
    Bytes& m = tag->memory_;
    auto put = [&m](int page, std::initializer_list<std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), m.begin() + page * 4);
    };
    switch (model) {
    case Model::Ultralight:
        put(4, {0xFF, 0xFF, 0xFF, 0xFF});
        break;
    case Model::UltralightC:
        put(4, {0x02, 0x00, 0x00, 0x10});
        put(5, {0x00, 0x06, 0x01, 0x10});
        put(6, {0x11, 0xFF, 0x00, 0x00});
        put(0x2A, {0x30, 0x00, 0x00, 0x00}); // AUTH0 beyond the memory: no authentication
        // Default 3DES key "BREAKMEIFYOUCAN!", each half stored in reverse byte order.
        put(0x2C, {0x49, 0x45, 0x4D, 0x4B});
        put(0x2D, {0x41, 0x45, 0x52, 0x42});
        put(0x2E, {0x21, 0x4E, 0x41, 0x43});
        put(0x2F, {0x55, 0x4F, 0x59, 0x46});
        break;
    case Model::Ntag203:
        put(3, {0xE1, 0x10, 0x12, 0x00});
        put(4, {0x01, 0x03, 0xA0, 0x10}); // Lock Control TLV: 16 bits at page 28h
        put(5, {0x44, 0x03, 0x00, 0xFE});
        break;
    case Model::Ntag210:
        put(3, {0xE1, 0x10, 0x06, 0x00});
        put(4, {0x03, 0x00, 0xFE, 0x00});
        break;
    case Model::Ntag212:
        put(3, {0xE1, 0x10, 0x10, 0x00});
        put(4, {0x03, 0x00, 0xFE, 0x00});
        put(0x24, {0x00, 0x00, 0x00, 0xBD});
        break;
    case Model::UltralightEV1:
        break;
    case Model::UltralightEV1Large:
        put(0x24, {0x00, 0x00, 0x00, 0xBD});
        break;
    case Model::Ntag213:
        put(3, {0xE1, 0x10, 0x12, 0x00});
        put(4, {0x01, 0x03, 0xA0, 0x0C});
        put(5, {0x34, 0x03, 0x00, 0xFE});
        break;
    case Model::Ntag215:
        put(3, {0xE1, 0x10, 0x3E, 0x00});
        put(4, {0x03, 0x00, 0xFE, 0x00});
        break;
    case Model::Ntag216:
        put(3, {0xE1, 0x10, 0x6D, 0x00});
        put(4, {0x03, 0x00, 0xFE, 0x00});
        break;
    case Model::Generic:
        break;
    }
    const Layout& l = layoutOf(model);
    if (l.guard == Guard::Ntag) {
        // AUTH0 FFh (no page guarded), ACCESS 00h, PWD FFFFFFFFh, PACK 0000h.
        put(l.configPage, {0x04, 0x00, 0x00, 0xFF});
        put(l.configPage + 1, {0x00, 0x05, 0x00, 0x00});
        put(l.configPage + 2, {0xFF, 0xFF, 0xFF, 0xFF});
    }
    tag->setUidPages();
    return tag;
}

void Type2Tag::setUidPages() {
    const Bytes& u = uid();
    memory_[0] = u[0];
    memory_[1] = u[1];
    memory_[2] = u[2];
    memory_[3] = static_cast<std::uint8_t>(0x88 ^ u[0] ^ u[1] ^ u[2]); // BCC0 includes the cascade tag
    std::copy(u.begin() + 3, u.end(), memory_.begin() + 4);
    memory_[8] = static_cast<std::uint8_t>(u[3] ^ u[4] ^ u[5] ^ u[6]); // BCC1
    memory_[9] = 0x48;                                                 // internal
}

std::string Type2Tag::kind() const {
    return layoutOf(model_).kind;
}

Bytes Type2Tag::page(int p) const {
    if (p < 0 || p >= pageCount()) return {};
    return Bytes(memory_.begin() + p * 4, memory_.begin() + p * 4 + 4);
}

bool Type2Tag::pageLocked(int p) const {
    if (p < 2 || p >= pageCount()) return true;
    if (p == 2) return false; // lock bytes: OTP bits, always writable
    std::uint8_t lock0 = memory_[10];
    std::uint8_t lock1 = memory_[11];
    // Static lock bytes (page 2 bytes 2-3): bit n of lock byte 0 locks page n (3..7),
    // bit n of lock byte 1 locks page 8 + n.
    if (p <= 7) return lock0 & (1 << p);
    if (p <= 15) return lock1 & (1 << (p - 8));
    const Layout& l = layoutOf(model_);
    if (l.dynamicLockPage < 0 || p == l.dynamicLockPage || p > l.dynamicLastPage) return false;
    const std::uint8_t* dyn = &memory_[static_cast<std::size_t>(l.dynamicLockPage) * 4];
    if (l.ultralightCBits) {
        static const int bits[] = {1, 2, 3, 5, 6, 7}; // pages 16-19, 20-23, ... 36-39
        return dyn[0] & (1 << bits[(p - 16) / 4]);
    }
    int k = (p - 16) / l.pagesPerLockBit;
    return dyn[k / 8] & (1 << (k % 8));
}

int Type2Tag::lastReadable() const {
    int inSector = std::min(256, pageCount() - sector_ * 256) - 1;
    int last = layoutOf(model_).lastReadable;
    return last < 0 ? inSector : std::min(last, inSector);
}

bool Type2Tag::readableAsData(int p) const {
    const Layout& l = layoutOf(model_);
    return l.guard != Guard::Ntag || (p != l.configPage + 2 && p != l.configPage + 3); // PWD, PACK
}

TagReply Type2Tag::command(const Bytes& frame) {
    if (sectorSelectPending_) {
        // SECTOR_SELECT packet 2: the sector and three bytes; success is a passive ACK.
        sectorSelectPending_ = false;
        if (frame.size() != 4 || frame[0] * 256 >= pageCount()) return TagReply::refuse();
        sector_ = frame[0];
        return TagReply::silent();
    }
    if (frame.empty()) return TagReply::refuse();
    switch (frame[0]) {
    case 0x30:
        if (frame.size() != 2) return TagReply::refuse();
        return read(frame[1]);
    case 0xA2:
        if (frame.size() != 6) return TagReply::refuse();
        return write(frame[1], &frame[2]);
    case 0xA0:
        if (frame.size() != 18) return TagReply::refuse();
        return write(frame[1], &frame[2]);
    case 0xC2:
        if (frame.size() != 2 || frame[1] != 0xFF || pageCount() <= 256) return TagReply::refuse();
        sectorSelectPending_ = true;
        return TagReply::ack();
    default:
        return TagReply::refuse();
    }
}

// Password protection, without PWD_AUTH or 3DES authentication (the tag is never
// authenticated): the first page guarded (AUTH0) and whether reads are guarded too.
int Type2Tag::firstGuardedPage() const {
    const Layout& l = layoutOf(model_);
    if (l.guard == Guard::Ntag) return memory_[static_cast<std::size_t>(l.configPage) * 4 + 3];
    if (l.guard == Guard::UltralightC) {
        const int auth0 = memory_[static_cast<std::size_t>(l.configPage) * 4];
        return auth0 >= 0x03 && auth0 <= 0x2F ? auth0 : pageCount();
    }
    return pageCount();
}

bool Type2Tag::readsGuarded() const {
    const Layout& l = layoutOf(model_);
    const std::uint8_t second =
        l.configPage >= 0 ? memory_[static_cast<std::size_t>(l.configPage + 1) * 4] : 0;
    if (l.guard == Guard::Ntag) return second & 0x80;           // PROT
    if (l.guard == Guard::UltralightC) return !(second & 0x01); // AUTH1 = 0
    return false;
}

// CFGLCK: CFG0 and CFG1 take no write any more (PWD and PACK still do).
bool Type2Tag::configLocked(int p) const {
    const Layout& l = layoutOf(model_);
    return l.guard == Guard::Ntag && (p == l.configPage || p == l.configPage + 1) &&
           (memory_[static_cast<std::size_t>(l.configPage + 1) * 4] & 0x40);
}

TagReply Type2Tag::read(int address) const {
    int last = lastReadable();
    // Reads guarded from AUTH0 on refuse those pages and roll over just before them.
    if (readsGuarded()) last = std::min(last, firstGuardedPage() - 1);
    if (address > last) return TagReply::refuse();
    Bytes data;
    for (int i = 0; i < 4; ++i) {
        int a = address + i;
        if (a > last) a -= last + 1; // roll over to the sector's first page
        int p = sector_ * 256 + a;
        if (readableAsData(p)) {
            data.insert(data.end(), memory_.begin() + p * 4, memory_.begin() + p * 4 + 4);
        } else {
            data.insert(data.end(), 4, 0x00);
        }
    }
    return TagReply::answer(std::move(data));
}

TagReply Type2Tag::write(int address, const std::uint8_t* data) {
    int p = sector_ * 256 + address;
    if (address >= std::min(256, pageCount() - sector_ * 256) || pageLocked(p) || p >= firstGuardedPage() ||
        configLocked(p))
        return TagReply::refuse();
    std::uint8_t* m = &memory_[static_cast<std::size_t>(p) * 4];
    if (p == 2) {
        // Bytes 0-1 (BCC1, internal) are fixed. Block-locking bits freeze lock bits:
        // BL-CC freezes L-CC, BL 9-4 freezes L4..L9, BL 15-10 freezes L10..L15.
        std::uint8_t frozen0 = 0, frozen1 = 0;
        if (m[2] & 0x01) frozen0 |= 0x08;
        if (m[2] & 0x02) {
            frozen0 |= 0xF0;
            frozen1 |= 0x03;
        }
        if (m[2] & 0x04) frozen1 |= 0xFC;
        m[2] |= static_cast<std::uint8_t>(data[2] & ~frozen0);
        m[3] |= static_cast<std::uint8_t>(data[3] & ~frozen1);
    } else if (p == 3) {
        for (int i = 0; i < 4; ++i)
            m[i] |= data[i]; // OTP / capability container
    } else if (p == layoutOf(model_).dynamicLockPage) {
        writeDynamicLock(p, data);
    } else {
        std::copy(data, data + 4, m);
    }
    return TagReply::ack();
}

void Type2Tag::writeDynamicLock(int p, const std::uint8_t* data) {
    std::uint8_t* m = &memory_[static_cast<std::size_t>(p) * 4];
    if (layoutOf(model_).ultralightCBits) {
        // Byte 0: bit 0 freezes the lock bits of pages 16-27 (bits 1-3), bit 4 those of
        // pages 28-39 (bits 5-7). Byte 1 is kept as written bits, without further effect.
        std::uint8_t frozen = 0;
        if (m[0] & 0x01) frozen |= 0x0E;
        if (m[0] & 0x10) frozen |= 0xE0;
        m[0] |= static_cast<std::uint8_t>(data[0] & ~frozen);
        m[1] |= data[1];
        return;
    }
    // NTAG: bytes 0-1 lock bits, byte 2 block-locking bits (each freezes two lock bits),
    // byte 3 reserved.
    std::uint16_t frozen = 0;
    for (int j = 0; j < 8; ++j)
        if (m[2] & (1 << j)) frozen |= static_cast<std::uint16_t>(0x3 << (2 * j));
    m[0] |= static_cast<std::uint8_t>(data[0] & ~(frozen & 0xFF));
    m[1] |= static_cast<std::uint8_t>(data[1] & ~(frozen >> 8));
    m[2] |= data[2];
}

void Type2Tag::save(TagImage& image) const {
    image.set("kind", kind());
    image.set("uid", toHex(uid()));
    if (model_ == Model::Generic) image.set("pages", std::to_string(pageCount()));
    for (int p = 0; p < pageCount(); ++p)
        image.setRow("page", p, page(p));
}

std::unique_ptr<Type2Tag> Type2Tag::load(const TagImage& image, std::string& error) {
    auto model = modelFor(image.get("kind").value_or(""));
    if (!model) {
        error = "not a Type 2 tag kind";
        return nullptr;
    }
    Bytes uid;
    if (auto text = image.get("uid")) {
        auto parsed = parseHex(*text);
        if (!parsed || parsed->size() != 7) {
            error = "uid must be 7 bytes of hex";
            return nullptr;
        }
        uid = *parsed;
    }
    int pages = 0;
    if (*model == Model::Generic && !image.getInt("pages", kMinPages, kMaxPages, pages)) {
        error = "pages must be 16..16384";
        return nullptr;
    }
    auto tag = blank(*model, uid, pages);
    if (!tag) {
        error = "bad tag parameters";
        return nullptr;
    }
    for (const auto& [index, bytes] : image.rows("page")) {
        if (index < 0 || index >= tag->pageCount() || bytes.size() != 4) {
            error = "page " + std::to_string(index) + " is not a 4-byte page of this tag";
            return nullptr;
        }
        std::copy(bytes.begin(), bytes.end(), tag->memory_.begin() + index * 4);
    }
    tag->setUidPages(); // the UID is burnt in; the image's pages 0-1 do not change it
    return tag;
}

// A WRITE or COMPATIBILITY WRITE that the tag takes programs one page of EEPROM
// before the ACK: 4.1 ms in the NTAG21x and Ultralight datasheets (the write time of
// their EEPROM characteristics).
std::chrono::microseconds Type2Tag::programmingTime(const Bytes& frame, const TagReply& reply) const {
    const bool write = !frame.empty() && (frame[0] == 0xA2 || frame[0] == 0xA0);
    return std::chrono::microseconds(write && reply.kind == TagReply::Kind::Ack ? 4100 : 0);
}

} // namespace kqsim
