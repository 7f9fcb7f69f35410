#include "Above.h"

#include <QLabel>
#include <QTimer>

Above::Above(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(1060, 680);

    m_pLabAbove = new QLabel(this);
    m_pLabAbove->setObjectName(QStringLiteral("m_pLabAbove"));
    m_pLabAbove->setFixedSize(1060, 680);
}

// Once hidden, the cover gives back its window and the 2.8 MB of pixels that
// the X server keeps for it; showing it again makes them anew.
void Above::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    QTimer::singleShot(0, this, [this] {
        if (!isVisible()) {
            destroy();
        }
    });
}
