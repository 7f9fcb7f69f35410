#pragma once
// Shows the stand-in's settings dialog, or its test call, where the client
// asks for it.

#include "SdkRuntime.h"

namespace talvora::zhumu {

class SettingService final : public ZhumuSDK::ISettingService, public ServiceBase
{
public:
    int showSettingsDialog(ZhumuSDK::ShowSettingDlgParam* param) override;
    int showTestCallWindow(ZhumuSDK::ShowSettingDlgParam* param) override;
};

} // namespace talvora::zhumu
