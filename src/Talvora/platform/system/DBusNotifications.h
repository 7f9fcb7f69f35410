#pragma once
// DesktopNotifications over org.freedesktop.Notifications (freedesktop.org
// desktop notifications, version 1.2) with QtDBus. Every call is
// asynchronous, so a slow or missing service never holds up the GUI thread.

#include "DesktopNotifications.h"

#include <QDBusConnection>
#include <QObject>

#include <map>
#include <optional>

namespace talvora::platform {

class DBusNotifications : public QObject, public DesktopNotifications
{
    Q_OBJECT

public:
    // The service on the session bus, reached on the first show().
    DBusNotifications();
    // The service on `bus` (tests bring a bus of their own).
    explicit DBusNotifications(const QDBusConnection& bus);

    void show(const Message& message, std::function<void()> onAction,
              std::function<void()> onUnavailable) override;

private slots:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    void notify(const Message& message, bool markup, std::function<void()> onAction,
                std::function<void()> onUnavailable);
    void connectSignals();
    QDBusConnection& bus();

    std::optional<QDBusConnection> m_bus;
    bool m_bSignalsConnected = false;
    bool m_bOwnersWatched = false;
    // The action of each notification the service still shows, by its id.
    // A service that restarts counts its ids from 1 again: the map is
    // emptied whenever the service's name changes owner, and m_owners counts
    // those changes so that an answer of the previous owner adds nothing.
    std::map<uint, std::function<void()>> m_actions;
    unsigned m_owners = 0;
};

} // namespace talvora::platform
