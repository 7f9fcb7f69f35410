#pragma once
// The one place where the stand-ins speak HTTPS. Every request verifies the
// server's certificate and host name against the CA file compiled in as
// TALVORA_CA_BUNDLE (nothing else is trusted then; an empty value means the
// system's CA store), connects within 10 s and completes within 30 s, so a
// dead or hung service ends in a transport error instead of a frozen window.
// An answer body above kMaxAnswerBytes is a transport error too
// (CURLE_FILESIZE_EXCEEDED): nothing a service sends can make the client
// hold more than that. Connections stay open for the next request to the same
// origin, and TLS sessions are resumed; a request is never sent twice where
// its first copy may have reached the server.

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talvora::https {

constexpr std::size_t kMaxAnswerBytes = 8 * 1024 * 1024;

// A body may carry a password and a header the session: every copy of a
// request overwrites both when it goes.
struct Request
{
    std::string url;
    std::vector<std::string> headers; // "Name: value"
    std::string body;                 // sent as the POST body (may be empty)

    ~Request();
};

// A body may carry an access token or a session: every copy overwrites it
// when it goes, and a moved-from answer is left empty.
struct Answer
{
    bool completed = false; // the server answered with some HTTP status
    long status = 0;        // HTTP status when completed
    std::string body;       // answer body when completed
    int transportError = 0; // the CURLcode when not completed

    Answer() = default;
    Answer(const Answer&) = default;
    Answer(Answer&&) = default;
    Answer& operator=(const Answer&) = default;
    Answer& operator=(Answer&&) = default;
    ~Answer();
};

// Ends a transfer from another thread at once, whatever the server does:
// the transfer fails with CURLE_ABORTED_BY_CALLBACK and its thread can be
// joined straight away. Once aborted it stays so, and every transfer handed
// it afterwards fails before it sends anything, until reset(). It serves one
// transfer at a time.
class Abort
{
public:
    Abort() = default;
    Abort(const Abort&) = delete;
    Abort& operator=(const Abort&) = delete;

    void abort();
    bool isAborted() const { return m_bAborted; }
    void reset() { m_bAborted = false; }

private:
    friend class TransferLoop;
    // `multi` is the transfer's CURLM. False when the abort came first.
    bool attach(void* multi);
    void detach();

    // Guards m_multi: abort() wakes the transfer's poll through it while the
    // transfer's thread may be finishing with it.
    std::mutex m_mutex;
    void* m_multi = nullptr;
    std::atomic<bool> m_bAborted{false};
};

// Sends a POST. Any HTTP status completes the request; only transport
// failures (resolve, connect, TLS, time-out, an answer that is too large,
// memory running out, an abort) leave completed false.
Answer post(const Request& request, Abort* abort = nullptr);

// application/x-www-form-urlencoded text of the given fields, in order
// (every byte but A-Z a-z 0-9 - . _ ~ as %XX). Written straight into the one
// string returned, so that a secret among the values leaves no other copy.
using FormField = std::pair<std::string_view, std::string_view>;
std::string formEncode(std::initializer_list<FormField> fields);
std::string formEncode(const std::vector<std::pair<std::string, std::string>>& fields);

// The CA file that every request trusts; empty for the system's store.
const char* trustedCaFile();

// Closes the connections kept open between requests and forgets the TLS
// sessions, so that the next request starts afresh. Requests in flight are
// not disturbed; their connections close when they end.
void closeConnections();

} // namespace talvora::https
