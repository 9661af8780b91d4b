// What a lock (make read-only) or a protection with a key does on a DESFire card used
// as a Type 4 tag, decided from what the card says before anything is changed: the key
// settings of the card level and of the NDEF application, the rights of the files, the
// key types and which master keys we could authenticate with. Another program may have
// set any of these, so every combination either gets steps that leave no way in with
// the default key, or a refusal before the first change.
//
// Key settings bits: 0 master key changeable, 1 listing free, 2 creating and deleting
// free, 3 settings changeable; bits 4-7 (application): who changes the other keys.
// File rights: read << 12 | write << 8 | read-write << 4 | change; 0xE free, 0xF never.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kq {

// As the key settings' second byte names it in bits 6-7.
enum class DesfireKeyType { kDes, kTripleDes3, kAes };

DesfireKeyType DesfireKeyTypeOf(uint8_t keyCountByte);
// Some key (or none) may write the file: its write or read-write right is not "never".
bool DesfireFileTakesData(uint16_t rights);

struct DesfireLevelState {
    // Key settings; none when the card would not tell them.
    std::optional<uint8_t> settings;
    DesfireKeyType keyType = DesfireKeyType::kDes;
    // Key 0 opened with the default key or one the caller gave.
    bool keyKnown = false;
};

struct DesfireFileState {
    uint16_t rights = 0xEEEE;
    bool isCc = false;
};

struct DesfireLockInput {
    DesfireLevelState card, app;
    // Of the NDEF application; empty when they could not be listed.
    std::vector<DesfireFileState> files;
    bool filesListed = false;
    // Byte 14 of the CC (write access).
    uint8_t ccWriteAccess = 0x00;
};

struct DesfireLockPlan {
    // A TagErrorCode when the card cannot be brought there; nothing is to be changed.
    int refusal = 0;
    // The card already is where the steps would take it.
    bool done = false;
    // Application steps, in this order: CC byte 14, file rights, key settings, key 0.
    bool appSteps = false;
    std::optional<uint8_t> ccWriteAccess;
    std::vector<std::optional<uint16_t>> fileRights; // per input file; none: kept
    std::optional<uint8_t> appSettings;              // none: kept
    // Card level: key settings, then key 0.
    bool cardSteps = false;
    std::optional<uint8_t> cardSettings;
};

// Make read-only: no file takes data, no key is left that anyone knows, nothing may be
// created or deleted without one, and listing stays free so that a writer learns that
// the tag is read-only instead of being asked for a key.
DesfireLockPlan PlanDesfireLock(const DesfireLockInput& in);
// Protection with a new key at both levels: the CC file (and with protectData every
// file) wants the key for writing; the CC says read-only exactly when data is protected.
DesfireLockPlan PlanDesfireProtection(const DesfireLockInput& in, bool protectData);

} // namespace kq
