// The HTTPS client's own safeguards, without a service: a libcurl that
// refuses an option fails the request before anything is sent, and neither
// a form's values nor an answer's body leave a copy behind once gone.

#include "HttpsClient.h"
#include "HttpsClientTesting.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// The option that the libcurl below pretends not to know, as one older
// than the version that brought it; none when 0.
std::atomic<int> g_unknownOption{0};

} // namespace

// Stands in front of libcurl's own curl_easy_setopt for this program.
extern "C" CURLcode(curl_easy_setopt)(CURL* handle, CURLoption option, ...)
{
    using Real = CURLcode (*)(CURL*, CURLoption, ...);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "curl_easy_setopt"));
    va_list arguments;
    va_start(arguments, option);
    CURLcode result = CURLE_UNKNOWN_OPTION;
    if (option != g_unknownOption) {
        // One argument, of the type the option's number range says.
        if (option < CURLOPTTYPE_OBJECTPOINT)
            result = real(handle, option, va_arg(arguments, long));
        else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB)
            result = real(handle, option, va_arg(arguments, curl_off_t));
        else
            result = real(handle, option, va_arg(arguments, void*));
    }
    va_end(arguments);
    return result;
}

namespace {

// A loopback port that accepts connections and never answers.
class SilentListener
{
public:
    SilentListener()
    {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(m_socket, 8) == 0 &&
            getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~SilentListener() { close(m_socket); }

    int port() const { return m_port; }
    bool wasConnected() const
    {
        const int accepted = accept(m_socket, nullptr, nullptr);
        if (accepted >= 0)
            close(accepted);
        return accepted >= 0;
    }

private:
    int m_socket = -1;
    int m_port = 0;
};

class RefusedOption : public ::testing::TestWithParam<CURLoption>
{
protected:
    void TearDown() override
    {
        g_unknownOption = 0;
        talvora::https::testing::setTimeouts(0, 0);
    }
};

TEST_P(RefusedOption, FailsTheRequestBeforeAnythingIsSent)
{
    SilentListener listener;
    ASSERT_NE(listener.port(), 0);
    talvora::https::testing::setTimeouts(1500, 1500);
    g_unknownOption = GetParam();
    const talvora::https::Answer answer = talvora::https::post(
        {"https://127.0.0.1:" + std::to_string(listener.port()) + "/oauth/token", {}, "account=demo"});
    EXPECT_FALSE(answer.completed);
    EXPECT_EQ(answer.transportError, CURLE_UNKNOWN_OPTION);
    EXPECT_FALSE(listener.wasConnected());
}

// The guard against a second send (7.80), the protocol limit (7.85), the
// trust of the bundle alone, and the lane's tracking of its connections.
INSTANTIATE_TEST_SUITE_P(Options, RefusedOption,
                         ::testing::Values(CURLOPT_PREREQFUNCTION, CURLOPT_PROTOCOLS_STR, CURLOPT_CAPATH,
                                           CURLOPT_CLOSESOCKETFUNCTION, CURLOPT_MAXFILESIZE_LARGE));

// How often `masked` (each byte XOR kMask, so that the test itself holds no
// plain copy) stands in the process's writable memory. Read through
// /proc/self/mem: freed blocks (poisoned under AddressSanitizer) count too.
constexpr unsigned char kMask = 0x5A;

std::size_t copiesInMemory(const std::string& masked)
{
    constexpr std::size_t kChunk = 1 << 20;
    // Larger ones are reservations (AddressSanitizer's shadow) that hold no
    // data of the program's.
    constexpr unsigned long kLargestMapping = 1ul << 30;
    // A mapping of its own, wiped after each chunk: when the scan reaches
    // it, it holds nothing of what it read elsewhere.
    auto* buffer = static_cast<unsigned char*>(
        mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    const int memory = open("/proc/self/mem", O_RDONLY);
    const unsigned char first = static_cast<unsigned char>(masked[0]) ^ kMask;
    std::ifstream maps("/proc/self/maps");
    std::size_t copies = 0;
    for (std::string line; std::getline(maps, line);) {
        unsigned long from = 0;
        unsigned long to = 0;
        char permissions[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, permissions) != 3 || permissions[0] != 'r' ||
            permissions[1] != 'w' || line.find("[vvar]") != std::string::npos || to - from > kLargestMapping)
            continue;
        for (unsigned long at = from; at < to; at += kChunk - masked.size()) {
            const std::size_t length = std::min<unsigned long>(kChunk, to - at);
            const ssize_t got = pread(memory, buffer, length, static_cast<off_t>(at));
            const unsigned char* end = buffer + (got > 0 ? got : 0);
            for (const unsigned char* at = buffer; end - at >= static_cast<ssize_t>(masked.size()); ++at) {
                at = static_cast<const unsigned char*>(std::memchr(at, first, end - at));
                if (at == nullptr || end - at < static_cast<ssize_t>(masked.size()))
                    break;
                std::size_t matched = 1;
                while (matched < masked.size() &&
                       (at[matched] ^ kMask) == static_cast<unsigned char>(masked[matched]))
                    ++matched;
                copies += matched == masked.size() ? 1 : 0;
            }
            std::memset(buffer, 0, kChunk);
            if (length < kChunk)
                break;
        }
    }
    close(memory);
    munmap(buffer, kChunk);
    return copies;
}

std::string masked(const char* text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ kMask);
    return out;
}

TEST(FormSecrets, ValuesLeaveNoCopyOnceTheRequestsAreGone)
{
    // As typed, and as the form carries it.
    const std::string typed = masked("Zs-Meet/2024 密码+Geheim!");
    const std::string escaped = masked("Zs-Meet%2F2024%20%E5%AF%86%E7%A0%81%2BGeheim%21");
    {
        std::string password;
        password.reserve(64);
        for (const char c : typed)
            password += static_cast<char>(static_cast<unsigned char>(c) ^ kMask);
        talvora::https::Request request;
        request.body = talvora::https::formEncode({{"account", "zhangsan"}, {"password", password}});
        // The same secret as a header, where a session stands.
        request.headers.push_back("Authorization: Bearer " + password);
        OPENSSL_cleanse(password.data(), password.capacity());
        EXPECT_EQ(copiesInMemory(escaped), 1u);
        // As a queued job holds it.
        const talvora::https::Request queued = request;
        EXPECT_EQ(copiesInMemory(escaped), 2u);
        EXPECT_EQ(copiesInMemory(typed), 2u);
        // libcurl's list of the headers, made and freed by a request that
        // fails before it connects.
        g_unknownOption = CURLOPT_PREREQFUNCTION;
        request.url = "https://127.0.0.1:9/";
        EXPECT_FALSE(talvora::https::post(request).completed);
        g_unknownOption = 0;
    }
    EXPECT_EQ(copiesInMemory(typed), 0u);
    EXPECT_EQ(copiesInMemory(escaped), 0u);
}

TEST(AnswerSecrets, BodiesLeaveNoCopyOnceTheAnswersAreGone)
{
    const std::string session = masked("{\"session\":\"9f8e7d6c5b4a39281706f5e4d3c2b1a0\"}");
    {
        talvora::https::Answer answer;
        answer.body.reserve(64);
        for (const char c : session)
            answer.body += static_cast<char>(static_cast<unsigned char>(c) ^ kMask);
        talvora::https::Answer copy = answer;
        const talvora::https::Answer moved = std::move(answer);
        EXPECT_EQ(copiesInMemory(session), 2u);
    }
    EXPECT_EQ(copiesInMemory(session), 0u);
}

} // namespace
