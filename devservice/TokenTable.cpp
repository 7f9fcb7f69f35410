#include "TokenTable.h"

#include <openssl/rand.h>

#include <algorithm>

namespace devservice {

TokenTable::TokenTable(std::chrono::seconds lifetime, size_t capacity)
    : m_lifetime(lifetime), m_capacity(std::max<size_t>(1, capacity))
{
}

std::optional<std::string> TokenTable::issue(const std::string& cloudAccount, Clock::time_point now)
{
    unsigned char random[24];
    if (RAND_bytes(random, sizeof random) != 1)
        return std::nullopt;
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : random) {
        token += digits[byte >> 4];
        token += digits[byte & 15];
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    while (!m_byAge.empty() &&
           (m_byAge.size() >= m_capacity || m_tokens.at(m_byAge.front()).expires <= now)) {
        m_tokens.erase(m_byAge.front());
        m_byAge.pop_front();
    }
    m_tokens[token] = Entry{cloudAccount, now + m_lifetime};
    m_byAge.push_back(token);
    return token;
}

std::optional<std::string> TokenTable::accountOf(const std::string& token, Clock::time_point now) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_tokens.find(token);
    if (it == m_tokens.end() || it->second.expires <= now)
        return std::nullopt;
    return it->second.cloudAccount;
}

size_t TokenTable::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tokens.size();
}

} // namespace devservice
