#include "CMeetConfig.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace frameless = talvora::frameless;

CMeetConfig::CMeetConfig(QString text, QWidget* parent) : QDialog(parent), m_strContent(std::move(text))
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("MeetConfigMain"));
    setFixedSize(470, 229);
    m_pixShadow = frameless::loadShadow();

    m_pBtnSure = new QPushButton(QString::fromUtf8("确定"), this);
    m_pBtnSure->setObjectName(QStringLiteral("m_pBtnSure"));
    m_pBtnSure->setFixedSize(228, 60);
    m_pBtnCancel = new QPushButton(QString::fromUtf8("取消"), this);
    m_pBtnCancel->setObjectName(QStringLiteral("m_pBtnCancel"));
    m_pBtnCancel->setFixedSize(228, 60);
    m_pLabContent = new QLabel(m_strContent, this);
    m_pLabContent->setTextFormat(Qt::PlainText);
    m_pLabContent->setObjectName(QStringLiteral("m_pLabContent"));
    setAccessibleName(m_strContent);

    auto* textRow = new QHBoxLayout;
    textRow->setContentsMargins(0, 0, 0, 0);
    textRow->addItem(new QSpacerItem(10, 10, QSizePolicy::Expanding, QSizePolicy::Ignored));
    textRow->addWidget(m_pLabContent);
    textRow->addItem(new QSpacerItem(10, 10, QSizePolicy::Expanding, QSizePolicy::Ignored));
    auto* textBox = new QVBoxLayout;
    textBox->setContentsMargins(0, 0, 0, 0);
    textBox->addLayout(textRow);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(0);
    buttonRow->addWidget(m_pBtnCancel);
    buttonRow->addWidget(m_pBtnSure);

    auto* layout = new QVBoxLayout(this);
    frameless::setShadowMargins(layout);
    layout->addLayout(textBox);
    layout->addLayout(buttonRow);
}

void CMeetConfig::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(*this, event);
    QDialog::mousePressEvent(event);
}

void CMeetConfig::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.release();
    QDialog::mouseReleaseEvent(event);
}

void CMeetConfig::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(*this, event);
    QDialog::mouseMoveEvent(event);
}

void CMeetConfig::paintEvent(QPaintEvent* event)
{
    const int w = width();
    const int h = height();
    QPainter painter(this);
    frameless::drawBody(painter, size());
    // Above the button row, and between the two buttons (the right edge of
    // the 228-pixel cancel button after the 5-pixel band).
    frameless::useSeparatorPen(painter);
    painter.drawLine(5, h - 68, w - 5, h - 68);
    painter.drawLine(233, h - 68, 233, h - 7);
    frameless::paintShadow(painter, m_pixShadow, size());
    QDialog::paintEvent(event);
}
