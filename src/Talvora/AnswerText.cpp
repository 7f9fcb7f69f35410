#include "AnswerText.h"

#include "KelpNetUtils.h"
#include "log/Log.h"

#include <algorithm>
#include <new>
#include <optional>
#include <vector>

namespace talvora {
namespace {

std::string quoted(const char* name)
{
    return std::string("\"") + name + "\"";
}

bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The JSON value after a quoted name when it is not a string (a number, say):
// the text-search rule of valueSpanAfter would never look at it.
std::optional<AnswerSpan> unquotedValueSpanAfter(const std::string& answer, std::size_t afterName)
{
    std::size_t at = afterName;
    while (at < answer.size() && isJsonSpace(answer[at]))
        ++at;
    if (at >= answer.size() || answer[at] != ':')
        return std::nullopt;
    ++at;
    while (at < answer.size() && isJsonSpace(answer[at]))
        ++at;
    if (at >= answer.size() || answer[at] == '"')
        return std::nullopt;
    std::size_t end = at;
    while (end < answer.size() && answer[end] != ',' && answer[end] != '}' && answer[end] != ']' &&
           !isJsonSpace(answer[end]))
        ++end;
    if (end == at)
        return std::nullopt;
    return AnswerSpan{at, end};
}

} // namespace

AnswerSpan valueSpanAfter(const std::string& answer, std::size_t afterName)
{
    const std::size_t open =
        afterName + 1 <= answer.size() ? answer.find('"', afterName + 1) : std::string::npos;
    if (open == std::string::npos)
        return {answer.size(), answer.size()};
    const std::size_t close = answer.find('"', open + 1);
    return {open + 1, close == std::string::npos ? answer.size() : close};
}

std::optional<std::string> answerBytes(const char* answer, int32_t answerLength)
{
    if (!answer || answerLength <= 0)
        return std::string();
    try {
        return std::string(answer, static_cast<std::size_t>(answerLength));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

void logWhenAnswerTooLarge(int32_t errorCode)
{
    if (errorCode == NET_UTILS_ERROR_ANSWER_TOO_LARGE)
        LOG_INFO << "answer refused: larger than " << NET_HTTPCLIENT_MAX_ANSWER_BYTES << " bytes";
}

std::string maskOf(std::size_t length)
{
    return "***(len " + std::to_string(length) + ")";
}

std::string maskedAnswer(const std::string& answer, const std::string& accessToken)
{
    std::vector<AnswerSpan> secrets;
    for (const char* name : {"password", "token"}) {
        const std::string key = quoted(name);
        for (std::size_t at = answer.find(key); at != std::string::npos; at = answer.find(key, at + 1)) {
            const std::size_t afterName = at + key.size();
            secrets.push_back(valueSpanAfter(answer, afterName));
            if (const std::optional<AnswerSpan> bare = unquotedValueSpanAfter(answer, afterName))
                secrets.push_back(*bare);
        }
    }
    if (!accessToken.empty()) {
        for (std::size_t at = answer.find(accessToken); at != std::string::npos;
             at = answer.find(accessToken, at + 1))
            secrets.push_back({at, at + accessToken.size()});
    }
    std::sort(secrets.begin(), secrets.end());

    std::string shown;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < secrets.size();) {
        AnswerSpan merged = secrets[i];
        for (++i; i < secrets.size() && secrets[i].first <= merged.second; ++i)
            merged.second = std::max(merged.second, secrets[i].second);
        if (merged.first == merged.second)
            continue;
        shown.append(answer, copied, merged.first - copied);
        shown += maskOf(merged.second - merged.first);
        copied = merged.second;
    }
    shown.append(answer, copied, std::string::npos);
    return shown;
}

} // namespace talvora
