#pragma once
// One log line per request. Parameter values that are secrets (API secrets,
// passwords, tokens) are masked, so the log can be shared as it is.

#include <map>
#include <string>

namespace devservice {

// Parameters as "k=v&k=v" with secret values replaced by "***" and control
// characters by "?". Over-long values are cut.
std::string maskedParameters(const std::multimap<std::string, std::string>& params);

// "2024-03-07T01:05:00Z 127.0.0.1 POST /v3/meeting/list?api_key=...&api_secret=*** -> 200 (1234 bytes)"
std::string requestLine(const std::string& remoteAddress, const std::string& method, const std::string& path,
                        const std::multimap<std::string, std::string>& params, int status,
                        size_t answerBytes);

// "2024-03-07T01:05:00Z exception in POST /v3/meeting/list: <what>", kept
// to one line.
std::string exceptionLine(const std::string& method, const std::string& path, const std::string& what);

} // namespace devservice
