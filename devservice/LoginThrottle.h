#pragma once
// Slows down password guessing on the sign-in routes: after kMaxFailures
// failed attempts for one account within kWindow, every attempt for that
// account is refused with 429 for kLockout, whatever the password. Accounts
// are told apart without regard to ASCII case, as the SDK login finds them.

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace httplib {
struct Response;
}

namespace devservice {

class LoginThrottle
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMaxFailures = 5;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr std::chrono::seconds kLockout{30};

    // Whole seconds (rounded up) until the account may try again; 0 when it
    // may try now.
    long long secondsLocked(const std::string& account, Clock::time_point now = Clock::now());
    void failed(const std::string& account, Clock::time_point now = Clock::now());
    void succeeded(const std::string& account);

    // When the account is locked: a 429 with Retry-After and the cloud and
    // SDK routes' JSON error, and true.
    bool refuseWhileLocked(const std::string& account, httplib::Response& res);

private:
    struct Record
    {
        std::deque<Clock::time_point> failures; // within kWindow, oldest first
        Clock::time_point lockedUntil{};
    };

    void forgetStale(Clock::time_point now);

    std::mutex m_mutex; // guards m_records: handlers run on the server's worker threads
    std::unordered_map<std::string, Record> m_records;
};

} // namespace devservice
