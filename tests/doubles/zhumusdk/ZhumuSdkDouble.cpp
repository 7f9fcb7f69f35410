#include "ZhumuSdkDouble.h"

#include <map>
#include <mutex>

namespace zhumu_double {
namespace {

std::wstring copyText(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
}

struct State
{
    std::map<std::string, int> results;
    Objects objects;
    std::vector<std::string> calls;
    std::vector<DestroyCall> destroyCalls;
    std::function<void(const std::string&)> observer;

    std::vector<InitRecord> inits;
    std::vector<AuthRecord> auths;
    std::vector<LoginRecord> logins;
    std::vector<StartRecord> starts;
    std::vector<JoinRecord> joins;
    std::vector<ZhumuSDK::ShowSettingDlgParam> settings;

    ZhumuSDK::IAuthServiceEvent* authSink = nullptr;
    ZhumuSDK::IMeetingServiceEvent* meetingSink = nullptr;
    ZhumuSDK::IMeetingUIControllerEvent* uiSink = nullptr;
    ZhumuSDK::IMeetingVideoCtrlEvent* videoSink = nullptr;
    ZhumuSDK::IMeetingShareCtrlEvent* shareSink = nullptr;
    ZhumuSDK::IMeetingAudioCtrlEvent* audioSink = nullptr;
    ZhumuSDK::IMeetingParticipantsCtrlEvent* participantsSink = nullptr;
};

std::mutex g_mutex;

State& state()
{
    static State instance;
    return instance;
}

// Records the call, runs the observer and returns the call's chosen result.
int enter(const std::string& name)
{
    int result = 0;
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        state().calls.push_back(name);
        const auto chosen = state().results.find(name);
        if (chosen != state().results.end()) {
            result = chosen->second;
        }
        observer = state().observer;
    }
    if (observer) {
        observer(name);
    }
    return result;
}

template <typename Sink> int registerSink(const std::string& name, Sink*& slot, Sink* sink)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        slot = sink;
    }
    return enter(name);
}

template <typename Record> void keep(std::vector<Record>& records, Record record)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    records.push_back(std::move(record));
}

bool present(bool Objects::*which)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return state().objects.*which;
}

class UIController final : public ZhumuSDK::IMeetingUIController
{
public:
    int setEventSink(ZhumuSDK::IMeetingUIControllerEvent* sink) override
    {
        return registerSink("ui.setEventSink", state().uiSink, sink);
    }
};

class VideoController final : public ZhumuSDK::IMeetingVideoController
{
public:
    int setEventSink(ZhumuSDK::IMeetingVideoCtrlEvent* sink) override
    {
        return registerSink("video.setEventSink", state().videoSink, sink);
    }
};

class ShareController final : public ZhumuSDK::IMeetingShareController
{
public:
    int setEventSink(ZhumuSDK::IMeetingShareCtrlEvent* sink) override
    {
        return registerSink("share.setEventSink", state().shareSink, sink);
    }
};

class AudioController final : public ZhumuSDK::IMeetingAudioController
{
public:
    int setEventSink(ZhumuSDK::IMeetingAudioCtrlEvent* sink) override
    {
        return registerSink("audio.setEventSink", state().audioSink, sink);
    }
};

class ParticipantsController final : public ZhumuSDK::IMeetingParticipantsController
{
public:
    int setEventSink(ZhumuSDK::IMeetingParticipantsCtrlEvent* sink) override
    {
        return registerSink("participants.setEventSink", state().participantsSink, sink);
    }
};

class AuthService final : public ZhumuSDK::IAuthService
{
public:
    int setEventSink(ZhumuSDK::IAuthServiceEvent* sink) override
    {
        return registerSink("auth.setEventSink", state().authSink, sink);
    }

    int SDKAuth(ZhumuSDK::AuthParam* param) override
    {
        if (param != nullptr) {
            AuthRecord record{*param, copyText(param->appKey), copyText(param->appSecret)};
            record.raw.appKey = nullptr;
            record.raw.appSecret = nullptr;
            keep(state().auths, std::move(record));
        }
        return enter("auth.SDKAuth");
    }

    int Login(ZhumuSDK::LoginParam* param) override
    {
        if (param != nullptr) {
            LoginRecord record{*param, copyText(param->account), copyText(param->password)};
            record.raw.account = nullptr;
            record.raw.password = nullptr;
            keep(state().logins, std::move(record));
        }
        return enter("auth.Login");
    }
};

class MeetingService final : public ZhumuSDK::IMeetingService
{
public:
    int setEventSink(ZhumuSDK::IMeetingServiceEvent* sink) override
    {
        return registerSink("meeting.setEventSink", state().meetingSink, sink);
    }

    int joinMeeting(ZhumuSDK::JoinParam* param) override
    {
        if (param != nullptr) {
            JoinRecord record{*param, copyText(param->vanityId), copyText(param->displayName),
                              copyText(param->password)};
            record.raw.vanityId = nullptr;
            record.raw.displayName = nullptr;
            record.raw.password = nullptr;
            keep(state().joins, std::move(record));
        }
        return enter("meeting.joinMeeting");
    }

    int startMeeting(ZhumuSDK::StartParam* param) override
    {
        if (param != nullptr) {
            StartRecord record{*param, copyText(param->vanityId), copyText(param->inviteText)};
            record.raw.vanityId = nullptr;
            record.raw.inviteText = nullptr;
            keep(state().starts, std::move(record));
        }
        return enter("meeting.startMeeting");
    }

    ZhumuSDK::IMeetingUIController* getUIController() override
    {
        enter("meeting.getUIController");
        return present(&Objects::uiController) ? &m_ui : nullptr;
    }

    ZhumuSDK::IMeetingVideoController* getVideoController() override
    {
        enter("meeting.getVideoController");
        return present(&Objects::videoController) ? &m_video : nullptr;
    }

    ZhumuSDK::IMeetingShareController* getShareController() override
    {
        enter("meeting.getShareController");
        return present(&Objects::shareController) ? &m_share : nullptr;
    }

    ZhumuSDK::IMeetingAudioController* getAudioController() override
    {
        enter("meeting.getAudioController");
        return present(&Objects::audioController) ? &m_audio : nullptr;
    }

    ZhumuSDK::IMeetingParticipantsController* getParticipantsController() override
    {
        enter("meeting.getParticipantsController");
        return present(&Objects::participantsController) ? &m_participants : nullptr;
    }

private:
    UIController m_ui;
    VideoController m_video;
    ShareController m_share;
    AudioController m_audio;
    ParticipantsController m_participants;
};

class SettingService final : public ZhumuSDK::ISettingService
{
public:
    int showSettingsDialog(ZhumuSDK::ShowSettingDlgParam* param) override
    {
        if (param != nullptr) {
            keep(state().settings, *param);
        }
        return enter("setting.showSettingsDialog");
    }

    int showTestCallWindow(ZhumuSDK::ShowSettingDlgParam* param) override
    {
        if (param != nullptr) {
            keep(state().settings, *param);
        }
        return enter("setting.showTestCallWindow");
    }
};

AuthService g_authService;
MeetingService g_meetingService;
SettingService g_settingService;

template <typename Service>
int create(const std::string& name, bool Objects::*which, Service& instance, Service** out)
{
    const int result = enter(name);
    if (out != nullptr) {
        *out = result == 0 && present(which) ? &instance : nullptr;
    }
    return result;
}

int destroy(const std::string& name, const void* service)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        state().destroyCalls.push_back(DestroyCall{name, service});
    }
    return enter(name);
}

template <typename Record> std::vector<Record> copyOf(const std::vector<Record>& records)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return records;
}

template <typename Sink> Sink* sinkOf(Sink* const& slot)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return slot;
}

} // namespace

void reset()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state() = State();
}

void setResult(const std::string& call, int result)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().results[call] = result;
}

void setObjects(const Objects& objects)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().objects = objects;
}

std::vector<std::string> calls()
{
    return copyOf(state().calls);
}

void recordCall(const std::string& name)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().calls.push_back(name);
}

void setCallObserver(std::function<void(const std::string& call)> observer)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().observer = std::move(observer);
}

std::vector<DestroyCall> destroyCalls()
{
    return copyOf(state().destroyCalls);
}

std::vector<InitRecord> initRecords()
{
    return copyOf(state().inits);
}

std::vector<AuthRecord> authRecords()
{
    return copyOf(state().auths);
}

std::vector<LoginRecord> loginRecords()
{
    return copyOf(state().logins);
}

std::vector<StartRecord> startRecords()
{
    return copyOf(state().starts);
}

std::vector<JoinRecord> joinRecords()
{
    return copyOf(state().joins);
}

std::vector<ZhumuSDK::ShowSettingDlgParam> settingsRecords()
{
    return copyOf(state().settings);
}

ZhumuSDK::IAuthService* authService()
{
    return &g_authService;
}

ZhumuSDK::IMeetingService* meetingService()
{
    return &g_meetingService;
}

ZhumuSDK::ISettingService* settingService()
{
    return &g_settingService;
}

ZhumuSDK::IAuthServiceEvent* authSink()
{
    return sinkOf(state().authSink);
}

ZhumuSDK::IMeetingServiceEvent* meetingSink()
{
    return sinkOf(state().meetingSink);
}

ZhumuSDK::IMeetingUIControllerEvent* uiSink()
{
    return sinkOf(state().uiSink);
}

ZhumuSDK::IMeetingVideoCtrlEvent* videoSink()
{
    return sinkOf(state().videoSink);
}

ZhumuSDK::IMeetingShareCtrlEvent* shareSink()
{
    return sinkOf(state().shareSink);
}

ZhumuSDK::IMeetingAudioCtrlEvent* audioSink()
{
    return sinkOf(state().audioSink);
}

ZhumuSDK::IMeetingParticipantsCtrlEvent* participantsSink()
{
    return sinkOf(state().participantsSink);
}

bool fireAuthenticationReturn(int result)
{
    ZhumuSDK::IAuthServiceEvent* sink = authSink();
    if (sink == nullptr) {
        return false;
    }
    sink->onAuthenticationReturn(result);
    return true;
}

bool fireLoginRet(int status)
{
    ZhumuSDK::IAuthServiceEvent* sink = authSink();
    if (sink == nullptr) {
        return false;
    }
    sink->onLoginRet(status, nullptr);
    return true;
}

bool fireMeetingStatus(int status, int reason)
{
    ZhumuSDK::IMeetingServiceEvent* sink = meetingSink();
    if (sink == nullptr) {
        return false;
    }
    sink->onMeetingStatus(status, reason);
    return true;
}

} // namespace zhumu_double

int Zhumu_InitSDK(ZhumuSDK::InitParam* param)
{
    using namespace zhumu_double;
    if (param != nullptr) {
        InitRecord record{*param, copyText(param->webDomain), copyText(param->brandingName),
                          copyText(param->supportUrl)};
        record.raw.webDomain = nullptr;
        record.raw.brandingName = nullptr;
        record.raw.supportUrl = nullptr;
        keep(state().inits, std::move(record));
    }
    return enter("Zhumu_InitSDK");
}

int Zhumu_CreateAuthService(ZhumuSDK::IAuthService** service)
{
    using namespace zhumu_double;
    return create<ZhumuSDK::IAuthService>("Zhumu_CreateAuthService", &Objects::authService, *authService(),
                                          service);
}

int Zhumu_DestroyAuthService(ZhumuSDK::IAuthService* service)
{
    return zhumu_double::destroy("Zhumu_DestroyAuthService", service);
}

int Zhumu_CreateMeetingService(ZhumuSDK::IMeetingService** service)
{
    using namespace zhumu_double;
    return create<ZhumuSDK::IMeetingService>("Zhumu_CreateMeetingService", &Objects::meetingService,
                                             *meetingService(), service);
}

int Zhumu_DestroyMeetingService(ZhumuSDK::IMeetingService* service)
{
    return zhumu_double::destroy("Zhumu_DestroyMeetingService", service);
}

int Zhumu_CreateSettingService(ZhumuSDK::ISettingService** service)
{
    using namespace zhumu_double;
    return create<ZhumuSDK::ISettingService>("Zhumu_CreateSettingService", &Objects::settingService,
                                             *settingService(), service);
}

int Zhumu_DestroySettingService(ZhumuSDK::ISettingService* service)
{
    return zhumu_double::destroy("Zhumu_DestroySettingService", service);
}

int Zhumu_CleanUPSDK()
{
    return zhumu_double::enter("Zhumu_CleanUPSDK");
}
