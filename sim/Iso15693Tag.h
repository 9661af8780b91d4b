// An ISO/IEC 15693 vicinity tag with an ICODE-like memory of 28 blocks of 4 bytes
// (kind "icode"): UID E0 04 01 ... (NXP), DSFID and AFI, per-block lock state.
//
// Requests it answers (ISO 15693-3), as [flags][command][UID when addressed][...]:
//   20 read single block (option flag: block security status first)
//   21 write single block      22 lock block
//   23 read multiple blocks    2B get system information
//   2C get multiple block security status
// and the inventory (01), which the reader resolves slot by slot through
// answersInventory()/slot()/inventoryResponse(). Errors are answered with the error
// flag and the ISO code: 01 not supported, 02 format error, 10 block not available,
// 11 already locked, 12 block locked. With the select flag (no select state kept) or
// another tag's UID it stays silent.
#pragma once

#include "Tag.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kqsim {

class Iso15693Tag : public Tag {
 public:
  // A tag as shipped: all blocks zero, none locked, DSFID and AFI 0. `uid` is least
  // significant byte first (as on the air); empty: the default. Null for a UID that
  // is not 8 bytes ending in E0.
  static std::unique_ptr<Iso15693Tag> blank(Bytes uid = {});
  static std::unique_ptr<Iso15693Tag> load(const TagImage& image, std::string& error);
  static bool isKind(const std::string& kind);

  std::string kind() const override;
  const Bytes& uid() const override { return uid_; }
  Bytes memory() const override { return memory_; }
  void powerOff() override {}
  void save(TagImage& image) const override;
  std::string describe() const override;  // UID most significant byte first
  Iso15693Tag* asIso15693() override { return this; }

  // --- inventory, as the reader runs it ---
  // True when the tag takes part in an inventory with this AFI (when given) and mask.
  bool answersInventory(std::optional<std::uint8_t> afi, int maskLength, const Bytes& mask) const;
  // The slot (0..15) of a 16-slot inventory: the four UID bits after the mask.
  int slot(int maskLength) const;
  // Response flags 00, DSFID, UID.
  Bytes inventoryResponse() const;

  // Any other request; nothing when the tag stays silent.
  std::optional<Bytes> request(const Bytes& frame);

  int blockCount() const { return blocks_; }
  int blockSize() const { return blockSize_; }
  Bytes block(int index) const;
  bool blockLocked(int index) const { return index >= 0 && index < blocks_ && locked_[static_cast<std::size_t>(index)]; }

 private:
  Iso15693Tag(Bytes uid, int blocks, int blockSize);

  Bytes uid_;
  int blocks_;
  int blockSize_;
  Bytes memory_;
  std::vector<bool> locked_;
  std::uint8_t dsfid_ = 0;
  std::uint8_t afi_ = 0;
};

// UID text most significant byte first ("E0 04 01 ..."), as labels print it, to and
// from the over-the-air order.
std::string vicinityUidText(const Bytes& uidLsbFirst);
std::optional<Bytes> parseVicinityUid(const std::string& text);

}  // namespace kqsim
