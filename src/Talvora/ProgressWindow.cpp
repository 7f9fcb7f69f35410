#include "ProgressWindow.h"

#include "BusySpinner.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace frameless = talvora::frameless;

namespace {

constexpr int kButtonRowHeight = 60;

} // namespace

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("ProgressWindow"));
    setWindowTitle(QString::fromUtf8("正在登录"));
    setFixedSize(400, 240);
    m_pixShadow = frameless::loadShadow();

    m_pLabTitle = new QLabel(QString::fromUtf8("正在登录"), this);
    m_pLabTitle->setObjectName(QStringLiteral("m_pLabTitle"));
    m_pLabTitle->setAlignment(Qt::AlignCenter);
    m_pSpinner = new BusySpinner(this);
    m_pLabMessage = new QLabel(this);
    m_pLabMessage->setObjectName(QStringLiteral("m_pLabMessage"));
    m_pLabMessage->setAlignment(Qt::AlignCenter);
    m_pLabMessage->setTextFormat(Qt::PlainText);
    m_pBtnCancel = new QPushButton(QString::fromUtf8("取消"), this);
    m_pBtnCancel->setObjectName(QStringLiteral("m_pBtnCancel"));
    m_pBtnCancel->setFixedHeight(kButtonRowHeight);
    m_pBtnCancel->setAutoDefault(false);

    auto* spinnerRow = new QHBoxLayout;
    spinnerRow->addStretch();
    spinnerRow->addWidget(m_pSpinner);
    spinnerRow->addStretch();

    auto* layout = new QVBoxLayout(this);
    frameless::setShadowMargins(layout);
    layout->setSpacing(10);
    layout->addSpacing(14);
    layout->addWidget(m_pLabTitle);
    layout->addLayout(spinnerRow);
    layout->addWidget(m_pLabMessage);
    layout->addStretch();
    layout->addWidget(m_pBtnCancel);

    connect(m_pBtnCancel, &QPushButton::clicked, this, &ProgressWindow::reject);
}

void ProgressWindow::setMessage(const QString& text)
{
    m_pLabMessage->setText(text);
}

void ProgressWindow::showBusy()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

void ProgressWindow::hideBusy()
{
    hide();
}

void ProgressWindow::reject()
{
    talvora::requestQuit();
    QDialog::reject();
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    talvora::requestQuit();
    QDialog::closeEvent(event);
}

void ProgressWindow::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(*this, event);
    QDialog::mousePressEvent(event);
}

void ProgressWindow::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.release();
    QDialog::mouseReleaseEvent(event);
}

void ProgressWindow::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(*this, event);
    QDialog::mouseMoveEvent(event);
}

void ProgressWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    frameless::drawBody(painter, size());
    frameless::useSeparatorPen(painter);
    const int lineY = height() - frameless::kShadowBottom - kButtonRowHeight - 1;
    painter.drawLine(frameless::kShadowLeft, lineY, width() - frameless::kShadowRight, lineY);
    frameless::paintShadow(painter, m_pixShadow, size());
    QDialog::paintEvent(event);
}
