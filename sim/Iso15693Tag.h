// An ISO/IEC 15693 vicinity tag: UID, DSFID and AFI, per-block lock state, and the
// quirks of its profile, each of which makes a host pick another variant of its
// requests (the UID's maker code, byte 6 least significant first, tells which):
//
//   kind            UID (MSB first)           memory   quirk
//   icode           E0 04 01 00 12 34 56 78   28 x 4   none (ICODE-like)
//   iso15693-ti     E0 07 C4 00 12 34 56 78    8 x 4   no system information; write
//                                                      and lock only with the option
//                                                      flag (else silent, nothing done)
//   iso15693-custom E0 05 40 00 12 34 56 78   32 x 8   only the custom A0 read (10) and
//                                                      write (30): no read single,
//                                                      write single, read multiple or
//                                                      system information
//   iso15693-multi  E0 16 01 00 12 34 56 78   32 x 4   no read single: reads through
//                                                      read multiple only
//   iso15693-32     E0 04 02 00 12 34 56 78   64 x 32  32-byte blocks (2048 bytes)
//   iso15693-nomulti E0 04 03 00 12 34 56 78  28 x 4   refuses read multiple
//   iso15693-noinfo E0 04 04 00 12 34 56 78   16 x 4   system information without the
//                                                      memory size
//   iso15693-lossy  E0 04 05 00 12 34 56 78   28 x 4   a write stores the block, yet
//                                                      answers error 13 (not programmed)
//   iso15693-4k     E0 04 06 00 12 34 56 78  256 x 16 4096 bytes: more than a 4-byte
//                                                      capability container can state
//   iso15693-8noinfo E0 04 07 00 12 34 56 78  32 x 8   no system information
//
// The block number and read multiple count are one byte, so no profile has more than
// 256 blocks.
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

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kqsim {

// Time on the air, counted in carrier cycles (fc = 13.56 MHz). A request at 1 out of 4
// (26.48 kbit/s): SOF 1024/fc, each byte four symbols of 1024/fc, EOF 512/fc. An
// answer at the high data rate on one subcarrier (fc/512 a bit, 26.48 kbit/s): the
// tag's wait t1 = 4320/fc after the request's EOF, SOF 2048/fc, 8 bits of 512/fc a
// byte, EOF 2048/fc. Lengths count the CRC bytes.
constexpr long kVicinityEofCycles = 512;
constexpr long kVicinityT1Cycles = 4320;
long vicinityRequestCycles(std::size_t bytes);
long vicinityAnswerCycles(std::size_t bytes); // t1 included
std::chrono::microseconds carrierTime(long cycles);

class Iso15693Tag : public Tag {
public:
    struct Profile; // the quirks of a kind

    // A tag as shipped: all blocks zero, none locked, DSFID and AFI 0. `uid` is least
    // significant byte first (as on the air); empty: the default. Null for a UID that
    // is not 8 bytes ending in E0.
    static std::unique_ptr<Iso15693Tag> blank(Bytes uid = {});
    // A blank tag of one of the profile kinds above; null for another kind or a bad UID.
    static std::unique_ptr<Iso15693Tag> blank(const std::string& kind, Bytes uid = {});
    static std::vector<std::string> kinds();
    static std::unique_ptr<Iso15693Tag> load(const TagImage& image, std::string& error);
    static bool isKind(const std::string& kind);

    std::string kind() const override;
    const Bytes& uid() const override { return uid_; }
    Bytes memory() const override { return memory_; }
    void powerOff() override {}
    void save(TagImage& image) const override;
    std::string describe() const override; // UID most significant byte first
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
    // The carrier cycles of that exchange: the frames on the air and, for a write or
    // lock the tag carried out, its EEPROM programming time.
    long exchangeCycles(const Bytes& frame, const std::optional<Bytes>& response) const;

    int blockCount() const { return blocks_; }
    int blockSize() const { return blockSize_; }
    Bytes block(int index) const;
    bool blockLocked(int index) const {
        return index >= 0 && index < blocks_ && locked_[static_cast<std::size_t>(index)];
    }

private:
    Iso15693Tag(const Profile& profile, Bytes uid);
    std::optional<Bytes> customRequest(const Bytes& frame, std::size_t pos);

    const Profile* profile_;
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

} // namespace kqsim
