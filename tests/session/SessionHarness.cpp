#include "SessionHarness.h"

#include "ErrorBox.h"
#include "KelpNetUtilsDouble.h"
#include "ZhumuSdkDouble.h"
#include "platform/system/SystemMessageBox.h"

#include <algorithm>
#include <iostream>

SessionHarness::SessionHarness()
{
    zhumu_double::reset();
    kelp_double::reset();
    talvora::setErrorBoxHook([this](QWidget* parent, const QString& title, const QString& text) {
        errorBoxes.push_back(ErrorBoxRecord{parent, title, text});
    });
    talvora::platform::setSystemMessageBoxHook([this](const std::wstring& title, const std::wstring& text) {
        systemBoxes.push_back(SystemBoxRecord{title, text});
    });
}

SessionHarness::~SessionHarness()
{
    talvora::setErrorBoxHook({});
    talvora::platform::setSystemMessageBoxHook({});
    zhumu_double::setCallObserver({});
}

std::unique_ptr<Talvora> SessionHarness::makeWindow()
{
    kelp_double::queueAnswer(
        R"({"page_count":"0","total_records":"0","page_number":"1","page_size":"50","meetings":[]})");
    auto window = std::make_unique<Talvora>("zhangsan", "ZC10001");
    window->setInitUserName("zhangsan");
    window->setAddressSource([](std::string& address) {
        address = "192.0.2.10";
        return 0;
    });
    window->show();
    return window;
}

void SessionHarness::queueUserAnswer(const char* utf8Name)
{
    kelp_double::queueAnswer(std::string(R"({"username":")") + utf8Name + R"("})");
}

bool SessionHarness::startAndAuthorise(Talvora& window)
{
    const char password[] = "Zs-Meet-2024";
    if (!window.startSdkSession("zhangsan@example.com", password, static_cast<int>(sizeof password - 1))) {
        return false;
    }
    return zhumu_double::fireAuthenticationReturn(ZhumuSDK::AUTHRET_SUCCESS);
}

bool SessionHarness::logIn()
{
    queueUserAnswer("张三");
    return zhumu_double::fireLoginRet(ZhumuSDK::LOGIN_SUCCESS);
}

bool SessionHarness::signIn(Talvora& window)
{
    return startAndAuthorise(window) && logIn();
}

StdoutCapture::StdoutCapture() : m_previous(std::cout.rdbuf(m_buffer.rdbuf())) {}

StdoutCapture::~StdoutCapture()
{
    std::cout.rdbuf(m_previous);
}

int callIndex(const std::vector<std::string>& calls, const std::string& name)
{
    const auto found = std::find(calls.begin(), calls.end(), name);
    return found == calls.end() ? -1 : static_cast<int>(found - calls.begin());
}
