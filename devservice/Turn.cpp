#include "Turn.h"

#include "Random.h"
#include "Text.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <regex>
#include <thread>

namespace devservice {
namespace {

constexpr size_t kSecretBytes = 24;
// One participant's credentials open an allocation per peer connection
// (publisher, chat, a subscription per other publisher of a 16-publisher
// room, a share) and per local address it gathers on, and a few more while
// connections are made anew.
constexpr int kUserAllocations = 64;

// A UDP port on the address that nothing uses now; -1 when there is none.
int freeUdpPort(const in_addr& host)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr = host;
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// Whether a STUN Binding request to the address and port is answered
// within the time given.
bool answersStun(const in_addr& host, int port, std::chrono::milliseconds wait)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr = host;
    // Binding request, no attributes, the magic cookie, a random transaction.
    unsigned char request[20] = {0x00, 0x01, 0x00, 0x00, 0x21, 0x12, 0xa4, 0x42};
    RAND_bytes(request + 8, 12);
    bool answered = false;
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
        static_cast<ssize_t>(sizeof request)) {
        pollfd ready{fd, POLLIN, 0};
        unsigned char answer[512];
        if (::poll(&ready, 1, static_cast<int>(wait.count())) == 1) {
            const ssize_t n = ::recv(fd, answer, sizeof answer, 0);
            answered = n >= 20 && answer[0] == 0x01 && answer[1] == 0x01 &&
                       std::memcmp(answer + 8, request + 8, 12) == 0;
        }
    }
    ::close(fd);
    return answered;
}

// The IPv4 addresses of the named interfaces.
std::vector<std::string> interfaceAddresses(const std::vector<std::string>& names)
{
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (names.empty() || ::getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if (std::find(names.begin(), names.end(), entry->ifa_name) == names.end())
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
            addresses.push_back(text);
    }
    ::freeifaddrs(list);
    return addresses;
}

bool writePrivateFile(const std::string& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}

} // namespace

bool parseTurnServer(const std::string& text, TurnServer& turn)
{
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    const std::string url = text.substr(0, comma);
    const std::string secret = text.substr(comma + 1);
    static const std::regex pattern("turns?:[A-Za-z0-9.\\-\\[\\]:]+(\\?transport=(udp|tcp))?");
    if (!std::regex_match(url, pattern) || secret.empty() || hasControlCharacter(secret) ||
        !isValidUtf8(secret))
        return false;
    turn = {url, secret};
    return true;
}

std::string turnCredential(const std::string& secret, const std::string& username)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha1(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(username.data()), username.size(), digest, &length);
    std::string encoded(4 * ((length + 2) / 3), '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()), digest, static_cast<int>(length));
    encoded.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return encoded;
}

IceServer turnIceServer(const TurnServer& turn, uint64_t participant, long long expiry)
{
    const std::string username = std::to_string(expiry) + ":" + std::to_string(participant);
    return {turn.url, username, turnCredential(turn.secret, username)};
}

TurnProcess::TurnProcess(TurnSettings settings, Log log)
    : m_settings(std::move(settings)), m_log(std::move(log))
{
}

TurnProcess::~TurnProcess()
{
    stop();
}

pid_t TurnProcess::pid() const
{
    return m_child ? m_child->pid() : 0;
}

bool TurnProcess::writeConfiguration()
{
    const std::string& folder = m_settings.folder;
    static const std::regex plainPath("[^\"\\\\\\n\\s]+");
    if (!std::regex_match(folder, plainPath)) {
        m_log("turn: the data folder holds characters a configuration cannot carry");
        return false;
    }
    in_addr host{};
    if (::inet_pton(AF_INET, m_settings.address.c_str(), &host) != 1) {
        m_log("turn: " + m_settings.address + " is not an IPv4 address");
        return false;
    }
    m_port = freeUdpPort(host);
    const std::optional<std::string> secret = randomHex(kSecretBytes);
    if (m_port <= 0 || !secret) {
        m_log("turn: no free port on " + m_settings.address + " or no random source");
        return false;
    }
    if ((::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) || ::chmod(folder.c_str(), 0700) != 0) {
        m_log("turn: cannot prepare " + folder);
        return false;
    }
    m_server = {"turn:" + m_settings.address + ":" + std::to_string(m_port) + "?transport=udp", *secret};
    // One address (loopback unless asked), UDP only, no TLS, no CLI or web
    // admin; relays only to loopback and to the addresses Janus gathers on,
    // so that credentials open no way to anything else.
    std::string text = "# Written by devservice on every start; edits are lost.\n"
                       "listening-ip=" +
                       m_settings.address + "\nrelay-ip=" + m_settings.address +
                       "\n"
                       "listening-port=" +
                       std::to_string(m_port) +
                       "\n"
                       "min-port=" +
                       std::to_string(m_settings.relayMin) +
                       "\nmax-port=" + std::to_string(m_settings.relayMax) +
                       "\n"
                       "use-auth-secret\n"
                       "static-auth-secret=" +
                       *secret +
                       "\n"
                       "realm=talvora.devservice\n"
                       "fingerprint\n"
                       "no-tcp\nno-tls\nno-dtls\nno-tcp-relay\nno-cli\n"
                       "no-rfc5780\nno-stun-backward-compatibility\nresponse-origin-only-with-rfc5780\n"
                       "no-software-attribute\n"
                       "user-quota=" +
                       std::to_string(kUserAllocations) + "\ntotal-quota=" +
                       std::to_string(m_settings.relayMax - m_settings.relayMin + 1) +
                       "\nstale-nonce=600\n"
                       "no-multicast-peers\nallow-loopback-peers\n"
                       "denied-peer-ip=0.0.0.0-255.255.255.255\n"
                       "allowed-peer-ip=127.0.0.0-127.255.255.255\n";
    for (const std::string& address : interfaceAddresses(m_settings.peerInterfaces))
        text += "allowed-peer-ip=" + address + "\n";
    // verbose: each allocation and its end, by username (no credentials),
    // so that a relayed participant's path can be followed.
    text += "userdb=" + folder + "/turndb\npidfile=" + folder + "/turnserver.pid\n" +
            "log-file=stdout\nsimple-log\nverbose\n";
    ::unlink((folder + "/turnserver.log").c_str());
    if (!writePrivateFile(folder + "/turnserver.conf", text)) {
        m_log("turn: cannot write its configuration in " + folder);
        return false;
    }
    return true;
}

bool TurnProcess::start(std::chrono::milliseconds ready)
{
    if (!ChildProcess::installed(m_settings.binary)) {
        m_log("turn: " + m_settings.binary + " is not installed (Debian package coturn); no TURN");
        return false;
    }
    if (!writeConfiguration())
        return false;
    const std::string& folder = m_settings.folder;
    m_child = std::make_unique<ChildProcess>(
        "coturn", std::vector<std::string>{m_settings.binary, "-c", folder + "/turnserver.conf"},
        folder + "/turnserver.log", m_log);
    m_log("coturn: " + m_server.url);
    m_child->start();
    const auto deadline = std::chrono::steady_clock::now() + ready;
    while (std::chrono::steady_clock::now() < deadline) {
        in_addr host{};
        ::inet_pton(AF_INET, m_settings.address.c_str(), &host);
        if (pid() > 0 && answersStun(host, m_port, std::chrono::milliseconds(200)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    m_log("coturn did not answer within " + std::to_string(ready.count() / 1000) + " s (see " + folder +
          "/turnserver.log)");
    return false;
}

void TurnProcess::stop()
{
    if (m_child)
        m_child->stop();
}

} // namespace devservice
