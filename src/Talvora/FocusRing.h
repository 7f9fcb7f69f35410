#pragma once

#include <QObject>
#include <QPointer>

class QFocusFrame;
class QWidget;

// A ring around the control that has the keyboard focus, drawn by a
// QFocusFrame that the application style sheet styles ("QFocusFrame" rule).
// It shows while the keyboard is in use and hides on a mouse press, so a
// click leaves no ring behind, and it follows the focus into the pop-ups.
class FocusRing : public QObject
{
    Q_OBJECT

public:
    // One ring for the whole application; repeated calls do nothing.
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FocusRing();
    void follow(QWidget* focused);

    // The frame lives among the focused control's siblings, so it may go
    // when their window is deleted (a rename dialog on the stack); it is made
    // again when needed.
    QPointer<QFocusFrame> m_pFrame;
    bool m_bKeyboard = false;
};
