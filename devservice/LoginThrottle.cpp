#include "LoginThrottle.h"

#include "Text.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>

namespace devservice {
namespace {

std::string normalised(const std::string& key)
{
    std::string lower = key;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

long long secondsUntil(LoginThrottle::Clock::time_point until, LoginThrottle::Clock::time_point now)
{
    if (until <= now)
        return 0;
    return std::max<long long>(1, std::chrono::ceil<std::chrono::seconds>(until - now).count());
}

} // namespace

LoginThrottle::LoginThrottle(size_t capacity) : m_capacity(std::max<size_t>(1, capacity)) {}

long long LoginThrottle::reserve(const std::string& key, Clock::time_point now)
{
    const std::string name = normalised(key);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_records.find(name);
    if (it == m_records.end()) {
        if (m_records.size() >= m_capacity) {
            m_records.erase(m_byAge.front());
            m_byAge.pop_front();
        }
        it = m_records.emplace(name, Record{}).first;
        it->second.age = m_byAge.insert(m_byAge.end(), name);
    } else {
        m_byAge.splice(m_byAge.end(), m_byAge, it->second.age);
    }

    Record& record = it->second;
    if (const long long locked = secondsUntil(record.lockedUntil, now))
        return locked;
    while (!record.attempts.empty() && record.attempts.front() <= now - kWindow)
        record.attempts.pop_front();
    record.attempts.push_back(now);
    if (record.attempts.size() >= static_cast<size_t>(kMaxFailures)) {
        // This attempt is still checked; the ones after it wait.
        record.attempts.clear();
        record.lockedUntil = now + kLockout;
    }
    return 0;
}

void LoginThrottle::succeeded(const std::string& key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_records.find(normalised(key));
    if (it == m_records.end())
        return;
    m_byAge.erase(it->second.age);
    m_records.erase(it);
}

bool LoginThrottle::admit(const std::string& key, httplib::Response& res)
{
    const long long seconds = reserve(key);
    if (seconds == 0)
        return true;
    answerError(res, 429, "too_many_attempts", "too many failed attempts; try again later");
    res.set_header("Retry-After", std::to_string(seconds));
    return false;
}

long long LoginThrottle::secondsLocked(const std::string& key, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_records.find(normalised(key));
    return it == m_records.end() ? 0 : secondsUntil(it->second.lockedUntil, now);
}

size_t LoginThrottle::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.size();
}

} // namespace devservice
