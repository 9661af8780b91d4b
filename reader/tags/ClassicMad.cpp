#include "reader/tags/ClassicMad.h"

#include <algorithm>

namespace kq::mad {

namespace {

constexpr uint8_t kCrcPreset = 0xC7;
constexpr uint8_t kCrcPolynomial = 0x1D;

} // namespace

bool IsMadSector(int sector) {
    return sector == 0 || sector == kMad2Sector;
}
int FirstBlock(int sector) {
    return sector < 32 ? 4 * sector : 128 + 16 * (sector - 32);
}
int DataBlocks(int sector) {
    return IsMadSector(sector) ? 0 : sector < 32 ? 3 : 15;
}
int TrailerBlock(int sector) {
    return FirstBlock(sector) + (sector < 32 ? 3 : 15);
}
int MadOf(int sector) {
    return sector < kMad2Sector ? 0 : kMad2Sector;
}
size_t EntryIndex(int sector) {
    return 2 * static_cast<size_t>(sector - MadOf(sector));
}
int MadBlocks(int madSector) {
    return madSector == 0 ? 2 : 3;
}

uint8_t Crc(std::span<const uint8_t> infoAndEntries) {
    uint8_t crc = kCrcPreset;
    for (uint8_t byte : infoAndEntries) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ kCrcPolynomial : crc << 1);
    }
    return crc;
}

bool CrcRight(std::span<const uint8_t> mad) {
    return !mad.empty() && mad[0] == Crc(mad.subspan(1));
}

Entry EntryOf(std::span<const uint8_t> mad, int sector) {
    const size_t at = EntryIndex(sector);
    if (at + 1 >= mad.size()) return Entry::Other;
    if (mad[at] == 0x00 && mad[at + 1] == 0x00) return Entry::Free;
    if (mad[at] == 0x03 && mad[at + 1] == 0xE1) return Entry::Ndef;
    return Entry::Other;
}

int AccessBits(std::span<const uint8_t> trailer, int i) {
    const int c1 = (trailer[7] >> (4 + i)) & 1, c2 = (trailer[8] >> i) & 1, c3 = (trailer[8] >> (4 + i)) & 1;
    return c1 << 2 | c2 << 1 | c3;
}

bool DataFreeWithKeyA(std::span<const uint8_t> trailer) {
    for (int i = 0; i < 3; ++i)
        if (AccessBits(trailer, i) != 0) return false;
    return true;
}

bool DataWritable(std::span<const uint8_t> trailer, int i, bool keyB) {
    const int bits = AccessBits(trailer, i);
    return bits == 0 || (keyB && (bits == 0b011 || bits == 0b100 || bits == 0b110));
}

bool KeyBReadable(std::span<const uint8_t> trailer) {
    const int bits = AccessBits(trailer, 3);
    return bits == 0b000 || bits == 0b001 || bits == 0b010;
}

bool ReadOnly(std::span<const uint8_t> trailer) {
    for (int i = 0; i < 3; ++i)
        if (DataWritable(trailer, i, true)) return false;
    // Trailer sets 001, 011 and 101 let a key rewrite the access bits.
    const int bits = AccessBits(trailer, 3);
    return bits != 0b001 && bits != 0b011 && bits != 0b101;
}

bool RunChoice::Done() const {
    return last_ || (!all_ && run_.sectors.size() >= 2 && run_.blocks >= needed_);
}

void RunChoice::Usable(int sector, int key, bool pins) {
    run_.sectors.push_back(sector);
    run_.keys.push_back(key);
    run_.blocks += static_cast<size_t>(DataBlocks(sector));
    pinned_ = pinned_ || pins;
}

void RunChoice::NotUsable(bool pins) {
    pinned_ = pinned_ || pins;
    EndRun();
}

void RunChoice::EndRun() {
    if (run_.blocks > best_.blocks) best_ = run_;
    run_ = {};
    last_ = last_ || pinned_;
}

RunChoice::Run RunChoice::Chosen() {
    EndRun();
    return best_;
}

} // namespace kq::mad
