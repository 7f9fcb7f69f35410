#include "VerticalScroll.h"

#include <QAccessible>
#include <QDebug>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QWheelEvent>

VerticalScroll::VerticalScroll(QString unit, int maximum, int minimum, int value, int step, QWidget* parent)
    : QDialog(parent), m_iMinimum(minimum), m_iMaximum(maximum), m_iCurrentValue(value),
      m_pAnimation(new QPropertyAnimation(this, "deviation", this)), m_dStep(step), m_strUnit(std::move(unit))
{
    setFixedSize(108, 195);
    setFocusPolicy(Qt::StrongFocus);
    m_pAnimation->setDuration(300);
    m_pAnimation->setEasingCurve(QEasingCurve::OutQuad);
}

void VerticalScroll::setDeviation(int deviation)
{
    m_iDeviation = deviation;
    repaint();
}

bool VerticalScroll::hasSmaller() const
{
    return m_iCurrentValue - m_dStep >= m_iMinimum;
}

bool VerticalScroll::hasLarger() const
{
    return m_iCurrentValue + m_dStep <= m_iMaximum;
}

void VerticalScroll::mousePressEvent(QMouseEvent* event)
{
    qDebug() << "mouse pressed on vertical scroll";
    m_pAnimation->stop();
    m_bPressed = true;
    m_iPressY = event->pos().y();
    QDialog::mousePressEvent(event);
}

void VerticalScroll::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bPressed) {
        return;
    }
    const int y = event->pos().y();
    // At either end of the range the rows do not move past the last value.
    if ((!hasSmaller() && y >= m_iPressY) || (!hasLarger() && y <= m_iPressY)) {
        return;
    }
    const int shift = rowShift();
    m_iDeviation = qBound(-shift, y - m_iPressY, shift);
    emit deviationChange(double(m_iDeviation) / shift);
    repaint();
}

void VerticalScroll::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
    if (m_bPressed) {
        m_bPressed = false;
        settle();
    }
}

void VerticalScroll::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    turn(delta > 0 ? -1 : delta < 0 ? 1 : 0);
}

void VerticalScroll::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up && event->modifiers() == Qt::NoModifier) {
        turn(-1);
    } else if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier) {
        turn(1);
    } else {
        event->ignore();
    }
}

void VerticalScroll::turn(int direction)
{
    // At the end of the range a turn does nothing. Settling there would take
    // the deviation that the last step's animation has reached for a drag
    // and move the value back the other way.
    if (direction < 0 && hasSmaller()) {
        m_iDeviation = rowShift();
    } else if (direction > 0 && hasLarger()) {
        m_iDeviation = -rowShift();
    } else {
        return;
    }
    settle();
    repaint();
}

void VerticalScroll::settle()
{
    const int threshold = height() / 10;
    const int offset = (height() - 1) / 8;
    if (m_iDeviation > threshold && hasSmaller()) {
        m_pAnimation->setStartValue(offset - m_iDeviation);
        m_pAnimation->setEndValue(0);
        m_iCurrentValue -= int(m_dStep);
    } else if (m_iDeviation < -threshold && hasLarger()) {
        m_pAnimation->setStartValue(-offset - m_iDeviation);
        m_pAnimation->setEndValue(0);
        m_iCurrentValue += int(m_dStep);
    } else if (m_iDeviation != -threshold) {
        m_pAnimation->setStartValue(m_iDeviation);
        m_pAnimation->setEndValue(0);
    }
    emit currentValueChanged(m_iCurrentValue);
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, m_iCurrentValue);
        QAccessible::updateAccessibility(&changed);
    }
    m_pAnimation->start();
}

void VerticalScroll::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    // A drag of a whole row moves the value and starts over from there.
    const int shift = rowShift();
    if (m_iDeviation >= shift && hasSmaller()) {
        m_iPressY += shift;
        m_iDeviation -= shift;
        m_iCurrentValue -= int(m_dStep);
    }
    if (m_iDeviation <= -shift && hasLarger()) {
        m_iPressY -= shift;
        m_iDeviation += shift;
        m_iCurrentValue += int(m_dStep);
    }

    paintNumber(painter, m_iCurrentValue, m_iDeviation, true);
    if (hasSmaller()) {
        paintNumber(painter, m_iCurrentValue - int(m_dStep), m_iDeviation - shift, false);
    }
    if (hasLarger()) {
        paintNumber(painter, m_iCurrentValue + int(m_dStep), m_iDeviation + shift, false);
    }
}

void VerticalScroll::paintNumber(QPainter& painter, int value, int offset, bool centre)
{
    const int h = height();
    const int w = width();
    const int row = h / m_iRowCount;
    const int y = h / 2 - row / 2 + offset;
    if (y < 0 || y + row >= h) {
        return;
    }
    QFont font = painter.font();
    font.setPixelSize(centre ? 26 : 22);
    painter.setFont(font);
    if (centre) {
        painter.setPen(QColor(0xCC, 0xCC, 0xCC));
        painter.drawLine(0, h / 3, w, h / 3);
        painter.drawLine(0, 2 * (h / 3), w, 2 * (h / 3));
    }
    painter.setPen(centre ? QColor(0x33, 0x33, 0x33) : QColor(0x99, 0x99, 0x99));
    painter.drawText(QRect(0, y, w - 20, row), Qt::AlignCenter,
                     QString::number(double(value), 'g', 6) + m_strUnit);
}
