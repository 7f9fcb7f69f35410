#include "CremaneWindow.h"

#include "WidgetBuilders.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

namespace frameless = talvora::frameless;

using talvora::build::hbox;
using talvora::build::hboxOf;

namespace {

QSpacerItem* rowSpacer(int height)
{
    return new QSpacerItem(10, height, QSizePolicy::Expanding, QSizePolicy::Fixed);
}

} // namespace

CremaneWindow::CremaneWindow(QString name, QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::FramelessWindowHint);
    setFixedSize(410, 250);
    setAttribute(Qt::WA_TranslucentBackground);
    m_pixShadow = frameless::loadShadow();

    auto* caption = new QLabel(QString::fromUtf8("请输入用户名"), this);
    caption->setTextFormat(Qt::PlainText);
    caption->setObjectName(QStringLiteral("pLabName"));

    m_pNameLineEdit = new QLineEdit(this);
    m_pNameLineEdit->setPlaceholderText(QString::fromUtf8("请输入用户名"));
    m_pNameLineEdit->setFixedSize(360, 48);
    m_pNameLineEdit->setObjectName(QStringLiteral("m_pNameLineEdit"));
    m_pNameLineEdit->setText(name);

    m_pSureBtn = new QPushButton(QString::fromUtf8("确定"), this);
    m_pSureBtn->setObjectName(QStringLiteral("m_pSureBtn"));
    m_pSureBtn->setFixedSize(200, 64);
    m_pCancelBtn = new QPushButton(QString::fromUtf8("取消"), this);
    m_pCancelBtn->setObjectName(QStringLiteral("m_pCancelBtn"));
    m_pCancelBtn->setFixedSize(200, 64);
    // Enter in the field keeps the name, as "确定" does.
    m_pSureBtn->setDefault(true);
    caption->setBuddy(m_pNameLineEdit);
    setAccessibleName(caption->text());

    auto* captionRow = hbox(20, 0, 20, 0);
    captionRow->addWidget(caption);
    captionRow->addItem(rowSpacer(48));
    auto* editRow = hboxOf(20, 0, 20, 0, m_pNameLineEdit);
    auto* buttonRow = hboxOf(0, 0, 0, 10, m_pSureBtn, m_pCancelBtn);

    auto* layout = talvora::build::pageLayout(this);
    frameless::setShadowMargins(layout);
    layout->addItem(rowSpacer(20));
    layout->addLayout(captionRow);
    layout->addItem(rowSpacer(10));
    layout->addLayout(editRow);
    layout->addItem(rowSpacer(33));
    layout->addLayout(buttonRow);

    connect(m_pSureBtn, &QPushButton::clicked, this, &CremaneWindow::onSure);
    connect(m_pCancelBtn, &QPushButton::clicked, this, &CremaneWindow::onCancel);
}

QString CremaneWindow::getName() const
{
    return m_pNameLineEdit->text();
}

void CremaneWindow::onSure()
{
    // accept(), not close(): closing a dialog rejects it, and a reject drops
    // the typed name.
    accept();
}

void CremaneWindow::onCancel()
{
    reject();
}

void CremaneWindow::reject()
{
    m_pNameLineEdit->clear();
    QDialog::reject();
}

void CremaneWindow::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(*this, event);
    QDialog::mousePressEvent(event);
}

void CremaneWindow::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.release();
    QDialog::mouseReleaseEvent(event);
}

void CremaneWindow::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(*this, event);
    QDialog::mouseMoveEvent(event);
}

void CremaneWindow::paintEvent(QPaintEvent* event)
{
    const int w = width();
    const int h = height();
    QPainter painter(this);
    frameless::drawBody(painter, size());
    // Above the buttons, between them, and under the line edit.
    frameless::useSeparatorPen(painter);
    painter.drawLine(5, h - 75, w - 5, h - 75);
    painter.drawLine(205, h - 75, 205, h - 7);
    painter.drawLine(25, h - 124, w - 25, h - 124);
    frameless::paintShadow(painter, m_pixShadow, size());
    QDialog::paintEvent(event);
}
