#pragma once
// Shared by the widget tests: error boxes recorded instead of shown, modal
// dialogs answered from inside their exec(), and mouse events with chosen
// global positions (the offscreen platform has no real cursor).

#include "ErrorBox.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// The resources live in a static library; the style sheet is the one main
// applies. Outside any namespace: Q_INIT_RESOURCE declares a global symbol.
inline void initTalvoraResources()
{
    Q_INIT_RESOURCE(Talvora);
    QFile styleSheet(QStringLiteral(":/Talvora/Resources/Talvora.qss"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        qApp->setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    }
}

namespace widgettest {

// Collects the texts of the "出错提示" boxes while it lives.
class ErrorBoxRecorder
{
public:
    ErrorBoxRecorder()
        : m_texts(std::make_shared<QStringList>())
    {
        auto texts = m_texts;
        talvora::setErrorBoxHook([texts](QWidget*, const QString&, const QString& text) { texts->append(text); });
    }
    ~ErrorBoxRecorder() { talvora::setErrorBoxHook({}); }

    QStringList texts() const { return *m_texts; }

private:
    std::shared_ptr<QStringList> m_texts;
};

// Schedules `answer` for the first modal dialog of type Dialog that appears;
// call it right before the statement that runs exec(). Returns a flag that
// turns true once the dialog was answered.
template <typename Dialog> std::shared_ptr<bool> answerModal(std::function<void(Dialog*)> answer)
{
    auto answered = std::make_shared<bool>(false);
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto attempts = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, answered, attempts]() {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            *answered = true;
            answer(dialog);
        } else if (++*attempts > 1000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    return answered;
}

inline void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, QPoint globalPos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    QMouseEvent event(type, widget->mapFromGlobal(globalPos), globalPos, changed, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Press at `from`, move to `to`, release there; all on `widget`.
inline void drag(QWidget* widget, Qt::MouseButton button, QPoint from, QPoint to)
{
    sendMouse(widget, QEvent::MouseButtonPress, button, from);
    sendMouse(widget, QEvent::MouseMove, button, to);
    sendMouse(widget, QEvent::MouseButtonRelease, button, to);
}

} // namespace widgettest
