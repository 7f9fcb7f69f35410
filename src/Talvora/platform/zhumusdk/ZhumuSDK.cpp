// The exported functions of the conferencing SDK stand-in. Services are
// handed out only between Zhumu_InitSDK and Zhumu_CleanUPSDK; a destroy call
// with a pointer the stand-in did not hand out (or already took back) is
// refused instead of freeing it.

#include "ZhumuSDK.h"

#include "AuthService.h"
#include "MeetingService.h"
#include "SdkRuntime.h"
#include "SettingService.h"

using talvora::zhumu::kErrInvalidParameter;
using talvora::zhumu::kErrUninitialised;
using talvora::zhumu::SdkRuntime;

namespace {

template <class Service, class Interface> int createService(Interface** out)
{
    if (!out)
        return kErrInvalidParameter;
    *out = nullptr;
    if (!SdkRuntime::instance().isInitialised())
        return kErrUninitialised;
    *out = new Service;
    return ZhumuSDK::SDKERR_SUCCESS;
}

template <class Service, class Interface> int destroyService(Interface* service)
{
    if (!service)
        return kErrInvalidParameter;
    Service* concrete = SdkRuntime::instance().findByInterface<Service>(service);
    if (!concrete)
        return kErrInvalidParameter;
    delete concrete;
    return ZhumuSDK::SDKERR_SUCCESS;
}

} // namespace

int Zhumu_InitSDK(ZhumuSDK::InitParam* param)
{
    return SdkRuntime::instance().initialise(param);
}

int Zhumu_CreateAuthService(ZhumuSDK::IAuthService** service)
{
    return createService<talvora::zhumu::AuthService>(service);
}

int Zhumu_DestroyAuthService(ZhumuSDK::IAuthService* service)
{
    return destroyService<talvora::zhumu::AuthService>(service);
}

int Zhumu_CreateMeetingService(ZhumuSDK::IMeetingService** service)
{
    return createService<talvora::zhumu::MeetingService>(service);
}

int Zhumu_DestroyMeetingService(ZhumuSDK::IMeetingService* service)
{
    return destroyService<talvora::zhumu::MeetingService>(service);
}

int Zhumu_CreateSettingService(ZhumuSDK::ISettingService** service)
{
    return createService<talvora::zhumu::SettingService>(service);
}

int Zhumu_DestroySettingService(ZhumuSDK::ISettingService* service)
{
    return destroyService<talvora::zhumu::SettingService>(service);
}

int Zhumu_CleanUPSDK()
{
    if (!SdkRuntime::instance().isInitialised())
        return kErrUninitialised;
    SdkRuntime::instance().cleanUp();
    return ZhumuSDK::SDKERR_SUCCESS;
}
