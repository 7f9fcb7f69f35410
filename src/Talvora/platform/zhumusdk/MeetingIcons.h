#pragma once
// The meeting window's small pictures, drawn with QPainter so that they stay
// sharp at any scale and need no resource files: microphone and camera, each
// on or off, the people of the side list, and leaving.

#include <QColor>
#include <QIcon>
#include <QPixmap>

class QPainter;
class QRectF;

namespace talvora::zhumu {

enum class MeetingIcon
{
    Microphone,
    MicrophoneOff,
    Camera,
    CameraOff,
    People,
    Leave,
    Chat,
};

// An icon in `colour`; the "off" pictures carry a red stroke through them.
QIcon meetingIcon(MeetingIcon icon, const QColor& colour = Qt::white);

// Draws the picture into `box` (square), for widgets that paint themselves.
void paintMeetingIcon(QPainter& painter, const QRectF& box, MeetingIcon icon, const QColor& colour);

} // namespace talvora::zhumu
