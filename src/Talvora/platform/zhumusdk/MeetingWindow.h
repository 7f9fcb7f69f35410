#pragma once
// The stand-in's own meeting window: who is in the meeting, whether the
// camera is on, and the button that leaves it. Non-modal; leaving by the
// button or by closing the window ends in finished(). It is a top-level
// window of its own even when it has an owner.

#include <QDialog>

namespace talvora::zhumu {

class MeetingWindow : public QDialog
{
    Q_OBJECT

public:
    MeetingWindow(const QString& number, const QString& displayName, bool videoOn, QWidget* owner = nullptr);
};

} // namespace talvora::zhumu
