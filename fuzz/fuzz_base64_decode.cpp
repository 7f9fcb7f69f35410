// Feeds arbitrary text to both Base64 decoders and checks that the bounded one
// never writes past its capacity and agrees with the announced length.
#include "crypto/Base64.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > INT_MAX / 2)
        return 0;
    const auto* text = reinterpret_cast<const char*>(data);
    const int length = static_cast<int>(size);

    // Exactly the documented worst case, so that ASan catches any overrun.
    std::vector<unsigned char> out(3 * ((size + 3) / 4));
    const int expected = base64_decoded_length(text, length);
    const int written = base64_decode(text, length, out.data());
    if (written != expected || written < 0 || static_cast<std::size_t>(written) > out.size())
        std::abort();

    // A capacity one byte short must be refused with nothing written at all;
    // an exact one accepted.
    if (written > 0) {
        std::vector<unsigned char> guarded(static_cast<std::size_t>(written), 0xAA);
        if (base64_decode(text, length, guarded.data(), written - 1) != -1)
            std::abort();
        for (unsigned char byte : guarded)
            if (byte != 0xAA)
                std::abort();
        if (base64_decode(text, length, guarded.data(), written) != written ||
            std::memcmp(guarded.data(), out.data(), guarded.size()) != 0)
            std::abort();
    }
    return 0;
}
