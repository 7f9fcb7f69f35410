#pragma once
// Starting and joining meetings. The service asks the service for the
// meeting, then opens the stand-in's meeting window and reports the meeting's
// status: 3 when in it, 6 when it could not be started or joined, 7 when left.
// One meeting at a time.

#include "MeetingWindow.h"
#include "SdkRuntime.h"

#include <QObject>
#include <QPointer>

namespace talvora::zhumu {

// A controller keeps its sink; the stand-in's meetings raise no controller
// events.
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
    struct Outcome
    {
        bool admitted = false;
        int reason = 0;     // when not admitted
        std::string number; // meeting number when admitted
    };

    int request(const char* path, int64_t number, std::vector<std::pair<std::string, std::string>> form,
                const QString& displayName, bool videoOn);
    void admit(const Outcome& outcome, const QString& displayName, bool videoOn);
    void leave();
    // Queues onMeetingStatus for the GUI thread's event loop.
    void report(int status, int reason);

    ZhumuSDK::IMeetingServiceEvent* m_sink = nullptr;
    bool m_requestPending = false;
    QPointer<MeetingWindow> m_window;

    Controller<ZhumuSDK::IMeetingUIController, ZhumuSDK::IMeetingUIControllerEvent> m_uiController;
    Controller<ZhumuSDK::IMeetingVideoController, ZhumuSDK::IMeetingVideoCtrlEvent> m_videoController;
    Controller<ZhumuSDK::IMeetingShareController, ZhumuSDK::IMeetingShareCtrlEvent> m_shareController;
    Controller<ZhumuSDK::IMeetingAudioController, ZhumuSDK::IMeetingAudioCtrlEvent> m_audioController;
    Controller<ZhumuSDK::IMeetingParticipantsController, ZhumuSDK::IMeetingParticipantsCtrlEvent>
        m_participantsController;
};

} // namespace talvora::zhumu
