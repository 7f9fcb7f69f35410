#pragma once
// What every frameless window of the client shares: dragging with the mouse
// and painting the white body and the drop shadow into the band that the
// window's top-level layout keeps free (5 left and right, 3 on top, 7 at the
// bottom).

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

class QLayout;
class QMouseEvent;
class QPainter;
class QPixmap;
class QWidget;

namespace talvora::frameless {

// The band around the content in which the shadow is painted.
inline constexpr int kShadowLeft = 5;
inline constexpr int kShadowTop = 3;
inline constexpr int kShadowRight = 5;
inline constexpr int kShadowBottom = 7;

// Gives a window's top-level layout the shadow band as its margins.
void setShadowMargins(QLayout* layout);

// ":/Talvora/Resources/shadow.png", 210 x 143 with the shadow in its outer band;
// on a screen with a device-pixel ratio above 1 its @2x drawing (420 x 286
// pixels, 210 x 143 in logical pixels).
QPixmap loadShadow();

// Drag without a pressed flag: any press starts a drag, and a move that
// arrives without a press on the window reuses the last offset. Both accept
// the event, so it goes no further.
void startDrag(QPoint& dragOffset, const QWidget& window, QMouseEvent* event);
void followDrag(QWidget& window, const QPoint& dragOffset, QMouseEvent* event);

// Drag with a pressed flag: the window only follows the cursor between a press
// and a release on it. The owner still runs its base handler after each call.
class PressedDrag
{
public:
    void press(const QWidget& window, const QMouseEvent* event);
    void move(QWidget& window, const QMouseEvent* event) const;
    void release() { m_bPressed = false; }

    bool isPressed() const { return m_bPressed; }
    QPoint offset() const { return m_ptDragOffset; }

private:
    bool m_bPressed = false;
    QPoint m_ptDragOffset;
};

// The nine-part shadow without its middle, in painting order.
enum ShadowPart
{
    BottomEdge,
    TopEdge,
    LeftEdge,
    RightEdge,
    TopRightCorner,
    TopLeftCorner,
    BottomLeftCorner,
    BottomRightCorner,
    ShadowPartCount
};

// Where each part lands in a window of the given size; only the edges stretch.
std::array<QRect, ShadowPartCount> shadowTargets(QSize windowSize);
// Which rectangle of the shadow image each part takes.
std::array<QRect, ShadowPartCount> shadowSources();

void paintShadow(QPainter& painter, const QPixmap& shadow, QSize windowSize);
// One part of the shadow into any target rectangle.
void paintShadowPart(QPainter& painter, const QPixmap& shadow, ShadowPart part, const QRect& target);

// The white body inside the band, filled or drawn with a white pen and brush.
QRect bodyRect(QSize windowSize);
void fillBody(QPainter& painter, QSize windowSize);
void drawBody(QPainter& painter, QSize windowSize);

// Pen for the thin separator lines of dialogs with buttons along the bottom.
void useSeparatorPen(QPainter& painter);

} // namespace talvora::frameless
