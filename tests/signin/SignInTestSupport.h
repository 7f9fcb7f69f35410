#pragma once
// Helpers shared by the sign-in tests: the service's side of the password
// cipher, done with OpenSSL so that the client's own AES meets an
// independent implementation.

#include <openssl/evp.h>

#include <memory>
#include <string>

namespace signin_test {

inline const char* const kKeyPiece = "Tv7kq2Lx";
inline const unsigned char kIv[16] = {0x3a, 0x5f, 0x0c, 0x9e, 0x1b, 0x7d, 0x24, 0x68,
                                      0x1f, 0x0e, 0x2d, 0x3c, 0x4b, 0x5a, 0x69, 0x78};

// AES-128-CBC of `plain` under the key piece + last 8 characters of
// `accountToken`; with `pkcs7` false the input must be whole blocks and is
// taken as it is (to craft odd plaintexts).
inline std::string encrypt(const std::string& plain, const std::string& accountToken, bool pkcs7 = true)
{
    const std::string key = std::string(kKeyPiece) + accountToken.substr(accountToken.size() - 8);
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> context(EVP_CIPHER_CTX_new(),
                                                                       EVP_CIPHER_CTX_free);
    std::string out(plain.size() + 16, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    int written = 0;
    int last = 0;
    EVP_EncryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr,
                       reinterpret_cast<const unsigned char*>(key.data()), kIv);
    EVP_CIPHER_CTX_set_padding(context.get(), pkcs7 ? 1 : 0);
    EVP_EncryptUpdate(context.get(), bytes, &written, reinterpret_cast<const unsigned char*>(plain.data()),
                      static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(context.get(), bytes + written, &last);
    out.resize(static_cast<size_t>(written + last));
    return out;
}

inline std::string base64(const std::string& bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

inline std::string encryptedPassword(const std::string& plain, const std::string& accountToken)
{
    return base64(encrypt(plain, accountToken));
}

} // namespace signin_test
