#include "ConnectionLane.h"

#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <new>
#include <utility>

namespace talvora::https {
namespace {

// A kept connection is given up this much sooner than the server says it
// keeps it, so that a request never crosses the server's own closing.
constexpr std::chrono::milliseconds kKeepAliveSlack{1000};

// The seconds of "timeout=N" in a "Keep-Alive:" header line.
std::optional<long> keepAliveSeconds(const char* line, size_t length)
{
    static constexpr char kName[] = "keep-alive:";
    static constexpr char kTimeout[] = "timeout=";
    constexpr size_t kNameLength = sizeof kName - 1;
    constexpr size_t kTimeoutLength = sizeof kTimeout - 1;
    if (length < kNameLength || strncasecmp(line, kName, kNameLength) != 0)
        return std::nullopt;
    for (size_t at = kNameLength; at + kTimeoutLength < length; ++at) {
        if (strncasecmp(line + at, kTimeout, kTimeoutLength) != 0)
            continue;
        long seconds = 0;
        size_t digit = at + kTimeoutLength;
        for (; digit < length && std::isdigit(static_cast<unsigned char>(line[digit])); ++digit)
            seconds = std::min(seconds * 10 + (line[digit] - '0'), 86'400L);
        if (digit == at + kTimeoutLength)
            return std::nullopt;
        return seconds;
    }
    return std::nullopt;
}

} // namespace

ConnectionLane::ConnectionLane(std::string origin, uint64_t generation)
    : m_multi(curl_multi_init()), m_origin(std::move(origin)), m_generation(generation)
{
}

ConnectionLane::~ConnectionLane()
{
    // Closes the kept connections, through closeSocket() on this lane.
    if (m_multi)
        curl_multi_cleanup(m_multi);
}

CURLcode ConnectionLane::attach(CURL* easy)
{
    m_keptFor.reset();
    const CURLcode set[] = {
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, openSocket),
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this),
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, closeSocket),
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this),
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, readHeader),
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this),
    };
    for (const CURLcode result : set) {
        if (result != CURLE_OK)
            return result;
    }
    return CURLE_OK;
}

bool ConnectionLane::holdsOpenConnection() const
{
    if (m_sockets.empty())
        return false;
    if (m_keptFor && std::chrono::steady_clock::now() - m_idleSince >= *m_keptFor)
        return false;
    // Between requests the server has nothing to say: anything to read (the
    // TLS close_notify, the end of the stream, a reset) means that it closes
    // the connection. libcurl's own check before reuse takes a pending
    // close_notify for a live connection and sends the request into it.
    for (const curl_socket_t socket : m_sockets) {
        pollfd entry{socket, POLLIN | POLLRDHUP, 0};
        if (poll(&entry, 1, 0) != 0)
            return false;
    }
    return true;
}

// The callbacks below are called by libcurl (C code): nothing may be thrown
// through them.

curl_socket_t ConnectionLane::openSocket(void* lane, curlsocktype, curl_sockaddr* address)
{
    const curl_socket_t socket =
        ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket == CURL_SOCKET_BAD)
        return CURL_SOCKET_BAD;
    try {
        static_cast<ConnectionLane*>(lane)->m_sockets.push_back(socket);
    } catch (const std::bad_alloc&) {
        ::close(socket);
        return CURL_SOCKET_BAD;
    }
    return socket;
}

int ConnectionLane::closeSocket(void* lane, curl_socket_t socket)
{
    std::vector<curl_socket_t>& sockets = static_cast<ConnectionLane*>(lane)->m_sockets;
    sockets.erase(std::remove(sockets.begin(), sockets.end(), socket), sockets.end());
    return ::close(socket);
}

size_t ConnectionLane::readHeader(char* data, size_t size, size_t count, void* lane)
{
    auto* self = static_cast<ConnectionLane*>(lane);
    const size_t length = size * count;
    // Each answer (an interim one too) starts with its status line.
    if (length >= 5 && strncasecmp(data, "HTTP/", 5) == 0)
        self->m_keptFor.reset();
    else if (const std::optional<long> seconds = keepAliveSeconds(data, length))
        self->m_keptFor =
            std::max(std::chrono::milliseconds(0), std::chrono::seconds(*seconds) - kKeepAliveSlack);
    return length;
}

} // namespace talvora::https
