#include "reader/sdk/DF8Crypt.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <memory>

namespace kq {

namespace {

bool Cbc(bool encipher, uint8_t cipher, std::span<const uint8_t> key, std::span<uint8_t> iv,
         std::span<const uint8_t> in, Bytes& out) {
    const size_t block = BlockSizeOf(cipher);
    if (cipher == kCipherNone || key.size() != 16 || iv.size() < block || in.size() % block != 0)
        return false;
    out.assign(in.size(), 0);
    if (in.empty()) return true;
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    const EVP_CIPHER* type = cipher == kCipherAes ? EVP_aes_128_cbc() : EVP_des_ede_cbc();
    int n = 0;
    int tail = 0;
    if (!ctx || EVP_CipherInit_ex(ctx.get(), type, nullptr, key.data(), iv.data(), encipher ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(in.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail) != 1 ||
        static_cast<size_t>(n + tail) != in.size())
        return false;
    const uint8_t* last = (encipher ? out.data() : in.data()) + in.size() - block;
    std::copy_n(last, block, iv.begin());
    return true;
}

// One CMAC subkey step: shift left by one bit, XOR Rb into the last byte when the top
// bit fell out.
void ShiftSubkey(const uint8_t* in, uint8_t* out, size_t block) {
    const bool carry = (in[0] & 0x80) != 0;
    for (size_t i = 0; i < block; ++i)
        out[i] = static_cast<uint8_t>((in[i] << 1) | (i + 1 < block ? in[i + 1] >> 7 : 0));
    if (carry) out[block - 1] ^= block == 16 ? 0x87 : 0x1B;
}

class SystemRandom final : public DesfireRandom {
public:
    bool Fill(std::span<uint8_t> out) override {
        return RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
    }
};

SystemRandom gSystemRandom;
DesfireRandom* gRandom = &gSystemRandom;

} // namespace

uint32_t DesfireCrc32(std::span<const uint8_t> data) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : data) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0u);
    }
    return crc;
}

void AppendCrc32(Bytes& out, std::span<const uint8_t> data) {
    const uint32_t crc = DesfireCrc32(data);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(crc >> (8 * i)));
}

bool CbcEncipher(uint8_t cipher, std::span<const uint8_t> key, std::span<uint8_t> iv,
                 std::span<const uint8_t> in, Bytes& out) {
    return Cbc(true, cipher, key, iv, in, out);
}

bool CbcDecipher(uint8_t cipher, std::span<const uint8_t> key, std::span<uint8_t> iv,
                 std::span<const uint8_t> in, Bytes& out) {
    return Cbc(false, cipher, key, iv, in, out);
}

void DF8Crypt::Clear() {
    std::fill(std::begin(iv), std::end(iv), 0);
    std::fill(std::begin(sessionKey), std::end(sessionKey), 0);
    std::fill(std::begin(k1), std::end(k1), 0);
    std::fill(std::begin(k2), std::end(k2), 0);
    cipher = kCipherNone;
}

bool DF8Crypt::Start(uint8_t kind, std::span<const uint8_t> key) {
    Clear();
    if ((kind != kCipherTdes && kind != kCipherAes) || key.size() != 16) return false;
    cipher = kind;
    std::copy(key.begin(), key.end(), sessionKey);
    const size_t block = BlockSize();
    uint8_t zeroIv[16] = {};
    Bytes l;
    if (!CbcEncipher(cipher, sessionKey, std::span(zeroIv, block), Bytes(block, 0), l)) {
        Clear();
        return false;
    }
    ShiftSubkey(l.data(), k1, block);
    ShiftSubkey(k1, k2, block);
    return true;
}

bool DF8Crypt::Cmac(std::span<const uint8_t> data, Bytes& mac) {
    if (!Active()) return false;
    const size_t block = BlockSize();
    Bytes m(data.begin(), data.end());
    const uint8_t* subkey = k1;
    if (m.empty() || m.size() % block != 0) {
        m.push_back(0x80);
        m.resize((m.size() + block - 1) / block * block, 0);
        subkey = k2;
    }
    for (size_t i = 0; i < block; ++i)
        m[m.size() - block + i] ^= subkey[i];
    Bytes out;
    if (!CbcEncipher(cipher, sessionKey, std::span(iv, block), m, out)) return false;
    mac.assign(out.end() - static_cast<std::ptrdiff_t>(block),
               out.end() - static_cast<std::ptrdiff_t>(block) + 8);
    return true;
}

bool DF8Crypt::Encipher(std::span<const uint8_t> data, Bytes& out) {
    const size_t block = BlockSize();
    Bytes padded(data.begin(), data.end());
    padded.resize((padded.size() + block - 1) / block * block, 0);
    return Active() && CbcEncipher(cipher, sessionKey, std::span(iv, block), padded, out);
}

bool DF8Crypt::Decipher(std::span<const uint8_t> data, Bytes& out) {
    return Active() && CbcDecipher(cipher, sessionKey, std::span(iv, BlockSize()), data, out);
}

DesfireRandom& DesfireRandom::Get() {
    return *gRandom;
}

void DesfireRandom::Install(DesfireRandom* source) {
    gRandom = source ? source : &gSystemRandom;
}

} // namespace kq
