#include "AuthService.h"

#include "HttpsClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <openssl/crypto.h>

#include <algorithm>

namespace talvora::zhumu {
namespace {

// The session of a login answer, {"session": "<hex>"}. Anything else is
// dropped: the text goes into a request header later.
std::string sessionOfAnswer(const std::string& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body));
    const std::string session = document.object().value(QStringLiteral("session")).toString().toStdString();
    const bool plain = session.size() <= 128 && std::all_of(session.begin(), session.end(), [](char c) {
                           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
                       });
    return plain ? session : std::string();
}

} // namespace

int AuthService::setEventSink(ZhumuSDK::IAuthServiceEvent* sink)
{
    m_sink = sink;
    return ZhumuSDK::SDKERR_SUCCESS;
}

int AuthService::SDKAuth(ZhumuSDK::AuthParam* param)
{
    if (!param)
        return kErrInvalidParameter;
    const std::string key = toUtf8(param->appKey);
    const std::string secret = toUtf8(param->appSecret);
    if (key.empty() || secret.empty()) {
        reportAuthentication(serviceId(), ZhumuSDK::AUTHRET_KEYORSECRETEMPTY);
        return ZhumuSDK::SDKERR_SUCCESS;
    }

    SdkRuntime& runtime = SdkRuntime::instance();
    https::Request request;
    request.url = runtime.baseUrl() + "/sdk/v1/auth";
    request.body = https::formEncode({{"app_key", key}, {"app_secret", secret}});
    const uint64_t id = serviceId();
    runtime.runInBackground([id, request] {
        const https::Answer answer = SdkRuntime::instance().post(request);
        int result = ZhumuSDK::AUTHRET_UNKNOWN;
        if (answer.completed && answer.status == 200)
            result = ZhumuSDK::AUTHRET_SUCCESS;
        else if (answer.completed && answer.status == 401)
            result = ZhumuSDK::AUTHRET_KEYORSECRETWRONG;
        reportAuthentication(id, result);
    });
    return ZhumuSDK::SDKERR_SUCCESS;
}

int AuthService::Login(ZhumuSDK::LoginParam* param)
{
    if (!param || !param->account || !param->password)
        return kErrInvalidParameter;

    SdkRuntime& runtime = SdkRuntime::instance();
    const std::string account = toUtf8(param->account);
    https::Request request;
    request.url = runtime.baseUrl() + "/sdk/v1/login";
    std::string password = toUtf8(param->password);
    request.body = https::formEncode({{"account", account}, {"password", password}});
    OPENSSL_cleanse(password.data(), password.capacity());
    const uint64_t id = serviceId();
    runtime.runInBackground([id, request, account] {
        const https::Answer answer = SdkRuntime::instance().post(request);
        const bool signedIn = answer.completed && answer.status == 200;
        const std::string session = signedIn ? sessionOfAnswer(answer.body) : std::string();
        deliverTo<AuthService>(id, [signedIn, account, session](AuthService& service) {
            if (signedIn) {
                SdkRuntime::instance().setSignedIn(QString::fromStdString(account), session);
                SdkRuntime::instance().rememberClientWindow();
            }
            if (service.m_sink)
                service.m_sink->onLoginRet(signedIn ? ZhumuSDK::LOGIN_SUCCESS : ZhumuSDK::LOGIN_FAILED,
                                           nullptr);
        });
    });
    return ZhumuSDK::SDKERR_SUCCESS;
}

void AuthService::reportAuthentication(uint64_t id, int result)
{
    deliverTo<AuthService>(id, [result](AuthService& service) {
        if (service.m_sink)
            service.m_sink->onAuthenticationReturn(result);
    });
}

} // namespace talvora::zhumu
