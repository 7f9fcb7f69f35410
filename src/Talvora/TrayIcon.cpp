#include "TrayIcon.h"

#include "ServiceExchange.h"

#include <QAction>
#include <QIcon>
#include <QWidget>

TrayIcon::TrayIcon(QWidget* window) : QObject(window), m_pWindow(window)
{
    m_menu.setObjectName(QStringLiteral("TrayMenu"));
    m_pActShowWindow = m_menu.addAction(QString::fromUtf8("显示主窗口"), this, &TrayIcon::onShowWindow);
    m_pActQuit = m_menu.addAction(QString::fromUtf8("退出"), this, &TrayIcon::onQuit);

    m_icon.setIcon(QIcon(QStringLiteral(":/Talvora/Resources/favicon.ico")));
    m_icon.setToolTip(QStringLiteral("Talvora"));
    m_icon.setContextMenu(&m_menu);
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
            onShowWindow();
        }
    });
    connect(&m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::onShowWindow);
}

void TrayIcon::appear()
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_icon.show();
    }
}

// The tray's clicks come over D-Bus, past the window's input: like any
// action from outside they wait for an exchange in flight.
void TrayIcon::onShowWindow()
{
    if (talvora::deferWhileBusy(this, [this] { onShowWindow(); })) {
        return;
    }
    bringBackWindow();
}

void TrayIcon::onQuit()
{
    if (talvora::deferWhileBusy(this, [this] { onQuit(); })) {
        return;
    }
    bringBackWindow();
    emit quitRequested();
}

void TrayIcon::bringBackWindow()
{
    if (m_pWindow->isMinimized() || !m_pWindow->isVisible()) {
        m_pWindow->showNormal();
    }
    m_pWindow->raise();
    m_pWindow->activateWindow();
}

void TrayIcon::showMessage(const QString& title, const QString& body)
{
    m_icon.showMessage(title, body, QSystemTrayIcon::Information);
}
