// The memory layouts of the Type 2 chips of maker 04 as their datasheets give them,
// and the decisions taken on them: which layouts the pages a tag lets be read allow,
// how much of it a message may take, which pages a password or a lock bit keeps from
// a write, and whether a lock can be completed. Pure functions of a layout and the
// pages read, so that each comparison is pinned down by a table test.
//
// A password whose PROT bit (NTAG21x, Ultralight EV1) or AUTH1 = 0 (Ultralight C)
// guards reads makes the first page a READ refuses AUTH0, not the end of the chip: an
// NTAG215 may read like 131 pages, an NTAG213 like an NTAG212 or an Ultralight C.
// Every layout that the pages read allow is kept; a write gets the user memory all of
// them share and a lock goes ahead only where they agree on what it must set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

namespace kq {

// How a chip's password guards pages.
enum class Type2Guard {
    kNone,
    kNtag,        // CFG0 byte 3 AUTH0; CFG1 byte 0 ACCESS: bit 7 PROT (reads too), bit 6 CFGLCK
    kUltralightC, // page 2Ah byte 0 AUTH0 (3..2Fh; above: none), page 2Bh byte 0 bit 0 AUTH1 (1: writes only)
};

struct Type2Layout {
    const char* name;
    int readablePages;    // the first page a READ refuses while no password guards reads
    int userPages;        // from page 4 on
    int dynamicLockPage;  // -1: none
    int dynamicLockBits;  // the bits a lock sets there, from byte 0 bit 0 on
    int pagesPerLockBit;  // of the dynamic lock bits that cover pages from 16 on
    bool ultralightCBits; // byte 0: bits 0 and 4 block-lock bits 1-3 and 5-7, which lock 4 pages each
    uint8_t shippedCc;    // CC byte 2 as shipped (data area / 8)
    int configPage; // kNtag: CFG0 (CFG1 follows); kUltralightC: the AUTH0 page (AUTH1 follows); -1: none
    Type2Guard guard;
};

std::span<const Type2Layout> Type2Layouts();
// Whether a CC of data area size `ccSize` (CC byte 2) is one written for the layout:
// its whole user memory, or the size it is shipped with.
bool Type2CcNames(const Type2Layout& layout, uint8_t ccSize);

// Pages read from the tag, by page number.
using Type2Page = std::array<uint8_t, 4>;
using Type2Pages = std::map<int, Type2Page>;

inline constexpr int kType2FirstDynamicPage = 16; // the static lock bytes cover pages 3-15
inline constexpr int kType2NoGuard = 0x10000;     // "no page is guarded"
inline constexpr uint8_t kType2CfgLck = 0x40;     // CFG1 byte 0 (ACCESS) bit 6

// The layouts a tag of `maker` whose first refused READ is page `refused` may have:
// the one that ends there, and those whose password, guarding reads from AUTH0 =
// `refused` on, would end their reads there. Where the pages read hold a layout's
// configuration, it must say so (AUTH0 and PROT or AUTH1 agreeing with `refused`);
// a layout that ends at `refused` is not one whose password guards reads before it.
// Where a layout ends at `refused`, of the others only those the CC (byte 2: `ccSize`)
// was written for are kept.
// Empty: a chip not listed (any maker but 04, or no layout fits).
std::vector<const Type2Layout*> Type2Candidates(uint8_t maker, uint8_t ccSize, int refused,
                                                const Type2Pages& read);

// Bytes from page 4 on that a message may take: the user memory every candidate
// shares (none: every readable page), and never a page from `refused` on.
size_t Type2WriteRoom(std::span<const Type2Layout* const> candidates, int refused);
// Bytes from page 4 on that a read may walk: the most any candidate has.
size_t Type2ReadRoom(std::span<const Type2Layout* const> candidates, int refused);

// The first page that the layout's password keeps from a write without it, from its
// configuration read (kType2NoGuard: none). A layout whose configuration was not
// readable guards from `refused` on (its reads, too, end at AUTH0).
int Type2FirstGuardedPage(const Type2Layout& layout, const Type2Pages& read, int refused);

// Whether a password guarding pages from `guarded` on must refuse a write of pages
// `first` to `last` before it begins: one that would stop it after its first page
// (the old message lost), or, where the layout is `sure`, one that would stop it at
// all. Where the tag may be another chip, whose user memory the configuration read
// may be, a guard of the first page is left to that page's write, which then fails
// without changing anything.
bool Type2GuardStopsWrite(int guarded, int first, int last, bool sure);

// Whether a lock bit keeps `page` from a write: the static lock bits of pages 3-15
// (page 2 bytes 2-3) and the layout's dynamic lock bits (`dynamic`: its lock page).
bool Type2PageLocked(const Type2Layout* layout, const Type2Page& lockPage, const Type2Page& dynamic,
                     int page);

// Whether a block-locking bit holds a lock bit that a lock must set at 0, so that the
// lock could not be completed: the static ones (page 2 bytes 2-3), and the layout's
// dynamic ones.
bool Type2LockFrozen(const Type2Layout* layout, const Type2Page& lockPage, const Type2Page& dynamic);

// The bytes a lock ORs into the layout's dynamic lock page.
Type2Page Type2DynamicLockBytes(const Type2Layout& layout);

// Whether a lock also sets CFGLCK: on a chip whose password guards nothing a user
// uses (AUTH0 beyond CFG1), so that nobody can set one later and make the locked tag
// unreadable. A password in use is left as it is.
bool Type2SetsConfigLock(const Type2Layout& layout, int firstGuardedPage);

} // namespace kq
