#pragma once
// Test double of the conferencing SDK: implements every Zhumu_* function and
// service of platform/ZhumuSDK.h, records the calls in order and copies every
// record it receives (wide strings included). Nothing is asynchronous: the
// test chooses each call's result and fires the events itself, synchronously.
// Link zhumusdk_double in place of the ZhumuSDK stand-in.

#include "platform/ZhumuSDK.h"

#include <functional>
#include <string>
#include <vector>

namespace zhumu_double {

// Forgets every recorded call, record, result, sink and option.
void reset();

// The result that the named call returns from now on (default 0). Names are
// those of calls(): "Zhumu_InitSDK", "auth.SDKAuth", "meeting.startMeeting", ...
// A failing Create function hands out no service.
void setResult(const std::string& call, int result);

// Which objects the Create functions and the controller accessors hand out;
// a missing one comes back as null.
struct Objects
{
    bool authService = true;
    bool meetingService = true;
    bool settingService = true;
    bool uiController = true;
    bool videoController = true;
    bool shareController = true;
    bool audioController = true;
    bool participantsController = true;
};
void setObjects(const Objects& objects);

// Calls in order. Exported functions by their names; service operations as
// "auth.*", "meeting.*", "setting.*", "ui.*", "video.*", "share.*", "audio.*",
// "participants.*" (e.g. "participants.setEventSink", "meeting.getUIController").
std::vector<std::string> calls();
// Adds a mark of the test's own to the call list (safe from any thread).
void recordCall(const std::string& name);
// Runs after each call has been recorded, on the calling thread.
void setCallObserver(std::function<void(const std::string& call)> observer);

// The pointer each Destroy function received, in call order.
struct DestroyCall
{
    std::string name;
    const void* service;
};
std::vector<DestroyCall> destroyCalls();

// Copies of the records. The raw struct keeps every plain field; its string
// pointers are cleared and their texts copied beside it (null -> empty).
struct InitRecord
{
    ZhumuSDK::InitParam raw;
    std::wstring webDomain;
    std::wstring brandingName;
    std::wstring supportUrl;
};
struct AuthRecord
{
    ZhumuSDK::AuthParam raw;
    std::wstring appKey;
    std::wstring appSecret;
};
struct LoginRecord
{
    ZhumuSDK::LoginParam raw;
    std::wstring account;
    std::wstring password;
};
struct StartRecord
{
    ZhumuSDK::StartParam raw;
    std::wstring vanityId;
    std::wstring inviteText;
};
struct JoinRecord
{
    ZhumuSDK::JoinParam raw;
    std::wstring vanityId;
    std::wstring displayName;
    std::wstring password;
};
std::vector<InitRecord> initRecords();
std::vector<AuthRecord> authRecords();
std::vector<LoginRecord> loginRecords();
std::vector<StartRecord> startRecords();
std::vector<JoinRecord> joinRecords();
std::vector<ZhumuSDK::ShowSettingDlgParam> settingsRecords();

// The services this double hands out (also when the client got null).
ZhumuSDK::IAuthService* authService();
ZhumuSDK::IMeetingService* meetingService();
ZhumuSDK::ISettingService* settingService();

// The sinks registered last (null when none was).
ZhumuSDK::IAuthServiceEvent* authSink();
ZhumuSDK::IMeetingServiceEvent* meetingSink();
ZhumuSDK::IMeetingUIControllerEvent* uiSink();
ZhumuSDK::IMeetingVideoCtrlEvent* videoSink();
ZhumuSDK::IMeetingShareCtrlEvent* shareSink();
ZhumuSDK::IMeetingAudioCtrlEvent* audioSink();
ZhumuSDK::IMeetingParticipantsCtrlEvent* participantsSink();

// Deliver an event to the registered sink at once; false when none is set.
bool fireAuthenticationReturn(int result);
bool fireLoginRet(int status);
bool fireMeetingStatus(int status, int reason);

} // namespace zhumu_double
