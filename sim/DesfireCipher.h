// The card side of a DESFire session: the card's key cipher (two-key triple DES, where
// a DES key has equal halves, or AES-128) in CBC mode with a chaining value that runs
// through the whole session, and the CMAC of the card's answers on that chain.
#pragma once

#include "Bytes.h"

namespace kqsim {

class DesfireCipher {
public:
    enum class Kind { Tdes, Aes };

    DesfireCipher() = default;
    DesfireCipher(Kind kind, Bytes key);

    Kind kind() const { return kind_; }
    std::size_t block() const { return kind_ == Kind::Aes ? 16 : 8; }
    const Bytes& key() const { return key_; }
    const Bytes& chain() const { return chain_; }
    void setChain(Bytes chain) { chain_ = std::move(chain); }

    // Whole blocks in and out; the chaining value ends as the last cipher block.
    Bytes encrypt(const Bytes& plain);
    Bytes decrypt(const Bytes& cipher);
    // The 8 bytes of the CMAC over `data` along the chain (NIST SP 800-38B, truncated).
    Bytes mac(const Bytes& data);

private:
    Bytes run(bool encrypt, const Bytes& in);

    Kind kind_ = Kind::Tdes;
    Bytes key_ = Bytes(16, 0);
    Bytes chain_ = Bytes(8, 0);
    Bytes sub1_, sub2_;
};

} // namespace kqsim
