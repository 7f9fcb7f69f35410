// KelpNetUtils over libcurl (through talvora::https). Handles index a table
// of clients; each client keeps its request headers and its last answer,
// which stays valid for the caller until the handle is destroyed.

#include "KelpNetUtils.h"

#include "HttpsClient.h"

#include <curl/curl.h>

#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

static_assert(NET_HTTPCLIENT_MAX_ANSWER_BYTES == talvora::https::kMaxAnswerBytes, "one answer limit");
static_assert(NET_UTILS_ERROR_OUT_OF_MEMORY == CURLE_OUT_OF_MEMORY, "error codes are CURLcodes");
static_assert(NET_UTILS_ERROR_ANSWER_TOO_LARGE == CURLE_FILESIZE_EXCEEDED, "error codes are CURLcodes");

constexpr int32_t kMaxHandles = 1024;
constexpr uint8_t kShortLinkMode = 2;

struct Client
{
    uint64_t serial = 0; // tells a reused slot from the one an exchange started on
    std::vector<std::string> headers;
    std::string answer;
    // Shared with an exchange in flight, which Destroy ends through it.
    std::shared_ptr<talvora::https::Abort> abort = std::make_shared<talvora::https::Abort>();
};

// Guards g_clients and g_nextSerial. The lock is never held during a
// network exchange, so one slow server does not stall other handles.
std::mutex g_mutex;
std::vector<std::optional<Client>> g_clients;
uint64_t g_nextSerial = 1;

thread_local int32_t t_lastError = 0;

Client* clientOf(int32_t handle)
{
    if (handle < 0 || static_cast<size_t>(handle) >= g_clients.size() || !g_clients[handle])
        return nullptr;
    return &*g_clients[handle];
}

// A text whose length counts its terminating NUL, as the library's callers
// pass it; a length without the NUL is accepted too.
std::optional<std::string> textOf(const char* data, int length)
{
    if (!data || length <= 0)
        return std::nullopt;
    std::string text(data, static_cast<size_t>(length));
    if (text.back() == '\0')
        text.pop_back();
    if (text.find('\0') != std::string::npos)
        return std::nullopt;
    return text;
}

// Header names and values never carry line breaks, so a caller's text cannot
// smuggle a second header or a body into the request.
bool isHeaderSafe(const std::string& name, const std::string& value)
{
    if (name.empty() || name.find_first_of(":\r\n \t") != std::string::npos)
        return false;
    return value.find_first_of("\r\n") == std::string::npos;
}

int fail(int32_t code)
{
    t_lastError = code;
    return 0;
}

} // namespace

extern "C" {

int NET_UTILS_Init()
{
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK ? 1 : 0;
}

void NET_UTILS_Fini()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (std::optional<Client>& client : g_clients) {
            if (client)
                client->abort->abort();
        }
        g_clients.clear();
    }
    // Kept connections and TLS sessions go while libcurl and its TLS library
    // still run.
    talvora::https::closeConnections();
    curl_global_cleanup();
}

int32_t NET_UTILS_GetLastError()
{
    return t_lastError;
}

int32_t NET_HTTPCLIENT_Create()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    size_t slot = 0;
    while (slot < g_clients.size() && g_clients[slot])
        ++slot;
    if (slot >= static_cast<size_t>(kMaxHandles)) {
        t_lastError = CURLE_OUT_OF_MEMORY;
        return -1;
    }
    if (slot == g_clients.size())
        g_clients.emplace_back();
    g_clients[slot].emplace();
    g_clients[slot]->serial = g_nextSerial++;
    return static_cast<int32_t>(slot);
}

int NET_HTTPCLIENT_SetParam(int32_t handle, int kind, const char* name, int nameLength, const char* value,
                            int valueLength)
{
    if (kind != NET_HTTPCLIENT_PARAM_HEADER)
        return fail(CURLE_BAD_FUNCTION_ARGUMENT);
    const std::optional<std::string> headerName = textOf(name, nameLength);
    const std::optional<std::string> headerValue = textOf(value, valueLength);
    if (!headerName || !headerValue || !isHeaderSafe(*headerName, *headerValue))
        return fail(CURLE_BAD_FUNCTION_ARGUMENT);

    std::lock_guard<std::mutex> lock(g_mutex);
    Client* client = clientOf(handle);
    if (!client)
        return fail(CURLE_BAD_FUNCTION_ARGUMENT);
    client->headers.push_back(*headerName + ": " + *headerValue);
    return 1;
}

int NET_HTTPCLIENT_ShortLinkExchange(int32_t handle, HttpExchange* exchange)
{
    if (!exchange || !exchange->url || exchange->urlLength <= 0 || exchange->mode != kShortLinkMode)
        return fail(CURLE_BAD_FUNCTION_ARGUMENT);

    talvora::https::Request request;
    request.url.assign(exchange->url, static_cast<size_t>(exchange->urlLength));
    if (request.url.find('\0') != std::string::npos)
        return fail(CURLE_URL_MALFORMAT);
    uint64_t serial = 0;
    std::shared_ptr<talvora::https::Abort> abort;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        Client* client = clientOf(handle);
        if (!client)
            return fail(CURLE_BAD_FUNCTION_ARGUMENT);
        serial = client->serial;
        request.headers = client->headers;
        abort = client->abort;
    }

    talvora::https::Answer answer = talvora::https::post(request, abort.get());
    if (!answer.completed)
        return fail(answer.transportError != 0 ? answer.transportError : CURLE_RECV_ERROR);
    if (answer.body.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        return fail(CURLE_FILESIZE_EXCEEDED);

    std::lock_guard<std::mutex> lock(g_mutex);
    Client* client = clientOf(handle);
    if (!client || client->serial != serial)
        return fail(CURLE_BAD_FUNCTION_ARGUMENT); // destroyed while the exchange ran
    client->answer = std::move(answer.body);
    exchange->answer = client->answer.data();
    exchange->answerLength = static_cast<int32_t>(client->answer.size());
    return 1;
}

void NET_HTTPCLIENT_Destroy(int32_t handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (Client* client = clientOf(handle)) {
        client->abort->abort();
        g_clients[handle].reset();
    }
}

} // extern "C"
