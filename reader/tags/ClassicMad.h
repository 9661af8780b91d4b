// The MIFARE Application Directory and sector trailers of a MIFARE Classic tag, as pure
// functions over bytes already read: sector geometry, the MAD's CRC-8 and entries, the
// access bits of a trailer and the choice of the run of sectors a format takes. Tags
// written by other programs reach these decisions with any bytes, so none of them
// assumes the layout this library writes.
//
// The MAD1 lies in blocks 1-2 of sector 0, the MAD2 of a 4K in blocks 64-66 (sector
// 16); read as one, each begins with its CRC and info byte, followed by two bytes per
// sector (application id, low byte first). The CRC-8 (polynomial 1D, preset C7) runs
// over the info byte and all entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kq::mad {

inline constexpr size_t kBlockSize = 16;
inline constexpr int kMad2Sector = 16;

bool IsMadSector(int sector);
int FirstBlock(int sector);
// Data blocks outside the MAD sectors: 3 per sector below 32, 15 from sector 32 on.
int DataBlocks(int sector);
int TrailerBlock(int sector);
// The MAD that lists a sector (0 or 16) and where its entry lies in that MAD's blocks
// read as one.
int MadOf(int sector);
size_t EntryIndex(int sector);
// Blocks of MAD data: 2 for the MAD1, 3 for the MAD2.
int MadBlocks(int madSector);

uint8_t Crc(std::span<const uint8_t> infoAndEntries);
// Whether the first byte of the MAD's blocks is the CRC of the rest; a MAD whose CRC
// is wrong is one whose update was cut short.
bool CrcRight(std::span<const uint8_t> mad);

enum class Entry { Free, Ndef, Other };
// A sector's entry: free only when both bytes are 00, NDEF when it is 03 E1.
Entry EntryOf(std::span<const uint8_t> mad, int sector);

// C1 C2 C3 of access set i (0-2 data, 3 trailer), from access bytes 7 and 8.
int AccessBits(std::span<const uint8_t> trailer, int i);
// Every data block reads and writes with key A (000).
bool DataFreeWithKeyA(std::span<const uint8_t> trailer);
// Whether data set i takes a write with key B, or with key A.
bool DataWritable(std::span<const uint8_t> trailer, int i, bool keyB);
// Key B is readable (trailer 000, 001, 010): it serves as data, not as a key.
bool KeyBReadable(std::span<const uint8_t> trailer);
// No data block takes a write with either key, and the access bits are fixed for good:
// what a lock must leave.
bool ReadOnly(std::span<const uint8_t> trailer);

// The run of sectors a format takes, fed sector by sector in order: the first run that
// holds the blocks needed (as far as needed, two sectors at least), or the largest for
// a full format. A sector that is not usable ends the run before it; one that pins the
// run (an NDEF sector the MAD lists, where reading will begin) lets no run behind it be
// taken. `key` is handed back with the sectors taken (the caller's choice of trailer
// key).
class RunChoice {
public:
    RunChoice(size_t blocksNeeded, bool all) : needed_(blocksNeeded), all_(all) {}
    // No sector after this needs to be looked at.
    bool Done() const;
    // No usable sector so far.
    bool Nothing() const { return run_.sectors.empty() && best_.sectors.empty(); }
    void Usable(int sector, int key, bool pins = false);
    void NotUsable(bool pins = false);
    // The chosen run, once every sector (or Done) is reached.
    struct Run {
        std::vector<int> sectors, keys;
        size_t blocks = 0;
    };
    Run Chosen();

private:
    void EndRun();

    size_t needed_;
    bool all_;
    Run best_, run_;
    bool pinned_ = false, last_ = false;
};

} // namespace kq::mad
