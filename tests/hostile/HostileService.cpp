#include "HostileService.h"

#include "SignInTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <utility>

namespace hostile {
namespace {

constexpr size_t kHugeBytes = 50 * 1024 * 1024;
constexpr size_t kBlockBytes = 64 * 1024;
constexpr int kTenThousand = 10000;
constexpr const char* kAccountToken = "a1b2c3d4e5f6g7h8";

// A JSON string literal of raw bytes: quotes, backslashes and control
// characters escaped, everything else (invalid UTF-8 included) as it is.
std::string jsonText(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string meetingJson(long long id, const std::string& topic)
{
    return "{\"uuid\":\"u-" + std::to_string(id) + "\",\"id\":\"" + std::to_string(id) +
           "\",\"topic\":" + jsonText(topic) +
           ",\"start_time\":\"2024-03-07T01:30:00Z\",\"duration\":90,\"option_host_video\":true,"
           "\"option_participants_video\":true}";
}

// The well-formed answer of each route, carrying `text` as topic or name.
// The account query is read by plain text search, so its name goes in raw.
std::string answerBody(const std::string& path, Misbehaviour misbehaviour)
{
    const std::string text = hostileText(misbehaviour);
    if (path == "/v3/meeting/create")
        return meetingJson(85000000001, text);
    if (path == "/v3/meeting/update")
        return "{\"meeting_id\":\"85000000001\",\"topic\":" + jsonText(text) + "}";
    if (path == "/v3/meeting/delete")
        return "{\"meeting_id\":\"85000000001\",\"deleted_at\":\"2024-03-07T01:30:00Z\"}";
    if (path == "/v3/meeting/list") {
        const int count = misbehaviour == Misbehaviour::TenThousand ? kTenThousand : 3;
        std::string body = "{\"page_count\":\"1\",\"total_records\":\"" + std::to_string(count) +
                           "\",\"page_number\":\"1\",\"page_size\":\"50\",\"meetings\":[";
        for (int i = 0; i < count; ++i)
            body += (i ? "," : "") + meetingJson(85000000001 + i, text);
        return body + "]}";
    }
    if (path == "/v3/user/get" || path == "/v3/user/update")
        return "{\"code\":0,\"username\":" + jsonText(text) + ",\"token\":\"user-token-1\"}";
    return "{\"userName\":\"" + text + "\",\"email\":\"zhangsan@example.com\",\"password\":\"" +
           signin_test::encryptedPassword("Zs-Meet-2024", kAccountToken) +
           "\",\"zcode\":\"ZC10001\",\"token\":\"" + kAccountToken + "\"}";
}

std::string httpAnswer(const char* status, const char* type, const std::string& body,
                       const char* connection = "close")
{
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: " + connection +
           "\r\n\r\n" + body;
}

std::string randomBytes(size_t count)
{
    std::mt19937 generator(20240307);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// One TLS connection with blocking I/O that gives up when the service stops.
class Connection
{
public:
    Connection(SSL_CTX* context, int fd, const std::atomic<bool>& stopping)
        : m_ssl(SSL_new(context)), m_stopping(stopping)
    {
        if (m_ssl)
            SSL_set_fd(m_ssl, fd);
    }
    ~Connection()
    {
        if (m_ssl) {
            SSL_shutdown(m_ssl);
            SSL_free(m_ssl);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool accept()
    {
        return m_ssl && retry([this] { return SSL_accept(m_ssl); }) > 0;
    }
    // The request head, or empty when the client went away first.
    std::string readHead()
    {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            const int read = retry([&] { return SSL_read(m_ssl, buffer, sizeof buffer); });
            if (read <= 0)
                return std::string();
            head.append(buffer, static_cast<size_t>(read));
        }
        return head;
    }
    // Whether more of the client's bytes arrive within `length`.
    bool awaitBytes(std::chrono::milliseconds length)
    {
        if (SSL_pending(m_ssl) > 0)
            return true;
        pollfd waiting{SSL_get_fd(m_ssl), POLLIN, 0};
        return ::poll(&waiting, 1, static_cast<int>(length.count())) > 0;
    }
    // Waits until the client closes the connection (or the service stops).
    void awaitClose()
    {
        char buffer[256];
        while (retry([&] { return SSL_read(m_ssl, buffer, sizeof buffer); }) > 0) {
        }
    }
    bool write(const std::string& bytes)
    {
        size_t written = 0;
        while (written < bytes.size()) {
            const int chunk = static_cast<int>(std::min(bytes.size() - written, kBlockBytes));
            const int sent = retry([&] { return SSL_write(m_ssl, bytes.data() + written, chunk); });
            if (sent <= 0)
                return false;
            written += static_cast<size_t>(sent);
        }
        return true;
    }
    // Sleeps in small steps; false when the service stops meanwhile.
    bool pause(std::chrono::milliseconds length)
    {
        for (auto slept = std::chrono::milliseconds(0); slept < length;
             slept += std::chrono::milliseconds(50)) {
            if (m_stopping)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

private:
    // Runs an SSL call again while the socket's time-out only says "not yet".
    template <typename Call> int retry(Call call)
    {
        for (;;) {
            const int result = call();
            if (result > 0)
                return result;
            const int error = SSL_get_error(m_ssl, result);
            if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || m_stopping)
                return result;
        }
    }

    SSL* m_ssl;
    const std::atomic<bool>& m_stopping;
};

SSL_CTX* contextOf(const CertificateFiles& files, std::string* error)
{
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, files.certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, files.key.c_str(), SSL_FILETYPE_PEM) != 1) {
        *error = "cannot load " + files.certificate + " and its key";
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

} // namespace

const char* nameOf(Misbehaviour misbehaviour)
{
    switch (misbehaviour) {
    case Misbehaviour::NoAnswer:
        return "no answer";
    case Misbehaviour::OneBytePerSecond:
        return "1 byte/s";
    case Misbehaviour::Html500:
        return "500 + HTML";
    case Misbehaviour::RandomBytes:
        return "random bytes";
    case Misbehaviour::RandomBody:
        return "random body";
    case Misbehaviour::ShortBody:
        return "short body";
    case Misbehaviour::HugeBody:
        return "50 MB body";
    case Misbehaviour::HugeChunked:
        return "50 MB chunked";
    case Misbehaviour::Markup:
        return "markup+controls";
    case Misbehaviour::TenThousand:
        return "10,000 meetings";
    case Misbehaviour::InvalidUtf8:
        return "invalid UTF-8";
    case Misbehaviour::OtherCa:
        return "other CA";
    case Misbehaviour::KeepsThenDrops:
        return "keeps, then drops";
    }
    return "?";
}

std::string hostileText(Misbehaviour misbehaviour)
{
    switch (misbehaviour) {
    case Misbehaviour::Markup:
        return "<h1 style='color:red'>系统通知</h1>\r\n[ I0101 00:00:00.000000     1 "
               "forged.cpp:1]forged\x01\x1b[2J\x7f";
    case Misbehaviour::InvalidUtf8:
        return "周会\xff\xfe\xc0\xaf\xed\xa0\x80\xe4\xbd";
    default:
        return "周会";
    }
}

HostileService::HostileService(int port, CertificateFiles trusted, CertificateFiles foreign)
    : m_port(port), m_trusted(std::move(trusted)), m_foreign(std::move(foreign))
{
}

HostileService::~HostileService()
{
    stop();
}

bool HostileService::start(std::string* error)
{
    m_trustedContext = contextOf(m_trusted, error);
    m_foreignContext = m_trustedContext ? contextOf(m_foreign, error) : nullptr;
    if (!m_foreignContext)
        return false;

    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(m_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 64) != 0) {
        *error = "cannot listen on 127.0.0.1:" + std::to_string(m_port);
        return false;
    }
    m_acceptor = std::thread([this] { acceptLoop(); });
    return true;
}

void HostileService::stop()
{
    m_stopping = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const int fd : m_sockets)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& connection : m_connections)
        connection.join();
    m_connections.clear();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
    SSL_CTX_free(m_trustedContext);
    SSL_CTX_free(m_foreignContext);
    m_trustedContext = m_foreignContext = nullptr;
}

void HostileService::acceptLoop()
{
    while (!m_stopping) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0)
            continue;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Blocking calls wake up now and then to see whether the service stops.
        timeval tick{0, 200 * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tick, sizeof tick);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sockets.push_back(fd);
        m_connections.emplace_back([this, fd] {
            serve(fd);
            ++m_connectionsDone;
        });
    }
}

void HostileService::serve(int fd)
{
    const Misbehaviour misbehaviour = m_misbehaviour;
    {
        Connection connection(misbehaviour == Misbehaviour::OtherCa ? m_foreignContext : m_trustedContext, fd,
                              m_stopping);
        const std::string head = connection.accept() ? connection.readHead() : std::string();
        const size_t pathStart = head.find(' ');
        const size_t pathEnd = head.find_first_of("? ", pathStart + 1);
        if (!head.empty())
            ++m_requestsRead;
        if (!head.empty() && pathStart != std::string::npos && pathEnd != std::string::npos) {
            const std::string path = head.substr(pathStart + 1, pathEnd - pathStart - 1);
            const std::string body = answerBody(path, misbehaviour);
            const std::string ok = httpAnswer("200 OK", "application/json", body);
            switch (misbehaviour) {
            case Misbehaviour::NoAnswer:
                connection.awaitClose();
                break;
            case Misbehaviour::OneBytePerSecond:
                for (size_t i = 0; i < ok.size() && connection.write(ok.substr(i, 1)); ++i) {
                    if (!connection.pause(std::chrono::seconds(1)))
                        break;
                }
                break;
            case Misbehaviour::Html500:
                connection.write(
                    httpAnswer("500 Internal Server Error", "text/html",
                               "<html><head><title>500</title></head><body><h1 id=\"e\">Internal "
                               "Server Error</h1><p>nginx</p></body></html>"));
                break;
            case Misbehaviour::RandomBytes:
                connection.write(randomBytes(4096));
                break;
            case Misbehaviour::RandomBody:
                connection.write(httpAnswer("200 OK", "application/json", randomBytes(4096)));
                break;
            case Misbehaviour::ShortBody:
                connection.write(
                    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n" +
                    body);
                break;
            case Misbehaviour::HugeBody: {
                const std::string block(kBlockBytes, 'x');
                bool going =
                    connection.write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                     std::to_string(kHugeBytes) + "\r\n\r\n");
                for (size_t sent = 0; going && sent < kHugeBytes; sent += block.size())
                    going = connection.write(block);
                break;
            }
            case Misbehaviour::HugeChunked: {
                char size[16];
                std::snprintf(size, sizeof size, "%zx\r\n", kBlockBytes);
                const std::string chunk = size + std::string(kBlockBytes, 'x') + "\r\n";
                bool going = connection.write("HTTP/1.1 200 OK\r\nContent-Type: "
                                              "application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
                for (size_t sent = 0; going && sent < kHugeBytes; sent += kBlockBytes)
                    going = connection.write(chunk);
                if (going)
                    connection.write("0\r\n\r\n");
                break;
            }
            case Misbehaviour::Markup:
            case Misbehaviour::TenThousand:
            case Misbehaviour::InvalidUtf8:
            case Misbehaviour::OtherCa:
                connection.write(ok);
                break;
            case Misbehaviour::KeepsThenDrops:
                connection.write(httpAnswer("200 OK", "application/json", body, "keep-alive"));
                if (connection.awaitBytes(std::chrono::seconds(1)) && !connection.readHead().empty())
                    ++m_requestsRead;
                break;
            }
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_sockets.begin(); it != m_sockets.end(); ++it) {
        if (*it == fd) {
            m_sockets.erase(it);
            break;
        }
    }
    ::close(fd);
}

} // namespace hostile
