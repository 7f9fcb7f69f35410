#pragma once

// The AES-128 block cipher (FIPS-197): key expansion and the encryption and
// decryption of single 16-byte blocks. Bytes fill the state column by column,
// as in FIPS-197. Each object carries its own substitution tables.
class AES
{
public:
    // Expands `key16` (16 bytes) when it is not null; otherwise the round keys
    // stay zero until setKey.
    explicit AES(const unsigned char* key16 = nullptr);
    virtual ~AES();

    void setKey(const unsigned char* key16);

    void encryptBlock(const unsigned char in[16], unsigned char out[16]) const;
    void decryptBlock(const unsigned char in[16], unsigned char out[16]) const;

    // Electronic-codebook helpers over the whole 16-byte blocks of `in`; a
    // trailing partial block is left out. Return the number of bytes written
    // to `out`, or -1 for a null pointer or a negative length.
    int encryptEcb(const unsigned char* in, int length, unsigned char* out) const;
    int decryptEcb(const unsigned char* in, int length, unsigned char* out) const;

private:
    static constexpr int kRounds = 10;

    void addRoundKey(unsigned char state[16], int round) const;

    unsigned char m_sbox[256];
    unsigned char m_invSbox[256];
    unsigned char m_roundKeys[kRounds + 1][16] = {};
};
