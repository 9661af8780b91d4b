// MIFARE Classic 1K and 4K, modelled on their datasheets:
//
//   kind            sectors  ATQA SAK  shipped with
//   classic1k       16 x 4   0004 08   every trailer FF FF FF FF FF FF  FF 07 80 69  FF x6
//   classic4k       32 x 4,  0002 18   the same; sectors 32-39 have 16 blocks
//                   8 x 16
//   classic1k-keyb  16 x 4   0004 08   every trailer FF x6  7F 07 88 40  FF x6: data
//                                      blocks free with either key, trailers writable
//                                      with key B only
//
// Block 0 (manufacturer block: UID, BCC, SAK, ATQA) is read-only. The last block of a
// sector is its trailer: key A (6), access bytes 6-8, general-purpose byte 9, key B (6).
//
// The simulated reader does the Crypto-1 itself: its authenticate command carries the
// key, which the tag compares with key A or B of the block's sector. Then READ (30h)
// and WRITE (A0h with the 16 bytes) reach the blocks of that sector only, as the
// access bits (C1 C2 C3 per block; per group of five blocks in the 16-block sectors)
// allow:
//
//   data block  000 r/w A|B   010 r A|B     100 r A|B w B  110 r A|B w B
//               001 r A|B     011 r/w B     101 r B        111 -
//   trailer     key A w / access bits r,w / key B r,w:
//               000 A / A,- / A,A   010 - / A,- / A,-   100 B / AB,- / -,B
//               110 - / AB,- / -,-  001 A / A,A / A,A   011 B / AB,B / -,B
//               101 - / AB,B / -,-  111 - / AB,- / -,-
//
// Key A never reads back (zeros), nor a key B or access bytes the access bits hide. A
// key B that can be read serves for no access. A trailer write changes only the parts
// the key may write. A refused authentication or access is answered with a NAK, after
// which the tag must be selected again. A trailer write whose access bits disagree
// with their complements would ruin a real card: it is refused and recorded in
// refusedTrailers(), which tests check to be empty.
#pragma once

#include "TypeATag.h"

#include <memory>
#include <string>
#include <vector>

namespace kqsim {

class ClassicTag : public TypeATag {
public:
    enum class Model { Classic1K, Classic4K, Classic1KKeyB };

    // A tag as shipped; an empty `uid` takes the default (4 bytes). Null for a UID that
    // is not 4 bytes.
    static std::unique_ptr<ClassicTag> blank(Model model, Bytes uid = {});
    static std::unique_ptr<ClassicTag> load(const TagImage& image, std::string& error);
    static bool isKind(const std::string& kind);
    static std::vector<std::string> kinds();

    std::string kind() const override;
    Bytes memory() const override { return memory_; }
    void save(TagImage& image) const override;
    TagReply authenticate(std::uint8_t block, bool keyB, const Bytes& key) override;

    int sectorCount() const;
    static int firstBlock(int sector);
    static int blocksIn(int sector);
    Bytes block(int index) const;
    // The trailer writes refused for access bits that disagree with their complements.
    const std::vector<std::string>& refusedTrailers() const { return refusedTrailers_; }

protected:
    TagReply command(const Bytes& frame) override;
    std::chrono::microseconds programmingTime(const Bytes& frame, const TagReply& reply) const override;
    void resetSession() override { authSector_ = -1; }

private:
    ClassicTag(Model model, Bytes uid);
    int blockCount() const { return static_cast<int>(memory_.size() / 16); }
    // C1 C2 C3 of `block` as one number (C1 the high bit), from its sector's trailer.
    int accessOf(int block) const;
    bool keyBReadable(int sector) const;
    TagReply read(int block) const;
    TagReply write(int block, const std::uint8_t* data);
    TagReply writeTrailer(int block, const std::uint8_t* data);

    Model model_;
    Bytes memory_;
    int authSector_ = -1;
    bool authKeyB_ = false;
    std::vector<std::string> refusedTrailers_;
};

} // namespace kqsim
