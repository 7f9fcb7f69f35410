#include "LoginThrottle.h"

#include "Text.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>

namespace devservice {
namespace {

// Guessing across many made-up accounts must not grow the table for good:
// past this size, records with nothing left to remember are dropped.
constexpr size_t kRecordsBeforePruning = 4096;

std::string keyOf(const std::string& account)
{
    std::string key = account;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

} // namespace

long long LoginThrottle::secondsLocked(const std::string& account, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_records.find(keyOf(account));
    if (it == m_records.end() || it->second.lockedUntil <= now)
        return 0;
    const auto left = std::chrono::ceil<std::chrono::seconds>(it->second.lockedUntil - now);
    return std::max<long long>(1, left.count());
}

void LoginThrottle::failed(const std::string& account, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_records.size() >= kRecordsBeforePruning)
        forgetStale(now);
    Record& record = m_records[keyOf(account)];
    if (record.lockedUntil > now)
        return;
    while (!record.failures.empty() && record.failures.front() <= now - kWindow)
        record.failures.pop_front();
    record.failures.push_back(now);
    if (record.failures.size() >= static_cast<size_t>(kMaxFailures)) {
        record.failures.clear();
        record.lockedUntil = now + kLockout;
    }
}

void LoginThrottle::succeeded(const std::string& account)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.erase(keyOf(account));
}

bool LoginThrottle::refuseWhileLocked(const std::string& account, httplib::Response& res)
{
    const long long seconds = secondsLocked(account);
    if (seconds == 0)
        return false;
    answerError(res, 429, "too_many_attempts", "too many failed attempts; try again later");
    res.set_header("Retry-After", std::to_string(seconds));
    return true;
}

void LoginThrottle::forgetStale(Clock::time_point now)
{
    for (auto it = m_records.begin(); it != m_records.end();) {
        const Record& record = it->second;
        const bool stale =
            record.lockedUntil <= now && (record.failures.empty() || record.failures.back() <= now - kWindow);
        it = stale ? m_records.erase(it) : std::next(it);
    }
}

} // namespace devservice
