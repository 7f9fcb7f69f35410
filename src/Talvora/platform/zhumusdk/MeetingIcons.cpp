#include "MeetingIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace talvora::zhumu {
namespace {

const QColor kOffStroke(0xe5, 0x48, 0x4d);

// The pictures are drawn on a 24 x 24 grid and scaled into the box.
void drawMicrophone(QPainter& p)
{
    p.drawRoundedRect(QRectF(8.5, 3, 7, 12), 3.5, 3.5);
    QPainterPath cup;
    cup.moveTo(5.5, 11);
    cup.cubicTo(5.5, 19, 18.5, 19, 18.5, 11);
    p.drawPath(cup);
    p.drawLine(QPointF(12, 17.5), QPointF(12, 21));
}

void drawCamera(QPainter& p)
{
    p.drawRoundedRect(QRectF(2.5, 6.5, 13, 11), 2, 2);
    QPainterPath lens;
    lens.moveTo(15.5, 10.5);
    lens.lineTo(21.5, 7);
    lens.lineTo(21.5, 17);
    lens.lineTo(15.5, 13.5);
    p.drawPath(lens);
}

void drawPeople(QPainter& p)
{
    p.drawEllipse(QRectF(5.5, 4, 7, 7));
    QPainterPath body;
    body.moveTo(2.5, 20);
    body.cubicTo(2.5, 12, 15.5, 12, 15.5, 20);
    p.drawPath(body);
    QPainterPath second;
    second.moveTo(14.5, 4.6);
    second.cubicTo(19, 4.6, 19, 10.4, 14.5, 10.4);
    second.moveTo(17.5, 13.5);
    second.cubicTo(20, 14.5, 21.5, 16.5, 21.5, 20);
    p.drawPath(second);
}

void drawLeave(QPainter& p)
{
    QPainterPath door;
    door.moveTo(13, 4);
    door.lineTo(5, 4);
    door.lineTo(5, 20);
    door.lineTo(13, 20);
    p.drawPath(door);
    p.drawLine(QPointF(10, 12), QPointF(21, 12));
    p.drawLine(QPointF(17, 8), QPointF(21, 12));
    p.drawLine(QPointF(17, 16), QPointF(21, 12));
}

void drawGallery(QPainter& p)
{
    for (const QPointF& corner : {QPointF(3, 4), QPointF(12.5, 4), QPointF(3, 12.5), QPointF(12.5, 12.5)})
        p.drawRoundedRect(QRectF(corner, QSizeF(8.5, 7.5)), 1.5, 1.5);
}

void drawSpeaker(QPainter& p)
{
    for (qreal x : {3.0, 9.5, 16.0})
        p.drawRoundedRect(QRectF(x, 3.5, 5, 4), 1, 1);
    p.drawRoundedRect(QRectF(3, 10, 18, 10.5), 1.5, 1.5);
}

// Four corner marks; `inward` turns them to point at the centre.
void drawCorners(QPainter& p, bool inward)
{
    QPainterPath corners;
    // The top left one, mirrored to the other three corners.
    const QPointF c(inward ? 9 : 4, inward ? 9 : 4);
    const QPointF arms[2] = {inward ? QPointF(9, 4) : QPointF(4, 9), inward ? QPointF(4, 9) : QPointF(9, 4)};
    for (int sx : {1, -1}) {
        for (int sy : {1, -1}) {
            auto at = [&](const QPointF& pt) {
                return QPointF(sx > 0 ? pt.x() : 24 - pt.x(), sy > 0 ? pt.y() : 24 - pt.y());
            };
            corners.moveTo(at(arms[0]));
            corners.lineTo(at(c));
            corners.lineTo(at(arms[1]));
        }
    }
    p.drawPath(corners);
}

// A screen with an arrow rising out of it.
void drawShare(QPainter& p)
{
    p.drawRoundedRect(QRectF(2.5, 4.5, 19, 13), 2, 2);
    p.drawLine(QPointF(8, 20.5), QPointF(16, 20.5));
    p.drawLine(QPointF(12, 14.5), QPointF(12, 8));
    p.drawLine(QPointF(9, 11), QPointF(12, 8));
    p.drawLine(QPointF(15, 11), QPointF(12, 8));
}

void drawChat(QPainter& p)
{
    QPainterPath bubble;
    bubble.moveTo(6, 4.5);
    bubble.lineTo(18, 4.5);
    bubble.quadTo(21, 4.5, 21, 7.5);
    bubble.lineTo(21, 14.5);
    bubble.quadTo(21, 17.5, 18, 17.5);
    bubble.lineTo(10, 17.5);
    bubble.lineTo(5.5, 21);
    bubble.lineTo(6, 17.5);
    bubble.quadTo(3, 17.5, 3, 14.5);
    bubble.lineTo(3, 7.5);
    bubble.quadTo(3, 4.5, 6, 4.5);
    p.drawPath(bubble);
    p.drawLine(QPointF(7.5, 9.5), QPointF(16.5, 9.5));
    p.drawLine(QPointF(7.5, 13), QPointF(13.5, 13));
}

} // namespace

void paintMeetingIcon(QPainter& painter, const QRectF& box, MeetingIcon icon, const QColor& colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.topLeft());
    painter.scale(box.width() / 24.0, box.height() / 24.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (icon) {
    case MeetingIcon::Microphone:
    case MeetingIcon::MicrophoneOff:
        drawMicrophone(painter);
        break;
    case MeetingIcon::Camera:
    case MeetingIcon::CameraOff:
        drawCamera(painter);
        break;
    case MeetingIcon::People:
        drawPeople(painter);
        break;
    case MeetingIcon::Leave:
        drawLeave(painter);
        break;
    case MeetingIcon::Gallery:
        drawGallery(painter);
        break;
    case MeetingIcon::Speaker:
        drawSpeaker(painter);
        break;
    case MeetingIcon::FullScreen:
    case MeetingIcon::ExitFullScreen:
        drawCorners(painter, icon == MeetingIcon::ExitFullScreen);
        break;
    case MeetingIcon::Share:
        drawShare(painter);
        break;
    case MeetingIcon::Chat:
        drawChat(painter);
        break;
    }
    if (icon == MeetingIcon::MicrophoneOff || icon == MeetingIcon::CameraOff) {
        painter.setPen(QPen(kOffStroke, 2.2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(3.5, 3.5), QPointF(20.5, 20.5));
    }
    painter.restore();
}

namespace {

// Paints the picture at whatever size Qt asks for, which on a screen at
// 200 % is twice the logical size: every scale gets its own sharp drawing
// rather than a resampled one.
class MeetingIconEngine : public QIconEngine
{
public:
    MeetingIconEngine(MeetingIcon icon, const QColor& colour) : m_icon(icon), m_colour(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        const QRectF box(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0,
                         side, side);
        QColor colour = m_colour;
        if (mode == QIcon::Disabled)
            colour.setAlphaF(colour.alphaF() * 0.45);
        paintMeetingIcon(*painter, box, m_icon, colour);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new MeetingIconEngine(m_icon, m_colour); }

private:
    MeetingIcon m_icon;
    QColor m_colour;
};

} // namespace

QIcon meetingIcon(MeetingIcon icon, const QColor& colour)
{
    return QIcon(new MeetingIconEngine(icon, colour));
}

} // namespace talvora::zhumu
