// NFC Forum Type 2 tags with 4-byte pages, modelled on their datasheets:
//
//   kind          pages  READ up to  dynamic lock  shipped with
//   ultralight     16     0Fh         -             OTP 00000000, page 4 FFFFFFFF
//   ultralightc    48     2Bh         28h           pages 4-6 02000010 00060110 11FF0000,
//                                                   AUTH0 30h, default 3DES key at 2Ch-2Fh
//   ntag203        42     29h         28h           CC E1 10 12 00, Lock Control TLV
//                                                   01 03 A0 10 44, 03 00 FE; no password
//   ntag210        20     13h         -             CC E1 10 06 00, 03 00 FE; CFG0 10h
//   ntag212        41     28h         24h           CC E1 10 10 00, 03 00 FE; CFG0 25h
//   mf0ul11        20     13h         -             Ultralight EV1: as ntag210, no CC
//   mf0ul21        41     28h         24h           Ultralight EV1: as ntag212, no CC
//   ntag213        45     2Ch         28h           CC E1 10 12 00, Lock Control TLV
//                                                   01 03 A0 0C 34, empty NDEF TLV 03 00 FE
//   ntag215       135     86h         82h           CC E1 10 3E 00, 03 00 FE
//   ntag216       231     E6h         E2h           CC E1 10 6D 00, 03 00 FE
//   type2 (N)      N      N-1         -             all zero (a generic tag; more than 256
//                                                   pages are reached by SECTOR_SELECT)
//
// Commands: READ (30h, four pages with roll-over to page 0 after the last readable
// page; NTAG password pages read as zeros), WRITE (A2h), COMPATIBILITY_WRITE (A0h with
// 16 bytes, first 4 written), SECTOR_SELECT (C2h FFh, then the sector) on tags with
// more than 256 pages, HLTA. Page 2's lock bytes, the OTP/CC page 3 and the dynamic lock
// bytes are one-time programmable: a write ORs its bits in, as far as block-locking
// bits leave them free. Writing a locked page, the UID pages 0-1 or a page beyond the
// memory is answered with a NAK, after which the tag must be selected again.
//
// Password protection: pages from AUTH0 on refuse a WRITE, and with reads guarded too
// (NTAG21x and Ultralight EV1: PROT; Ultralight C: AUTH1 = 0) a READ (a READ below
// AUTH0 rolls over just before it). NTAG21x and Ultralight EV1: AUTH0 is CFG0 byte 3,
// PROT and CFGLCK are CFG1 byte 0 bits 7 and 6 (CFGLCK: CFG0 and CFG1 refuse writes);
// PWD and PACK read as zeros. Ultralight C: AUTH0 page 2Ah byte 0 (3..2Fh, else
// none), AUTH1 page 2Bh bit 0. The tag is never authenticated (PWD_AUTH and the 3DES
// authentication are not modelled).
//
// Not modelled: counters, the second dynamic lock byte of the Ultralight C and the
// NTAG203.
#pragma once

#include "TypeATag.h"

#include <memory>
#include <optional>
#include <string>

namespace kqsim {

class Type2Tag : public TypeATag {
public:
    enum class Model {
        Ultralight,
        UltralightC,
        Ntag203,
        Ntag210,
        Ntag212,
        UltralightEV1,      // MF0UL11
        UltralightEV1Large, // MF0UL21
        Ntag213,
        Ntag215,
        Ntag216,
        Generic
    };

    // A tag as it leaves the factory. An empty `uid` takes the model's default UID;
    // `pages` counts only for Generic (16 to 16384 pages). Null for a bad UID (not
    // 7 bytes) or page count.
    static std::unique_ptr<Type2Tag> blank(Model model, Bytes uid = {}, int pages = 0);
    static std::unique_ptr<Type2Tag> load(const TagImage& image, std::string& error);
    static std::optional<Model> modelFor(const std::string& kind);

    std::string kind() const override;
    Bytes memory() const override { return memory_; }
    void save(TagImage& image) const override;

    Model model() const { return model_; }
    int pageCount() const { return static_cast<int>(memory_.size() / 4); }
    // Four bytes of `page`, as stored (no read rules).
    Bytes page(int page) const;
    // True when a WRITE to `page` would be refused by the lock bits or the UID pages.
    bool pageLocked(int page) const;

protected:
    TagReply command(const Bytes& frame) override;
    std::chrono::microseconds programmingTime(const Bytes& frame, const TagReply& reply) const override;
    void resetSession() override {
        sector_ = 0;
        sectorSelectPending_ = false;
    }

private:
    Type2Tag(Model model, Bytes uid, int pages);
    void setUidPages();
    int lastReadable() const; // in the current sector
    bool readableAsData(int page) const;
    int firstGuardedPage() const; // AUTH0; pageCount() when nothing is guarded
    bool readsGuarded() const;
    bool configLocked(int page) const;
    TagReply read(int address) const;
    TagReply write(int address, const std::uint8_t* data);
    void writeDynamicLock(int page, const std::uint8_t* data);

    Model model_;
    Bytes memory_;
    int sector_ = 0;
    bool sectorSelectPending_ = false;
};

} // namespace kqsim
