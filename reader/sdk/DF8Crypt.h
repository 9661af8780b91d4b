// The session cryptography of a DESFire card: CBC with the chaining value carried by
// us from command to command (the card keeps the same chain), the card's CMAC built on
// it, and the card's CRC32. The block ciphers come from OpenSSL; single DES is two-key
// triple DES with equal halves, which gives the same result.
#pragma once

#include "reader/transport/ReaderFrame.h"

#include <cstdint>
#include <span>

namespace kq {

inline constexpr uint8_t kCipherTdes = 1;   // two-key triple DES (single DES: equal halves)
inline constexpr uint8_t kCipherAes = 0x80; // AES-128
inline constexpr uint8_t kCipherNone = 0xFF;

// CRC32 as the card computes it: reflected polynomial 0xEDB88320, preset 0xFFFFFFFF,
// no final XOR.
uint32_t DesfireCrc32(std::span<const uint8_t> data);
// The CRC32 appended to `out`, low byte first.
void AppendCrc32(Bytes& out, std::span<const uint8_t> data);

inline size_t BlockSizeOf(uint8_t cipher) {
    return cipher == kCipherAes ? 16 : 8;
}

// CBC over whole blocks with a 16-byte key; `iv` (one block) is taken and replaced by
// the last cipher block. False for a cipher of none or a length that is no multiple of
// the block size.
bool CbcEncipher(uint8_t cipher, std::span<const uint8_t> key, std::span<uint8_t> iv,
                 std::span<const uint8_t> in, Bytes& out);
bool CbcDecipher(uint8_t cipher, std::span<const uint8_t> key, std::span<uint8_t> iv,
                 std::span<const uint8_t> in, Bytes& out);

// The session state of one authentication.
class DF8Crypt {
public:
    virtual ~DF8Crypt() = default;

    uint8_t iv[16] = {};
    uint8_t cipher = kCipherNone;
    uint8_t sessionKey[16] = {};
    uint8_t k1[16] = {};
    uint8_t k2[16] = {};

    size_t BlockSize() const { return BlockSizeOf(cipher); }
    bool Active() const { return cipher != kCipherNone; }
    void Clear();
    // Takes the session key, clears the chaining value and derives the CMAC subkeys.
    bool Start(uint8_t kind, std::span<const uint8_t> key);
    // The CMAC of `data` along the chain (the chaining value becomes its last block);
    // the first 8 bytes are the MAC the card sends. False without a session.
    bool Cmac(std::span<const uint8_t> data, Bytes& mac);
    // Enciphers data zero-padded to the block size, and deciphers whole blocks.
    bool Encipher(std::span<const uint8_t> data, Bytes& out);
    bool Decipher(std::span<const uint8_t> data, Bytes& out);
};

// Where random challenges come from. The default draws from RAND_bytes; tests install
// their own to make a session repeatable.
class DesfireRandom {
public:
    virtual ~DesfireRandom() = default;
    virtual bool Fill(std::span<uint8_t> out) = 0;

    static DesfireRandom& Get();
    // Null restores the default.
    static void Install(DesfireRandom* source);
};

} // namespace kq
