#include "DBusNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QStringList>
#include <QVariantMap>

namespace talvora::platform {
namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";
const char* const kActionKey = "start";
const char* const kApplicationName = "Talvora";
// The service's own default display time.
constexpr int kDefaultExpiry = -1;

QDBusMessage call(const char* method)
{
    return QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                          QLatin1String(kInterface), QLatin1String(method));
}

// Runs `then` with the finished call once the service has answered.
template <typename Then> void whenAnswered(QObject* owner, const QDBusPendingCall& pending, Then then)
{
    auto* watcher = new QDBusPendingCallWatcher(pending, owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [then = std::move(then)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         then(*finished);
                     });
}

} // namespace

std::unique_ptr<DesktopNotifications> createDesktopNotifications()
{
    return std::make_unique<DBusNotifications>();
}

DBusNotifications::DBusNotifications() = default;

DBusNotifications::DBusNotifications(const QDBusConnection& bus) : m_bus(bus) {}

QDBusConnection& DBusNotifications::bus()
{
    if (!m_bus) {
        m_bus = QDBusConnection::sessionBus();
    }
    return *m_bus;
}

void DBusNotifications::connectSignals()
{
    if (m_bSignalsConnected) {
        return;
    }
    if (!m_bOwnersWatched) {
        m_bOwnersWatched = true;
        auto* owners = new QDBusServiceWatcher(QLatin1String(kService), bus(),
                                               QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
            ++m_owners;
            m_actions.clear();
        });
    }
    m_bSignalsConnected =
        bus().connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                      QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString))) &&
        bus().connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                      QStringLiteral("NotificationClosed"), this, SLOT(onNotificationClosed(uint, uint)));
}

void DBusNotifications::show(const Message& message, std::function<void()> onAction,
                             std::function<void()> onUnavailable)
{
    if (!bus().isConnected()) {
        onUnavailable();
        return;
    }
    connectSignals();
    // Some services read the body as markup; a topic must still arrive as
    // the characters it is.
    whenAnswered(this, bus().asyncCall(call("GetCapabilities")),
                 [this, message, onAction = std::move(onAction),
                  onUnavailable = std::move(onUnavailable)](const QDBusPendingCall& answered) {
                     QDBusPendingReply<QStringList> capabilities = answered;
                     if (capabilities.isError()) {
                         onUnavailable();
                         return;
                     }
                     const bool markup = capabilities.value().contains(QStringLiteral("body-markup"));
                     notify(message, markup, onAction, onUnavailable);
                 });
}

void DBusNotifications::notify(const Message& message, bool markup, std::function<void()> onAction,
                               std::function<void()> onUnavailable)
{
    QDBusMessage request = call("Notify");
    request << QString::fromLatin1(kApplicationName) << uint(0) << QString() << message.summary
            << (markup ? message.body.toHtmlEscaped() : message.body)
            << QStringList{QString::fromLatin1(kActionKey), message.actionLabel} << QVariantMap()
            << int(kDefaultExpiry);
    whenAnswered(this, bus().asyncCall(request),
                 [this, owners = m_owners, onAction = std::move(onAction),
                  onUnavailable = std::move(onUnavailable)](const QDBusPendingCall& answered) {
                     QDBusPendingReply<uint> id = answered;
                     if (id.isError()) {
                         onUnavailable();
                         return;
                     }
                     if (owners == m_owners) {
                         m_actions[id.value()] = onAction;
                     }
                 });
}

void DBusNotifications::onActionInvoked(uint id, const QString& actionKey)
{
    const auto found = m_actions.find(id);
    if (found != m_actions.end() && actionKey == QLatin1String(kActionKey)) {
        // Copied: the action may end in code that closes the notification.
        const std::function<void()> action = found->second;
        action();
    }
}

void DBusNotifications::onNotificationClosed(uint id, uint /*reason*/)
{
    m_actions.erase(id);
}

} // namespace talvora::platform
