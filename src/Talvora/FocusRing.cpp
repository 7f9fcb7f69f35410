#include "FocusRing.h"

#include <QApplication>
#include <QEvent>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QWidget>

void FocusRing::install()
{
    static FocusRing* ring = nullptr;
    if (ring == nullptr) {
        ring = new FocusRing;
    }
}

FocusRing::FocusRing() : QObject(QCoreApplication::instance())
{
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (m_bKeyboard) {
            follow(now);
        }
    });
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && !m_bKeyboard) {
        m_bKeyboard = true;
        follow(QApplication::focusWidget());
    } else if (event->type() == QEvent::MouseButtonPress && m_bKeyboard) {
        m_bKeyboard = false;
        follow(nullptr);
    } else if (event->type() == QEvent::StyleChange && m_pFrame != nullptr && watched == m_pFrame->widget()) {
        // The frame hides when its control is restyled (a key pressed, the
        // page dot chosen); once that is done it is put back.
        QMetaObject::invokeMethod(
            this,
            [this]() {
                if (m_bKeyboard && m_pFrame != nullptr) {
                    QWidget* focused = m_pFrame->widget();
                    m_pFrame->setWidget(nullptr);
                    m_pFrame->setWidget(focused);
                }
            },
            Qt::QueuedConnection);
    }
    return false;
}

void FocusRing::follow(QWidget* focused)
{
    if (focused == nullptr || focused->isWindow()) {
        if (m_pFrame != nullptr) {
            m_pFrame->setWidget(nullptr);
        }
        return;
    }
    if (m_pFrame == nullptr) {
        m_pFrame = new QFocusFrame;
        m_pFrame->setObjectName(QStringLiteral("FocusRing"));
    }
    m_pFrame->setWidget(focused);
}
