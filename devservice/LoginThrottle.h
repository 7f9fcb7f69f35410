#pragma once
// Slows down password guessing on the sign-in routes: after kMaxFailures
// attempts for one account within kWindow, every attempt for that account is
// refused with 429 for kLockout, whatever the password.
//
// An attempt is counted before its password is checked, under the same lock
// that tells whether the account is locked, so that guesses sent at once
// cannot slip past the count between the two. A right password then clears
// the count. Callers name the account by what the lookup found (so that all
// login names of one account share one count), or by the login name when
// nothing was found; names are told apart without regard to ASCII case.
//
// The records are bounded: past `capacity`, the record used least recently
// is forgotten. Nothing ever walks the whole table.

#include <chrono>
#include <cstddef>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

namespace httplib {
struct Response;
}

namespace devservice {

// Longest account name or password that a sign-in route reads; longer ones
// are refused with 400 before anything is looked up or counted.
constexpr size_t kMaxCredentialBytes = 256;

class LoginThrottle
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMaxFailures = 5;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr std::chrono::seconds kLockout{30};
    static constexpr size_t kDefaultCapacity = 4096;

    explicit LoginThrottle(size_t capacity = kDefaultCapacity);

    // Counts one attempt for the key and answers 0, so the caller may check
    // the password; or answers the whole seconds (rounded up) until the key
    // may try again, and counts nothing.
    long long reserve(const std::string& key, Clock::time_point now = Clock::now());
    // The password was right: the key's count starts afresh.
    void succeeded(const std::string& key);

    // Reserves an attempt; when the key is locked, writes a 429 with
    // Retry-After and the cloud and SDK routes' JSON error and answers false.
    bool admit(const std::string& key, httplib::Response& res);

    // Seconds until the key may try again, without counting an attempt.
    long long secondsLocked(const std::string& key, Clock::time_point now = Clock::now());
    size_t size() const;

private:
    struct Record
    {
        std::deque<Clock::time_point> attempts; // within kWindow, oldest first
        Clock::time_point lockedUntil{};
        std::list<std::string>::iterator age; // place in m_byAge
    };

    const size_t m_capacity;
    mutable std::mutex m_mutex; // guards both tables: handlers run on the server's worker threads
    std::unordered_map<std::string, Record> m_records;
    std::list<std::string> m_byAge; // keys, least recently used first
};

} // namespace devservice
