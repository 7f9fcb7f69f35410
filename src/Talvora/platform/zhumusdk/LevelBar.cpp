#include "LevelBar.h"

#include <QPainter>

#include <cmath>

namespace talvora::zhumu {

LevelBar::LevelBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("levelBar"));
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LevelBar::setLevel(double dbfs)
{
    const int segments = std::isfinite(dbfs) ? qBound(0, int(std::floor((dbfs + 60.0) / 10.0)), 5) : 0;
    if (segments == m_segments)
        return; // ten levels a second per participant: repaint only on change
    m_segments = segments;
    update();
}

void LevelBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int gap = 2;
    const int width = (this->width() - 4 * gap) / 5;
    for (int i = 0; i < 5; ++i) {
        const QColor colour = i < m_segments ? QColor(0x3d, 0xd6, 0x8c) : QColor(255, 255, 255, 60);
        painter.fillRect(QRect(i * (width + gap), 0, width, height()), colour);
    }
}

} // namespace talvora::zhumu
