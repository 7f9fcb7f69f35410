#pragma once
// Plain-text handling of service answers that is shared by the sign-in and the
// REST client: where a quoted field's value lies, and the masked form of an
// answer that may be logged or printed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace talvora {

// Byte range [begin, end) of a field's value inside an answer.
using AnswerSpan = std::pair<std::size_t, std::size_t>;

// The value that follows a quoted field name ending at `afterName`: the
// character right after the name is skipped unseen (normally the colon), and
// the value is the text between the next two double quotes. A value whose
// closing quote is missing runs to the end of the answer.
AnswerSpan valueSpanAfter(const std::string& answer, std::size_t afterName);

// A completed exchange's answer bytes as a string; nothing when memory runs
// out, which callers treat like a failed exchange
// (NET_UTILS_ERROR_OUT_OF_MEMORY).
std::optional<std::string> answerBytes(const char* answer, int32_t answerLength);

// After a failed exchange: logs one line naming the size limit when the
// answer was refused for its size. Other failures are the caller's to log.
void logWhenAnswerTooLarge(int32_t errorCode);

// What stands in for a secret of `length` bytes.
std::string maskOf(std::size_t length);

// The answer as it may be shown: every value that could be read as "password"
// or "token" (each occurrence of the names, quoted or not) and any copy of
// `accessToken` (when not empty) are replaced by a mask carrying the length.
std::string maskedAnswer(const std::string& answer, const std::string& accessToken = std::string());

} // namespace talvora
