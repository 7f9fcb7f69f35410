#include "KelpNetUtilsDouble.h"

#include "KelpNetUtils.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

namespace kelp_double {
namespace {

struct Scripted
{
    bool fails = false;
    int32_t errorCode = 0;
    std::string body;
};

struct State
{
    int initResult = 1;
    std::optional<int32_t> createResult; // unset: hand out 0, 1, 2, ...
    int32_t nextHandle = 0;
    int setParamResult = 1;
    int32_t lastError = 0;
    std::deque<Scripted> script;
    std::map<int32_t, std::vector<std::pair<std::string, std::string>>> headers;
    std::map<int32_t, std::string> answers; // kept alive until Destroy, like the library
    std::vector<Exchange> exchanges;
    std::vector<std::string> calls;
    int destroyed = 0;
    int inFlight = 0;
    std::vector<std::pair<std::string, std::chrono::milliseconds>> holds;
};

// Guards state(): a test may drive the client from more than one thread.
std::mutex g_mutex;
// Signalled when a handle is destroyed, for held exchanges.
std::condition_variable g_destroyed;

constexpr int32_t kAbortedError = 42; // CURLE_ABORTED_BY_CALLBACK

State& state()
{
    static State instance;
    return instance;
}

std::string textOf(const char* data, int lengthWithNul)
{
    if (!data || lengthWithNul <= 0)
        return {};
    // The lengths count the terminating NUL; tolerate a caller that does not.
    std::string text(data, static_cast<size_t>(lengthWithNul));
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

bool isZeroed(const HttpExchange& record)
{
    if (record.answer || record.answerLength || record.reserved0)
        return false;
    for (uint8_t byte : record.reserved1) {
        if (byte)
            return false;
    }
    for (int32_t word : record.reserved2) {
        if (word)
            return false;
    }
    return true;
}

} // namespace

void reset()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state() = State{};
}

void setInitResult(int result)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().initResult = result;
}

void setCreateResult(int32_t handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().createResult = handle;
}

void setSetParamResult(int result)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().setParamResult = result;
}

void queueAnswer(std::string body)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().script.push_back(Scripted{false, 0, std::move(body)});
}

void queueFailure(int32_t errorCode)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().script.push_back(Scripted{true, errorCode, {}});
}

void holdExchanges(std::string urlPart, std::chrono::milliseconds hold)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().holds.emplace_back(std::move(urlPart), hold);
}

std::vector<Exchange> exchanges()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return state().exchanges;
}

std::vector<std::string> calls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return state().calls;
}

int exchangesInFlight()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return state().inFlight;
}

int destroyedHandles()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return state().destroyed;
}

} // namespace kelp_double

using kelp_double::g_destroyed;
using kelp_double::g_mutex;
using kelp_double::state;

extern "C" {

int NET_UTILS_Init()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().calls.push_back("Init");
    return state().initResult;
}

void NET_UTILS_Fini()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().calls.push_back("Fini");
}

int32_t NET_UTILS_GetLastError()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return state().lastError;
}

int32_t NET_HTTPCLIENT_Create()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& s = state();
    s.calls.push_back("Create");
    const int32_t handle = s.createResult ? *s.createResult : s.nextHandle++;
    if (handle >= 0)
        s.headers[handle].clear();
    return handle;
}

int NET_HTTPCLIENT_SetParam(int32_t handle, int kind, const char* name, int nameLength, const char* value,
                            int valueLength)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& s = state();
    s.calls.push_back("SetParam");
    if (!s.setParamResult)
        return 0;
    if (kind == NET_HTTPCLIENT_PARAM_HEADER)
        s.headers[handle].emplace_back(kelp_double::textOf(name, nameLength),
                                       kelp_double::textOf(value, valueLength));
    return s.setParamResult;
}

int NET_HTTPCLIENT_ShortLinkExchange(int32_t handle, HttpExchange* exchange)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    auto& s = state();
    s.calls.push_back("ShortLinkExchange");
    if (!exchange)
        return 0;
    kelp_double::Exchange record;
    record.handle = handle;
    if (exchange->url && exchange->urlLength > 0)
        record.url.assign(exchange->url, static_cast<size_t>(exchange->urlLength));
    record.mode = exchange->mode;
    record.recordWasZeroed = kelp_double::isZeroed(*exchange);
    record.headers = s.headers[handle];
    const std::string url = record.url;
    s.exchanges.push_back(std::move(record));
    ++s.inFlight;
    struct Leaving
    {
        ~Leaving() { --state().inFlight; } // under g_mutex, held again by then
    } leaving;

    for (const auto& [urlPart, hold] : s.holds) {
        if (url.find(urlPart) == std::string::npos)
            continue;
        const bool abandoned =
            g_destroyed.wait_for(lock, hold, [&] { return state().headers.count(handle) == 0; });
        if (abandoned) {
            state().lastError = kelp_double::kAbortedError;
            return 0;
        }
        break;
    }

    kelp_double::Scripted next;
    if (!s.script.empty()) {
        next = std::move(s.script.front());
        s.script.pop_front();
    }
    if (next.fails) {
        s.lastError = next.errorCode;
        return 0;
    }
    std::string& answer = s.answers[handle];
    answer = std::move(next.body);
    exchange->answer = answer.data();
    exchange->answerLength = static_cast<int32_t>(answer.size());
    return 1;
}

void NET_HTTPCLIENT_Destroy(int32_t handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& s = state();
    s.calls.push_back("Destroy");
    s.answers.erase(handle);
    s.headers.erase(handle);
    ++s.destroyed;
    g_destroyed.notify_all();
}

} // extern "C"
