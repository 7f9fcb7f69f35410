#pragma once
// Test double of the KelpNetUtils library: records every call and answers
// from a queue that the test fills. Link kelpnetutils_double in place of the
// KelpNetUtils stand-in.

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kelp_double {

// Forgets every recorded call and scripted result; handles start at 0 again.
void reset();

void setInitResult(int result);
// The handle that NET_HTTPCLIENT_Create returns from now on; negative = failure.
void setCreateResult(int32_t handle);
void setSetParamResult(int result);

// The next exchange completes with this body. With an empty queue an
// exchange completes with an empty body.
void queueAnswer(std::string body);
// The next exchange fails; NET_UTILS_GetLastError then returns errorCode.
void queueFailure(int32_t errorCode);

// Exchanges whose URL contains `urlPart` wait this long before they take
// their scripted result, like a slow service; one whose handle is destroyed
// meanwhile (the client abandoning it) fails at once with error 42.
void holdExchanges(std::string urlPart, std::chrono::milliseconds hold);

struct Exchange
{
    int32_t handle;
    std::string url;
    uint8_t mode;
    bool recordWasZeroed; // answer, answerLength and every reserved field were 0
    std::vector<std::pair<std::string, std::string>> headers; // set on the handle before the exchange
};

std::vector<Exchange> exchanges();
// Exchanges that have begun and not yet returned.
int exchangesInFlight();
// Function names in call order: "Init", "Fini", "Create", "SetParam",
// "ShortLinkExchange", "Destroy". Reading the last error is not recorded.
std::vector<std::string> calls();
int destroyedHandles();

} // namespace kelp_double
