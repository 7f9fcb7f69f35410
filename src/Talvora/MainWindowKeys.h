#pragma once

#include <QObject>

class QPushButton;
class Talvora;

// The main window's own keys.
// - Ctrl+1, Ctrl+2 and Ctrl+3 choose "我的会议", "发起会议" and "加入会议" as a
//   click on the menu entry would, then put the focus on the first control of
//   the page shown, so that typing goes there.
// - Escape is taken by a shortcut that does nothing. The menu, the pages, their
//   panes and the cards are dialogs embedded in the window, and a dialog
//   hides itself on Escape: the key would hide whichever of them held the
//   focus, for good. The shortcut belongs to the main window only, so the
//   pop-ups (own windows) still cancel on Escape.
// - A page shown in place of the one that held the focus takes the focus to
//   its first control in reading order.
// Owned by the window (a child object).
class MainWindowKeys : public QObject
{
    Q_OBJECT

public:
    explicit MainWindowKeys(Talvora& window);

private:
    void choose(QPushButton* entry);

    Talvora& m_window;
};
