#pragma once
// How the service's HTTP server behaves apart from its routes: one log line
// per request, JSON errors, a handler's exception turned into a plain 500,
// and limits that keep slow or greedy clients from stalling it.

#include <functional>
#include <string>

namespace httplib {
class Server;
}

namespace devservice {

// Longest pause allowed while a request (headers, body, TLS handshake) is
// read, and how long an idle kept-alive connection is held. The whole
// request's deadline and the connections per client address are the
// GuardedServer's (ConnectionLimits).
constexpr int kReadTimeoutSeconds = 2;
constexpr int kKeepAliveSeconds = 2;
constexpr size_t kKeepAliveRequests = 20;
constexpr size_t kMaxPayloadBytes = 64 * 1024;

// Sets everything above on the server; `log` receives whole lines, possibly
// from several threads at once.
void configureServer(httplib::Server& server, std::function<void(const std::string&)> log);

} // namespace devservice
