#include "GuardedServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <thread>

namespace devservice {
namespace {

using Clock = GuardedServer::Clock;

void describe(const sockaddr_storage& address, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = "";
    port = -1;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

std::chrono::microseconds duration(time_t seconds, time_t microseconds)
{
    return std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds);
}

} // namespace

// One connection as the library's request parser sees it. Every wait for the
// client is bounded by the read time-out and by the present request's
// deadline, and is marked in the connection table, so that the accepting
// loop can tell a connection that waits for its client from one in a handler.
class GuardedServer::ConnectionStream : public httplib::Stream
{
public:
    ConnectionStream(GuardedServer& server, uint64_t id, int fd)
        : m_server(server), m_id(id), m_fd(fd),
          m_readTimeout(duration(server.read_timeout_sec_, server.read_timeout_usec_)),
          m_writeTimeout(duration(server.write_timeout_sec_, server.write_timeout_usec_))
    {
        beginRequest();
    }
    ~ConnectionStream() override
    {
        if (m_ssl)
            SSL_free(m_ssl);
    }
    ConnectionStream(const ConnectionStream&) = delete;
    ConnectionStream& operator=(const ConnectionStream&) = delete;

    const SSL* ssl() const { return m_ssl; }

    // The deadline of a request starts now.
    void beginRequest() { m_deadline = Clock::now() + m_server.m_limits.requestDeadline; }

    bool handshake(SSL_CTX* context)
    {
        m_ssl = SSL_new(context);
        if (!m_ssl || SSL_set_fd(m_ssl, m_fd) != 1)
            return false;
        for (;;) {
            ERR_clear_error();
            const int result = SSL_accept(m_ssl);
            if (result == 1)
                return true;
            const short events = eventsFor(SSL_get_error(m_ssl, result));
            if (!events || !waitFor(events, readLimit(), true))
                return false;
        }
    }

    Clock::time_point deadline() const { return m_deadline; }

    // Whether the next request begins before `until`.
    bool waitForRequest(Clock::time_point until) { return buffered() || waitFor(POLLIN, until, true); }

    void closeTls(bool gracefully)
    {
        if (m_ssl && gracefully) {
            ERR_clear_error();
            SSL_shutdown(m_ssl);
        }
    }

    bool is_readable() const override { return buffered() || waitFor(POLLIN, readLimit(), true); }

    bool is_writable() const override { return waitFor(POLLOUT, Clock::now() + m_writeTimeout, false); }

    // The library reads a request's line and headers a byte at a time; they
    // come from a buffer filled by whole reads.
    ssize_t read(char* ptr, size_t size) override
    {
        if (size == 0)
            return 0;
        if (m_begin == m_end && size < sizeof m_buffer) {
            const ssize_t got = readSome(m_buffer, sizeof m_buffer);
            if (got <= 0)
                return got;
            m_begin = 0;
            m_end = static_cast<size_t>(got);
        }
        if (m_begin == m_end)
            return readSome(ptr, size);
        const size_t taken = std::min(size, m_end - m_begin);
        std::copy_n(m_buffer + m_begin, taken, ptr);
        m_begin += taken;
        return static_cast<ssize_t>(taken);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        const int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
        const Clock::time_point until = Clock::now() + m_writeTimeout;
        for (;;) {
            short events = POLLOUT;
            if (m_ssl) {
                ERR_clear_error();
                const int sent = SSL_write(m_ssl, ptr, chunk);
                if (sent > 0)
                    return sent;
                events = eventsFor(SSL_get_error(m_ssl, sent));
                if (!events)
                    return -1;
            } else {
                const ssize_t sent = ::send(m_fd, ptr, static_cast<size_t>(chunk), MSG_NOSIGNAL);
                if (sent >= 0)
                    return sent;
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    return -1;
            }
            if (!waitFor(events, until, false))
                return -1;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            describe(address, ip, port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            describe(address, ip, port);
    }

    socket_t socket() const override { return m_fd; }

private:
    ssize_t readSome(char* ptr, size_t size)
    {
        const int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
        for (;;) {
            short events = POLLIN;
            if (m_ssl) {
                ERR_clear_error();
                const int got = SSL_read(m_ssl, ptr, chunk);
                if (got > 0)
                    return got;
                const int error = SSL_get_error(m_ssl, got);
                if (error == SSL_ERROR_ZERO_RETURN)
                    return 0;
                events = eventsFor(error);
                if (!events)
                    return -1;
            } else {
                const ssize_t got = ::recv(m_fd, ptr, static_cast<size_t>(chunk), 0);
                if (got >= 0)
                    return got;
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    return -1;
            }
            if (!waitFor(events, readLimit(), true))
                return -1;
        }
    }

    bool buffered() const { return m_begin < m_end || (m_ssl && SSL_pending(m_ssl) > 0); }

    static short eventsFor(int sslError)
    {
        return sslError == SSL_ERROR_WANT_READ ? POLLIN : sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : 0;
    }

    Clock::time_point readLimit() const { return std::min(Clock::now() + m_readTimeout, m_deadline); }

    // False on time-out. `forClient`: the wait is the client's to end, so
    // the connection may be pushed out meanwhile.
    bool waitFor(short events, Clock::time_point until, bool forClient) const
    {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            const int timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
            if (forClient)
                m_server.setWaiting(m_id, true, false);
            pollfd descriptor{m_fd, events, 0};
            const int ready = ::poll(&descriptor, 1, timeout);
            if (forClient)
                m_server.setWaiting(m_id, false, false);
            if (ready > 0)
                return true; // also a hang-up or an error: the next read or write finds out
            if (ready == 0 || errno != EINTR)
                return false;
        }
    }

    GuardedServer& m_server;
    const uint64_t m_id;
    const int m_fd;
    const std::chrono::microseconds m_readTimeout;
    const std::chrono::microseconds m_writeTimeout;
    SSL* m_ssl = nullptr;
    Clock::time_point m_deadline;
    char m_buffer[4096];
    size_t m_begin = 0;
    size_t m_end = 0;
};

GuardedServer::GuardedServer(ConnectionLimits limits) : m_limits(limits)
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

GuardedServer::GuardedServer(const std::string& certFile, const std::string& keyFile, ConnectionLimits limits)
    : GuardedServer(limits)
{
    m_tlsRequested = true;
    m_tls = SSL_CTX_new(TLS_server_method());
    if (!m_tls)
        return;
    SSL_CTX_set_min_proto_version(m_tls, TLS1_2_VERSION);
    SSL_CTX_set_options(m_tls, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    // A write that waited for the socket is repeated from the same bytes,
    // which the library's buffer may have moved meanwhile.
    SSL_CTX_set_mode(m_tls, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(m_tls, certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_tls, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(m_tls) != 1) {
        SSL_CTX_free(m_tls);
        m_tls = nullptr;
    }
}

GuardedServer::~GuardedServer()
{
    for (const int fd : {m_listener, m_wake[0], m_wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (m_tls)
        SSL_CTX_free(m_tls);
}

bool GuardedServer::is_valid() const
{
    return m_wake[0] >= 0 && (!m_tlsRequested || m_tls);
}

int GuardedServer::bindSocket(const std::string& host, int port)
{
    if (m_listener >= 0 || !is_valid())
        return -1;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return -1;
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // SO_REUSEADDR rather than the library's SO_REUSEPORT: a second instance
    // on a busy port must fail instead of silently sharing the connections.
    int on = 1;
    const bool bound = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                       ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0;
    ::freeaddrinfo(found);
    if (!bound) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    std::string ip;
    int boundPort = -1;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        describe(address, ip, boundPort);
    m_listener = fd;
    return boundPort;
}

bool GuardedServer::bind_to_port(const std::string& host, int port)
{
    return bindSocket(host, port) > 0;
}

int GuardedServer::bind_to_any_port(const std::string& host)
{
    return bindSocket(host, 0);
}

bool GuardedServer::listen_after_bind()
{
    if (m_listener < 0)
        return false;
    m_running = true;
    bool accepting = true;
    {
        httplib::ThreadPool workers(m_limits.workers);
        while (!m_stopping) {
            pollfd descriptors[2] = {{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(descriptors, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                accepting = false;
                break;
            }
            if (descriptors[1].revents)
                break;
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            const int fd = ::accept4(m_listener, reinterpret_cast<sockaddr*>(&peer), &length,
                                     SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED &&
                         errno != EPROTO) {
                    accepting = false;
                    break;
                }
                continue;
            }
            std::string address;
            int port = 0;
            describe(peer, address, port);
            if (const uint64_t id = admit(fd, address))
                workers.enqueue([this, id, fd] { serve(id, fd); });
        }
        // Waits for the client end at once; handlers still write their answers.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto& entry : m_connections)
                ::shutdown(entry.second.fd, SHUT_RD);
        }
        workers.shutdown();
    }
    ::close(m_listener);
    m_listener = -1;
    m_running = false;
    return accepting;
}

void GuardedServer::stop()
{
    m_stopping = true;
    const char byte = 0;
    if (m_wake[1] >= 0 && ::write(m_wake[1], &byte, 1) < 0) {
        // Full pipe: a wake-up is pending already.
    }
}

uint64_t GuardedServer::admit(int fd, const std::string& address)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    size_t& count = m_perAddress[address];
    if (count >= m_limits.perAddress) {
        Connection* oldest = nullptr;
        for (auto& entry : m_connections) {
            Connection& candidate = entry.second;
            if (candidate.address == address && candidate.waiting && !candidate.evicted &&
                (!oldest || candidate.since < oldest->since))
                oldest = &candidate;
        }
        if (!oldest) {
            ::close(fd);
            return 0;
        }
        ::shutdown(oldest->fd, SHUT_RDWR);
        oldest->evicted = true;
        --count;
    }
    ++count;
    const uint64_t id = m_nextId++;
    m_connections.emplace(id, Connection{fd, address, now, true, false});
    return id;
}

void GuardedServer::setWaiting(uint64_t id, bool waiting, bool newPhase)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    it->second.waiting = waiting;
    if (newPhase)
        it->second.since = Clock::now();
}

void GuardedServer::forget(uint64_t id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    if (!it->second.evicted) {
        const auto count = m_perAddress.find(it->second.address);
        if (count != m_perAddress.end() && --count->second == 0)
            m_perAddress.erase(count);
    }
    m_connections.erase(it);
}

void GuardedServer::serve(uint64_t id, int fd)
{
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    bool gracefully = false;
    {
        ConnectionStream stream(*this, id, fd);
        if (!m_stopping && (!m_tls || stream.handshake(m_tls))) {
            const auto keepAlive = std::chrono::seconds(keep_alive_timeout_sec_);
            // The first request's deadline runs from the acceptance; later
            // ones' from their first byte, after an idle wait of their own.
            bool first = true;
            for (size_t left = std::max<size_t>(1, keep_alive_max_count_); left > 0 && !m_stopping; --left) {
                if (!first)
                    setWaiting(id, true, true);
                const Clock::time_point idleUntil = Clock::now() + keepAlive;
                if (!stream.waitForRequest(first ? std::min(idleUntil, stream.deadline()) : idleUntil))
                    break;
                if (!first) {
                    setWaiting(id, false, true);
                    stream.beginRequest();
                }
                first = false;
                bool closed = false;
                gracefully = process_request(stream, left == 1, closed,
                                             [&stream](httplib::Request& req) { req.ssl = stream.ssl(); });
                if (!gracefully || closed)
                    break;
            }
        }
        stream.closeTls(gracefully);
    }
    // Out of the table before the descriptor is closed, so that pushing out
    // never reaches a descriptor that the system has handed on.
    forget(id);
    ::close(fd);
}

} // namespace devservice
