#include "MeetingIcons.h"

#include <QPainter>
#include <QPainterPath>

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

QIcon meetingIcon(MeetingIcon icon, const QColor& colour)
{
    QIcon result;
    // Drawn at twice the size as well, for screens at 200 %.
    for (int side : {24, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintMeetingIcon(painter, QRectF(0, 0, side, side), icon, colour);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace talvora::zhumu
