#pragma once
// Boundary of the conferencing SDK that runs the meetings themselves. On the
// original target this is a closed 32-bit library of an outside vendor; here
// zhumusdk/ stands in for it. Every function and operation returns 0 when the
// request was accepted; outcomes arrive later through the event interfaces,
// always on the GUI thread inside the running Qt event loop.

#include <cstddef>
#include <cstdint>

namespace ZhumuSDK {

constexpr int SDKERR_SUCCESS = 0;

// onAuthenticationReturn results.
constexpr int AUTHRET_SUCCESS = 0;
constexpr int AUTHRET_KEYORSECRETEMPTY = 1;
constexpr int AUTHRET_KEYORSECRETWRONG = 2;
constexpr int AUTHRET_ACCOUNTNOTSUPPORT = 3;
constexpr int AUTHRET_ACCOUNTNOTENABLESDK = 4;
constexpr int AUTHRET_UNKNOWN = 5;
constexpr int AUTHRET_SERVICE_BUSY = 6;
constexpr int AUTHRET_NONE = 7;

// onLoginRet statuses.
constexpr int LOGIN_IDLE = 0;
constexpr int LOGIN_PROCESSING = 1;
constexpr int LOGIN_SUCCESS = 2;
constexpr int LOGIN_FAILED = 3;

// onMeetingStatus statuses and the one failure reason the client reads.
constexpr int MEETING_STATUS_INMEETING = 3;
constexpr int MEETING_STATUS_FAILED = 6;
constexpr int MEETING_STATUS_ENDED = 7;
constexpr int MEETING_FAIL_MEETING_NOT_EXIST = 8;

// Records. Their layouts are fixed for the 32-bit library (little-endian,
// 4-byte pointers to NUL-terminated wide strings, unlisted bytes zero); on
// 64-bit hosts the pointer fields are naturally wider. Value-initialise them
// ({}), then set the fields.

struct InitParam
{
    const wchar_t* webDomain;    // 0
    const wchar_t* brandingName; // 4
    const wchar_t* supportUrl;   // 8
    int32_t languageId;          // 12: -1 = the system's language
    int32_t resourceModule;      // 16
    int32_t windowIcon;          // 20
    int32_t renderMode;          // 24
    uint8_t enableDefaultLog;    // 28
    int32_t logFileSizeMB;       // 32
    uint8_t reserved[20];        // 36
};

struct AuthParam
{
    const wchar_t* appKey;    // 0
    const wchar_t* appSecret; // 4
};

struct LoginParam
{
    int32_t loginType;       // 0: 1 = e-mail account
    const wchar_t* account;  // 4
    const wchar_t* password; // 8
    uint8_t rememberMe;      // 12
};

struct StartParam
{
    int32_t userType;          // 0: 100 = signed-in user
    int32_t reserved0;         // 4
    int64_t meetingNumber;     // 8: 0 asks for a new instant meeting
    const wchar_t* vanityId;   // 16
    const wchar_t* inviteText; // 20
    int32_t hostOptions;       // 24
    uint8_t directShare;       // 28
    uint8_t isVideoOff;        // 29: 1 = start without video
    uint8_t isAudioOff;        // 30
    uint8_t reserved1;         // 31
    uint8_t reserved2[24];     // 32
};

struct JoinParam
{
    int32_t userType;           // 0: 100 = signed-in user
    int32_t reserved0;          // 4
    int64_t meetingNumber;      // 8
    const wchar_t* vanityId;    // 16
    const wchar_t* displayName; // 20
    const wchar_t* password;    // 24
    uint8_t isVideoOff;         // 28
    uint8_t isAudioOff;         // 29
    uint8_t reserved1[2];       // 30
    uint8_t reserved2[24];      // 32
};

struct ShowSettingDlgParam
{
    uintptr_t parentWindow; // 0: native handle of the owner window
    int32_t top;            // 4: y position
    int32_t left;           // 8: x position
    int32_t settingWindow;  // 12: out
    uint8_t show;           // 16: 1 = show
    int32_t reserved;       // 20
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(InitParam) == 56 && offsetof(InitParam, languageId) == 12 &&
                  offsetof(InitParam, enableDefaultLog) == 28 && offsetof(InitParam, logFileSizeMB) == 32,
              "InitParam layout is fixed by the SDK");
static_assert(sizeof(AuthParam) == 8, "AuthParam layout is fixed by the SDK");
static_assert(sizeof(LoginParam) == 16 && offsetof(LoginParam, rememberMe) == 12,
              "LoginParam layout is fixed by the SDK");
static_assert(sizeof(StartParam) == 56 && offsetof(StartParam, meetingNumber) == 8 &&
                  offsetof(StartParam, isVideoOff) == 29,
              "StartParam layout is fixed by the SDK");
static_assert(sizeof(JoinParam) == 56 && offsetof(JoinParam, meetingNumber) == 8 &&
                  offsetof(JoinParam, displayName) == 20,
              "JoinParam layout is fixed by the SDK");
static_assert(sizeof(ShowSettingDlgParam) == 24 && offsetof(ShowSettingDlgParam, show) == 16,
              "ShowSettingDlgParam layout is fixed by the SDK");
#endif

// Event interfaces, implemented by the client's main window.

class IAuthServiceEvent
{
public:
    virtual ~IAuthServiceEvent() = default;
    virtual void onAuthenticationReturn(int result) = 0;
    virtual void onLoginRet(int status, void* accountInfo) = 0;
    virtual void onLogout() = 0;
    virtual void onTokenExpired() = 0;
};

class IMeetingServiceEvent
{
public:
    virtual ~IMeetingServiceEvent() = default;
    virtual void onMeetingStatus(int status, int reason) = 0;
    virtual void onMeetingStatisticsWarning(int warning) = 0;
    virtual void onMeetingSecureKeyNotification(const char* key, int length) = 0;
    virtual void onMeetingParameterNotification(const void* parameter) = 0;
};

class IMeetingParticipantsCtrlEvent
{
public:
    virtual ~IMeetingParticipantsCtrlEvent() = default;
    virtual void onUserJoin(const uint32_t* userIds, int count) = 0;
    virtual void onUserLeft(const uint32_t* userIds, int count) = 0;
    virtual void onHostChangeNotification(uint32_t userId) = 0;
};

class IMeetingShareCtrlEvent
{
public:
    virtual ~IMeetingShareCtrlEvent() = default;
    virtual void onSharingStatus(int status, uint32_t userId) = 0;
    virtual void onShareContentNotification(int type, uint32_t userId) = 0;
};

class IMeetingUIControllerEvent
{
public:
    virtual ~IMeetingUIControllerEvent() = default;
    // The SDK asks whether the client handles the invite button itself; the
    // client answers by storing false, so the SDK shows its own dialog.
    virtual void onInviteBtnClicked(bool* handled) = 0;
    virtual void onStartShareBtnClicked() = 0;
    virtual void onEndMeetingBtnClicked() = 0;
};

class IMeetingAudioCtrlEvent
{
public:
    virtual ~IMeetingAudioCtrlEvent() = default;
    virtual void onUserAudioStatusChange(uint32_t userId, int status) = 0;
    virtual void onUserActiveAudioChange(const uint32_t* userIds, int count) = 0;
};

class IMeetingVideoCtrlEvent
{
public:
    virtual ~IMeetingVideoCtrlEvent() = default;
    virtual void onUserVideoStatusChange(uint32_t userId, int status) = 0;
    virtual void onSpotlightVideoChangeNotification(bool on, uint32_t userId) = 0;
};

// Service objects; operations in the order of their slots.

class IAuthService
{
public:
    virtual int setEventSink(IAuthServiceEvent* sink) = 0;
    virtual int SDKAuth(AuthParam* param) = 0;
    virtual int Login(LoginParam* param) = 0;

protected:
    ~IAuthService() = default;
};

class IMeetingUIController
{
public:
    virtual int setEventSink(IMeetingUIControllerEvent* sink) = 0;

protected:
    ~IMeetingUIController() = default;
};

class IMeetingVideoController
{
public:
    virtual int setEventSink(IMeetingVideoCtrlEvent* sink) = 0;

protected:
    ~IMeetingVideoController() = default;
};

class IMeetingShareController
{
public:
    virtual int setEventSink(IMeetingShareCtrlEvent* sink) = 0;

protected:
    ~IMeetingShareController() = default;
};

class IMeetingAudioController
{
public:
    virtual int setEventSink(IMeetingAudioCtrlEvent* sink) = 0;

protected:
    ~IMeetingAudioController() = default;
};

class IMeetingParticipantsController
{
public:
    virtual int setEventSink(IMeetingParticipantsCtrlEvent* sink) = 0;

protected:
    ~IMeetingParticipantsController() = default;
};

class IMeetingService
{
public:
    virtual int setEventSink(IMeetingServiceEvent* sink) = 0;
    virtual int joinMeeting(JoinParam* param) = 0;
    virtual int startMeeting(StartParam* param) = 0;
    virtual IMeetingUIController* getUIController() = 0;
    virtual IMeetingVideoController* getVideoController() = 0;
    virtual IMeetingShareController* getShareController() = 0;
    virtual IMeetingAudioController* getAudioController() = 0;
    virtual IMeetingParticipantsController* getParticipantsController() = 0;

protected:
    ~IMeetingService() = default;
};

class ISettingService
{
public:
    virtual int showSettingsDialog(ShowSettingDlgParam* param) = 0;
    // Stand-in only, after the SDK's own entry: opens the test call
    // ("测试麦克风和摄像头") where the record says, as showSettingsDialog
    // opens the dialog.
    virtual int showTestCallWindow(ShowSettingDlgParam* param) = 0;

protected:
    ~ISettingService() = default;
};

} // namespace ZhumuSDK

// Exported functions; each returns 0 on success.
int Zhumu_InitSDK(ZhumuSDK::InitParam* param);
int Zhumu_CreateAuthService(ZhumuSDK::IAuthService** service);
int Zhumu_DestroyAuthService(ZhumuSDK::IAuthService* service);
int Zhumu_CreateMeetingService(ZhumuSDK::IMeetingService** service);
int Zhumu_DestroyMeetingService(ZhumuSDK::IMeetingService* service);
int Zhumu_CreateSettingService(ZhumuSDK::ISettingService** service);
int Zhumu_DestroySettingService(ZhumuSDK::ISettingService* service);
int Zhumu_CleanUPSDK();
