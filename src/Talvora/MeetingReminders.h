#pragma once
// Reminds the user of each listed meeting shortly before it starts, through
// the desktop's notifications, with an action that starts the meeting.

#include "ScheduledMeeting.h"
#include "platform/system/DesktopNotifications.h"
#include "protocol/Meet.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class MeetingReminders : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kLeadSeconds = 5 * 60;

    // notifications may be null: every reminder then goes to unshown().
    explicit MeetingReminders(std::unique_ptr<talvora::platform::DesktopNotifications> notifications,
                              QObject* parent = nullptr);
    ~MeetingReminders() override;

    // Replaces the wall clock (UTC) for tests.
    using Clock = std::function<QDateTime()>;
    void setClock(Clock clock);

    // One list answer: each meeting whose start lies ahead gets a reminder
    // 5 minutes before it (at once when it is closer), unless this run has
    // already reminded of it; meetings the answer no longer holds are
    // disarmed.
    void arm(const std::vector<protocol::Meet>& meetings);

    // The texts of a meeting's reminder.
    static talvora::platform::DesktopNotifications::Message message(const talvora::ScheduledMeeting& meeting);

signals:
    // The user picked the reminder's "开始会议".
    void startRequested(const QString& meetingCode);
    // No notification service took the reminder; show it another way.
    void unshown(const QString& summary, const QString& body);

private:
    void remindDue();
    void schedule();

    std::unique_ptr<talvora::platform::DesktopNotifications> m_notifications;
    Clock m_clock;
    QTimer m_timer;
    std::map<std::string, talvora::ScheduledMeeting> m_armed;
    std::set<std::string> m_reminded;
};
