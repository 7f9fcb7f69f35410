#include "MutedHint.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace talvora::zhumu {

bool MutedSpeechDetector::onLevel(qint64 nowMs, double dbfs, bool muted)
{
    if (!muted || dbfs < kSpeechDbfs) {
        m_loudSince = -1;
        return false;
    }
    if (m_loudSince < 0)
        m_loudSince = nowMs;
    if (nowMs - m_loudSince < kSustainMs || (m_shownAt >= 0 && nowMs - m_shownAt < kQuietMs))
        return false;
    m_shownAt = nowMs;
    m_loudSince = -1;
    return true;
}

MutedHint::MutedHint(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("mutedHint"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("QFrame#mutedHint{background:rgba(32,36,42,0.94);border-radius:6px;}"
                                 "QLabel{color:#ffffff;font-size:14px;}"
                                 "QPushButton{color:#ffffff;background:#4194ff;border:none;border-radius:4px;"
                                 "padding:4px 12px;font-size:13px;}"));
    auto* text = new QLabel(QStringLiteral("您已静音，如需发言请解除静音"), this);
    auto* button = new QPushButton(QStringLiteral("解除静音"), this);
    button->setObjectName(QStringLiteral("mutedHintUnmute"));
    button->setFocusPolicy(Qt::NoFocus); // never takes the focus from the meeting
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 8, 8, 8);
    layout->setSpacing(12);
    layout->addWidget(text);
    layout->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this] {
        hide();
        emit unmuteClicked();
    });
    m_hide.setSingleShot(true);
    m_hide.setInterval(kShowMs);
    connect(&m_hide, &QTimer::timeout, this, &QWidget::hide);
    m_clock.start();
    hide();
    parent->installEventFilter(this);
}

void MutedHint::onLevel(double dbfs, bool muted)
{
    if (!muted && isVisible()) {
        hide();
        m_hide.stop();
    }
    if (!m_detector.onLevel(m_clock.elapsed(), dbfs, muted))
        return;
    place();
    show();
    raise();
    m_hide.start();
}

void MutedHint::place()
{
    adjustSize();
    const QWidget* window = parentWidget();
    // Above the toolbar, in the middle.
    move((window->width() - width()) / 2, window->height() - height() - 96);
}

bool MutedHint::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        place();
    return QFrame::eventFilter(watched, event);
}

} // namespace talvora::zhumu
