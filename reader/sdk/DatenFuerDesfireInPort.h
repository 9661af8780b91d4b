// What a port knows of the DESFire card in its field: the selected application, the
// authentication and its session cryptography, and whether native commands go wrapped
// in ISO 7816-4 APDUs. Made on the first DESFire use of a port and kept until the port
// is closed.
#pragma once

#include "reader/sdk/DF8Crypt.h"

#include <cstdint>

namespace kq {

inline constexpr uint8_t kAuthNone = 0;
inline constexpr uint8_t kAuthIso = 2; // DES or two-key triple DES (0x1A)
inline constexpr uint8_t kAuthAes = 3; // AES (0xAA)

class CDatenFuerDesfireInPort {
public:
    int selectedAid = 0;
    uint8_t authKind = kAuthNone;
    uint8_t authKeyNo = 0xFF;
    DF8Crypt crypto;
    bool isoWrapping = false;

    bool Authenticated() const { return authKind != kAuthNone && crypto.Active(); }
    void ResetSession() {
        authKind = kAuthNone;
        authKeyNo = 0xFF;
        crypto.Clear();
    }
};

} // namespace kq
