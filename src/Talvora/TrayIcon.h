#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QWidget;

// The application's icon in the desktop's tray (when it has one) from the
// moment the main window is ready (appear()) until it goes: "显示主窗口"
// brings the window back, "退出" asks for the logout confirmation; both wait
// for a service exchange in flight. Also shows reminders that no
// notification service took.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(QWidget* window);

    // Puts the icon in the tray, once the window is fully built.
    void appear();

    QMenu* menu() { return &m_menu; }
    QSystemTrayIcon* icon() { return &m_icon; }

    QAction* m_pActShowWindow = nullptr;
    QAction* m_pActQuit = nullptr;

signals:
    // After the window has been brought back, so the confirmation opens over it.
    void quitRequested();

public slots:
    void onShowWindow();
    void onQuit();
    void showMessage(const QString& title, const QString& body);

private:
    void bringBackWindow();

    QWidget* m_pWindow;
    QMenu m_menu;
    QSystemTrayIcon m_icon;
};
