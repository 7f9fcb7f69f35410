#pragma once
// Keeps connections open between requests to the same origin, and TLS
// sessions for resuming new connections, so that a request after the first
// costs no TCP and TLS handshake.
//
// Idle lanes (ConnectionLane) wait here, per origin. libcurl's own shared
// connection cache (CURL_LOCK_DATA_CONNECT) is not made for transfers on
// several threads at once, so only TLS sessions and resolved names go into a
// share handle, whose locks make it safe across threads.

#include "ConnectionLane.h"

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace talvora::https {

class SessionShare;

class ConnectionPool
{
public:
    // One transfer's lane and session share. On destruction the lane goes
    // back to the pool when keep() was called, and is closed otherwise.
    class Lease
    {
    public:
        Lease(Lease&&) = default;
        ~Lease();

        CURLM* multi() const { return m_lane->multi(); }
        // Connects `easy` to the lane and the session share; anything but
        // CURLE_OK means that `easy` must not run.
        CURLcode attach(CURL* easy);
        // The transfer ended with an answer; its connection may serve again.
        void keep() { m_keep = true; }

    private:
        friend class ConnectionPool;
        Lease(ConnectionPool* pool, std::unique_ptr<ConnectionLane> lane,
              std::shared_ptr<SessionShare> share);

        ConnectionPool* m_pool;
        std::unique_ptr<ConnectionLane> m_lane;
        std::shared_ptr<SessionShare> m_share;
        bool m_keep = false;
    };

    static ConnectionPool& instance();

    // A lane for a transfer to `url`: an idle one of the same origin whose
    // connection is still open, or a new one. Null when libcurl has no memory.
    std::optional<Lease> acquire(const std::string& url);
    // Closes every idle connection and forgets the TLS sessions; lanes in
    // use are closed when their transfers end.
    void closeAll();

private:
    ConnectionPool() = default;
    void giveBack(std::unique_ptr<ConnectionLane> lane);

    // Guards everything below. Never held while a lane is closed or a
    // transfer runs.
    std::mutex m_mutex;
    std::vector<std::unique_ptr<ConnectionLane>> m_idle; // oldest first
    std::shared_ptr<SessionShare> m_share;
    uint64_t m_generation = 0;
};

} // namespace talvora::https
