#pragma once
// Reminds the user of each listed meeting shortly before it starts, through
// the desktop's notifications, with an action that starts the meeting; where
// no notification service takes it, through the tray or a notice over the
// main window.

#include "ScheduledMeeting.h"
#include "platform/system/DesktopNotifications.h"
#include "protocol/Meet.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
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

    // notifications may be null: every reminder is then one that no service took.
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

    // Where a reminder goes when no notification service took it: to
    // trayMessage, which returns whether the tray showed it, and otherwise to
    // a notice over `window`, which comes to the front. Without a fallback
    // such a reminder only reaches unshown().
    using TrayMessage = std::function<bool(const QString& summary, const QString& body)>;
    void setFallback(QWidget* window, TrayMessage trayMessage);

    // The texts of a meeting's reminder.
    static talvora::platform::DesktopNotifications::Message message(const talvora::ScheduledMeeting& meeting);

signals:
    // The user picked the reminder's "开始会议".
    void startRequested(const QString& meetingCode);
    // No notification service took the reminder; show it another way.
    void unshown(const QString& summary, const QString& body);

private:
    void remindDue();
    void remindWithoutService(const talvora::platform::DesktopNotifications::Message& shown,
                              const QString& meetingCode);
    void schedule();

    std::unique_ptr<talvora::platform::DesktopNotifications> m_notifications;
    Clock m_clock;
    QTimer m_timer;
    std::map<std::string, talvora::ScheduledMeeting> m_armed;
    std::set<std::string> m_reminded;
    QPointer<QWidget> m_pWindow;
    TrayMessage m_trayMessage;
};
