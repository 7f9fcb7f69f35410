#pragma once

#include "ScheduledMeeting.h"

#include <QMenu>

#include <functional>
#include <map>
#include <optional>

class QAction;

// The menu of a meeting on screen (a card, the booking confirmation): copy
// the invitation, copy the meeting code, export to the calendar. It opens on
// a right click, or on the Menu key or Shift+F10 while the focus is inside
// the meeting's widget.
class MeetContextMenu : public QMenu
{
    Q_OBJECT

public:
    // The inviter's name as the menu's user row shows it.
    using DisplayName = std::function<QString()>;
    explicit MeetContextMenu(DisplayName displayName, QWidget* parent = nullptr);

    // `meeting` tells, when the menu is asked for, which meeting target
    // shows; nothing means no menu.
    using MeetingSource = std::function<std::optional<talvora::ScheduledMeeting>()>;
    void attach(QWidget* target, MeetingSource meeting);

    // Asks where to save a calendar file, proposing suggestedPath; an empty
    // answer cancels. Replaced by tests; the default is a save dialog.
    using FileChooser = std::function<QString(QWidget* parent, const QString& suggestedPath)>;
    void setFileChooser(FileChooser chooser);

    QAction* m_pActCopyInvitation = nullptr;
    QAction* m_pActCopyCode = nullptr;
    QAction* m_pActExport = nullptr;

public slots:
    void onCopyInvitation();
    void onCopyCode();
    void onExportToCalendar();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openFor(QObject* target, const QPoint& globalPos);

    DisplayName m_displayName;
    FileChooser m_fileChooser;
    std::map<QObject*, MeetingSource> m_sources;
    // The meeting the open (or last) menu is about, taken when it opened.
    std::optional<talvora::ScheduledMeeting> m_meeting;
};
