#pragma once
// Text helpers of the development service: JSON string literals and error
// answers, UTF-8 checks and the time conversions of the conferencing API.

#include <cstddef>
#include <optional>
#include <string>

namespace httplib {
struct Response;
}

namespace devservice {

// The text as a JSON string literal, quotes included. Expects valid UTF-8
// (callers check input with isValidUtf8 first); control characters are
// escaped.
std::string jsonString(const std::string& text);

// Sets the status and a JSON refusal. The cloud and SDK endpoints name the
// error, {"error":"<name>","message":"<message>"}; the conferencing API
// numbers it, {"code":<code>,"message":"<message>"}, and declares UTF-8.
void answerError(httplib::Response& res, int status, const std::string& name, const std::string& message);
void answerError(httplib::Response& res, int status, int code, const std::string& message);

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::string& text);
// Number of code points of valid UTF-8 text.
size_t utf8Length(const std::string& text);
// Any byte below 0x20 or 0x7F.
bool hasControlCharacter(const std::string& text);

// Whether a given secret equals the expected one, in a time that tells
// nothing of where they differ or how long the expected one is. An empty
// expected secret matches nothing.
bool sameSecret(const std::string& given, const std::string& expected);

// The client sends booking times as UTC+8 wall-clock text, "2024-03-07 9:05:00"
// (hour with or without a leading zero). Answers "2024-03-07T01:05:00Z", or
// nothing when the text is not such a time.
std::optional<std::string> beijingToUtc(const std::string& wallClock);

// The current time as "YYYY-MM-DDTHH:MM:SSZ".
std::string utcNow();

} // namespace devservice
