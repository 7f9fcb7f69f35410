#include "HttpRequest.h"

#include "AnswerText.h"
#include "Config.h"
#include "ErrorBox.h"
#include "KelpNetUtils.h"
#include "ServiceExchange.h"
#include "log/Log.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <sstream>

namespace {

constexpr const char* kApiKey = "5D2E8A41C07B93F6E1A04C8B7D3F2619";
constexpr const char* kApiSecret = "9B47E0C3A5D1286F4E0B7A93C6D85F12";

constexpr int kExchangeMode = 2;

// Create, update and delete tell the user themselves; the other three leave
// that to their callers and only log.
enum class Report
{
    Box,
    Log
};

void report(Report how, const std::string& message)
{
    if (how == Report::Box)
        talvora::showErrorBox(message.c_str());
    else
        LOG_INFO << message;
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// A query value as the service reads it back: every byte other than the
// unreserved characters is sent as %XX, so a topic such as "a&zcode=x" or
// "#1 周会" stays one value instead of ending or overriding the query.
std::string encoded(const std::string& value)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (unsigned char c : value) {
        if (isUnreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string apiPrefix(const char* path)
{
    std::ostringstream url;
    url << "https://" << talvora::config::kApiHost << path << "?api_key=" << kApiKey
        << "&api_secret=" << kApiSecret;
    return url.str();
}

// Sends the URL and returns the answer body, or nothing after reporting why.
std::optional<std::string> exchange(const std::string& url, Report how)
{
    const int32_t handle = NET_HTTPCLIENT_Create();
    if (handle < 0) {
        report(how, "网络异常(创建HTTP句柄失败)");
        return std::nullopt;
    }
    // The message names Content-Type although the header is Content-Length;
    // the text is the one users and support know.
    if (!NET_HTTPCLIENT_SetParam(handle, NET_HTTPCLIENT_PARAM_HEADER, "Content-Length", 15, "0", 2))
        report(how, "网络异常(HTTP setParam(Content-Type) fail)");

    HttpExchange record;
    std::memset(&record, 0, sizeof record);
    record.url = url.data();
    // A URL longer than the record's length field can describe goes out with
    // length 0, which the library refuses as a bad argument.
    record.urlLength = url.size() <= INT32_MAX ? static_cast<int32_t>(url.size()) : 0;
    record.mode = kExchangeMode;

    const talvora::ExchangeResult result = talvora::runExchange(handle, record);
    if (!result.completed) {
        // After a quit nobody waits for the answer, nor for a box about it.
        if (!talvora::quitRequested()) {
            talvora::logWhenAnswerTooLarge(result.lastError);
            report(how, "网络异常,http数据交互错误,错误码: " + std::to_string(result.lastError));
        }
        if (!result.handleReleased)
            NET_HTTPCLIENT_Destroy(handle);
        return std::nullopt;
    }
    // An answer that arrived as the user quit is dropped unread: nothing is
    // built from it any more.
    if (talvora::quitRequested()) {
        NET_HTTPCLIENT_Destroy(handle);
        return std::nullopt;
    }
    std::optional<std::string> answer = talvora::answerBytes(record.answer, record.answerLength);
    NET_HTTPCLIENT_Destroy(handle);
    if (!answer)
        report(how, "网络异常,http数据交互错误,错误码: " + std::to_string(NET_UTILS_ERROR_OUT_OF_MEMORY));
    return answer;
}

// The tail of the three queries whose callers read the answer themselves:
// failures are only logged, `logPrefix` (when given) logs the answer with the
// user record's token and any password masked, and `answer` may be null.
bool fetch(const std::string& url, const char* logPrefix, std::string* answer)
{
    std::optional<std::string> text = exchange(url, Report::Log);
    if (!text)
        return false;
    if (logPrefix) {
        try {
            LOG_INFO << logPrefix << talvora::maskedAnswer(*text);
        } catch (const std::bad_alloc&) {
            // Only the log line is lost.
        }
    }
    if (answer)
        *answer = std::move(*text);
    return true;
}

// The tail of update and delete: the service confirms with a key of its
// answer, and the user is told when it is missing.
bool confirmed(const std::string& url, const char* key, const char* failure)
{
    const std::optional<std::string> answer = exchange(url, Report::Box);
    if (!answer)
        return false;
    if (answer->find(key) == std::string::npos) {
        talvora::showErrorBox(failure);
        return false;
    }
    return true;
}

// The value of the first "id" key: the text between the first quote at or
// after the colon position and the next quote. Nothing when the answer ends
// before either quote.
std::optional<std::string> meetingIdIn(const std::string& answer)
{
    const std::string key = "\"id\"";
    const size_t f = answer.find(key);
    if (f == std::string::npos)
        return std::nullopt;
    const size_t from = f + key.size() + 1;
    if (from >= answer.size())
        return std::nullopt;
    const size_t g = answer.find('"', from);
    if (g == std::string::npos)
        return std::nullopt;
    const size_t h = answer.find('"', g + 1);
    if (h == std::string::npos)
        return std::nullopt;
    return answer.substr(g + 1, h - g - 1);
}

} // namespace

bool CreateMeeting(std::string zcode, std::string topic, std::string noVideo, std::string startTime,
                   std::string duration, std::string* meetingId)
{
    std::ostringstream url;
    url << apiPrefix("/v3/meeting/create") << "&zcode=" << encoded(zcode) << "&topic=" << encoded(topic)
        << "&type=2&start_time=" << encoded(startTime) << "&duration=" << encoded(duration)
        << "&option_no_video_host=" << encoded(noVideo)
        << "&option_no_video_participants=" << encoded(noVideo);
    const std::optional<std::string> answer = exchange(url.str(), Report::Box);
    if (!answer)
        return false;
    const std::optional<std::string> id = meetingIdIn(*answer);
    if (!id) {
        talvora::showErrorBox("预定会议失败(找不到id字段)");
        return false;
    }
    if (meetingId)
        *meetingId = *id;
    return true;
}

bool UpdateMeeting(std::string zcode, std::string meetingId, std::string topic, std::string startTime,
                   std::string duration, std::string noVideo)
{
    std::ostringstream url;
    url << apiPrefix("/v3/meeting/update") << "&meeting_id=" << encoded(meetingId)
        << "&zcode=" << encoded(zcode) << "&topic=" << encoded(topic)
        << "&type=2&start_time=" << encoded(startTime) << "&duration=" << encoded(duration)
        << "&option_no_video_host=" << encoded(noVideo)
        << "&option_no_video_participants=" << encoded(noVideo);
    return confirmed(url.str(), "\"meeting_id\"", "修改会议失败(找不到meeting_id字段)");
}

bool DeleteMeeting(std::string zcode, std::string meetingId)
{
    std::ostringstream url;
    url << apiPrefix("/v3/meeting/delete") << "&meeting_id=" << encoded(meetingId)
        << "&zcode=" << encoded(zcode);
    return confirmed(url.str(), "\"deleted_at\"", "删除会议失败(找不到deleted_at字段)");
}

bool ListMeetings(std::string zcode, std::string* answer)
{
    std::ostringstream url;
    url << apiPrefix("/v3/meeting/list") << "&page_size=50&page_number=1&zcode=" << encoded(zcode);
    return fetch(url.str(), nullptr, answer);
}

bool GetUser(std::string loginName, std::string* answer)
{
    std::ostringstream url;
    url << apiPrefix("/v3/user/get") << "&logintype=1&loginname=" << encoded(loginName);
    return fetch(url.str(), "show username respond:", answer);
}

bool UpdateUserName(std::string zcode, std::string userName, std::string* answer)
{
    std::ostringstream url;
    url << apiPrefix("/v3/user/update") << "&zcode=" << encoded(zcode) << "&username=" << encoded(userName);
    return fetch(url.str(), "modify username respond:", answer);
}
