// The conferencing SDK's endpoints: application authorisation, account login,
// and the admission to a meeting that precedes the SDK's meeting window.
// Every request is a form POST; a missing, repeated or malformed field is a
// 400 with a JSON error. A login answers a session that later meeting
// requests carry as "Authorization: Bearer <session>"; an instant meeting
// needs one, because the meeting belongs to the signed-in account.

#include "LoginThrottle.h"
#include "Routes.h"
#include "Store.h"
#include "Text.h"

#include <httplib.h>
#include <openssl/rand.h>

#include <array>
#include <cerrno>
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

void handleStart(Store& store, const Sessions& sessions, const httplib::Request& req, httplib::Response& res)
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

    if (*number == 0) {
        const std::optional<std::string> owner = sessions.ownerOf(req);
        if (!owner) {
            answerError(res, 401, "unauthorized", "an instant meeting needs a signed-in host");
            return;
        }
        Meeting meeting;
        meeting.zcode = *owner;
        meeting.topic = "Instant meeting";
        meeting.startTime = utcNow();
        meeting.createdAt = meeting.startTime;
        meeting.duration = kInstantMeetingMinutes;
        meeting.type = kInstantMeetingType;
        meeting.noVideoHost = noVideo == "1";
        meeting.instant = true;
        const Meeting created = store.createMeeting(meeting);
        answerJson(res, 200, "{\"number\":\"" + created.id + "\",\"instant\":true}");
        return;
    }
    const std::optional<Meeting> existing = store.meetingById(std::to_string(*number));
    if (!existing) {
        answerError(res, 404, "not_found", "no such meeting");
        return;
    }
    answerJson(res, 200, "{\"number\":\"" + existing->id + "\",\"instant\":false}");
}

void handleJoin(Store& store, const httplib::Request& req, httplib::Response& res)
{
    const auto form = fields(req, res, {"number", "display_name"});
    if (!form)
        return;
    const auto& [numberText, displayName] = *form;
    // The name shows only in the joining SDK's own window; it must be text.
    if (!isValidUtf8(displayName) || hasControlCharacter(displayName)) {
        answerError(res, 400, "bad_request", "display_name is not text");
        return;
    }
    const std::optional<long long> number = meetingNumber(numberText);
    if (!number) {
        answerError(res, 400, "bad_request", "number is not a meeting number");
        return;
    }
    const std::optional<Meeting> existing =
        *number == 0 ? std::nullopt : store.meetingById(std::to_string(*number));
    if (!existing) {
        answerError(res, 404, "not_found", "no such meeting");
        return;
    }
    answerJson(res, 200, "{\"number\":\"" + existing->id + "\"}");
}

} // namespace

void registerSdkRoutes(httplib::Server& server, Store& store)
{
    // Lives as long as the server's handlers: the routes are registered once.
    static Sessions sessions;
    static LoginThrottle throttle;
    server.Post("/sdk/v1/auth", handleAuth);
    server.Post("/sdk/v1/login", [&store](const httplib::Request& req, httplib::Response& res) {
        handleLogin(store, sessions, throttle, req, res);
    });
    server.Post("/sdk/v1/meetings/start", [&store](const httplib::Request& req, httplib::Response& res) {
        handleStart(store, sessions, req, res);
    });
    server.Post("/sdk/v1/meetings/join", [&store](const httplib::Request& req, httplib::Response& res) {
        handleJoin(store, req, res);
    });
}

} // namespace devservice
