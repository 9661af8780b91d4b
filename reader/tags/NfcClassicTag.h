// MIFARE Classic 1K and 4K laid out as NFC Forum tags, for the tag handler. The MIFARE
// Application Directory (MAD1 in sector 0, MAD2 in sector 16 of the 4K) names the NDEF
// sectors with the application id E103 (stored 03 E1); their data blocks hold the TLV
// area, sector after sector. MAD sectors have the MAD key A and access bytes 78 77 88
// (data writable with key B only), NDEF sectors the NFC Forum key A and 7F 07 88 with
// GPB 40; both keep the transport key as key B. Read-only sectors get 07 8F 0F (and
// GPB low bits 11 on NDEF sectors).
//
// Every MAD change is written with its CRC-8 (polynomial 1D, preset C7, over the info
// byte and the entries), so that readers that check the MAD accept the tag. A sector
// is authenticated once for a run of accesses to it; a refused authentication or
// access halts the tag, which is then activated again. A command the tag left
// unanswered (a lost frame, a weak field) is sent once more after the re-activation:
// a failed command is never taken for the tag's refusal. Every failure sets a
// TagErrorCode.
#pragma once

#include "content/NdefMessage.h"
#include "reader/transport/ReaderFrame.h"

#include <array>
#include <functional>
#include <span>
#include <vector>

namespace kq {

class CNfcTagHandler;

class CNfcClassicTag {
public:
    using Key = std::array<uint8_t, 6>;

    CNfcClassicTag(CNfcTagHandler& handler, bool is4K) : handler_(handler), is4K_(is4K) {}

    bool Read(CNdefMessageList& messages, bool stopAfterFirst);
    // Writes a TLV area; `all` formats every sector when the tag has to be formatted.
    bool Write(std::span<const uint8_t> area, bool all);
    bool MakeReadOnly();

private:
    enum KeyType { kKeyA = 0, kKeyB = 1 };
    struct Mad {
        std::vector<int> sectors; // NDEF sectors in order
        std::vector<int> listed;  // every sector whose entry is 03 E1
        bool crcRight = true;     // false: a MAD update was cut short
        std::vector<bool> free;   // by sector: its MAD entry is 00 00, no application's
        bool newer = false;
        bool writable = false;
        int lastSector = 0; // the last sector the directory describes
    };
    struct SectorCheck {
        bool valid = false;
        bool writable = false; // GPB read and write, every data block free with key A
        bool readOnly = false;
        uint8_t gpb = 0;
        Bytes trailer;
    };

    // Finds and activates the tag again after a failed command; lostCode_ tells when it
    // is gone.
    void Reactivate();
    // After a failed command: the tag is activated again; true when the command is worth
    // sending once more, for it went unanswered the first time. An answer missing twice
    // sets lostCode_, as a tag gone does: only a tag that answered can refuse.
    bool AgainAfter(int attempt);
    int SectorCount() const { return is4K_ ? 40 : 16; }
    bool ReadMad(Mad& mad);
    bool CheckSector(int sector, bool authenticated, SectorCheck& check);
    bool LocateNdefTlv(const Mad& mad, size_t& index, int& block, Bytes& before);
    // Formats the sectors a TLV area of byteCount bytes needs (all free ones with
    // `all`); missing > 0 when they do not reach, and then nothing is written.
    bool Format(bool all, size_t byteCount, size_t& missing);
    bool TrailerKey(int sector, bool formattedFirst, KeyType& type);
    bool Capacity(Mad& mad, size_t startIndex, int startBlock, size_t byteCount, size_t& missing);
    bool EnterInMad(const std::vector<int>& sectors, const std::vector<bool>& madKeyB, bool withMad2,
                    const std::vector<bool>& fresh = {});
    bool ReadSectorData(int sector, Bytes& area, bool stopAfterFirst, CNdefMessageList& messages);

    bool Authenticate(int sector, KeyType type, const Key& key);
    bool ReadBlock(int block, Bytes& data);
    bool WriteBlock(int block, std::span<const uint8_t> data);
    bool BlockCommand(const std::function<bool()>& command);
    bool Fail(int code);

    CNfcTagHandler& handler_;
    bool is4K_;
    int lostCode_ = 0;    // why the tag could not be activated again after a failed command; 0: it was
    int authSector_ = -1; // the sector the tag is authenticated for, with these
    KeyType authType_ = kKeyA;
    Key authKey_{};
};

} // namespace kq
