#pragma once
// The SDK endpoints that meetings need, served over TLS on a loopback port
// of the system's choosing, with answers the test picks: a login that always
// succeeds, start and join answered with a chosen status and body, the
// leave and end requests recorded for the test to read, and the host's
// mute and kick recorded and answered with a chosen status.

#include <httplib.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeSdkService
{
public:
    struct Request
    {
        std::string path;
        std::string number;
        std::string displayName;
        std::string authorization;
        std::string participant;
    };

    static constexpr const char* kSession = "f4kesess10n";

    FakeSdkService();
    ~FakeSdkService();

    bool start();
    // host:port, for the SDK's initialisation record.
    std::string webDomain() const { return "127.0.0.1:" + std::to_string(m_port); }

    // Start and join answer this from now on; "{number}" in the body becomes
    // the number asked for, or 85000000001 for a new instant meeting, and
    // "{name}" the display name sent with a join.
    void answerMeetings(int status, const std::string& body);
    // Mute and kick answer this status from now on (200 at first).
    void answerModeration(int status);
    // A well-formed admission answer.
    static std::string admission(bool host, const std::string& displayName = "{name}");

    std::vector<Request> requests() const;
    // The requests to `path` so far.
    std::vector<Request> requestsTo(const std::string& path) const;

private:
    void record(const httplib::Request& request);

    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex; // guards everything below
    int m_status = 200;
    int m_moderationStatus = 200;
    std::string m_body;
    std::vector<Request> m_requests;
};
