#pragma once
// Authorisation of the application key and the account login, each one POST
// to the service on the request thread, answered through the sink.

#include "SdkRuntime.h"

namespace talvora::zhumu {

class AuthService final : public ZhumuSDK::IAuthService, public ServiceBase
{
public:
    int setEventSink(ZhumuSDK::IAuthServiceEvent* sink) override;
    int SDKAuth(ZhumuSDK::AuthParam* param) override;
    int Login(ZhumuSDK::LoginParam* param) override;

private:
    // Safe from any thread: the sink is called later on the GUI thread.
    static void reportAuthentication(uint64_t id, int result);

    ZhumuSDK::IAuthServiceEvent* m_sink = nullptr;
};

} // namespace talvora::zhumu
