#include "MeetingService.h"

#include <QApplication>

#include "HttpsClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace talvora::zhumu {
namespace {

bool isMeetingNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// The number the service gave the meeting: {"number": "85012345678"} (a JSON
// number is accepted too). Empty when the answer carries none.
std::string numberOfAnswer(const std::string& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body));
    const QJsonValue value = document.object().value(QStringLiteral("number"));
    QString number;
    if (value.isString()) {
        number = value.toString();
    } else if (value.isDouble()) {
        const double n = value.toDouble();
        if (n >= 1 && n <= 9007199254740992.0 && n == static_cast<double>(static_cast<int64_t>(n)))
            number = QString::number(static_cast<int64_t>(n));
    }
    return isMeetingNumber(number) && number != QLatin1String("0") ? number.toStdString() : std::string();
}

} // namespace

MeetingService::~MeetingService()
{
    // The meeting ends with its service; nobody is left to hear about it.
    if (m_window) {
        m_window->disconnect();
        m_window->hide();
        m_window->deleteLater();
    }
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

    https::Request request;
    request.url = SdkRuntime::instance().baseUrl() + path;
    request.body = https::formEncode(form);
    const std::string session = SdkRuntime::instance().session();
    if (!session.empty())
        request.headers.push_back("Authorization: Bearer " + session);
    m_requestPending = true;
    const uint64_t id = serviceId();
    SdkRuntime::instance().runInBackground([id, request, number, displayName, videoOn] {
        const https::Answer answer = SdkRuntime::instance().post(request);
        Outcome outcome;
        if (!answer.completed) {
            outcome.reason = kFailConnectionError;
        } else if (answer.status == 404) {
            outcome.reason = ZhumuSDK::MEETING_FAIL_MEETING_NOT_EXIST;
        } else if (answer.status != 200) {
            outcome.reason = kFailServiceError;
        } else {
            outcome.number = numberOfAnswer(answer.body);
            if (outcome.number.empty() && number > 0)
                outcome.number = std::to_string(number);
            outcome.admitted = !outcome.number.empty();
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
    // The client runs its main window modally; a window without an owner
    // would be blocked by that modality and could never be left. Owned by the
    // modal window it stays reachable, and still a window of its own.
    m_window = new MeetingWindow(QString::fromStdString(outcome.number), displayName, videoOn,
                                 QApplication::activeModalWidget());
    SdkRuntime::instance().trackWindow(m_window);
    QObject::connect(m_window, &QDialog::finished, m_window, [this] { leave(); });
    m_window->show();
    if (m_sink)
        m_sink->onMeetingStatus(ZhumuSDK::MEETING_STATUS_INMEETING, 0);
}

void MeetingService::leave()
{
    if (!m_window)
        return;
    m_window->deleteLater();
    m_window.clear();
    report(ZhumuSDK::MEETING_STATUS_ENDED, 0);
}

void MeetingService::report(int status, int reason)
{
    deliverTo<MeetingService>(serviceId(), [status, reason](MeetingService& service) {
        if (service.m_sink)
            service.m_sink->onMeetingStatus(status, reason);
    });
}

} // namespace talvora::zhumu
