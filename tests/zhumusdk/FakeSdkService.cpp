#include "FakeSdkService.h"

#include "DevCerts.h"

namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

const devservice::DevCerts& certs()
{
    static const devservice::DevCerts files = devservice::ensureDevCerts(TALVORA_DEV_CERT_DIR);
    return files;
}

} // namespace

FakeSdkService::FakeSdkService()
    : m_server(certs().serverCert.c_str(), certs().serverKey.c_str()), m_body(admission(true))
{
    m_server.Post("/sdk/v1/login", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.set_content(std::string("{\"session\":\"") + kSession + "\"}", "application/json");
    });
    const auto meeting = [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        std::string number = request.get_param_value("number");
        if (number.empty() || number == "0")
            number = "85000000001";
        std::lock_guard<std::mutex> lock(m_mutex);
        response.status = m_status;
        response.set_content(
            replaced(replaced(m_body, "{number}", number), "{name}", request.get_param_value("display_name")),
            "application/json");
    };
    m_server.Post("/sdk/v1/meetings/start", meeting);
    m_server.Post("/sdk/v1/meetings/join", meeting);
    const auto recordOnly = [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.set_content("{}", "application/json");
    };
    m_server.Post("/sdk/v1/meetings/leave", recordOnly);
    m_server.Post("/sdk/v1/meetings/end", recordOnly);
    const auto moderation = [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        std::lock_guard<std::mutex> lock(m_mutex);
        response.status = m_moderationStatus;
        response.set_content("{}", "application/json");
    };
    m_server.Post("/sdk/v1/meetings/mute", moderation);
    m_server.Post("/sdk/v1/meetings/kick", moderation);
}

FakeSdkService::~FakeSdkService()
{
    m_server.stop();
    if (m_thread.joinable())
        m_thread.join();
}

bool FakeSdkService::start()
{
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return false;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    return true;
}

void FakeSdkService::answerModeration(int status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_moderationStatus = status;
}

void FakeSdkService::answerMeetings(int status, const std::string& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status = status;
    m_body = body;
}

std::string FakeSdkService::admission(bool host, const std::string& displayName)
{
    return "{\"number\":\"{number}\",\"media\":{\"server\":\"ws://127.0.0.1:1/janus\",\"room\":1234,"
           "\"pin\":\"p1n\",\"token\":\"t0ken\",\"ice_servers\":[],\"display_name\":\"" +
           displayName + "\",\"host\":" + (host ? "true" : "false") + "}}";
}

std::vector<FakeSdkService::Request> FakeSdkService::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<FakeSdkService::Request> FakeSdkService::requestsTo(const std::string& path) const
{
    std::vector<Request> matching;
    for (const Request& request : requests()) {
        if (request.path == path)
            matching.push_back(request);
    }
    return matching;
}

void FakeSdkService::record(const httplib::Request& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back({request.path, request.get_param_value("number"),
                          request.get_param_value("display_name"), request.get_header_value("Authorization"),
                          request.get_param_value("participant")});
}
