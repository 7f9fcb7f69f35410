#pragma once
// Starting and joining meetings. The service asks the service for admission,
// then runs the meeting's media engine in the stand-in's meeting window and
// reports the meeting's status: 3 once in it, 6 when it could not be started
// or joined, 7 when it was left, ended, or lost. One meeting at a time.
//
// While a meeting runs, its participants, audio and video events go to the
// sinks the client set on the controllers, queued on the GUI thread.

#include "MeetingWindow.h"
#include "SdkRuntime.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

namespace talvora::zhumu {

template <class Interface, class Sink> class Controller final : public Interface
{
public:
    int setEventSink(Sink* sink) override
    {
        m_sink = sink;
        return ZhumuSDK::SDKERR_SUCCESS;
    }
    Sink* sink() const { return m_sink; }

private:
    Sink* m_sink = nullptr;
};

// Why a start or join failed, for onMeetingStatus(6, reason).
constexpr int kFailConnectionError = 1;
constexpr int kFailServiceError = 2;

// The status argument of onUserAudioStatusChange and onUserVideoStatusChange.
constexpr int kAudioMuted = 1;
constexpr int kAudioUnmuted = 2;
constexpr int kVideoOn = 1;
constexpr int kVideoOff = 2;

class MeetingService final : public ZhumuSDK::IMeetingService, public ServiceBase
{
public:
    MeetingService() = default;
    ~MeetingService() override;

    int setEventSink(ZhumuSDK::IMeetingServiceEvent* sink) override;
    int joinMeeting(ZhumuSDK::JoinParam* param) override;
    int startMeeting(ZhumuSDK::StartParam* param) override;
    ZhumuSDK::IMeetingUIController* getUIController() override { return &m_uiController; }
    ZhumuSDK::IMeetingVideoController* getVideoController() override { return &m_videoController; }
    ZhumuSDK::IMeetingShareController* getShareController() override { return &m_shareController; }
    ZhumuSDK::IMeetingAudioController* getAudioController() override { return &m_audioController; }
    ZhumuSDK::IMeetingParticipantsController* getParticipantsController() override
    {
        return &m_participantsController;
    }

    MeetingWindow* meetingWindow() const { return m_window.data(); }

private:
    struct Outcome;

    int request(const char* path, int64_t number, std::vector<std::pair<std::string, std::string>> form,
                const QString& displayName, bool videoOn);
    void admit(const Outcome& outcome, const QString& displayName, bool videoOn);
    void relayEvents(const MeetingRoster* roster);
    void meetingOver(MeetingWindow::Outcome outcome);
    // Tells the service, on the request thread, that this participant left
    // or that the host ended the meeting.
    void notifyService(const char* path);
    // The host's mute or removal of `participant` (a publisher id, or "all"),
    // on the request thread; a refusal is shown in the meeting window.
    void moderate(const char* path, const std::string& participant);
    void retireEngine(bool politely);
    uint32_t userIdOf(qint64 participantId);
    // Queues onMeetingStatus for the GUI thread's event loop.
    void report(int status, int reason);

    ZhumuSDK::IMeetingServiceEvent* m_sink = nullptr;
    // Context of the connections to the meeting's objects: they end with the
    // service, before any of its members goes.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
    bool m_requestPending = false;
    QPointer<MeetingWindow> m_window;
    media::MeetingEngine* m_engine = nullptr;
    std::string m_number;
    QHash<qint64, uint32_t> m_userIds;
    uint32_t m_nextUserId = 1;

    Controller<ZhumuSDK::IMeetingUIController, ZhumuSDK::IMeetingUIControllerEvent> m_uiController;
    Controller<ZhumuSDK::IMeetingVideoController, ZhumuSDK::IMeetingVideoCtrlEvent> m_videoController;
    Controller<ZhumuSDK::IMeetingShareController, ZhumuSDK::IMeetingShareCtrlEvent> m_shareController;
    Controller<ZhumuSDK::IMeetingAudioController, ZhumuSDK::IMeetingAudioCtrlEvent> m_audioController;
    Controller<ZhumuSDK::IMeetingParticipantsController, ZhumuSDK::IMeetingParticipantsCtrlEvent>
        m_participantsController;
};

} // namespace talvora::zhumu
