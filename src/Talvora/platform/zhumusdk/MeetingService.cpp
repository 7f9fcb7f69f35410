#include "MeetingService.h"

#include "AudioProcessingSettings.h"
#include "DeviceChoices.h"
#include "MeetingPrompts.h"
#include "MeetingRoster.h"
#include "SettingsDialog.h"
#include "media/Admission.h"
#include "media/MeetingEngine.h"

#include "HttpsClient.h"

#include <QTimer>

#include <cstdio>

namespace talvora::zhumu {
namespace {

// A form request to the service, carrying the signed-in session.
https::Request sessionRequest(const std::string& path, const std::vector<std::pair<std::string, std::string>>& form)
{
    https::Request request;
    request.url = SdkRuntime::instance().baseUrl() + path;
    request.body = https::formEncode(form);
    const std::string session = SdkRuntime::instance().session();
    if (!session.empty())
        request.headers.push_back("Authorization: Bearer " + session);
    return request;
}

// How long a politely leaving engine may take before it is hung up.
constexpr int kLeaveGraceMs = 3000;

bool isMeetingNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    bool nonZero = false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        nonZero = nonZero || c != QLatin1Char('0');
    }
    return nonZero;
}

// The test picture's size and rate, "WxH@FPS" (TALVORA_TEST_MEDIA_FORMAT):
// a test on a small machine sends less than a camera would. Anything else
// leaves the options as they are.
void applyTestFormat(const QByteArray& format, media::MediaOptions& options)
{
    int width = 0, height = 0, fps = 0;
    char end = 0;
    if (std::sscanf(format.constData(), "%dx%d@%d%c", &width, &height, &fps, &end) != 3 || width < 16 ||
        height < 16 || width > 1920 || height > 1080 || fps < 1 || fps > 60)
        return;
    options.width = width;
    options.height = height;
    options.fps = fps;
}

} // namespace

struct MeetingService::Outcome
{
    bool admitted = false;
    int reason = 0; // when not admitted
    media::Admission admission;
};

MeetingService::~MeetingService()
{
    m_context.reset();
    // The meeting ends with its service; nobody is left to hear about it,
    // but the service is still told.
    if (m_window) {
        if (!m_window->isOver())
            notifyService("/sdk/v1/meetings/leave");
        m_window->disconnect();
        m_window->hide();
        m_window->deleteLater();
    }
    delete m_engine;
}

int MeetingService::setEventSink(ZhumuSDK::IMeetingServiceEvent* sink)
{
    m_sink = sink;
    return ZhumuSDK::SDKERR_SUCCESS;
}

int MeetingService::startMeeting(ZhumuSDK::StartParam* param)
{
    if (!param)
        return kErrInvalidParameter;
    const bool videoOn = param->isVideoOff == 0;
    return request("/sdk/v1/meetings/start", param->meetingNumber,
                   {{"number", std::to_string(param->meetingNumber)}, {"no_video", videoOn ? "0" : "1"}},
                   SdkRuntime::instance().signedInAccount(), videoOn);
}

int MeetingService::joinMeeting(ZhumuSDK::JoinParam* param)
{
    if (!param)
        return kErrInvalidParameter;
    const std::string displayName = toUtf8(param->displayName);
    return request("/sdk/v1/meetings/join", param->meetingNumber,
                   {{"number", std::to_string(param->meetingNumber)}, {"display_name", displayName}},
                   QString::fromStdString(displayName), param->isVideoOff == 0);
}

int MeetingService::request(const char* path, int64_t number,
                            std::vector<std::pair<std::string, std::string>> form, const QString& displayName,
                            bool videoOn)
{
    if (m_requestPending || m_window) {
        if (m_window) {
            m_window->raise();
            m_window->activateWindow();
        }
        return kErrWrongUsage;
    }
    // No meeting has a negative number; the service need not be asked.
    if (number < 0) {
        report(ZhumuSDK::MEETING_STATUS_FAILED, ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST);
        return ZhumuSDK::SDKERR_SUCCESS;
    }

    m_admitPath = path;
    m_admitForm = form;
    const https::Request request = sessionRequest(path, form);
    m_requestPending = true;
    const uint64_t id = serviceId();
    SdkRuntime::instance().runInBackground([id, request, displayName, videoOn] {
        const https::Answer answer = SdkRuntime::instance().post(request);
        Outcome outcome;
        if (!answer.completed) {
            outcome.reason = kFailConnectionError;
        } else if (answer.status == 404) {
            outcome.reason = ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST;
        } else if (answer.status != 200) {
            outcome.reason = kFailServiceError;
        } else {
            // A meeting without its media part cannot be entered.
            outcome.admitted =
                media::parseAdmission(QByteArray::fromStdString(answer.body), outcome.admission) &&
                isMeetingNumber(outcome.admission.number);
            outcome.reason = outcome.admitted ? 0 : kFailServiceError;
        }
        deliverTo<MeetingService>(id, [outcome, displayName, videoOn](MeetingService& service) {
            service.admit(outcome, displayName, videoOn);
        });
    });
    return ZhumuSDK::SDKERR_SUCCESS;
}

void MeetingService::admit(const Outcome& outcome, const QString& displayName, bool videoOn)
{
    m_requestPending = false;
    if (!outcome.admitted) {
        if (m_sink)
            m_sink->onMeetingStatus(ZhumuSDK::MEETING_STATUS_FAILED, outcome.reason);
        return;
    }

    const MeetingSwitches& switches = SettingsDialog::switches();
    media::MediaOptions options;
    options.sendVideo = videoOn && switches.cameraOnJoin;
    options.sendAudio = switches.autoConnectAudio;
    options.testMedia = qgetenv("TALVORA_TEST_MEDIA") == "1";
    if (options.testMedia)
        applyTestFormat(qgetenv("TALVORA_TEST_MEDIA_FORMAT"), options);
    const DeviceChoices& devices = DeviceChoices::instance();
    options.cameraId = devices.chosen(media::DeviceKind::Camera);
    options.microphoneId = devices.chosen(media::DeviceKind::Microphone);
    options.speakerId = devices.chosen(media::DeviceKind::Speaker);
    options.audioProcessing = AudioProcessingSettings::instance().load();

    media::Participant self;
    self.self = true;
    self.host = outcome.admission.host;
    self.displayName = outcome.admission.displayName.isEmpty() ? displayName : outcome.admission.displayName;
    self.audioMuted = !options.sendAudio;
    self.videoOff = !options.sendVideo;

    m_number = outcome.admission.number.toStdString();
    m_userIds.clear();
    m_engine = new media::MeetingEngine(outcome.admission, options);
    // A device chosen in the settings during the meeting is used at once.
    QObject::connect(
        &DeviceChoices::instance(), &DeviceChoices::changed, m_engine,
        [engine = m_engine](media::DeviceKind kind, const QString& id) { engine->setDevice(kind, id); });
    QObject::connect(m_engine, &media::MeetingEngine::readmissionNeeded, m_context.get(),
                     [this] { requestReadmission(); });
    m_window =
        new MeetingWindow(outcome.admission.number, self, m_engine, SdkRuntime::instance().meetingOwner());
    SdkRuntime::instance().trackWindow(m_window);
    QObject::connect(m_window, &MeetingWindow::joined, m_context.get(),
                     [this] { report(ZhumuSDK::MEETING_STATUS_INMEETING, 0); });
    QObject::connect(m_window, &MeetingWindow::over, m_context.get(),
                     [this](MeetingWindow::Outcome how) { meetingOver(how); });
    // Gone without saying how (its owner was destroyed): the meeting is over.
    QObject::connect(m_window, &QObject::destroyed, m_context.get(), [this] {
        // Half destroyed already: not to be touched any more.
        m_window.clear();
        if (m_engine)
            meetingOver(MeetingWindow::Outcome::Left);
    });
    QObject::connect(m_window, &MeetingWindow::muteRequested, m_context.get(), [this](qint64 participant) {
        moderate("/sdk/v1/meetings/mute", std::to_string(participant));
    });
    QObject::connect(m_window, &MeetingWindow::muteAllRequested, m_context.get(),
                     [this] { moderate("/sdk/v1/meetings/mute", "all"); });
    QObject::connect(m_window, &MeetingWindow::removeRequested, m_context.get(), [this](qint64 participant) {
        moderate("/sdk/v1/meetings/kick", std::to_string(participant));
    });
    QObject::connect(m_window, &MeetingWindow::unmuteRequested, m_context.get(),
                     [this] { moderate("/sdk/v1/meetings/unmute", {}); });
    relayEvents(m_window->roster());
    if (switches.fullScreen)
        m_window->showFullScreen();
    else
        m_window->show();
    m_engine->start();
}

void MeetingService::requestReadmission()
{
    if (!m_engine || m_number.empty())
        return;
    auto form = m_admitForm;
    for (auto& field : form) {
        if (field.first == "number")
            field.second = m_number; // a new meeting's start names it now
    }
    const https::Request request = sessionRequest(m_admitPath, form);
    const uint64_t id = serviceId();
    SdkRuntime::instance().runInBackground([id, request] {
        const https::Answer answer = SdkRuntime::instance().post(request);
        media::Admission admission;
        // Without an admission the engine's attempt has failed: it asks
        // again after its back-off.
        if (!answer.completed || answer.status != 200 ||
            !media::parseAdmission(QByteArray::fromStdString(answer.body), admission)) {
            deliverTo<MeetingService>(id, [](MeetingService& service) {
                if (service.m_engine)
                    service.m_engine->readmissionRefused();
            });
            return;
        }
        deliverTo<MeetingService>(id, [admission](MeetingService& service) {
            if (service.m_engine)
                service.m_engine->readmit(admission);
        });
    });
}

void MeetingService::meetingOver(MeetingWindow::Outcome outcome)
{
    const bool wasJoined = m_window && m_window->isJoined();
    switch (outcome) {
    case MeetingWindow::Outcome::EndedByMe:
        notifyService("/sdk/v1/meetings/end");
        break;
    case MeetingWindow::Outcome::Left:
    case MeetingWindow::Outcome::ConnectionLost:
    case MeetingWindow::Outcome::Failed:
        notifyService("/sdk/v1/meetings/leave");
        break;
    case MeetingWindow::Outcome::EndedByHost:
        // The room is gone, and this participant's admission with it.
        break;
    case MeetingWindow::Outcome::Removed:
        // The service has already taken the admission back.
        m_number.clear();
        break;
    }
    retireEngine(outcome == MeetingWindow::Outcome::Left || outcome == MeetingWindow::Outcome::EndedByMe);
    if (m_window) {
        m_window->disconnect(m_context.get());
        m_window->deleteLater();
        m_window.clear();
    }
    const bool failedToEnter = !wasJoined && (outcome == MeetingWindow::Outcome::Failed ||
                                              outcome == MeetingWindow::Outcome::ConnectionLost);
    if (failedToEnter)
        report(ZhumuSDK::MEETING_STATUS_FAILED, kFailConnectionError);
    else
        report(ZhumuSDK::MEETING_STATUS_ENDED, 0);
}

void MeetingService::notifyService(const char* path)
{
    if (m_number.empty())
        return;
    const https::Request request = sessionRequest(path, {{"number", m_number}});
    m_number.clear();
    // Nobody waits for the answer: the meeting is over for this participant
    // whatever the service says.
    SdkRuntime::instance().runInBackground([request] { SdkRuntime::instance().post(request); });
}

void MeetingService::moderate(const char* path, const std::string& participant)
{
    if (m_number.empty())
        return;
    std::vector<std::pair<std::string, std::string>> form = {{"number", m_number}};
    // Without one: the user's own audio.
    if (!participant.empty())
        form.emplace_back("participant", participant);
    const https::Request request = sessionRequest(path, form);
    const uint64_t id = serviceId();
    SdkRuntime::instance().runInBackground([id, request] {
        const https::Answer answer = SdkRuntime::instance().post(request);
        // Someone already gone (404) needs no word; anything else failed.
        const bool refused = !answer.completed || (answer.status != 200 && answer.status != 404);
        if (!refused)
            return;
        deliverTo<MeetingService>(id, [](MeetingService& service) {
            if (service.m_window && !service.m_window->isOver())
                showNotice(service.m_window, QStringLiteral("操作未成功，请稍后再试"));
        });
    });
}

void MeetingService::retireEngine(bool politely)
{
    media::MeetingEngine* engine = m_engine;
    m_engine = nullptr;
    if (!engine)
        return;
    if (!politely) {
        engine->deleteLater();
        return;
    }
    // The window has asked it to leave; it goes once it has, or is hung up.
    QObject::connect(engine, &media::MeetingEngine::left, engine, &QObject::deleteLater);
    QTimer::singleShot(kLeaveGraceMs, engine, &QObject::deleteLater);
}

uint32_t MeetingService::userIdOf(qint64 participantId)
{
    auto it = m_userIds.find(participantId);
    if (it == m_userIds.end())
        it = m_userIds.insert(participantId, m_nextUserId++);
    return it.value();
}

void MeetingService::relayEvents(const MeetingRoster* roster)
{
    const uint64_t id = serviceId();
    QObject* context = m_context.get();
    QObject::connect(roster, &MeetingRoster::added, context, [this, id](const media::Participant& person) {
        const uint32_t user = userIdOf(person.id);
        const bool host = person.host;
        deliverTo<MeetingService>(id, [user, host](MeetingService& service) {
            if (auto* sink = service.m_participantsController.sink()) {
                sink->onUserJoin(&user, 1);
                if (host)
                    sink->onHostChangeNotification(user);
            }
        });
    });
    QObject::connect(roster, &MeetingRoster::removed, context, [this, id](const media::Participant& person) {
        const uint32_t user = userIdOf(person.id);
        deliverTo<MeetingService>(id, [user](MeetingService& service) {
            if (auto* sink = service.m_participantsController.sink())
                sink->onUserLeft(&user, 1);
        });
    });
    QObject::connect(roster, &MeetingRoster::changed, context,
                     [this, id](const media::Participant& before, const media::Participant& now) {
                         const uint32_t user = userIdOf(now.id);
                         const bool audio = before.audioMuted != now.audioMuted;
                         const bool video = before.videoOff != now.videoOff;
                         const bool host = !before.host && now.host;
                         const int audioStatus = now.audioMuted ? kAudioMuted : kAudioUnmuted;
                         const int videoStatus = now.videoOff ? kVideoOff : kVideoOn;
                         deliverTo<MeetingService>(id, [=](MeetingService& service) {
                             if (auto* sink = service.m_audioController.sink(); sink && audio)
                                 sink->onUserAudioStatusChange(user, audioStatus);
                             if (auto* sink = service.m_videoController.sink(); sink && video)
                                 sink->onUserVideoStatusChange(user, videoStatus);
                             if (auto* sink = service.m_participantsController.sink(); sink && host)
                                 sink->onHostChangeNotification(user);
                         });
                     });
    QObject::connect(roster, &MeetingRoster::talkingChanged, context, [this, id, roster] {
        std::vector<uint32_t> users;
        for (qint64 person : roster->talking())
            users.push_back(userIdOf(person));
        deliverTo<MeetingService>(id, [users](MeetingService& service) {
            if (auto* sink = service.m_audioController.sink())
                sink->onUserActiveAudioChange(users.data(), static_cast<int>(users.size()));
        });
    });
}

void MeetingService::report(int status, int reason)
{
    deliverTo<MeetingService>(serviceId(), [status, reason](MeetingService& service) {
        if (service.m_sink)
            service.m_sink->onMeetingStatus(status, reason);
    });
}

} // namespace talvora::zhumu
