// Runs AESCipher::decrypt with a fuzzed key, IV, mode and ciphertext (lengths
// beyond the cipher's limit included) and checks that encrypt inverts it.
#include "crypto/AESCipher.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// CBC encryption prints two lines per block; libFuzzer reports on stderr.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // key (16) + iv (16) + mode (1), then the ciphertext.
    if (size < 33)
        return 0;
    AESCipher cipher;
    cipher.setKey(data);
    cipher.setIV(data + 16);
    const int mode = data[32] % 5; // 0 and 4 exercise the "no transformation" path
    cipher.setMode(mode);

    const std::uint8_t* in = data + 33;
    const std::size_t inSize = size - 33;
    const int length = inSize > 100000 ? 100000 : static_cast<int>(inSize);

    // Sized to the input, not to the cipher's limit, so that ASan sees any write
    // beyond `length` bytes.
    std::vector<unsigned char> plain(static_cast<std::size_t>(length) + 1);
    const int written = cipher.decrypt(in, length, plain.data());
    if (length > AESCipher::kMaxLength) {
        if (written != -1)
            std::abort();
        return 0;
    }
    const bool transforms = mode >= 1 && mode <= 3;
    if (written != (transforms ? length : 0))
        std::abort();

    // A partial CBC block is not invertible (its missing ciphertext bytes were
    // zero-filled), so only whole blocks round-trip there.
    if (transforms && (mode != AESCipher::CBC || length % 16 == 0) && length > 0) {
        std::vector<unsigned char> again(static_cast<std::size_t>(length));
        if (cipher.encrypt(plain.data(), length, again.data()) != length ||
            std::memcmp(again.data(), in, static_cast<std::size_t>(length)) != 0)
            std::abort();
    }
    return 0;
}
