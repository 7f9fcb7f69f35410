#include "TokenRequest.h"

#include "HttpsClient.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/crypto.h>

#include <climits>
#include <new>

namespace talvora::strevonet {

namespace {

TokenResult exchangeForToken(const std::string& authUrl, const std::string& appKey,
                             const std::string& account, const std::string& password, https::Abort* abort)
{
    https::Request request;
    request.url = authUrl + "/oauth/token";
    request.headers.push_back("Content-Type: application/x-www-form-urlencoded");
    request.body = https::formEncode({{"app_key", appKey}, {"account", account}, {"password", password}});

    const https::Answer answer = https::post(request, abort);
    // The form carries the password; it has been sent.
    OPENSSL_cleanse(request.body.data(), request.body.capacity());
    TokenResult result;
    if (!answer.completed) {
        result.outcome = TokenResult::Outcome::Unreachable;
        return result;
    }
    // 429: too many failed attempts for the account. The user is told as
    // for a wrong password and may try again.
    if (answer.status == 401 || answer.status == 429) {
        result.outcome = TokenResult::Outcome::Rejected;
        return result;
    }
    result.outcome = TokenResult::Outcome::BadAnswer;
    if (answer.status != 200)
        return result;
    static_assert(https::kMaxAnswerBytes <= INT_MAX, "post() never hands out more than an int can count");
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(answer.body.data(), static_cast<int>(answer.body.size())));
    const QJsonValue token = document.object().value(QStringLiteral("access_token"));
    if (!token.isString() || token.toString().isEmpty())
        return result;
    result.accessToken = token.toString().toStdString();
    result.outcome = TokenResult::Outcome::Granted;
    return result;
}

} // namespace

TokenResult::~TokenResult()
{
    OPENSSL_cleanse(accessToken.data(), accessToken.capacity());
}

TokenResult requestToken(const std::string& authUrl, const std::string& appKey, const std::string& account,
                         const std::string& password, https::Abort* abort)
{
    // Runs on a thread of its own, where an exception would end the process.
    try {
        return exchangeForToken(authUrl, appKey, account, password, abort);
    } catch (const std::bad_alloc&) {
        TokenResult failed;
        failed.outcome = TokenResult::Outcome::BadAnswer;
        return failed;
    }
}

} // namespace talvora::strevonet
