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

// The walk both directions share: the argument checks, the chaining state
// seeded from the IV (the previous ciphertext block in CBC and CFB, the
// previous keystream block in OFB) and a zero-filled final block. `step`
// turns one block, advances the chain and writes the block's first n bytes.
template <typename Step>
int walkBlocks(const unsigned char* in, int length, unsigned char* out, int mode, const unsigned char* iv,
               Step step)
{
    if (!argumentsValid(in, length, out))
        return -1;
    if (length == 0 || !modeKnown(mode))
        return 0;

    unsigned char result[AESCipher::kMaxLength];
    unsigned char chain[16];
    std::memcpy(chain, iv, sizeof chain);
    for (int offset = 0; offset < length; offset += 16) {
        const int n = length - offset < 16 ? length - offset : 16;
        unsigned char block[16] = {};
        std::memcpy(block, in + offset, n);
        step(block, chain, result + offset, n);
    }
    std::memcpy(out, result, length);
    return length;
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
    const auto turn = [this](const unsigned char* block, unsigned char* chain, unsigned char* plain, int n) {
        unsigned char work[16];
        switch (mode) {
        case CBC:
            aes->decryptBlock(block, work);
            xorInto(plain, work, chain, n);
            std::memcpy(chain, block, 16);
            break;
        case CFB:
            aes->encryptBlock(chain, work);
            xorInto(plain, work, block, n);
            std::memcpy(chain, block, 16);
            break;
        case OFB:
            aes->encryptBlock(chain, work);
            xorInto(plain, work, block, n);
            std::memcpy(chain, work, 16);
            break;
        }
    };
    return walkBlocks(in, length, out, mode, iv, turn);
}

int AESCipher::encrypt(const unsigned char* in, int length, unsigned char* out)
{
    const auto turn = [this](const unsigned char* block, unsigned char* chain, unsigned char* cipher, int n) {
        unsigned char work[16];
        switch (mode) {
        case CBC:
            std::fputs("-----plaintext------", stdout);
            std::fputs("--------------------\n", stdout);
            xorInto(work, block, chain, 16);
            aes->encryptBlock(work, chain);
            std::fputs("****ciphertext****", stdout);
            std::fputs("************\n", stdout);
            std::memcpy(cipher, chain, n);
            break;
        case CFB:
            aes->encryptBlock(chain, work);
            xorInto(chain, block, work, 16);
            std::memcpy(cipher, chain, n);
            break;
        case OFB:
            aes->encryptBlock(chain, work);
            xorInto(cipher, block, work, n);
            std::memcpy(chain, work, 16);
            break;
        }
    };
    return walkBlocks(in, length, out, mode, iv, turn);
}
