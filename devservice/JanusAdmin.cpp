#include "JanusAdmin.h"

#include "Random.h"
#include "Text.h"

#include <cjson/cJSON.h>
#include <httplib.h>

#include <memory>
#include <regex>
#include <vector>

namespace devservice {
namespace {

constexpr int kConnectTimeoutSeconds = 2;
constexpr int kAnswerTimeoutSeconds = 5;
constexpr const char* kVideoRoom = "janus.plugin.videoroom";
// Janus's own error codes that mean "already so".
constexpr int kTokenNotFound = 470;
constexpr int kNoSuchRoom = 426;
constexpr int kRoomExists = 427;

using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

Json parse(const std::string& text)
{
    return Json(cJSON_ParseWithLength(text.data(), text.size()), cJSON_Delete);
}

std::string stringField(const cJSON* object, const char* name)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, name);
    return cJSON_IsString(item) && item->valuestring ? item->valuestring : "";
}

int intField(const cJSON* object, const char* name, int fallback = 0)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, name);
    return cJSON_IsNumber(item) ? item->valueint : fallback;
}

// "success" at the top, or an error with the given code.
bool succeededOr(const std::string& answer, int acceptedError)
{
    const Json root = parse(answer);
    if (!root)
        return false;
    const std::string kind = stringField(root.get(), "janus");
    if (kind == "success")
        return true;
    const cJSON* error = cJSON_GetObjectItemCaseSensitive(root.get(), "error");
    return kind == "error" && acceptedError != 0 && intField(error, "code") == acceptedError;
}

} // namespace

bool parseJanusEndpoint(const std::string& text, JanusEndpoint& endpoint)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() != 4)
        return false;
    for (const std::string& part : parts) {
        if (part.empty() || hasControlCharacter(part) || !isValidUtf8(part))
            return false;
    }
    static const std::regex client("wss?://[^/\\s]+(/.*)?");
    static const std::regex admin("https?://[^/\\s]+/.*");
    if (!std::regex_match(parts[0], client) || !std::regex_match(parts[1], admin))
        return false;
    endpoint = {parts[0], parts[1], parts[2], parts[3]};
    return true;
}

JanusAdmin::JanusAdmin(JanusEndpoint endpoint) : m_endpoint(std::move(endpoint))
{
    // An endpoint that is not a URL (a Janus that could not be set up)
    // leaves the client out, and every call then fails.
    const std::string& url = m_endpoint.adminUrl;
    const size_t scheme = url.find("://");
    const size_t pathStart = scheme == std::string::npos ? std::string::npos : url.find('/', scheme + 3);
    if (pathStart == std::string::npos)
        return;
    m_path = url.substr(pathStart);
    m_client = std::make_unique<httplib::Client>(url.substr(0, pathStart));
    m_client->set_connection_timeout(kConnectTimeoutSeconds, 0);
    m_client->set_read_timeout(kAnswerTimeoutSeconds, 0);
    m_client->set_write_timeout(kAnswerTimeoutSeconds, 0);
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    m_client->enable_server_certificate_verification(true);
#endif
}

JanusAdmin::~JanusAdmin() = default;

std::string JanusAdmin::call(const std::string& kind, const std::string& fields, bool withSecret)
{
    std::string body =
        "{\"janus\":" + jsonString(kind) + ",\"transaction\":\"" + randomHex(8).value_or("devservice") + "\"";
    if (withSecret)
        body += ",\"admin_secret\":" + jsonString(m_endpoint.adminSecret);
    if (!fields.empty())
        body += "," + fields;
    body += "}";
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_client)
        return {};
    const httplib::Result result = m_client->Post(m_path, body, "application/json");
    if (!result || result->status != 200)
        return {};
    return result->body;
}

std::string JanusAdmin::videoRoom(const std::string& request)
{
    return call("message_plugin",
                "\"plugin\":\"" + std::string(kVideoRoom) + "\",\"request\":{" + request + "}");
}

bool JanusAdmin::ping()
{
    const Json root = parse(call("ping", {}));
    return root && stringField(root.get(), "janus") == "pong";
}

bool JanusAdmin::addToken(const std::string& token)
{
    return succeededOr(
        call("add_token", "\"token\":" + jsonString(token) + ",\"plugins\":[\"" + kVideoRoom + "\"]"), 0);
}

bool JanusAdmin::removeToken(const std::string& token)
{
    return succeededOr(call("remove_token", "\"token\":" + jsonString(token)), kTokenNotFound);
}

namespace {

// The VideoRoom's answer inside a message_plugin success: its "videoroom"
// kind and error code (0 for none); kind empty when there is no such answer.
std::pair<std::string, int> pluginAnswer(const std::string& answer, Json& root)
{
    root = parse(answer);
    if (!root || stringField(root.get(), "janus") != "success")
        return {};
    const cJSON* response = cJSON_GetObjectItemCaseSensitive(root.get(), "response");
    return {stringField(response, "videoroom"), intField(response, "error_code")};
}

} // namespace

RoomAnswer JanusAdmin::roomExists(uint64_t room)
{
    Json root(nullptr, cJSON_Delete);
    const auto [kind, error] =
        pluginAnswer(videoRoom("\"request\":\"exists\",\"room\":" + std::to_string(room)), root);
    if (kind != "success" || error != 0)
        return RoomAnswer::Unreachable;
    const cJSON* exists =
        cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(root.get(), "response"), "exists");
    if (!cJSON_IsBool(exists))
        return RoomAnswer::Unreachable;
    return cJSON_IsTrue(exists) ? RoomAnswer::Done : RoomAnswer::Absent;
}

RoomAnswer JanusAdmin::createRoom(const RoomSpec& spec)
{
    // Private so that "list" never shows it; the pin keeps out whoever
    // guesses the id; the secret guards edit and destroy; recording and
    // forwarding stay with the service (lock_record here, lock_rtp_forward
    // in the plugin's configuration).
    const std::string request =
        "\"request\":\"create\",\"room\":" + std::to_string(spec.room) +
        ",\"admin_key\":" + jsonString(m_endpoint.roomAdminKey) +
        ",\"permanent\":false,\"is_private\":true"
        ",\"description\":" +
        jsonString(spec.description) + ",\"pin\":" + jsonString(spec.pin) +
        ",\"secret\":" + jsonString(spec.secret) +
        ",\"publishers\":16,\"videocodec\":\"vp8\",\"audiocodec\":\"opus\""
        ",\"audiolevel_event\":true,\"audio_active_packets\":50,\"audio_level_average\":25"
        ",\"fir_freq\":10,\"lock_record\":true,\"record\":false"
        // Listen-only participants (no microphone, no camera) are listed too.
        ",\"notify_joining\":true";
    Json root(nullptr, cJSON_Delete);
    const auto [kind, error] = pluginAnswer(videoRoom(request), root);
    if (kind == "created")
        return RoomAnswer::Done;
    if (error == kRoomExists)
        return RoomAnswer::Absent;
    return RoomAnswer::Unreachable;
}

RoomAnswer JanusAdmin::destroyRoom(uint64_t room, const std::string& secret)
{
    Json root(nullptr, cJSON_Delete);
    const auto [kind, error] =
        pluginAnswer(videoRoom("\"request\":\"destroy\",\"room\":" + std::to_string(room) +
                               ",\"secret\":" + jsonString(secret) + ",\"permanent\":false"),
                     root);
    if (kind == "destroyed")
        return RoomAnswer::Done;
    if (error == kNoSuchRoom)
        return RoomAnswer::Absent;
    return RoomAnswer::Unreachable;
}

} // namespace devservice
