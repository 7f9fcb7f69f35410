#pragma once
// DesktopNotifications over org.freedesktop.Notifications (freedesktop.org
// desktop notifications, version 1.2) with QtDBus. Every call is
// asynchronous, so a slow or missing service never holds up the GUI thread.

#include "DesktopNotifications.h"

#include <QObject>

#include <map>

namespace talvora::platform {

class DBusNotifications : public QObject, public DesktopNotifications
{
    Q_OBJECT

public:
    DBusNotifications();

    void show(const Message& message, std::function<void()> onAction,
              std::function<void()> onUnavailable) override;

private slots:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    void notify(const Message& message, bool markup, std::function<void()> onAction,
                std::function<void()> onUnavailable);
    void connectSignals();

    bool m_bSignalsConnected = false;
    // The action of each notification the service still shows, by its id.
    std::map<uint, std::function<void()>> m_actions;
};

} // namespace talvora::platform
