#pragma once
// The service's HTTP(S) server: cpp-httplib's routing and request parsing,
// with the accepting, the TLS and the reading of connections done here,
// because the library's own listener bounds each read but not a request:
// a client that sends one header line every second keeps a worker for as
// long as it likes, and a few dozen such clients hold every worker.
//
// Here every request must arrive whole (headers and body) within
// requestDeadline of its first byte (for the first request, of the moment a
// worker takes the connection up, so the TLS handshake counts too; the read
// time-out still bounds each pause within it). Each client address
// may hold perAddress connections: one more from that address pushes out
// the address's connection whose request (or idle wait) began first among
// those waiting for their client, or is refused when all of them are in
// handlers. So a trickle from one address holds at most perAddress of the
// workers, and a new request from the same address still gets through.
//
// It takes the place of httplib::SSLServer (or httplib::Server without
// certificates): the listening functions below replace the base class's,
// which must not be used. As with the library's server, a process that
// serves TLS ignores SIGPIPE, since OpenSSL writes to a socket the client
// may have closed.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace devservice {

// More workers than one address may hold, so that a trickle from one
// address leaves workers for everyone else.
struct ConnectionLimits
{
    size_t workers = 128;
    size_t perAddress = 64;
    std::chrono::milliseconds requestDeadline{10000};
};

class GuardedServer : public httplib::Server
{
public:
    using Clock = std::chrono::steady_clock;

    // Plain HTTP.
    explicit GuardedServer(ConnectionLimits limits = {});
    // HTTPS with the certificate chain and key in these PEM files.
    GuardedServer(const std::string& certFile, const std::string& keyFile, ConnectionLimits limits = {});
    ~GuardedServer() override;
    GuardedServer(const GuardedServer&) = delete;
    GuardedServer& operator=(const GuardedServer&) = delete;

    bool is_valid() const override;

    bool bind_to_port(const std::string& host, int port);
    // The port bound, or -1.
    int bind_to_any_port(const std::string& host);
    // Serves until stop(); false when accepting failed for good.
    bool listen_after_bind();
    bool is_running() const { return m_running; }
    // Stops accepting, lets requests in handlers finish and ends the rest.
    // Safe from any thread, also before listen_after_bind() has started.
    void stop();

    bool listen(const std::string&, int, int = 0) = delete;

private:
    class ConnectionStream;
    struct Connection
    {
        int fd;
        std::string address;
        Clock::time_point since; // start of the present request, or of the wait for the next
        bool waiting;            // for its client, not in a handler
        bool evicted;            // pushed out; no longer counted for its address
    };

    int bindSocket(const std::string& host, int port);
    // Registers an accepted connection; 0 when its address has no room.
    uint64_t admit(int fd, const std::string& address);
    void serve(uint64_t id, int fd);
    void forget(uint64_t id);
    void setWaiting(uint64_t id, bool waiting, bool newPhase);

    const ConnectionLimits m_limits;
    SSL_CTX* m_tls = nullptr;
    bool m_tlsRequested = false;
    int m_listener = -1;
    int m_wake[2] = {-1, -1}; // a byte written to m_wake[1] ends the accepting loop
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopping{false};

    // Guards m_connections, m_perAddress and m_nextId: the accepting loop,
    // the workers and stop() all reach them.
    std::mutex m_mutex;
    std::unordered_map<uint64_t, Connection> m_connections;
    std::unordered_map<std::string, size_t> m_perAddress;
    uint64_t m_nextId = 1;
};

} // namespace devservice
