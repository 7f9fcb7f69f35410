// The conferencing SDK session of the main window: start-up, the SDK's
// events, the meeting requests, the connectivity watcher and the teardown.

#include "Talvora.h"

#include "Above.h"
#include "Config.h"
#include "CreateConference.h"
#include "ErrorBox.h"
#include "ServiceExchange.h"
#include "crypto/Wipe.h"
#include "JoinConference.h"
#include "ShowAMeet.h"
#include "TempMeetWin.h"
#include "log/Log.h"
#include "platform/KelpNetUtils.h"
#include "platform/system/NetworkAdapters.h"
#include "platform/system/SystemMessageBox.h"

#include <QLabel>
#include <QMetaObject>
#include <QStackedWidget>
#include <QString>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <iostream>
#include <system_error>

namespace {

const wchar_t* const kBrandingName = L"OrvaneMeeting";
const wchar_t* const kSdkAppKey = L"Xq7LmP2vRt9KsW4nBd6HyZ1cFg8JuE3oAi5T";
const wchar_t* const kSdkAppSecret = L"Np4TgY8wKe2RcV6mLs9QdH1zXb7FjU3aOi5W";

const char* const kTopicPlaceholder = "请输入会议主题";
const char* const kMeetCodeWrongHidden =
    "QLabel{background:transparent; color:#ffffff;font-size:18px;font-family:\"PingFangSC-Regular\";}";

constexpr std::chrono::milliseconds kWatcherPeriod(1000);

// The SDK may keep the initialisation record's texts for its whole life.
const std::wstring& sdkWebDomain()
{
    static const std::wstring text = QString::fromUtf8(talvora::config::kSdkWebDomain).toStdWString();
    return text;
}

const std::wstring& sdkSupportUrl()
{
    static const std::wstring text = QString::fromUtf8(talvora::config::kSupportUrl).toStdWString();
    return text;
}

// A meeting number is a plain decimal: no sign, no blanks, nothing left over.
bool parseMeetingNumber(const QString& text, int64_t& number)
{
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    bool ok = false;
    number = text.toLongLong(&ok);
    return ok;
}

// The SDK's own windows open beside the main window, which owns them.
ZhumuSDK::ShowSettingDlgParam settingDialogParam(const QWidget& window)
{
    ZhumuSDK::ShowSettingDlgParam param{};
    param.parentWindow = static_cast<uintptr_t>(window.winId());
    param.top = window.y();
    param.left = window.x();
    param.show = 1;
    return param;
}

} // namespace

bool Talvora::startSdkSession(std::string account, const char* password, int passwordLength)
{
    m_wstrLoginAccount =
        QString::fromLocal8Bit(account.data(), static_cast<int>(std::min<size_t>(account.size(), INT_MAX)))
            .toStdWString();
    // The password ends at its length or at a NUL, whichever comes first, so a
    // length larger than the text never reads past it.
    const int usable =
        password != nullptr && passwordLength > 0 ? static_cast<int>(strnlen(password, passwordLength)) : 0;
    QString passwordText = QString::fromLocal8Bit(password, usable);
    m_wstrLoginPassword = passwordText.toStdWString();
    talvora::wipe(passwordText.data(), static_cast<size_t>(passwordText.size()) * sizeof(QChar));

    const auto fail = [this](const char* text, const char* logText, int error) {
        m_pAbove->hide();
        LOG_INFO << logText << error;
        talvora::showErrorBox(text, nullptr);
        return false;
    };

    ZhumuSDK::InitParam initParam{};
    initParam.webDomain = sdkWebDomain().c_str();
    initParam.brandingName = kBrandingName;
    initParam.supportUrl = sdkSupportUrl().c_str();
    initParam.languageId = -1;
    initParam.resourceModule = 0;
    initParam.windowIcon = 0;
    initParam.renderMode = 2;
    initParam.enableDefaultLog = 0;
    initParam.logFileSizeMB = 5;
    int error = Zhumu_InitSDK(&initParam);
    if (error != ZhumuSDK::SDKERR_SUCCESS) {
        return fail("SDK初始化失败", "Zhumu_InitSDK return : ", error);
    }

    error = Zhumu_CreateAuthService(&m_AuthService);
    // Without an auth service no authorisation answer ever comes and the
    // window would wait disabled forever.
    if (error != ZhumuSDK::SDKERR_SUCCESS || m_AuthService == nullptr) {
        return fail("SDK创建认证服务失败", "Zhumu_CreateAuthService return : ", error);
    }

    m_AuthService->setEventSink(this);
    ZhumuSDK::AuthParam authParam{};
    authParam.appKey = kSdkAppKey;
    authParam.appSecret = kSdkAppSecret;
    error = m_AuthService->SDKAuth(&authParam);
    if (error != ZhumuSDK::SDKERR_SUCCESS) {
        return fail("SDK创建认证失败", "m_AuthService->SDKAuth return : ", error);
    }

    Zhumu_CreateSettingService(&m_SettingService);
    return true;
}

void Talvora::onAuthenticationReturn(int result)
{
    if (talvora::deferWhileBusy(this, [this, result] { onAuthenticationReturn(result); })) {
        return;
    }
    std::cout << "onAuthenticationReturn" << std::endl;

    const wchar_t* systemBoxText = nullptr;
    switch (result) {
    case ZhumuSDK::AUTHRET_SUCCESS: {
        std::cout << "ZhumuSDK::AUTHRET_SUCCESS" << std::endl;
        ZhumuSDK::LoginParam loginParam{};
        loginParam.loginType = 1;
        loginParam.account = m_wstrLoginAccount.c_str();
        loginParam.password = m_wstrLoginPassword.c_str();
        loginParam.rememberMe = 0;
        const int loginResult = m_AuthService != nullptr ? m_AuthService->Login(&loginParam) : -1;
        // The request has taken what it needs; nothing asks for the password
        // again, so it does not wait in memory for the answer.
        loginParam.password = nullptr;
        talvora::wipe(m_wstrLoginPassword);
        if (loginResult == ZhumuSDK::SDKERR_SUCCESS) {
            return;
        }
        LOG_INFO << "m_AuthService->Login return: " << loginResult;
        if (loginResult == 8) {
            std::cout << "here" << std::endl;
        }
        std::cout << loginResult << std::endl;
        m_pAbove->hide();
        talvora::showErrorBox("登录失败", this);
        close();
        return;
    }
    case ZhumuSDK::AUTHRET_UNKNOWN:
        m_pAbove->hide();
        talvora::showErrorBox("有网络权限或其他问题", nullptr);
        close();
        return;
    case ZhumuSDK::AUTHRET_KEYORSECRETEMPTY:
        systemBoxText = L"SDK key or secret empty";
        break;
    case ZhumuSDK::AUTHRET_KEYORSECRETWRONG:
        systemBoxText = L"SDK key or secret wrong";
        break;
    case ZhumuSDK::AUTHRET_ACCOUNTNOTSUPPORT:
        systemBoxText = L"account not support";
        break;
    case ZhumuSDK::AUTHRET_ACCOUNTNOTENABLESDK:
        systemBoxText = L"account not enablesdk";
        break;
    case ZhumuSDK::AUTHRET_NONE:
        systemBoxText = L"NONE";
        break;
    default:
        systemBoxText = L"onAuthenticationReturn swith default";
        break;
    }
    m_pAbove->hide();
    talvora::platform::showSystemMessageBox(L"错误提示", systemBoxText);
    close();
}

void Talvora::onLoginRet(int status, void* accountInfo)
{
    // The account record is not read; a deferred call passes it on unread.
    if (talvora::deferWhileBusy(this, [this, status, accountInfo] { onLoginRet(status, accountInfo); })) {
        return;
    }
    std::cout << "onLoginRet" << std::endl;
    LOG_INFO << "return in onLoginRet: " << status;
    // The login has used the password; nothing asks for it again.
    talvora::wipe(m_wstrLoginPassword);

    if (status == ZhumuSDK::LOGIN_SUCCESS) {
        std::cout << "LOGINSTATUS::LOGIN_SUCCESS" << std::endl;
        createMeetingService();
        setEnabled(true);
        m_pAbove->hide();
        emit modifyShowUsername();

        // A repeated success keeps the watcher that already runs.
        if (!m_DeamonThread.joinable()) {
            m_bStopThread = false;
            try {
                m_DeamonThread = std::thread(&Talvora::Deamon_Thread, this);
            } catch (const std::system_error&) {
                m_bStopThread = true;
                LOG_WARNING << "["
                            << "Talvora::onLoginRet"
                            << "] start Deamon_Thread fail.";
            }
        }

        if (m_SettingService == nullptr) {
            talvora::showErrorBox("初始化设置异常(m_SettingService为空)", nullptr);
        }
    } else if (status == ZhumuSDK::LOGIN_FAILED) {
        m_pAbove->hide();
        talvora::showErrorBox("登录回调失败,未初始化会议", this);
        close();
    }
}

void Talvora::onLogout() {}

void Talvora::onTokenExpired() {}

void Talvora::createMeetingService()
{
    if (m_MeetingService != nullptr) {
        return;
    }
    const int error = Zhumu_CreateMeetingService(&m_MeetingService);
    if (error != ZhumuSDK::SDKERR_SUCCESS) {
        LOG_INFO << "Zhumu_CreateMeetingService return : " << error;
        m_pAbove->hide();
        talvora::showErrorBox("SDK创建会议服务失败", this);
        close();
        return;
    }
    if (m_MeetingService == nullptr) {
        return;
    }

    m_MeetingService->setEventSink(this);
    m_pParticipantsCtrl = m_MeetingService->getParticipantsController();
    if (m_pParticipantsCtrl != nullptr) {
        m_pParticipantsCtrl->setEventSink(this);
    }
    m_pShareCtrl = m_MeetingService->getShareController();
    if (m_pShareCtrl != nullptr) {
        m_pShareCtrl->setEventSink(this);
    }
    if (ZhumuSDK::IMeetingUIController* ui = m_MeetingService->getUIController()) {
        ui->setEventSink(this);
    }
    if (ZhumuSDK::IMeetingAudioController* audio = m_MeetingService->getAudioController()) {
        audio->setEventSink(this);
    }
    if (ZhumuSDK::IMeetingVideoController* video = m_MeetingService->getVideoController()) {
        video->setEventSink(this);
    }
}

void Talvora::onMeetingStatus(int status, int reason)
{
    if (talvora::deferWhileBusy(this, [this, status, reason] { onMeetingStatus(status, reason); })) {
        return;
    }
    switch (status) {
    case ZhumuSDK::MEETING_STATUS_INMEETING:
        m_pJoinConference->m_pLabMeetCodeWrong->setStyleSheet(QString::fromUtf8(kMeetCodeWrongHidden));
        std::cout << "ZhumuSDK::MEETING_STATUS_INMEETING" << std::endl;
        break;
    case ZhumuSDK::MEETING_STATUS_FAILED:
        std::cout << "ZhumuSDK::MEETING_STATUS_FAILED" << std::endl;
        if (reason == ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST) {
            emit meetCodeWrong();
        }
        break;
    case ZhumuSDK::MEETING_STATUS_ENDED:
        std::cout << "ZhumuSDK::MEETING_STATUS_ENDED" << std::endl;
        break;
    default:
        break;
    }
}

void Talvora::onMeetingStatisticsWarning(int /*warning*/) {}

void Talvora::onMeetingSecureKeyNotification(const char* /*key*/, int /*length*/) {}

void Talvora::onMeetingParameterNotification(const void* /*parameter*/) {}

void Talvora::onUserJoin(const uint32_t* /*userIds*/, int /*count*/) {}

void Talvora::onUserLeft(const uint32_t* /*userIds*/, int /*count*/) {}

void Talvora::onHostChangeNotification(uint32_t /*userId*/) {}

void Talvora::onSharingStatus(int /*status*/, uint32_t /*userId*/) {}

void Talvora::onShareContentNotification(int /*type*/, uint32_t /*userId*/) {}

void Talvora::onInviteBtnClicked(bool* handled)
{
    if (handled != nullptr) {
        *handled = false;
    }
}

void Talvora::onStartShareBtnClicked() {}

void Talvora::onEndMeetingBtnClicked() {}

void Talvora::onUserAudioStatusChange(uint32_t /*userId*/, int /*status*/) {}

void Talvora::onUserActiveAudioChange(const uint32_t* /*userIds*/, int /*count*/) {}

void Talvora::onUserVideoStatusChange(uint32_t /*userId*/, int /*status*/) {}

void Talvora::onSpotlightVideoChangeNotification(bool /*on*/, uint32_t /*userId*/) {}

void Talvora::OnZhumuSetting()
{
    if (m_SettingService == nullptr) {
        return;
    }
    ZhumuSDK::ShowSettingDlgParam param = settingDialogParam(*this);
    m_SettingService->showSettingsDialog(&param);
}

void Talvora::OnZhumuTestCall()
{
    if (m_SettingService == nullptr) {
        return;
    }
    ZhumuSDK::ShowSettingDlgParam param = settingDialogParam(*this);
    m_SettingService->showTestCallWindow(&param);
}

void Talvora::onStartConference()
{
    const TempMeetWin* pane = m_pCreateConference->m_pTempMeetWin;
    if (pane->m_pLnEtMeetTopic->text() == QString::fromUtf8(kTopicPlaceholder)) {
        talvora::showErrorBox("会议主题没有输入,请输入", nullptr);
        return;
    }
    if (m_MeetingService == nullptr || talvora::quitRequested()) {
        return;
    }
    ZhumuSDK::StartParam param{};
    param.userType = 100;
    param.meetingNumber = 0;
    param.isVideoOff = pane->m_bVedioMeet ? 0 : 1;
    m_MeetingService->startMeeting(&param);
}

void Talvora::onStartJoinConference()
{
    QString& code = m_pJoinConference->m_strMeetCode;
    if (code.isEmpty()) {
        emit meetCodeWrong();
        return;
    }
    if (code.contains(QLatin1Char('.'))) {
        emit meetCodeWrong();
        code.clear();
        return;
    }
    // Typed codes can hold more than the keypad offers; a code that is no
    // meeting number at all is as wrong as one the service does not know.
    int64_t meetingNumber = 0;
    if (!parseMeetingNumber(code, meetingNumber)) {
        emit meetCodeWrong();
        return;
    }

    if (m_strUserName == m_strInitUserName) {
        runRenameDialog();
    }
    // The rename's exchange may have ended with the user quitting.
    if (m_MeetingService == nullptr || talvora::quitRequested()) {
        return;
    }
    const std::wstring displayName = QString::fromStdString(m_strUserName).toStdWString();
    ZhumuSDK::JoinParam param{};
    param.userType = 100;
    param.meetingNumber = meetingNumber;
    param.displayName = displayName.c_str();
    m_MeetingService->joinMeeting(&param);
}

void Talvora::onAMeetStartSlots(QWidget* card)
{
    const auto* meet = qobject_cast<const ShowAMeet*>(card);
    if (meet != nullptr) {
        startMeetingByCode(meet->m_strMeetCode);
    }
}

void Talvora::startMeetingByCode(const std::string& meetCode)
{
    // A reminder's start may have waited for an exchange that ended with a quit.
    if (m_MeetingService == nullptr || talvora::quitRequested()) {
        return;
    }
    // Meeting number 0 asks for a new instant meeting: a code that is no
    // meeting number must not become one.
    int64_t meetingNumber = 0;
    if (!parseMeetingNumber(QString::fromStdString(meetCode), meetingNumber) || meetingNumber == 0) {
        LOG_WARNING << "meeting code is no meeting number: " << meetCode;
        talvora::showErrorBox("会议码无效，无法开始会议", this);
        return;
    }
    ZhumuSDK::StartParam param{};
    param.userType = 100;
    param.meetingNumber = meetingNumber;
    param.isVideoOff = 0;
    m_MeetingService->startMeeting(&param);
}

int Talvora::getLocalIpAddress(std::string& address)
{
    address.clear();
    std::vector<talvora::platform::NetworkAdapter> adapters;
    if (!talvora::platform::listNetworkAdapters(adapters)) {
        return -1;
    }
    for (const talvora::platform::NetworkAdapter& adapter : adapters) {
        if (adapter.description.find("Bluetooth") != std::string::npos) {
            continue;
        }
        for (const std::string& candidate : adapter.ipv4Addresses) {
            if (candidate != "0.0.0.0") {
                address = candidate;
                return 0;
            }
        }
    }
    return -1;
}

void Talvora::setAddressSource(AddressSource source)
{
    m_addressSource = std::move(source);
}

void Talvora::Deamon_Thread()
{
    while (!m_bStopThread) {
        std::string address;
        const int found = m_addressSource ? m_addressSource(address) : getLocalIpAddress(address);
        const bool hasAddress = found == 0 && !address.empty();
        // Widgets belong to the GUI thread; the finding is handed over there.
        QMetaObject::invokeMethod(
            this, [this, hasAddress] { onWatcherFinding(hasAddress); }, Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(m_watcherMutex);
        m_watcherWake.wait_for(lock, kWatcherPeriod, [this] { return m_bStopThread.load(); });
    }
}

void Talvora::onWatcherFinding(bool hasAddress)
{
    if (talvora::deferWhileBusy(this, [this, hasAddress] { onWatcherFinding(hasAddress); })) {
        return;
    }
    if (!hasAddress) {
        m_pStackedWidget->setCurrentIndex(PageNetError);
    } else if (m_pStackedWidget->currentIndex() == PageNetError) {
        emit tryCreateMeet();
    }
}

void Talvora::teardownSdkSession()
{
    // The watcher works on this window: it has to end before anything goes.
    {
        std::lock_guard<std::mutex> lock(m_watcherMutex);
        m_bStopThread = true;
    }
    m_watcherWake.notify_all();
    if (m_DeamonThread.joinable()) {
        m_DeamonThread.join();
    }
    Zhumu_DestroyMeetingService(m_MeetingService);
    Zhumu_DestroySettingService(m_SettingService);
    Zhumu_DestroyAuthService(m_AuthService);
    Zhumu_CleanUPSDK();
    NET_UTILS_Fini();
    m_MeetingService = nullptr;
    m_SettingService = nullptr;
    m_AuthService = nullptr;
    m_pParticipantsCtrl = nullptr;
    m_pShareCtrl = nullptr;
}
