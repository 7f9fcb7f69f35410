#pragma once
// The cloud platform's token request: POST {authUrl}/oauth/token with the
// form fields app_key, account and password.

#include "HttpsClient.h"

#include <string>

namespace talvora::strevonet {

struct TokenResult
{
    enum class Outcome
    {
        Granted,     // 200 with an access token
        Rejected,    // 401: wrong account or password
        Unreachable, // no HTTP answer at all (resolve, connect, TLS, time-out)
        BadAnswer    // any other status, or a 200 without a usable token
    };
    Outcome outcome = Outcome::Unreachable;
    std::string accessToken; // only for Granted

    TokenResult() = default;
    TokenResult(const TokenResult&) = default;
    TokenResult(TokenResult&&) = default;
    TokenResult& operator=(const TokenResult&) = default;
    TokenResult& operator=(TokenResult&&) = default;
    // Every copy of the token is overwritten when it goes.
    ~TokenResult();
};

// Blocks for the whole exchange (at most the transport's 30 s, or until
// `abort` fires); safe to call from any thread.
TokenResult requestToken(const std::string& authUrl, const std::string& appKey, const std::string& account,
                         const std::string& password, https::Abort* abort = nullptr);

} // namespace talvora::strevonet
