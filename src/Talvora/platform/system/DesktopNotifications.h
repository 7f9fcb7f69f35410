#pragma once
// Notifications on the user's desktop, beside the client's windows. Here the
// session's notification service (org.freedesktop.Notifications on the
// D-Bus session bus) shows them.

#include <QString>

#include <functional>
#include <memory>

namespace talvora::platform {

class DesktopNotifications
{
public:
    struct Message
    {
        QString summary;
        QString body; // plain text; escaped here for services that read markup
        QString actionLabel;
    };

    virtual ~DesktopNotifications() = default;

    // Hands the message to the desktop. Later, on the GUI thread, onAction
    // runs each time the user picks the message's one action, or
    // onUnavailable once when no service took the message. Neither runs after
    // this object is gone.
    virtual void show(const Message& message, std::function<void()> onAction,
                      std::function<void()> onUnavailable) = 0;
};

// The desktop's notification service; the session bus is reached on first use.
std::unique_ptr<DesktopNotifications> createDesktopNotifications();

} // namespace talvora::platform
