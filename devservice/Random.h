#pragma once
// Secrets of the service (pins, room secrets, tokens, admin secrets) from
// OpenSSL's random source.

#include <cstddef>
#include <optional>
#include <string>

namespace devservice {

// `bytes` random bytes as lower-case hex; nothing when the source fails.
std::optional<std::string> randomHex(size_t bytes);

} // namespace devservice
