#include "crypto/AESCipher.h"

#include "crypto/AES.h"

#include <cstdio>
#include <cstring>

namespace {

bool modeKnown(int mode)
{
    return mode == AESCipher::OFB || mode == AESCipher::CFB || mode == AESCipher::CBC;
}

bool argumentsValid(const unsigned char* in, int length, const unsigned char* out)
{
    if (length < 0 || length > AESCipher::kMaxLength)
        return false;
    return length == 0 || (in && out);
}

void xorInto(unsigned char* target, const unsigned char* a, const unsigned char* b, int n)
{
    for (int i = 0; i < n; ++i)
        target[i] = a[i] ^ b[i];
}

} // namespace

AESCipher::AESCipher()
{
    static const unsigned char zeroKey[16] = {};
    aes = new AES(zeroKey);
}

AESCipher::~AESCipher()
{
    delete aes;
}

void AESCipher::setKey(const unsigned char* newKey)
{
    std::memcpy(key, newKey, sizeof key);
    aes->setKey(key);
}

void AESCipher::setMode(int newMode)
{
    mode = newMode;
}

void AESCipher::setIV(const unsigned char* newIv)
{
    std::memcpy(iv, newIv, sizeof iv);
}

int AESCipher::decrypt(const unsigned char* in, int length, unsigned char* out)
{
    if (!argumentsValid(in, length, out))
        return -1;
    if (length == 0 || !modeKnown(mode))
        return 0;

    unsigned char result[kMaxLength];
    unsigned char chain[16]; // the previous ciphertext block (CBC, CFB) or keystream block (OFB)
    std::memcpy(chain, iv, sizeof chain);
    for (int offset = 0; offset < length; offset += 16) {
        const int n = length - offset < 16 ? length - offset : 16;
        unsigned char block[16] = {};
        std::memcpy(block, in + offset, n);
        unsigned char work[16];
        switch (mode) {
        case CBC:
            aes->decryptBlock(block, work);
            xorInto(result + offset, work, chain, n);
            std::memcpy(chain, block, 16);
            break;
        case CFB:
            aes->encryptBlock(chain, work);
            xorInto(result + offset, work, block, n);
            std::memcpy(chain, block, 16);
            break;
        case OFB:
            aes->encryptBlock(chain, work);
            xorInto(result + offset, work, block, n);
            std::memcpy(chain, work, 16);
            break;
        }
    }
    std::memcpy(out, result, length);
    return length;
}

int AESCipher::encrypt(const unsigned char* in, int length, unsigned char* out)
{
    if (!argumentsValid(in, length, out))
        return -1;
    if (length == 0 || !modeKnown(mode))
        return 0;

    unsigned char result[kMaxLength];
    unsigned char chain[16]; // the previous ciphertext block (CBC, CFB) or keystream block (OFB)
    std::memcpy(chain, iv, sizeof chain);
    for (int offset = 0; offset < length; offset += 16) {
        const int n = length - offset < 16 ? length - offset : 16;
        unsigned char block[16] = {};
        std::memcpy(block, in + offset, n);
        unsigned char work[16];
        switch (mode) {
        case CBC:
            std::fputs("-----plaintext------", stdout);
            std::fputs("--------------------\n", stdout);
            xorInto(work, block, chain, 16);
            aes->encryptBlock(work, chain);
            std::fputs("****ciphertext****", stdout);
            std::fputs("************\n", stdout);
            std::memcpy(result + offset, chain, n);
            break;
        case CFB:
            aes->encryptBlock(chain, work);
            xorInto(chain, block, work, 16);
            std::memcpy(result + offset, chain, n);
            break;
        case OFB:
            aes->encryptBlock(chain, work);
            xorInto(result + offset, block, work, n);
            std::memcpy(chain, work, 16);
            break;
        }
    }
    std::memcpy(out, result, length);
    return length;
}
