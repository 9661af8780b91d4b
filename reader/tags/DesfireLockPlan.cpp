#include "reader/tags/DesfireLockPlan.h"

#include "content/TagErrorCode.h"

#include <algorithm>

namespace kq {

namespace {

constexpr int kFree = 0xE, kNever = 0xF;
constexpr uint16_t kLockedRights = 0xEFFF; // read free; write, read-write and change never

int Write(uint16_t r) {
    return (r >> 8) & 0xF;
}
int ReadWrite(uint16_t r) {
    return (r >> 4) & 0xF;
}
int Change(uint16_t r) {
    return r & 0xF;
}
bool TakesNoData(uint16_t r) {
    return !DesfireFileTakesData(r);
}
// No data, and no key but the unknown key 0 may give it some again.
bool Sealed(uint16_t r) {
    return TakesNoData(r) && (Change(r) == kNever || Change(r) == 0);
}
// We change file rights with key 0 or where changing is free; other keys we do not hold.
bool RightsChangeable(uint16_t r) {
    return Change(r) == 0 || Change(r) == kFree;
}

// The key settings a level gets, or a refusal. Settings that cannot be changed (bit 3
// clear) must already be what is wanted where it matters: key 0 changeable, and no
// creating or deleting without it.
bool TargetSettings(uint8_t now, uint8_t target, std::optional<uint8_t>& change) {
    if (now == target) return true;
    if (!(now & 0x08)) {
        if ((now & 0x05) != 0x01) return false;
        return true; // the rest (listing, who changes other keys) does not open the files
    }
    change = target;
    return true;
}

DesfireLockPlan Refuse(int code) {
    DesfireLockPlan plan;
    plan.refusal = code;
    return plan;
}

} // namespace

bool DesfireFileTakesData(uint16_t rights) {
    return Write(rights) != kNever || ReadWrite(rights) != kNever;
}

DesfireKeyType DesfireKeyTypeOf(uint8_t keyCountByte) {
    switch (keyCountByte & 0xC0) {
    case 0x80:
        return DesfireKeyType::kAes;
    case 0x40:
        return DesfireKeyType::kTripleDes3;
    default:
        return DesfireKeyType::kDes;
    }
}

DesfireLockPlan PlanDesfireLock(const DesfireLockInput& in) {
    // Keys of three-key triple DES take an authentication we do not make: no key the
    // caller could give would help.
    if (in.app.keyType == DesfireKeyType::kTripleDes3 || in.card.keyType == DesfireKeyType::kTripleDes3)
        return Refuse(kTagErrorTypeNotSupported);
    // A lock that went through the application before: its key is one nobody knows, no
    // file takes data or has rights another key (or anyone) may change, and nothing may
    // be deleted without the key.
    const bool appDone = !in.app.keyKnown && in.filesListed && in.ccWriteAccess == 0xFF && in.app.settings &&
                         !(*in.app.settings & 0x04) &&
                         std::all_of(in.files.begin(), in.files.end(),
                                     [](const DesfireFileState& f) { return Sealed(f.rights); });
    DesfireLockPlan plan;
    if (!in.app.keyKnown && !appDone) return Refuse(kTagErrorDesfireAppAuthentication);
    if (!appDone) {
        if (!in.app.settings || !in.filesListed) return Refuse(kTagErrorDesfireSettingsChange);
        plan.appSteps = true;
        if (in.ccWriteAccess != 0xFF) plan.ccWriteAccess = 0xFF;
        for (const DesfireFileState& f : in.files) {
            if (Change(f.rights) == kNever) {
                // Never to be changed: it must take no data already.
                if (!TakesNoData(f.rights)) return Refuse(kTagErrorDesfireSettingsChange);
                plan.fileRights.emplace_back();
            } else if (!RightsChangeable(f.rights)) {
                return Refuse(kTagErrorDesfireSettingsChange);
            } else {
                plan.fileRights.emplace_back(kLockedRights);
            }
        }
        // Listing free, creating and deleting with the key only, key 0 changeable (set
        // before the key is changed), the other keys changed with key 0 only.
        const uint8_t target = static_cast<uint8_t>((*in.app.settings & 0x08) | 0x03);
        if (!TargetSettings(*in.app.settings, target, plan.appSettings))
            return Refuse(kTagErrorDesfireSettingsChange);
    }
    if (!in.card.keyKnown) {
        // The card key is none we know: after the application, a lock that changed it
        // already, unless creating and deleting is still free.
        if (appDone && !(in.card.settings && (*in.card.settings & 0x04))) {
            plan.done = true;
            return plan;
        }
        return Refuse(kTagErrorDesfireCardAuthentication);
    }
    if (!in.card.settings) return Refuse(kTagErrorDesfireSettingsChange);
    const uint8_t cardTarget = static_cast<uint8_t>((*in.card.settings & 0x0A) | 0x01);
    if (!TargetSettings(*in.card.settings, cardTarget, plan.cardSettings))
        return Refuse(kTagErrorDesfireSettingsChange);
    plan.cardSteps = true;
    return plan;
}

DesfireLockPlan PlanDesfireProtection(const DesfireLockInput& in, bool protectData) {
    if (in.app.keyType == DesfireKeyType::kTripleDes3 || in.card.keyType == DesfireKeyType::kTripleDes3)
        return Refuse(kTagErrorTypeNotSupported);
    if (!in.app.keyKnown) return Refuse(kTagErrorDesfireAppAuthentication);
    if (!in.card.keyKnown) return Refuse(kTagErrorDesfireCardAuthentication);
    if (!in.app.settings || !in.card.settings || !in.filesListed)
        return Refuse(kTagErrorDesfireSettingsChange);
    DesfireLockPlan plan;
    plan.appSteps = plan.cardSteps = true;
    // Key 0 changeable and settings changeable with it; listing free, creating and
    // deleting with the key only; at the card level listing too needs the key.
    if (*in.app.settings != 0x09) {
        if (!(*in.app.settings & 0x08)) return Refuse(kTagErrorDesfireSettingsChange);
        plan.appSettings = 0x09;
    }
    if (*in.card.settings != 0x0B) {
        if (!(*in.card.settings & 0x08)) return Refuse(kTagErrorDesfireSettingsChange);
        plan.cardSettings = 0x0B;
    }
    bool hasCc = false;
    for (const DesfireFileState& f : in.files) {
        if (!RightsChangeable(f.rights)) return Refuse(kTagErrorDesfireSettingsChange);
        hasCc = hasCc || f.isCc;
        plan.fileRights.emplace_back(f.isCc || protectData ? 0xE000 : 0xEEE0);
    }
    if (!hasCc) return Refuse(kTagErrorDesfireSettingsChange);
    // Phones take byte 14 as the word on writing: it follows the protection chosen now.
    const uint8_t cc = protectData ? 0xFF : 0x00;
    if (in.ccWriteAccess != cc) plan.ccWriteAccess = cc;
    return plan;
}

} // namespace kq
