#pragma once
// The maker's network utility library: HTTPS exchanges through small integer
// handles. On the original target this is a closed library; here it is
// implemented over libcurl (kelpnetutils/).

#include <cstddef>
#include <cstdint>

// Request-and-answer record of NET_HTTPCLIENT_ShortLinkExchange. The closed
// library fixes its layout for 32-bit builds (36 bytes); on 64-bit hosts the
// two pointers are naturally wider.
struct HttpExchange
{
    const char* url;      // request URL bytes, not necessarily NUL-terminated
    int32_t urlLength;    // URL length in bytes
    const char* answer;   // out: answer body, owned by the handle until NET_HTTPCLIENT_Destroy
    int32_t answerLength; // out: answer length in bytes
    int32_t reserved0;
    uint8_t mode; // exchange mode; the client always uses 2
    uint8_t reserved1[3];
    int32_t reserved2[3];
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HttpExchange) == 36, "HttpExchange layout is fixed by the library");
static_assert(offsetof(HttpExchange, urlLength) == 4, "HttpExchange layout");
static_assert(offsetof(HttpExchange, answer) == 8, "HttpExchange layout");
static_assert(offsetof(HttpExchange, answerLength) == 12, "HttpExchange layout");
static_assert(offsetof(HttpExchange, mode) == 20, "HttpExchange layout");
#endif

// Parameter kind of NET_HTTPCLIENT_SetParam that adds a request header.
constexpr int NET_HTTPCLIENT_PARAM_HEADER = 3;

// The largest answer body an exchange accepts. A larger one fails the
// exchange with NET_UTILS_ERROR_ANSWER_TOO_LARGE.
constexpr int32_t NET_HTTPCLIENT_MAX_ANSWER_BYTES = 8 * 1024 * 1024;

// Codes of NET_UTILS_GetLastError that callers tell apart.
constexpr int32_t NET_UTILS_ERROR_OUT_OF_MEMORY = 27;
constexpr int32_t NET_UTILS_ERROR_ANSWER_TOO_LARGE = 63;

extern "C" {

// Starts the library; non-zero on success, 0 on failure.
int NET_UTILS_Init();
void NET_UTILS_Fini();

// The calling thread's last error. After a failed exchange this is the
// transport's error code (a CURLcode in this implementation); it stays as it
// was after successful calls.
int32_t NET_UTILS_GetLastError();

// A new client handle (small, non-negative), or a negative value on failure.
int32_t NET_HTTPCLIENT_Create();

// Kind 3 adds the request header name: value. Both lengths count the
// terminating NUL. Non-zero on success, 0 on failure.
int NET_HTTPCLIENT_SetParam(int32_t handle, int kind, const char* name, int nameLength, const char* value,
                            int valueLength);

// Sends exchange->url (mode 2: a POST with an empty body) and, when the
// server answered with any HTTP status, fills answer/answerLength with the
// body and returns non-zero. Transport failures (resolve, connect, TLS,
// time-out, an answer above NET_HTTPCLIENT_MAX_ANSWER_BYTES) return 0 and
// set NET_UTILS_GetLastError.
int NET_HTTPCLIENT_ShortLinkExchange(int32_t handle, HttpExchange* exchange);

// Releases the handle and its answer buffer. Safe from any thread: an
// exchange in flight on the handle ends at once as a transport failure, which
// is how a caller abandons an exchange that the user no longer waits for.
void NET_HTTPCLIENT_Destroy(int32_t handle);

} // extern "C"
