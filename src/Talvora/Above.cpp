#include "Above.h"

#include <QLabel>

Above::Above(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(1060, 680);

    m_pLabAbove = new QLabel(this);
    m_pLabAbove->setObjectName(QStringLiteral("m_pLabAbove"));
    m_pLabAbove->setFixedSize(1060, 680);
}
