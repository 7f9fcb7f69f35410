#pragma once
// Answers held back on purpose, so that tests can play a slow or silent
// service: "--hold /v3/meeting/list=3000" makes every list request wait 3 s
// before it is served; "=60000+1" lets the first request through unheld.

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace devservice {

class Holds
{
public:
    // Takes "ROUTE=MILLISECONDS[+SKIP]"; false for anything else.
    bool add(const std::string& option);
    bool empty() const { return m_routes.empty(); }

    // Called for every request before it is routed; returns when the hold
    // for its path has passed, or at once after release().
    void wait(const std::string& path);
    // Lets every waiting and later request through (the service is stopping).
    void release();

private:
    struct Hold
    {
        long milliseconds = 0;
        long skip = 0;
        long seen = 0;
    };

    std::mutex m_mutex; // guards m_routes' counters and m_bReleased
    std::condition_variable m_released;
    std::map<std::string, Hold> m_routes;
    bool m_bReleased = false;
};

} // namespace devservice
