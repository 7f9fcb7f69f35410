#include "ConnectionPool.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace talvora::https {
namespace {

// Idle lanes kept: a few per origin for exchanges that overlap, and a bound
// on the descriptors held for origins not asked again.
constexpr size_t kIdleLanesPerOrigin = 2;
constexpr size_t kIdleLanes = 8;

// "scheme://host:port" of a URL, in lower case: the lanes that can serve it.
std::string originOf(const std::string& url)
{
    const size_t scheme = url.find("://");
    std::string origin =
        scheme == std::string::npos ? url : url.substr(0, url.find_first_of("/?#", scheme + 3));
    std::transform(origin.begin(), origin.end(), origin.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return origin;
}

} // namespace

// TLS sessions and resolved names, shared by the transfers of every thread.
class SessionShare
{
public:
    static std::shared_ptr<SessionShare> create()
    {
        std::shared_ptr<SessionShare> share(new SessionShare);
        share->m_handle = curl_share_init();
        if (!share->m_handle)
            return nullptr;
        // Without its locks a share is unsafe across threads: then none.
        const CURLSHcode set[] = {
            curl_share_setopt(share->m_handle, CURLSHOPT_LOCKFUNC, lock),
            curl_share_setopt(share->m_handle, CURLSHOPT_UNLOCKFUNC, unlock),
            curl_share_setopt(share->m_handle, CURLSHOPT_USERDATA, share.get()),
            curl_share_setopt(share->m_handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION),
            curl_share_setopt(share->m_handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS),
        };
        for (const CURLSHcode result : set) {
            if (result != CURLSHE_OK)
                return nullptr;
        }
        return share;
    }
    // Only once no easy handle uses it any more: every transfer holds the
    // share until its easy handle is cleaned up.
    ~SessionShare() { curl_share_cleanup(m_handle); }
    SessionShare(const SessionShare&) = delete;
    SessionShare& operator=(const SessionShare&) = delete;

    CURLSH* handle() const { return m_handle; }

private:
    SessionShare() = default;

    static std::mutex& lockOf(void* share, curl_lock_data data)
    {
        auto* self = static_cast<SessionShare*>(share);
        return self->m_locks[data < CURL_LOCK_DATA_LAST ? data : CURL_LOCK_DATA_NONE];
    }
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* share)
    {
        lockOf(share, data).lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* share) { lockOf(share, data).unlock(); }

    CURLSH* m_handle = nullptr;
    // One lock per kind of data, as libcurl requires.
    std::mutex m_locks[CURL_LOCK_DATA_LAST];
};

ConnectionPool::Lease::Lease(ConnectionPool* pool, std::unique_ptr<ConnectionLane> lane,
                             std::shared_ptr<SessionShare> share)
    : m_pool(pool), m_lane(std::move(lane)), m_share(std::move(share))
{
}

ConnectionPool::Lease::~Lease()
{
    if (m_lane && m_keep)
        m_pool->giveBack(std::move(m_lane));
}

CURLcode ConnectionPool::Lease::attach(CURL* easy)
{
    const CURLcode attached = m_lane->attach(easy);
    if (attached != CURLE_OK || !m_share)
        return attached;
    return curl_easy_setopt(easy, CURLOPT_SHARE, m_share->handle());
}

ConnectionPool& ConnectionPool::instance()
{
    // Never destroyed: a transfer on another thread may hand its lane back
    // while the process exits, and the kernel closes what is left then.
    static ConnectionPool* pool = new ConnectionPool;
    return *pool;
}

std::optional<ConnectionPool::Lease> ConnectionPool::acquire(const std::string& url)
{
    const std::string origin = originOf(url);
    std::unique_ptr<ConnectionLane> lane;
    std::shared_ptr<SessionShare> share;
    uint64_t generation = 0;
    // Lanes whose connections went away; closed once the lock is released.
    std::vector<std::unique_ptr<ConnectionLane>> closed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_share)
            m_share = SessionShare::create();
        share = m_share;
        generation = m_generation;
        for (size_t i = m_idle.size(); i-- > 0 && !lane;) {
            if (m_idle[i]->origin() != origin)
                continue;
            std::unique_ptr<ConnectionLane> candidate = std::move(m_idle[i]);
            m_idle.erase(m_idle.begin() + static_cast<std::ptrdiff_t>(i));
            if (candidate->holdsOpenConnection())
                lane = std::move(candidate);
            else
                closed.push_back(std::move(candidate));
        }
    }
    if (!lane) {
        lane = std::make_unique<ConnectionLane>(origin, generation);
        if (!lane->multi())
            return std::nullopt;
    }
    return Lease(this, std::move(lane), std::move(share));
}

void ConnectionPool::giveBack(std::unique_ptr<ConnectionLane> lane)
{
    lane->markIdle();
    std::vector<std::unique_ptr<ConnectionLane>> closed;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (lane->generation() != m_generation || !lane->holdsOpenConnection()) {
        closed.push_back(std::move(lane));
        return;
    }
    const std::string origin = lane->origin();
    m_idle.push_back(std::move(lane));
    size_t sameOrigin = 0;
    for (size_t i = m_idle.size(); i-- > 0;) {
        const bool surplus = m_idle[i]->origin() == origin && ++sameOrigin > kIdleLanesPerOrigin;
        if (surplus || (i == 0 && m_idle.size() > kIdleLanes)) {
            closed.push_back(std::move(m_idle[i]));
            m_idle.erase(m_idle.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void ConnectionPool::closeAll()
{
    std::vector<std::unique_ptr<ConnectionLane>> closed;
    std::shared_ptr<SessionShare> share;
    std::lock_guard<std::mutex> lock(m_mutex);
    closed.swap(m_idle);
    share.swap(m_share);
    ++m_generation;
}

} // namespace talvora::https
