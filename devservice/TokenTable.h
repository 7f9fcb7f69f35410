#pragma once
// Access tokens handed out by the cloud sign-in, each naming a cloud account.
// They live in memory only. The table is bounded: past `capacity`, the oldest
// token is forgotten, and expired tokens go from the oldest end as new ones
// come in, so no request ever walks the whole table.

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace devservice {

class TokenTable
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr size_t kDefaultCapacity = 4096;

    explicit TokenTable(std::chrono::seconds lifetime, size_t capacity = kDefaultCapacity);

    // A new random token for the account; nothing when there is no random
    // source.
    std::optional<std::string> issue(const std::string& cloudAccount, Clock::time_point now = Clock::now());
    std::optional<std::string> accountOf(const std::string& token,
                                         Clock::time_point now = Clock::now()) const;
    size_t size() const;

private:
    struct Entry
    {
        std::string cloudAccount;
        Clock::time_point expires;
    };

    const std::chrono::seconds m_lifetime;
    const size_t m_capacity;
    mutable std::mutex m_mutex; // guards both tables: handlers run on the server's worker threads
    std::unordered_map<std::string, Entry> m_tokens;
    std::deque<std::string> m_byAge; // oldest first; every token lives equally long
};

} // namespace devservice
