#include "Holds.h"

#include <chrono>
#include <cstdlib>

namespace devservice {
namespace {

bool parseCount(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && value >= 0;
}

} // namespace

bool Holds::add(const std::string& option)
{
    const size_t equals = option.find('=');
    if (equals == std::string::npos || equals == 0 || option[0] != '/')
        return false;
    std::string amount = option.substr(equals + 1);
    Hold hold;
    const size_t plus = amount.find('+');
    if (plus != std::string::npos) {
        if (!parseCount(amount.substr(plus + 1), hold.skip))
            return false;
        amount.resize(plus);
    }
    if (!parseCount(amount, hold.milliseconds))
        return false;
    m_routes[option.substr(0, equals)] = hold;
    return true;
}

void Holds::wait(const std::string& path)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto found = m_routes.find(path);
    if (found == m_routes.end())
        return;
    Hold& hold = found->second;
    if (hold.seen++ < hold.skip)
        return;
    m_released.wait_for(lock, std::chrono::milliseconds(hold.milliseconds), [this] { return m_bReleased; });
}

void Holds::release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bReleased = true;
    }
    m_released.notify_all();
}

} // namespace devservice
