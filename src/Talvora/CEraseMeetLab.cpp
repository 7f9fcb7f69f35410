#include "CEraseMeetLab.h"

#include "FramelessWindow.h"
#include "WidgetBuilders.h"

CEraseMeetLab::CEraseMeetLab(QWidget* parent) : QLabel(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(200, 48);

    // The style sheet draws the pill on the inner label; the window itself
    // stays transparent around its rounded ends.
    m_pLabContent = talvora::build::control<QLabel>(this, "pLabContent", "会议已删除", 200, 48);
    m_pLabContent->setAlignment(Qt::AlignCenter);
}

void CEraseMeetLab::mousePressEvent(QMouseEvent* event)
{
    talvora::frameless::startDrag(m_ptDragOffset, *this, event);
}

void CEraseMeetLab::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
}

void CEraseMeetLab::mouseMoveEvent(QMouseEvent* event)
{
    talvora::frameless::followDrag(*this, m_ptDragOffset, event);
}
