#include "HttpsClient.h"
#include "ConnectionPool.h"
#include "HttpsClientTesting.h"

#include <curl/curl.h>
#include <openssl/crypto.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

namespace talvora::https {
namespace {

constexpr long kConnectTimeoutMs = 10'000;
constexpr long kRequestTimeoutMs = 30'000;

// The time-outs in force; tests of a silent service shorten them.
std::atomic<long> g_connectTimeoutMs{kConnectTimeoutMs};
std::atomic<long> g_requestTimeoutMs{kRequestTimeoutMs};

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Collects the answer body up to kMaxAnswerBytes. An answer that announces a
// larger size is refused by libcurl itself (CURLOPT_MAXFILESIZE_LARGE); one
// that does not (chunked, or a lying Content-Length) is cut off here.
struct BodySink
{
    std::string body;
    bool tooLarge = false;
    bool outOfMemory = false;
};

// Called by libcurl (C code): nothing may be thrown through it. Any count
// other than the one given aborts the transfer.
size_t appendToBody(char* data, size_t size, size_t count, void* target)
{
    auto* sink = static_cast<BodySink*>(target);
    const size_t bytes = size * count;
    if (bytes > kMaxAnswerBytes - sink->body.size()) {
        sink->tooLarge = true;
        return 0;
    }
    try {
        sink->body.append(data, bytes);
    } catch (const std::bad_alloc&) {
        sink->outOfMemory = true;
        return 0;
    }
    return bytes;
}

struct CurlDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

// The list's copies of the headers carry the session ("Authorization").
struct HeaderListDeleter
{
    void operator()(curl_slist* list) const
    {
        for (curl_slist* item = list; item != nullptr; item = item->next)
            OPENSSL_cleanse(item->data, std::strlen(item->data));
        curl_slist_free_all(list);
    }
};

// When a reused connection ends without an answer, libcurl sends the request
// again on a new connection, even when the request had already gone out on
// the old one: the server may have acted on it (a meeting booked twice). The
// guard lets the second attempt through only when nothing of the request was
// written to the old connection. An idle connection's send buffer is empty,
// so a small request is written whole or not at all: an empty request count
// means that no byte of it left the process.
struct ResendGuard
{
    CURL* easy = nullptr;
    int attempts = 0;
    bool refused = false;

    // Called by libcurl right before each attempt sends the request.
    static int beforeRequest(void* guard, char*, char*, int, int)
    {
        auto* self = static_cast<ResendGuard*>(guard);
        ++self->attempts;
        if (self->attempts == 1)
            return CURL_PREREQFUNC_OK;
        long sent = -1;
        curl_easy_getinfo(self->easy, CURLINFO_REQUEST_SIZE, &sent);
        if (self->attempts == 2 && sent == 0)
            return CURL_PREREQFUNC_OK;
        self->refused = true;
        return CURL_PREREQFUNC_ABORT;
    }
};

// A poll wakes up at least this often even when nothing else wakes it; it
// only bounds how late the transport notices its own time-outs.
constexpr int kPollMilliseconds = 1000;

} // namespace

// Drives one easy handle through the multi handle of its lane, so that an
// Abort can wake the poll that waits for a silent server.
class TransferLoop
{
public:
    static CURLcode run(CURLM* multi, CURL* easy, Abort* abort)
    {
        if (curl_multi_add_handle(multi, easy) != CURLM_OK)
            return CURLE_OUT_OF_MEMORY;
        CURLcode result = CURLE_ABORTED_BY_CALLBACK;
        if (!abort || abort->attach(multi)) {
            result = drive(multi, abort);
            if (abort)
                abort->detach();
        }
        curl_multi_remove_handle(multi, easy);
        return result;
    }

private:
    static CURLcode drive(CURLM* multi, const Abort* abort)
    {
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                return CURLE_RECV_ERROR;
            if (running == 0)
                break;
            if (abort && abort->isAborted())
                return CURLE_ABORTED_BY_CALLBACK;
            if (curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK)
                return CURLE_RECV_ERROR;
            if (abort && abort->isAborted())
                return CURLE_ABORTED_BY_CALLBACK;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                return message->data.result;
        }
        return CURLE_RECV_ERROR;
    }
};

void Abort::abort()
{
    m_bAborted = true;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

bool Abort::attach(void* multi)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Checked under the lock: an abort() that comes after this point finds
    // the multi handle and wakes it.
    if (m_bAborted)
        return false;
    m_multi = multi;
    return true;
}

void Abort::detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_multi = nullptr;
}

const char* trustedCaFile()
{
    return TALVORA_CA_BUNDLE;
}

void closeConnections()
{
    ConnectionPool::instance().closeAll();
}

namespace {

Answer perform(const Request& request, Abort* abort)
{
    Answer answer;
    // Declared before the easy handle, which must be cleaned up first.
    std::optional<ConnectionPool::Lease> lease = ConnectionPool::instance().acquire(request.url);
    if (!lease) {
        answer.transportError = CURLE_OUT_OF_MEMORY;
        return answer;
    }
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        answer.transportError = CURLE_FAILED_INIT;
        return answer;
    }
    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    for (const std::string& header : request.headers) {
        curl_slist* appended = curl_slist_append(headers.get(), header.c_str());
        if (!appended) {
            answer.transportError = CURLE_OUT_OF_MEMORY;
            return answer;
        }
        headers.release();
        headers.reset(appended);
    }

    BodySink sink;
    CURL* handle = curl.get();
    const char* caFile = trustedCaFile();
    const bool ownBundle = caFile && *caFile;
    ResendGuard guard;
    guard.easy = handle;
    // An option that this libcurl does not know (older than 7.85) or refuses
    // fails the request before it is sent: without it the request would go
    // out unguarded, to any protocol, or trusting more than it should.
    const CURLcode set[] = {
        curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str()),
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https"),
        curl_easy_setopt(handle, CURLOPT_POST, 1L),
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data()),
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size())),
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get()),
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L),
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L),
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, g_connectTimeoutMs.load()),
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, g_requestTimeoutMs.load()),
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L),
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxAnswerBytes)),
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendToBody),
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink),
        curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, ResendGuard::beforeRequest),
        curl_easy_setopt(handle, CURLOPT_PREREQDATA, &guard),
        // Only the bundle: libcurl would also trust its compiled-in CA
        // directory (the system's) unless that is cleared.
        ownBundle ? curl_easy_setopt(handle, CURLOPT_CAINFO, caFile) : CURLE_OK,
        ownBundle ? curl_easy_setopt(handle, CURLOPT_CAPATH, static_cast<const char*>(nullptr)) : CURLE_OK,
        lease->attach(handle),
    };
    for (const CURLcode result : set) {
        if (result != CURLE_OK) {
            answer.transportError = result;
            return answer;
        }
    }

    const CURLcode code = TransferLoop::run(lease->multi(), handle, abort);
    if (code != CURLE_OK) {
        const bool aborted = abort && abort->isAborted();
        // A refused resend: the connection ended without an answer.
        answer.transportError = sink.tooLarge               ? CURLE_FILESIZE_EXCEEDED
                                : sink.outOfMemory          ? CURLE_OUT_OF_MEMORY
                                : guard.refused && !aborted ? CURLE_GOT_NOTHING
                                                            : code;
        return answer;
    }
    lease->keep();
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.completed = true;
    answer.body = std::move(sink.body);
    return answer;
}

} // namespace

Answer post(const Request& request, Abort* abort)
{
    initialiseCurlOnce();
    try {
        return perform(request, abort);
    } catch (const std::bad_alloc&) {
        Answer failed;
        failed.transportError = CURLE_OUT_OF_MEMORY;
        return failed;
    }
}

namespace {

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

template <class Fields> std::string encodeFields(const Fields& fields)
{
    const auto encodedSize = [](std::string_view text) {
        std::size_t size = 0;
        for (const char c : text)
            size += isUnreserved(static_cast<unsigned char>(c)) ? 1 : 3;
        return size;
    };
    const auto append = [](std::string& out, std::string_view text) {
        static const char kHex[] = "0123456789ABCDEF";
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (isUnreserved(byte)) {
                out += c;
            } else {
                out += '%';
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            }
        }
    };
    // Sized first: a string that grew would leave the bytes written so far
    // in the blocks it gave up.
    std::size_t size = 0;
    for (const auto& [name, value] : fields)
        size += encodedSize(name) + 1 + encodedSize(value) + 1;
    std::string form;
    form.reserve(size);
    for (const auto& [name, value] : fields) {
        if (!form.empty())
            form += '&';
        append(form, name);
        form += '=';
        append(form, value);
    }
    return form;
}

} // namespace

Request::~Request()
{
    OPENSSL_cleanse(body.data(), body.capacity());
    for (std::string& header : headers)
        OPENSSL_cleanse(header.data(), header.capacity());
}

Answer::~Answer()
{
    OPENSSL_cleanse(body.data(), body.capacity());
}

std::string formEncode(std::initializer_list<FormField> fields)
{
    return encodeFields(fields);
}

std::string formEncode(const std::vector<std::pair<std::string, std::string>>& fields)
{
    return encodeFields(fields);
}

} // namespace talvora::https

namespace talvora::https::testing {

void setTimeouts(long connectMs, long totalMs)
{
    g_connectTimeoutMs = connectMs > 0 ? connectMs : kConnectTimeoutMs;
    g_requestTimeoutMs = totalMs > 0 ? totalMs : kRequestTimeoutMs;
}

} // namespace talvora::https::testing
