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
// Janus answers admin requests at once; longer means it hangs.
constexpr int kAnswerTimeoutSeconds = 3;
constexpr int kProbeTimeoutSeconds = 1;
constexpr const char* kVideoRoom = "janus.plugin.videoroom";
// Each meeting's chat: a TextRoom room of the video room's id and pin.
constexpr const char* kTextRoom = "janus.plugin.textroom";
constexpr int kChatHistory = 50;
constexpr const char* kEchoTest = "janus.plugin.echotest";
// Janus's own error codes that mean "already so".
constexpr int kTokenNotFound = 470;
constexpr int kNoSuchRoom = 426;
constexpr int kRoomExists = 427;
constexpr int kNoSuchFeed = 428;

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
    const auto client = [&url, pathStart](int connect, int answer) {
        auto made = std::make_unique<httplib::Client>(url.substr(0, pathStart));
        made->set_connection_timeout(connect, 0);
        made->set_read_timeout(answer, 0);
        made->set_write_timeout(answer, 0);
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
        made->enable_server_certificate_verification(true);
#endif
        return made;
    };
    m_client = client(kConnectTimeoutSeconds, kAnswerTimeoutSeconds);
    m_probe = client(kProbeTimeoutSeconds, kProbeTimeoutSeconds);
}

JanusAdmin::~JanusAdmin() = default;

std::string JanusAdmin::call(const std::string& kind, const std::string& fields, const std::string& below)
{
    std::string body = "{\"janus\":" + jsonString(kind) + ",\"transaction\":\"" +
                       randomHex(8).value_or("devservice") +
                       "\",\"admin_secret\":" + jsonString(m_endpoint.adminSecret);
    if (!fields.empty())
        body += "," + fields;
    body += "}";
    const bool probe = kind == "ping";
    std::lock_guard<std::mutex> lock(probe ? m_probeMutex : m_mutex);
    httplib::Client* client = probe ? m_probe.get() : m_client.get();
    if (!client)
        return {};
    const httplib::Result result = client->Post(m_path + below, body, "application/json");
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

PingAnswer JanusAdmin::probe()
{
    std::lock_guard<std::mutex> lock(m_probeMutex);
    if (!m_probe)
        return PingAnswer::Refused;
    const std::string body = "{\"janus\":\"ping\",\"transaction\":\"" + randomHex(8).value_or("devservice") +
                             "\",\"admin_secret\":" + jsonString(m_endpoint.adminSecret) + "}";
    const httplib::Result result = m_probe->Post(m_path, body, "application/json");
    if (result && result->status == 200) {
        const Json root = parse(result->body);
        if (root && stringField(root.get(), "janus") == "pong")
            return PingAnswer::Answered;
    }
    // A stopped (SIGSTOP) or busy Janus still has its socket listening: the
    // kernel accepts the connection and only the answer is missing. A
    // refusal or a wrong answer means the process is gone or broken.
    if (!result && (result.error() == httplib::Error::Read || result.error() == httplib::Error::Write ||
                    result.error() == httplib::Error::ConnectionTimeout))
        return PingAnswer::TimedOut;
    return PingAnswer::Refused;
}

bool JanusAdmin::addToken(const std::string& token)
{
    return succeededOr(call("add_token", "\"token\":" + jsonString(token) + ",\"plugins\":[\"" + kVideoRoom +
                                             "\",\"" + kTextRoom + "\"]"),
                       0);
}

bool JanusAdmin::addEchoToken(const std::string& token)
{
    // Refused by a Janus without the plugin: that one has no test call.
    return succeededOr(
        call("add_token", "\"token\":" + jsonString(token) + ",\"plugins\":[\"" + kEchoTest + "\"]"), 0);
}

bool JanusAdmin::removeToken(const std::string& token)
{
    return succeededOr(call("remove_token", "\"token\":" + jsonString(token)), kTokenNotFound);
}

namespace {

// The VideoRoom's answer inside a message_plugin success: its "videoroom"
// kind and error code (0 for none); kind empty when there is no such answer.
std::pair<std::string, int> pluginAnswer(const std::string& answer, Json& root,
                                         const char* plugin = "videoroom")
{
    root = parse(answer);
    if (!root || stringField(root.get(), "janus") != "success")
        return {};
    const cJSON* response = cJSON_GetObjectItemCaseSensitive(root.get(), "response");
    return {stringField(response, plugin), intField(response, "error_code")};
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

RoomAnswer JanusAdmin::createRoom(const RoomSettings& settings)
{
    // Private so that "list" never shows it; the pin keeps out whoever
    // guesses the id; the secret guards edit and destroy; recording and
    // forwarding stay with the service (lock_record here, lock_rtp_forward
    // in the plugin's configuration).
    const std::string request =
        "\"request\":\"create\",\"room\":" + std::to_string(settings.room) +
        ",\"admin_key\":" + jsonString(m_endpoint.roomAdminKey) +
        ",\"permanent\":false,\"is_private\":true"
        ",\"description\":" +
        jsonString(settings.description) + ",\"pin\":" + jsonString(settings.pin) +
        ",\"secret\":" + jsonString(settings.secret) +
        ",\"publishers\":16,\"videocodec\":\"vp8\",\"audiocodec\":\"opus\""
        ",\"audiolevel_event\":true,\"audio_active_packets\":50,\"audio_level_average\":25"
        ",\"fir_freq\":10,\"lock_record\":true,\"record\":false"
        // Listen-only participants (no microphone, no camera) are listed too.
        ",\"notify_joining\":true";
    Json root(nullptr, cJSON_Delete);
    const auto [kind, error] = pluginAnswer(videoRoom(request), root);
    if (kind == "created") {
        // Without its chat a meeting still works: the clients go without.
        // TextRoom wants a transaction of its own in every request.
        const std::string chat =
            "\"request\":\"create\",\"transaction\":\"devservice\",\"room\":" + std::to_string(settings.room) +
            ",\"admin_key\":" + jsonString(m_endpoint.roomAdminKey) +
            ",\"permanent\":false,\"is_private\":true,\"description\":" + jsonString(settings.description) +
            ",\"pin\":" + jsonString(settings.pin) + ",\"secret\":" + jsonString(settings.secret) +
            ",\"history\":" + std::to_string(kChatHistory);
        call("message_plugin", "\"plugin\":\"" + std::string(kTextRoom) + "\",\"request\":{" + chat + "}");
        return RoomAnswer::Done;
    }
    if (error == kRoomExists)
        return RoomAnswer::Absent;
    return RoomAnswer::Unreachable;
}

bool JanusAdmin::forEachPublisher(
    uint64_t room,
    const std::function<void(const std::string& session, uint64_t id, const cJSON* info)>& visit)
{
    // VideoRoom tells who publishes what only in each handle's own
    // information, so the service looks through the handles: a few admin
    // requests per participant, and only when a host moderates.
    const Json sessions = parse(call("list_sessions", {}));
    const cJSON* sessionIds = cJSON_GetObjectItemCaseSensitive(sessions.get(), "sessions");
    if (!cJSON_IsArray(sessionIds))
        return false;
    const cJSON* session = nullptr;
    cJSON_ArrayForEach(session, sessionIds)
    {
        if (!cJSON_IsNumber(session))
            continue;
        const std::string sessionPath = "/" + std::to_string(static_cast<uint64_t>(session->valuedouble));
        const Json handles = parse(call("list_handles", {}, sessionPath));
        const cJSON* handle = nullptr;
        cJSON_ArrayForEach(handle, cJSON_GetObjectItemCaseSensitive(handles.get(), "handles"))
        {
            if (!cJSON_IsNumber(handle))
                continue;
            const Json info =
                parse(call("handle_info", {},
                           sessionPath + "/" + std::to_string(static_cast<uint64_t>(handle->valuedouble))));
            const cJSON* plugin = cJSON_GetObjectItemCaseSensitive(
                cJSON_GetObjectItemCaseSensitive(info.get(), "info"), "plugin_specific");
            const cJSON* roomId = cJSON_GetObjectItemCaseSensitive(plugin, "room");
            const cJSON* id = cJSON_GetObjectItemCaseSensitive(plugin, "id");
            if (stringField(plugin, "type") == "publisher" && cJSON_IsNumber(roomId) && cJSON_IsNumber(id) &&
                static_cast<uint64_t>(roomId->valuedouble) == room)
                visit(sessionPath, static_cast<uint64_t>(id->valuedouble), plugin);
        }
    }
    return true;
}

RoomAnswer JanusAdmin::muteAudio(const RoomSettings& room, const std::vector<uint64_t>& participants, bool mute)
{
    // The mids of the audio each publisher in the room sends.
    std::map<uint64_t, std::vector<std::string>> mids;
    const bool listed =
        forEachPublisher(room.room, [&mids](const std::string&, uint64_t id, const cJSON* info) {
            std::vector<std::string>& publisher = mids[id];
            const cJSON* stream = nullptr;
            cJSON_ArrayForEach(stream, cJSON_GetObjectItemCaseSensitive(info, "streams"))
            {
                const std::string mid = stringField(stream, "mid");
                if (stringField(stream, "type") == "audio" && !mid.empty())
                    publisher.push_back(mid);
            }
        });
    if (!listed)
        return RoomAnswer::Unreachable;
    bool anyone = false;
    for (const uint64_t participant : participants) {
        const auto found = mids.find(participant);
        if (found == mids.end())
            continue;
        anyone = true;
        for (const std::string& mid : found->second) {
            Json root(nullptr, cJSON_Delete);
            const auto [kind, error] =
                pluginAnswer(videoRoom("\"request\":\"moderate\",\"room\":" + std::to_string(room.room) +
                                       ",\"secret\":" + jsonString(room.secret) +
                                       ",\"id\":" + std::to_string(participant) +
                                       ",\"mid\":" + jsonString(mid) +
                                       ",\"mute\":" + (mute ? "true" : "false")),
                             root);
            if (error == kNoSuchFeed)
                continue; // the stream or its publisher went in the meantime
            if (kind != "success" || error != 0)
                return RoomAnswer::Unreachable;
            // Lifting it is the publisher's own doing: nobody needs telling.
            if (!mute)
                continue;
            // VideoRoom tells everyone but the muted publisher; the
            // meeting's chat room tells the publisher too.
            const std::string note = "{\"moderation\":\"muted\",\"id\":" + std::to_string(participant) +
                                     ",\"mid\":" + jsonString(mid) + "}";
            call("message_plugin",
                 "\"plugin\":\"" + std::string(kTextRoom) +
                     "\",\"request\":{\"request\":\"announcement\",\"transaction\":\"devservice\""
                     ",\"room\":" +
                     std::to_string(room.room) + ",\"secret\":" + jsonString(room.secret) +
                     ",\"text\":" + jsonString(note) + "}");
        }
    }
    return anyone ? RoomAnswer::Done : RoomAnswer::Absent;
}

RoomAnswer JanusAdmin::kick(const RoomSettings& room, uint64_t participant)
{
    // The kick ends the publisher's connection but not the subscriptions of
    // the same session, which would go on receiving until the session timed
    // out: the whole session goes too. It is looked up first, while the
    // publisher is still in the room.
    std::vector<std::string> sessions;
    forEachPublisher(room.room,
                     [&sessions, participant](const std::string& session, uint64_t id, const cJSON*) {
                         if (id == participant)
                             sessions.push_back(session);
                     });
    Json root(nullptr, cJSON_Delete);
    const auto [kind, error] =
        pluginAnswer(videoRoom("\"request\":\"kick\",\"room\":" + std::to_string(room.room) + ",\"secret\":" +
                               jsonString(room.secret) + ",\"id\":" + std::to_string(participant)),
                     root);
    if (kind != "success" || error != 0)
        return error == kNoSuchFeed || error == kNoSuchRoom ? RoomAnswer::Absent : RoomAnswer::Unreachable;
    for (const std::string& session : sessions)
        call("destroy_session", {}, session);
    return RoomAnswer::Done;
}

RoomAnswer JanusAdmin::destroyRoom(uint64_t room, const std::string& secret)
{
    Json root(nullptr, cJSON_Delete);
    const auto [kind, error] =
        pluginAnswer(videoRoom("\"request\":\"destroy\",\"room\":" + std::to_string(room) +
                               ",\"secret\":" + jsonString(secret) + ",\"permanent\":false"),
                     root);
    call("message_plugin",
         "\"plugin\":\"" + std::string(kTextRoom) +
             "\",\"request\":{\"request\":\"destroy\",\"transaction\":\"devservice\",\"room\":" +
             std::to_string(room) + ",\"secret\":" + jsonString(secret) + ",\"permanent\":false}");
    if (kind == "destroyed")
        return RoomAnswer::Done;
    if (error == kNoSuchRoom)
        return RoomAnswer::Absent;
    return RoomAnswer::Unreachable;
}

} // namespace devservice
