#include "BusySpinner.h"

#include <QColor>
#include <QPainter>
#include <QPen>

namespace {

constexpr int kFrameMs = 40;
constexpr int kDegreesPerFrame = 12;
constexpr int kArcDegrees = 100;
constexpr qreal kPenWidth = 4.0;

} // namespace

BusySpinner::BusySpinner(QWidget* parent, bool backdrop) : QWidget(parent), m_bBackdrop(backdrop)
{
    setObjectName(QStringLiteral("BusySpinner"));
    setFixedSize(backdrop ? kBackdropSize : kSize, backdrop ? kBackdropSize : kSize);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(kFrameMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_iAngle = (m_iAngle + kDegreesPerFrame) % 360;
        update();
    });
}

void BusySpinner::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_bBackdrop) {
        painter.setPen(QPen(QColor(0xE5, 0xE5, 0xE5), 1.0));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.setBrush(Qt::NoBrush);
    }
    const qreal inset = (width() - kSize) / 2 + kPenWidth / 2 + 1;
    const QRectF ring = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QColor blue(0x41, 0x94, 0xFF);
    QColor pale = blue;
    pale.setAlpha(48);
    painter.setPen(QPen(pale, kPenWidth));
    painter.drawEllipse(ring);
    painter.setPen(QPen(blue, kPenWidth, Qt::SolidLine, Qt::RoundCap));
    // Qt measures arcs in sixteenths of a degree, counter-clockwise; the arc
    // turns clockwise.
    painter.drawArc(ring, (90 - m_iAngle) * 16, -kArcDegrees * 16);
}

void BusySpinner::showEvent(QShowEvent* event)
{
    m_timer.start();
    QWidget::showEvent(event);
}

void BusySpinner::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}
