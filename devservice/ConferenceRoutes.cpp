// The conferencing REST API: meetings and the user's display name. Every
// route answers GET and POST alike (the client's transport posts an empty
// body and carries everything in the query).

#include "Routes.h"

#include "Store.h"
#include "Text.h"

#include <httplib.h>

#include <algorithm>

#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>

namespace devservice {
namespace {

constexpr const char* kApiKey = "5D2E8A41C07B93F6E1A04C8B7D3F2619";
constexpr const char* kApiSecret = "9B47E0C3A5D1286F4E0B7A93C6D85F12";

constexpr size_t kMaxValueBytes = 1024;
constexpr size_t kMaxTopicLength = 200;   // code points
constexpr size_t kMaxUserNameLength = 64; // code points
constexpr int kMaxDuration = 24 * 60;
constexpr int kMaxPageSize = 300;
constexpr int kDefaultPageSize = 30;

// A refusal with its HTTP status and the service's error code. Messages
// never quote a key name: the client judges answers by searching for quoted
// keys such as "id", and an error must not pass for a success.
struct ApiError
{
    int status;
    int code;
    std::string message;
};

[[noreturn]] void badRequest(const std::string& message)
{
    throw ApiError{400, 300, message};
}

class Query
{
public:
    explicit Query(const httplib::Request& request) : m_request(request)
    {
        std::map<std::string, int> seen;
        for (const auto& [key, value] : request.params) {
            if (++seen[key] > 1)
                badRequest("parameter " + safeName(key) + " is given more than once");
            if (value.size() > kMaxValueBytes)
                badRequest("parameter " + safeName(key) + " is too long");
            if (!isValidUtf8(value))
                badRequest("parameter " + safeName(key) + " is not valid UTF-8");
        }
    }

    bool has(const char* key) const { return m_request.has_param(key); }

    std::string text(const char* key) const
    {
        if (!has(key))
            badRequest(std::string("missing parameter ") + key);
        return m_request.get_param_value(key);
    }

    // Plain decimal digits only: no sign, no spaces, no fraction.
    int number(const char* key, int low, int high) const
    {
        const std::string value = text(key);
        if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
            badRequest(std::string("parameter ") + key + " is not a number");
        const int parsed = std::stoi(value);
        if (parsed < low || parsed > high)
            badRequest(std::string("parameter ") + key + " is out of range");
        return parsed;
    }

    bool flag(const char* key) const
    {
        const std::string value = text(key);
        if (value == "true")
            return true;
        if (value == "false")
            return false;
        badRequest(std::string("parameter ") + key + " must be true or false");
    }

    std::string line(const char* key, size_t maxLength) const
    {
        const std::string value = text(key);
        if (value.empty())
            badRequest(std::string("parameter ") + key + " is empty");
        if (utf8Length(value) > maxLength)
            badRequest(std::string("parameter ") + key + " is too long");
        if (hasControlCharacter(value))
            badRequest(std::string("parameter ") + key + " contains control characters");
        return value;
    }

private:
    // Unknown key names come from the caller; they are echoed only when short
    // and plain.
    static std::string safeName(const std::string& key)
    {
        if (key.size() <= 40 &&
            key.find_first_not_of("abcdefghijklmnopqrstuvwxyz_0123456789") == std::string::npos)
            return key;
        return "(unnamed)";
    }

    const httplib::Request& m_request;
};

void authenticate(const Query& query)
{
    if (!query.has("api_key") || !query.has("api_secret") || query.text("api_key") != kApiKey ||
        query.text("api_secret") != kApiSecret)
        throw ApiError{401, 124, "invalid api_key or api_secret"};
}

Account ownerOf(const Store& store, const Query& query)
{
    const std::string zcode = query.text("zcode");
    std::optional<Account> account = store.accountByZcode(zcode);
    if (!account)
        throw ApiError{404, 1001, "user does not exist"};
    return *account;
}

const char* jsonBool(bool value)
{
    return value ? "true" : "false";
}

// Appends rather than returns: a list of 50 meetings is built in one string
// instead of 50 that are copied into it.
void appendMeetingJson(std::string& json, const Meeting& meeting)
{
    // Flags the service does not model; screen sharing is on, the rest off.
    static const char* const kOffFlags[] = {
        "schedule_use_pmi", "auto_recording", "auto_savechat",     "disable_polling",
        "disable_chat",     "enable_e2e",     "enable_silentmode", "disable_recording",
    };
    static const char* const kMoreOffFlags[] = {
        "audio_only",
        "enable_group_hd",
        "no_telephony",
        "no_voip",
        "disable_feedback",
        "enable_other_teleconf",
        "enable_cmr",
        "enable_camera_control",
        "enable_automic_recording_cloud",
        "disable_private_chat",
        "disable_host_unmute_self_muted_attendee",
        "enable_pac",
        "enable_bo",
        "enable_webinar_practice",
        "enable_enter_exit_chime",
        "enable_enter_exit_chime_host_only",
        "use_pac_1",
        "use_pac_2",
        "disable_screen_share",
        "disable_remote_control",
        "disable_local_recording",
        "dual_camera_support",
        "enable_support_session",
        "enable_file_transfer",
        "enable_watermark",
        "enable_cohost",
        "end_meeting_when_host_drop",
        "enabled_join_meeting_enforce_login",
        "enabled_join__meeting_enforce_login_same_account",
        "enable_closed_caption",
        "enable_pstn_password_protection",
        "disable_peer_to_peer",
    };
    json += "{";
    json += "\"uuid\":" + jsonString(meeting.uuid);
    json += ",\"id\":" + jsonString(meeting.id);
    json += ",\"host_id\":" + jsonString(meeting.zcode);
    json += ",\"topic\":" + jsonString(meeting.topic);
    json += ",\"password\":\"\",\"h323_password\":\"\",\"status\":0,\"option_jbh\":false";
    json += ",\"option_start_type\":\"video\"";
    json += std::string(",\"option_host_video\":") + jsonBool(!meeting.noVideoHost);
    json += std::string(",\"option_participants_video\":") + jsonBool(!meeting.noVideoParticipants);
    json += ",\"option_audio\":\"both\"";
    json += ",\"type\":" + std::to_string(meeting.type);
    json += std::string(",\"type_des\":") + (meeting.instant ? "\"instant\"" : "\"scheduled\"");
    json += ",\"start_time\":" + jsonString(meeting.startTime);
    json += ",\"duration\":" + std::to_string(meeting.duration);
    json += ",\"timezone\":\"Asia/Shanghai\"";
    json += ",\"start_url\":" + jsonString("https://talvora.dev/s/" + meeting.id);
    json += ",\"join_url\":" + jsonString("https://talvora.dev/j/" + meeting.id);
    json += ",\"created_at\":" + jsonString(meeting.createdAt);
    for (const char* key : kOffFlags)
        json += std::string(",\"") + key + "\":false";
    json += ",\"screen_share\":true";
    for (const char* key : kMoreOffFlags)
        json += std::string(",\"") + key + "\":false";
    json += ",\"agenda\":\"\"}";
}

std::string meetingJson(const Meeting& meeting)
{
    std::string json;
    appendMeetingJson(json, meeting);
    return json;
}

std::string userJson(const Account& account)
{
    return "{\"id\":" + jsonString(std::to_string(account.id)) +
           ",\"username\":" + jsonString(account.displayName) + ",\"email\":" + jsonString(account.email) +
           ",\"usertype\":\"1\",\"role\":1,\"accounttype\":1,\"isowner\":1}";
}

// The booking fields shared by create and update.
Meeting bookingFrom(const Query& query, const Account& owner)
{
    Meeting meeting;
    meeting.zcode = owner.zcode;
    meeting.topic = query.line("topic", kMaxTopicLength);
    meeting.type = query.has("type") ? query.number("type", 1, 9) : 2;
    const std::optional<std::string> start = beijingToUtc(query.text("start_time"));
    if (!start)
        badRequest("parameter start_time is not a time such as 2024-03-07 9:05:00");
    meeting.startTime = *start;
    meeting.duration = query.number("duration", 1, kMaxDuration);
    meeting.noVideoHost = query.flag("option_no_video_host");
    meeting.noVideoParticipants = query.flag("option_no_video_participants");
    return meeting;
}

using Action = std::function<std::string(const Query&, Store&)>;

httplib::Server::Handler guarded(Store& store, Action action)
{
    return [&store, action](const httplib::Request& request, httplib::Response& response) {
        try {
            const Query query(request);
            authenticate(query);
            response.status = 200;
            response.set_content(action(query, store), "application/json; charset=utf-8");
        } catch (const ApiError& error) {
            answerError(response, error.status, error.code, error.message);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "devservice: %s\n", error.what());
            answerError(response, 500, 500, "internal error");
        }
    };
}

std::string createMeeting(const Query& query, Store& store)
{
    const Account owner = ownerOf(store, query);
    return meetingJson(store.createMeeting(bookingFrom(query, owner)));
}

std::string updateMeeting(const Query& query, Store& store)
{
    const Account owner = ownerOf(store, query);
    Meeting meeting = bookingFrom(query, owner);
    meeting.id = query.line("meeting_id", 32);
    if (!store.updateMeeting(meeting))
        throw ApiError{404, 3001, "meeting does not exist"};
    return "{\"meeting_id\":" + jsonString(meeting.id) + ",\"updated_at\":" + jsonString(utcNow()) + "}";
}

std::string deleteMeeting(const Query& query, Store& store)
{
    const Account owner = ownerOf(store, query);
    const std::string id = query.line("meeting_id", 32);
    if (!store.deleteMeeting(owner.zcode, id))
        throw ApiError{404, 3001, "meeting does not exist"};
    return "{\"meeting_id\":" + jsonString(id) + ",\"deleted_at\":" + jsonString(utcNow()) + "}";
}

std::string listMeetings(const Query& query, Store& store)
{
    const Account owner = ownerOf(store, query);
    const int pageSize =
        query.has("page_size") ? query.number("page_size", 1, kMaxPageSize) : kDefaultPageSize;
    const int pageNumber = query.has("page_number") ? query.number("page_number", 1, 1000000) : 1;
    const std::vector<Meeting> meetings = store.meetingsOf(owner.zcode);
    const size_t total = meetings.size();
    const size_t pageCount = (total + pageSize - 1) / pageSize;
    const size_t first = static_cast<size_t>(pageNumber - 1) * pageSize;

    std::string json = "{\"page_count\":" + jsonString(std::to_string(pageCount)) +
                       ",\"total_records\":" + jsonString(std::to_string(total)) +
                       ",\"page_number\":" + jsonString(std::to_string(pageNumber)) +
                       ",\"page_size\":" + jsonString(std::to_string(pageSize)) + ",\"meetings\":[";
    // About 1.7 kB a meeting.
    json.reserve(json.size() + 2048 * std::min<size_t>(pageSize, total > first ? total - first : 0));
    for (size_t i = first; i < total && i < first + pageSize; ++i) {
        if (i != first)
            json += ',';
        appendMeetingJson(json, meetings[i]);
    }
    json += "]}";
    return json;
}

std::string getUser(const Query& query, Store& store)
{
    if (query.has("logintype") && query.text("logintype") != "1")
        badRequest("parameter logintype must be 1");
    const std::string login = query.line("loginname", 254);
    std::optional<Account> account = store.accountByZcode(login);
    if (!account)
        account = store.accountBySdkLogin(login);
    if (!account)
        throw ApiError{404, 1001, "user does not exist"};
    return userJson(*account);
}

std::string updateUser(const Query& query, Store& store)
{
    const Account owner = ownerOf(store, query);
    const std::string name = query.line("username", kMaxUserNameLength);
    store.setDisplayName(owner.zcode, name);
    Account renamed = owner;
    renamed.displayName = name;
    return userJson(renamed);
}

} // namespace

void registerConferenceRoutes(httplib::Server& server, Store& store)
{
    const std::pair<const char*, Action> routes[] = {
        {"/v3/meeting/create", createMeeting},
        {"/v3/meeting/update", updateMeeting},
        {"/v3/meeting/delete", deleteMeeting},
        {"/v3/meeting/list", listMeetings},
        {"/v3/user/get", getUser},
        {"/v3/user/update", updateUser},
    };
    for (const auto& [path, action] : routes) {
        server.Get(path, guarded(store, action));
        server.Post(path, guarded(store, action));
    }
}

} // namespace devservice
