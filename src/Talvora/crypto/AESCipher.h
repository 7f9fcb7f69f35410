#pragma once

class AES;

// Runs one AES-128 object in OFB, CFB-128 or CBC mode over buffers of up to
// kMaxLength bytes. No padding is added or removed: a final partial block is
// zero-filled before the cipher and only its own bytes are kept. Every call
// starts again from the IV.
class AESCipher
{
public:
    enum Mode
    {
        OFB = 1,
        CFB = 2,
        CBC = 3
    };

    // The largest input encrypt and decrypt accept.
    static constexpr int kMaxLength = 256;

    AESCipher();
    ~AESCipher();
    AESCipher(const AESCipher&) = delete;
    AESCipher& operator=(const AESCipher&) = delete;

    // Copies exactly 16 bytes; no terminator is needed.
    void setKey(const unsigned char* key);
    // 1 OFB, 2 CFB, 3 CBC; any other value makes encrypt and decrypt write nothing.
    void setMode(int mode);
    // Copies exactly 16 bytes.
    void setIV(const unsigned char* iv);

    // Return the number of bytes written to `out` (`length` in modes 1-3, 0 in
    // any other mode), or -1 with nothing written when `length` is negative or
    // above kMaxLength, or a pointer is null while `length` is positive.
    int decrypt(const unsigned char* in, int length, unsigned char* out);
    // As decrypt. In CBC mode, writes two debug lines per block to standard output.
    int encrypt(const unsigned char* in, int length, unsigned char* out);

private:
    AES* aes = nullptr;
    int mode = 4;
    unsigned char key[16] = {};
    unsigned char iv[16] = {};
};
