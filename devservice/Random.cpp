#include "Random.h"

#include <openssl/rand.h>

#include <vector>

namespace devservice {

std::optional<std::string> randomHex(size_t bytes)
{
    std::vector<unsigned char> random(bytes);
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1)
        return std::nullopt;
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : random) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}

} // namespace devservice
