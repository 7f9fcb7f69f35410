#pragma once
// Secrets (the conferencing password, the access token, key material) are
// overwritten in the memory that held them once they have been passed on, so
// that they do not linger in freed heap blocks or stack frames.

#include <openssl/crypto.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

namespace talvora {

inline void wipe(void* data, std::size_t size)
{
    if (data != nullptr && size > 0)
        OPENSSL_cleanse(data, size);
}

// The whole buffer, stale bytes past the end included, then empty.
template <class Char> void wipe(std::basic_string<Char>& text)
{
    wipe(text.data(), text.capacity() * sizeof(Char));
    text.clear();
}

// Runs its wiping on every way out of a scope.
class WipeOnExit
{
public:
    explicit WipeOnExit(std::function<void()> wiping) : m_wiping(std::move(wiping)) {}
    ~WipeOnExit() { m_wiping(); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::function<void()> m_wiping;
};

} // namespace talvora
