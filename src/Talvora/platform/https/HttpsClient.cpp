#include "HttpsClient.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace talvora::https {
namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kRequestTimeoutSeconds = 30;

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t appendToString(char* data, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

struct CurlDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

struct HeaderListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

const char* trustedCaFile()
{
    return TALVORA_CA_BUNDLE;
}

Answer post(const Request& request)
{
    initialiseCurlOnce();
    Answer answer;
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

    std::string body;
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_CAINFO, trustedCaFile());
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, kRequestTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendToString);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);

    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        answer.transportError = code;
        return answer;
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.completed = true;
    answer.body = std::move(body);
    return answer;
}

std::string formEncode(const std::vector<std::pair<std::string, std::string>>& fields)
{
    initialiseCurlOnce();
    const auto escape = [](const std::string& text) {
        std::string escaped;
        if (char* out = curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size()))) {
            escaped = out;
            curl_free(out);
        }
        return escaped;
    };
    std::string form;
    for (const auto& [name, value] : fields) {
        if (!form.empty())
            form += '&';
        form += escape(name);
        form += '=';
        form += escape(value);
    }
    return form;
}

} // namespace talvora::https
