// The conferencing SDK's endpoints: application authorisation, account login,
// the admission to a meeting that precedes the SDK's meeting window, and the
// host's controls in it. Every request but the roster's GET is a form POST;
// a missing, repeated or malformed field is a 400 with a JSON error. A login answers a session that every meeting
// request carries as "Authorization: Bearer <session>": a meeting is started
// by its owner only, joined by signed-in accounts only, and each admission
// hands out a media room's pin and a token of the caller's own.
//
// An admission (start or join) answers
//   {"number": "<digits>", "media": {"server": "<ws URL>", "room": <int>,
//    "pin": "..", "token": "..", "participant_id": <int>,
//    "ice_servers": [{"urls": ["turn:HOST:PORT?transport=udp"],
//                     "username": "<expiry>:<participant_id>", "credential": ".."}],
//    "display_name": "..", "host": true|false}}
// The client joins the VideoRoom with "id": participant_id; the service
// knows people in the meeting by that id. ice_servers is empty without TURN.
// Asking again with the same session (after a lost connection, or when the
// media server changed) gives a new token and id, in the room where the
// meeting is now. A participant the host removed is refused (403).
//
// Who is in the meeting, and the host controls, each with a Bearer session:
//   GET  /sdk/v1/meetings/roster?number=N  -> [{"id":..,"display_name":"..","host":bool}]
//        for those in the meeting only (403 otherwise);
//   POST /sdk/v1/meetings/mute  number, participant (an id, or "all" for
//        everyone but the host): mutes their audio for everyone through the
//        VideoRoom's moderation; they may unmute themselves;
//   POST /sdk/v1/meetings/unmute  number: lifts that moderation from the
//        caller's own audio (anyone's own, nobody else's); 404 when the
//        caller is not in the meeting;
//   POST /sdk/v1/meetings/kick  number, participant: puts them out of the
//        room and takes their token back.
// Mute and kick are the host's: 401 without a session, 403 for anyone else,
// 404 for an unknown meeting or participant, 503 when the media server does
// not answer.

#include "LoginThrottle.h"
#include "MediaRooms.h"
#include "Routes.h"
#include "Store.h"
#include "Text.h"

#include <httplib.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace devservice {
namespace {

constexpr const char* kSdkAppKey = "Xq7LmP2vRt9KsW4nBd6HyZ1cFg8JuE3oAi5T";
constexpr const char* kSdkAppSecret = "Np4TgY8wKe2RcV6mLs9QdH1zXb7FjU3aOi5W";
constexpr size_t kMaxFieldLength = 256;
constexpr int kInstantMeetingMinutes = 60;
constexpr int kInstantMeetingType = 1;
constexpr size_t kMaxSessions = 4096;

// Sessions of SDK logins: session -> zcode. The oldest are forgotten first,
// so repeated logins cannot grow the table without bound.
class Sessions
{
public:
    std::optional<std::string> open(const std::string& zcode)
    {
        unsigned char random[16];
        if (RAND_bytes(random, sizeof random) != 1)
            return std::nullopt;
        static const char digits[] = "0123456789abcdef";
        std::string session;
        for (unsigned char byte : random) {
            session += digits[byte >> 4];
            session += digits[byte & 0x0f];
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_owners[session] = zcode;
        m_order.push_back(session);
        if (m_order.size() > kMaxSessions) {
            m_owners.erase(m_order.front());
            m_order.pop_front();
        }
        return session;
    }

    std::optional<std::string> ownerOf(const httplib::Request& req) const
    {
        const std::string header = req.get_header_value("Authorization");
        const std::string prefix = "Bearer ";
        if (header.compare(0, prefix.size(), prefix) != 0)
            return std::nullopt;
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_owners.find(header.substr(prefix.size()));
        if (it == m_owners.end())
            return std::nullopt;
        return it->second;
    }

private:
    mutable std::mutex m_mutex; // guards m_owners and m_order: handlers run on several threads
    std::map<std::string, std::string> m_owners;
    std::deque<std::string> m_order;
};

void answerJson(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_content(body, "application/json");
}

// The values of the named form fields, in order; nullopt (and a 400
// written) when one is absent, repeated or too long.
template <size_t N>
std::optional<std::array<std::string, N>> fields(const httplib::Request& req, httplib::Response& res,
                                                 const char* const (&names)[N])
{
    std::array<std::string, N> values;
    for (size_t i = 0; i < N; ++i) {
        if (req.get_param_value_count(names[i]) != 1) {
            answerError(res, 400, "bad_request", std::string("field ") + names[i] + " missing or repeated");
            return std::nullopt;
        }
        values[i] = req.get_param_value(names[i]);
        if (values[i].size() > kMaxFieldLength) {
            answerError(res, 400, "bad_request", std::string("field ") + names[i] + " too long");
            return std::nullopt;
        }
    }
    return values;
}

// A meeting number: decimal digits that fit a signed 64-bit value; leading
// zeros are dropped, so "007" names meeting 7.
std::optional<long long> meetingNumber(const std::string& text)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE)
        return std::nullopt;
    return value;
}

void handleAuth(const httplib::Request& req, httplib::Response& res)
{
    const auto form = fields(req, res, {"app_key", "app_secret"});
    if (!form)
        return;
    const auto& [key, secret] = *form;
    const bool keyRight = sameSecret(key, kSdkAppKey);
    const bool secretRight = sameSecret(secret, kSdkAppSecret);
    if (keyRight && secretRight)
        answerJson(res, 200, "{\"result\":\"authorised\"}");
    else
        answerError(res, 401, "unauthorized", "app key or secret wrong");
}

void handleLogin(Store& store, Sessions& sessions, LoginThrottle& throttle, const httplib::Request& req,
                 httplib::Response& res)
{
    const auto form = fields(req, res, {"account", "password"});
    if (!form)
        return;
    const auto& [account, password] = *form;
    const std::optional<Account> found = account.empty() ? std::nullopt : store.accountBySdkLogin(account);
    // Both login names of an account draw on one count.
    const std::string attempts = found ? "zcode:" + found->zcode : "name:" + account;
    if (!throttle.admit(attempts, res))
        return;
    if (!found || !sameSecret(password, found->password)) {
        answerError(res, 401, "unauthorized", "account or password wrong");
        return;
    }
    throttle.succeeded(attempts);
    const std::optional<std::string> session = sessions.open(found->zcode);
    if (!session) {
        answerError(res, 500, "server_error", "no random source");
        return;
    }
    answerJson(res, 200, "{\"result\":\"signed in\",\"session\":\"" + *session + "\"}");
}

// The session token of a request's "Authorization: Bearer" header, which
// names the participant to the meeting rooms.
std::string bearerOf(const httplib::Request& req)
{
    const std::string header = req.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    return header.compare(0, prefix.size(), prefix) == 0 ? header.substr(prefix.size()) : std::string();
}

std::string accountName(const Store& store, const std::string& zcode)
{
    const std::optional<Account> account = store.accountByZcode(zcode);
    if (!account)
        return {};
    return account->displayName.empty() ? account->userName : account->displayName;
}

std::string iceServersJson(const std::vector<IceServer>& servers)
{
    std::string text = "[";
    for (const IceServer& server : servers) {
        if (text.size() > 1)
            text += ",";
        text += "{\"urls\":[" + jsonString(server.url) + "],\"username\":" + jsonString(server.username) +
                ",\"credential\":" + jsonString(server.credential) + "}";
    }
    return text + "]";
}

// The answer to a start or join: the meeting and what the client needs to
// enter its media room; 503 when no media server can hold the room.
void answerAdmission(MediaRooms& rooms, const Meeting& meeting, const std::string& zcode,
                     const std::string& session, const std::string& displayName, httplib::Response& res)
{
    if (rooms.removed(meeting.id, session)) {
        answerError(res, 403, "forbidden", "the host removed this participant from the meeting");
        return;
    }
    const bool host = meeting.zcode == zcode;
    // TURN credentials last the meeting's length and an hour more.
    const auto validFor = std::chrono::minutes(std::max(meeting.duration, 0)) + std::chrono::hours(1);
    const std::optional<MediaAdmission> admission =
        rooms.admit(meeting.id, session, {displayName, host, validFor});
    if (!admission) {
        answerError(res, 503, "media_unavailable", "no media server can hold the meeting now");
        return;
    }
    answerJson(res, 200,
               "{\"number\":\"" + meeting.id + "\",\"media\":{\"server\":" + jsonString(admission->server) +
                   ",\"room\":" + std::to_string(admission->room) + ",\"pin\":" + jsonString(admission->pin) +
                   ",\"token\":" + jsonString(admission->token) +
                   ",\"participant_id\":" + std::to_string(admission->participantId) + ",\"ice_servers\":" +
                   iceServersJson(admission->iceServers) + ",\"display_name\":" + jsonString(displayName) +
                   ",\"host\":" + (host ? "true" : "false") + "}}");
}

void handleStart(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                 httplib::Response& res)
{
    const auto form = fields(req, res, {"number", "no_video"});
    if (!form)
        return;
    const auto& [numberText, noVideo] = *form;
    const std::optional<long long> number = meetingNumber(numberText);
    if (!number) {
        answerError(res, 400, "bad_request", "number is not a meeting number");
        return;
    }
    if (noVideo != "0" && noVideo != "1") {
        answerError(res, 400, "bad_request", "no_video must be 0 or 1");
        return;
    }
    const std::optional<std::string> owner = sessions.ownerOf(req);
    if (!owner) {
        answerError(res, 401, "unauthorized", "starting a meeting needs a signed-in host");
        return;
    }

    std::optional<Meeting> meeting;
    if (*number == 0) {
        Meeting instant;
        instant.zcode = *owner;
        instant.topic = "Instant meeting";
        instant.startTime = utcNow();
        instant.createdAt = instant.startTime;
        instant.duration = kInstantMeetingMinutes;
        instant.type = kInstantMeetingType;
        instant.noVideoHost = noVideo == "1";
        instant.instant = true;
        meeting = store.createMeeting(instant);
    } else {
        meeting = store.meetingById(std::to_string(*number));
        if (!meeting) {
            answerError(res, 404, "not_found", "no such meeting");
            return;
        }
        if (meeting->zcode != *owner) {
            answerError(res, 403, "forbidden", "only the meeting's owner starts it");
            return;
        }
    }
    answerAdmission(rooms, *meeting, *owner, bearerOf(req), accountName(store, *owner), res);
}

void handleJoin(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                httplib::Response& res)
{
    const auto form = fields(req, res, {"number", "display_name"});
    if (!form)
        return;
    const auto& [numberText, displayName] = *form;
    // The name is shown to everyone in the meeting; it must be text.
    if (!isValidUtf8(displayName) || hasControlCharacter(displayName)) {
        answerError(res, 400, "bad_request", "display_name is not text");
        return;
    }
    const std::optional<long long> number = meetingNumber(numberText);
    if (!number) {
        answerError(res, 400, "bad_request", "number is not a meeting number");
        return;
    }
    const std::optional<std::string> caller = sessions.ownerOf(req);
    if (!caller) {
        answerError(res, 401, "unauthorized", "joining a meeting needs a signed-in account");
        return;
    }
    const std::optional<Meeting> existing =
        *number == 0 ? std::nullopt : store.meetingById(std::to_string(*number));
    if (!existing) {
        answerError(res, 404, "not_found", "no such meeting");
        return;
    }
    answerAdmission(rooms, *existing, *caller, bearerOf(req),
                    displayName.empty() ? accountName(store, *caller) : displayName, res);
}

// The signed-in caller and the meeting of that number, or nothing with the
// refusal (401, 404) written.
std::optional<std::pair<std::string, Meeting>> callerAndMeeting(Store& store, const Sessions& sessions,
                                                                long long number, const httplib::Request& req,
                                                                httplib::Response& res)
{
    const std::optional<std::string> caller = sessions.ownerOf(req);
    if (!caller) {
        answerError(res, 401, "unauthorized", "needs a signed-in account");
        return std::nullopt;
    }
    const std::optional<Meeting> meeting = number == 0 ? std::nullopt : store.meetingById(std::to_string(number));
    if (!meeting) {
        answerError(res, 404, "not_found", "no such meeting");
        return std::nullopt;
    }
    return std::make_pair(*caller, *meeting);
}

// Leave, end and unmute: the caller and the meeting, or nothing with the refusal
// written.
std::optional<std::pair<std::string, Meeting>>
meetingOfCaller(Store& store, const Sessions& sessions, const httplib::Request& req, httplib::Response& res)
{
    const auto form = fields(req, res, {"number"});
    if (!form)
        return std::nullopt;
    const std::optional<long long> number = meetingNumber((*form)[0]);
    if (!number) {
        answerError(res, 400, "bad_request", "number is not a meeting number");
        return std::nullopt;
    }
    return callerAndMeeting(store, sessions, *number, req, res);
}

void handleLeave(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                 httplib::Response& res)
{
    const auto found = meetingOfCaller(store, sessions, req, res);
    if (!found)
        return;
    rooms.leave(found->second.id, bearerOf(req));
    answerJson(res, 200, "{\"result\":\"left\"}");
}

void handleEnd(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
               httplib::Response& res)
{
    const auto found = meetingOfCaller(store, sessions, req, res);
    if (!found)
        return;
    if (found->second.zcode != found->first) {
        answerError(res, 403, "forbidden", "only the host ends the meeting");
        return;
    }
    rooms.end(found->second.id);
    answerJson(res, 200, "{\"result\":\"ended\"}");
}

// A participant id of the form: decimal digits up to 2^53.
std::optional<uint64_t> participantId(const std::string& text)
{
    if (text.empty() || text.size() > 16 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const uint64_t value = std::strtoull(text.c_str(), nullptr, 10);
    if (value == 0 || value > (uint64_t(1) << 53))
        return std::nullopt;
    return value;
}

void handleRoster(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                  httplib::Response& res)
{
    if (req.get_param_value_count("number") != 1) {
        answerError(res, 400, "bad_request", "field number missing or repeated");
        return;
    }
    const std::optional<long long> number = meetingNumber(req.get_param_value("number"));
    if (!number) {
        answerError(res, 400, "bad_request", "number is not a meeting number");
        return;
    }
    if (!sessions.ownerOf(req)) {
        answerError(res, 401, "unauthorized", "needs a signed-in account");
        return;
    }
    const std::optional<Meeting> meeting =
        *number == 0 ? std::nullopt : store.meetingById(std::to_string(*number));
    if (!meeting) {
        answerError(res, 404, "not_found", "no such meeting");
        return;
    }
    const auto roster = rooms.roster(meeting->id, bearerOf(req));
    if (!roster) {
        answerError(res, 403, "forbidden", "only those in the meeting see who is in it");
        return;
    }
    std::string text = "[";
    for (const RosterEntry& entry : *roster) {
        if (text.size() > 1)
            text += ",";
        text += "{\"id\":" + std::to_string(entry.id) + ",\"display_name\":" + jsonString(entry.displayName) +
                ",\"host\":" + (entry.host ? "true" : "false") + "}";
    }
    answerJson(res, 200, text + "]");
}

// Mute and kick: the host's meeting and the participant named, or nothing
// with the refusal written. "all" (where allowed) is no id.
std::optional<std::pair<Meeting, std::optional<uint64_t>>>
moderatedParticipant(Store& store, const Sessions& sessions, const httplib::Request& req,
                     httplib::Response& res, bool allowAll)
{
    const auto form = fields(req, res, {"number", "participant"});
    if (!form)
        return std::nullopt;
    const auto& [numberText, participantText] = *form;
    const std::optional<long long> number = meetingNumber(numberText);
    const std::optional<uint64_t> id = participantId(participantText);
    if (!number || (!id && !(allowAll && participantText == "all"))) {
        answerError(res, 400, "bad_request",
                    !number ? "number is not a meeting number" : "participant is not a participant id");
        return std::nullopt;
    }
    const auto found = callerAndMeeting(store, sessions, *number, req, res);
    if (!found)
        return std::nullopt;
    const std::optional<std::string> caller = found->first;
    const std::optional<Meeting> meeting = found->second;
    if (meeting->zcode != *caller) {
        answerError(res, 403, "forbidden", "only the host moderates the meeting");
        return std::nullopt;
    }
    return std::make_pair(*meeting, id);
}

void answerModeration(Moderation result, const char* done, httplib::Response& res)
{
    switch (result) {
    case Moderation::Done:
        answerJson(res, 200, std::string("{\"result\":\"") + done + "\"}");
        break;
    case Moderation::NoSuchParticipant:
        answerError(res, 404, "not_found", "no such participant in the meeting");
        break;
    case Moderation::HostProtected:
        answerError(res, 400, "bad_request", "the host cannot be removed from their meeting");
        break;
    case Moderation::Unreachable:
        answerError(res, 503, "media_unavailable", "the media server does not answer");
        break;
    }
}

void handleMute(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                httplib::Response& res)
{
    const auto target = moderatedParticipant(store, sessions, req, res, true);
    if (target)
        answerModeration(rooms.mute(target->first.id, target->second), "muted", res);
}

// Anyone in the meeting lifts the host's mute from their own audio, so
// that unmuting on screen is heard again.
void handleUnmute(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                  httplib::Response& res)
{
    const auto found = meetingOfCaller(store, sessions, req, res);
    if (found)
        answerModeration(rooms.unmuteSelf(found->second.id, bearerOf(req)), "unmuted", res);
}

void handleKick(Store& store, const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                httplib::Response& res)
{
    const auto target = moderatedParticipant(store, sessions, req, res, false);
    if (target)
        answerModeration(rooms.kick(target->first.id, *target->second), "removed", res);
}

// The test call's Janus and a token for it, for a signed-in client.
void handleEchoTest(const Sessions& sessions, MediaRooms& rooms, const httplib::Request& req,
                    httplib::Response& res)
{
    if (!sessions.ownerOf(req)) {
        answerError(res, 401, "unauthorized", "the test call needs a signed-in user");
        return;
    }
    const std::optional<MediaAdmission> access = rooms.echoTest(bearerOf(req));
    if (!access) {
        answerError(res, 503, "media_unavailable", "no media server answers now");
        return;
    }
    answerJson(res, 200,
               "{\"server\":" + jsonString(access->server) + ",\"token\":" + jsonString(access->token) + "}");
}

} // namespace

void registerSdkRoutes(httplib::Server& server, Store& store, MediaRooms& rooms)
{
    // Lives as long as the server's handlers: the routes are registered once.
    static Sessions sessions;
    static LoginThrottle throttle;
    server.Post("/sdk/v1/auth", handleAuth);
    server.Post("/sdk/v1/login", [&store](const httplib::Request& req, httplib::Response& res) {
        handleLogin(store, sessions, throttle, req, res);
    });
    // The meeting routes all need the store, the sessions and the rooms.
    using MeetingHandler = void (*)(Store&, const Sessions&, MediaRooms&, const httplib::Request&,
                                    httplib::Response&);
    const struct
    {
        bool get;
        const char* path;
        MeetingHandler handler;
    } meetingRoutes[] = {
        {false, "/sdk/v1/meetings/start", handleStart}, {false, "/sdk/v1/meetings/join", handleJoin},
        {false, "/sdk/v1/meetings/leave", handleLeave}, {false, "/sdk/v1/meetings/end", handleEnd},
        {true, "/sdk/v1/meetings/roster", handleRoster}, {false, "/sdk/v1/meetings/mute", handleMute},
        {false, "/sdk/v1/meetings/unmute", handleUnmute}, {false, "/sdk/v1/meetings/kick", handleKick},
    };
    for (const auto& route : meetingRoutes) {
        const MeetingHandler handler = route.handler;
        const auto serve = [&store, &rooms, handler](const httplib::Request& req, httplib::Response& res) {
            handler(store, sessions, rooms, req, res);
        };
        if (route.get)
            server.Get(route.path, serve);
        else
            server.Post(route.path, serve);
    }
    server.Post("/sdk/v1/echotest", [&rooms](const httplib::Request& req, httplib::Response& res) {
        handleEchoTest(sessions, rooms, req, res);
    });
}

} // namespace devservice
