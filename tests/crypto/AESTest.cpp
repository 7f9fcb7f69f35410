#include "crypto/AES.h"
#include "crypto/AESCipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes fromHex(const std::string& hex)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes randomBytes(std::mt19937& random, std::size_t size)
{
    Bytes bytes(size);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

// OpenSSL over whole blocks without padding; a partial final block is
// zero-filled first, as AESCipher does, and the result cut back to `in`'s size.
Bytes openSsl(const EVP_CIPHER* type, bool encrypt, const Bytes& key, const Bytes& iv, Bytes in)
{
    const std::size_t size = in.size();
    if (type == EVP_aes_128_cbc())
        in.resize((size + 15) / 16 * 16, 0);
    Bytes out(in.size() + 16);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int written = 0;
    int finalWritten = 0;
    EXPECT_EQ(EVP_CipherInit_ex(context, type, nullptr, key.data(), iv.data(), encrypt ? 1 : 0), 1);
    EVP_CIPHER_CTX_set_padding(context, 0);
    EXPECT_EQ(EVP_CipherUpdate(context, out.data(), &written, in.data(), static_cast<int>(in.size())), 1);
    EXPECT_EQ(EVP_CipherFinal_ex(context, out.data() + written, &finalWritten), 1);
    EVP_CIPHER_CTX_free(context);
    out.resize(size);
    return out;
}

Bytes run(AESCipher& cipher, bool encrypt, const Bytes& in)
{
    Bytes out(in.size());
    const int n = encrypt ? cipher.encrypt(in.data(), static_cast<int>(in.size()), out.data())
                          : cipher.decrypt(in.data(), static_cast<int>(in.size()), out.data());
    EXPECT_EQ(n, static_cast<int>(in.size()));
    return out;
}

TEST(AesBlock, Fips197AppendixVectors)
{
    struct Vector
    {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Vector vectors[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
         "3925841d02dc09fbdc118597196a0b32"},
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
         "69c4e0d86a7b0430d8cdb78070b4c55a"},
    };
    for (const Vector& v : vectors) {
        const AES aes(fromHex(v.key).data());
        Bytes out(16);
        aes.encryptBlock(fromHex(v.plain).data(), out.data());
        EXPECT_EQ(out, fromHex(v.cipher)) << v.key;
        aes.decryptBlock(fromHex(v.cipher).data(), out.data());
        EXPECT_EQ(out, fromHex(v.plain)) << v.key;
    }
}

TEST(AesBlock, SetKeyReplacesTheScheduleAndEcbHelpersWalkWholeBlocks)
{
    AES aes(nullptr);
    aes.setKey(fromHex("000102030405060708090a0b0c0d0e0f").data());
    const Bytes plain = fromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff0102");
    Bytes out(plain.size(), 0xAA);
    EXPECT_EQ(aes.encryptEcb(plain.data(), static_cast<int>(plain.size()), out.data()), 32);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), fromHex("69c4e0d86a7b0430d8cdb78070b4c55a"));
    EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 32), fromHex("69c4e0d86a7b0430d8cdb78070b4c55a"));
    EXPECT_EQ(out[32], 0xAA);
    Bytes back(32);
    EXPECT_EQ(aes.decryptEcb(out.data(), 32, back.data()), 32);
    EXPECT_EQ(back, Bytes(plain.begin(), plain.begin() + 32));
    EXPECT_EQ(aes.encryptEcb(plain.data(), -16, out.data()), -1);
}

TEST(AesCipher, AgreesWithOpenSslInEveryModeAndLength)
{
    struct ModeCase
    {
        int mode;
        const EVP_CIPHER* type;
    };
    const ModeCase modes[] = {{AESCipher::OFB, EVP_aes_128_ofb()},
                              {AESCipher::CFB, EVP_aes_128_cfb128()},
                              {AESCipher::CBC, EVP_aes_128_cbc()}};
    std::mt19937 random(7);
    testing::internal::CaptureStdout(); // the CBC debug lines
    for (const ModeCase& m : modes) {
        for (int round = 0; round < 60; ++round) {
            const Bytes key = randomBytes(random, 16);
            const Bytes iv = randomBytes(random, 16);
            const std::size_t length = round < 40 ? static_cast<std::size_t>(round) : random() % 257;
            const Bytes data = randomBytes(random, length);

            AESCipher cipher;
            cipher.setKey(key.data());
            cipher.setMode(m.mode);
            cipher.setIV(iv.data());
            EXPECT_EQ(run(cipher, true, data), openSsl(m.type, true, key, iv, data))
                << "mode " << m.mode << " length " << length;
            EXPECT_EQ(run(cipher, false, data), openSsl(m.type, false, key, iv, data))
                << "mode " << m.mode << " length " << length;
        }
    }
    testing::internal::GetCapturedStdout();
}

TEST(AesCipher, CbcChainsTheSecondBlockWithTheFirstCiphertextBlock)
{
    const Bytes key = fromHex("000102030405060708090a0b0c0d0e0f");
    const Bytes iv = fromHex("3a5f0c9e1b7d24681f0e2d3c4b5a6978");
    const Bytes ciphertext = fromHex("69c4e0d86a7b0430d8cdb78070b4c55a69c4e0d86a7b0430d8cdb78070b4c55a");
    AESCipher cipher;
    cipher.setKey(key.data());
    cipher.setMode(AESCipher::CBC);
    cipher.setIV(iv.data());
    const Bytes plain = run(cipher, false, ciphertext);

    const Bytes block = fromHex("00112233445566778899aabbccddeeff");
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(plain[i], block[i] ^ iv[i]);
        EXPECT_EQ(plain[16 + i], block[i] ^ ciphertext[i]);
    }
}

TEST(AesCipher, EveryCallStartsAgainFromTheIv)
{
    AESCipher cipher;
    cipher.setKey(reinterpret_cast<const unsigned char*>("Tv7kq2Lx5e6f7g8h"));
    cipher.setIV(fromHex("3a5f0c9e1b7d24681f0e2d3c4b5a6978").data());
    const Bytes data = fromHex("000102030405060708090a0b0c0d0e0f101112");
    for (int mode : {AESCipher::OFB, AESCipher::CFB, AESCipher::CBC}) {
        cipher.setMode(mode);
        testing::internal::CaptureStdout();
        const Bytes first = run(cipher, true, data);
        EXPECT_EQ(run(cipher, true, data), first) << mode;
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(run(cipher, false, first), run(cipher, false, first)) << mode;
    }
}

TEST(AesCipher, OtherModesWriteNothing)
{
    const Bytes data(32, 0x11);
    for (int mode : {4, 0, -1, 5}) {
        AESCipher cipher;
        if (mode != 4)
            cipher.setMode(mode);
        Bytes out(32, 0xAA);
        EXPECT_EQ(cipher.decrypt(data.data(), 32, out.data()), 0) << mode;
        EXPECT_EQ(cipher.encrypt(data.data(), 32, out.data()), 0) << mode;
        EXPECT_EQ(out, Bytes(32, 0xAA)) << mode;
    }
}

TEST(AesCipher, CbcEncryptionWritesItsDebugLinesPerBlock)
{
    AESCipher cipher;
    cipher.setMode(AESCipher::CBC);
    const Bytes data(40, 0x42);
    testing::internal::CaptureStdout();
    run(cipher, true, data);
    const std::string perBlock = "-----plaintext------"
                                 "--------------------\n"
                                 "****ciphertext****"
                                 "************\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), perBlock + perBlock + perBlock);
    testing::internal::CaptureStdout();
    run(cipher, false, data);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(AesCipher, LengthsOutsideTheBufferAreRefusedUntouched)
{
    AESCipher cipher;
    cipher.setMode(AESCipher::OFB);
    const Bytes data(300, 0x5A);
    Bytes out(300, 0xAA);
    EXPECT_EQ(cipher.decrypt(data.data(), 257, out.data()), -1);
    EXPECT_EQ(cipher.encrypt(data.data(), 257, out.data()), -1);
    EXPECT_EQ(cipher.decrypt(data.data(), -1, out.data()), -1);
    EXPECT_EQ(cipher.decrypt(nullptr, 16, out.data()), -1);
    EXPECT_EQ(cipher.decrypt(data.data(), 16, nullptr), -1);
    EXPECT_EQ(out, Bytes(300, 0xAA));

    EXPECT_EQ(cipher.decrypt(nullptr, 0, nullptr), 0);
    EXPECT_EQ(cipher.decrypt(data.data(), AESCipher::kMaxLength, out.data()), AESCipher::kMaxLength);
    EXPECT_EQ(out[AESCipher::kMaxLength], 0xAA);
}

} // namespace
