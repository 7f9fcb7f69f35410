#pragma once
// A service that answers every route with one chosen misbehaviour, over TLS on
// a loopback port: silence, a trickle, wrong status and content types,
// garbage, truncated and huge bodies, hostile texts, and a certificate of
// another CA. Each connection is served on a thread of its own.

#include <openssl/ssl.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hostile {

enum class Misbehaviour
{
    NoAnswer,         // reads the request, never writes
    OneBytePerSecond, // a valid answer, one byte a second
    Html500,          // 500 with an HTML page
    RandomBytes,      // random bytes instead of an HTTP answer
    RandomBody,       // 200 whose body is random bytes
    ShortBody,        // Content-Length larger than the body, then close
    HugeBody,         // 200 announcing and sending 50 MB
    HugeChunked,      // 200 sending 50 MB in chunks, no length announced
    Markup,           // markup, line breaks and terminal controls in topics and names
    TenThousand,      // a meeting list of 10,000 meetings
    InvalidUtf8,      // invalid UTF-8 in topics and names
    OtherCa,          // a valid answer behind a certificate of another CA
    // Answers the first request of a connection and keeps the connection;
    // a request that follows within a second is read and left unanswered,
    // the connection closed; after an idle second it is closed too.
    KeepsThenDrops,
};

const char* nameOf(Misbehaviour misbehaviour);

// The topic or name that the text modes put into every answer, as the
// client reads it back (JSON escapes undone).
std::string hostileText(Misbehaviour misbehaviour);

struct CertificateFiles
{
    std::string certificate;
    std::string key;
};

class HostileService
{
public:
    HostileService(int port, CertificateFiles trusted, CertificateFiles foreign);
    ~HostileService();
    HostileService(const HostileService&) = delete;
    HostileService& operator=(const HostileService&) = delete;

    bool start(std::string* error);
    void stop();

    void setMisbehaviour(Misbehaviour misbehaviour) { m_misbehaviour = misbehaviour; }
    // Connections served to the end (the answer written or given up).
    int connectionsDone() const { return m_connectionsDone; }
    // Requests whose head was read, answered or not.
    int requestsRead() const { return m_requestsRead; }

private:
    void acceptLoop();
    void serve(int fd);

    int m_port;
    CertificateFiles m_trusted;
    CertificateFiles m_foreign;
    SSL_CTX* m_trustedContext = nullptr;
    SSL_CTX* m_foreignContext = nullptr;
    int m_listener = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<Misbehaviour> m_misbehaviour{Misbehaviour::Html500};
    std::atomic<int> m_connectionsDone{0};
    std::atomic<int> m_requestsRead{0};
    std::thread m_acceptor;
    std::mutex m_mutex; // guards m_connections and m_sockets
    std::vector<std::thread> m_connections;
    std::vector<int> m_sockets;
};

} // namespace hostile
