// The service's server settings on a plain-HTTP server of the test's own, with
// small limits: a handler's exception becomes a bare 500 whose details go to
// the log only, and slow clients neither stall the others nor hold on for
// long.

#include "ServerSetup.h"
#include "GuardedServer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace devservice {
namespace {

// Fewer workers than slow clients, so that a slow client holding a worker
// for good shows.
const ConnectionLimits kLimits{4, 3, std::chrono::seconds(3)};

class ServerSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        configureServer(m_server, [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_logMutex);
            m_log += line + "\n";
        });
        m_server.Get("/ping", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("pong", "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_listener = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    void TearDown() override
    {
        m_server.stop();
        m_listener.join();
    }

    std::string log()
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        return m_log;
    }

    // A TCP connection to the server, or -1.
    int connectRaw() const
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(m_port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

    GuardedServer m_server{kLimits};
    int m_port = 0;
    std::thread m_listener;
    std::mutex m_logMutex;
    std::string m_log;
};

TEST_F(ServerSetup, AnExceptionIsABare500WithItsDetailsInTheLogOnly)
{
    m_server.Get("/throws", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("X-Half-Done", "half-done state");
        throw std::runtime_error("database: step: disk I/O error\nsecret detail");
    });
    m_server.Get("/throws-anything", [](const httplib::Request&, httplib::Response&) { throw 42; });

    httplib::Client client("127.0.0.1", m_port);
    for (const char* path : {"/throws", "/throws-anything"}) {
        SCOPED_TRACE(path);
        const httplib::Result result = client.Get(path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 500);
        EXPECT_EQ(result->body, "{\"error\":\"internal\"}");
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
        for (const auto& [name, value] : result->headers) {
            EXPECT_EQ(value.find("disk I/O"), std::string::npos) << name;
            EXPECT_EQ(value.find("half-done"), std::string::npos) << name;
            EXPECT_EQ(value.find("UNKNOWN"), std::string::npos) << name;
        }
    }
    const std::string text = log();
    EXPECT_NE(text.find("exception in GET /throws: database: step: disk I/O error?secret detail\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("exception in GET /throws-anything: unknown exception\n"), std::string::npos) << text;
}

TEST_F(ServerSetup, SlowClientsNeitherStallTheServiceNorHoldOnForLong)
{
    // More clients than workers, each sending a header byte every second
    // (under the read time-out, so no single read times out), for as long
    // as the test wants.
    std::vector<int> slow;
    for (size_t i = 0; i < kLimits.workers + 2; ++i) {
        slow.push_back(connectRaw());
        ASSERT_GE(slow.back(), 0);
    }
    std::atomic<bool> dribbling{true};
    std::thread dribbler([&] {
        const std::string header = "GET /ping HTTP/1.1\r\nHost: x\r\nX-Slow: ";
        for (size_t i = 0; dribbling; ++i) {
            for (const int fd : slow)
                send(fd, &header[std::min(i, header.size() - 1)], 1, MSG_NOSIGNAL);
            for (int tick = 0; tick < 10 && dribbling; ++tick)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    // Others, from the same address, are still served meanwhile, well within
    // the client's time-out.
    httplib::Client client("127.0.0.1", m_port);
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    for (int i = 0; i < 3; ++i) {
        const httplib::Result result = client.Get("/ping");
        ASSERT_TRUE(result) << httplib::to_string(result.error());
        EXPECT_EQ(result->body, "pong");
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }

    // One that pauses longer than the read time-out is let go.
    const int paused = connectRaw();
    ASSERT_GE(paused, 0);
    send(paused, "G", 1, MSG_NOSIGNAL);
    timeval wait{kReadTimeoutSeconds + 2, 0};
    setsockopt(paused, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char byte = 0;
    EXPECT_EQ(recv(paused, &byte, 1, 0), 0) << "the server closes the connection";
    close(paused);

    dribbling = false;
    dribbler.join();
    for (const int fd : slow)
        close(fd);
}

TEST_F(ServerSetup, ARequestThatTricklesInIsCutAtItsDeadline)
{
    std::vector<int> slow;
    for (size_t i = 0; i < kLimits.perAddress; ++i) {
        slow.push_back(connectRaw());
        ASSERT_GE(slow.back(), 0);
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string header = "GET /ping HTTP/1.1\r\nHost: x\r\nX-Slow: ";
    std::vector<bool> open(slow.size(), true);
    // A byte a second, for twice the deadline unless the server lets go.
    for (size_t i = 0;
         i < header.size() && std::chrono::steady_clock::now() - start < 2 * kLimits.requestDeadline; ++i) {
        for (size_t c = 0; c < slow.size(); ++c) {
            char answer[256];
            if (open[c] && recv(slow[c], answer, sizeof answer, MSG_DONTWAIT) == 0)
                open[c] = false;
            if (open[c])
                send(slow[c], &header[i], 1, MSG_NOSIGNAL);
        }
        if (std::count(open.begin(), open.end(), true) == 0)
            break;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(std::count(open.begin(), open.end(), true), 0) << "a trickle held its worker past the deadline";
    EXPECT_GE(took, kLimits.requestDeadline - std::chrono::milliseconds(100)) << "cut before its deadline";
    for (const int fd : slow)
        close(fd);
}

} // namespace
} // namespace devservice
