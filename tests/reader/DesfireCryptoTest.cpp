// The DESFire session cryptography against published vectors: FIPS 197 (AES-128),
// FIPS 81 (DES in CBC mode), NIST SP 800-38B (CMAC with AES-128 and two-key TDEA) and
// the CRC32 check value. A wrong cipher mode, a lost chaining value, a wrong subkey
// constant or padding, or a CRC with the final XOR would each break a row.
#include "reader/sdk/DF8Crypt.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <string>

namespace kq {
namespace {

Bytes H(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

TEST(DesfireCrypto, CbcAgainstFips197AndFips81) {
    struct Row {
        const char* name;
        uint8_t cipher;
        const char* key;
        const char* iv;
        const char* plain;
        const char* enciphered;
    } rows[] = {
        // FIPS 197 appendix C.1, one block (CBC with a zero IV is the plain block cipher).
        {"FIPS 197 C.1", kCipherAes, "000102030405060708090a0b0c0d0e0f", "00000000000000000000000000000000",
         "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        // FIPS 81 appendix C (CBC), key 0123456789abcdef, given here with equal halves.
        {"FIPS 81 CBC", kCipherTdes, "0123456789abcdef0123456789abcdef", "1234567890abcdef",
         "4e6f772069732074 68652074696d6520 666f7220616c6c20",
         "e5c7cdde872bf27c 43e934008c389c0f 683788499a7c05f6"},
        // FIPS 81 appendix B (ECB), first block: CBC from a zero IV is ECB for one block.
        {"FIPS 81 ECB", kCipherTdes, "0123456789abcdef0123456789abcdef", "0000000000000000",
         "4e6f772069732074", "3fa40e8a984d4815"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Bytes iv = H(r.iv);
        Bytes out;
        ASSERT_TRUE(CbcEncipher(r.cipher, H(r.key), iv, H(r.plain), out));
        EXPECT_EQ(out, H(r.enciphered));
        const Bytes expected = H(r.enciphered);
        EXPECT_EQ(iv,
                  Bytes(expected.end() - static_cast<std::ptrdiff_t>(BlockSizeOf(r.cipher)), expected.end()))
            << "the chaining value is the last cipher block";
        iv = H(r.iv);
        ASSERT_TRUE(CbcDecipher(r.cipher, H(r.key), iv, expected, out));
        EXPECT_EQ(out, H(r.plain));
        EXPECT_EQ(iv,
                  Bytes(expected.end() - static_cast<std::ptrdiff_t>(BlockSizeOf(r.cipher)), expected.end()));
    }
    Bytes iv(8, 0);
    Bytes out;
    EXPECT_FALSE(CbcEncipher(kCipherTdes, H("0123456789abcdef0123456789abcdef"), iv, H("00112233"), out))
        << "no padding: a part block is refused";
    EXPECT_FALSE(CbcEncipher(kCipherNone, Bytes(16, 0), iv, Bytes(8, 0), out));
}

// The full CMAC block after one message from a fresh session (the chaining value).
Bytes FullCmac(uint8_t cipher, const Bytes& key, const Bytes& message, Bytes* mac = nullptr) {
    DF8Crypt crypt;
    EXPECT_TRUE(crypt.Start(cipher, key));
    Bytes m;
    EXPECT_TRUE(crypt.Cmac(message, m));
    if (mac) *mac = m;
    return Bytes(crypt.iv, crypt.iv + crypt.BlockSize());
}

TEST(DesfireCrypto, CmacAgainstSp800_38B) {
    const Bytes aesKey = H("2b7e151628aed2a6abf7158809cf4f3c");
    const Bytes tdeaKey = H("4cf15134a2850dd58a3d10ba80570d38"); // two-key TDEA: key 3 = key 1
    const std::string m = "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                          "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
    struct Row {
        uint8_t cipher;
        size_t length; // message bytes
        const char* tag;
    } rows[] = {
        {kCipherAes, 0, "bb1d6929e95937287fa37d129b756746"},
        {kCipherAes, 16, "070a16b46b4d4144f79bdd9dd04a287c"},
        {kCipherAes, 40, "dfa66747de9ae63030ca32611497c827"},
        {kCipherAes, 64, "51f0bebf7e3b9d92fc49741779363cfe"},
        {kCipherTdes, 0, "bd2ebf9a3ba00361"},
        {kCipherTdes, 8, "4ff2ab813c53ce83"},
        {kCipherTdes, 20, "62dd1b471902bd4e"},
        {kCipherTdes, 32, "31b1e431dabc4eb8"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.cipher) + " / " + std::to_string(r.length));
        const Bytes all = H(m);
        const Bytes tag = H(r.tag);
        const Bytes message(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(r.length));
        Bytes mac;
        EXPECT_EQ(FullCmac(r.cipher, r.cipher == kCipherAes ? aesKey : tdeaKey, message, &mac), tag);
        EXPECT_EQ(mac, Bytes(tag.begin(), tag.begin() + 8)) << "the card sends the first 8 bytes";
    }
    // SP 800-38B D.1 subkeys.
    DF8Crypt crypt;
    ASSERT_TRUE(crypt.Start(kCipherAes, aesKey));
    EXPECT_EQ(Bytes(crypt.k1, crypt.k1 + 16), H("fbeed618357133667c85e08f7236a8de"));
    EXPECT_EQ(Bytes(crypt.k2, crypt.k2 + 16), H("f7ddac306ae266ccf90bc11ee46d513b"));
}

// OpenSSL's own CMAC as an oracle for the first message of a session; the second
// message must go on from the first's last block, which a fresh CMAC does not.
Bytes OpenSslCmac(const Bytes& key, const Bytes& message) {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    char cipherName[] = "AES-128-CBC";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("cipher", cipherName, 0),
                           OSSL_PARAM_construct_end()};
    Bytes out(16);
    size_t n = 0;
    EXPECT_EQ(EVP_MAC_init(ctx, key.data(), key.size(), params), 1);
    EXPECT_EQ(EVP_MAC_update(ctx, message.data(), message.size()), 1);
    EXPECT_EQ(EVP_MAC_final(ctx, out.data(), &n, out.size()), 1);
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
    return out;
}

TEST(DesfireCrypto, CmacChainsFromCommandToCommand) {
    const Bytes key = H("000102030405060708090a0b0c0d0e0f");
    const Bytes first = H("6a");
    const Bytes second = H("bd 01 000000 100000");
    DF8Crypt crypt;
    ASSERT_TRUE(crypt.Start(kCipherAes, key));
    Bytes mac;
    ASSERT_TRUE(crypt.Cmac(first, mac));
    EXPECT_EQ(Bytes(crypt.iv, crypt.iv + 16), OpenSslCmac(key, first));
    ASSERT_TRUE(crypt.Cmac(second, mac));
    EXPECT_NE(Bytes(crypt.iv, crypt.iv + 16), OpenSslCmac(key, second))
        << "the second goes on from the first";
    // Chained CMAC = CBC over the second message from the first's tag, padded and with K2.
    Bytes chained;
    ASSERT_TRUE(crypt.Start(kCipherAes, key));
    ASSERT_TRUE(crypt.Cmac(first, mac));
    Bytes iv(crypt.iv, crypt.iv + 16);
    Bytes block = second;
    block.push_back(0x80);
    block.resize(16, 0);
    for (size_t i = 0; i < 16; ++i)
        block[i] ^= crypt.k2[i];
    ASSERT_TRUE(CbcEncipher(kCipherAes, key, iv, block, chained));
    ASSERT_TRUE(crypt.Cmac(second, mac));
    EXPECT_EQ(Bytes(crypt.iv, crypt.iv + 16), chained);
}

TEST(DesfireCrypto, Crc32CheckValueWithoutFinalXor) {
    const std::string text = "123456789";
    EXPECT_EQ(DesfireCrc32(Bytes(text.begin(), text.end())), 0x340BC6D9u);
    EXPECT_EQ(DesfireCrc32({}), 0xFFFFFFFFu);
    Bytes out;
    AppendCrc32(out, Bytes(text.begin(), text.end()));
    EXPECT_EQ(out, H("d9c60b34")) << "low byte first";
}

} // namespace
} // namespace kq
