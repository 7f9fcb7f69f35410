#include "MeetingReminders.h"

#include "log/LineText.h"
#include "log/Log.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace {

// Timers wake at least this often, so that a suspended machine or a changed
// clock delays a reminder by no more than this.
constexpr qint64 kLongestWaitMs = 60 * 1000;

} // namespace

MeetingReminders::MeetingReminders(std::unique_ptr<talvora::platform::DesktopNotifications> notifications,
                                   QObject* parent)
    : QObject(parent), m_notifications(std::move(notifications)),
      m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &MeetingReminders::remindDue);
}

MeetingReminders::~MeetingReminders() = default;

void MeetingReminders::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void MeetingReminders::arm(const std::vector<protocol::Meet>& meetings)
{
    const QDateTime now = m_clock();
    m_armed.clear();
    for (const protocol::Meet& meet : meetings) {
        if (meet.id.empty() || m_reminded.count(meet.id) != 0) {
            continue;
        }
        std::optional<talvora::MeetingTime> time =
            talvora::MeetingTime::fromServiceText(meet.start_time, meet.duration);
        if (!time || !time->startUtc().isValid() || time->startUtc() <= now) {
            continue;
        }
        m_armed.insert_or_assign(meet.id, talvora::ScheduledMeeting{meet.id, meet.topic, *time});
    }
    schedule();
}

talvora::platform::DesktopNotifications::Message
MeetingReminders::message(const talvora::ScheduledMeeting& meeting)
{
    const std::string body = talvora::singleLine(meeting.topic) + "\n" + meeting.time.startClock() +
                             " 开始 · 会议码 " + talvora::singleLine(meeting.id);
    return {QString::fromUtf8("会议即将开始"), QString::fromStdString(body), QString::fromUtf8("开始会议")};
}

void MeetingReminders::schedule()
{
    if (m_armed.empty()) {
        m_timer.stop();
        return;
    }
    const QDateTime now = m_clock();
    qint64 wait = kLongestWaitMs;
    for (const auto& [id, meeting] : m_armed) {
        const QDateTime due = meeting.time.startUtc().addSecs(-kLeadSeconds);
        wait = std::min(wait, std::max<qint64>(0, now.msecsTo(due)));
    }
    m_timer.start(static_cast<int>(wait));
}

void MeetingReminders::remindDue()
{
    const QDateTime now = m_clock();
    std::vector<talvora::ScheduledMeeting> due;
    for (auto it = m_armed.begin(); it != m_armed.end();) {
        const QDateTime start = it->second.time.startUtc();
        if (start <= now) {
            // Slept through: the meeting has begun without a reminder.
            it = m_armed.erase(it);
        } else if (start.addSecs(-kLeadSeconds) <= now) {
            due.push_back(it->second);
            m_reminded.insert(it->first);
            it = m_armed.erase(it);
        } else {
            ++it;
        }
    }
    schedule();

    for (const talvora::ScheduledMeeting& meeting : due) {
        LOG_INFO << "meeting reminder: " << meeting.id;
        const auto shown = message(meeting);
        const QString code = QString::fromStdString(meeting.id);
        if (m_notifications == nullptr) {
            remindWithoutService(shown, code);
            continue;
        }
        QPointer<MeetingReminders> self(this);
        m_notifications->show(
            shown,
            [self, code] {
                if (self) {
                    emit self->startRequested(code);
                }
            },
            [self, shown, code] {
                if (self) {
                    self->remindWithoutService(shown, code);
                }
            });
    }
}

void MeetingReminders::setFallback(QWidget* window, TrayMessage trayMessage)
{
    m_pWindow = window;
    m_trayMessage = std::move(trayMessage);
}

void MeetingReminders::remindWithoutService(const talvora::platform::DesktopNotifications::Message& shown,
                                            const QString& meetingCode)
{
    emit unshown(shown.summary, shown.body);
    if ((m_trayMessage && m_trayMessage(shown.summary, shown.body)) || m_pWindow.isNull()) {
        return;
    }
    // Neither a notification nor the tray: the reminder must still be seen,
    // without holding up whatever the user is doing in the window.
    if (m_pWindow->isMinimized() || !m_pWindow->isVisible()) {
        m_pWindow->showNormal();
    }
    m_pWindow->raise();
    m_pWindow->activateWindow();
    auto* notice =
        new QMessageBox(QMessageBox::Information, shown.summary, shown.body, QMessageBox::Close, m_pWindow);
    notice->setObjectName(QStringLiteral("ReminderNotice"));
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setWindowModality(Qt::NonModal);
    notice->setTextFormat(Qt::PlainText);
    QPushButton* start = notice->addButton(shown.actionLabel, QMessageBox::AcceptRole);
    notice->setDefaultButton(start);
    QPointer<MeetingReminders> self(this);
    connect(start, &QPushButton::clicked, this, [self, meetingCode] {
        if (self) {
            emit self->startRequested(meetingCode);
        }
    });
    notice->show();
}
