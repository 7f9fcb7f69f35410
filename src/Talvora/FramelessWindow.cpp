#include "FramelessWindow.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QWidget>

namespace talvora::frameless {

void setShadowMargins(QLayout* layout)
{
    layout->setContentsMargins(kShadowLeft, kShadowTop, kShadowRight, kShadowBottom);
}

QPixmap loadShadow()
{
    // Style sheets find @2x files by themselves; a pixmap loaded in code has
    // to be told.
    if (qApp != nullptr && qApp->devicePixelRatio() > 1.0) {
        QPixmap fine(QStringLiteral(":/Talvora/Resources/shadow@2x.png"));
        if (!fine.isNull()) {
            fine.setDevicePixelRatio(2.0);
            return fine;
        }
    }
    return QPixmap(QStringLiteral(":/Talvora/Resources/shadow.png"));
}

void startDrag(QPoint& dragOffset, const QWidget& window, QMouseEvent* event)
{
    dragOffset = event->globalPos() - window.frameGeometry().topLeft();
    event->accept();
}

void followDrag(QWidget& window, const QPoint& dragOffset, QMouseEvent* event)
{
    window.move(event->globalPos() - dragOffset);
    event->accept();
}

void PressedDrag::press(const QWidget& window, const QMouseEvent* event)
{
    m_bPressed = true;
    m_ptDragOffset = event->globalPos() - window.frameGeometry().topLeft();
}

void PressedDrag::move(QWidget& window, const QMouseEvent* event) const
{
    if (m_bPressed) {
        window.move(event->globalPos() - m_ptDragOffset);
    }
}

std::array<QRect, ShadowPartCount> shadowTargets(QSize windowSize)
{
    const int w = windowSize.width();
    const int h = windowSize.height();
    return {{
        QRect(kShadowLeft, h - kShadowBottom, w - kShadowLeft - kShadowRight, kShadowBottom),
        QRect(kShadowLeft, 0, w - kShadowLeft - kShadowRight, kShadowTop),
        QRect(0, kShadowTop, kShadowLeft, h - kShadowTop - kShadowBottom),
        QRect(w - kShadowRight, kShadowTop, kShadowRight, h - kShadowTop - kShadowBottom),
        QRect(w - kShadowRight, 0, kShadowRight, kShadowTop),
        QRect(0, 0, kShadowLeft, kShadowTop),
        QRect(0, h - kShadowBottom, kShadowLeft, kShadowBottom),
        QRect(w - kShadowRight, h - kShadowBottom, kShadowRight, kShadowBottom),
    }};
}

std::array<QRect, ShadowPartCount> shadowSources()
{
    // The image is 210 x 143; its middle (200 x 133) is never drawn.
    return {{
        QRect(5, 136, 200, 7),
        QRect(5, 0, 200, 3),
        QRect(0, 3, 5, 133),
        QRect(205, 3, 5, 133),
        QRect(205, 0, 5, 3),
        QRect(0, 0, 5, 3),
        QRect(0, 136, 5, 7),
        QRect(205, 136, 5, 7),
    }};
}

void paintShadowPart(QPainter& painter, const QPixmap& shadow, ShadowPart part, const QRect& target)
{
    // Source rectangles are in the image's own pixels.
    const qreal ratio = shadow.devicePixelRatio();
    const QRectF source = shadowSources()[part];
    painter.drawPixmap(QRectF(target), shadow, QRectF(source.topLeft() * ratio, source.size() * ratio));
}

void paintShadow(QPainter& painter, const QPixmap& shadow, QSize windowSize)
{
    const auto targets = shadowTargets(windowSize);
    for (int part = 0; part < ShadowPartCount; ++part) {
        paintShadowPart(painter, shadow, ShadowPart(part), targets[part]);
    }
}

QRect bodyRect(QSize windowSize)
{
    return QRect(kShadowLeft, kShadowTop, windowSize.width() - kShadowLeft - kShadowRight,
                 windowSize.height() - kShadowTop - kShadowBottom);
}

void fillBody(QPainter& painter, QSize windowSize)
{
    painter.fillRect(bodyRect(windowSize), Qt::white);
}

void drawBody(QPainter& painter, QSize windowSize)
{
    painter.setPen(Qt::white);
    painter.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter.drawRect(bodyRect(windowSize));
}

void useSeparatorPen(QPainter& painter)
{
    painter.setPen(QColor(0, 0, 0, 30));
}

} // namespace talvora::frameless
