#include "Iso15693Tag.h"

#include "TagImage.h"

#include <algorithm>

namespace kqsim {

namespace {

constexpr int kBlocks = 28;
constexpr int kBlockSize = 4;
constexpr std::uint8_t kIcReference = 0x01;
const char* const kKind = "icode";

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
};

Bytes error(std::uint8_t code) { return {0x01, code}; }

bool validUid(const Bytes& uid) { return uid.size() == 8 && uid[7] == 0xE0; }

}  // namespace

std::string vicinityUidText(const Bytes& uid) { return toHex(Bytes(uid.rbegin(), uid.rend())); }

std::optional<Bytes> parseVicinityUid(const std::string& text) {
  auto bytes = parseHex(text);
  if (!bytes) return std::nullopt;
  std::reverse(bytes->begin(), bytes->end());
  if (!validUid(*bytes)) return std::nullopt;
  return bytes;
}

Iso15693Tag::Iso15693Tag(Bytes uid, int blocks, int blockSize)
    : uid_(std::move(uid)),
      blocks_(blocks),
      blockSize_(blockSize),
      memory_(static_cast<std::size_t>(blocks * blockSize), 0x00),
      locked_(static_cast<std::size_t>(blocks), false) {}

std::unique_ptr<Iso15693Tag> Iso15693Tag::blank(Bytes uid) {
  if (uid.empty()) uid = {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0};  // E0 04 01 00 12 34 56 78
  if (!validUid(uid)) return nullptr;
  return std::unique_ptr<Iso15693Tag>(new Iso15693Tag(std::move(uid), kBlocks, kBlockSize));
}

bool Iso15693Tag::isKind(const std::string& kind) { return kind == kKind; }

std::string Iso15693Tag::kind() const { return kKind; }

std::string Iso15693Tag::describe() const { return kind() + " " + vicinityUidText(uid_); }

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
  if (flags & kFlagInventory) return std::nullopt;  // inventories go through the slots
  std::size_t pos = 2;
  if (flags & kFlagAddress) {
    if (frame.size() < pos + 8 || !std::equal(uid_.begin(), uid_.end(), frame.begin() + 2)) return std::nullopt;
    pos += 8;
  } else if (flags & kFlagSelect) {
    return std::nullopt;  // never selected
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

  switch (command) {
    case 0x20: {  // read single block
      auto b = number(wide);
      if (!b) return error(kErrFormat);
      if (*b >= blocks_) return error(kErrBlockNotAvailable);
      Bytes r{0x00};
      if (option) r.push_back(blockLocked(*b) ? 0x01 : 0x00);
      Bytes data = block(*b);
      r.insert(r.end(), data.begin(), data.end());
      return r;
    }
    case 0x21: {  // write single block
      auto b = number(wide);
      if (!b || frame.size() != pos + static_cast<std::size_t>(blockSize_)) return error(kErrFormat);
      if (*b >= blocks_) return error(kErrBlockNotAvailable);
      if (blockLocked(*b)) return error(kErrBlockLocked);
      std::copy(frame.begin() + static_cast<std::ptrdiff_t>(pos), frame.end(), memory_.begin() + *b * blockSize_);
      return Bytes{0x00};
    }
    case 0x22: {  // lock block
      auto b = number(wide);
      if (!b) return error(kErrFormat);
      if (*b >= blocks_) return error(kErrBlockNotAvailable);
      if (blockLocked(*b)) return error(kErrAlreadyLocked);
      locked_[static_cast<std::size_t>(*b)] = true;
      return Bytes{0x00};
    }
    case 0x23:    // read multiple blocks
    case 0x2C: {  // get multiple block security status
      auto first = number(wide);
      auto count = number(command == 0x2C && wide);
      if (!first || !count) return error(kErrFormat);
      int last = *first + *count;  // count is the number of blocks - 1
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
    case 0x2B: {  // get system information: DSFID, AFI, memory size and IC reference present
      Bytes r(2 + uid_.size());
      r[1] = 0x0F;
      std::copy(uid_.begin(), uid_.end(), r.begin() + 2);
      r.push_back(dsfid_);
      r.push_back(afi_);
      r.push_back(static_cast<std::uint8_t>(blocks_ - 1));
      r.push_back(static_cast<std::uint8_t>((blockSize_ - 1) & 0x1F));
      r.push_back(kIcReference);
      return r;
    }
    default:
      return error(kErrNotSupported);
  }
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
  for (int b = 0; b < blocks_; ++b) image.setRow("block", b, block(b));
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
  auto tag = blank(uid);
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
      error = "block " + std::to_string(index) + " is not a 4-byte block of this tag";
      return nullptr;
    }
    std::copy(bytes.begin(), bytes.end(), tag->memory_.begin() + index * tag->blockSize_);
  }
  return tag;
}

}  // namespace kqsim
