#include "DesfireCipher.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace kqsim {

namespace {

Bytes doubled(const Bytes& l, std::size_t block) {
    Bytes out(block);
    for (std::size_t i = 0; i < block; ++i)
        out[i] = static_cast<std::uint8_t>(l[i] << 1 | (i + 1 < block ? l[i + 1] >> 7 : 0));
    if (l[0] & 0x80) out[block - 1] ^= block == 16 ? 0x87 : 0x1B;
    return out;
}

} // namespace

DesfireCipher::DesfireCipher(Kind kind, Bytes key) : kind_(kind), key_(std::move(key)), chain_(block(), 0) {
    Bytes l = encrypt(Bytes(block(), 0));
    chain_.assign(block(), 0);
    sub1_ = doubled(l, block());
    sub2_ = doubled(sub1_, block());
}

Bytes DesfireCipher::run(bool enc, const Bytes& in) {
    Bytes out(in.size());
    if (in.empty()) return out;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, m = 0;
    const EVP_CIPHER* type = kind_ == Kind::Aes ? EVP_aes_128_cbc() : EVP_des_ede_cbc();
    bool ok = ctx && EVP_CipherInit_ex(ctx, type, nullptr, key_.data(), chain_.data(), enc) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1 &&
              EVP_CipherFinal_ex(ctx, out.data() + n, &m) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) throw std::runtime_error("simulated card: cipher failed");
    const Bytes& c = enc ? out : in;
    chain_.assign(c.end() - static_cast<std::ptrdiff_t>(block()), c.end());
    return out;
}

Bytes DesfireCipher::encrypt(const Bytes& plain) {
    return run(true, plain);
}

Bytes DesfireCipher::decrypt(const Bytes& cipher) {
    return run(false, cipher);
}

Bytes DesfireCipher::mac(const Bytes& data) {
    Bytes m = data;
    const Bytes* sub = &sub1_;
    if (m.empty() || m.size() % block()) {
        m.push_back(0x80);
        while (m.size() % block())
            m.push_back(0);
        sub = &sub2_;
    }
    for (std::size_t i = 0; i < block(); ++i)
        m[m.size() - block() + i] ^= (*sub)[i];
    Bytes c = encrypt(m);
    return Bytes(c.end() - static_cast<std::ptrdiff_t>(block()),
                 c.end() - static_cast<std::ptrdiff_t>(block()) + 8);
}

} // namespace kqsim
