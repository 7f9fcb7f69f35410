// The main window's companions on the desktop: the menu of each meeting on
// screen, the tray icon and the reminders before each listed meeting.

#include "Talvora.h"

#include "BookMeetSuccess.h"
#include "CMeetConfig.h"
#include "CreateConference.h"
#include "LeftMenu.h"
#include "MeetContextMenu.h"
#include "MeetingReminders.h"
#include "ServiceExchange.h"
#include "TrayIcon.h"
#include "platform/system/DesktopNotifications.h"

#include <QLabel>

void Talvora::setUpDesktopCompanions()
{
    m_pMeetContextMenu = new MeetContextMenu([this] { return m_pLeftMenu->m_pLabUserName->text(); }, this);
    m_pMeetContextMenu->attach(m_pCreateConference->m_pBookMeetSuccess,
                               [this] { return m_pCreateConference->m_bookedMeeting; });

    m_pTrayIcon = new TrayIcon(this);
    connect(m_pTrayIcon, &TrayIcon::quitRequested, this, [this] {
        // The tray stays reachable while the confirmation is up.
        if (!m_pLogoutConfig->isVisible()) {
            onChooseLogout();
        }
    });

    m_pMeetingReminders = new MeetingReminders(talvora::platform::createDesktopNotifications(), this);
    // A notification's action comes from outside the window's input; like
    // an SDK event it waits for an exchange in flight.
    connect(m_pMeetingReminders, &MeetingReminders::startRequested, this, [this](const QString& code) {
        const auto start = [this, code] { startMeetingByCode(code.toStdString()); };
        if (!talvora::deferWhileBusy(this, start)) {
            start();
        }
    });
    m_pMeetingReminders->setFallback(this, [this](const QString& summary, const QString& body) {
        if (m_pTrayIcon == nullptr || !m_pTrayIcon->icon()->isVisible() ||
            !QSystemTrayIcon::supportsMessages()) {
            return false;
        }
        m_pTrayIcon->showMessage(summary, body);
        return true;
    });
}
